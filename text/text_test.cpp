#include "text/text.h"

#include <gtest/gtest.h>

namespace qh {
namespace {

// Code page 936 bytes for tests: "\xC7\xE9" is one double-byte character.
Text T(const char* bytes) {
  return Text::FromCp936(bytes);
}

TEST(TextTest, KeepsBytesUpToTheFirstNul) {
  EXPECT_EQ(Text::FromCp936(std::string_view("ab\0cd", 5)).view(), "ab");
  EXPECT_EQ(BytesToText(Bytes(std::string("x\0y", 3))).view(), "x");
  EXPECT_EQ(BytesToText(Bytes("xyz")).view(), "xyz");
  EXPECT_EQ(TextToBytes(T("\xC7\xE9")).view(), "\xC7\xE9");
}

TEST(TextTest, LeftRightMidCutAtBytePositions) {
  struct Case {
    const char* name;
    Text got;
    const char* want;
  };
  const Text t = T("a\xC7\xE9z");
  const Case cases[] = {
      {"left 0", TextLeft(t, 0), ""},
      {"left -1", TextLeft(t, -1), ""},
      {"left 2 splits a character", TextLeft(t, 2), "a\xC7"},
      {"left beyond", TextLeft(t, 99), "a\xC7\xE9z"},
      {"right 1", TextRight(t, 1), "z"},
      {"right 0", TextRight(t, 0), ""},
      {"right beyond", TextRight(t, 99), "a\xC7\xE9z"},
      {"mid 2,2", TextMid(t, 2, 2), "\xC7\xE9"},
      {"mid start 0", TextMid(t, 0, 2), ""},
      {"mid start past end", TextMid(t, 5, 1), ""},
      {"mid at last byte", TextMid(t, 4, 9), "z"},
      {"mid n 0", TextMid(t, 1, 0), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.got.view(), c.want);
  }
}

TEST(TextTest, FindText) {
  struct Case {
    const char* t;
    const char* sought;
    int start;
    bool ignoreCase;
    int want;
  };
  const Case cases[] = {
      {"abcabc", "c", 1, false, 3},
      {"abcabc", "c", 4, false, 6},
      {"abcabc", "c", 0, false, 3},  // start below 1 counts as 1
      {"abcabc", "c", -5, false, 3},
      {"abcabc", "c", 7, false, -1},  // start past the end
      {"abcabc", "x", 1, false, -1},
      {"abcabc", "", 3, false, 1},  // empty sought: 1, not start
      {"abcabc", "", 7, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      {"aBc", "Bc", 1, false, 2},
      {"aBc", "bC", 1, false, -1},
      {"aBc", "bC", 1, true, 2},
      {"\xC0\xC1", "\xE0\xE1", 1, true, -1},  // only ASCII letters fold
      {"\xB0\x41\x41", "A", 1, false, 3},     // the A inside the double-byte character is skipped
      {"\xB0\x41\x41", "a", 1, true, 3},
      {"\xC7\xE9\xBB\xB0", "\xE9\xBB", 1, false, -1},  // never from a second byte
      {"\xC7\xE9\xBB\xB0", "\xBB\xB0", 1, false, 3},
      {"\xC7\xE9"
       "a",
       "a", 2, false, -1},              // from a second byte the stepping is off by one and skips "a"
      {"ab\xC7", "\xC7", 1, false, 3},  // a lone lead byte at the end is one character
      {"abc", "abcd", 1, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.t << "\" \"" << c.sought << "\" " << c.start);
    EXPECT_EQ(FindText(T(c.t), T(c.sought), c.start, c.ignoreCase), c.want);
  }
}

TEST(TextTest, ReplaceText) {
  struct Case {
    const char* t;
    const char* sought;
    const char* replacement;
    int start;
    int count;
    bool caseSensitive;
    const char* want;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", 1, -1, true, "a+b+c"},
      {"a-b-c", "-", "", 1, -1, true, "abc"},
      {"a-b-c", "-", "+", 1, 1, true, "a+b-c"},
      {"a-b-c", "-", "+", 1, 0, true, "a-b-c"},
      {"a-b-c", "-", "+", 3, -1, true, "a-b+c"},
      {"a-b-c", "-", "+", 0, -1, true, "a+b+c"},
      {"a-b-c", "-", "+", 6, -1, true, "a-b-c"},  // start past the end
      {"", "-", "+", 1, -1, true, ""},
      {"a-b", "", "+", 1, -1, true, "a-b"},
      {"aaaa", "aa", "b", 1, -1, true, "bb"},     // no overlap
      {"aaa", "a", "aa", 1, -1, true, "aaaaaa"},  // replacements are not searched again
      {"<P>x</p>", "<p>", "", 1, -1, false, "x</p>"},
      {"<P>x</p>", "<p>", "", 1, -1, true, "<P>x</p>"},
      {"\xB0\x41\x41", "A", "z", 1, -1, true, "\xB0\x41z"},
      {"\xA1\xA1\xA1", "\xA1\xA1", "_", 1, -1, true, "_\xA1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.t << "\" \"" << c.sought << "\" " << c.start << ' '
                                    << c.count);
    EXPECT_EQ(ReplaceText(T(c.t), T(c.sought), T(c.replacement), c.start, c.count, c.caseSensitive).view(),
              c.want);
  }
}

TEST(TextTest, SplitText) {
  struct Case {
    const char* t;
    const char* delimiter;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"a;b;c", ";", {"a", "b", "c"}},
      {";a;;b", ";", {"", "a", "", "b"}},
      {"a;b;", ";", {"a", "b"}},
      {"a;;", ";", {"a", ""}},
      {";", ";", {""}},
      {"", ";", {}},
      {"a;b", "", {"a;b"}},
      {"abc", ";", {"abc"}},
      {"A\r\nB\r\n\r\n", "\r\n", {"A", "B", ""}},
      {"a;A;b", "A", {"a;", ";b"}},         // exact case
      {"\xB0;\xB0;", ";", {"\xB0;\xB0;"}},  // ";" as a second byte is not a delimiter
      {"x\xC7\xE9;y", ";", {"x\xC7\xE9", "y"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.t << '"');
    std::vector<std::string> got;
    for (const Text& piece : SplitText(T(c.t), T(c.delimiter))) got.push_back(piece.str());
    EXPECT_EQ(got, c.want);
  }
}

TEST(TextTest, TrimSpaces) {
  struct Case {
    const char* t;
    const char* want;
  };
  const Case cases[] = {
      {"  a b  ", "a b"},
      {"\xA1\xA1 a\xA1\xA1", "a"},
      {"\ta\r\n", "\ta\r\n"},
      {"   ", ""},
      {"", ""},
      {"\xB0\xA1\xA1", "\xB0\xA1\xA1"},  // B0 A1 is a character; the last A1 alone is no space
      {"a \xB0\xA1 ", "a \xB0\xA1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << '"' << c.t << '"');
    EXPECT_EQ(TrimSpaces(T(c.t)).view(), c.want);
  }
}

TEST(TextTest, CompareAndEquals) {
  EXPECT_TRUE(TextEquals(T("Ab"), T("Ab")));
  EXPECT_FALSE(TextEquals(T("Ab"), T("ab")));
  EXPECT_EQ(CompareText(T("Location: "), T("location: "), false), 0);
  EXPECT_NE(CompareText(T("Location: "), T("location: "), true), 0);
  EXPECT_LT(CompareText(T("a"), T("b"), true), 0);
  EXPECT_GT(CompareText(T("b"), T("a"), true), 0);
  EXPECT_LT(CompareText(T("a"), T("ab"), true), 0);
  EXPECT_GT(CompareText(T("\xC7"), T("a"), true), 0);  // bytes compare unsigned
  EXPECT_NE(CompareText(T("\xC0"), T("\xE0"), false), 0);
}

TEST(TextTest, NumbersAndConcatenation) {
  EXPECT_EQ(IntToText(1981).view(), "1981");
  EXPECT_EQ(IntToText(-3).view(), "-3");
  EXPECT_EQ(IntToText(0).view(), "0");
  EXPECT_EQ(ConcatTexts(T("a"), T(""), T("\xC7\xE9"), T("b")).view(),
            "a\xC7\xE9"
            "b");
  Text built = T("x");
  built.Append(T("y")).Append(T("z"));
  EXPECT_EQ(built.view(), "xyz");
}

TEST(BytesTest, Operations) {
  EXPECT_EQ(BlankBytes(3), Bytes(std::string(3, '\0')));
  EXPECT_TRUE(BlankBytes(0).empty());
  EXPECT_TRUE(BlankBytes(-1).empty());
  const Bytes b(std::string("ab\0c", 4));
  EXPECT_EQ(BytesLength(b), 4);
  EXPECT_EQ(BytesLeft(b, 3), Bytes(std::string("ab\0", 3)));
  EXPECT_EQ(BytesLeft(b, 9), b);
  EXPECT_TRUE(BytesLeft(b, -1).empty());
  EXPECT_EQ(ConcatBytes(b, Bytes("z")), Bytes(std::string("ab\0cz", 5)));
  const char raw[] = {'q', '\0', 'r'};
  EXPECT_EQ(BytesFromPointer(raw, 3), Bytes(std::string(raw, 3)));
  EXPECT_TRUE(BytesFromPointer(raw, 0).empty());
}

}  // namespace
}  // namespace qh
