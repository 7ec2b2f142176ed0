// One regular expression compiled against one subject text, answering match and group queries.
// ECMAScript-style dialect; by default case is ignored, ^ and $ match at line feeds and all matches are kept.
//   RegexObject re;
//   re.Create(u8"<p>(.*)</p></a>"_text, page);  int n = re.MatchCount();  Text first = re.MatchText(1);
#pragma once

#include <memory>
#include <optional>

#include "text/text.h"

namespace qh {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  // A copy shares the compiled pattern and the match collection and holds its own copy of the subject.
  RegexObject(const RegexObject& other);
  RegexObject& operator=(const RegexObject& other);
  RegexObject(RegexObject&& other) noexcept;
  RegexObject& operator=(RegexObject&& other) noexcept;

  // Compiles `pattern` and collects its matches in `subject`; returns false when the pattern does not compile
  // (no collection is then kept). Defaults: caseSensitive false, multiline true, global true,
  // expandQuoteMarker false ("#引号" in the pattern stands for a double quote when true).
  bool Create(const Text& pattern, const Text& subject, std::optional<bool> caseSensitive = {},
              std::optional<bool> multiline = {}, std::optional<bool> global = {},
              std::optional<bool> expandQuoteMarker = {});

  // Returns the pattern as compiled (after the quote-marker expansion); empty before any Create.
  Text GetPattern() const;
  // Returns the stored subject with the matches (all, or the first when not global) replaced by
  // `replacement`, in which $n stands for group n, $& for the match and $$ for a dollar sign; empty when
  // there is no compiled pattern or the search gives up at its limit.
  Text ReplaceMatches(const Text& replacement) const;
  // Returns the number of matches collected; 0 when there is no collection.
  int MatchCount() const;
  // Returns the text of the match at 1-based `index`, empty when out of range. When `position` is given it
  // receives the match's 0-based byte offset in the subject, or -2 when there is no such match.
  Text MatchText(int index, int* position = nullptr) const;
  // Returns the text of group `groupIndex` of match `matchIndex` (both 1-based), empty when out of range or
  // when the group took part in no match; `position` as for MatchText, the group's own offset.
  Text SubMatchText(int matchIndex, int groupIndex, int* position = nullptr) const;
  // Returns the number of groups of the first match; 0 when there is no match.
  int SubMatchCount() const;

 private:
  struct Compiled;
  struct Collection;
  // The text of slot `slot` (0: the whole match, n: group n) of match `matchIndex`, with its byte position.
  Text SlotText(int matchIndex, int slot, int* position) const;

  std::shared_ptr<const Compiled> compiled_;
  std::shared_ptr<const Collection> matches_;
  Text subject_;
};

}  // namespace qh
