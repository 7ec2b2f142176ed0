// Code page 936 conversion over ICU's "windows-936-2000" table, which is the platform's own code page 936:
// 0x80 is U+20AC, 0xFF is U+F8F5 and the user-defined areas map to the private use area.
#include "text/codepage.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace qh {
namespace {

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// The code page's default character is "?" in both directions: a byte sequence that maps to nothing decodes
// to U+003F, and every UTF-16 unit that cannot be encoded becomes one "?" byte (a surrogate pair gives two).
void ToUnicodeQuestionMark(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  const UChar mark = u'?';
  ucnv_cbToUWriteUChars(args, &mark, 1, 0, err);
}

void FromUnicodeQuestionMarks(const void*, UConverterFromUnicodeArgs* args, const UChar*, int32_t length,
                              UChar32, UConverterCallbackReason reason, UErrorCode* err) {
  if (reason > UCNV_IRREGULAR) return;
  *err = U_ZERO_ERROR;
  for (int32_t i = 0; i < length && U_SUCCESS(*err); ++i) ucnv_cbFromUWriteBytes(args, "?", 1, 0, err);
}

// One converter per thread, opened on first use; ucnv_toUChars and ucnv_fromUChars reset it on every call.
UConverter* Cp936() {
  thread_local const Converter converter = [] {
    UErrorCode err = U_ZERO_ERROR;
    Converter c(ucnv_open("windows-936-2000", &err));
    if (U_FAILURE(err) || !c) return Converter();
    ucnv_setToUCallBack(c.get(), ToUnicodeQuestionMark, nullptr, nullptr, nullptr, &err);
    ucnv_setFromUCallBack(c.get(), FromUnicodeQuestionMarks, nullptr, nullptr, nullptr, &err);
    return c;
  }();
  return converter.get();
}

// The converter's mapping read into tables once, so that converting a character is one lookup. The code page
// is stateless, so a character's conversion does not depend on what stands around it; the tables are built
// by converting every single byte, byte pair and BMP unit through the converter itself.
class Tables {
 public:
  static const Tables& Get() {
    static const Tables tables;
    return tables;
  }

  // Returns the unit of the byte pair at lead, trail, or kNotAPair when the lead byte stands alone.
  char16_t Pair(unsigned char lead, unsigned char trail) const { return pairs_[(lead - 0x80u) << 8 | trail]; }
  // Returns the unit of a byte that stands alone ("?" for a lead byte whose trail does not fit).
  char16_t Single(unsigned char byte) const { return singles_[byte]; }
  // Returns the code of `unit`: one byte below 0x100, else lead byte and trail byte; "?" when it has none.
  std::uint16_t Code(char16_t unit) const { return codes_[unit]; }

  static constexpr char16_t kNotAPair = 0xFFFF;  // a noncharacter, which no byte sequence decodes to

 private:
  Tables() : pairs_(0x80 * 0x100, kNotAPair), singles_(0x100), codes_(0x10000, '?') {
    for (int b = 0; b < 0x80; ++b) singles_[b] = static_cast<char16_t>(b);
    UConverter* c = Cp936();
    if (c == nullptr) return;
    ReadDecoding(c);
    ReadEncoding(c);
  }

  // Decodes every lead byte alone and with every trail byte in one call, each sequence followed by a line
  // feed, which is never a trail byte; the offsets of the units tell which sequence made each.
  void ReadDecoding(UConverter* c) {
    std::string source;
    for (int b = 0x80; b < 0x100; ++b) source += {static_cast<char>(b), '\n'};
    const std::size_t pairsStart = source.size();
    for (int b = 0x80; b < 0x100; ++b) {
      for (int t = 1; t < 0x100; ++t) source += {static_cast<char>(b), static_cast<char>(t), '\n'};
    }
    std::vector<UChar> units(source.size());
    std::vector<int32_t> offsets(source.size());
    UChar* target = units.data();
    const char* from = source.data();
    UErrorCode err = U_ZERO_ERROR;
    ucnv_resetToUnicode(c);
    ucnv_toUnicode(c, &target, units.data() + units.size(), &from, source.data() + source.size(),
                   offsets.data(), true, &err);
    if (U_FAILURE(err)) return;
    const std::size_t n = static_cast<std::size_t>(target - units.data());
    for (std::size_t k = 0; k < n; ++k) {
      const auto at = static_cast<std::size_t>(offsets[k]);
      if (at < pairsStart) {
        if (at % 2 == 0) singles_[0x80 + at / 2] = units[k];
        continue;
      }
      const std::size_t triple = (at - pairsStart) / 3;
      // A pair is one unit made from its lead byte, with the next unit made from the line feed.
      if ((at - pairsStart) % 3 == 0 && k + 1 < n && static_cast<std::size_t>(offsets[k + 1]) == at + 2) {
        pairs_[(triple / 0xFF) << 8 | (triple % 0xFF + 1)] = units[k];
      }
    }
  }

  // Encodes every BMP unit but the surrogates in one call; the offsets of the bytes tell which unit made
  // them.
  void ReadEncoding(UConverter* c) {
    std::u16string source;
    for (int u = 0; u < 0x10000; ++u) {
      if (!U16_IS_SURROGATE(u)) source += static_cast<char16_t>(u);  // surrogates stay "?"
    }
    std::string bytes(source.size() * 2, '\0');
    std::vector<int32_t> offsets(bytes.size());
    char* target = bytes.data();
    const UChar* from = source.data();
    UErrorCode err = U_ZERO_ERROR;
    ucnv_resetFromUnicode(c);
    ucnv_fromUnicode(c, &target, bytes.data() + bytes.size(), &from, source.data() + source.size(),
                     offsets.data(), true, &err);
    if (U_FAILURE(err)) return;
    const std::size_t n = static_cast<std::size_t>(target - bytes.data());
    for (std::size_t k = 0; k < n; ++k) {
      const char16_t unit = source[static_cast<std::size_t>(offsets[k])];
      const auto byte = static_cast<unsigned char>(bytes[k]);
      const bool second = k > 0 && offsets[k - 1] == offsets[k];
      codes_[unit] = second ? static_cast<std::uint16_t>(codes_[unit] << 8 | byte) : byte;
    }
  }

  std::vector<char16_t> pairs_;
  std::vector<char16_t> singles_;
  std::vector<std::uint16_t> codes_;
};

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsAscii(std::u16string_view s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x80; });
}

// Composes a base character with the combining marks after it into the precomposed character where one
// exists, and changes nothing else: unlike full NFC, singletons such as U+F92C stay as they are.
std::u16string ComposeMarks(std::u16string_view in) {
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2* nfc = unorm2_getNFCInstance(&err);
  std::u16string out;
  out.reserve(in.size());
  std::size_t starterAt = std::u16string::npos;  // offset in `out` of the last character of class 0
  UChar32 starter = 0;
  uint8_t lastClass = 0;
  for (std::size_t i = 0; i < in.size();) {
    UChar32 c;
    U16_NEXT(in.data(), i, in.size(), c);
    const uint8_t cls = u_getCombiningClass(c);
    if (cls != 0 && starterAt != std::u16string::npos && lastClass < cls && U_SUCCESS(err)) {
      const UChar32 composed = unorm2_composePair(nfc, starter, c);
      if (composed >= 0) {
        UChar units[2];
        int32_t n = 0;
        U16_APPEND_UNSAFE(units, n, composed);
        out.replace(starterAt, U16_LENGTH(starter), units, n);
        starter = composed;
        continue;
      }
    }
    if (cls == 0) {
      starterAt = out.size();
      starter = c;
    }
    lastClass = cls;
    UChar units[2];
    int32_t n = 0;
    U16_APPEND_UNSAFE(units, n, c);
    out.append(units, n);
  }
  return out;
}

// Returns whether `u` lies in a block without combining marks, so the character class lookup can be skipped:
// everything below U+0300, the CJK ideographs, Hangul syllables, the private use area and the full-width
// forms.
bool NeverCombines(char16_t u) {
  return u < 0x300 || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7A3) ||
         (u >= 0xE000 && u <= 0xF8FF) || (u >= 0xFF00 && u <= 0xFFEF);
}

// Returns whether some character of `units` is a combining mark, the only case in which composition can
// change anything.
bool MayCompose(std::u16string_view units) {
  for (std::size_t i = 0; i < units.size();) {
    if (NeverCombines(units[i])) {
      ++i;
      continue;
    }
    UChar32 c;
    U16_NEXT(units.data(), i, units.size(), c);
    if (u_getCombiningClass(c) != 0) return true;
  }
  return false;
}

std::string EncodeCp936(std::u16string_view units) {
  std::string out(units.size() * 2, '\0');
  if (IsAscii(units)) {
    std::transform(units.begin(), units.end(), out.begin(), [](char16_t c) { return static_cast<char>(c); });
    out.resize(units.size());
    return out;
  }
  const Tables& tables = Tables::Get();
  std::size_t n = 0;
  for (const char16_t unit : units) {
    const std::uint16_t code = tables.Code(unit);
    if (code > 0xFF) out[n++] = static_cast<char>(code >> 8);
    out[n++] = static_cast<char>(code & 0xFF);
  }
  out.resize(n);
  return out;
}

}  // namespace

std::u16string Utf16FromText(const Text& text) {
  const std::string_view s = text.view();
  if (IsAscii(s)) return std::u16string(s.begin(), s.end());
  const Tables& tables = Tables::Get();
  std::u16string out(s.size(), u'\0');
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80 && i + 1 < s.size()) {
      const char16_t unit = tables.Pair(b, static_cast<unsigned char>(s[i + 1]));
      if (unit != Tables::kNotAPair) {
        out[n++] = unit;
        i += 2;
        continue;
      }
    }
    out[n++] = tables.Single(b);
    ++i;
  }
  out.resize(n);
  return out;
}

Text TextFromUtf16(std::u16string_view units) {
  units = units.substr(0, units.find(u'\0'));
  if (MayCompose(units)) return Text::FromCp936(EncodeCp936(ComposeMarks(units)));
  return Text::FromCp936(EncodeCp936(units));
}

std::size_t Cp936Length(std::u16string_view units) {
  const Tables& tables = Tables::Get();
  std::size_t bytes = 0;
  for (const char16_t unit : units) bytes += unit < 0x80 ? 1 : (tables.Code(unit) > 0xFF ? 2 : 1);
  return bytes;
}

Bytes AnsiToWide(const Text& text, bool dropTerminator) {
  if (text.empty()) return {};
  std::u16string units = Utf16FromText(text);
  if (!dropTerminator) units.push_back(u'\0');
  std::string bytes(units.size() * 2, '\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
  return Bytes(std::move(bytes));
}

Text WideToAnsi(const Bytes& wide) {
  const std::string_view b = wide.view();
  std::u16string units(b.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(static_cast<unsigned char>(b[2 * i]) |
                                     static_cast<unsigned char>(b[2 * i + 1]) << 8);
  }
  return TextFromUtf16(units);
}

std::string Utf8FromText(const Text& text) {
  if (IsAscii(text.view())) return text.str();
  const std::u16string units = Utf16FromText(text);
  std::string out(units.size() * 3, '\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, units.data(),
                     static_cast<int32_t>(units.size()), 0xFFFD, nullptr, &err);
  out.resize(U_SUCCESS(err) || err == U_STRING_NOT_TERMINATED_WARNING ? static_cast<std::size_t>(n) : 0);
  return out;
}

Text TextFromUtf8(std::string_view utf8) {
  if (IsAscii(utf8)) return Text::FromCp936(utf8);
  std::u16string units(utf8.size(), u'\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8WithSub(units.data(), static_cast<int32_t>(units.size()), &n, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &err);
  units.resize(U_SUCCESS(err) || err == U_STRING_NOT_TERMINATED_WARNING ? static_cast<std::size_t>(n) : 0);
  return TextFromUtf16(units);
}

Text TextFromUtf8(std::u8string_view utf8) {
  return TextFromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

}  // namespace qh
