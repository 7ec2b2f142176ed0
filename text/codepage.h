// Conversion between code page 936 text and UTF-16 or UTF-8. Bytes that map to nothing become U+003F and
// UTF-16 units that code page 936 cannot hold become "?": conversion never fails and never drops a character.
//   Bytes wide = AnsiToWide(text);           // UTF-16LE units, NUL unit last
//   const Text& name = u8"情话.txt"_text;     // a program constant, converted from UTF-8 once
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "text/text.h"

namespace qh {

// Returns `text` as UTF-16LE code units, ended by a NUL unit unless `dropTerminator`; empty for an empty
// text.
Bytes AnsiToWide(const Text& text, bool dropTerminator = false);
// Returns the UTF-16LE units of `wide` (an odd last byte ignored) as code page 936 text, up to the first NUL
// unit. A base letter followed by combining marks becomes the precomposed character where one exists.
Text WideToAnsi(const Bytes& wide);

// Returns `text` decoded to UTF-16, without terminator.
std::u16string Utf16FromText(const Text& text);
// Returns the UTF-16 `units` as code page 936 text, with WideToAnsi's rules (composition, "?", cut at NUL).
Text TextFromUtf16(std::u16string_view units);
// Returns the number of code page 936 bytes that TextFromUtf16 makes of `units` (each unit counted alone).
std::size_t Cp936Length(std::u16string_view units);

// Returns `text` as UTF-8.
std::string Utf8FromText(const Text& text);
// Returns the UTF-8 `utf8` as code page 936 text (invalid UTF-8 and characters the code page lacks become
// "?").
Text TextFromUtf8(std::string_view utf8);
Text TextFromUtf8(std::u8string_view utf8);

namespace internal {
template <std::size_t N>
struct Utf8Literal {
  consteval Utf8Literal(const char8_t (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) chars[i] = s[i];
  }
  char8_t chars[N];
};
}  // namespace internal

inline namespace literals {
// Returns the code page 936 text of a UTF-8 literal (u8"..."_text), converted on first use and kept.
template <internal::Utf8Literal S>
const Text& operator""_text() {
  static const Text converted = TextFromUtf8(std::u8string_view(S.chars, sizeof(S.chars) - 1));
  return converted;
}
}  // namespace literals

}  // namespace qh
