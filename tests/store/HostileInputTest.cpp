#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "Common/StoreStreams.h"
#include "StoreTestSupport.h"
#include "platform/Exceptions.h"

namespace pel::test {
namespace {

using store::TPelStore;

// Page text may hold lone surrogates anywhere: a high one before an ordinary letter, a low one
// alone, one at the end. Each name must come back exactly and find what it names.
TEST(HostileInputTest, NamesWithLoneSurrogatesRoundTripAndFindTheirData) {
  const WideString CardName = WideString(u"Card ") + char16_t(0xD800) + u"b" + char16_t(0xDC00) + u"x";
  const WideString RecordName = WideString(u"me") + char16_t(0xDBFF);
  const WideString SetName = WideString(u"example.com/") + char16_t(0xDFFF);
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Saved = false, Login = false;
  Store.SaveFormCard(SetName, CardName, u"", LoginFormSet(CardName), Saved, Login);
  ASSERT_TRUE(Saved);
  const TVariant Record(TVariant::TBytes{1, 2, 3});
  Store.SaveRecord(rkAuthentication, SetName, RecordName, u"", Record, Saved, Login);
  ASSERT_TRUE(Saved);

  TVariant Cards;
  WideString Set, Name;
  bool Matched = false;
  Store.FindFormCards(SetName, TVariant(), Cards, Set, Name, Matched);
  EXPECT_EQ(VariantToPairs(Cards), (TNamePairs{{SetName, CardName}}));
  TVariant List;
  WideString Current;
  Store.GetRecordList(rkAuthentication, SetName, List, Current);
  EXPECT_EQ(VariantToPairs(List), (TNamePairs{{SetName, RecordName}}));

  TVariant Data;
  Store.GetFormCard(SetName, CardName, u"", Data, Login);
  EXPECT_FALSE(Data.IsEmptyOrNull());
  Store.FindSavedFormCard(SetName, LoginFormSet(CardName), Name);
  EXPECT_EQ(Name, CardName);
  Store.FindRecord(rkAuthentication, SetName, Record, Name);
  EXPECT_EQ(Name, RecordName);
  // Other pages compare against the card, and every secret is sealed again under a new key.
  EXPECT_NO_THROW(Store.FindFormCards(u"other.org", LoginFormSet(CardName), Cards, Set, Name, Matched));
  EXPECT_NO_THROW(Store.SetMasterPassword(u"", u"pw", store::TKeyCost::Minimal()));

  Store.DeleteRecord(SetName, CardName, Login);
  Store.DeleteRecord(SetName, RecordName, Login);
  Store.FindFormCards(SetName, TVariant(), Cards, Set, Name, Matched);
  EXPECT_FALSE(Matched);
  Store.GetRecordList(rkAuthentication, SetName, List, Current);
  EXPECT_TRUE(VariantToPairs(List).empty());
}

// Earlier builds let SQLite convert such names, which joined a lone high surrogate with the next
// character. The card listed under what the file now holds must be found by that name and deleted.
TEST(HostileInputTest, CardStoredUnderAConvertedNameCanBeDeletedByItsListedName) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  {
    sqlite3* Db = nullptr;
    ASSERT_EQ(sqlite3_open(Folder.File().c_str(), &Db), SQLITE_OK);
    sqlite3_stmt* Q = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(Db, "INSERT INTO item(kind, set_name, name, url, data) VALUES(0, 'old.org', ?, '', x'00')",
                                 -1, &Q, nullptr),
              SQLITE_OK);
    const char16_t Old[] = {u'A', 0xD800, u'b', 0xDC00};
    sqlite3_bind_text16(Q, 1, Old, sizeof Old, SQLITE_STATIC);
    EXPECT_EQ(sqlite3_step(Q), SQLITE_DONE);
    sqlite3_finalize(Q);
    sqlite3_close(Db);
  }
  TPelStore Store(Folder.File());
  TVariant Cards;
  WideString Set, Name;
  bool Matched = false, Login = false;
  Store.FindFormCards(u"old.org", TVariant(), Cards, Set, Name, Matched);
  const TNamePairs Listed = VariantToPairs(Cards);
  ASSERT_EQ(Listed.size(), 1u);
  Store.DeleteRecord(u"old.org", Listed[0].Name, Login);
  Store.FindFormCards(u"old.org", TVariant(), Cards, Set, Name, Matched);
  EXPECT_FALSE(Matched);
  // Nothing left that another page's lookup could trip over.
  EXPECT_NO_THROW(Store.FindFormCards(u"new.org", LoginFormSet(u""), Cards, Set, Name, Matched));
}

std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
}

// A store file cut short is damage, not a missing store: it is refused and left for recovery,
// never replaced by a fresh store.
TEST(HostileInputTest, StoreFileCutShortIsRefusedAndLeftAsItIs) {
  TStoreFolder Folder;
  { TPelStore Store(Folder.File()); }
  const std::string Whole = ReadAll(Folder.File());
  ASSERT_GT(Whole.size(), 100u);
  for (size_t Size : {0, 1, 99}) {
    std::filesystem::remove(Folder.File() + "-wal");
    std::filesystem::remove(Folder.File() + "-shm");
    {
      std::ofstream Out(Folder.File(), std::ios::binary | std::ios::trunc);
      Out.write(Whole.data(), static_cast<std::streamsize>(Size));
    }
    try {
      TPelStore Store(Folder.File());
      ADD_FAILURE() << "a file of " << Size << " bytes was opened as a store";
    } catch (const EOleException& E) {
      EXPECT_NE(E.Message().find("damaged"), AnsiString::npos) << E.Message();
    }
    const std::string Left = ReadAll(Folder.File());
    EXPECT_TRUE(Left == Whole.substr(0, Size)) << "the " << Size << "-byte file now holds " << Left.size() << " bytes";
  }
}

mode_t ModeOf(const std::string& Path) {
  struct stat Info {};
  EXPECT_EQ(stat(Path.c_str(), &Info), 0) << Path;
  return Info.st_mode & 0777;
}

// Without a master password the data key is in the file: the file, its log and the log's index
// are the owner's alone, also under a permissive umask and when an earlier build left them open.
TEST(HostileInputTest, StoreFilesAreOwnerOnly) {
  TStoreFolder Folder;
  const mode_t Previous = umask(022);
  {
    TPelStore Running(Folder.File());
    for (const char* Suffix : {"", "-wal", "-shm"}) EXPECT_EQ(ModeOf(Folder.File() + Suffix), 0600u) << Suffix;
    for (const char* Suffix : {"", "-wal", "-shm"}) chmod((Folder.File() + Suffix).c_str(), 0644);
    TPelStore Second(Folder.File());
    for (const char* Suffix : {"", "-wal", "-shm"}) EXPECT_EQ(ModeOf(Folder.File() + Suffix), 0600u) << Suffix;
  }
  umask(Previous);
}

}  // namespace
}  // namespace pel::test
