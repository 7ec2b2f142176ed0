// The response step on its own: raw head and body in, the caller's outputs and the body text out.
#include "http/response.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/test_printers.h"
#include "text/codepage.h"
#include "text/messages.h"

namespace qh {
namespace {

using namespace std::string_literals;

Text T(std::string_view bytes) {
  return Text::FromCp936(bytes);
}

Text Head(std::string_view lines) {
  return T("HTTP/1.1 200 OK\r\n" + std::string(lines) + "\r\n");
}

TEST(ReadResponseTest, StatusTextIsCutFromPositionTen) {
  struct Case {
    std::string_view raw;
    std::string_view status;
  };
  const std::vector<Case> cases = {
      {"HTTP/1.1 200 OK\r\n\r\n", "200 OK"},
      {"HTTP/1.1 404 Not Found\r\nA: b\r\n\r\n", "404 Not Found"},
      {"HTTP/1.0 500 Internal Server Error\r\n\r\n", "500 Internal Server Error"},
      {"HTTP/1.1 \r\n\r\n", ""},
      {"HTTP/1.1 2", ""},
      {"HTTP/1.1 204 No Content", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw);
    Text status = T("before");
    Text headers;
    ReadResponse(T(c.raw), {}, {.responseHeaders = &headers, .statusMessage = &status});
    EXPECT_EQ(status.view(), c.status);
    EXPECT_EQ(headers.view(), c.raw);
  }
}

TEST(ReadResponseTest, CookiesAndLocationFromTheHeaderLines) {
  struct Case {
    std::string_view lines;
    std::string_view cookies;
    std::string_view location;
  };
  const std::vector<Case> cases = {
      {"Set-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n", "a=1; b=2", "kept"},
      {"Set-Cookie:  a=1 \r\n", "a=1", "kept"},
      {"Set-Cookie: \xA1\xA1\xC7\xE9=1; Path=/\r\n", "\xC7\xE9=1", "kept"},
      {"Set-Cookie: ; Path=/\r\n", "", "kept"},
      {"Set-Cookie: ; Path=/\r\nSet-Cookie: ; Path=/\r\n", "; ", "kept"},
      // The cookie name test regards case, the location test does not.
      {"set-cookie: a=1\r\nlocation: /x\r\n", "", "/x"},
      {"Location: /a\r\nLOCATION: /b\r\n", "", "/b"},
      {"Location: \r\n", "", ""},
      {"Content-Location: /c\r\nX: Location: /d\r\n", "", "kept"},
      {"", "", "kept"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    Text cookies;
    Text location = T("kept");
    ReadResponse(Head(c.lines), {}, {.receivedCookies = &cookies, .redirectLocation = &location});
    EXPECT_EQ(cookies.view(), c.cookies);
    EXPECT_EQ(location.view(), c.location);
  }
}

TEST(ReadResponseTest, ReceivedCookiesReplaceWhatTheVariableHeld) {
  for (const std::string_view lines : {"Set-Cookie: a=1\r\n", ""}) {
    SCOPED_TRACE(lines);
    Text cookies = T("old=1; ");
    ReadResponse(Head(lines), {}, {.receivedCookies = &cookies});
    EXPECT_EQ(cookies, lines.empty() ? Text() : T("a=1"));
  }
}

TEST(ReadResponseTest, MergeRunsWhenCookiesWereSuppliedAndMergingIsOn) {
  struct Case {
    std::string name;
    bool supplySent;
    bool merge;
    std::string_view lines;
    std::string_view received;
    std::string_view sentAfter;
  };
  const std::vector<Case> cases = {
      {"merged into both", true, true, "Set-Cookie: b=9; Path=/\r\n", "b=9;a=1", "b=9;a=1"},
      {"also with no cookie received", true, true, "", "a=1; b=2", "a=1; b=2"},
      {"merge off", true, false, "Set-Cookie: b=9\r\n", "b=9", "a=1; b=2"},
      {"nothing sent", false, true, "Set-Cookie: b=9\r\n", "b=9", "a=1; b=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text sent = T("a=1; b=2");
    Text received;
    ReadResponse(Head(c.lines), {},
                 {.receivedCookies = &received,
                  .sendCookies = c.supplySent ? &sent : nullptr,
                  .mergeCookies = c.merge});
    EXPECT_EQ(received.view(), c.received);
    EXPECT_EQ(sent.view(), c.sentAfter);
  }
}

TEST(ReadResponseTest, BodyTextEndsAtTheFirstZeroByteWhileTheBytesStayWhole) {
  const std::string body = "ab\0cd"s;
  Bytes bytes;
  EXPECT_EQ(ReadResponse(Head(""), Bytes(body), {.responseBytes = &bytes}), T("ab"));
  EXPECT_EQ(bytes.str(), body);
  EXPECT_EQ(ReadResponse(Head(""), Bytes(body), {}), T("ab"));
  EXPECT_EQ(ReadResponse(Head(""), Bytes("whole"s), {}), T("whole"));
}

TEST(ReadResponseTest, BodyIsReDecodedFromTheCharsetItsStartDeclares) {
  const std::string qinghuaUtf8 = "\xE6\x83\x85\xE8\xAF\x9D";  // 情话
  const std::string qinghuaBig5 = "\xB1\xA1\xB8\xDC";          // 情話
  const std::string filler(1024, ' ');
  struct Case {
    std::string name;
    std::string body;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"utf-8, quoted", "<meta charset=\"utf-8\">" + qinghuaUtf8, "<meta charset=\"utf-8\">\xC7\xE9\xBB\xB0"},
      {"utf-8 in a content attribute",
       "<META http-equiv=Content-Type content=\"text/html; charset=UTF-8\">" + qinghuaUtf8,
       "<META http-equiv=Content-Type content=\"text/html; charset=UTF-8\">\xC7\xE9\xBB\xB0"},
      {"big5", "<meta charset=big5>" + qinghuaBig5, "<meta charset=big5>\xC7\xE9\xD4\x92"},
      {"invalid utf-8 becomes ?",
       "<meta charset=utf-8>a\xFF"
       "b",
       "<meta charset=utf-8>a?b"},
      {"decoded text ends at a zero byte", "<meta charset=utf-8>a\0b"s, "<meta charset=utf-8>a"},
      {"gb2312 is not re-decoded", "<meta charset=gb2312>a\x81", "<meta charset=gb2312>a\x81"},
      {"gbk is not re-decoded", "<meta charset=gbk>a\x81", "<meta charset=gbk>a\x81"},
      {"GBK is, the test regards case", "<meta charset=GBK>a\x81", "<meta charset=GBK>a?"},
      {"an unknown charset keeps the text", "<meta charset=x-none>" + qinghuaUtf8,
       "<meta charset=x-none>" + qinghuaUtf8},
      {"declared after byte 1024", filler + "<meta charset=utf-8>" + qinghuaUtf8,
       filler + "<meta charset=utf-8>" + qinghuaUtf8},
      {"meta and charset on two lines", "<meta\ncharset=utf-8>" + qinghuaUtf8,
       "<meta\ncharset=utf-8>" + qinghuaUtf8},
      {"no declaration", "<p>" + qinghuaUtf8, "<p>" + qinghuaUtf8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes bytes;
    EXPECT_EQ(ReadResponse(Head(""), Bytes(c.body), {.responseBytes = &bytes}).str(), c.text);
    EXPECT_EQ(bytes.str(), c.body);
  }
}

TEST(ReadResponseTest, YieldsOncePerHeaderLineAndOnceAfterTheCharsetStep) {
  int yields = 0;
  MessagePump previous = InstallMessagePump([&] { ++yields; });
  ReadResponse(T("HTTP/1.1 200 OK\r\nA: 1\r\n\r\n"), Bytes("<meta charset=utf-8>"s), {});
  InstallMessagePump(std::move(previous));
  EXPECT_EQ(yields, 3 + 1);
}

}  // namespace
}  // namespace qh
