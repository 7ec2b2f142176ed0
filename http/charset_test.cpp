#include "http/charset.h"

#include <gtest/gtest.h>

#include <vector>

namespace qh {
namespace {

TEST(DecodeCharsetTest, NamesAsPagesWriteThem) {
  struct Case {
    std::string_view charset;
    std::string_view bytes;
    std::optional<std::string_view> text;
  };
  const std::vector<Case> cases = {
      {"utf-8", "\xE6\x83\x85 a", "\xC7\xE9 a"},
      {"UTF8", "\xE6\x83\x85", "\xC7\xE9"},
      {"big5", "\xB1\xA1", "\xC7\xE9"},
      {"Big5", "\xB8\xDC", "\xD4\x92"},
      {"GBK", "\xC7\xE9", "\xC7\xE9"},
      {"iso-8859-1", "caf\xE9", "caf\xA8\xA6"},
      // Characters code page 936 lacks, and bytes invalid in the charset, become "?".
      {"utf-8", "\xED\x95\x9C|\xC3", "?|?"},
      {"utf-8", "", ""},
      {"x-no-such-charset", "abc", std::nullopt},
      {"", "abc", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.charset << " " << c.bytes);
    const std::optional<Text> text = DecodeCharset(c.bytes, Text::FromCp936(c.charset));
    ASSERT_EQ(text.has_value(), c.text.has_value());
    if (text) {
      EXPECT_EQ(text->view(), *c.text);
    }
  }
}

TEST(DecodeCharsetTest, LongBodyDecodesWhole) {
  std::string utf8;
  for (int i = 0; i < 100000; ++i) utf8 += "\xE6\x83\x85";
  const std::optional<Text> text = DecodeCharset(utf8, Text::FromCp936("utf-8"));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->size(), 200000u);
}

}  // namespace
}  // namespace qh
