#include "http/cookies.h"

#include <gtest/gtest.h>

#include "http/test_printers.h"
#include "text/codepage.h"

namespace qh {
namespace {

Text T(std::string_view bytes) {
  return Text::FromCp936(bytes);
}

TEST(MergeCookiesTest, ReceivedWinSentSurviveDeletedAndDuplicatesGo) {
  struct Case {
    std::string_view sent;
    std::string_view received;
    std::string_view merged;
  };
  const std::vector<Case> cases = {
      {"a=1; b=2", "c=3; d=4", "c=3; d=4;a=1; b=2"},
      {"a=1; b=2", "b=9", "b=9;a=1"},
      {"a=1; b=2", "a=5", "a=5; b=2"},
      {"a=1; b=2", "a=deleted; c=3", " c=3; b=2"},
      {"", "a=1", "a=1"},
      {"a=1", "", "a=1"},
      {"", "", ""},
      {"flag; a=1", "a=2", "a=2;flag"},
      {"A=1", "a=2", "a=2;A=1"},
      {"a=1; a=2", "b=1", "b=1;a=1"},
      {"x=1", "x=1; x=1", "x=1; x=1"},
      {" a=1 ", " b=2 ", "b=2;a=1"},
      // Full-width spaces trim like ASCII ones; a sent cookie the server deletes goes with its old value.
      {"\xA1\xA1s=1", "s=deleted\xA1\xA1", ""},
      // Only the piece that ends in "=deleted" counts as deleted.
      {"", "a=deletedx; b=1=deleted", "a=deletedx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "sent '" << c.sent << "' received '" << c.received << "'");
    Text sent = T(c.sent);
    Text received = T(c.received);
    const Text merged = MergeCookies(sent, received);
    EXPECT_EQ(merged.view(), c.merged);
    EXPECT_EQ(sent.view(), c.merged);
    EXPECT_EQ(received, TrimSpaces(T(c.received)));
  }
}

TEST(CookieNameTest, TextBeforeFirstEqualsTrimmed) {
  struct Case {
    std::string_view piece;
    std::string_view name;
  };
  const std::vector<Case> cases = {
      {" a=1", "a"},
      {"flag", "flag"},
      {" flag ", "flag"},
      {"a=b=c", "a"},
      {"=1", ""},
      {"", ""},
      {" x y =1", "x y"},
      // "=" as the second byte of a double-byte character is not the separator.
      {"\x81=k=v", "\x81=k"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.piece);
    EXPECT_EQ(CookieName(T(c.piece)).view(), c.name);
  }
}

TEST(CookieListTest, ContainsNameAndIndexOfExactPiece) {
  const TextArray list = {T("a=1"), T(" b=2"), T("flag"), T(" b=2")};
  EXPECT_TRUE(ContainsCookieName(list, T("b")));
  EXPECT_TRUE(ContainsCookieName(list, T("flag")));
  EXPECT_FALSE(ContainsCookieName(list, T("B")));
  EXPECT_FALSE(ContainsCookieName({}, T("")));

  EXPECT_EQ(IndexOfText(list, T(" b=2")), 2);
  EXPECT_EQ(IndexOfText(list, T("b=2")), -1);
  EXPECT_EQ(IndexOfText({}, T("a")), -1);
}

TEST(RemoveDuplicatePiecesTest, FirstOccurrenceKept) {
  struct Case {
    std::string_view text;
    std::string_view delimiter;
    std::string_view result;
  };
  const std::vector<Case> cases = {
      {"a;b;a;c;b", ";", "a;b;c"}, {"a; a;a", ";", "a; a"}, {"", ";", ""},
      {"x--y--x", "--", "x--y"},   {"a;;b;", ";", "a;;b"},  {"abc", "", "abc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "'" << c.text << "' by '" << c.delimiter << "'");
    EXPECT_EQ(RemoveDuplicatePieces(T(c.text), T(c.delimiter)).view(), c.result);
  }
}

}  // namespace
}  // namespace qh
