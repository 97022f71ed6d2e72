#include <gtest/gtest.h>

#include <vector>

#include "platform/Exceptions.h"
#include "platform/StringList.h"

using namespace pel;

namespace {
TWideStringList ListOf(const std::vector<WideString>& Items) {
  TWideStringList L;
  for (const WideString& S : Items) L.Add(S);
  return L;
}
std::vector<WideString> ItemsOf(const TWideStringList& L) {
  std::vector<WideString> R;
  for (int I = 0; I < L.Count(); ++I) R.push_back(L[I]);
  return R;
}
}  // namespace

TEST(CommaText, Writing) {
  struct Case {
    std::vector<WideString> Items;
    WideString Text;
  } Cases[] = {
      {{}, u""},
      {{u""}, u"\"\""},
      {{u"", u""}, u","},
      {{u"a", u"", u"b"}, u"a,,b"},
      {{u"a", u"b"}, u"a,b"},
      {{u"a,b"}, u"\"a,b\""},
      {{u"say \"hi\""}, u"\"say \"\"hi\"\"\""},
      {{u"New York", u"x"}, u"\"New York\",x"},
      {{u"tab\there"}, u"\"tab\there\""},
      {{WideString(u"nul\0x", 5)}, WideString(u"\"nul\0x\"", 7)},
      {{u"\u00e9t\u00e9", u"!~"}, u"\u00e9t\u00e9,!~"},  // only codes 0-32, quote and comma quote
  };
  for (const Case& C : Cases) EXPECT_EQ(ListOf(C.Items).CommaText(), C.Text);
}

TEST(CommaText, Parsing) {
  struct Case {
    WideString Text;
    std::vector<WideString> Items;
  } Cases[] = {
      {u"", {}},
      {u"   ", {}},
      {u"\"\"", {u""}},
      {u"a,b", {u"a", u"b"}},
      {u"  a , b  ", {u"a", u"b"}},
      {u"a,", {u"a", u""}},
      {u",a", {u"", u"a"}},
      {u",", {u"", u""}},
      {u"New York, Paris", {u"New York", u"Paris"}},
      {u"\"a,b\",c", {u"a,b", u"c"}},
      {u"\"say \"\"hi\"\"\"", {u"say \"hi\""}},
      {u"\"unterminated", {u"unterminated"}},
      {u"\t\r\n x \r\n", {u"x"}},
      {u"\"a\"b", {u"a", u"b"}},
  };
  for (const Case& C : Cases) {
    TWideStringList L;
    L.SetCommaText(C.Text);
    EXPECT_EQ(ItemsOf(L), C.Items) << "text: " << testing::PrintToString(C.Text);
  }
}

TEST(CommaText, EveryWrittenListParsesBack) {
  const std::vector<std::vector<WideString>> Lists = {
      {u""}, {u"", u""}, {u" lead", u"trail "}, {u"\"", u",", u"\"\""}, {u"a", u"", u""}, {u"x y,z", u"\x01"}};
  for (const auto& Items : Lists) {
    TWideStringList L;
    L.SetCommaText(ListOf(Items).CommaText());
    EXPECT_EQ(ItemsOf(L), Items) << testing::PrintToString(ListOf(Items).CommaText());
  }
}

TEST(CommaText, EightBitListsFollowTheSameRules) {
  TStringList L;
  L.Add("a b");
  L.Add("\xA0");  // a no-break space is no blank: codes 0-32 only
  EXPECT_EQ(L.CommaText(), "\"a b\",\xA0");
  TStringList Back;
  Back.SetCommaText(L.CommaText());
  ASSERT_EQ(Back.Count(), 2);
  EXPECT_EQ(Back[1], "\xA0");
}

TEST(WideStringList, SortedListComparesIgnoringCaseUnderTheLocale) {
  TWideStringList L(true, TDuplicates::dupIgnore);
  L.Add(u"pear");
  L.Add(u"Apple");
  L.Add(u"banana");
  L.Add(u"\u00c4rger");
  EXPECT_EQ(ItemsOf(L), (std::vector<WideString>{u"Apple", u"\u00c4rger", u"banana", u"pear"}));
  EXPECT_EQ(L.IndexOf(u"APPLE"), 0);
  EXPECT_EQ(L.IndexOf(u"\u00e4RGER"), 1);
  EXPECT_EQ(L.IndexOf(u"cherry"), -1);
  int Index = -1;
  EXPECT_FALSE(L.Find(u"cherry", Index));
  EXPECT_EQ(Index, 3);
  EXPECT_TRUE(L.Find(u"PEAR", Index));
  EXPECT_EQ(Index, 3);
}

TEST(WideStringList, DuplicatePolicies) {
  TWideStringList Ignore(true, TDuplicates::dupIgnore);
  EXPECT_EQ(Ignore.AddObject(u"E-Mail", 1), 0);
  EXPECT_EQ(Ignore.AddObject(u"e-MAIL", 2), 0);
  EXPECT_EQ(Ignore.Count(), 1);
  EXPECT_EQ(Ignore.Objects(0), 1);

  TWideStringList Refuse(true, TDuplicates::dupError);
  Refuse.Add(u"and");
  try {
    Refuse.Add(u"AND");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const EStringListError& E) {
    EXPECT_EQ(E.Message(), "String list does not allow duplicates");
  }
  EXPECT_EQ(Refuse.Count(), 1);

  TWideStringList Accept(true, TDuplicates::dupAccept);
  Accept.Add(u"b");
  Accept.Add(u"a");
  Accept.Add(u"B");
  // An equal entry goes before the ones already there (the binary search answers the first).
  EXPECT_EQ(ItemsOf(Accept), (std::vector<WideString>{u"a", u"B", u"b"}));

  // Unsorted lists append whatever they get, and look up linearly.
  TWideStringList Plain;
  Plain.Add(u"x");
  Plain.Add(u"X");
  EXPECT_EQ(Plain.Count(), 2);
  EXPECT_EQ(Plain.IndexOf(u"X"), 0);
}

TEST(WideStringList, SortedListRefusesPlacementAndBadIndexes) {
  TWideStringList L(true, TDuplicates::dupIgnore);
  L.Add(u"a");
  EXPECT_THROW(L.Insert(0, u"b"), EStringListError);
  EXPECT_THROW(L.SetString(0, u"b"), EStringListError);
  EXPECT_THROW(L[1], EStringListError);
  EXPECT_THROW(L.Delete(-1), EStringListError);
  L.SetSorted(false);
  L.Insert(0, u"z");
  EXPECT_EQ(ItemsOf(L), (std::vector<WideString>{u"z", u"a"}));
  L.SetSorted(true);
  EXPECT_EQ(ItemsOf(L), (std::vector<WideString>{u"a", u"z"}));
}
