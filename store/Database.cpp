#include "Database.h"

#include <sqlite3.h>

#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"

namespace pel::store {

void RaiseStoreError(const AnsiString& Message) { throw EOleException(Message, HR_E_FAIL, "PelStore", "", 0); }

// SQLite's own UTF-16 conversion pairs a lone high surrogate with whatever unit follows and so
// loses text that pages can send (and a name that no longer reads back as written no longer opens
// its sealed data). The store therefore converts itself: pairs become four bytes, every other unit,
// a lone surrogate included, its one to three bytes. Reading reverses it exactly, and also reads
// back what SQLite wrote for such text before, so those rows are listed under a name that finds them.
std::string EncodeText(const WideString& Text) { return WideToUtf8(Text); }

// Bytes no conversion of ours or SQLite's writes (damage) read as U+FFFD, one per byte.
WideString DecodeText(const uint8_t* Data, size_t Size) {
  WideString Out;
  Out.reserve(Size);
  size_t I = 0;
  const auto Continuation = [&](size_t At) { return At < Size && (Data[At] & 0xC0) == 0x80; };
  while (I < Size) {
    const uint8_t B = Data[I];
    if (B < 0x80) {
      Out += static_cast<char16_t>(B);
      ++I;
    } else if (B >= 0xC2 && B < 0xE0 && Continuation(I + 1)) {
      Out += static_cast<char16_t>(((B & 0x1F) << 6) | (Data[I + 1] & 0x3F));
      I += 2;
    } else if (B >= 0xE0 && B < 0xF0 && Continuation(I + 1) && Continuation(I + 2) &&
               (B != 0xE0 || Data[I + 1] >= 0xA0)) {
      Out += static_cast<char16_t>(((B & 0x0F) << 12) | ((Data[I + 1] & 0x3F) << 6) | (Data[I + 2] & 0x3F));
      I += 3;
    } else if (B >= 0xF0 && B < 0xF5 && Continuation(I + 1) && Continuation(I + 2) && Continuation(I + 3) &&
               (B != 0xF0 || Data[I + 1] >= 0x90) && (B != 0xF4 || Data[I + 1] < 0x90)) {
      const uint32_t C = ((B & 0x07) << 18) | ((Data[I + 1] & 0x3F) << 12) | ((Data[I + 2] & 0x3F) << 6) |
                         (Data[I + 3] & 0x3F);
      Out += static_cast<char16_t>(0xD800 + ((C - 0x10000) >> 10));
      Out += static_cast<char16_t>(0xDC00 + ((C - 0x10000) & 0x3FF));
      I += 4;
    } else {
      Out += u'\uFFFD';
      ++I;
    }
  }
  return Out;
}

TDatabase::TDatabase(const std::string& FileName, bool Create) { Open(FileName, Create); }

void TDatabase::Close() {
  FPrepared.clear();
  sqlite3_close(FHandle);
  FHandle = nullptr;
}

void TDatabase::Open(const std::string& FileName, bool Create) {
  Close();
  const int Result = sqlite3_open_v2(FileName.c_str(), &FHandle,
                                     SQLITE_OPEN_READWRITE | (Create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_FULLMUTEX,
                                     nullptr);
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

TDatabase::~TDatabase() { Close(); }

TStatement& TDatabase::Prepared(const char* Sql) {
  std::unique_ptr<TStatement>& Statement = FPrepared[Sql];
  if (!Statement) Statement = std::make_unique<TStatement>(*this, Sql);
  return *Statement;
}

TReused::~TReused() { FStatement.Reset(); }

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

bool TDatabase::Checkpoint(int WaitMs) {
  sqlite3_busy_timeout(FHandle, WaitMs);
  int Log = 0, Done = 0;
  const int Result = sqlite3_wal_checkpoint_v2(FHandle, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &Log, &Done);
  sqlite3_busy_timeout(FHandle, 5000);
  if (Result == SQLITE_BUSY) return false;
  if (Result != SQLITE_OK) Raise("checkpoint");
  return true;
}

TStatement::TStatement(TDatabase& Database, const char* Sql) : FDatabase(Database) {
  if (sqlite3_prepare_v2(Database.Handle(), Sql, -1, &FStatement, nullptr) != SQLITE_OK) Database.Raise("prepare");
}

TStatement::~TStatement() { sqlite3_finalize(FStatement); }

TStatement& TStatement::Bind(int Index, int64_t Value) {
  if (sqlite3_bind_int64(FStatement, Index, Value) != SQLITE_OK) FDatabase.Raise("bind");
  return *this;
}

TStatement& TStatement::Bind(int Index, const WideString& Value) {
  const std::string Bytes = EncodeText(Value);
  if (sqlite3_bind_text(FStatement, Index, Bytes.data(), static_cast<int>(Bytes.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK)
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

TStatement& TStatement::BindInPlace(int Index, const uint8_t* Data, size_t Size) {
  if (sqlite3_bind_blob(FStatement, Index, Data, static_cast<int>(Size), SQLITE_STATIC) != SQLITE_OK)
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
  const auto* Data = sqlite3_column_text(FStatement, Column);
  const int Bytes = sqlite3_column_bytes(FStatement, Column);
  return Data ? DecodeText(Data, static_cast<size_t>(Bytes)) : WideString();
}

const uint8_t* TStatement::BlobData(int Column, size_t& Size) const {
  const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(FStatement, Column));
  Size = static_cast<size_t>(sqlite3_column_bytes(FStatement, Column));
  return Data;
}

TBlob TStatement::Blob(int Column) const {
  const auto* Data = static_cast<const uint8_t*>(sqlite3_column_blob(FStatement, Column));
  const int Bytes = sqlite3_column_bytes(FStatement, Column);
  return Data ? TBlob(Data, Data + Bytes) : TBlob();
}

TDatabase::TStamp TDatabase::Stamp() {
  TReused Version(*this, "PRAGMA data_version");
  TStamp Result;
  Result.DataVersion = Version->Step() ? Version->Int(0) : -1;
  Result.Changes = TotalChanges();
  Result.Rollbacks = FRollbacks;
  return Result;
}

bool TDatabase::InTransaction() const { return FHandle && sqlite3_get_autocommit(FHandle) == 0; }

int64_t TDatabase::TotalChanges() const { return sqlite3_total_changes(FHandle); }

TReadTransaction::TReadTransaction(TDatabase& Database)
    : FDatabase(Database), FNested(Database.InTransaction()) {
  if (FNested) return;
  TReused Begin(FDatabase, "BEGIN");
  Begin->Run();
  FDatabase.NoteBegin();
}

TReadTransaction::~TReadTransaction() {
  if (FNested) return;
  TStatement& End = FDatabase.Prepared("COMMIT");
  if (sqlite3_step(End.Handle()) != SQLITE_DONE) {
    sqlite3_exec(FDatabase.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    FDatabase.NoteRollback();
  }
  sqlite3_reset(End.Handle());
}

TTransaction::TTransaction(TDatabase& Database) : FDatabase(Database), FNested(Database.InTransaction()) {
  if (FNested) {
    FDatabase.Exec("SAVEPOINT nested_write");
    return;
  }
  FDatabase.Exec("BEGIN IMMEDIATE");
  FDatabase.NoteBegin();
}

TTransaction::~TTransaction() {
  if (FOpen) {
    sqlite3_exec(FDatabase.Handle(), FNested ? "ROLLBACK TO nested_write; RELEASE nested_write" : "ROLLBACK",
                 nullptr, nullptr, nullptr);
    FDatabase.NoteRollback();
  }
}

void TTransaction::Commit() {
  FDatabase.Exec(FNested ? "RELEASE nested_write" : "COMMIT");
  FOpen = false;
}

}  // namespace pel::store
