#pragma once
// A store on a real database file in a fresh temporary folder, removed afterwards, and the
// form sets the store tests save.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

#include "Common/StoreStreams.h"
#include "Common/TransitForms.h"
#include "PelStore.h"
#include "platform/MemoryStream.h"

namespace pel::test {

class TStoreFolder {
public:
  TStoreFolder() {
    char Pattern[] = "/tmp/pelstoreXXXXXX";
    Path = mkdtemp(Pattern);
  }
  ~TStoreFolder() { std::filesystem::remove_all(Path); }
  std::string File() const { return (Path / "store.db").string(); }
  std::filesystem::path Path;
};

// A login form: an e-mail field bound to the profile field, and a plain one.
inline TVariant LoginFormSet(const WideString& Extra) {
  TTransitFormSet Set;
  TTransitFormCard& Card = Set.Add();
  Card.ActionURL = u"https://example.com/login";
  TTransitField& Mail = Card.Fields.Add();
  Mail.Index = 0;
  Mail.Name = u"user_email";
  Mail.TagName = u"input";
  Mail.InputType = u"text";
  Mail.ProfileField = u"E-mail";
  Mail.Value = u"typed@example.org";
  TTransitField& Note = Card.Fields.Add();
  Note.Index = 1;
  Note.Name = u"note";
  Note.TagName = u"textarea";
  Note.Value = Extra;
  TMemoryStream S;
  Set.SaveToStream(S);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}

// Changes the file behind the store's back, as an older build or damage would have left it.
inline void RunSql(const std::string& File, const char* Sql) {
  sqlite3* Db = nullptr;
  ASSERT_EQ(sqlite3_open(File.c_str(), &Db), SQLITE_OK);
  char* Error = nullptr;
  EXPECT_EQ(sqlite3_exec(Db, Sql, nullptr, nullptr, &Error), SQLITE_OK) << (Error ? Error : "");
  sqlite3_free(Error);
  sqlite3_close(Db);
}

}  // namespace pel::test
