// Fuzzes the operations that step over double-byte characters, checking the invariants they promise:
// results never hold a NUL, positions lie inside the text, and split pieces join back to the input.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/text.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool HasNul(const qh::Text& t) {
  return t.view().find('\0') != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // First byte: flags and start; second: the length of the sought text; the rest: sought, then text.
  const bool fold = data[0] & 1;
  const int start = static_cast<int8_t>(data[0]) >> 1;
  const std::size_t soughtLength = std::min<std::size_t>(data[1] % 8, size - 2);
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const qh::Text sought = qh::Text::FromCp936(rest.substr(0, soughtLength));
  const qh::Text text = qh::Text::FromCp936(rest.substr(soughtLength));

  const int p = qh::FindText(text, sought, start, fold);
  Check(p == -1 || (p >= 1 && p <= qh::TextLength(text)));
  if (p != -1 && !sought.empty()) {
    Check(qh::CompareText(qh::TextMid(text, p, qh::TextLength(sought)), sought, !fold) == 0);
  }

  const qh::Text replaced = qh::ReplaceText(text, sought, qh::Text::FromCp936("#"), start, -1, !fold);
  Check(!HasNul(replaced));
  if (p == -1) Check(replaced == text);

  const qh::TextArray pieces = qh::SplitText(text, sought);
  if (!sought.empty() && !text.empty()) {
    qh::Text joined;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (i > 0) joined.Append(sought);
      joined.Append(pieces[i]);
    }
    // A trailing delimiter adds no piece, so the join may lack exactly one delimiter at the end.
    Check(joined == text || qh::ConcatTexts(joined, sought) == text);
  }

  const qh::Text trimmed = qh::TrimSpaces(text);
  Check(trimmed.size() <= text.size() && text.view().find(trimmed.view()) != std::string_view::npos);
  Check(qh::TrimSpaces(trimmed) == trimmed);
  return 0;
}
