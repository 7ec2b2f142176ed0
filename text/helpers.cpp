#include "text/helpers.h"

#include "text/codepage.h"

namespace qh {

Text TextBefore(const Text& text, const Text& delimiter, int start, bool ignoreCase) {
  if (start <= 0) start = 1;
  const int p = FindText(text, delimiter, start, ignoreCase);
  return p == -1 ? Text() : TextLeft(text, p - 1);
}

Text TextBetween(const Text& text, const Text& before, const Text& after, int start, bool ignoreCase) {
  const Text quote = Text::FromCp936("\"");
  const Text& marker = u8"#引号"_text;
  const Text opening = ReplaceText(before, marker, quote, 1, -1, true);
  const Text closing = ReplaceText(after, marker, quote, 1, -1, true);
  int p = FindText(text, opening, start, ignoreCase);
  if (p == -1) return {};
  p += TextLength(opening);
  const int q = FindText(text, closing, p, ignoreCase);
  if (q == -1) return {};
  return TextMid(text, p, q - p);
}

Text ReplaceMany(const Text& text, std::optional<int> count, std::optional<int> start,
                 std::optional<bool> caseSensitive, const Text& find1, const Text& replacement1,
                 const Text& find2, const Text& replacement2, const Text& find3, const Text& replacement3,
                 const Text& find4, const Text& replacement4, const Text& find5, const Text& replacement5) {
  const int from = start.value_or(1) == 0 ? 1 : start.value_or(1);
  const int times = count.value_or(-1);
  const bool exact = caseSensitive.value_or(false);
  const std::pair<const Text&, const Text&> pairs[] = {{find1, replacement1},
                                                       {find2, replacement2},
                                                       {find3, replacement3},
                                                       {find4, replacement4},
                                                       {find5, replacement5}};
  Text result = text;
  for (const auto& [find, replacement] : pairs) {
    if (!find.empty()) result = ReplaceText(result, find, replacement, from, times, exact);
  }
  return result;
}

}  // namespace qh
