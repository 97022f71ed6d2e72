#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <vector>

#include "Common/Lexicon.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/SwitchableLocale.h"

using namespace pel;

namespace {

using TBytes = std::vector<uint8_t>;
using TEntries = std::vector<WideString>;

const WideString M(1, LexiconMarker);

TWideStringList List(std::initializer_list<WideString> Entries) {
  TWideStringList L;
  for (const WideString& E : Entries) L.Add(E);
  return L;
}

// Entries in list order.
TEntries Entries(const TWideStringList& L) {
  TEntries R;
  for (int I = 0; I < L.Count(); ++I) R.push_back(L[I]);
  return R;
}

// Entries in code-unit order: for lists whose locale order differs between platforms (the Windows
// comparison gives hyphens and apostrophes almost no weight).
TEntries Set(const TWideStringList& L) {
  TEntries R = Entries(L);
  std::sort(R.begin(), R.end());
  return R;
}
TEntries Set(TEntries R) {
  std::sort(R.begin(), R.end());
  return R;
}

bool IsSortedList(const TWideStringList& L) {
  for (int I = 1; I < L.Count(); ++I)
    if (Locale().CompareText(L[I - 1], L[I]) > 0) return false;
  return L.Sorted();
}

// The pieces of a lexicon stream, little-endian, so that each test states its stream field by field.
class TStream {
public:
  TStream& Int32(int32_t V) {
    for (int I = 0; I < 4; ++I) FBytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(V) >> (8 * I)));
    return *this;
  }
  TStream& Char(char16_t C) {
    FBytes.push_back(static_cast<uint8_t>(C & 0xFF));
    FBytes.push_back(static_cast<uint8_t>(C >> 8));
    return *this;
  }
  TStream& Str(const WideString& Text) {
    Int32(static_cast<int32_t>(Text.size()));
    for (char16_t C : Text) Char(C);
    return *this;
  }
  // A count, then the strings.
  TStream& Strs(std::initializer_list<WideString> Texts) {
    Int32(static_cast<int32_t>(Texts.size()));
    for (const WideString& T : Texts) Str(T);
    return *this;
  }
  TStream& ItemA(const WideString& Name, std::initializer_list<WideString> Values) { return Str(Name).Strs(Values); }
  TStream& ItemB(const WideString& Name, const WideString& Key, std::initializer_list<WideString> Values,
                 std::initializer_list<WideString> Phrases) {
    return Str(Name).Str(Key).Strs(Values).Strs(Phrases);
  }
  size_t Size() const { return FBytes.size(); }
  const TBytes& Bytes() const { return FBytes; }

private:
  TBytes FBytes;
};

bool Load(TLexicon& Lex, const TBytes& Bytes, int Version) {
  TMemoryStream S(Bytes);
  return Lex.LoadFromStream(S, Version);
}

void ExpectItem(const TBaseList& Item, const WideString& Name, const WideString& Key, const TEntries& Values,
                const TEntries& Phrases) {
  EXPECT_EQ(Item.Name, Name);
  EXPECT_EQ(Item.Key, Key);
  EXPECT_EQ(Set(Item.Values()), Set(Values));
  EXPECT_EQ(Set(Item.Phrases()), Set(Phrases));
  EXPECT_TRUE(IsSortedList(Item.Values()));
  EXPECT_TRUE(IsSortedList(Item.Phrases()));
}

WideString Repeat(const WideString& Text, int Times) {
  WideString R;
  for (int I = 0; I < Times; ++I) R += Text;
  return R;
}

bool AnyMarker(const TWideStringList& L) {
  for (int I = 0; I < L.Count(); ++I)
    if (L[I].find(LexiconMarker) != WideString::npos) return true;
  return false;
}

}  // namespace

// ---- Normal forms

TEST(Lexicon, DelimitersAreSpacePunctuationAndNoBreakSpaceInOrder) {
  const char16_t Codes[] = {0x20, 0x7E, 0x60, 0x21, 0x40, 0x23, 0x24, 0x25, 0x5E, 0x26, 0x2A, 0x28,
                            0x29, 0x5F, 0x2D, 0x2B, 0x3D, 0x7C, 0x5C, 0x7D, 0x5D, 0x7B, 0x5B, 0x3A,
                            0x3B, 0x22, 0x27, 0x3F, 0x2F, 0x2E, 0x2C, 0x3E, 0x3C, 0xA0};
  EXPECT_EQ(TLexicon::GetDelimiters(), WideString(std::begin(Codes), std::end(Codes)));
}

TEST(Lexicon, NormalizeLowerCasesSplitsAndDropsStopWords) {
  const TLexicon Lex;
  struct Case {
    WideString Text, Normal;
  } Cases[] = {
      {u"  AND  ", u""},
      {u"First-Name", u"first name"},
      {u"Plug-in's and Add-ons", u"plug in s add ons"},
      {u"", u""},
      {u"\u00a0Or\u00a0e-mail,,address.", u"e mail address"},
      {u"city/town (or ZIP)", u"city town zip"},
      {u"\u00c4RGER STRA\u00dfE", u"\u00e4rger stra\u00dfe"},
      // Control characters are trimmed at the ends but are no delimiters.
      {u"\tTab\tinside\r\n", u"tab\tinside"},
      {u"android orchestra", u"android orchestra"},
  };
  for (const Case& C : Cases) EXPECT_EQ(Lex.Normalize(C.Text), C.Normal) << testing::PrintToString(C.Text);
}

TEST(Lexicon, NormalizePhraseJoinsWordsThatPunctuationSeparated) {
  const TLexicon Lex;
  struct Case {
    WideString Text, Joined, Spaced;
  } Cases[] = {
      {u"plug-in's", u"plug-in-s", u"plug in s"},
      {u"first name", u"first name", u"first name"},
      {u"Plug-ins AND add-ons", u"plug-ins add-ons", u"plug ins add ons"},
      // A dropped stop word still passes on the punctuation that followed it.
      {u"x and-y", u"x-y", u"x y"},
      {u"a, - b", u"a-b", u"a b"},
      {u"-lead trail.", u"lead trail", u"lead trail"},
      {u"and", u"", u""},
  };
  for (const Case& C : Cases) {
    WideString Joined = u"stale", Spaced = u"stale";
    Lex.NormalizePhrase(C.Text, Joined, Spaced);
    EXPECT_EQ(Joined, C.Joined) << testing::PrintToString(C.Text);
    EXPECT_EQ(Spaced, C.Spaced) << testing::PrintToString(C.Text);
  }
  // The outputs may be the input itself.
  WideString Same = u"Zip-Code";
  Lex.NormalizePhrase(Same, Same, Same);
  EXPECT_EQ(Same, u"zip code");
}

// ---- Creation, stop words, substitutions

TEST(Lexicon, CreatedWithTwoStopWordsAndTwoSubstitutions) {
  const TLexicon Lex;
  EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"and", u"or"}));
  EXPECT_TRUE(Lex.StopWords().Sorted());
  EXPECT_EQ(Lex.StopWords().Duplicates(), TDuplicates::dupError);
  EXPECT_EQ(Lex.JoinChar(), u'-');
  EXPECT_EQ(Lex.Goals().Count(), 0);
  ASSERT_EQ(Lex.Substitutions().Count(), 2);
  ExpectItem(Lex.Substitutions()[0], u"plugins", u"plugins", {u"plug-ins", u"plug-in-s"}, {u"plug ins", u"plug in s"});
  ExpectItem(Lex.Substitutions()[1], u"addons", u"addons", {u"add-ons", u"add-on-s"}, {u"add ons", u"add on s"});
}

TEST(Lexicon, StopWordsRefuseDuplicatesIgnoringCase) {
  TLexicon Lex;
  EXPECT_THROW(Lex.StopWords().Add(u"AND"), EStringListError);
}

TEST(Lexicon, SetStopWordsKeepsOnlyEntriesThatAreOneWord) {
  struct Case {
    std::initializer_list<WideString> Entries;
    TEntries StopWords;
  } Cases[] = {
      {{u"The", u"two words", u"", u"  ", u"a-b", u"of", u"THE", u" And "}, {u"and", u"of", u"the"}},
      // Entries do not lose words to earlier entries: "the end" is two words in either order.
      {{u"the", u"the end"}, {u"the"}},
      {{u"the end", u"the"}, {u"the"}},
      {{}, {}},
  };
  for (const Case& C : Cases) {
    TLexicon Lex;
    int Changes = 0;
    Lex.OnChange = [&](TLexicon& Sender) {
      EXPECT_EQ(&Sender, &Lex);
      ++Changes;
    };
    Lex.SetStopWords(List(C.Entries));
    EXPECT_EQ(Entries(Lex.StopWords()), C.StopWords);
    EXPECT_EQ(Changes, 1);
  }

  TLexicon Lex;
  Lex.SetStopWords(Lex.StopWords());  // its own list: nothing is lost
  EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"and", u"or"}));
  Lex.SetStopWords(TWideStringList());
  EXPECT_EQ(Lex.Normalize(u"this and that"), u"this and that");
}

TEST(Lexicon, SetStopWordsRebuildsEveryItemAndMergesValuesThatNowCoincide) {
  TLexicon Lex;
  Lex.AddSubstitution(u"The Key", List({u"x-y", u"x-the-y", u"Other"}));
  TGoalList& Goal = Lex.AddGoalItem();
  Goal.Name = u"The-Goal";
  Goal.Add(u"the end");
  ExpectItem(Lex.Substitutions()[2], u"The Key", u"the key", {u"x-y", u"x-the-y", u"other"},
             {u"x y", u"x the y", u"other"});

  Lex.SetStopWords(List({u"the"}));
  ExpectItem(Lex.Substitutions()[2], u"key", u"key", {u"x-y", u"other"}, {u"x y", u"other"});
  ExpectItem(Goal, u"goal", u"goal", {u"end"}, {u"end"});
  // "and" is no stop word any more, so the defaults' names and values keep their form.
  ExpectItem(Lex.Substitutions()[0], u"plugins", u"plugins", {u"plug-ins", u"plug-in-s"}, {u"plug ins", u"plug in s"});
}

TEST(Lexicon, AddKeepsOnePhrasePerSpacedForm) {
  TLexicon Lex;
  TSubstitution& Item = Lex.AddSubstitutionItem();
  Item.Add(u"plug-ins");
  Item.Add(u"Plug ins");      // same spaced form
  Item.Add(u"PLUG-INS");      // already a value, ignoring case
  Item.Add(u"plug-ins and");  // the stop word goes, so the spaced form is the same again
  EXPECT_EQ(Entries(Item.Values()), (TEntries{u"plug-ins"}));
  EXPECT_EQ(Entries(Item.Phrases()), (TEntries{u"plug ins"}));
  Item.Add(u"Plug In");
  EXPECT_EQ(Set(Item.Phrases()), (TEntries{u"plug in", u"plug ins"}));
}

TEST(Lexicon, SetValuesAddsToWhatIsThereAndReportsOnce) {
  TLexicon Lex;
  int LexiconChanges = 0;
  Lex.OnChange = [&](TLexicon&) { ++LexiconChanges; };
  TGoalList& Item = Lex.AddGoalItem();
  Item.SetValues(List({u"a-b", u"c"}));
  EXPECT_EQ(LexiconChanges, 1);  // through the callback the lexicon wired

  int ItemChanges = 0;
  Item.OnChange = [&](TBaseList& Sender) {
    EXPECT_EQ(&Sender, &Item);
    ++ItemChanges;
  };
  Item.SetValues(List({u"D", u"c"}));
  EXPECT_EQ(ItemChanges, 1);
  EXPECT_EQ(Set(Item.Values()), (TEntries{u"a-b", u"c", u"d"}));
  Item.SetValues(Item.Values());  // its own list
  EXPECT_EQ(Set(Item.Values()), (TEntries{u"a-b", u"c", u"d"}));
}

TEST(Lexicon, AddSubstitutionExtendsTheOneWhoseNameNormalisesAlike) {
  TLexicon Lex;
  int Changes = 0;
  Lex.OnChange = [&](TLexicon&) { ++Changes; };
  Lex.AddSubstitution(u"Add-Ons", List({u"extensions"}));
  ASSERT_EQ(Lex.Substitutions().Count(), 3);  // "addons" is another key
  ExpectItem(Lex.Substitutions()[2], u"Add-Ons", u"add ons", {u"extensions"}, {u"extensions"});
  EXPECT_EQ(Changes, 2);  // the item's values, then the lexicon itself

  Lex.AddSubstitution(u"add ons", List({u"Browser Extensions", u"EXTENSIONS"}));
  ASSERT_EQ(Lex.Substitutions().Count(), 3);
  ExpectItem(Lex.Substitutions()[2], u"Add-Ons", u"add ons", {u"extensions", u"browser extensions"},
             {u"extensions", u"browser extensions"});

  Lex.RebuildAll();
  EXPECT_EQ(Lex.Substitutions()[2].Name, u"add-ons");
  EXPECT_EQ(Lex.Substitutions()[2].Key, u"add ons");
}

TEST(Lexicon, ItemsOutsideALexiconHaveNoNormalizer) {
  TSubstitution Item;
  EXPECT_THROW(Item.Add(u"x"), Exception);
  EXPECT_TRUE(Item.Values().IsEmpty());

  Item.Normalizer = [](const WideString& Text, WideString& Joined, WideString& Spaced) {
    Joined = Text + u"!";
    Spaced = Text;
  };
  Item.Name = u"n";
  Item.Add(u"v");
  Item.Rebuild();
  EXPECT_EQ(Item.Name, u"n!");
  EXPECT_EQ(Item.Key, u"n");
  EXPECT_EQ(Entries(Item.Values()), (TEntries{u"v!!"}));  // rebuilt from the joined form
  EXPECT_EQ(Entries(Item.Phrases()), (TEntries{u"v!"}));
}

TEST(Lexicon, AFailedRebuildLeavesTheValuesSorted) {
  TSubstitution Item;
  Item.Normalizer = [](const WideString& Text, WideString& Joined, WideString& Spaced) { Joined = Spaced = Text; };
  Item.SetValues(List({u"c", u"a", u"b"}));
  Item.Normalizer = [](const WideString& Text, WideString& Joined, WideString& Spaced) {
    if (Text == u"b") throw Exception("cannot normalise");
    Joined = Spaced = Text;
  };
  EXPECT_THROW(Item.Rebuild(), Exception);
  EXPECT_TRUE(Item.Values().Sorted());
  EXPECT_EQ(Entries(Item.Values()), (TEntries{u"a", u"b", u"c"}));
  EXPECT_EQ(Item.Values().IndexOf(u"c"), 2);
}

// ---- Expansion

TEST(Lexicon, ExpandSubstitutionsReplacesReferencesByKeyAndPhrases) {
  TLexicon Lex;
  Lex.AddSubstitution(u"os", List({u"Windows " + M + u"version" + M}));
  Lex.AddSubstitution(u"version", List({u"XP", u"Vista"}));
  struct Case {
    std::initializer_list<WideString> Source;
    TEntries Expanded;
  } Cases[] = {
      {{u"get " + M + u"plugins" + M + u" now"}, {u"get plugins now", u"get plug in s now", u"get plug ins now"}},
      {{u"Plain, Value"}, {u"Plain, Value"}},
      {{u"a " + M + u"plugins"}, {}},
      {{u"a " + M + u"nothing" + M}, {}},
      {{M + u"PLUGINS" + M}, {}},  // keys compare with case
      {{u"x", M + u"plugins" + M, u"y"}, {u"x", u"plugins", u"plug in s", u"plug ins", u"y"}},
      {{M + u"plugins" + M + u"+" + M + u"addons" + M},
       {u"plugins+addons", u"plugins+add on s", u"plugins+add ons", u"plug in s+addons", u"plug in s+add on s",
        u"plug in s+add ons", u"plug ins+addons", u"plug ins+add on s", u"plug ins+add ons"}},
      // A phrase that holds a reference is expanded in the next pass.
      {{M + u"os" + M}, {u"os", u"windows version", u"windows vista", u"windows xp"}},
  };
  for (const Case& C : Cases) {
    TWideStringList Dest = List({u"stale"});
    Lex.ExpandSubstitutions(List(C.Source), Dest);
    EXPECT_EQ(Entries(Dest), C.Expanded) << testing::PrintToString(Entries(List(C.Source)));
  }

  TWideStringList Same = List({M + u"addons" + M});
  Lex.ExpandSubstitutions(Same, Same);
  EXPECT_EQ(Entries(Same), (TEntries{u"addons", u"add on s", u"add ons"}));
}

TEST(Lexicon, ExpandingASelfReferenceStopsAfterTheLastPass) {
  TLexicon Lex;
  Lex.AddSubstitution(u"loop", List({u"again " + M + u"loop" + M}));
  TWideStringList Dest;
  Lex.ExpandSubstitutions(List({M + u"loop" + M}), Dest);
  // Pass N adds one more "again"; the value that still refers to "loop" after the last pass goes.
  ASSERT_EQ(Dest.Count(), TLexicon::MaxExpansionPasses);
  for (int K = 0; K < Dest.Count(); ++K) EXPECT_EQ(Dest[K], Repeat(u"again ", K) + u"loop");
}

TEST(Lexicon, ExpandingCyclesEndsWithoutMarkersAndKeepsPlainValues) {
  TLexicon Lex;
  Lex.AddSubstitution(u"ping", List({M + u"pong" + M}));
  Lex.AddSubstitution(u"pong", List({M + u"ping" + M}));
  Lex.AddSubstitution(u"two", List({u"a " + M + u"two" + M, u"b " + M + u"two" + M}));
  Lex.AddSubstitution(u"big", List({M + u"big" + M + Repeat(u"x", 30000)}));

  TWideStringList Dest;
  Lex.ExpandSubstitutions(List({M + u"ping" + M}), Dest);
  EXPECT_EQ(Dest.Count(), TLexicon::MaxExpansionPasses);
  EXPECT_FALSE(AnyMarker(Dest));

  // Doubling with every pass: the entry bound stops it long before the pass bound would.
  const TWideStringList Source = List({M + u"two" + M, u"keep me"});
  Lex.ExpandSubstitutions(Source, Dest);
  EXPECT_FALSE(AnyMarker(Dest));
  EXPECT_GE(Dest.Count(), TLexicon::MaxExpansionEntries / 2);
  EXPECT_LE(Dest.Count(), 2 * (Source.Count() + TLexicon::MaxExpansionEntries));
  EXPECT_EQ(Dest[0], u"two");
  EXPECT_GE(Dest.IndexOf(u"b a two"), 0);
  EXPECT_EQ(Dest[Dest.Count() - 1], u"keep me");

  // Growing by a long text with every pass: the size bound stops it.
  Lex.ExpandSubstitutions(List({M + u"big" + M}), Dest);
  EXPECT_FALSE(AnyMarker(Dest));
  int64_t Units = 0;
  for (int I = 0; I < Dest.Count(); ++I) Units += static_cast<int64_t>(Dest[I].size());
  EXPECT_LE(Units, 2 * (5 + TLexicon::MaxExpansionUnits));
  EXPECT_LT(Dest.Count(), TLexicon::MaxExpansionPasses);
  EXPECT_GE(Dest.Count(), 2);
  EXPECT_EQ(Dest[1], u"big" + Repeat(u"x", 30000));
}

// ---- Copying and clearing

TEST(Lexicon, AssignCopiesEverythingIntoItemsOfItsOwn) {
  TLexicon Source;
  ASSERT_TRUE(Load(Source,
                   TStream()
                       .Char(u'+')
                       .Strs({u"the"})
                       .Int32(1)
                       .ItemB(u"zip+code", u"zip code", {u"post+code"}, {u"post code"})
                       .Int32(1)
                       .ItemB(u"goal", u"goal", {u"v"}, {u"v"})
                       .Bytes(),
                   13));
  int SourceChanges = 0, DestChanges = 0;
  Source.OnChange = [&](TLexicon& Sender) {
    EXPECT_EQ(&Sender, &Source);
    ++SourceChanges;
  };
  TLexicon Dest;
  Dest.OnChange = [&](TLexicon&) { ++DestChanges; };

  Dest.Assign(Source);
  EXPECT_EQ(SourceChanges, 1);
  EXPECT_EQ(DestChanges, 2);  // one per copied item
  EXPECT_EQ(Dest.JoinChar(), u'+');
  EXPECT_EQ(Entries(Dest.StopWords()), (TEntries{u"the"}));
  ASSERT_EQ(Dest.Substitutions().Count(), 1);
  ASSERT_EQ(Dest.Goals().Count(), 1);
  ExpectItem(Dest.Substitutions()[0], u"zip+code", u"zip code", {u"post+code"}, {u"post code"});
  ExpectItem(Dest.Goals()[0], u"goal", u"goal", {u"v"}, {u"v"});
  EXPECT_NE(&Dest.Substitutions()[0], &Source.Substitutions()[0]);

  // The copies answer to Dest: its stop words rebuild them, Source's items stay as they were.
  Dest.SetStopWords(List({u"code"}));
  ExpectItem(Dest.Substitutions()[0], u"zip", u"zip", {u"post"}, {u"post"});
  ExpectItem(Source.Substitutions()[0], u"zip+code", u"zip code", {u"post+code"}, {u"post code"});
  DestChanges = 0;
  Dest.Substitutions()[0].Add(u"The Code");
  Dest.Goals()[0].SetValues(List({u"w"}));
  EXPECT_EQ(DestChanges, 1);
  EXPECT_EQ(Set(Dest.Substitutions()[0].Values()), (TEntries{u"post", u"the"}));

  Source.Assign(Source);
  EXPECT_EQ(Source.Substitutions().Count(), 1);
  EXPECT_EQ(Entries(Source.StopWords()), (TEntries{u"the"}));
}

TEST(Lexicon, ItemAssignCopiesNameKeyAndListsThenReports) {
  TLexicon Lex;
  TGoalList& Source = Lex.AddGoalItem();
  Source.Name = u"raw Name";
  Source.Key = u"some key";
  Source.SetValues(List({u"one", u"two-three"}));
  TGoalList& Dest = Lex.AddGoalItem();
  Dest.Add(u"old");
  int Changes = 0;
  Dest.OnChange = [&](TBaseList& Sender) {
    EXPECT_EQ(&Sender, &Dest);
    ++Changes;
  };
  Dest.Assign(Source);
  EXPECT_EQ(Changes, 1);
  ExpectItem(Dest, u"raw Name", u"some key", {u"one", u"two-three"}, {u"one", u"two three"});
}

TEST(Lexicon, ClearEmptiesEverythingButTheJoinCharacter) {
  TLexicon Lex;
  ASSERT_TRUE(Load(Lex, TStream().Str(u"h").Char(u'_').Strs({u"x"}).Int32(0).Int32(0).Bytes(), 12));
  Lex.AddGoalItem();
  Lex.Clear();
  EXPECT_TRUE(Lex.StopWords().IsEmpty());
  EXPECT_EQ(Lex.Substitutions().Count(), 0);
  EXPECT_EQ(Lex.Goals().Count(), 0);
  EXPECT_EQ(Lex.JoinChar(), u'_');
}

// ---- Stream

TEST(LexiconStream, BelowVersion10HasNoGoalListsAndRebuildsItems) {
  const TBytes Bytes = TStream()
                           .Str(u"Lexicon")        // header, ignored
                           .Strs({u"THE", u"of"})  // stop words, as stored
                           .Int32(1)               // substitutions
                           .ItemA(u"Zip Code", {u"Post-Code", u"ZIP", u"zip", u"Code-of-Zip"})
                           .Bytes();
  for (int Version : {-1, 0, 9}) {
    TLexicon Lex;
    ASSERT_TRUE(Load(Lex, Bytes, Version)) << Version;
    EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"of", u"THE"}));
    EXPECT_EQ(Lex.JoinChar(), u'-');
    EXPECT_EQ(Lex.Goals().Count(), 0);
    ASSERT_EQ(Lex.Substitutions().Count(), 1);
    // The rebuild already drops the loaded stop words; "zip" repeats "ZIP" and is ignored.
    ExpectItem(Lex.Substitutions()[0], u"zip code", u"zip code", {u"post-code", u"zip", u"code-zip"},
               {u"post code", u"zip", u"code zip"});
  }
}

TEST(LexiconStream, Versions10And11AddGoalListsInTheSameFormat) {
  const TBytes Bytes = TStream()
                           .Str(u"")
                           .Strs({u"the"})
                           .Int32(1)
                           .ItemA(u"Zip", {u"The Postal Code"})
                           .Int32(1)
                           .ItemA(u"Country", {u"U.S.A.", u"USA"})
                           .Bytes();
  for (int Version : {10, 11}) {
    TLexicon Lex;
    ASSERT_TRUE(Load(Lex, Bytes, Version)) << Version;
    ASSERT_EQ(Lex.Substitutions().Count(), 1);
    ExpectItem(Lex.Substitutions()[0], u"zip", u"zip", {u"postal code"}, {u"postal code"});
    ASSERT_EQ(Lex.Goals().Count(), 1);
    ExpectItem(Lex.Goals()[0], u"country", u"country", {u"u-s-a", u"usa"}, {u"u s a", u"usa"});
  }
  // Without the goal lists the stream is short for these versions.
  TLexicon Lex;
  EXPECT_FALSE(Load(Lex, TStream().Str(u"").Int32(0).Int32(0).Bytes(), 11));
}

TEST(LexiconStream, Version12ReadsTheJoinCharacterAndStoredFormsAsTheyAre) {
  TLexicon Lex;
  ASSERT_TRUE(Load(Lex,
                   TStream()
                       .Str(u"header")
                       .Char(u'_')
                       .Strs({u"x"})
                       .Int32(1)
                       .ItemB(u"Raw Name", u"raw KEY", {u"b", u"Mixed Case", u"a"}, {u"z", u"y"})
                       .Int32(1)
                       .ItemB(u"G", u"g", {}, {})
                       .Bytes(),
                   12));
  EXPECT_EQ(Lex.JoinChar(), u'_');
  EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"x"}));
  ASSERT_EQ(Lex.Substitutions().Count(), 1);
  const TSubstitution& Item = Lex.Substitutions()[0];
  ExpectItem(Item, u"Raw Name", u"raw KEY", {u"a", u"b", u"Mixed Case"}, {u"y", u"z"});
  EXPECT_EQ(Entries(Item.Values()), (TEntries{u"a", u"b", u"Mixed Case"}));
  EXPECT_EQ(Item.Values().IndexOf(u"MIXED CASE"), 2);
  ASSERT_EQ(Lex.Goals().Count(), 1);
  ExpectItem(Lex.Goals()[0], u"G", u"g", {}, {});

  WideString Joined, Spaced;
  Lex.NormalizePhrase(u"plug-in's x", Joined, Spaced);
  EXPECT_EQ(Joined, u"plug_in_s");
  EXPECT_EQ(Spaced, u"plug in s");
}

TEST(LexiconStream, Version13GoldenBytes) {
  const TBytes Bytes = {
      0x2D, 0x00,                                      // join character "-"
      0x01, 0x00, 0x00, 0x00,                          // stop word count 1
      0x02, 0x00, 0x00, 0x00, 0x6F, 0x00, 0x66, 0x00,  //   "of"
      0x01, 0x00, 0x00, 0x00,                          // substitution count 1
      0x01, 0x00, 0x00, 0x00, 0x6E, 0x00,              //   Name "n"
      0x01, 0x00, 0x00, 0x00, 0x6B, 0x00,              //   Key "k"
      0x01, 0x00, 0x00, 0x00,                          //   value count 1
      0x03, 0x00, 0x00, 0x00, 0x61, 0x00, 0x2D, 0x00,  //     "a-b"
      0x62, 0x00,                                      //
      0x01, 0x00, 0x00, 0x00,                          //   phrase count 1
      0x03, 0x00, 0x00, 0x00, 0x61, 0x00, 0x20, 0x00,  //     "a b"
      0x62, 0x00,                                      //
      0x00, 0x00, 0x00, 0x00,                          // goal list count 0
  };
  for (int Version : {13, 14, 100}) {
    TLexicon Lex;
    ASSERT_TRUE(Load(Lex, Bytes, Version)) << Version;
    EXPECT_EQ(Lex.JoinChar(), u'-');
    EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"of"}));
    ASSERT_EQ(Lex.Substitutions().Count(), 1);
    ExpectItem(Lex.Substitutions()[0], u"n", u"k", {u"a-b"}, {u"a b"});
    EXPECT_EQ(Lex.Goals().Count(), 0);
  }
  EXPECT_EQ(TStream().Char(u'-').Strs({u"of"}).Int32(1).ItemB(u"n", u"k", {u"a-b"}, {u"a b"}).Int32(0).Bytes(), Bytes);
}

TEST(LexiconStream, LoadingReplacesTheWholeLexicon) {
  TLexicon Lex;
  ASSERT_TRUE(
      Load(Lex, TStream().Str(u"").Char(u'_').Int32(0).Int32(0).Int32(1).ItemB(u"g", u"g", {}, {}).Bytes(), 12));
  EXPECT_TRUE(Lex.StopWords().IsEmpty());
  EXPECT_EQ(Lex.Substitutions().Count(), 0);
  EXPECT_EQ(Lex.JoinChar(), u'_');
  ASSERT_TRUE(Load(Lex, TStream().Str(u"").Int32(0).Int32(0).Int32(0).Bytes(), 11));
  EXPECT_EQ(Lex.Goals().Count(), 0);
  EXPECT_EQ(Lex.JoinChar(), u'-');
}

TEST(LexiconStream, Version13CutInsideTheGoalListsKeepsWhatWasRead) {
  TStream Full;
  Full.Char(u'-').Strs({u"the", u"and"}).Int32(2);
  Full.ItemB(u"plug-ins", u"plug ins", {u"plug-in-s"}, {u"plug in s"});
  Full.ItemB(u"zip", u"zip", {u"post-code", u"postcode"}, {u"post code", u"postcode"});
  const size_t GoalsStart = Full.Size();
  Full.Int32(2);
  Full.ItemB(u"country", u"country", {u"u-s-a"}, {u"u s a"});
  const size_t SecondGoal = Full.Size();
  Full.ItemB(u"city", u"city", {u"town", u"village"}, {u"town", u"village"});
  const TBytes& Bytes = Full.Bytes();

  for (size_t Cut = GoalsStart; Cut < Bytes.size(); ++Cut) {
    TLexicon Lex;
    EXPECT_FALSE(Load(Lex, TBytes(Bytes.begin(), Bytes.begin() + static_cast<std::ptrdiff_t>(Cut)), 13)) << Cut;
    EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"and", u"the"})) << Cut;
    ASSERT_EQ(Lex.Substitutions().Count(), 2) << Cut;
    ExpectItem(Lex.Substitutions()[0], u"plug-ins", u"plug ins", {u"plug-in-s"}, {u"plug in s"});
    ExpectItem(Lex.Substitutions()[1], u"zip", u"zip", {u"post-code", u"postcode"}, {u"post code", u"postcode"});
    // A goal list is appended before it is read; one that was cut keeps its part.
    const int ExpectedGoals = Cut < GoalsStart + 4 ? 0 : Cut < SecondGoal ? 1 : 2;
    EXPECT_EQ(Lex.Goals().Count(), ExpectedGoals) << Cut;
    if (Cut >= SecondGoal) ExpectItem(Lex.Goals()[0], u"country", u"country", {u"u-s-a"}, {u"u s a"});
    if (Cut == SecondGoal + 14) {  // after Name "city" and two bytes of the key's length
      EXPECT_EQ(Lex.Goals()[1].Name, u"city");
      EXPECT_EQ(Lex.Goals()[1].Key, u"");
    }
  }
  TLexicon Lex;
  EXPECT_TRUE(Load(Lex, Bytes, 13));
  EXPECT_EQ(Lex.Goals().Count(), 2);
}

TEST(LexiconStream, EveryShortStreamOfEveryLayoutLoadsAsFalse) {
  struct Case {
    int Version;
    TBytes Bytes;
  } Cases[] = {
      {9, TStream().Str(u"hdr").Strs({u"of"}).Int32(1).ItemA(u"n", {u"v-w"}).Bytes()},
      {11, TStream().Str(u"hdr").Strs({u"of"}).Int32(1).ItemA(u"n", {u"v-w"}).Int32(1).ItemA(u"g", {u"x"}).Bytes()},
      {12, TStream()
               .Str(u"hdr")
               .Char(u'-')
               .Strs({u"of"})
               .Int32(1)
               .ItemB(u"n", u"n", {u"v", u"u"}, {u"v", u"u"})
               .Int32(1)
               .ItemB(u"g", u"g", {}, {u"x"})
               .Bytes()},
      {13, TStream()
               .Char(u'-')
               .Strs({u"of"})
               .Int32(1)
               .ItemB(u"n", u"n", {u"v", u"u"}, {u"v", u"u"})
               .Int32(1)
               .ItemB(u"g", u"g", {}, {u"x"})
               .Bytes()},
  };
  for (const Case& C : Cases) {
    TLexicon Lex;
    EXPECT_TRUE(Load(Lex, C.Bytes, C.Version)) << C.Version;
    for (size_t Cut = 0; Cut < C.Bytes.size(); ++Cut) {
      EXPECT_FALSE(Load(Lex, TBytes(C.Bytes.begin(), C.Bytes.begin() + static_cast<std::ptrdiff_t>(Cut)), C.Version))
          << C.Version << " cut at " << Cut;
      for (const TSubstitution& Item : Lex.Substitutions()) {
        EXPECT_TRUE(IsSortedList(Item.Values()));
        EXPECT_TRUE(IsSortedList(Item.Phrases()));
      }
    }
  }
}

TEST(LexiconStream, ListsCutShortAreStillSorted) {
  TStream S;
  S.Char(u'-').Int32(0).Int32(1).Str(u"n").Str(u"k").Int32(3).Str(u"c").Str(u"a").Int32(1);
  TLexicon Lex;
  EXPECT_FALSE(Load(Lex, S.Bytes(), 13));
  ASSERT_EQ(Lex.Substitutions().Count(), 1);
  const TWideStringList& Values = Lex.Substitutions()[0].Values();
  EXPECT_EQ(Entries(Values), (TEntries{u"a", u"c"}));
  EXPECT_TRUE(Values.Sorted());
  EXPECT_EQ(Values.IndexOf(u"c"), 1);
}

TEST(LexiconStream, CorruptCountsEndWithTheData) {
  const int32_t Huge = 0x7FFFFFFF;
  {
    TLexicon Lex;
    EXPECT_FALSE(Load(Lex, TStream().Char(u'-').Int32(Huge).Str(u"w").Bytes(), 13));
    EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"w"}));
  }
  {
    TLexicon Lex;
    EXPECT_FALSE(Load(Lex, TStream().Char(u'-').Int32(0).Int32(Huge).Bytes(), 13));
    EXPECT_EQ(Lex.Substitutions().Count(), 1);  // the one appended before its read failed
  }
  {
    // A value count that the data cannot hold must not reserve room for it.
    TLexicon Lex;
    EXPECT_FALSE(
        Load(Lex, TStream().Char(u'-').Int32(0).Int32(1).Str(u"n").Str(u"k").Int32(Huge).Str(u"v").Bytes(), 13));
    ASSERT_EQ(Lex.Substitutions().Count(), 1);
    EXPECT_EQ(Entries(Lex.Substitutions()[0].Values()), (TEntries{u"v"}));
  }
  {
    TLexicon Lex;
    EXPECT_FALSE(Load(Lex, TStream().Str(u"").Int32(0).Int32(1).Str(u"n").Int32(Huge).Str(u"v").Bytes(), 11));
    ASSERT_EQ(Lex.Substitutions().Count(), 1);
    EXPECT_EQ(Lex.Substitutions()[0].Name, u"n");
  }
  {
    // Negative counts read nothing and the load goes on.
    TLexicon Lex;
    EXPECT_TRUE(Load(Lex, TStream().Char(u'-').Int32(-1).Int32(-5).Int32(-1).Bytes(), 13));
    EXPECT_TRUE(Lex.StopWords().IsEmpty());
    EXPECT_EQ(Lex.Substitutions().Count(), 0);
    EXPECT_EQ(Lex.Goals().Count(), 0);
  }
  {
    // A negative string length cannot be read.
    TLexicon Lex;
    EXPECT_FALSE(Load(Lex, TStream().Char(u'-').Int32(1).Int32(-1).Bytes(), 13));
  }
}

TEST(LexiconStream, RepeatedStopWordAndOverflowingLengthRaise) {
  TLexicon Lex;
  EXPECT_THROW(Load(Lex, TStream().Char(u'-').Strs({u"and", u"AND"}).Int32(0).Int32(0).Bytes(), 13), EStringListError);
  EXPECT_EQ(Entries(Lex.StopWords()), (TEntries{u"and"}));
  EXPECT_THROW(Load(Lex, TStream().Char(u'-').Int32(1).Int32(0x40000000).Bytes(), 13), EIntOverflow);
}

// ---- Failures

namespace {
class LexiconFailure : public testing::Test {
protected:
  test::TLocaleSwitch FSwitch;
  test::TSwitchableLocale& FLocale = FSwitch.Locale;
};
}  // namespace

TEST_F(LexiconFailure, TracesEveryRoutineItCrosses) {
  struct Case {
    const char* Routine;
    std::function<void(TLexicon&)> Call;
    AnsiString Message;
  } Cases[] = {
      {"Normalize", [](TLexicon& L) { L.Normalize(u"x"); }, "locale down\r\n>>1597"},
      {"AddSubstitution", [](TLexicon& L) { L.AddSubstitution(u"x", TWideStringList()); },
       "locale down\r\n>>1597\r\n>>1595"},
      {"SetStopWords", [](TLexicon& L) { L.SetStopWords(List({u"x"})); }, "locale down\r\n>>1597\r\n>>1601"},
      {"SetStopWords rebuilding", [](TLexicon& L) { L.SetStopWords(TWideStringList()); },
       "locale down\r\n>>1602\r\n>>1601"},
      {"Rebuild", [](TLexicon& L) { L.Substitutions()[0].Rebuild(); }, "locale down\r\n>>1602"},
      {"ExpandSubstitutions",
       [](TLexicon& L) {
         TWideStringList Dest;
         L.ExpandSubstitutions(List({M + u"plugins" + M}), Dest);
       },
       "locale down\r\n>>1596"},
  };
  for (const Case& C : Cases) {
    TLexicon Lex;
    FLocale.Fail = true;
    try {
      C.Call(Lex);
      ADD_FAILURE() << C.Routine << " did not fail";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), C.Message) << C.Routine;
    }
    FLocale.Fail = false;
  }
}

namespace pel {
namespace {

// What the writer produces, the reader of the same version reads back whole; a golden prefix pins
// the layout's head (join character, then the stop word count and the first word).
TEST(Lexicon, SaveToStreamRoundTripsThroughVersion13) {
  TLexicon Source;
  Source.SetStopWords(List({u"the", u"of"}));
  Source.AddSubstitution(u"United States", List({u"USA", u"U.S.A.", u"United States of America"}));
  TGoalList& Goal = Source.AddGoalItem();
  Goal.Name = u"Checkout";
  Goal.Add(u"place the order");

  TMemoryStream S;
  Source.SaveToStream(S);
  const std::vector<uint8_t> Head = {u'-', 0, 2, 0, 0, 0, 2, 0, 0, 0, u'o', 0, u'f', 0};
  ASSERT_GE(S.Bytes().size(), Head.size());
  EXPECT_EQ(std::vector<uint8_t>(S.Bytes().begin(), S.Bytes().begin() + Head.size()), Head);

  S.SetPosition(0);
  TLexicon Copy;
  ASSERT_TRUE(Copy.LoadFromStream(S, 13));
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_EQ(Copy.StopWords().CommaText(), Source.StopWords().CommaText());
  ASSERT_EQ(Copy.Substitutions().Count(), Source.Substitutions().Count());
  for (int I = 0; I < Copy.Substitutions().Count(); ++I) {
    const TSubstitution& A = Source.Substitutions()[I];
    const TSubstitution& B = Copy.Substitutions()[I];
    EXPECT_EQ(B.Name, A.Name);
    EXPECT_EQ(B.Key, A.Key);
    EXPECT_EQ(B.Values().CommaText(), A.Values().CommaText());
    EXPECT_EQ(B.Phrases().CommaText(), A.Phrases().CommaText());
  }
  ASSERT_EQ(Copy.Goals().Count(), 1);
  ExpectItem(Copy.Goals()[0], Goal.Name, Goal.Key, {u"place order"}, {u"place order"});
  EXPECT_EQ(Copy.Normalize(u"The United-States"), u"united states");
}

}  // namespace
}  // namespace pel
