#include "text/helpers.h"

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace qh {
namespace {

Text T(const char* bytes) {
  return Text::FromCp936(bytes);
}

TEST(TextBeforeTest, Cases) {
  struct Case {
    const char* text;
    const char* delimiter;
    int start;
    bool ignoreCase;
    const char* want;
  };
  const Case cases[] = {
      {"Set-Cookie: a=1", ": ", 1, false, "Set-Cookie"},
      {"a:b:c", ":", 3, false, "a:b"},  // everything from position 1, even when start lies further on
      {"a:b:c", ":", 0, false, "a"},
      {"a:b:c", ":", -4, false, "a"},
      {"no delimiter", ": ", 1, false, ""},
      {"abc", "", 1, false, ""},  // an empty delimiter is found at 1
      {"", ":", 1, false, ""},
      {"aXb", "x", 1, false, ""},
      {"aXb", "x", 1, true, "a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" \"" << c.delimiter << "\" " << c.start);
    EXPECT_EQ(TextBefore(T(c.text), T(c.delimiter), c.start, c.ignoreCase).view(), c.want);
  }
}

TEST(TextBetweenTest, Cases) {
  struct Case {
    const char* text;
    Text before;
    Text after;
    int start;
    bool ignoreCase;
    const char* want;
  };
  const Case cases[] = {
      {"Set-Cookie: a=1; Path=/", T("Set-Cookie:"), T(";"), 1, false, " a=1"},
      {"<a href=\"x\">", T("href=\""), T("\""), 1, false, "x"},
      {"<a href=\"x\">", u8"href=#引号"_text, u8"#引号"_text, 1, false,
       "x"},                                   // the marker stands for a quote
      {"abc", T("b"), T(""), 1, false, ""},    // an empty after marker gives nothing
      {"abc", T(""), T("c"), 2, false, "ab"},  // an empty before marker extracts from position 1
      {"abc", T(""), T("c"), 4, false, ""},
      {"abc", T("a"), T("b"), 1, false, ""},  // after directly behind before
      {"a1b a2c", T("a"), T("c"), 1, false, "1b a2"},
      {"a1b", T("a"), T("c"), 1, false, ""},  // a later before is not tried
      {"xAyBz", T("a"), T("b"), 1, true, "y"},
      {"xAyBz", T("a"), T("b"), 1, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.text << "\" " << c.before.view() << ' ' << c.after.view());
    EXPECT_EQ(TextBetween(T(c.text), c.before, c.after, c.start, c.ignoreCase).view(), c.want);
  }
}

TEST(ReplaceManyTest, Cases) {
  const Text html = T("\r\n<p>one</p></a>\r\n<P>two</P></A>");
  EXPECT_EQ(ReplaceMany(html, {}, {}, {}, T("<p>"), {}, T("</p></a>")).view(), "\r\none\r\ntwo");
  EXPECT_EQ(ReplaceMany(html, {}, {}, true, T("<p>"), {}, T("</p></a>")).view(), "\r\none\r\n<P>two</P></A>");
  EXPECT_EQ(ReplaceMany(T("aaa bbb"), 1, {}, {}, T("a"), T("x"), T("b"), T("y")).view(), "xaa ybb");
  EXPECT_EQ(ReplaceMany(T("abab"), {}, 0, {}, T("a"), T("")).view(), "bb");  // start 0 is 1
  EXPECT_EQ(ReplaceMany(T("abab"), {}, 2, {}, T("a"), T("")).view(), "abb");
  // Each pair works on the output of the one before.
  EXPECT_EQ(ReplaceMany(T("a"), {}, {}, {}, T("a"), T("b"), T("b"), T("c"), T("c"), T("d"), T("d"), T("e"),
                        T("e"), T("f"))
                .view(),
            "f");
  EXPECT_EQ(ReplaceMany(T("abc"), {}, {}, {}, T(""), T("x")).view(), "abc");
}

}  // namespace
}  // namespace qh
