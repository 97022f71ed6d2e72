#include "Database.h"

#include <sqlite3.h>

#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"

namespace pel::store {

void RaiseStoreError(const AnsiString& Message) { throw EOleException(Message, HR_E_FAIL, "PelStore", "", 0); }

TDatabase::TDatabase(const std::string& FileName) {
  const int Result = sqlite3_open_v2(FileName.c_str(), &FHandle,
                                     SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  if (Result != SQLITE_OK) {
    const AnsiString Message = FHandle ? sqlite3_errmsg(FHandle) : sqlite3_errstr(Result);
    sqlite3_close(FHandle);
    FHandle = nullptr;
    RaiseStoreError("Cannot open the store database " + FileName + ": " + Message);
  }
  // Another process (a second store on the same file) waits for the write lock instead of failing.
  sqlite3_busy_timeout(FHandle, 5000);
  sqlite3_extended_result_codes(FHandle, 1);
}

TDatabase::~TDatabase() { sqlite3_close(FHandle); }

void TDatabase::Raise(const char* What) const {
  RaiseStoreError(AnsiString("Store database failure (") + What + "): " + sqlite3_errmsg(FHandle));
}

void TDatabase::Exec(const char* Sql) {
  char* Error = nullptr;
  if (sqlite3_exec(FHandle, Sql, nullptr, nullptr, &Error) != SQLITE_OK) {
    const AnsiString Message = Error ? Error : sqlite3_errmsg(FHandle);
    sqlite3_free(Error);
    RaiseStoreError("Store database failure: " + Message);
  }
}

int64_t TDatabase::LastInsertRowID() const { return sqlite3_last_insert_rowid(FHandle); }
int TDatabase::Changes() const { return sqlite3_changes(FHandle); }

TStatement::TStatement(TDatabase& Database, const char* Sql) : FDatabase(Database) {
  if (sqlite3_prepare_v2(Database.Handle(), Sql, -1, &FStatement, nullptr) != SQLITE_OK) Database.Raise("prepare");
}

TStatement::~TStatement() { sqlite3_finalize(FStatement); }

TStatement& TStatement::Bind(int Index, int64_t Value) {
  if (sqlite3_bind_int64(FStatement, Index, Value) != SQLITE_OK) FDatabase.Raise("bind");
  return *this;
}

TStatement& TStatement::Bind(int Index, const WideString& Value) {
  // UTF-16 in the machine's byte order, which is what the 16 variant of the call takes.
  if (sqlite3_bind_text16(FStatement, Index, Value.data(), static_cast<int>(Value.size() * sizeof(char16_t)),
                          SQLITE_TRANSIENT) != SQLITE_OK)
    FDatabase.Raise("bind");
  return *this;
}

TStatement& TStatement::Bind(int Index, const TBlob& Value) {
  // A zero-length blob, not NULL: an empty stored value is still a value.
  static const uint8_t Empty = 0;
  if (sqlite3_bind_blob(FStatement, Index, Value.empty() ? &Empty : Value.data(), static_cast<int>(Value.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    FDatabase.Raise("bind");
  return *this;
}

TStatement& TStatement::BindNull(int Index) {
  if (sqlite3_bind_null(FStatement, Index) != SQLITE_OK) FDatabase.Raise("bind");
  return *this;
}

bool TStatement::Step() {
  const int Result = sqlite3_step(FStatement);
  if (Result == SQLITE_ROW) return true;
  if (Result == SQLITE_DONE) return false;
  FDatabase.Raise("step");
}

void TStatement::Run() {
  while (Step()) {
  }
  Reset();
}

void TStatement::Reset() {
  sqlite3_reset(FStatement);
  sqlite3_clear_bindings(FStatement);
}

bool TStatement::IsNull(int Column) const { return sqlite3_column_type(FStatement, Column) == SQLITE_NULL; }
int64_t TStatement::Int(int Column) const { return sqlite3_column_int64(FStatement, Column); }

WideString TStatement::Text(int Column) const {
  const auto* Data = static_cast<const char16_t*>(sqlite3_column_text16(FStatement, Column));
  const int Bytes = sqlite3_column_bytes16(FStatement, Column);
  return Data ? WideString(Data, static_cast<size_t>(Bytes) / sizeof(char16_t)) : WideString();
}

TBlob TStatement::Blob(int Column) const {
  const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(FStatement, Column));
  const int Bytes = sqlite3_column_bytes(FStatement, Column);
  return Data ? TBlob(Data, Data + Bytes) : TBlob();
}

TTransaction::TTransaction(TDatabase& Database) : FDatabase(Database) { FDatabase.Exec("BEGIN IMMEDIATE"); }

TTransaction::~TTransaction() {
  if (FOpen) sqlite3_exec(FDatabase.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TTransaction::Commit() {
  FDatabase.Exec("COMMIT");
  FOpen = false;
}

}  // namespace pel::store
