#include "regex/regex_object.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "text/codepage.h"

namespace qh {
namespace {

// Code page 936 bytes as a text: ASCII, or escapes such as "\xBB\xB0" for double-byte characters.
Text B(const char* cp936) {
  return Text::FromCp936(cp936);
}

// Returns every match of the collection, in order.
std::vector<Text> AllMatches(const RegexObject& re) {
  std::vector<Text> all;
  for (int i = 1; i <= re.MatchCount(); ++i) all.push_back(re.MatchText(i));
  return all;
}

TEST(RegexObjectTest, QueriesBeforeCreateAreEmpty) {
  const RegexObject re;
  int position = 7;
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.MatchText(1, &position), Text());
  EXPECT_EQ(position, -2);
  position = 7;
  EXPECT_EQ(re.SubMatchText(1, 1, &position), Text());
  EXPECT_EQ(position, -2);
  EXPECT_EQ(re.GetPattern(), Text());
  EXPECT_EQ(re.ReplaceMatches(B("x")), Text());
}

TEST(RegexObjectTest, PatternThatMatchesNothingStillCreates) {
  RegexObject re;
  EXPECT_TRUE(re.Create(B("<p>(.*)</p></a>"), u8"没有段落"_text));
  EXPECT_EQ(re.MatchCount(), 0);
  EXPECT_EQ(re.SubMatchCount(), 0);
  EXPECT_EQ(re.ReplaceMatches(B("x")), u8"没有段落"_text);
}

TEST(RegexObjectTest, InvalidPatternFailsAndDropsTheEarlierCollection) {
  const std::vector<const char*> invalid = {"(a", "[a", "a{2,1}", "*a", "(?<=a+)b", "\\C", "a\\"};
  for (const char* pattern : invalid) {
    SCOPED_TRACE(pattern);
    RegexObject re;
    ASSERT_TRUE(re.Create(B("a"), B("aaa")));
    ASSERT_EQ(re.MatchCount(), 3);
    EXPECT_FALSE(re.Create(B(pattern), B("aaa")));
    EXPECT_EQ(re.MatchCount(), 0);
    EXPECT_EQ(re.MatchText(1), Text());
    EXPECT_EQ(re.GetPattern(), B(pattern));
    EXPECT_EQ(re.ReplaceMatches(B("x")), Text());
  }
}

TEST(RegexObjectTest, IndexOutOfRangeGivesEmptyTextAndNoPosition) {
  RegexObject re;
  ASSERT_TRUE(re.Create(B("(a)(b)?"), B("a a")));
  ASSERT_EQ(re.MatchCount(), 2);
  for (int match : {0, 3, -1}) {
    SCOPED_TRACE(testing::Message() << "match " << match);
    int position = 7;
    EXPECT_EQ(re.MatchText(match, &position), Text());
    EXPECT_EQ(position, -2);
  }
  struct Case {
    int match;
    int group;
  };
  // Groups count from 1: group 0 is not the whole match.
  const std::vector<Case> cases = {{0, 1}, {3, 1}, {1, 0}, {1, -1}, {1, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "match " << c.match << " group " << c.group);
    int position = 7;
    EXPECT_EQ(re.SubMatchText(c.match, c.group, &position), Text());
    EXPECT_EQ(position, -2);
  }
}

TEST(RegexObjectTest, PositionsAreByteOffsetsInTheSubject) {
  struct Case {
    const char* name;
    Text subject;
    Text pattern;
    int match;
    Text expected;
    int position;
  };
  const std::vector<Case> cases = {
      {"after two double-byte characters", u8"你好ab"_text, B("b"), 1, B("b"), 5},
      {"first of two", B("aa"), B("a"), 1, B("a"), 0},
      {"second of two", B("aa"), B("a"), 2, B("a"), 1},
      // Both trail bytes are 0x80 or above, so a byte search from the unit count would stray.
      {"trail bytes above 0x7F",
       B("\xC4\xE3\xBA\xC3"
         "a"),
       B("a"), 1, B("a"), 4},
      {"on a line after a double-byte character", u8"你\n<p>话</p></a>"_text, B("<p>.*</p></a>"), 1,
       u8"<p>话</p></a>"_text, 3},
      {"double-byte match", u8"ab你好"_text, u8"好"_text, 1, u8"好"_text, 4},
      {"single-byte euro sign 0x80",
       B("\x80"
         "a"),
       B("a"), 1, B("a"), 1},
      {"stray lead byte with a bad trail",
       B("\x81\x7F"
         "a"),
       B("a"), 1, B("a"), 2},
      {"byte 0xFF",
       B("\xFF"
         "a"),
       B("a"), 1, B("a"), 1},
      {"empty match at the end", u8"你好"_text, B("$"), 1, Text(), 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject));
    int position = -7;
    EXPECT_EQ(re.MatchText(c.match, &position), c.expected);
    EXPECT_EQ(position, c.position);
  }
}

TEST(RegexObjectTest, PositionsFarIntoALongSubject) {
  // Past many double-byte characters, so the offset is counted from a later mark, not from the start.
  Text subject;
  for (int i = 0; i < 1000; ++i) subject.Append(u8"话a"_text);
  subject.Append(B("<b>"));
  RegexObject re;
  ASSERT_TRUE(re.Create(B("a"), subject));
  ASSERT_EQ(re.MatchCount(), 1000);
  int position = -7;
  for (int i : {1, 64, 65, 500, 1000}) {
    SCOPED_TRACE(i);
    re.MatchText(i, &position);
    EXPECT_EQ(position, 3 * i - 1);
  }
  ASSERT_TRUE(re.Create(B("<b>"), subject));
  re.MatchText(1, &position);
  EXPECT_EQ(position, 3000);
}

TEST(RegexObjectTest, GroupTextsAndTheirOwnPositions) {
  RegexObject re;
  ASSERT_TRUE(re.Create(B("<p>(a*)(x)?(\xBB\xB0)"), u8"你好<p>aa话 <p>话"_text));
  ASSERT_EQ(re.MatchCount(), 2);
  EXPECT_EQ(re.SubMatchCount(), 3);
  struct Case {
    int match;
    int group;
    Text expected;
    int position;
  };
  const std::vector<Case> cases = {
      {1, 1, B("aa"), 7},      {1, 2, Text(), -2},  // took part in no match
      {1, 3, u8"话"_text, 9},  {2, 1, Text(), 15},  // matched empty: still has a place
      {2, 3, u8"话"_text, 15},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "match " << c.match << " group " << c.group);
    int position = -7;
    EXPECT_EQ(re.SubMatchText(c.match, c.group, &position), c.expected);
    EXPECT_EQ(position, c.position);
  }
}

TEST(RegexObjectTest, CharsetPatternHasOneGroup) {
  const Text pattern = B("<meta.+?charset=[^\\w]?([-\\w]+)");
  struct Case {
    const char* subject;
    int groups;
    const char* charset;
  };
  const std::vector<Case> cases = {
      {"<META http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">", 1, "gb2312"},
      {"<meta charset=\"UTF-8\"><meta charset=\"big5\">", 1, "UTF-8"},
      {"<meta name=\"x\">", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subject);
    RegexObject re;
    ASSERT_TRUE(re.Create(pattern, B(c.subject)));
    EXPECT_EQ(re.SubMatchCount(), c.groups);
    EXPECT_EQ(re.SubMatchText(1, 1), B(c.charset));
  }
}

TEST(RegexObjectTest, QuoteMarkerStandsForADoubleQuoteWhenAsked) {
  const Text pattern = u8"href=#引号([^#引号]*)#引号"_text;
  const Text subject = B("<a href=\"/qh/3.html\">");
  RegexObject re;
  ASSERT_TRUE(re.Create(pattern, subject, {}, {}, {}, true));
  EXPECT_EQ(re.GetPattern(), B("href=\"([^\"]*)\""));
  EXPECT_EQ(re.SubMatchText(1, 1), B("/qh/3.html"));

  ASSERT_TRUE(re.Create(pattern, subject));
  EXPECT_EQ(re.GetPattern(), pattern);
  EXPECT_EQ(re.MatchCount(), 0);
}

struct DialectCase {
  const char* name;
  Text pattern;
  Text subject;
  std::vector<Text> matches;
  std::optional<bool> caseSensitive = {};
  std::optional<bool> multiline = {};
  std::optional<bool> global = {};
};

TEST(RegexObjectTest, Dialect) {
  const std::vector<DialectCase> cases = {
      {"dot stops at a line feed", B("a.b"), B("a\nb axb"), {B("axb")}},
      {"dot takes a carriage return", B("a.b"), B("a\rb"), {B("a\rb")}},
      {"dot takes a double-byte character", B("a.b"), u8"a话b"_text, {u8"a话b"_text}},
      {"case ignored by default", B("abc"), B("xABCx"), {B("ABC")}},
      {"case kept when asked", B("abc"), B("xABCx abc"), {B("abc")}, true},
      {"Greek letters fold", u8"αβ"_text, u8"ΑΒ"_text, {u8"ΑΒ"_text}},
      {"full-width letters fold", u8"ａ"_text, u8"Ａ"_text, {u8"Ａ"_text}},
      {"\\w is ASCII", B("\\w+"), u8"你好abc_1"_text, {B("abc_1")}},
      {"\\d is ASCII", B("\\d"), u8"１2"_text, {B("2")}},
      {"\\s is ASCII", B("\\s"), u8"a　b c"_text, {B(" ")}},
      {"^ at every line", B("^a"), B("a\na\r\na"), {B("a"), B("a"), B("a")}},
      {"^ after a final line feed", B("^"), B("a\n"), {Text(), Text()}},
      {"^ only at the start without multiline", B("^a"), B("a\na"), {B("a")}, {}, false},
      {"$ before a line feed", B("a$"), B("a\nba"), {B("a"), B("a")}},
      {"$ only at the very end without multiline", B("a$"), B("a\na\n"), {}, {}, false},
      {"$ at the end without multiline", B("a$"), B("a\na"), {B("a")}, {}, false},
      {"first match only without global", B("a"), B("aaa"), {B("a")}, {}, {}, false},
      {"empty matches step one character on", B("x*"), u8"a话"_text, {Text(), Text(), Text()}},
      {"empty match then a longer one", B("a*"), B("baa"), {Text(), B("aa"), Text()}},
      {"\\u escape", B("\\u8BDD"), u8"情话"_text, {u8"话"_text}},
      {"\\x escape", B("\\x41"), B("bA"), {B("A")}},
      {"[^] takes anything", B("a[^]b"), B("a\nb"), {B("a\nb")}},
      {"[] takes nothing", B("a[]"), B("a"), {}},
      {"unset backreference matches empty", B("(a)?b\\1"), B("b"), {B("b")}},
      {"lazy plus", B("<.+?>"), B("<a><b>"), {B("<a>"), B("<b>")}},
      {"negated class with \\w", B("[^\\w]+"), B("ab, cd"), {B(", ")}},
      {"non-overlapping", B("aba"), B("ababa"), {B("aba")}},
  };
  for (const DialectCase& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject, c.caseSensitive, c.multiline, c.global));
    EXPECT_EQ(AllMatches(re), c.matches);
  }
}

TEST(RegexObjectTest, PagePattern) {
  const Text pattern = B("<p>(.*)</p></a>");
  struct Case {
    const char* name;
    Text subject;
    std::vector<Text> matches;
  };
  const std::vector<Case> cases = {
      {"one line each",
       u8"<li><p>一</p></a></li>\n<li><p>二</p></a></li>\n<li><p>三</p></a></li>"_text,
       {u8"<p>一</p></a>"_text, u8"<p>二</p></a>"_text, u8"<p>三</p></a>"_text}},
      {"two sayings on one line are one greedy match",
       u8"<p>一</p></a><b>x</b><p>二</p></a>\n"_text,
       {u8"<p>一</p></a><b>x</b><p>二</p></a>"_text}},
      {"carriage return inside", B("<p>a\r</p></a>\r\n"), {B("<p>a\r</p></a>")}},
      {"upper-case tags", u8"<P>好</P></A>"_text, {u8"<P>好</P></A>"_text}},
      {"tags on different lines", B("<p>a\n</p></a>"), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(pattern, c.subject));
    EXPECT_EQ(AllMatches(re), c.matches);
  }
  RegexObject re;
  ASSERT_TRUE(re.Create(pattern, cases[0].subject));
  EXPECT_EQ(re.SubMatchText(2, 1), u8"二"_text);
}

TEST(RegexObjectTest, RunawayMatchingEndsTheCollection) {
  // A line of some 300 KB with thousands of "<p>" and no closing pair after a good line.
  Text hostile = B("<p>good</p></a>\n");
  while (hostile.size() < 300'000) hostile.Append(u8"<p>一句情话</p><b>x</b> "_text);
  RegexObject re;
  ASSERT_TRUE(re.Create(B("<p>(.*)</p></a>"), hostile));
  EXPECT_EQ(AllMatches(re), std::vector<Text>{B("<p>good</p></a>")});

  // Nested repeats backtrack exponentially: the search gives up at the limit and keeps what came before.
  Text nested = B("ab ");
  for (int i = 0; i < 40; ++i) nested.Append(B("a"));
  nested.Append(B("c ab"));
  ASSERT_TRUE(re.Create(B("(a+)+b"), nested));
  EXPECT_EQ(AllMatches(re), std::vector<Text>{B("ab")});
  // A replacement cannot be half done: it fails as a whole.
  EXPECT_EQ(re.ReplaceMatches(B("x")), Text());
}

TEST(RegexObjectTest, ReplaceMatches) {
  struct Case {
    const char* name;
    Text pattern;
    Text subject;
    Text replacement;
    Text expected;
    std::optional<bool> global = {};
  };
  const std::vector<Case> cases = {
      {"all matches", B("a"), B("banana"), B("o"), B("bonono")},
      {"first only without global", B("a"), B("banana"), B("o"), B("bonana"), false},
      {"case ignored", B("a"), B("aA"), B("x"), B("xx")},
      {"group references", B("(\\w+)@(\\w+)"), B("x@y"), B("$2@$1"), B("y@x")},
      {"whole match", B("b"), B("abc"), B("[$&]"), B("a[b]c")},
      {"dollar signs", B("5"), B("5"), B("US$ 5$$"), B("US$ 5$")},
      {"unset group is empty", B("(x)?b"), B("b"), B("[$1]"), B("[]")},
      {"unknown group is empty", B("b"), B("b"), B("[$7]"), B("[]")},
      {"double-byte text", u8"好"_text, u8"你好好"_text, u8"们"_text, u8"你们们"_text},
      {"removes the tags", B("</?p>"), u8"<p>情话</p>"_text, Text(), u8"情话"_text},
      {"empty matches", B("x*"), u8"a话"_text, B("-"), u8"-a-话-"_text},
      {"no match", B("z"), u8"情话"_text, B("x"), u8"情话"_text},
      {"empty subject", B("z"), Text(), B("x"), Text()},
      {"result longer than the subject", B("a"), B("aaaa"), B("0123456789"),
       B("0123456789012345678901234567890123456789")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegexObject re;
    ASSERT_TRUE(re.Create(c.pattern, c.subject, {}, {}, c.global));
    const int count = re.MatchCount();
    EXPECT_EQ(re.ReplaceMatches(c.replacement), c.expected);
    EXPECT_EQ(re.MatchCount(), count);
  }
}

TEST(RegexObjectTest, CopiesShareTheCollectionAndOutliveTheOriginal) {
  auto original = std::make_unique<RegexObject>();
  ASSERT_TRUE(original->Create(B("\\d+"), u8"第2页第30页"_text));
  RegexObject copy(*original);
  RegexObject assigned;
  assigned = *original;

  ASSERT_TRUE(original->Create(B("x"), B("x")));
  EXPECT_EQ(original->MatchCount(), 1);
  original.reset();
  for (const RegexObject* re : {&copy, &assigned}) {
    int position = -7;
    EXPECT_EQ(re->MatchCount(), 2);
    EXPECT_EQ(re->MatchText(2, &position), B("30"));
    EXPECT_EQ(position, 7);
    EXPECT_EQ(re->GetPattern(), B("\\d+"));
    EXPECT_EQ(re->ReplaceMatches(B("N")), u8"第N页第N页"_text);
  }

  RegexObject moved(std::move(copy));
  EXPECT_EQ(moved.MatchText(1), B("2"));
  assigned = std::move(moved);
  EXPECT_EQ(assigned.MatchText(2), B("30"));
}

}  // namespace
}  // namespace qh
