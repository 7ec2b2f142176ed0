#include "http/response.h"

#include <string_view>

#include "http/charset.h"
#include "http/cookies.h"
#include "regex/regex_object.h"
#include "text/codepage.h"
#include "text/helpers.h"
#include "text/messages.h"

namespace qh {
namespace {

// Only the start of a page is searched for its charset declaration.
constexpr std::size_t kSniffLength = 1024;

// Returns the charset the start of the page declares; empty when it declares none. `sniffed` tells whether
// the pattern could be compiled at all.
Text DeclaredCharset(std::string_view bodyText, bool& sniffed) {
  RegexObject regex;
  const Text head = Text::FromCp936(bodyText.substr(0, kSniffLength));
  sniffed = regex.Create(u8R"(<meta.+?charset=[^\w]?([-\w]+))"_text, head);
  return sniffed ? regex.SubMatchText(1, 1) : Text();
}

// Returns the cookie a Set-Cookie line sets: its first attribute, trimmed.
Text CookieOf(const Text& line) {
  const Text& name = u8"Set-Cookie:"_text;
  const Text cookie = FindText(line, u8";"_text) != -1 ? TextBetween(line, name, u8";"_text)
                                                       : ReplaceText(line, name, {}, 1, -1, false);
  return TrimSpaces(cookie);
}

}  // namespace

Text ReadResponse(const Text& rawHeaders, Bytes body, const ResponseTargets& targets) {
  const Text& crlf = u8"\r\n"_text;
  if (targets.responseHeaders) *targets.responseHeaders = rawHeaders;

  // The status text starts after an eight-character protocol name and its blank ("HTTP/1.1 ").
  if (targets.statusMessage) {
    const int end = FindText(rawHeaders, crlf, 10, false);
    *targets.statusMessage = TextMid(rawHeaders, 10, end - 10);
  }

  // The cookies start afresh: a value the caller left in its variable does not run into the new ones.
  Text cookies;
  for (const Text& line : SplitText(rawHeaders, crlf)) {
    if (TextBefore(line, u8": "_text) == u8"Set-Cookie"_text) {
      cookies.Append(CookieOf(line)).Append(u8"; "_text);
    }
    if (targets.redirectLocation && CompareText(TextLeft(line, 10), u8"Location: "_text, false) == 0) {
      *targets.redirectLocation = TextMid(line, 11, TextLength(line) - 10);
    }
    ProcessPendingMessages();
  }
  cookies = TextLeft(cookies, TextLength(cookies) - 2);

  Text scratchCookies;
  Text& received = targets.receivedCookies ? *targets.receivedCookies : scratchCookies;
  received = std::move(cookies);
  if (targets.mergeCookies && targets.sendCookies) received = MergeCookies(*targets.sendCookies, received);

  // The body moves into the caller's variable, and the text is read from there: no copy of the bytes.
  Bytes scratchBytes;
  Bytes& bytes = targets.responseBytes ? *targets.responseBytes : scratchBytes;
  bytes = std::move(body);
  const std::string_view all = bytes.view();
  const std::string_view beforeNul = all.substr(0, all.find('\0'));

  bool sniffed = false;
  const Text charset = DeclaredCharset(beforeNul, sniffed);
  std::optional<Text> text;
  if (!charset.empty() && charset != u8"gbk"_text && charset != u8"gb2312"_text) {
    // A charset name that is not known keeps the text as it came rather than dropping the page.
    text = DecodeCharset(all, charset);
  }
  if (!text) {
    text = !targets.responseBytes && beforeNul.size() == all.size() ? Text::FromCp936(std::move(bytes.str()))
                                                                    : Text::FromCp936(beforeNul);
  }
  // The text is made before the window gets its turn: a handler may change the caller's variables.
  if (sniffed) ProcessPendingMessages();
  return std::move(*text);
}

}  // namespace qh
