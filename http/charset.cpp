#include "http/charset.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

#include <memory>
#include <string>

#include "text/codepage.h"

namespace qh {
namespace {

struct ConverterCloser {
  void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

}  // namespace

std::optional<Text> DecodeCharset(std::string_view bytes, const Text& charset) {
  // An empty name would open ICU's default converter rather than fail.
  if (charset.empty()) return std::nullopt;
  UErrorCode status = U_ZERO_ERROR;
  Converter converter(ucnv_open(charset.str().c_str(), &status));
  if (U_FAILURE(status) || !converter) return std::nullopt;
  // Every invalid or unmapped sequence becomes U+FFFD, which code page 936 then turns into "?".
  ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
  if (U_FAILURE(status)) return std::nullopt;

  std::u16string units;
  const char* source = bytes.data();
  const char* const sourceEnd = bytes.data() + bytes.size();
  // Most charsets give at most one unit per byte; the loop grows the buffer for the rest.
  units.resize(bytes.size() + 16);
  std::size_t written = 0;
  for (;;) {
    UChar* target = units.data() + written;
    status = U_ZERO_ERROR;
    ucnv_toUnicode(converter.get(), &target, units.data() + units.size(), &source, sourceEnd, nullptr,
                   /*flush=*/true, &status);
    written = static_cast<std::size_t>(target - units.data());
    if (status != U_BUFFER_OVERFLOW_ERROR) break;
    units.resize(units.size() * 2);
  }
  if (U_FAILURE(status)) return std::nullopt;
  units.resize(written);
  return TextFromUtf16(units);
}

}  // namespace qh
