// The store's core: opening or creating the file, the store's life and its events, the wipe of
// retired secrets from the log, the schema and its migration, and the read cache every part uses.
// What the store keeps lives beside it, a file a concern (PelStoreProfiles, PelStoreCards,
// PelStoreKeys, PelStoreSettings); the helpers they share are declared in PelStoreInternal.h.

#include "PelStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "DefaultData.h"
#include "PelStoreInternal.h"
#include "platform/Services.h"
#include "platform/StringList.h"

namespace pel::store {

TWideStringList CommaList(const char16_t* Text) {
  TWideStringList List;
  List.SetCommaText(Text);
  return List;
}

namespace {

// Set while the log may still hold a retired key or values sealed under it (see MarkWipe).
constexpr const char* WipeState = "wipe_pending";
// How long a key change waits for readers of other processes to leave the log.
constexpr int WipeWaitMs = 1000;

// Shorter than SQLite's 100-byte header: no store, but no file this store would have left either,
// since a new store only appears under its name complete (see OpenFile).
constexpr off_t SmallestStoreFile = 100;

bool FileExists(const std::string& Name, struct stat& Info) {
  if (stat(Name.c_str(), &Info) == 0) return true;
  if (errno != ENOENT) RaiseStoreError("Cannot look at the store file " + Name + ": " + strerror(errno));
  return false;
}

void RefuseLink(const std::string& Name) {
  struct stat Info {};
  if (lstat(Name.c_str(), &Info) == 0 && S_ISLNK(Info.st_mode))
    RaiseStoreError("The store file " + Name + " is a symbolic link; it was not opened: name the file itself");
}

}  // namespace

void TPelStore::Configure() {
  // WAL: readers never wait for the writer; FULL makes a commit durable once it returned.
  FDatabase.Exec("PRAGMA journal_mode=WAL");
  FDatabase.Exec("PRAGMA synchronous=FULL");
  FDatabase.Exec("PRAGMA foreign_keys=ON");
  // Freed pages are overwritten, so that a value sealed again or deleted leaves no readable copy.
  FDatabase.Exec("PRAGMA secure_delete=ON");
}

// A damaged store is never replaced without the user's word: an existing file too short to be a
// store is refused and left as it is. A new store is built under a name of its own and linked
// into place only once complete, so a crash while creating it leaves no half store to refuse, and
// of two processes creating the store at once one links it and the other opens it.
void TPelStore::OpenFile(const std::string& FileName) {
  // A link could point anywhere, another's file too: the store would make that private to its
  // owner and write into it. The store is opened by its own name or not at all.
  RefuseLink(FileName);
  struct stat Info {};
  if (!FileExists(FileName, Info)) {
    const std::string Building = FileName + ".new-" + IntToStr(getpid());
    for (const char* Suffix : {"", "-wal", "-shm"}) unlink((Building + Suffix).c_str());
    // Owner-only from the first byte, whatever the umask; SQLite gives the log and its index the
    // mode of the database file.
    const int Handle = open(Building.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (Handle < 0) RaiseStoreError("Cannot create the store file " + Building + ": " + strerror(errno));
    fchmod(Handle, S_IRUSR | S_IWUSR);
    close(Handle);
    FDatabase.Open(Building, true);
    Configure();
    Migrate();
    CheckpointFile();
    FDatabase.Close();
    const bool Linked = link(Building.c_str(), FileName.c_str()) == 0;
    const int Error = errno;
    for (const char* Suffix : {"", "-wal", "-shm"}) unlink((Building + Suffix).c_str());
    if (!Linked && Error != EEXIST)
      RaiseStoreError("Cannot create the store file " + FileName + ": " + strerror(Error));
    if (!FileExists(FileName, Info)) RaiseStoreError("The store file " + FileName + " vanished while it was created");
  }
  if (S_ISREG(Info.st_mode) && Info.st_size < SmallestStoreFile)
    RaiseStoreError("The store file " + FileName + " is damaged: it holds " + IntToStr(Info.st_size) +
                    " bytes, too few for a store. It was left as it is, so that it can be recovered; move it away to"
                    " start a new store");
  // Without a master password the data key is in the file: nobody but its owner may read it, nor
  // the log and its index. A file an earlier build left readable to others is tightened.
  for (const char* Suffix : {"", "-wal", "-shm"}) {
    const std::string Name = FileName + Suffix;
    RefuseLink(Name);
    struct stat Part {};
    if (stat(Name.c_str(), &Part) == 0 && (Part.st_mode & (S_IRWXG | S_IRWXO)) != 0 &&
        chmod(Name.c_str(), Part.st_mode & S_IRWXU) != 0)
      RaiseStoreError("Cannot make the store file " + Name + " private to its owner: " + strerror(errno));
  }
  FDatabase.Open(FileName, false);
  Configure();
}

TPelStore::TPelStore(const std::string& FileName) {
  OpenFile(FileName);
  FEvents.AddConnectionPoint(DIID_IPelServerEvents);
  // Older files held values in the clear: fold the write-ahead log into the file now, so that
  // the pages that held them are overwritten rather than kept in the log.
  Migrate();
  {
    TStatement Q(FDatabase, "SELECT 1 FROM state WHERE key = ?");
    Q.Bind(1, AsciiToWide(WipeState));
    // Best effort: a reader of another process may still hold the log; the next open tries again.
    if (Q.Step()) {
      Q.Reset();
      CheckpointFile();
    }
  }
  LoadRecognizer();
  LoadKeyring();
}

TPelStore::~TPelStore() {
  if (!FShutDown) Shutdown();
}

void TPelStore::Register(const std::shared_ptr<TPelStore>& Store) {
  Store->FRegistration = RunningObjects().Register(CLSID_PelServer, Store);
}

void TPelStore::Shutdown() {
  std::lock_guard Guard(FLock);
  FShutDown = true;
  if (FRegistration) {
    RunningObjects().Revoke(FRegistration);
    FRegistration = 0;
  }
  Fire(DISPID_OnQuit);
}

std::shared_ptr<IConnectionPoint> TPelStore::FindConnectionPoint(const TGUID& EventIID) {
  std::lock_guard Guard(FLock);
  return FEvents.FindConnectionPoint(EventIID);
}

void TPelStore::Fire(int32_t DispID, std::vector<TVariant> Args) {
  std::lock_guard Guard(FLock);
  FEvents.Fire(DIID_IPelServerEvents, DispID, std::move(Args));
}

// A retired key or values sealed under it stay readable in the log until it is folded into the
// file (where secure_delete has overwritten them) and emptied. The write that retires them marks
// the file (MarkWipe, in its transaction); the mark goes once the log is empty, so a crash in
// between is finished on the next open. A reader of another process can keep the log from being
// emptied: then the caller is told, and the next open tries again.
void TPelStore::MarkWipe() {
  TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES(?, '1')")
      .Bind(1, AsciiToWide(WipeState))
      .Run();
}

bool TPelStore::CheckpointFile() {
  if (BeforeWipeWait) BeforeWipeWait();
  if (!FDatabase.Checkpoint(WipeWaitMs)) return false;
  TStatement(FDatabase, "DELETE FROM state WHERE key = ?").Bind(1, AsciiToWide(WipeState)).Run();
  // The mark's removal holds no secret; folding it in too leaves the log empty as promised.
  FDatabase.Checkpoint(WipeWaitMs);
  return true;
}

// ---- schema

int TPelStore::SchemaVersion() {
  std::lock_guard Guard(FLock);
  TStatement Q(FDatabase, "SELECT version FROM schema_version");
  return Q.Step() ? static_cast<int>(Q.Int(0)) : 0;
}

// Each step takes the file from one version to the next in one transaction, so an interrupted
// migration leaves the previous version intact.
bool TPelStore::Migrate() {
  FDatabase.Exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)");
  bool Migrated = false;
  for (bool Reread = false;; Reread = true) {
    const auto Check = [&] {
      const int Version = SchemaVersion();
      if (Version > StoreSchemaVersion)
        RaiseStoreError("The store database has schema version " + IntToStr(Version) + ", newer than this store's " +
                        IntToStr(StoreSchemaVersion));
      return Version;
    };
    if (!Reread && Check() == StoreSchemaVersion) break;
    // Read again under the write lock: a second store process opening the same new file at the
    // same moment waits, then finds the step done.
    TTransaction T(FDatabase);
    int Version = Check();
    if (Version == StoreSchemaVersion) break;
    switch (Version) {
      case 0: CreateSchemaVersion1(); break;
      case 1: CreateSchemaVersion2(); break;
      case 2: CreateSchemaVersion3(); break;
      case 3: CreateSchemaVersion4(); break;
      case 4: CreateSchemaVersion5(); break;
      case 5: CreateSchemaVersion6(); break;
      case 6: CreateSchemaVersion7(); break;
    }
    ++Version;
    FDatabase.Exec("DELETE FROM schema_version");
    TStatement(FDatabase, "INSERT INTO schema_version(version) VALUES(?)").Bind(1, Version).Run();
    T.Commit();
    Migrated = true;
  }
  return Migrated;
}

void TPelStore::CreateSchemaVersion1() {
  FDatabase.Exec(
      "CREATE TABLE state(key TEXT PRIMARY KEY, value TEXT NOT NULL);"
      "CREATE TABLE profile(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE);"
      "CREATE TABLE field(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE COLLATE NOCASE, hint TEXT NOT NULL,"
      " grp TEXT NOT NULL, position INTEGER NOT NULL, value_kind INTEGER NOT NULL);"
      "CREATE TABLE profile_value(profile_id INTEGER NOT NULL REFERENCES profile(id) ON DELETE CASCADE,"
      " field_id INTEGER NOT NULL REFERENCES field(id) ON DELETE CASCADE, value_kind INTEGER NOT NULL,"
      " data BLOB NOT NULL, PRIMARY KEY(profile_id, field_id));"
      "CREATE TABLE synonym(field_id INTEGER NOT NULL REFERENCES field(id) ON DELETE CASCADE,"
      " phrase TEXT NOT NULL, PRIMARY KEY(field_id, phrase));"
      "CREATE TABLE type_hint(input_type TEXT PRIMARY KEY, field_id INTEGER NOT NULL REFERENCES field(id));"
      "CREATE TABLE stop_word(word TEXT PRIMARY KEY COLLATE NOCASE);"
      "CREATE TABLE substitution(name TEXT PRIMARY KEY, vals TEXT NOT NULL);"
      "CREATE TABLE setting(site_key TEXT PRIMARY KEY, flags INTEGER NOT NULL);");
  TStatement AddProfile(FDatabase, "INSERT INTO profile(name) VALUES(?)");
  AddProfile.Bind(1, WideString(SampleProfileName)).Run();
  const int64_t Sample = FDatabase.LastInsertRowID();
  TStatement(FDatabase, "INSERT INTO state(key, value) VALUES('active_profile', ?)")
      .Bind(1, WideString(SampleProfileName))
      .Run();
  TStatement AddField(FDatabase, "INSERT INTO field(name, hint, grp, position, value_kind) VALUES(?,?,?,?,?)");
  TStatement AddValue(FDatabase, "INSERT INTO profile_value(profile_id, field_id, value_kind, data) VALUES(?,?,?,?)");
  TStatement AddSyn(FDatabase, "INSERT OR IGNORE INTO synonym(field_id, phrase) VALUES(?,?)");
  int Position = 0;
  for (const TDefaultField& F : DefaultFields()) {
    AddField.Bind(1, WideString(F.Name)).Bind(2, WideString(F.Hint)).Bind(3, WideString(F.Group));
    AddField.Bind(4, Position++).Bind(5, F.ValueKind).Run();
    const int64_t ID = FDatabase.LastInsertRowID();
    AddValue.Bind(1, Sample)
        .Bind(2, ID)
        .Bind(3, F.ValueKind)
        .Bind(4, PackValue(F.SampleValue, CommaList(F.SampleValues).CommaText()))
        .Run();
    AddSyn.Bind(1, ID).Bind(2, WideString(F.Name)).Run();
    const TWideStringList Synonyms = CommaList(F.Synonyms);
    for (int I = 0; I < Synonyms.Count(); ++I) AddSyn.Bind(1, ID).Bind(2, Synonyms[I]).Run();
  }
  for (const TDefaultTypeHint& H : DefaultTypeHints())
    TStatement(FDatabase,
               "INSERT OR IGNORE INTO type_hint(input_type, field_id) SELECT ?, id FROM field WHERE name = ?")
        .Bind(1, WideString(H.InputType))
        .Bind(2, WideString(H.Field))
        .Run();
  const TWideStringList Stop = CommaList(DefaultStopWords());
  TStatement AddStop(FDatabase, "INSERT OR IGNORE INTO stop_word(word) VALUES(?)");
  for (int I = 0; I < Stop.Count(); ++I) AddStop.Bind(1, Stop[I]).Run();
  TStatement AddSub(FDatabase, "INSERT INTO substitution(name, vals) VALUES(?,?)");
  for (const TDefaultSubstitution& S : DefaultSubstitutions())
    AddSub.Bind(1, WideString(S.Name)).Bind(2, WideString(S.Values)).Run();
}

// Form cards (kind 0) and records (kinds 1-3) share one table: a set (the page or site key) holds
// named items; defaults name one item of a set per profile, or for all profiles (profile '').
void TPelStore::CreateSchemaVersion2() {
  FDatabase.Exec(
      "CREATE TABLE item(kind INTEGER NOT NULL, set_name TEXT NOT NULL, name TEXT NOT NULL, url TEXT NOT NULL,"
      " data BLOB NOT NULL, PRIMARY KEY(kind, set_name, name));"
      "CREATE TABLE default_item(set_name TEXT NOT NULL, profile TEXT NOT NULL, name TEXT NOT NULL,"
      " PRIMARY KEY(set_name, profile));");
}

// The keyring holds the data key: in the clear (salt NULL) while there is no master password,
// else sealed with the key derived from the password, the salt and the cost. Values written by
// older versions are sealed here, in the same transaction.
void TPelStore::CreateSchemaVersion4() {
  FDatabase.Exec(
      "CREATE TABLE keyring(id INTEGER PRIMARY KEY CHECK(id = 1), salt BLOB, ops_limit INTEGER NOT NULL,"
      " mem_limit INTEGER NOT NULL, data_key BLOB NOT NULL);"
      "CREATE TABLE field_choice(field_id INTEGER PRIMARY KEY REFERENCES field(id) ON DELETE CASCADE,"
      " data BLOB NOT NULL);");
  const TKey Key = NewRandomKey();
  TStatement(FDatabase, "INSERT INTO keyring(id, salt, ops_limit, mem_limit, data_key) VALUES(1, NULL, 0, 0, ?)")
      .BindInPlace(1, Key->Data(), TSecretKey::Size)
      .Run();
  // Sealed as this version sealed them; version 5 seals them again with their kind.
  RewriteSecrets([&](const TBlob& Plain, const TBlob& Tag, const TBlob&) { return Seal(*Key, Plain, Tag); }, true);
  MarkWipe();
}

// Values are sealed again with their kind under a new data key, so that no value sealed without
// it opens any more. With a master password that needs the password: the first Login does it.
void TPelStore::CreateSchemaVersion5() {
  TKeyring Keyring = ReadKeyring(FDatabase);
  if (Keyring.Protected) {
    TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES(?, '1')")
        .Bind(1, AsciiToWide(LegacyTagsState))
        .Run();
    return;
  }
  const TKey Key = NewRandomKey();
  Reseal(*Keyring.Clear, *Key, true);
  MarkWipe();
  TStatement(FDatabase, "UPDATE keyring SET data_key = ? WHERE id = 1")
      .BindInPlace(1, Key->Data(), TSecretKey::Size)
      .Run();
}

// The page addresses earlier versions kept beside cards and records are dropped (see WriteItem).
void TPelStore::CreateSchemaVersion6() {
  FDatabase.Exec("UPDATE item SET url = '' WHERE url <> ''");
  if (FDatabase.Changes()) MarkWipe();
}

// The recognition data grew: fields for the parts of a birth date, synonyms in more languages,
// more stop words. What the user has is kept; what is missing is added (values of the new fields
// are left for the user to fill in).
void TPelStore::CreateSchemaVersion7() {
  TStatement Last(FDatabase, "SELECT COALESCE(MAX(position), -1) FROM field");
  int64_t Position = Last.Step() ? Last.Int(0) + 1 : 0;
  TStatement Known(FDatabase, "SELECT id FROM field WHERE name = ?");
  TStatement AddField(FDatabase, "INSERT INTO field(name, hint, grp, position, value_kind) VALUES(?,?,?,?,?)");
  TStatement AddSyn(FDatabase, "INSERT OR IGNORE INTO synonym(field_id, phrase) VALUES(?,?)");
  for (const TDefaultField& F : DefaultFields()) {
    Known.Reset();
    Known.Bind(1, WideString(F.Name));
    int64_t ID;
    if (Known.Step()) {
      ID = Known.Int(0);
    } else {
      AddField.Bind(1, WideString(F.Name)).Bind(2, WideString(F.Hint)).Bind(3, WideString(F.Group));
      AddField.Bind(4, Position++).Bind(5, F.ValueKind).Run();
      ID = FDatabase.LastInsertRowID();
      AddSyn.Bind(1, ID).Bind(2, WideString(F.Name)).Run();
    }
    const TWideStringList Synonyms = CommaList(F.Synonyms);
    for (int I = 0; I < Synonyms.Count(); ++I) AddSyn.Bind(1, ID).Bind(2, Synonyms[I]).Run();
  }
  const TWideStringList Stop = CommaList(DefaultStopWords());
  TStatement AddStop(FDatabase, "INSERT OR IGNORE INTO stop_word(word) VALUES(?)");
  for (int I = 0; I < Stop.Count(); ++I) AddStop.Bind(1, Stop[I]).Run();
  FDatabase.Exec(
      "INSERT INTO state(key, value) VALUES('lexicon_version', '1')"
      " ON CONFLICT(key) DO UPDATE SET value = CAST(value AS INTEGER) + 1");
}

TPelStore::TReadCache& TPelStore::ReadCache() {
  const bool InTransaction = FDatabase.InTransaction();
  // Confirmed earlier in this transaction: only this connection can have changed the file since.
  if (InTransaction && FReadCache.Transaction == FDatabase.TransactionSerial() &&
      FReadCache.Stamp.Changes == FDatabase.TotalChanges() && FReadCache.Stamp.Rollbacks == FDatabase.Rollbacks())
    return FReadCache;
  const TDatabase::TStamp Now = FDatabase.Stamp();
  if (!(Now == FReadCache.Stamp)) {
    FReadCache = TReadCache();
    FReadCache.Stamp = Now;
  }
  FReadCache.Transaction = InTransaction ? FDatabase.TransactionSerial() : -1;
  return FReadCache;
}

}  // namespace pel::store
