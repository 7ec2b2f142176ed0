#include "app/scrape_page.h"

#include <algorithm>

#include "http/http_request.h"
#include "regex/regex_object.h"
#include "text/codepage.h"
#include "text/helpers.h"

namespace qh {
namespace {

// Sayings are taken from the first match on; index n + 1 is one past the last match and yields the empty
// text, which leaves the closing CR LF.
Text JoinMatches(const RegexObject& regex, int count) {
  const Text& lineBreak = u8"\r\n"_text;
  Text joined;
  for (int k = 1; k <= count; ++k) joined.Append(lineBreak).Append(regex.MatchText(k + 1));
  return joined;
}

ScrapedPage ExtractSayings(RegexObject& regex, const Text& html) {
  regex.Create(u8"<p>(.*)</p></a>"_text, html);
  const int count = regex.MatchCount();
  Text text = ReplaceMany(JoinMatches(regex, count), {}, {}, {}, u8"<p>"_text, {}, u8"</p></a>"_text);
  // The first match is the site's chrome, not a saying.
  return {.text = std::move(text), .sayings = std::max(count - 1, 0), .status = {}};
}

// Returns the leading three-digit code of a status text, or 0 when there is none.
int StatusCode(const Text& status) {
  const std::string_view s = status.view();
  if (s.size() < 3 || !std::all_of(s.begin(), s.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return (s[0] - '0') * 100 + (s[1] - '0') * 10 + (s[2] - '0');
}

}  // namespace

bool ScrapedPage::failed() const {
  // The request's own error texts are numbered from 700 on, above every HTTP status code.
  const int code = StatusCode(status);
  return code == 0 || code >= 400;
}

ScrapedPage ScrapePage(const Text& page, const Text& host) {
  // The regex object lives for the whole page, request included, as each page's own.
  RegexObject regex;
  const Text url = ConcatTexts(u8"http://"_text, host, u8"/qh/"_text, page, u8".html"_text);
  // Only the status is asked for besides the body, to tell a failed page from one without sayings.
  Text status;
  HttpRequestArgs args;
  args.statusMessage = &status;
  const Text html = HttpRequest(url, args);
  ScrapedPage scraped = ExtractSayings(regex, html);
  scraped.status = std::move(status);
  return scraped;
}

}  // namespace qh
