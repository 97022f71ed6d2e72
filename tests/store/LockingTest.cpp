#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <fstream>
#include <thread>
#include <tuple>
#include <utility>
#include <iterator>

#include "Common/BrivaneLibEvents.h"
#include "Crypto.h"
#include "KeyringTestSupport.h"
#include "StoreTestSupport.h"
#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::test {
namespace {

using store::TKeyCost;
using store::TPelStore;

// Tests derive keys many times; the cheapest cost keeps them fast and exercises the same code.
const TKeyCost Cheap = TKeyCost::Minimal();

// The values only the owner may read, each distinct enough to be looked for in the file.
const WideString SecretMail = u"hidden.person@secret-mail.example";
const WideString SecretCardNote = u"card-note-Quixotic-Zebra";
const TVariant::TBytes SecretRecord = {'R', 'e', 'c', 'o', 'r', 'd', '-', 'P', 'l', 'a', 'i', 'n', 'B', 'y', 't', 'e'};

void StoreSecrets(TPelStore& Store) {
  bool Login = false, Saved = false;
  Store.AddFieldValue(u"", u"E-mail", SecretMail, Login);
  Store.SaveFormCard(u"example.com/login", u"Work", u"https://example.com/login", LoginFormSet(SecretCardNote), Saved,
                     Login);
  ASSERT_TRUE(Saved);
  Store.SaveRecord(rkAuthentication, u"example.com", u"me", u"", TVariant(SecretRecord), Saved, Login);
  ASSERT_TRUE(Saved);
}

WideString MailOf(TPelStore& Store, bool& LoginRequired) {
  WideString Field = u"E-mail", Value, Values;
  int32_t Kind = -1;
  bool Found = false;
  Store.FindFieldValue(u"", u"", u"", u"", u"", Field, Kind, Value, Values, Found, LoginRequired);
  return Value + u";" + Values;
}

// The sample address stays the value; the stored secret joined its alternatives.
const WideString MailWithSecret = u"john.public@example.com;" + SecretMail;

TVariant::TBytes FileBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return TVariant::TBytes(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

bool Contains(const TVariant::TBytes& Haystack, const TVariant::TBytes& Needle) {
  return std::search(Haystack.begin(), Haystack.end(), Needle.begin(), Needle.end()) != Haystack.end();
}

TVariant::TBytes Utf16(const WideString& Text) {
  TVariant::TBytes Result;
  for (char16_t C : Text) {
    Result.push_back(static_cast<uint8_t>(C & 0xFF));
    Result.push_back(static_cast<uint8_t>(C >> 8));
  }
  return Result;
}

TVariant::TBytes Narrow(const WideString& Text) { return TVariant::TBytes(Text.begin(), Text.end()); }

// Every file the database lives in: the main file and, in WAL mode, its log.
TVariant::TBytes StoreFiles(const TStoreFolder& Folder) {
  TVariant::TBytes All = FileBytes(Folder.File());
  const TVariant::TBytes Log = FileBytes(Folder.File() + "-wal");
  All.insert(All.end(), Log.begin(), Log.end());
  return All;
}

void ExpectNoSecretIn(const TVariant::TBytes& Bytes) {
  for (const WideString& Secret : {SecretMail, SecretCardNote}) {
    EXPECT_FALSE(Contains(Bytes, Utf16(Secret))) << WideToAnsi(Secret);
    EXPECT_FALSE(Contains(Bytes, Narrow(Secret))) << WideToAnsi(Secret);
  }
  EXPECT_FALSE(Contains(Bytes, SecretRecord));
}

TVariant::TBytes RawDataKey(const std::string& File) {
  sqlite3* Db = nullptr;
  EXPECT_EQ(sqlite3_open(File.c_str(), &Db), SQLITE_OK);
  sqlite3_stmt* Q = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(Db, "SELECT data_key FROM keyring", -1, &Q, nullptr), SQLITE_OK);
  TVariant::TBytes Key;
  if (sqlite3_step(Q) == SQLITE_ROW) {
    const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(Q, 0));
    Key.assign(Data, Data + sqlite3_column_bytes(Q, 0));
  }
  sqlite3_finalize(Q);
  sqlite3_close(Db);
  return Key;
}

TEST(LockingTest, WithoutPasswordStoreIsOpenAndLoginAcceptsAnything) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  EXPECT_FALSE(Store.HasMasterPassword());
  EXPECT_TRUE(Store.GetLoggedIn());
  EXPECT_NO_THROW(Store.Login(u"whatever"));
  Store.Logout();  // nothing to lock with
  EXPECT_TRUE(Store.GetLoggedIn());
  bool Login = true;
  EXPECT_EQ(MailOf(Store, Login), u"john.public@example.com;");
  EXPECT_FALSE(Login);
}

// Every secret stays sealed in the file, with or without a password; with one, the key that
// opened them before the password was set opens nothing any more.
TEST(LockingTest, SecretsAreUnreadableInTheFile) {
  TStoreFolder Folder;
  TVariant::TBytes KeyBeforePassword;
  {
    TPelStore Store(Folder.File());
    StoreSecrets(Store);
  }
  ExpectNoSecretIn(StoreFiles(Folder));
  KeyBeforePassword = RawDataKey(Folder.File());
  ASSERT_EQ(KeyBeforePassword.size(), 32u);
  {
    TPelStore Store(Folder.File());
    Store.SetMasterPassword(u"", u"correct horse", Cheap);
    EXPECT_TRUE(Store.HasMasterPassword());
  }
  const TVariant::TBytes Locked = StoreFiles(Folder);
  ExpectNoSecretIn(Locked);
  EXPECT_FALSE(Contains(Locked, KeyBeforePassword));
  EXPECT_FALSE(Contains(Locked, Utf16(u"correct horse")));
  EXPECT_FALSE(Contains(Locked, Narrow(u"correct horse")));

  TPelStore Store(Folder.File());
  Store.Login(u"correct horse");
  bool Login = true;
  EXPECT_EQ(MailOf(Store, Login), MailWithSecret);
}

// Someone who read the clear data key before the password was set and puts it back in the file
// (or simply keeps it) must find the values sealed since then closed to it: setting a password
// seals everything under a key of its own.
TEST(LockingTest, KeyReadBeforeThePasswordOpensNoValueSealedAfterIt) {
  TStoreFolder Folder;
  {
    TPelStore Store(Folder.File());
    StoreSecrets(Store);
  }
  const TVariant::TBytes KeyBeforePassword = RawDataKey(Folder.File());
  ASSERT_EQ(KeyBeforePassword.size(), 32u);
  {
    TPelStore Store(Folder.File());
    Store.SetMasterPassword(u"", u"correct horse", Cheap);
  }
  const store::TKey KeyAfterPassword = PasswordDataKey(Folder.File(), u"correct horse");
  ASSERT_TRUE(KeyAfterPassword);
  EXPECT_FALSE(std::equal(KeyBeforePassword.begin(), KeyBeforePassword.end(), KeyAfterPassword->Data()))
      << "setting the password kept the data key";

  std::string PutOldKeyBack = "UPDATE keyring SET salt = NULL, ops_limit = 0, mem_limit = 0, data_key = X'";
  for (uint8_t Byte : KeyBeforePassword) {
    PutOldKeyBack += "0123456789abcdef"[Byte >> 4];
    PutOldKeyBack += "0123456789abcdef"[Byte & 15];
  }
  PutOldKeyBack += "' WHERE id = 1";
  RunSql(Folder.File(), PutOldKeyBack.c_str());

  TPelStore Store(Folder.File());
  ASSERT_TRUE(Store.GetLoggedIn()) << "the old key was not taken as the file's clear key";
  bool Login = false;
  try {
    const WideString Mail = MailOf(Store, Login);
    ADD_FAILURE() << "a value sealed after the password was set opened with the old key: " << WideToAnsi(Mail);
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
  }
  TVariant Data;
  try {
    Store.GetRecord(rkAuthentication, u"example.com", u"me", u"", Data, Login);
    EXPECT_NE(Data.IsEmptyOrNull() ? TVariant::TBytes{} : Data.AsBytes(), SecretRecord)
        << "a record sealed after the password was set opened with the old key";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
  }
}

TEST(LockingTest, LockedStoreAnswersLoginRequiredAndRevealsNothing) {
  TStoreFolder Folder;
  {
    TPelStore Store(Folder.File());
    StoreSecrets(Store);
    Store.SetMasterPassword(u"", u"pw", Cheap);
  }
  TPelStore Store(Folder.File());
  ASSERT_FALSE(Store.GetLoggedIn());

  bool Login = false;
  EXPECT_EQ(MailOf(Store, Login), u";");
  EXPECT_TRUE(Login);
  // A name lookup and the add-on's probe with an empty name both ask for the password.
  {
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = true;
    Login = false;
    Store.FindFieldValue(u"", u"input", u"text", u"user_email", u"", Field, Kind, Value, Values, Found, Login);
    EXPECT_TRUE(Login);
    EXPECT_FALSE(Found);
    EXPECT_EQ(Field, u"");
    EXPECT_EQ(Value, u"");
  }
  TVariant Fields, Data;
  Login = false;
  Store.GetProfileFields(Fields, Login);
  EXPECT_TRUE(Login);
  EXPECT_TRUE(Fields.IsEmptyOrNull());
  Login = false;
  Store.GetFormCard(u"example.com/login", u"Work", u"", Data, Login);
  EXPECT_TRUE(Login);
  EXPECT_TRUE(Data.IsEmptyOrNull());
  Login = false;
  Store.GetRecord(rkAuthentication, u"example.com", u"me", u"", Data, Login);
  EXPECT_TRUE(Login);
  EXPECT_TRUE(Data.IsEmptyOrNull());

  // Writes and deletes are refused until login; nothing changes.
  bool Saved = true;
  Login = false;
  Store.SaveFormCard(u"example.com/login", u"Other", u"", LoginFormSet(u"x"), Saved, Login);
  EXPECT_TRUE(Login);
  EXPECT_FALSE(Saved);
  Saved = true;
  Login = false;
  Store.SaveRecord(rkAuthentication, u"example.com", u"me", u"", TVariant(TVariant::TBytes{1}), Saved, Login);
  EXPECT_TRUE(Login);
  EXPECT_FALSE(Saved);
  Login = false;
  Store.DeleteRecord(u"example.com/login", u"Work", Login);
  EXPECT_TRUE(Login);
  Login = false;
  Store.AddFieldValue(u"", u"E-mail", u"new@example.org", Login);
  EXPECT_TRUE(Login);
  EXPECT_THROW(Store.AddAllValues(u"United States\r\nFrance"), EOleException);

  // Calls without the flag cannot compare sealed data: nothing is found, nothing raised.
  WideString Name = u"x";
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(SecretCardNote), Name);
  EXPECT_EQ(Name, u"");
  Name = u"x";
  Store.FindRecord(rkAuthentication, u"example.com", TVariant(SecretRecord), Name);
  EXPECT_EQ(Name, u"");
  // The page's own cards are listed by name, so the user can pick one and then log in.
  TVariant Cards;
  WideString SetName;
  bool Matched = false;
  Store.FindFormCards(u"example.com/login", LoginFormSet(u""), Cards, SetName, Name, Matched);
  EXPECT_EQ(VariantToPairs(Cards), (TNamePairs{{u"example.com/login", u"Work"}}));

  Store.Login(u"pw");
  Login = true;
  EXPECT_EQ(MailOf(Store, Login), MailWithSecret);
  EXPECT_FALSE(Login);
  Store.GetRecord(rkAuthentication, u"example.com", u"me", u"", Data, Login);
  EXPECT_EQ(Data.AsBytes(), SecretRecord);
  Store.FindSavedFormCard(u"example.com/login", LoginFormSet(SecretCardNote), Name);
  EXPECT_EQ(Name, u"Work");  // the locked delete removed nothing
}

TEST(LockingTest, WrongPasswordFailsRightOneUnlocksAndEventsTellEveryWindow) {
  TStoreFolder Folder;
  { TPelStore(Folder.File()).SetMasterPassword(u"", u"Geheim-42", Cheap); }
  auto Store = std::make_shared<TPelStore>(Folder.File());
  std::vector<bool> Logins;
  TBrivaneLibIPelServerEvents Sink;
  Sink.OnLogin = [&](TEventSink*, bool Value) { Logins.push_back(Value); };
  Sink.Connect(Store);

  for (const WideString& Wrong : {WideString(u""), WideString(u"geheim-42"), WideString(u"Geheim-42 ")}) {
    try {
      Store->Login(Wrong);
      ADD_FAILURE() << "accepted " << WideToAnsi(Wrong);
    } catch (const EOleException& E) {
      EXPECT_EQ(E.ErrorCode, HR_E_ACCESSDENIED);
      EXPECT_NE(E.Message().find("not right"), AnsiString::npos) << E.Message();
    }
    EXPECT_FALSE(Store->GetLoggedIn());
  }
  EXPECT_TRUE(Logins.empty());

  Store->Login(u"Geheim-42");
  EXPECT_TRUE(Store->GetLoggedIn());
  Store->Login(u"Geheim-42");  // already open: no second event
  Store->Logout();
  EXPECT_FALSE(Store->GetLoggedIn());
  Store->Logout();
  EXPECT_EQ(Logins, (std::vector<bool>{true, false}));
  Sink.Disconnect();
}

TEST(LockingTest, PasswordChangesNeedTheCurrentOneAndKeepTheData) {
  TStoreFolder Folder;
  {
    TPelStore Store(Folder.File());
    StoreSecrets(Store);
    Store.SetMasterPassword(u"", u"first", Cheap);
    EXPECT_THROW(Store.SetMasterPassword(u"wrong", u"second", Cheap), EOleException);
    Store.SetMasterPassword(u"first", u"second", Cheap);
  }
  {
    TPelStore Store(Folder.File());
    EXPECT_THROW(Store.Login(u"first"), EOleException);
    Store.Login(u"second");
    bool Login = true;
    EXPECT_EQ(MailOf(Store, Login), MailWithSecret);
    // Removing the password needs it too.
    EXPECT_THROW(Store.SetMasterPassword(u"first", u"", Cheap), EOleException);
    Store.SetMasterPassword(u"second", u"", Cheap);
  }
  TPelStore Store(Folder.File());
  EXPECT_FALSE(Store.HasMasterPassword());
  EXPECT_TRUE(Store.GetLoggedIn());
  TVariant Data;
  bool Login = true;
  Store.GetRecord(rkAuthentication, u"example.com", u"me", u"", Data, Login);
  EXPECT_EQ(Data.AsBytes(), SecretRecord);
  ExpectNoSecretIn(StoreFiles(Folder));
}

// Windows read on their own threads while another logs in and out: each answer is either the
// value or LoginRequired with nothing, never an error or a value half unlocked.
TEST(LockingTest, ReadersOnOtherThreadsSeeLockedOrOpenNeverBetween) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  StoreSecrets(Store);
  Store.SetMasterPassword(u"", u"pw", Cheap);
  std::atomic<bool> Done = false;
  std::atomic<int> Open = 0, Locked = 0, Wrong = 0;
  std::vector<std::thread> Windows;
  for (int W = 0; W < 3; ++W)
    Windows.emplace_back([&] {
      while (!Done) {
        try {
          bool Login = false;
          const WideString Mail = MailOf(Store, Login);
          if (Login ? Mail == u";" : Mail == MailWithSecret)
            ++(Login ? Locked : Open);
          else
            ++Wrong;
        } catch (...) {
          ++Wrong;
        }
      }
    });
  // The readers must read while the key comes and goes: on a busy machine they may not have been
  // scheduled at all by the time twenty changes are done, so the changes go on until they have.
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  for (int I = 0; I < 20 || (Open + Locked + Wrong < 60 && std::chrono::steady_clock::now() < Deadline); ++I) {
    Store.Logout();
    Store.Login(u"pw");
  }
  Done = true;
  for (std::thread& T : Windows) T.join();
  EXPECT_EQ(Wrong, 0);
  EXPECT_GT(Open + Locked, 0);
}

// The host's tool may set the password on the file while the running store holds the old key:
// the store must not go on sealing with a key nobody else has.
TEST(LockingTest, PasswordSetByAnotherStoreOnTheFileLocksThisOne) {
  TStoreFolder Folder;
  TPelStore Running(Folder.File());
  StoreSecrets(Running);
  {
    TPelStore Tool(Folder.File());
    Tool.SetMasterPassword(u"", u"pw", Cheap);
  }
  EXPECT_FALSE(Running.GetLoggedIn());
  bool Login = false;
  Running.AddFieldValue(u"", u"City", u"Written with a stale key", Login);
  EXPECT_TRUE(Login);
  Running.Login(u"pw");
  Running.AddFieldValue(u"", u"City", u"Lyon", Login);
  EXPECT_FALSE(Login);

  TPelStore Reader(Folder.File());
  Reader.Login(u"pw");
  WideString Field = u"City", Value, Values;
  int32_t Kind = -1;
  bool Found = false;
  Reader.FindFieldValue(u"", u"", u"", u"", u"", Field, Kind, Value, Values, Found, Login);
  EXPECT_EQ(Values, u"Lyon");
  EXPECT_EQ(MailOf(Reader, Login), MailWithSecret);
}

// Once with the cost a real store uses, so that the stored cost is one Login can pay.
TEST(LockingTest, InteractiveCostLocksAndUnlocks) {
  TStoreFolder Folder;
  { TPelStore(Folder.File()).SetMasterPassword(u"", u"pw"); }
  TPelStore Store(Folder.File());
  EXPECT_FALSE(Store.GetLoggedIn());
  EXPECT_THROW(Store.Login(u"pW"), EOleException);
  Store.Login(u"pw");
  EXPECT_TRUE(Store.GetLoggedIn());
}

// A sealed value names its row: moved into another row it is reported, never taken for that row's.
TEST(LockingTest, ValueMovedToAnotherRowIsReportedAsDamage) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  RunSql(Folder.File(),
         "UPDATE profile_value SET data = (SELECT data FROM profile_value v JOIN field f ON f.id = v.field_id"
         " WHERE f.name = 'Password') WHERE field_id = (SELECT id FROM field WHERE name = 'E-mail')");
  TPelStore Store(Folder.File());
  bool Login = false;
  try {
    MailOf(Store, Login);
    FAIL() << "a moved value was opened";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
  }
}

// A value's kind says how a page applies it: changed in the file, the value no longer opens.
TEST(LockingTest, ValueKindChangedInTheFileIsReportedAsDamage) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  RunSql(Folder.File(), "UPDATE profile_value SET value_kind = 5 WHERE field_id = (SELECT id FROM field WHERE name = 'E-mail')");
  TPelStore Store(Folder.File());
  bool Login = false;
  try {
    MailOf(Store, Login);
    FAIL() << "a value with a changed kind was opened";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
  }
}

TVariant::TBytes TagOf(std::initializer_list<WideString> Parts) {
  TMemoryStream S;
  for (const WideString& Part : Parts) WriteWideString(S, Part);
  return S.Bytes();
}

// Turns the file back into what version 4 wrote: profile values sealed without their kind.
void SealValuesAsVersion4(const std::string& File, const store::TSecretKey& Key) {
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open(File.c_str(), &Db), SQLITE_OK);
  sqlite3_stmt* Q = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(Db, "SELECT profile_id, field_id, value_kind, data FROM profile_value", -1, &Q, nullptr),
            SQLITE_OK);
  std::vector<std::tuple<int64_t, int64_t, TVariant::TBytes>> Rows;
  while (sqlite3_step(Q) == SQLITE_ROW) {
    const auto Number = [&](int C) { return AsciiToWide(IntToStr(sqlite3_column_int64(Q, C))); };
    const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(Q, 3));
    TVariant::TBytes Plain;
    ASSERT_TRUE(store::Open(Key, TVariant::TBytes(Data, Data + sqlite3_column_bytes(Q, 3)),
                            TagOf({u"profile_value", Number(0), Number(1), Number(2)}), Plain));
    Rows.emplace_back(sqlite3_column_int64(Q, 0), sqlite3_column_int64(Q, 1),
                      store::Seal(Key, Plain, TagOf({u"profile_value", Number(0), Number(1)})));
  }
  sqlite3_finalize(Q);
  ASSERT_EQ(sqlite3_prepare_v2(Db, "UPDATE profile_value SET data = ? WHERE profile_id = ? AND field_id = ?", -1, &Q,
                               nullptr),
            SQLITE_OK);
  for (const auto& [Profile, Field, Data] : Rows) {
    sqlite3_bind_blob(Q, 1, Data.data(), static_cast<int>(Data.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(Q, 2, Profile);
    sqlite3_bind_int64(Q, 3, Field);
    EXPECT_EQ(sqlite3_step(Q), SQLITE_DONE);
    sqlite3_reset(Q);
  }
  sqlite3_finalize(Q);
  EXPECT_EQ(sqlite3_exec(Db, "UPDATE schema_version SET version = 4", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(Db);
}

// Values a version 4 file sealed without their kind are sealed again with it, under a new data key
// (on open, or with a master password at the first Login), and then a changed kind shows.
TEST(LockingTest, Version4ValuesAreSealedAgainWithTheirKind) {
  for (const WideString& Password : {WideString(), WideString(u"pw")}) {
    TStoreFolder Folder;
    {
      TPelStore Store(Folder.File());
      StoreSecrets(Store);
      if (!Password.empty()) Store.SetMasterPassword(u"", Password, Cheap);
    }
    store::TKey Key;
    if (Password.empty()) {
      const TVariant::TBytes Raw = RawDataKey(Folder.File());
      Key = store::KeyFromBytes(Raw.data(), Raw.size());
    } else {
      sqlite3* Db = nullptr;
      ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
      sqlite3_stmt* Q = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(Db, "SELECT salt, ops_limit, mem_limit, data_key FROM keyring", -1, &Q, nullptr),
                SQLITE_OK);
      ASSERT_EQ(sqlite3_step(Q), SQLITE_ROW);
      const auto Column = [&](int C) {
        const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(Q, C));
        return TVariant::TBytes(Data, Data + sqlite3_column_bytes(Q, C));
      };
      const store::TKey PasswordKey = store::DeriveKey(Password, Column(0), Cheap);
      Key = store::OpenKey(*PasswordKey, Column(3), store::KeyringAssociatedData());
      sqlite3_finalize(Q);
      sqlite3_close(Db);
    }
    ASSERT_TRUE(Key);
    SealValuesAsVersion4(Folder.File(), *Key);
    {
      TPelStore Store(Folder.File());
      EXPECT_EQ(Store.SchemaVersion(), store::StoreSchemaVersion);
      if (!Password.empty()) Store.Login(Password);
      bool Login = true;
      EXPECT_EQ(MailOf(Store, Login), MailWithSecret);
    }
    {
      TPelStore Store(Folder.File());
      if (!Password.empty()) Store.Login(Password);
      bool Login = true;
      EXPECT_EQ(MailOf(Store, Login), MailWithSecret) << "after the values were sealed again";
    }
    RunSql(Folder.File(),
           "UPDATE profile_value SET value_kind = 4 WHERE field_id = (SELECT id FROM field WHERE name = 'E-mail')");
    TPelStore Store(Folder.File());
    if (!Password.empty()) Store.Login(Password);
    bool Login = true;
    EXPECT_THROW(MailOf(Store, Login), EOleException);
  }
}

// The cost is read from the file: one no desktop could pay is refused before any memory is taken.
TEST(LockingTest, DamagedPasswordCostIsRefused) {
  TStoreFolder Folder;
  { TPelStore(Folder.File()).SetMasterPassword(u"", u"pw", Cheap); }
  RunSql(Folder.File(), "UPDATE keyring SET mem_limit = 1099511627776");
  TPelStore Store(Folder.File());
  try {
    Store.Login(u"pw");
    FAIL() << "a damaged cost was used";
  } catch (const EOleException& E) {
    EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
  }
  EXPECT_FALSE(Store.GetLoggedIn());
  EXPECT_THROW(TPelStore(Folder.File()).SetMasterPassword(u"", u"pw", TKeyCost{1, 1}), EOleException);
}

// The add-on hands over every option of a select; the store keeps them as the choices of the field
// whose values they include.
TEST(LockingTest, AllValuesBecomeChoicesOfTheFieldTheyBelongTo) {
  TStoreFolder Folder;
  auto Store = std::make_shared<TPelStore>(Folder.File());
  int Changes = 0;
  TBrivaneLibIPelServerEvents Sink;
  Sink.OnDatabaseChange = [&](TEventSink*) { ++Changes; };
  Sink.Connect(Store);

  Store->AddAllValues(u"Choose...\r\n  France \r\n\r\nUSA\r\ngermany\r\nFrance\nJapan");
  bool Login = true;
  EXPECT_EQ(Store->GetFieldChoices(u"Country", Login), u"Choose...,France,USA,germany,Japan");
  EXPECT_FALSE(Login);
  // A second list adds only what is new, whatever its case.
  Store->AddAllValues(u"FRANCE\r\nItaly\r\n");
  EXPECT_EQ(Store->GetFieldChoices(u"Country", Login), u"Choose...,France,USA,germany,Japan,Italy");
  Store->AddAllValues(u"Italy");
  EXPECT_EQ(Changes, 2);
  // Titles are not countries: "Male" is the sample gender.
  Store->AddAllValues(u"Male\r\nFemale");
  EXPECT_EQ(Store->GetFieldChoices(u"Gender", Login), u"Male,Female");

  for (const char16_t* Refused : {u"", u" \r\n\t", u"Mars\r\nVenus"}) EXPECT_THROW(Store->AddAllValues(Refused), EOleException);
  EXPECT_THROW(Store->GetFieldChoices(u"Shoe size", Login), EOleException);
  Sink.Disconnect();
  Store->SetMasterPassword(u"", u"pw", Cheap);
  Store->Logout();
  EXPECT_EQ(Store->GetFieldChoices(u"Country", Login), u"");
  EXPECT_TRUE(Login);
  Store->Login(u"pw");
  EXPECT_EQ(Store->GetFieldChoices(u"Country", Login), u"Choose...,France,USA,germany,Japan,Italy");
}

// One window's lookup, held in the middle of recognising its name, does not keep other windows
// waiting: their calls are served meanwhile.
TEST(LockingTest, OtherCallersAreServedWhileALookupRecognises) {
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  std::promise<void> Entered, Release;
  std::shared_future<void> Released = Release.get_future().share();
  std::atomic<bool> First{true};
  TPelStore::BeforeRecognition = [&] {
    if (!First.exchange(false)) return;
    Entered.set_value();
    Released.wait();
  };
  std::thread Lookup([&] {
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false, Login = false;
    Store.FindFieldValue(u"", u"input", u"text", u"Your city of residence please", u"", Field, Kind, Value, Values,
                         Found, Login);
  });
  Entered.get_future().wait();
  // Another window's calls, a read and a write, while the lookup is held.
  auto Other = std::async(std::launch::async, [&] {
    TVariant Profiles;
    WideString Current;
    Store.GetProfiles(Profiles, Current);
    bool Handled = false;
    Store.SetSettings(u"other.example", 3, false, false, Handled);
    return Current;
  });
  // Generous: this only keeps a broken store from hanging the test; served means at once.
  const bool Served = Other.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  Release.set_value();
  Lookup.join();
  TPelStore::BeforeRecognition = nullptr;
  EXPECT_TRUE(Served) << "another window waited for a lookup's recognition";
  if (Served) {
    EXPECT_FALSE(Other.get().empty());
  }
}

// A lookup answers from the profile as it found it, unless the key changes while it recognises:
// the values it read are then sealed with a key the store no longer holds. A new password seals
// every value anew, and logging out leaves nothing to open them with.
TEST(LockingTest, ALookupWhoseKeyChangesWhileItRecognisesReadsWithTheNewKey) {
  struct TCase {
    const char* Name;
    std::function<void(TPelStore&)> Meanwhile;
    bool LoginRequired;
    WideString Mail;
  };
  const TCase Cases[] = {
      {"nothing", [](TPelStore&) {}, false, SecretMail},
      {"password set", [](TPelStore& S) { S.SetMasterPassword(u"", u"pw", Cheap); }, false, SecretMail},
      {"logged out",
       [](TPelStore& S) {
         S.SetMasterPassword(u"", u"pw", Cheap);
         S.Logout();
       },
       true, u""},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Name);
    TStoreFolder Folder;
    TPelStore Store(Folder.File());
    bool Login = false;
    Store.AddFieldValue(u"", u"E-mail", SecretMail, Login);
    bool First = true;
    TPelStore::BeforeRecognition = [&] {
      if (std::exchange(First, false)) C.Meanwhile(Store);
    };
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false;
    Login = false;
    EXPECT_NO_THROW(Store.FindFieldValue(u"", u"input", u"text", u"E-mail address", u"", Field, Kind, Value, Values,
                                         Found, Login));
    TPelStore::BeforeRecognition = nullptr;
    EXPECT_EQ(Login, C.LoginRequired);
    EXPECT_EQ(Found, !C.LoginRequired);
    EXPECT_EQ(Values, C.Mail);
    if (!C.LoginRequired) {
      EXPECT_EQ(Field, u"E-mail");
    }
  }
}

}  // namespace
}  // namespace pel::test
