#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "Common/Words.h"
#include "platform/Exceptions.h"

using namespace pel;

namespace {
using TWordMarks = std::vector<std::pair<WideString, TObjectValue>>;
TWordMarks WordsOf(const TWideWords& W) {
  TWordMarks R;
  for (int I = 0; I < W.Count(); ++I) R.emplace_back(W[I], W.Objects(I));
  return R;
}
}  // namespace

TEST(Words, SplitMarksWordsFollowedByPunctuation) {
  struct Case {
    WideString Delimiters, Text;
    TWordMarks Words;
  } Cases[] = {
      {u",;", u"0;URL=x", {{u"0", 1}, {u"URL=x", 0}}},
      {u",;", u";;a", {{u"a", 0}}},
      {u", ", u"a, b", {{u"a", 1}, {u"b", 0}}},
      {u" ", u"  two  words ", {{u"two", 0}, {u"words", 0}}},
      {u"\u00a0-", u"first\u00a0name-", {{u"first", 0}, {u"name", 1}}},
      // A punctuation delimiter after an empty piece still marks the last word.
      {u" ,", u"a ,", {{u"a", 1}}},
      {u",", u"", {}},
      {u"", u"whole text", {{u"whole text", 0}}},
  };
  for (const Case& C : Cases) {
    TWideWords W;
    W.SetDelimiters(C.Delimiters);
    W.Split(C.Text);
    EXPECT_EQ(WordsOf(W), C.Words) << testing::PrintToString(C.Text);
  }
}

TEST(Words, EightBitWordsTreatByte160AsANoBreakSpace) {
  TWords W;
  W.SetDelimiters("\xA0.");
  W.Split("a\xA0" "b.c");
  ASSERT_EQ(W.Count(), 3);
  EXPECT_EQ(W[0], "a");
  EXPECT_EQ(W.Objects(0), 0);
  EXPECT_EQ(W[1], "b");
  EXPECT_EQ(W.Objects(1), 1);
  EXPECT_EQ(W[2], "c");
}

TEST(Words, VariantToWideStrings) {
  TWideStringList L;
  L.Add(u"stale");
  VariantToWideStrings(TVariant(TVariant::TStrings{u"a", u"", u"c"}), L);
  EXPECT_EQ(L.CommaText(), u"a,,c");
  VariantToWideStrings(TVariant::Null(), L);
  EXPECT_EQ(L.Count(), 0);
  L.Add(u"stale");
  VariantToWideStrings(TVariant(), L);
  EXPECT_EQ(L.Count(), 0);
  EXPECT_THROW(VariantToWideStrings(TVariant(u"not an array"), L), EVariantError);
}

TEST(Words, SplitAtChar) {
  struct Case {
    WideString S;
    WideChar Ch;
    WideString Left, Right;
  } Cases[] = {
      {u"key=value=more", u'=', u"key", u"value=more"},
      {u"novalue", u'=', u"novalue", u""},
      {u"=x", u'=', u"", u"x"},
      {u"x=", u'=', u"x", u""},
      {u"", u'=', u"", u""},
  };
  for (const Case& C : Cases) {
    WideString Left = u"?", Right = u"?";
    SplitAtChar(C.S, C.Ch, Left, Right);
    EXPECT_EQ(Left, C.Left);
    EXPECT_EQ(Right, C.Right);
  }
  WideString S = u"a:b", Right;
  SplitAtChar(S, u':', S, Right);  // the source may be one of the outputs
  EXPECT_EQ(S, u"a");
  EXPECT_EQ(Right, u"b");
}
