// Code page 936 text, counted byte buffers and the primitive operations on them.
// Positions and lengths count bytes, positions are 1-based and -1 means "not found".
//   Text csv = Text::FromCp936("a,b");
//   TextArray parts = SplitText(csv, Text::FromCp936(","));   // {"a", "b"}
#pragma once

#include <compare>
#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qh {

// A string of code page 936 bytes that never holds a NUL byte. A byte of 0x80 or above followed by
// another byte is one double-byte character. Built only from code page 936 bytes (FromCp936) or by
// conversion (TextFromUtf8, TextFromUtf16 in codepage.h), so UTF-8 cannot slip in unconverted.
class Text {
 public:
  Text() = default;

  // Returns the text of the code page 936 `bytes` up to their first zero byte.
  static Text FromCp936(std::string_view bytes);
  static Text FromCp936(std::string&& bytes);
  static Text FromCp936(const char* bytes) { return FromCp936(std::string_view(bytes)); }

  std::string_view view() const { return bytes_; }
  const std::string& str() const { return bytes_; }
  const char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  // Appends `other` in place; returns *this (cheaper than ConcatTexts when building a text piece by piece).
  Text& Append(const Text& other);

  friend bool operator==(const Text&, const Text&) = default;
  friend auto operator<=>(const Text&, const Text&) = default;

 private:
  std::string bytes_;
};

// An owned, counted byte buffer; may hold zero bytes.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(std::string data) : data_(std::move(data)) {}

  std::string_view view() const { return data_; }
  const std::string& str() const { return data_; }
  std::string& str() { return data_; }
  const char* data() const { return data_.data(); }
  std::size_t size() const { return data_.size(); }
  bool empty() const { return data_.empty(); }

  friend bool operator==(const Bytes&, const Bytes&) = default;

 private:
  std::string data_;
};

// A list of texts. Routines that report an index into one count from 1.
using TextArray = std::vector<Text>;

// Returns the number of bytes of `t`.
int TextLength(const Text& t);
// Returns the first `n` bytes of `t`: empty if n <= 0, all of it if n >= its length.
Text TextLeft(const Text& t, int n);
// Returns the last `n` bytes of `t`: empty if n <= 0, all of it if n >= its length.
Text TextRight(const Text& t, int n);
// Returns up to `n` bytes from position `start`; empty if start < 1, start > length or n <= 0.
Text TextMid(const Text& t, int start, int n);

// Returns the position of the first occurrence of `sought` at or after `start` (omitted or < 1: 1), stepping
// over double-byte characters; -1 if none or start > length. An empty `sought` gives 1 when the searched
// stretch is non-empty, else -1. `ignoreCase` true folds ASCII letters.
int FindText(const Text& t, const Text& sought, int start = 1, bool ignoreCase = false);

// Returns `t` with the occurrences of `sought` from `start` on replaced left to right without overlap: all of
// them when `count` is omitted or negative, none when 0. `t` comes back unchanged when it or `sought` is
// empty or start > length. `caseSensitive` false folds ASCII letters (the opposite sense of FindText's flag).
Text ReplaceText(const Text& t, const Text& sought, const Text& replacement = {}, int start = 1,
                 int count = -1, bool caseSensitive = true);

// Returns the pieces of `t` between exact occurrences of `delimiter`. Empty pieces before a leading or
// between adjacent delimiters stay, a trailing delimiter adds none; an empty `t` gives no pieces, an empty
// `delimiter` gives `t` alone.
TextArray SplitText(const Text& t, const Text& delimiter);

// Returns `t` without leading and trailing ASCII spaces and full-width spaces (A1 A1); tabs, CR and LF stay.
Text TrimSpaces(const Text& t);

// Returns whether `a` and `b` hold the same bytes.
bool TextEquals(const Text& a, const Text& b);
// Returns a negative number, 0 or a positive number as `a` sorts before, with or after `b` in byte order;
// `caseSensitive` false folds ASCII letters.
int CompareText(const Text& a, const Text& b, bool caseSensitive = true);

// Returns the signed decimal digits of `i`.
Text IntToText(std::int64_t i);

namespace internal {
Text ConcatViews(std::initializer_list<std::string_view> parts);
std::string ConcatByteViews(std::initializer_list<std::string_view> parts);
}  // namespace internal

// Returns the texts joined in order.
template <typename... Ts>
requires(std::same_as<Ts, Text>&&...) Text ConcatTexts(const Ts&... parts) {
  return internal::ConcatViews({parts.view()...});
}

// Returns the number of bytes of `b`.
std::int64_t BytesLength(const Bytes& b);
// Returns `n` zero bytes; empty if n <= 0.
Bytes BlankBytes(std::int64_t n);
// Returns the first `n` bytes of `b`, n clamped to 0..length.
Bytes BytesLeft(const Bytes& b, std::int64_t n);
// Returns a copy of `n` bytes of memory at `address` (none if n <= 0).
Bytes BytesFromPointer(const void* address, std::int64_t n);
// Returns the bytes of `t`, without a terminator.
Bytes TextToBytes(const Text& t);
// Returns the bytes of `b` before its first zero byte (all of them when it has none), as text.
Text BytesToText(const Bytes& b);

// Returns the byte buffers joined in order.
template <typename... Bs>
requires(std::same_as<Bs, Bytes>&&...) Bytes ConcatBytes(const Bs&... parts) {
  return Bytes(internal::ConcatByteViews({parts.view()...}));
}

}  // namespace qh
