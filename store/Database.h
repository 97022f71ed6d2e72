#pragma once
// A thin layer over one SQLite connection: statements with typed binds and columns, and
// transactions that roll back unless committed. Every SQLite failure becomes an automation
// failure with SQLite's own message, so that the store's callers see why a call failed.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/SysTypes.h"

struct sqlite3;
struct sqlite3_stmt;

namespace pel::store {

using TBlob = std::vector<uint8_t>;

[[noreturn]] void RaiseStoreError(const AnsiString& Message);

// Text as the store keeps it in the file: UTF-8, with a lone surrogate kept as its own three bytes,
// so that every wide string reads back exactly as written.
std::string EncodeText(const WideString& Text);
WideString DecodeText(const uint8_t* Data, size_t Size);

class TStatement;

class TDatabase {
public:
  TDatabase() = default;
  // Opens the database file; Create: also when it is missing.
  explicit TDatabase(const std::string& FileName, bool Create = true);
  ~TDatabase();
  void Open(const std::string& FileName, bool Create);
  void Close();
  TDatabase(const TDatabase&) = delete;
  TDatabase& operator=(const TDatabase&) = delete;

  void Exec(const char* Sql);
  int64_t LastInsertRowID() const;
  int Changes() const;
  // Folds the whole log into the file and empties it, waiting at most WaitMs for readers of other
  // connections; false when one still reads from the log, so that it could not be emptied.
  bool Checkpoint(int WaitMs);
  sqlite3* Handle() const { return FHandle; }
  [[noreturn]] void Raise(const char* What) const;
  // A statement prepared once and kept, by the address of its text (a literal): for the lookups
  // every page fill makes, where preparing costs more than running. Use it through TReused.
  TStatement& Prepared(const char* Sql);

  // What the file holds, as far as anything read from it may have changed: another connection's
  // commit (SQLite's data_version), a row this connection changed, or a transaction of this
  // connection rolled back (its changes were counted and are gone again). Equal stamps mean that
  // what was read under the first may be used under the second.
  struct TStamp {
    int64_t DataVersion = -1;
    int64_t Changes = -1;
    int64_t Rollbacks = -1;
    bool operator==(const TStamp&) const = default;
  };
  TStamp Stamp();
  void NoteRollback() { ++FRollbacks; }
  // Inside one transaction nobody else's commit becomes visible: a stamp taken in it stays good
  // for the transaction but for this connection's own changes. The serial tells transactions apart.
  void NoteBegin() { ++FTransactions; }
  int64_t TransactionSerial() const { return FTransactions; }
  bool InTransaction() const;
  int64_t TotalChanges() const;
  int64_t Rollbacks() const { return FRollbacks; }

private:
  sqlite3* FHandle = nullptr;
  int64_t FRollbacks = 0;
  int64_t FTransactions = 0;
  std::unordered_map<const char*, std::unique_ptr<TStatement>> FPrepared;
};

class TStatement {
public:
  TStatement(TDatabase& Database, const char* Sql);
  ~TStatement();
  TStatement(const TStatement&) = delete;
  TStatement& operator=(const TStatement&) = delete;

  // Binds by position, from 1; each returns the statement so binds chain.
  TStatement& Bind(int Index, int64_t Value);
  TStatement& Bind(int Index, const WideString& Value);
  TStatement& Bind(int Index, const TBlob& Value);
  TStatement& BindNull(int Index);
  // Bound without a copy: Data must stay until the statement ran (for keys in guarded memory).
  TStatement& BindInPlace(int Index, const uint8_t* Data, size_t Size);
  // True while a row is there.
  bool Step();
  sqlite3_stmt* Handle() const { return FStatement; }
  // Runs a statement that answers no rows.
  void Run();
  void Reset();

  bool IsNull(int Column) const;
  int64_t Int(int Column) const;
  WideString Text(int Column) const;
  TBlob Blob(int Column) const;
  // Where SQLite holds the column, valid until the next step or reset; no copy is made.
  const uint8_t* BlobData(int Column, size_t& Size) const;

private:
  TDatabase& FDatabase;
  sqlite3_stmt* FStatement = nullptr;
};

// A kept statement for one use: reset (and its binds cleared) when the use ends.
class TReused {
public:
  TReused(TDatabase& Database, const char* Sql) : FStatement(Database.Prepared(Sql)) {}
  ~TReused();
  TReused(const TReused&) = delete;
  TReused& operator=(const TReused&) = delete;
  TStatement* operator->() { return &FStatement; }
  TStatement& operator*() { return FStatement; }

private:
  TStatement& FStatement;
};

// Several reads as one snapshot, and one round of file locking instead of one per statement: what
// a lookup costs is mostly that locking. Ends with the scope, also when a read raised. Inside a
// transaction already open it adds nothing: that one is the snapshot.
class TReadTransaction {
public:
  explicit TReadTransaction(TDatabase& Database);
  ~TReadTransaction();
  TReadTransaction(const TReadTransaction&) = delete;
  TReadTransaction& operator=(const TReadTransaction&) = delete;

private:
  TDatabase& FDatabase;
  bool FNested = false;
};

// One write: BEGIN IMMEDIATE takes the write lock at once, so two writers never both read and then
// fail to upgrade. Without Commit the destructor rolls back. Inside a write already open (several
// writes made one, see TPelStore::InOneWrite) it is a savepoint of that write: its rollback undoes
// its own changes, its commit keeps them for the outer one to commit or roll back.
class TTransaction {
public:
  explicit TTransaction(TDatabase& Database);
  ~TTransaction();
  TTransaction(const TTransaction&) = delete;
  TTransaction& operator=(const TTransaction&) = delete;
  void Commit();

private:
  TDatabase& FDatabase;
  bool FOpen = true;
  bool FNested = false;
};

}  // namespace pel::store
