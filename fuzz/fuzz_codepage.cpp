// Fuzzes the code page 936 conversions: nothing crashes, decoded text re-encodes to text of the same
// character count, and text produced by the encoder round-trips through UTF-16 unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "text/codepage.h"

namespace {
void Check(bool ok) {
  if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // Arbitrary bytes as code page 936: decoding gives one unit per character; encoding that back is stable.
  const qh::Text text = qh::Text::FromCp936(bytes);
  const std::u16string units = qh::Utf16FromText(text);
  Check(units.size() <= text.size());
  const qh::Text again = qh::TextFromUtf16(units);
  Check(qh::Utf16FromText(again).size() == units.size());
  Check(qh::Cp936Length(units) >= units.size());

  // Arbitrary bytes as UTF-16LE: the conversion never fails, and what it gives round-trips unchanged.
  const qh::Text narrowed = qh::WideToAnsi(qh::Bytes(std::string(bytes)));
  Check(narrowed.view().find('\0') == std::string_view::npos);
  Check(qh::WideToAnsi(qh::AnsiToWide(narrowed)) == narrowed);

  // Arbitrary bytes as UTF-8.
  const qh::Text fromUtf8 = qh::TextFromUtf8(bytes);
  Check(fromUtf8.view().find('\0') == std::string_view::npos);
  return 0;
}
