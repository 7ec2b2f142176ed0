// Fuzzes the cookie merge on two arbitrary cookie strings: the result holds no deleted cookie, no non-empty
// piece twice, and both arguments come back as the merge left them.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/cookies.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  qh::Text sent = qh::Text::FromCp936(input.substr(0, split));
  qh::Text received = qh::Text::FromCp936(split == std::string_view::npos ? "" : input.substr(split + 1));

  const qh::Text merged = qh::MergeCookies(sent, received);
  Check(sent == merged);
  Check(received == qh::TrimSpaces(received));
  const qh::Text separator = qh::Text::FromCp936(";");
  // Empty pieces may repeat (a trailing separator splits into none), every other piece stands once.
  qh::TextArray seen;
  for (const qh::Text& piece : qh::SplitText(merged, separator)) {
    Check(!piece.view().ends_with("=deleted"));
    Check(piece.empty() || qh::IndexOfText(seen, piece) == -1);
    seen.push_back(piece);
  }
  return 0;
}
