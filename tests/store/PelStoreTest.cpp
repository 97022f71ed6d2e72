#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>
#include <vector>

#include "Common/BrivaneLibEvents.h"
#include "Common/Lexicon.h"
#include "Common/Options.h"
#include "Common/TransitForms.h"
#include "StoreTestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::test {
namespace {

using store::TPelStore;

struct TFieldAnswer {
  WideString Field;
  int32_t Kind = -1;
  WideString Value, Values;
  bool Found = false;
  bool LoginRequired = false;
};

TFieldAnswer Lookup(TPelStore& Store, const WideString& Profile, const WideString& Field, const WideString& Name) {
  TFieldAnswer A;
  A.Field = Field;
  Store.FindFieldValue(Profile, u"input", u"text", Name, u"", A.Field, A.Kind, A.Value, A.Values, A.Found,
                       A.LoginRequired);
  return A;
}

TEST(PelStoreTest, NewStoreHasSchemaProfileAndCredentialFields) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  EXPECT_EQ(Store.SchemaVersion(), store::StoreSchemaVersion);
  TVariant Profiles;
  WideString Current;
  Store.GetProfiles(Profiles, Current);
  ASSERT_EQ(Profiles.AsStrings().size(), 1u);
  EXPECT_EQ(Current, Profiles.AsStrings()[0]);

  TVariant Fields;
  bool Login = true;
  Store.GetProfileFields(Fields, Login);
  EXPECT_FALSE(Login);
  const auto& F = Fields.AsStrings();
  ASSERT_EQ(F.size() % 3, 0u);
  std::vector<WideString> Names, Groups;
  for (size_t I = 0; I < F.size(); I += 3) {
    Names.push_back(F[I]);
    Groups.push_back(F[I + 2]);
  }
  for (const char16_t* Required : {u"Username", u"Password", u"Country", u"E-mail", u"Card number"})
    EXPECT_NE(std::find(Names.begin(), Names.end(), Required), Names.end()) << WideToAnsi(Required);
  for (const char16_t* Group : {u"Identity", u"Contact", u"Address", u"Company", u"Login", u"Payment card"})
    EXPECT_NE(std::find(Groups.begin(), Groups.end(), Group), Groups.end()) << WideToAnsi(Group);
}

TEST(PelStoreTest, FieldValueByFieldCarriesKindAndAlternatives) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  const TFieldAnswer Country = Lookup(Store, u"", u"Country", u"");
  EXPECT_TRUE(Country.Found);
  EXPECT_EQ(Country.Kind, 5);
  EXPECT_EQ(Country.Value, u"United States");
  EXPECT_EQ(Country.Values, u"\"United States\",USA,US");
  // A name recognised as a select field answers the same.
  const TFieldAnswer ByName = Lookup(Store, u"", u"", u"billing_country");
  EXPECT_EQ(ByName.Field, u"Country");
  EXPECT_EQ(ByName.Kind, 5);
  // A field the store does not know is not found, and a profile it does not know is an error.
  EXPECT_FALSE(Lookup(Store, u"", u"Shoe size", u"").Found);
  EXPECT_THROW(Lookup(Store, u"Nobody", u"Country", u""), EOleException);
  // An empty name (the add-on's login probe) finds nothing and needs no login.
  const TFieldAnswer Probe = Lookup(Store, u"", u"", u"");
  EXPECT_FALSE(Probe.Found);
  EXPECT_FALSE(Probe.LoginRequired);
}

TEST(PelStoreTest, WritesPersistAcrossReopen) {
  TStoreFolder Folder;
  {
    TPelStore Store(Folder.File());
    bool Login = true;
    Store.AddFieldValue(u"", u"Password", u"s3cret,\"other one\"", Login);
    EXPECT_FALSE(Login);
    Store.AddSynonym(u"Postcode", u"Postleitzahl", -1);
    bool Handled = false;
    Store.SetSettings(u"example.com", 0x1234, false, false, Handled);
    EXPECT_TRUE(Handled);
  }
  TPelStore Store(Folder.File());
  const TFieldAnswer Password = Lookup(Store, u"", u"Password", u"");
  EXPECT_TRUE(Password.Found);
  EXPECT_EQ(Password.Value, u"s3cret");
  EXPECT_EQ(Password.Values, u"s3cret,\"other one\"");
  EXPECT_EQ(Lookup(Store, u"", u"", u"txtPostleitzahl").Field, u"Postcode");
  int32_t Flags = 0;
  bool Found = false;
  Store.GetSettings(u"example.com", Flags, Found);
  EXPECT_TRUE(Found);
  EXPECT_EQ(Flags, 0x1234);
  Store.GetSettings(u"other.org", Flags, Found);
  EXPECT_FALSE(Found);
}

TEST(PelStoreTest, BadInputIsRefusedWithClearErrors) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Login = false;
  try {
    Store.AddFieldValue(u"", u"Shoe size", u"42", Login);
    FAIL() << "an unknown field was accepted";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("Shoe size"), AnsiString::npos) << E.Message();
  }
  EXPECT_THROW(Store.AddSynonym(u"E-mail", u" the - ", -1), EOleException);  // only stop words and punctuation
  EXPECT_THROW(Store.SetActiveProfile(u"Nobody"), EOleException);
  EXPECT_THROW(Store.SetActiveProfile(u""), EOleException);
}

TEST(PelStoreTest, NewerSchemaIsRefused) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  RunSql(Folder.File(), "UPDATE schema_version SET version = 99");
  try {
    TPelStore Store(Folder.File());
    FAIL() << "a newer schema was opened";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("newer"), AnsiString::npos) << E.Message();
  }
}

TEST(PelStoreTest, EventsReachAdvisedSinkAndRunningObjectTableFindsStore) {
  TStoreFolder Folder;
  auto Store = std::make_shared<TPelStore>(Folder.File());
  TPelStore::Register(Store);
  EXPECT_EQ(RunningObjects().GetActiveObject(CLSID_PelServer), Store);

  std::vector<int> Seen;
  bool AppliedToAll = false;
  TBrivaneLibIPelServerEvents Sink;
  Sink.OnQuit = [&](TEventSink*) { Seen.push_back(DISPID_OnQuit); };
  Sink.OnLexiconChange = [&](TEventSink*) { Seen.push_back(DISPID_OnLexiconChange); };
  Sink.OnDatabaseChange = [&](TEventSink*) { Seen.push_back(DISPID_OnDatabaseChange); };
  Sink.OnSettingsChange = [&](TEventSink*, bool ApplyToAll) {
    Seen.push_back(DISPID_OnSettingsChange);
    AppliedToAll = ApplyToAll;
  };
  Sink.Connect(Store);

  bool Handled = false, Login = false;
  Store->SetSettings(u"example.com", 7, true, true, Handled);
  EXPECT_TRUE(AppliedToAll);
  Store->AddSynonym(u"City", u"Ort", -1);
  Store->AddFieldValue(u"", u"City", u"Paris", Login);
  Store->Shutdown();
  EXPECT_EQ(Seen, (std::vector<int>{DISPID_OnSettingsChange, DISPID_OnLexiconChange, DISPID_OnDatabaseChange,
                                    DISPID_OnQuit}));
  EXPECT_EQ(RunningObjects().GetActiveObject(CLSID_PelServer), nullptr);
  Sink.Disconnect();

  // Defaults applied to all replace the sites' own sets.
  int32_t Flags = 0;
  bool Found = false;
  Store->GetSettings(u"", Flags, Found);
  EXPECT_TRUE(Found);
  EXPECT_EQ(Flags, 7);
  Store->GetSettings(u"example.com", Flags, Found);
  EXPECT_FALSE(Found);
}

// Browser windows call from their own threads: concurrent writes and reads all land, none is lost.
TEST(PelStoreTest, ConcurrentCallersLoseNothing) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  std::vector<std::thread> Windows;
  for (int W = 0; W < 4; ++W)
    Windows.emplace_back([&, W] {
      for (int I = 0; I < 25; ++I) {
        bool Login = false, Handled = false;
        AnsiString Tag = "w";
        Tag += IntToStr(W) + "-" + IntToStr(I);
        Store.AddFieldValue(u"", u"Fax", AsciiToWide(Tag), Login);
        Store.SetSettings(AsciiToWide(Tag), I, false, false, Handled);
        Lookup(Store, u"", u"", u"fax_number");
      }
    });
  for (std::thread& T : Windows) T.join();
  TWideStringList Values;
  Values.SetCommaText(Lookup(Store, u"", u"Fax", u"").Values);
  EXPECT_EQ(Values.Count(), 4 * 25);
  for (int W = 0; W < 4; ++W) {
    int32_t Flags = 0;
    bool Found = false;
    Store.GetSettings(AsciiToWide("w" + IntToStr(W) + "-24"), Flags, Found);
    EXPECT_TRUE(Found);
  }
}

WideString SiteKey(int Round, int I) { return AsciiToWide("r" + IntToStr(Round) + "-site" + IntToStr(I)); }
WideString Value(int Round, int I) { return AsciiToWide("r" + IntToStr(Round) + "-v" + IntToStr(I)); }

// A writer killed at a random moment leaves a sound file whose content is a prefix of what it
// committed: value N is only there if every earlier write is.
TEST(PelStoreTest, KilledWriterLeavesConsistentCommittedPrefix) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  for (int Round = 0; Round < 3; ++Round) {
    // The child says when its first write committed, so that a slow build (sanitizers) still has
    // written something when the kill comes at a random moment after that.
    int Started[2];
    ASSERT_EQ(pipe(Started), 0);
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      close(Started[0]);
      TPelStore Store(Folder.File());
      bool Login = false, Handled = false;
      for (int I = 1;; ++I) {
        Store.SetSettings(SiteKey(Round, I), I, false, false, Handled);
        Store.AddFieldValue(u"", u"Website", Value(Round, I), Login);
        if (I == 1 && write(Started[1], "!", 1) != 1) _exit(1);
      }
    }
    close(Started[1]);
    char Signal = 0;
    ASSERT_EQ(read(Started[0], &Signal, 1), 1) << "the writer died before its first write";
    close(Started[0]);
    usleep(static_cast<useconds_t>(rand() % 60000));
    kill(Child, SIGKILL);
    int Status = 0;
    waitpid(Child, &Status, 0);
    ASSERT_TRUE(WIFSIGNALED(Status));

    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
    sqlite3_stmt* Q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Db, "PRAGMA integrity_check", -1, &Q, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(Q), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(Q, 0)), "ok");
    sqlite3_finalize(Q);
    sqlite3_close(Db);

    TPelStore Store(Folder.File());
    int Highest = 0;
    for (int I = 1; I < 1000000; ++I) {
      int32_t Flags = 0;
      bool Found = false;
      Store.GetSettings(SiteKey(Round, I), Flags, Found);
      if (!Found) break;
      EXPECT_EQ(Flags, I);
      Highest = I;
    }
    EXPECT_GT(Highest, 0) << "the writer committed nothing";
    // No gaps: nothing beyond the first missing site.
    int32_t Flags = 0;
    bool Found = true;
    Store.GetSettings(SiteKey(Round, Highest + 2), Flags, Found);
    EXPECT_FALSE(Found);
    // Each value write follows its site write, so the value list holds Highest or Highest - 1 entries.
    const TFieldAnswer Web = Lookup(Store, u"", u"Website", u"");
    TWideStringList Values;
    Values.SetCommaText(Web.Values);
    if (Highest > 1) {
      EXPECT_GE(Values.IndexOf(Value(Round, Highest - 1)), 0);
    }
    EXPECT_LT(Values.IndexOf(Value(Round, Highest + 1)), 0);
  }
}

}  // namespace
}  // namespace pel::test

namespace pel::test {
namespace {

// The add-on loads the answer as a version 13 stream: stop words and the select substitutions.
TEST(PelStoreTest, LexiconIsAVersion13StreamWithStopWordsAndSubstitutions) {
  TStoreFolder Folder;
  store::TPelStore Store(Folder.File());
  const TVariant V = Store.GetLexicon();
  TMemoryStream S;
  VariantToStream(V, S);
  S.SetPosition(0);
  TLexicon Lexicon;
  ASSERT_TRUE(Lexicon.LoadFromStream(S, 13));
  EXPECT_EQ(S.Remaining(), 0);
  EXPECT_GE(Lexicon.StopWords().IndexOf(u"your"), 0);
  EXPECT_EQ(Lexicon.Normalize(u"Your e-mail"), u"e mail");
  bool UnitedStates = false;
  for (const TSubstitution& Item : Lexicon.Substitutions())
    if (Item.Key == u"united states") UnitedStates = Item.Phrases().IndexOf(u"usa") >= 0;
  EXPECT_TRUE(UnitedStates);
}

// A store nobody has set options in answers the options a new user starts with for the default
// set, since browsers take that answer whether it was found or not; sites without a set of their
// own still answer nothing.
TEST(PelStoreTest, DefaultSettingsOfAFreshStoreAreTheStartingOptions) {
  TStoreFolder Folder;
  store::TPelStore Store(Folder.File());
  int32_t Flags = -1;
  bool Found = true;
  Store.GetSettings(u"", Flags, Found);
  EXPECT_FALSE(Found);
  EXPECT_EQ(UnpackOptions(Flags), TBVOptions());
  Store.GetSettings(u"example.com", Flags, Found);
  EXPECT_FALSE(Found);
  EXPECT_EQ(Flags, 0);
}

}  // namespace
}  // namespace pel::test
