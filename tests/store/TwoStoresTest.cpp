#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "StoreTestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::test {
namespace {

using store::TPelStore;

// Runs Work in a child process of its own, as a second store process on the same file would.
// The child's exit status says whether Work ran through without an exception.
pid_t RunChild(const std::function<void()>& Work) {
  const pid_t Child = fork();
  if (Child == 0) {
    int Code = 0;
    try {
      Work();
    } catch (...) {
      Code = 1;
    }
    _exit(Code);
  }
  return Child;
}

bool ExitedCleanly(pid_t Child) {
  int Status = 0;
  waitpid(Child, &Status, 0);
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0;
}

// Two store processes teach the same field at once: every choice of both lands.
TEST(TwoStoresTest, ChoicesAddedByTwoProcessesAtOnceAllLand) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  constexpr int Each = 150;
  std::vector<pid_t> Children;
  for (int P = 0; P < 2; ++P)
    Children.push_back(RunChild([&, P] {
      TPelStore Store(Folder.File());
      for (int I = 0; I < Each; ++I) {
        AnsiString Tag = "p";
        Tag += IntToStr(P) + "-" + IntToStr(I);
        Store.AddAllValues(u"United States\r\n" + AsciiToWide(Tag));
      }
    }));
  ASSERT_GT(Children[0], 0);
  ASSERT_GT(Children[1], 0);
  for (pid_t Child : Children) EXPECT_TRUE(ExitedCleanly(Child));

  TPelStore Store(Folder.File());
  bool Login = false;
  TWideStringList Choices;
  Choices.SetCommaText(Store.GetFieldChoices(u"Country", Login));
  EXPECT_EQ(Choices.Count(), 1 + 2 * Each);
  int Lost = 0;
  for (int P = 0; P < 2; ++P)
    for (int I = 0; I < Each; ++I) {
      AnsiString Tag = "p";
      Tag += IntToStr(P) + "-" + IntToStr(I);
      Lost += Choices.IndexOf(AsciiToWide(Tag)) < 0;
    }
  EXPECT_EQ(Lost, 0);
}

// Two processes that find no store both build one: one is linked into place, the other opens it,
// and what each wrote is there.
TEST(TwoStoresTest, TwoProcessesCreatingTheStoreAtOnceShareOne) {
  for (int Round = 0; Round < 3; ++Round) {
    TStoreFolder Folder;
    std::vector<pid_t> Children;
    for (int P = 0; P < 2; ++P)
      Children.push_back(RunChild([&, P] {
        TPelStore Store(Folder.File());
        bool Handled = false;
        Store.SetSettings(AsciiToWide("site" + IntToStr(P)), P + 1, false, false, Handled);
      }));
    for (pid_t Child : Children) EXPECT_TRUE(ExitedCleanly(Child));
    TPelStore Store(Folder.File());
    for (int P = 0; P < 2; ++P) {
      int32_t Flags = 0;
      bool Found = false;
      Store.GetSettings(AsciiToWide("site" + IntToStr(P)), Flags, Found);
      EXPECT_TRUE(Found);
      EXPECT_EQ(Flags, P + 1);
    }
  }
}

std::string FileText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// The clear data key of a store without a master password.
std::string ClearKey(const std::string& File) {
  sqlite3* Db = nullptr;
  EXPECT_EQ(sqlite3_open(File.c_str(), &Db), SQLITE_OK);
  sqlite3_stmt* Q = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(Db, "SELECT data_key FROM keyring WHERE salt IS NULL", -1, &Q, nullptr), SQLITE_OK);
  std::string Key;
  if (sqlite3_step(Q) == SQLITE_ROW)
    Key.assign(static_cast<const char*>(sqlite3_column_blob(Q, 0)), static_cast<size_t>(sqlite3_column_bytes(Q, 0)));
  sqlite3_finalize(Q);
  sqlite3_close(Db);
  return Key;
}

bool AnyFileHolds(const std::string& File, const std::string& Bytes) {
  for (const char* Suffix : {"", "-wal"})
    if (FileText(File + Suffix).find(Bytes) != std::string::npos) return true;
  return false;
}

// Another process that reads the store file and holds its read open until told to stop, as a
// second store or a backup tool would.
struct TReader {
  pid_t Child = -1;
  int Stop[2] = {-1, -1};
  explicit TReader(const std::string& File) {
    int Ready[2];
    EXPECT_EQ(pipe(Ready), 0);
    EXPECT_EQ(pipe(Stop), 0);
    Child = fork();
    if (Child == 0) {
      sqlite3* Db = nullptr;
      sqlite3_open(File.c_str(), &Db);
      sqlite3_exec(Db, "BEGIN; SELECT count(*) FROM profile_value;", nullptr, nullptr, nullptr);
      char C = '!';
      if (write(Ready[1], &C, 1) != 1 || read(Stop[0], &C, 1) != 1) _exit(1);
      sqlite3_exec(Db, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(Db);
      _exit(0);
    }
    char C = 0;
    EXPECT_EQ(read(Ready[0], &C, 1), 1);
    close(Ready[0]);
    close(Ready[1]);
  }
  void Finish() {
    if (Child <= 0) return;
    EXPECT_EQ(write(Stop[1], "!", 1), 1);
    EXPECT_TRUE(ExitedCleanly(Child));
    Child = -1;
  }
  // Killed too, so that no connection closes cleanly and folds the log in on its way out.
  void Kill() {
    if (Child <= 0) return;
    kill(Child, SIGKILL);
    waitpid(Child, nullptr, 0);
    Child = -1;
  }
  ~TReader() {
    Finish();
    close(Stop[0]);
    close(Stop[1]);
  }
};

// A reader elsewhere keeps the log from being emptied: setting the password then says that the
// old key is still there instead of returning as if done, and the next open removes it.
TEST(TwoStoresTest, PasswordSetWhileAnotherProcessReadsFailsLoudlyAndNextOpenWipes) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  const std::string OldKey = ClearKey(Folder.File());
  ASSERT_EQ(OldKey.size(), 32u);
  {
    TReader Reader(Folder.File());
    TPelStore Store(Folder.File());
    EXPECT_THROW(Store.SetMasterPassword(u"", u"pw", store::TKeyCost::Minimal()), EOleException);
    EXPECT_TRUE(Store.HasMasterPassword());
    Reader.Finish();
    EXPECT_TRUE(AnyFileHolds(Folder.File(), OldKey)) << "nothing was left to wipe: the test proves nothing";
  }
  TPelStore Store(Folder.File());
  EXPECT_FALSE(AnyFileHolds(Folder.File(), OldKey));
  Store.Login(u"pw");
  EXPECT_TRUE(Store.GetLoggedIn());
}

// The store process is killed after the password change committed, while it waits to empty the
// log: the next open finishes the job.
TEST(TwoStoresTest, KilledAfterPasswordChangeCommittedNextOpenWipesOldKey) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  const std::string OldKey = ClearKey(Folder.File());
  ASSERT_EQ(OldKey.size(), 32u);
  {
    TReader Reader(Folder.File());
    // The writer says when it starts to wait for the log after the change committed, and stays
    // there until it is killed: the kill lands inside the wait whatever the machine's load.
    int Inside[2];
    ASSERT_EQ(pipe(Inside), 0);
    const pid_t Writer = RunChild([&] {
      close(Inside[0]);
      TPelStore Store(Folder.File());
      TPelStore::BeforeWipeWait = [&] {
        const char Byte = 1;
        if (write(Inside[1], &Byte, 1) != 1) _exit(2);
        for (;;) pause();
      };
      Store.SetMasterPassword(u"", u"pw", store::TKeyCost::Minimal());
    });
    ASSERT_GT(Writer, 0);
    close(Inside[1]);
    char Byte = 0;
    // Zero bytes (end of file) means the writer ended without reaching the wait.
    const bool Reached = read(Inside[0], &Byte, 1) == 1;
    close(Inside[0]);
    // The change is visible to others, i.e. committed.
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
    sqlite3_busy_timeout(Db, 1000);
    bool Committed = false;
    sqlite3_stmt* Q = nullptr;
    if (sqlite3_prepare_v2(Db, "SELECT salt IS NOT NULL FROM keyring", -1, &Q, nullptr) == SQLITE_OK &&
        sqlite3_step(Q) == SQLITE_ROW)
      Committed = sqlite3_column_int(Q, 0) != 0;
    sqlite3_finalize(Q);
    sqlite3_close(Db);
    kill(Writer, SIGKILL);
    int Status = 0;
    waitpid(Writer, &Status, 0);
    ASSERT_TRUE(Reached) << "the writer never started to wait for the log";
    ASSERT_TRUE(Committed) << "the password change never committed";
    ASSERT_TRUE(WIFSIGNALED(Status)) << "the writer finished before the kill";
    Reader.Kill();
    EXPECT_TRUE(AnyFileHolds(Folder.File(), OldKey)) << "nothing was left to wipe: the test proves nothing";
  }
  TPelStore Store(Folder.File());
  EXPECT_FALSE(AnyFileHolds(Folder.File(), OldKey));
  EXPECT_TRUE(Store.HasMasterPassword());
}

// A running store answers lookups from what it read before; the host's tool changing the active
// profile, or a value of it, on the same file must be seen by the very next lookup.
TEST(TwoStoresTest, LookupsFollowAProfileSwitchAndValuesWrittenByAnotherStore) {
  TStoreFolder Folder;
  TPelStore Running(Folder.File());
  bool Login = false;
  Running.SetFieldValue(u"", u"City", u"Lyon", Login);
  auto CityOf = [&](TPelStore& Store) {
    WideString Field = u"City", Value, Values;
    int32_t Kind = -1;
    bool Found = false, LoginRequired = false;
    Store.FindFieldValue(u"", u"", u"", u"", u"", Field, Kind, Value, Values, Found, LoginRequired);
    EXPECT_FALSE(LoginRequired);
    return Found ? Value : WideString(u"(none)");
  };
  ASSERT_EQ(CityOf(Running), u"Lyon");
  TVariant Profiles;
  WideString First;
  Running.GetProfiles(Profiles, First);
  {
    TPelStore Tool(Folder.File());
    Tool.AddProfile(u"Travel");
    Tool.SetActiveProfile(u"Travel");
  }
  EXPECT_EQ(CityOf(Running), u"(none)");
  {
    TPelStore Tool(Folder.File());
    Tool.SetFieldValue(u"", u"City", u"Oslo", Login);
  }
  EXPECT_EQ(CityOf(Running), u"Oslo");
  // And this store's own switch back.
  Running.SetActiveProfile(First);
  EXPECT_EQ(CityOf(Running), u"Lyon");
}

}  // namespace
}  // namespace pel::test
