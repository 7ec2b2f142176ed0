#include "text/codepage.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>

#include <algorithm>

namespace qh {
namespace {

Bytes Wide(std::u16string_view units) {
  std::string b;
  for (char16_t u : units) {
    b.push_back(static_cast<char>(u & 0xFF));
    b.push_back(static_cast<char>(u >> 8));
  }
  return Bytes(b);
}

TEST(CodePageTest, AnsiToWideTerminatorRules) {
  EXPECT_EQ(AnsiToWide(Text::FromCp936("A")), Bytes(std::string("A\0\0\0", 4)));
  EXPECT_EQ(AnsiToWide(Text::FromCp936("A"), true), Bytes(std::string("A\0", 2)));
  EXPECT_TRUE(AnsiToWide(Text()).empty());
  EXPECT_TRUE(AnsiToWide(Text(), true).empty());
  EXPECT_EQ(AnsiToWide(Text::FromCp936("\xC7\xE9"), true), Wide(u"情"));
}

TEST(CodePageTest, WideToAnsiTerminatorRules) {
  EXPECT_EQ(WideToAnsi(Bytes(std::string("A\0B\0C", 5))).view(), "AB");  // odd last byte ignored
  EXPECT_EQ(WideToAnsi(Bytes(std::string("A\0\0\0", 4))).view(), "A");   // a kept terminator ends the text
  EXPECT_EQ(WideToAnsi(Wide(u"a\0b")).view(), "a");
  EXPECT_TRUE(WideToAnsi(Bytes()).empty());
  EXPECT_TRUE(WideToAnsi(Bytes(std::string("A", 1))).empty());
}

TEST(CodePageTest, PlatformTableSpecifics) {
  struct Case {
    const char* cp936;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\x80", u"\u20AC"},                               // euro sign, single byte
      {"\xFF", u"\uF8F5"},     {"\xAA\xA1", u"\uE000"},  // user-defined area -> private use area
      {"\xA1\xA1", u"\u3000"}, {"\xC7\xE9\xBB\xB0", u"情话"},
      {"\xFD\x9C", u"\uF92C"},  // a CJK compatibility ideograph
      {"a\r\n", u"a\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cp936);
    EXPECT_EQ(Utf16FromText(Text::FromCp936(c.cp936)), c.utf16);
    EXPECT_EQ(TextFromUtf16(c.utf16).view(), c.cp936);
  }
}

TEST(CodePageTest, UnmappableBecomesQuestionMark) {
  struct Decode {
    const char* cp936;
    std::u16string want;
  };
  const Decode decodes[] = {
      {"\x81\x20", u"? "},  // a lead byte with an invalid trail: the trail stays itself
      {"a\x81", u"a?"},     // a lead byte at the end
      {"\x81\x7F", u"?\x7F"},
  };
  for (const Decode& d : decodes) {
    SCOPED_TRACE(d.cp936);
    EXPECT_EQ(Utf16FromText(Text::FromCp936(d.cp936)), d.want);
  }
  struct Encode {
    std::u16string utf16;
    const char* want;
  };
  const Encode encodes[] = {
      {u"a\u0E01b", "a?b"},   // Thai has no code in code page 936
      {u"\U0001F600", "??"},  // one "?" per unit of a surrogate pair
      {u"x\xD800y", "x?y"},   // a lone surrogate
      {u"\uFFFD", "?"},
  };
  for (const Encode& e : encodes) {
    SCOPED_TRACE(e.want);
    EXPECT_EQ(TextFromUtf16(e.utf16).view(), e.want);
  }
}

TEST(CodePageTest, ComposesBaseLetterAndCombiningMark) {
  // e + U+0301 is composed to U+00E9, which code page 936 holds (A8 A6); the compatibility ideographs,
  // which full normalisation would rewrite, stay as they are.
  EXPECT_EQ(TextFromUtf16(u"e\u0301").view(), "\xA8\xA6");
  EXPECT_EQ(TextFromUtf16(u"\u00E9").view(), "\xA8\xA6");
  EXPECT_EQ(TextFromUtf16(u"\uF92C\uF979\uF995").view(), "\xFD\x9C\xFD\x9D\xFD\x9E");
  EXPECT_EQ(TextFromUtf16(u"x\u0301").view(), "x?");  // nothing to compose with: the mark has no code
}

TEST(CodePageTest, EveryDoubleByteCodeRoundTrips) {
  int mapped = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail), 0};
      const Text t = Text::FromCp936(bytes);
      const Bytes wide = AnsiToWide(t, true);
      ASSERT_EQ(wide.size(), 2u) << std::hex << lead << ' ' << trail;
      if (wide.view() == std::string_view("?\0", 2)) continue;  // an unassigned code
      ++mapped;
      EXPECT_EQ(WideToAnsi(wide), t) << std::hex << lead << ' ' << trail;
    }
  }
  // GBK's assigned codes plus the user-defined areas: nearly all of the 23940 pairs.
  EXPECT_GT(mapped, 23000);
}

TEST(CodePageTest, Utf8BothWays) {
  EXPECT_EQ(Utf8FromText(Text::FromCp936("\xC7\xE9\xBB\xB0.txt")), "情话.txt");
  EXPECT_EQ(TextFromUtf8(std::string_view("情话.txt")).view(), "\xC7\xE9\xBB\xB0.txt");
  EXPECT_EQ(TextFromUtf8(std::string_view("a\xFF"
                                          "b"))
                .view(),
            "a?b");  // invalid UTF-8
  EXPECT_EQ(u8"情话.txt"_text.view(), "\xC7\xE9\xBB\xB0.txt");
  EXPECT_EQ(&u8"情话.txt"_text, &u8"情话.txt"_text);  // converted once and kept
}

TEST(CodePageTest, Cp936LengthCountsBytesPerUnit) {
  EXPECT_EQ(Cp936Length(u""), 0u);
  EXPECT_EQ(Cp936Length(u"ab"), 2u);
  EXPECT_EQ(Cp936Length(u"情话ab"), 6u);
  EXPECT_EQ(Cp936Length(u"\u20AC"), 1u);
  EXPECT_EQ(Cp936Length(u"\U0001F600"), 2u);
}

// The conversion answers from tables read out of ICU's converter once; these compare every character with
// a plain trip through the same converter, in both directions.
class ReferenceConverter {
 public:
  ReferenceConverter() {
    UErrorCode err = U_ZERO_ERROR;
    converter_ = ucnv_open("windows-936-2000", &err);
  }
  ~ReferenceConverter() { ucnv_close(converter_); }
  // ICU substitutes U+FFFD where the code page's default character is "?"; no byte sequence decodes to it.
  std::u16string Decode(std::string_view bytes) {
    UChar out[16];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n =
        ucnv_toUChars(converter_, out, 16, bytes.data(), static_cast<int32_t>(bytes.size()), &err);
    std::u16string units(out, out + n);
    std::replace(units.begin(), units.end(), u'\uFFFD', u'?');
    return units;
  }
  std::string Encode(char16_t unit) {
    char out[8];
    UErrorCode err = U_ZERO_ERROR;
    const int32_t n = ucnv_fromUChars(converter_, out, 8, reinterpret_cast<const UChar*>(&unit), 1, &err);
    // ICU's substitution drops default-ignorable characters such as U+00AD; the code page writes "?".
    return n == 0 ? "?" : std::string(out, n);
  }

 private:
  UConverter* converter_ = nullptr;
};

TEST(CodePageTest, DecodingMatchesTheConverterForEveryByteSequence) {
  ReferenceConverter reference;
  for (int lead = 0x80; lead <= 0xFF; ++lead) {
    const char alone[] = {static_cast<char>(lead), 0};
    ASSERT_EQ(Utf16FromText(Text::FromCp936(alone)), reference.Decode(alone)) << std::hex << lead;
    for (int trail = 0x01; trail <= 0xFF; ++trail) {
      // A third byte that is ASCII, a lead byte, and a lead byte followed by its trail.
      for (const char* rest : {"A", "\x81", "\xB0\xA1"}) {
        const std::string bytes = std::string{static_cast<char>(lead), static_cast<char>(trail)} + rest;
        ASSERT_EQ(Utf16FromText(Text::FromCp936(bytes)), reference.Decode(bytes))
            << std::hex << lead << ' ' << trail << ' ' << rest;
      }
    }
  }
}

TEST(CodePageTest, EncodingMatchesTheConverterForEveryUnit) {
  ReferenceConverter reference;
  for (int u = 1; u <= 0xFFFF; ++u) {
    // Surrogates give one "?" per unit (covered above); combining marks may compose with what precedes them.
    if (U16_IS_SURROGATE(u)) continue;
    const char16_t unit = static_cast<char16_t>(u);
    const std::string want = reference.Encode(unit);
    ASSERT_EQ(TextFromUtf16(std::u16string_view(&unit, 1)).str(), want) << std::hex << u;
    ASSERT_EQ(Cp936Length(std::u16string_view(&unit, 1)), want.size()) << std::hex << u;
  }
}

}  // namespace
}  // namespace qh
