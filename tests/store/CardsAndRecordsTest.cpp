#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <iterator>

#include "Common/StoreStreams.h"
#include "Common/TransitForms.h"
#include "StoreTestSupport.h"
#include "platform/Exceptions.h"

namespace pel::test {
namespace {

using store::TPelStore;

TEST(CardsAndRecordsTest, FormCardsSaveFindFillDefaultAndDelete) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Saved = false, Login = true;
  Store.SaveFormCard(u"example.com/login", u"", u"https://example.com/login", LoginFormSet(u"hello"), Saved, Login);
  EXPECT_TRUE(Saved);
  EXPECT_FALSE(Login);
  Store.SaveFormCard(u"example.com/login", u"", u"https://example.com/login", LoginFormSet(u"other"), Saved, Login);

  WideString Name;
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(u"hello"), Name);
  EXPECT_EQ(Name, u"Form card 1");
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(u"other"), Name);
  EXPECT_EQ(Name, u"Form card 2");
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(u"new"), Name);
  EXPECT_EQ(Name, u"");
  Store.FindSavedFormCard(u"elsewhere.org", LoginFormSet(u"hello"), Name);
  EXPECT_EQ(Name, u"");

  // The bound field carries the active profile's value, the plain one what was saved.
  TVariant Got;
  Store.GetFormCard(u"example.com/login", u"Form card 1", u"", Got, Login);
  TMemoryStream S;
  VariantToStream(Got, S);
  S.SetPosition(0);
  TTransitFormSet Set;
  Set.LoadFromStream(S);
  ASSERT_EQ(Set.Count(), 1);
  ASSERT_EQ(Set[0].Fields.Count(), 2);
  EXPECT_EQ(Set[0].Fields[0].Value, u"john.public@example.com");
  EXPECT_EQ(Set[0].Fields[0].ValueKind, 0);
  EXPECT_EQ(Set[0].Fields[1].Value, u"hello");

  Store.SetDefaultFormCard(u"example.com/login", u"Form card 2", u"", true);
  WideString Existing, Default;
  Store.GetNameChoices(u"example.com/login", Existing, Default);
  EXPECT_EQ(Existing, u"0=Form card 1\r\n1=Form card 2");
  EXPECT_EQ(Default, u"Form card 2");
  // The active profile's own default comes before the one for all profiles.
  Store.SetDefaultFormCard(u"example.com/login", u"Form card 1", u"", false);
  Store.GetNameChoices(u"example.com/login", Existing, Default);
  EXPECT_EQ(Default, u"Form card 1");
  EXPECT_THROW(Store.SetDefaultFormCard(u"example.com/login", u"Missing", u"", false), EOleException);

  Store.DeleteRecord(u"example.com/login", u"Form card 1", Login);
  Store.GetNameChoices(u"example.com/login", Existing, Default);
  EXPECT_EQ(Existing, u"1=Form card 2");
  EXPECT_EQ(Default, u"Form card 2");
  Store.GetFormCard(u"example.com/login", u"Form card 1", u"", Got, Login);
  EXPECT_TRUE(Got.IsEmpty());

  // A stream without a card is refused, and so is what is no stream at all.
  EXPECT_THROW(Store.SaveFormCard(u"k", u"n", u"", TVariant(TVariant::TBytes{0, 0, 0, 0}), Saved, Login),
               EOleException);
  EXPECT_THROW(Store.SaveFormCard(u"k", u"n", u"", TVariant(u"text"), Saved, Login), EOleException);
}

TEST(CardsAndRecordsTest, RecordsOfEachKindAreKeptApart) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  const TVariant Steps(TVariant::TBytes{1, 0, 0, 0, 9, 9});
  const TVariant Mail(TVariant::TBytes{7, 7});
  bool Saved = false, Login = true;
  Store.SaveRecord(rkNavigation, u"example.com", u"Checkout", u"example.com", Steps, Saved, Login);
  EXPECT_TRUE(Saved);
  Store.SaveRecord(rkMailCard, u"example.com", u"Contact", u"http://example.com/", Mail, Saved, Login);

  WideString Name;
  Store.FindRecord(rkNavigation, u"example.com", Steps, Name);
  EXPECT_EQ(Name, u"Checkout");
  Store.FindRecord(rkMailCard, u"example.com", Steps, Name);
  EXPECT_EQ(Name, u"");

  TVariant List;
  WideString Current;
  Store.GetRecordList(rkMailCard, u"example.com", List, Current);
  EXPECT_EQ(VariantToPairs(List), (TNamePairs{{u"example.com", u"Contact"}}));
  TVariant Data;
  Store.GetRecord(rkNavigation, u"example.com", u"Checkout", u"", Data, Login);
  EXPECT_EQ(Data, Steps);
  Store.GetRecord(rkAuthentication, u"example.com", u"Checkout", u"", Data, Login);
  EXPECT_TRUE(Data.IsEmpty());

  EXPECT_THROW(Store.GetRecordList(0, u"example.com", List, Current), EOleException);
  EXPECT_THROW(Store.SaveRecord(4, u"example.com", u"x", u"", Mail, Saved, Login), EOleException);
}

TVariant Credentials(const WideString& User, const WideString& Password) {
  TMemoryStream S;
  for (const WideString& Part : {User, WideString(), Password, WideString()}) WriteWideString(S, Part);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}

// The credential agent saves silently without a name and ignores any error: such a record is
// named after its user name (else its site) and never replaces one kept before.
TEST(CardsAndRecordsTest, UnnamedRecordsGetAFreeNameOfTheirOwn) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Saved = false, Login = true;
  const TVariant First = Credentials(u" jdoe ", u"pw1"), Second = Credentials(u"jdoe", u"pw2");
  Store.SaveRecord(rkAuthentication, u"example.com", u"", u"", First, Saved, Login);
  EXPECT_TRUE(Saved);
  Store.SaveRecord(rkAuthentication, u"example.com", u"", u"", Second, Saved, Login);
  Store.SaveRecord(rkAuthentication, u"example.com", u"", u"", Credentials(u"", u"pw3"), Saved, Login);
  Store.SaveRecord(rkMailCard, u"example.com", u"", u"", TVariant(TVariant::TBytes{7}), Saved, Login);
  // Not a readable user name: the site names it.
  Store.SaveRecord(rkAuthentication, u"other.org", u"", u"", TVariant(TVariant::TBytes{0xFF, 0xFF, 0xFF, 0x7F}),
                   Saved, Login);
  EXPECT_TRUE(Saved);

  TVariant List;
  WideString Current, Name;
  Store.GetRecordList(rkAuthentication, u"example.com", List, Current);
  EXPECT_EQ(VariantToPairs(List),
            (TNamePairs{{u"example.com", u"example.com"}, {u"example.com", u"jdoe"}, {u"example.com", u"jdoe (2)"}}));
  Store.FindRecord(rkAuthentication, u"example.com", First, Name);
  EXPECT_EQ(Name, u"jdoe");
  Store.FindRecord(rkAuthentication, u"example.com", Second, Name);
  EXPECT_EQ(Name, u"jdoe (2)");
  Store.GetRecordList(rkMailCard, u"example.com", List, Current);
  EXPECT_EQ(VariantToPairs(List), (TNamePairs{{u"example.com", u"example.com"}}));
  Store.GetRecordList(rkAuthentication, u"other.org", List, Current);
  EXPECT_EQ(VariantToPairs(List), (TNamePairs{{u"other.org", u"other.org"}}));
}

std::string FileText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// A deleted credential leaves the files at once, the log included, while the store runs on.
TEST(CardsAndRecordsTest, DeletedRecordLeavesNoCiphertextInTheFiles) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Saved = false, Login = false;
  Store.SaveRecord(rkAuthentication, u"example.com", u"me", u"", Credentials(u"me", u"secret"), Saved, Login);
  Store.SaveRecord(rkAuthentication, u"example.com", u"other", u"", Credentials(u"other", u"kept"), Saved, Login);
  std::string Sealed;
  {
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
    sqlite3_stmt* Q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Db, "SELECT data FROM item WHERE name = 'me'", -1, &Q, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(Q), SQLITE_ROW);
    Sealed.assign(static_cast<const char*>(sqlite3_column_blob(Q, 0)), static_cast<size_t>(sqlite3_column_bytes(Q, 0)));
    sqlite3_finalize(Q);
    sqlite3_close(Db);
  }
  ASSERT_GT(Sealed.size(), 40u);
  ASSERT_NE((FileText(Folder.File()) + FileText(Folder.File() + "-wal")).find(Sealed), std::string::npos);
  Store.DeleteRecord(u"example.com", u"me", Login);
  EXPECT_EQ((FileText(Folder.File()) + FileText(Folder.File() + "-wal")).find(Sealed), std::string::npos);
  TVariant Data;
  Store.GetRecord(rkAuthentication, u"example.com", u"other", u"", Data, Login);
  EXPECT_EQ(Data, Credentials(u"other", u"kept"));
}

// The address a card was saved from is never read back, and its query may hold tokens and mail
// addresses: it is not kept, and what earlier versions kept is dropped.
TEST(CardsAndRecordsTest, PageAddressesAreNotKept) {
  TStoreFolder Folder;
  const std::string Token = "sid-Tok3n-4711";
  const WideString URL = u"https://example.com/login?session=sid-Tok3n-4711&mail=me%40example.org";
  {
    TPelStore Store(Folder.File());
    bool Saved = false, Login = false;
    Store.SaveFormCard(u"example.com/login", u"Card", URL, LoginFormSet(u"x"), Saved, Login);
    Store.SaveRecord(rkMailCard, u"example.com", u"Mail", URL, TVariant(TVariant::TBytes{1}), Saved, Login);
    EXPECT_EQ((FileText(Folder.File()) + FileText(Folder.File() + "-wal")).find(Token), std::string::npos);
  }
  RunSql(Folder.File(), "UPDATE item SET url = 'https://example.com/?t=sid-Tok3n-4711';"
                        "UPDATE schema_version SET version = 5");
  TPelStore Store(Folder.File());
  EXPECT_EQ((FileText(Folder.File()) + FileText(Folder.File() + "-wal")).find(Token), std::string::npos);
  WideString Name;
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(u"x"), Name);
  EXPECT_EQ(Name, u"Card");
}

// A profile named in another case is that profile: the current one is always in the list and its
// own defaults are found, also where an earlier build kept the caller's spelling.
TEST(CardsAndRecordsTest, ProfileNamesResolveToTheStoredSpelling) {
  TStoreFolder Folder;
  for (const char* Earlier : {"", "UPDATE state SET value = 'sAMPLE' WHERE key = 'active_profile';"
                                  "UPDATE default_item SET profile = 'SAMPLE' WHERE profile <> ''"}) {
    {
      TPelStore Store(Folder.File());
      bool Saved = false, Login = false;
      Store.SaveFormCard(u"example.com/login", u"Mine", u"", LoginFormSet(u"x"), Saved, Login);
      Store.SaveFormCard(u"example.com/login", u"All", u"", LoginFormSet(u"y"), Saved, Login);
      Store.SetDefaultFormCard(u"example.com/login", u"All", u"", true);
      Store.SetActiveProfile(u"SAMPLE");
      Store.SetDefaultFormCard(u"example.com/login", u"Mine", u"sample", false);
    }
    RunSql(Folder.File(), Earlier);
    TPelStore Store(Folder.File());
    TVariant Profiles;
    WideString Current;
    Store.GetProfiles(Profiles, Current);
    EXPECT_EQ(Current, u"Sample") << Earlier;
    EXPECT_EQ(Profiles.AsStrings(), TVariant::TStrings{u"Sample"});
    WideString Existing, Default;
    Store.GetNameChoices(u"example.com/login", Existing, Default);
    EXPECT_EQ(Default, u"Mine") << Earlier;
  }
  TPelStore Store(Folder.File());
  EXPECT_THROW(Store.SetActiveProfile(u"Nobody"), EOleException);
}

// A version 1 file, as the first builds wrote it: values in the clear, no cards, no key. Opening
// it adds what later versions brought and seals its values, leaving no readable copy behind.
TEST(CardsAndRecordsTest, FirstSchemaIsMigratedForwardAndItsValuesSealed) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  TMemoryStream Plain;
  WriteWideString(Plain, u"Lyon-sur-Plaintext");
  WriteWideString(Plain, u"Lyon-sur-Plaintext,Lyon");
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(Db,
                         "DROP TABLE item; DROP TABLE default_item; DROP TABLE keyring; DROP TABLE field_choice;"
                         "DROP TABLE page_note; DROP TABLE translation; UPDATE schema_version SET version = 1;"
                         "DELETE FROM profile_value WHERE field_id <> (SELECT id FROM field WHERE name = 'City')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_stmt* Put = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(Db, "UPDATE profile_value SET data = ?", -1, &Put, nullptr), SQLITE_OK);
  sqlite3_bind_blob(Put, 1, Plain.Bytes().data(), static_cast<int>(Plain.Bytes().size()), SQLITE_TRANSIENT);
  ASSERT_EQ(sqlite3_step(Put), SQLITE_DONE);
  sqlite3_finalize(Put);
  ASSERT_EQ(sqlite3_exec(Db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(Db);

  TPelStore Store(Folder.File());
  EXPECT_EQ(Store.SchemaVersion(), store::StoreSchemaVersion);
  bool Saved = false, Login = false;
  Store.SaveRecord(rkAuthentication, u"example.com", u"me", u"", TVariant(TVariant::TBytes{1}), Saved, Login);
  EXPECT_TRUE(Saved);
  WideString Field, Value, Values;
  int32_t Kind = -1;
  bool Found = false;
  Field = u"City";
  Store.FindFieldValue(u"", u"", u"", u"", u"", Field, Kind, Value, Values, Found, Login);
  EXPECT_EQ(Value, u"Lyon-sur-Plaintext");
  EXPECT_EQ(Values, u"Lyon-sur-Plaintext,Lyon");

  const WideString Marker = u"Lyon-sur-Plaintext";
  std::vector<uint8_t> Needle;
  for (char16_t C : Marker) {
    Needle.push_back(static_cast<uint8_t>(C));
    Needle.push_back(0);
  }
  for (const std::string& Name : {Folder.File(), Folder.File() + "-wal"}) {
    std::ifstream In(Name, std::ios::binary);
    const std::vector<uint8_t> Bytes{std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
    EXPECT_EQ(std::search(Bytes.begin(), Bytes.end(), Needle.begin(), Needle.end()), Bytes.end()) << Name;
  }
}

}  // namespace
}  // namespace pel::test

namespace pel::test {
namespace {

TVariant OneFormSet(std::initializer_list<const char16_t*> FieldNames) {
  TTransitFormSet Set;
  TTransitFormCard& Card = Set.Add();
  int Index = 0;
  for (const char16_t* N : FieldNames) {
    TTransitField& F = Card.Fields.Add();
    F.Index = Index++;
    F.Name = N;
    F.TagName = u"input";
    F.InputType = u"text";
  }
  TMemoryStream S;
  Set.SaveToStream(S);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}

TEST(CardsAndRecordsTest, FindFormCardsListsOwnSetFirstThenMatchingCardsOfOtherPages) {
  TStoreFolder Folder;
  store::TPelStore Store(Folder.File());
  bool Saved = false, Login = false;
  Store.SaveFormCard(u"shop.example/checkout", u"Home", u"", OneFormSet({u"name", u"street", u"zip"}), Saved, Login);
  Store.SaveFormCard(u"a-other.example/order", u"Same form", u"", OneFormSet({u"name", u"street", u"zip"}), Saved,
                     Login);
  Store.SaveFormCard(u"a-other.example/search", u"Search", u"", OneFormSet({u"q"}), Saved, Login);
  Store.SetDefaultFormCard(u"shop.example/checkout", u"Home", u"", false);

  TVariant Cards;
  WideString SetName, Name;
  bool Matched = false;
  Store.FindFormCards(u"shop.example/checkout", OneFormSet({u"name", u"street", u"zip"}), Cards, SetName, Name,
                      Matched);
  EXPECT_TRUE(Matched);
  EXPECT_EQ(VariantToPairs(Cards),
            (TNamePairs{{u"shop.example/checkout", u"Home"}, {u"a-other.example/order", u"Same form"}}));
  EXPECT_EQ(SetName, u"shop.example/checkout");
  EXPECT_EQ(Name, u"Home");

  // A page with nothing stored and forms like no stored card's.
  Store.FindFormCards(u"new.example", OneFormSet({u"colour", u"size"}), Cards, SetName, Name, Matched);
  EXPECT_FALSE(Matched);
  EXPECT_TRUE(VariantToPairs(Cards).empty());
  EXPECT_EQ(Name, u"");
}

}  // namespace
}  // namespace pel::test

namespace pel::test {
namespace {

// A window's form set whose string claims more characters than any data could hold is refused
// with the store's own error, by every call that reads one.
TEST(CardsAndRecordsTest, FormSetWithImpossibleStringLengthIsRefusedAsStoreError) {
  TStoreFolder Folder;
  store::TPelStore Store(Folder.File());
  const TVariant Forms(TVariant::TBytes{1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a', 0});
  TVariant Cards;
  WideString SetName, Name;
  bool Matched = false, Saved = false, Login = false;
  EXPECT_THROW(Store.FindFormCards(u"example.com", Forms, Cards, SetName, Name, Matched), EOleException);
  EXPECT_THROW(Store.FindSavedFormCard(u"example.com", Forms, Name), EOleException);
  EXPECT_THROW(Store.SaveFormCard(u"example.com", u"x", u"", Forms, Saved, Login), EOleException);
  EXPECT_FALSE(Saved);
}

}  // namespace
}  // namespace pel::test
