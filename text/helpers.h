// Text routines built on the primitive operations: cutting a piece out by delimiters and applying up to
// five find-and-replace pairs in one call.
//   TextBefore(u8"Set-Cookie: a=1"_text, u8": "_text)                 // "Set-Cookie"
//   ReplaceMany(html, {}, {}, {}, u8"<p>"_text, {}, u8"</p></a>"_text)  // both tags removed, any case
#pragma once

#include <optional>

#include "text/text.h"

namespace qh {

// Returns everything from position 1 up to the first `delimiter` found at or after `start` (<= 0: 1);
// the empty text when there is none.
Text TextBefore(const Text& text, const Text& delimiter, int start = 1, bool ignoreCase = false);

// Returns the text between the first `before` at or after `start` and the first `after` following it; the
// empty text when either is missing. "#引号" in either marker stands for a double quote.
Text TextBetween(const Text& text, const Text& before, const Text& after, int start = 1,
                 bool ignoreCase = false);

// Returns `text` after applying the pairs in order, each on the output of the one before, with `count`
// (omitted: all), `start` (0 or omitted: 1) and `caseSensitive` (omitted: false) applying to each pair.
Text ReplaceMany(const Text& text, std::optional<int> count, std::optional<int> start,
                 std::optional<bool> caseSensitive, const Text& find1, const Text& replacement1 = {},
                 const Text& find2 = {}, const Text& replacement2 = {}, const Text& find3 = {},
                 const Text& replacement3 = {}, const Text& find4 = {}, const Text& replacement4 = {},
                 const Text& find5 = {}, const Text& replacement5 = {});

}  // namespace qh
