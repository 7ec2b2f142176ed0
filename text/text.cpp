#include "text/text.h"

#include <algorithm>
#include <cstring>

namespace qh {
namespace {

// Returns the byte length of the character starting at `i`: 2 for a lead byte (0x80 or above) that has a byte
// after it, else 1. Texts hold no NUL, so any following byte completes the pair.
std::size_t CharLength(std::string_view s, std::size_t i) {
  return static_cast<unsigned char>(s[i]) >= 0x80 && i + 1 < s.size() ? 2 : 1;
}

char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool MatchesAt(std::string_view s, std::size_t i, std::string_view sought, bool foldCase) {
  if (!foldCase) return s.compare(i, sought.size(), sought) == 0;
  for (std::size_t k = 0; k < sought.size(); ++k) {
    if (FoldAscii(s[i + k]) != FoldAscii(sought[k])) return false;
  }
  return true;
}

// Returns the 0-based offset of the first match at or after `from`, stepping over double-byte characters.
std::size_t FindFrom(std::string_view s, std::size_t from, std::string_view sought, bool foldCase) {
  // Most positions fail on their first byte, so that is tested before the whole comparison.
  const char first = foldCase ? FoldAscii(sought[0]) : sought[0];
  for (std::size_t i = from; i + sought.size() <= s.size(); i += CharLength(s, i)) {
    if ((foldCase ? FoldAscii(s[i]) : s[i]) == first && MatchesAt(s, i, sought, foldCase)) return i;
  }
  return std::string_view::npos;
}

bool IsSpaceAt(std::string_view s, std::size_t i, std::size_t length) {
  return (length == 1 && s[i] == ' ') || (length == 2 && s[i] == '\xA1' && s[i + 1] == '\xA1');
}

}  // namespace

Text Text::FromCp936(std::string_view bytes) {
  return FromCp936(std::string(bytes));
}

Text Text::FromCp936(std::string&& bytes) {
  Text t;
  t.bytes_ = std::move(bytes);
  if (const void* nul = std::memchr(t.bytes_.data(), 0, t.bytes_.size())) {
    t.bytes_.resize(static_cast<const char*>(nul) - t.bytes_.data());
  }
  return t;
}

Text& Text::Append(const Text& other) {
  bytes_ += other.bytes_;
  return *this;
}

int TextLength(const Text& t) {
  return static_cast<int>(t.size());
}

Text TextLeft(const Text& t, int n) {
  if (n <= 0) return {};
  return Text::FromCp936(t.view().substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(const Text& t, int n) {
  if (n <= 0) return {};
  const std::size_t keep = std::min(t.size(), static_cast<std::size_t>(n));
  return Text::FromCp936(t.view().substr(t.size() - keep));
}

Text TextMid(const Text& t, int start, int n) {
  if (start < 1 || static_cast<std::size_t>(start) > t.size() || n <= 0) return {};
  return Text::FromCp936(t.view().substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

int FindText(const Text& t, const Text& sought, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > t.size()) return -1;
  if (sought.empty()) return 1;
  const std::size_t at = FindFrom(t.view(), static_cast<std::size_t>(start) - 1, sought.view(), ignoreCase);
  return at == std::string_view::npos ? -1 : static_cast<int>(at) + 1;
}

Text ReplaceText(const Text& t, const Text& sought, const Text& replacement, int start, int count,
                 bool caseSensitive) {
  if (start < 1) start = 1;
  if (t.empty() || sought.empty() || static_cast<std::size_t>(start) > t.size() || count == 0) return t;
  const std::string_view s = t.view();
  std::string out;
  out.reserve(s.size());
  std::size_t copied = 0;
  std::size_t at = static_cast<std::size_t>(start) - 1;
  for (int done = 0; count < 0 || done < count; ++done) {
    at = FindFrom(s, at, sought.view(), !caseSensitive);
    if (at == std::string_view::npos) break;
    out.append(s, copied, at - copied).append(replacement.view());
    at += sought.size();
    copied = at;
  }
  out.append(s, copied);
  return Text::FromCp936(std::move(out));
}

TextArray SplitText(const Text& t, const Text& delimiter) {
  if (t.empty()) return {};
  if (delimiter.empty()) return {t};
  const std::string_view s = t.view();
  TextArray pieces;
  std::size_t pieceStart = 0;
  for (std::size_t at = FindFrom(s, 0, delimiter.view(), false); at != std::string_view::npos;
       at = FindFrom(s, pieceStart, delimiter.view(), false)) {
    pieces.push_back(Text::FromCp936(s.substr(pieceStart, at - pieceStart)));
    pieceStart = at + delimiter.size();
  }
  if (pieceStart < s.size()) pieces.push_back(Text::FromCp936(s.substr(pieceStart)));
  return pieces;
}

Text TrimSpaces(const Text& t) {
  const std::string_view s = t.view();
  std::size_t begin = 0;
  while (begin < s.size() && IsSpaceAt(s, begin, CharLength(s, begin))) begin += CharLength(s, begin);
  // Trailing spaces are found walking forward, so that an A1 A1 pair is only taken on a character boundary.
  std::size_t end = begin;
  for (std::size_t i = begin; i < s.size();) {
    const std::size_t length = CharLength(s, i);
    if (!IsSpaceAt(s, i, length)) end = i + length;
    i += length;
  }
  return Text::FromCp936(s.substr(begin, end - begin));
}

bool TextEquals(const Text& a, const Text& b) {
  return a.view() == b.view();
}

int CompareText(const Text& a, const Text& b, bool caseSensitive) {
  const std::string_view x = a.view(), y = b.view();
  const std::size_t n = std::min(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto cx = static_cast<unsigned char>(caseSensitive ? x[i] : FoldAscii(x[i]));
    const auto cy = static_cast<unsigned char>(caseSensitive ? y[i] : FoldAscii(y[i]));
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return x.size() == y.size() ? 0 : (x.size() < y.size() ? -1 : 1);
}

Text IntToText(std::int64_t i) {
  return Text::FromCp936(std::to_string(i));
}

namespace internal {
std::string ConcatByteViews(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (std::string_view p : parts) total += p.size();
  std::string out;
  out.reserve(total);
  for (std::string_view p : parts) out += p;
  return out;
}

Text ConcatViews(std::initializer_list<std::string_view> parts) {
  return Text::FromCp936(ConcatByteViews(parts));
}
}  // namespace internal

std::int64_t BytesLength(const Bytes& b) {
  return static_cast<std::int64_t>(b.size());
}

Bytes BlankBytes(std::int64_t n) {
  return n <= 0 ? Bytes() : Bytes(std::string(static_cast<std::size_t>(n), '\0'));
}

Bytes BytesLeft(const Bytes& b, std::int64_t n) {
  const auto keep = static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, BytesLength(b)));
  return Bytes(std::string(b.view().substr(0, keep)));
}

Bytes BytesFromPointer(const void* address, std::int64_t n) {
  if (address == nullptr || n <= 0) return {};
  return Bytes(std::string(static_cast<const char*>(address), static_cast<std::size_t>(n)));
}

Bytes TextToBytes(const Text& t) {
  return Bytes(t.str());
}

Text BytesToText(const Bytes& b) {
  return Text::FromCp936(b.view());
}

}  // namespace qh
