#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "Common/TransitForms.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/SwitchableLocale.h"

using namespace pel;

namespace {

using TBytes = std::vector<uint8_t>;

struct TFieldSpec {
  int32_t Index;
  WideString Name, TagName, InputType, Value;
};

void AddField(TTransitFormCard& Card, const TFieldSpec& Wanted) {
  TTransitField& F = Card.Fields.Add();
  F.Index = Wanted.Index;
  F.Name = Wanted.Name;
  F.TagName = Wanted.TagName;
  F.InputType = Wanted.InputType;
  F.Value = Wanted.Value;
}

TTransitFormCard& AddCard(TTransitFormSet& Set, const WideString& Method, std::initializer_list<TFieldSpec> Fields,
                          const WideString& ActionURL = u"http://a.com/post") {
  TTransitFormCard& Card = Set.Add();
  Card.Method = Method;
  Card.ActionURL = ActionURL;
  for (const TFieldSpec& F : Fields) AddField(Card, F);
  return Card;
}

TFieldSpec Text(int32_t Index, const WideString& Name, const WideString& Value = u"") {
  return {Index, Name, u"input", u"text", Value};
}
TFieldSpec Hidden(const WideString& Name, const WideString& Value) { return {-1, Name, u"input", u"hidden", Value}; }
TFieldSpec Submit(int32_t Index, const WideString& Caption) { return {Index, u"go", u"input", u"submit", Caption}; }

TBytes Save(const TTransitFormSet& Set) {
  TMemoryStream S;
  Set.SaveToStream(S);
  return S.Bytes();
}

void Load(const TBytes& Bytes, TTransitFormSet& Set) {
  TMemoryStream S(Bytes);
  Set.LoadFromStream(S);
}

void ExpectSameField(const TTransitField& A, const TTransitField& B) {
  EXPECT_EQ(A.Index, B.Index);
  EXPECT_EQ(A.Name, B.Name);
  EXPECT_EQ(A.TagName, B.TagName);
  EXPECT_EQ(A.InputType, B.InputType);
  EXPECT_EQ(A.ProfileField, B.ProfileField);
  EXPECT_EQ(A.Value, B.Value);
  EXPECT_EQ(A.ValueKind, B.ValueKind);
  EXPECT_EQ(A.Values, B.Values);
}

void ExpectSameCard(const TTransitFormCard& A, const TTransitFormCard& B) {
  EXPECT_EQ(A.ActionURL, B.ActionURL);
  EXPECT_EQ(A.Method, B.Method);
  EXPECT_EQ(A.Charset, B.Charset);
  EXPECT_EQ(A.InnerHTML, B.InnerHTML);
  EXPECT_EQ(A.SubmitTarget, B.SubmitTarget);
  EXPECT_EQ(A.SubmitFieldIndex, B.SubmitFieldIndex);
  EXPECT_EQ(A.FormSysID, B.FormSysID);
  ASSERT_EQ(A.Fields.Count(), B.Fields.Count());
  for (int I = 0; I < A.Fields.Count(); ++I) ExpectSameField(A.Fields[I], B.Fields[I]);
}

// One card with one field, written out from the format: every byte is stated.
const TBytes OneCardOneField = {
    0x01, 0x00, 0x00, 0x00,                                      // card count 1
    0x01, 0x00, 0x00, 0x00, 0x61, 0x00,                          // ActionURL "a"
    0x04, 0x00, 0x00, 0x00, 0x70, 0x00, 0x6F, 0x00, 0x73, 0x00,  // Method "post"
    0x74, 0x00,                                                  //
    0x00, 0x00, 0x00, 0x00,                                      // Charset ""
    0x00, 0x00, 0x00, 0x00,                                      // InnerHTML ""
    0x01,                                                        // SubmitTarget 1
    0x00, 0x00, 0x00, 0x00,                                      // SubmitFieldIndex 0
    0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,              // FormSysID Data1, Data2, Data3
    0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10,              //   Data4
    0x01, 0x00, 0x00, 0x00,                                      // field count 1
    0x00, 0x00, 0x00, 0x00,                                      // Index 0
    0x01, 0x00, 0x00, 0x00, 0x71, 0x00,                          // Name "q"
    0x05, 0x00, 0x00, 0x00, 0x69, 0x00, 0x6E, 0x00, 0x70, 0x00,  // TagName "input"
    0x75, 0x00, 0x74, 0x00,                                      //
    0x04, 0x00, 0x00, 0x00, 0x74, 0x00, 0x65, 0x00, 0x78, 0x00,  // InputType "text"
    0x74, 0x00,                                                  //
    0x00, 0x00, 0x00, 0x00,                                      // ProfileField ""
    0x01, 0x00, 0x00, 0x00, 0xE9, 0x00,                          // Value "é"
    0xFF, 0xFF, 0xFF, 0xFF,                                      // ValueKind -1
    0x00, 0x00, 0x00, 0x00,                                      // Values ""
};

void FillGoldenCard(TTransitFormSet& Set) {
  TTransitFormCard& Card = AddCard(Set, u"post", {Text(0, u"q", u"\u00e9")}, u"a");
  Card.SubmitTarget = 1;
  Card.SubmitFieldIndex = 0;
  Card.FormSysID = StringToGUID(AnsiString("{01020304-0506-0708-090A-0B0C0D0E0F10}"));
}

}  // namespace

TEST(FormSetStream, EmptySetIsFourZeroBytes) { EXPECT_EQ(Save(TTransitFormSet()), (TBytes{0, 0, 0, 0})); }

TEST(FormSetStream, OneCardOneFieldGoldenBytes) {
  TTransitFormSet Set;
  FillGoldenCard(Set);
  EXPECT_EQ(Save(Set), OneCardOneField);

  TTransitFormSet Loaded;
  Load(OneCardOneField, Loaded);
  ASSERT_EQ(Loaded.Count(), 1);
  ExpectSameCard(Loaded[0], Set[0]);
}

TEST(FormSetStream, RoundTripKeepsEveryField) {
  TTransitFormSet Set;
  Set.Add();  // all defaults: SubmitFieldIndex -1, zero FormSysID, empty strings, no fields
  TTransitFormCard& Rich = AddCard(Set, u"get", {Text(0, u"city"), Hidden(u"token", u"x\"y")});
  Rich.Charset = u"utf-8";
  Rich.InnerHTML = u"<input name=city>\U0001F600";
  Rich.FormSysID = StringToGUID(AnsiString("{F817E1CA-C508-4629-9D06-B622A2392CA1}"));
  Rich.Fields[0].ProfileField = u"City";
  Rich.Fields[0].ValueKind = 4;
  Rich.Fields[0].Values = u"\"New York\",Paris,\"a,b\"";

  TTransitFormSet Loaded;
  Load(Save(Set), Loaded);
  ASSERT_EQ(Loaded.Count(), 2);
  ExpectSameCard(Loaded[0], Set[0]);
  ExpectSameCard(Loaded[1], Set[1]);
  EXPECT_EQ(Loaded[0].SubmitFieldIndex, -1);
  EXPECT_TRUE(Loaded[0].FormSysID.IsNull());
}

TEST(FormSetStream, LoadingEmptiesTheSetAndTheCardFieldsFirst) {
  TTransitFormSet Set;
  AddCard(Set, u"post", {Text(0, u"a"), Text(1, u"b")});
  Load(OneCardOneField, Set);
  ASSERT_EQ(Set.Count(), 1);
  EXPECT_EQ(Set[0].Fields.Count(), 1);
}

TEST(FormSetStream, EveryTruncationLoadsWhatWasThereAndDefaultsTheRest) {
  // Cut the golden stream at every length: loading never fails and never invents data.
  for (size_t Length = 0; Length <= OneCardOneField.size(); ++Length) {
    const TBytes Prefix(OneCardOneField.begin(), OneCardOneField.begin() + static_cast<long>(Length));
    TTransitFormSet Set;
    ASSERT_NO_THROW(Load(Prefix, Set)) << Length;
    if (Length <= 4) {
      EXPECT_EQ(Set.Count(), 0) << Length;  // unreadable count counts as zero; no data, no records
      continue;
    }
    ASSERT_EQ(Set.Count(), 1) << Length;
    const TTransitFormCard& Card = Set[0];
    if (Length >= 10) {
      EXPECT_EQ(Card.ActionURL, u"a");
    }
    EXPECT_EQ(Card.SubmitTarget, Length >= 31 ? 1 : 0) << Length;
    EXPECT_EQ(Card.SubmitFieldIndex, Length >= 35 ? 0 : -1) << Length;
    if (Length < 51) {
      EXPECT_TRUE(Card.FormSysID.IsNull()) << Length;
    }
    if (Length >= 51) {
      EXPECT_EQ(GUIDToString(Card.FormSysID), "{01020304-0506-0708-090A-0B0C0D0E0F10}");
    }
    if (Length <= 55) {
      EXPECT_EQ(Card.Fields.Count(), 0) << Length;
    }
    if (Length > 55) {
      ASSERT_EQ(Card.Fields.Count(), 1) << Length;
      const TTransitField& F = Card.Fields[0];
      if (Length < 59) {
        EXPECT_EQ(F.Index, -1) << Length;
      }
      if (Length >= 65) {
        EXPECT_EQ(F.Name, u"q");
      }
    }
  }
}

TEST(FormSetStream, CountsThatCannotBeTrustedReadNoPhantomRecords) {
  TTransitFormSet Set;
  Load({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3}, Set);  // negative count
  EXPECT_EQ(Set.Count(), 0);

  // A count of two billion over the data of one card: one card, at once.
  TBytes Huge = OneCardOneField;
  Huge[0] = 0xFF, Huge[1] = 0xFF, Huge[2] = 0xFF, Huge[3] = 0x7F;
  Load(Huge, Set);
  ASSERT_EQ(Set.Count(), 1);
  EXPECT_EQ(Set[0].Fields.Count(), 1);
}

TEST(ReadWideString, LengthsAndShortData) {
  struct Case {
    TBytes Bytes;
    bool Result;
    WideString Text;  // checked only when Result is true
    int64_t PositionAfter;
  } Cases[] = {
      {{}, false, u"", 0},
      {{0x01, 0x00}, false, u"", 2},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x41, 0x00}, false, u"", 4},
      {{0x00, 0x00, 0x00, 0x00, 0x41, 0x00}, true, u"", 4},
      {{0x02, 0x00, 0x00, 0x00, 0x41, 0x00, 0x42, 0x00, 0x43}, true, u"AB", 8},
      {{0x03, 0x00, 0x00, 0x00, 0x41, 0x00, 0x42, 0x00}, false, u"", 8},
      {{0xFF, 0xFF, 0xFF, 0x3F, 0x41, 0x00}, false, u"", 6},  // largest allowed length, data short
  };
  for (const Case& C : Cases) {
    TMemoryStream S(C.Bytes);
    WideString Text = u"old";
    EXPECT_EQ(ReadWideString(S, Text), C.Result) << testing::PrintToString(C.Bytes);
    if (C.Result) {
      EXPECT_EQ(Text, C.Text);
    }
    EXPECT_EQ(S.Position(), C.PositionAfter) << testing::PrintToString(C.Bytes);
  }
}

TEST(ReadWideString, LengthWhoseByteSizeOverflowsRaises) {
  TMemoryStream S({0x00, 0x00, 0x00, 0x40});
  WideString Text;
  EXPECT_THROW(ReadWideString(S, Text), EIntOverflow);
}

TEST(VariantTransport, RoundTripAndPositions) {
  TTransitFormSet Set;
  FillGoldenCard(Set);
  TMemoryStream S;
  Set.SaveToStream(S);
  S.SetPosition(7);
  TVariant V;
  StreamToVariant(S, V);
  EXPECT_EQ(V.AsBytes(), OneCardOneField);
  EXPECT_EQ(V.ArrayLowBound(), 0);
  EXPECT_EQ(S.Position(), S.Size());

  TMemoryStream Back(TBytes(200, 9));  // longer than the data: emptied first
  VariantToStream(V, Back);
  EXPECT_EQ(Back.Bytes(), OneCardOneField);
  EXPECT_EQ(Back.Position(), Back.Size());
}

TEST(VariantTransport, NonArrayLeavesTheStreamAloneAndEmptyArrayEmptiesIt) {
  TMemoryStream S({1, 2, 3});
  S.SetPosition(1);
  for (const TVariant& V : {TVariant(), TVariant::Null(), TVariant(u"text"), TVariant(int32_t{5})}) {
    VariantToStream(V, S);
    EXPECT_EQ(S.Bytes(), (TBytes{1, 2, 3}));
    EXPECT_EQ(S.Position(), 1);
  }
  VariantToStream(TVariant(TBytes{}), S);
  EXPECT_EQ(S.Size(), 0);
  S.SetPosition(0);
  TTransitFormSet Set;
  AddCard(Set, u"post", {});
  Set.LoadFromStream(S);
  EXPECT_EQ(Set.Count(), 0);
}

TEST(VariantTransport, AnArrayOfStringsIsNoByteStream) {
  TMemoryStream S;
  try {
    VariantToStream(TVariant(TVariant::TStrings{u"a"}), S);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_NE(E.Message().find("\r\n>>1570"), AnsiString::npos) << E.Message();
  }
}

TEST(Matching, FieldMatchRules) {
  struct Case {
    TFieldSpec A, B;
    bool CompareIndex, Expected;
  } Cases[] = {
      {Text(0, u"q", u"one"), Text(0, u"q", u"two"), true, true},       // data values are not compared
      {Text(0, u"q"), Text(1, u"q"), true, false},                      // index when asked
      {Text(0, u"q"), Text(1, u"q"), false, true},                      // and only then
      {Text(0, u"q"), Text(0, u"Q"), false, false},                     // names exactly
      {Text(0, u"q"), {0, u"q", u"input", u"password", u""}, false, false},
      {Text(0, u"q"), {0, u"q", u"textarea", u"text", u""}, false, false},
      {Submit(1, u"Send"), Submit(1, u"Send"), true, true},
      {Submit(1, u"Send"), Submit(1, u"Post"), true, false},            // submit buttons by caption
      {Submit(1, u"Send"), Submit(1, u"send"), true, false},            // case-sensitively
      {Hidden(u"t", u"abc"), Hidden(u"t", u"abc"), true, true},
      {Hidden(u"t", u"abc"), Hidden(u"t", u"ABC"), true, false},
      {{0, u"s", u"select", u"select-one", u"x"}, {0, u"s", u"select", u"select-one", u"y"}, true, true},
  };
  for (const Case& C : Cases) {
    TTransitFormCard Card;
    AddField(Card, C.A);
    AddField(Card, C.B);
    EXPECT_EQ(Card.Fields[0].Matches(Card.Fields[1], C.CompareIndex), C.Expected)
        << testing::PrintToString(C.A.Name) << " vs " << testing::PrintToString(C.B.Name) << ", "
        << testing::PrintToString(C.A.Value) << " vs " << testing::PrintToString(C.B.Value);
  }
}

TEST(Matching, CardSimilarityTable) {
  struct Case {
    const char* What;
    WideString StoredMethod, StoredURL;
    std::initializer_list<TFieldSpec> Stored;
    WideString CapturedMethod, CapturedURL;
    std::initializer_list<TFieldSpec> Captured;
    int Expected;
  } Cases[] = {
      {"no hidden fields", u"post", u"u", {Text(0, u"a")}, u"post", u"u", {Text(0, u"a")}, 100},
      {"one hidden each, matching", u"post", u"u", {Text(0, u"a"), Hidden(u"h", u"1")}, u"post", u"u",
       {Text(0, u"a"), Hidden(u"h", u"1")}, 100},
      {"one hidden each, not matching", u"post", u"u", {Hidden(u"h", u"1")}, u"post", u"u", {Hidden(u"h", u"2")}, 50},
      {"two of three hidden matched", u"post", u"u", {Hidden(u"h", u"1"), Hidden(u"k", u"2")}, u"post", u"u",
       {Hidden(u"x", u"0"), Hidden(u"k", u"2"), Hidden(u"h", u"1")}, 75},
      {"a hidden field is taken once", u"post", u"u", {Hidden(u"h", u"1"), Hidden(u"h", u"1")}, u"post", u"u",
       {Hidden(u"h", u"1")}, 66},
      {"entered text differs", u"post", u"u", {Text(0, u"a", u"x"), Submit(1, u"Go")}, u"post", u"u",
       {Text(0, u"a", u"y"), Submit(1, u"Go")}, 100},
      {"submit caption differs", u"post", u"u", {Text(0, u"a"), Submit(1, u"Go")}, u"post", u"u",
       {Text(0, u"a"), Submit(1, u"Send")}, 0},
      {"extra visible field captured", u"post", u"u", {Text(0, u"a")}, u"post", u"u", {Text(0, u"a"), Text(1, u"b")},
       0},
      {"extra visible field stored", u"post", u"u", {Text(0, u"a"), Text(1, u"b"), Hidden(u"h", u"1")}, u"post",
       u"u", {Text(0, u"a"), Hidden(u"h", u"1")}, 0},
      {"visible order differs", u"post", u"u", {Text(0, u"a"), Text(1, u"b")}, u"post", u"u",
       {Text(0, u"b"), Text(1, u"a")}, 0},
      {"methods differ", u"post", u"u", {Text(0, u"a")}, u"get", u"u", {Text(0, u"a")}, 0},
      {"both empty", u"post", u"u", {}, u"post", u"x", {}, 100},
      {"click, same address, other fields", u"click", u"http://a.com/x", {Text(0, u"a")}, u"click",
       u"http://a.com/x", {Text(0, u"b"), Text(1, u"c")}, 100},
      {"click, other address", u"click", u"http://a.com/x", {}, u"click", u"http://a.com/y", {}, 0},
      {"click against a form", u"click", u"http://a.com/x", {}, u"post", u"http://a.com/x", {}, 0},
  };
  for (const Case& C : Cases) {
    TTransitFormSet Set;
    const TTransitFormCard& Stored = AddCard(Set, C.StoredMethod, C.Stored, C.StoredURL);
    const TTransitFormCard& Captured = AddCard(Set, C.CapturedMethod, C.Captured, C.CapturedURL);
    EXPECT_EQ(Stored.Similarity(Captured), C.Expected) << C.What;
  }
}

TEST(Matching, BestMatchKeepsTheEarliestOfEqualScores) {
  TTransitFormSet Stored;
  AddCard(Stored, u"post", {Hidden(u"h", u"other")}, u"fifty");
  AddCard(Stored, u"post", {Hidden(u"h", u"1"), Hidden(u"k", u"2")}, u"first75");
  AddCard(Stored, u"post", {Hidden(u"h", u"1"), Hidden(u"k", u"2")}, u"second75");
  TTransitFormSet CapturedSet;
  TTransitFormCard& Captured =
      AddCard(CapturedSet, u"post", {Hidden(u"x", u"0"), Hidden(u"k", u"2"), Hidden(u"h", u"1")}, u"captured");
  EXPECT_EQ(Stored.FindBestMatch(Captured), 75);
  EXPECT_EQ(Captured.ActionURL, u"first75");
  ExpectSameCard(Captured, Stored[1]);
}

TEST(Matching, BestMatchStopsAtAPerfectScore) {
  TTransitFormSet Stored;
  AddCard(Stored, u"post", {Hidden(u"h", u"x")}, u"half");
  AddCard(Stored, u"post", {Hidden(u"h", u"1")}, u"perfect1");
  AddCard(Stored, u"post", {Hidden(u"h", u"1")}, u"perfect2");
  TTransitFormCard Captured;
  AddField(Captured, Hidden(u"h", u"1"));
  Captured.Method = u"post";
  EXPECT_EQ(Stored.FindBestMatch(Captured), 100);
  EXPECT_EQ(Captured.ActionURL, u"perfect1");
}

TEST(Matching, NoMatchLeavesTheCapturedCardAlone) {
  TTransitFormSet Stored;
  AddCard(Stored, u"get", {Text(0, u"a")}, u"g");
  AddCard(Stored, u"post", {Text(0, u"z")}, u"p");
  TTransitFormCard Captured;
  Captured.Method = u"post";
  Captured.ActionURL = u"mine";
  AddField(Captured, Text(0, u"a", u"typed"));
  EXPECT_EQ(Stored.FindBestMatch(Captured), 0);
  EXPECT_EQ(Captured.ActionURL, u"mine");
  ASSERT_EQ(Captured.Fields.Count(), 1);
  EXPECT_EQ(Captured.Fields[0].Value, u"typed");
  EXPECT_EQ(TTransitFormSet().FindBestMatch(Captured), 0);
}

TEST(Matching, FindFieldCopiesTheFirstMatchIgnoringIndex) {
  TTransitFormSet Set;
  AddCard(Set, u"post", {Text(0, u"x")});
  TTransitFormCard& Second = AddCard(Set, u"post", {Text(4, u"email", u"a@b.c"), Text(5, u"email", u"later")});
  Second.Fields[0].ProfileField = u"E-mail";
  Second.Fields[0].Values = u"a,b";

  TTransitField Probe;
  Probe.Index = 0;
  Probe.Name = u"email";
  Probe.TagName = u"input";
  Probe.InputType = u"text";
  EXPECT_FALSE(Set[0].FindField(Probe));
  EXPECT_EQ(Probe.Index, 0);
  EXPECT_TRUE(FindFieldInSet(Set, Probe));
  EXPECT_EQ(Probe.Index, 4);
  EXPECT_EQ(Probe.Value, u"a@b.c");
  EXPECT_EQ(Probe.ProfileField, u"E-mail");
  EXPECT_EQ(Probe.Values, u"a,b");

  TTransitField Missing;
  Missing.Name = u"nothing";
  EXPECT_FALSE(FindFieldInSet(Set, Missing));
  EXPECT_EQ(Missing.Index, -1);
}

TEST(Matching, FieldsTextQuotesLikeCommaText) {
  TTransitFormCard Card;
  EXPECT_EQ(Card.FieldsText(), u"");
  AddField(Card, {0, u"a,b", u"input", u"text", u"say \"x\""});
  AddField(Card, Hidden(u"t", u""));
  Card.Fields[1].ProfileField = u"Token";
  Card.Fields[1].ValueKind = 9;   // not part of the fingerprint
  Card.Fields[1].Values = u"zz";  // nor this
  EXPECT_EQ(Card.FieldsText(), u"0,\"a,b\",input,text,,\"say \"\"x\"\"\",-1,t,input,hidden,Token,");
}

TEST(Records, AssignCopiesEverythingAndReplacesFields) {
  TTransitFormSet Set;
  FillGoldenCard(Set);
  Set[0].Fields[0].Values = u"v1,v2";
  Set[0].Charset = u"windows-1252";
  Set[0].InnerHTML = u"<b>";
  TTransitFormCard Target;
  AddField(Target, Text(0, u"old1"));
  AddField(Target, Text(1, u"old2"));
  Target.Assign(static_cast<const TCollectionItem&>(Set[0]));
  ExpectSameCard(Target, Set[0]);

  TTransitField Field;
  EXPECT_THROW(Target.Assign(static_cast<const TCollectionItem&>(Field)), EInvalidCast);
}

namespace {
// Every comparison fails, to see which routines a failure crosses.
class FailingLocale : public testing::Test {
protected:
  test::TLocaleSwitch FSwitch{true};
};
}  // namespace

TEST_F(FailingLocale, BestMatchTracesEveryRoutineItCrosses) {
  TTransitFormSet Stored;
  AddCard(Stored, u"post", {Submit(0, u"Go")});
  TTransitFormCard Captured;
  Captured.Method = u"post";
  AddField(Captured, Submit(0, u"Go"));
  try {
    Stored.FindBestMatch(Captured);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "locale down\r\n>>1609\r\n>>1607\r\n>>1606\r\n>>1603");
  }
}

TEST_F(FailingLocale, FindFieldInSetTracesEveryRoutineItCrosses) {
  TTransitFormSet Set;
  AddCard(Set, u"post", {Hidden(u"t", u"1")});
  TTransitField Probe;
  Probe.Name = u"t";
  Probe.TagName = u"input";
  Probe.InputType = u"hidden";
  try {
    FindFieldInSet(Set, Probe);
    FAIL();
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "locale down\r\n>>1609\r\n>>1605\r\n>>1604");
  }
}
