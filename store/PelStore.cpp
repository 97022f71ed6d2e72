#include "PelStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <unordered_map>

#include "Common/Options.h"
#include "Common/StoreStreams.h"
#include "Common/TransitForms.h"
#include "DefaultData.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"
#include "platform/StringList.h"

namespace pel::store {

namespace {

// A profile value and its alternatives travel as one blob, so that each is one unit at rest.
TBlob PackValue(const WideString& Value, const WideString& Values) {
  TMemoryStream S;
  WriteWideString(S, Value);
  WriteWideString(S, Values);
  return S.Bytes();
}

void UnpackValue(const TBlob& Blob, WideString& Value, WideString& Values) {
  TMemoryStream S(Blob);
  if (!ReadWideString(S, Value) || !ReadWideString(S, Values)) RaiseStoreError("A stored profile value is damaged");
}

TWideStringList CommaList(const char16_t* Text) {
  TWideStringList List;
  List.SetCommaText(Text);
  return List;
}

// What a sealed value is: its table and row key, each part length-prefixed so that no two rows
// share a tag.
TBlob Tag(std::initializer_list<WideString> Parts) {
  TMemoryStream S;
  for (const WideString& Part : Parts) WriteWideString(S, Part);
  return S.Bytes();
}

WideString Number(int64_t Value) { return AsciiToWide(IntToStr(Value)); }
// A value's kind says how a page applies it (select options by words or by phrases): it is bound
// too, so that a kind changed in the file makes the value unreadable rather than misapplied.
TBlob ValueTag(int64_t Profile, int64_t Field, int64_t Kind) {
  return Tag({u"profile_value", Number(Profile), Number(Field), Number(Kind)});
}
// As files before schema version 5 sealed values, without their kind.
TBlob LegacyValueTag(int64_t Profile, int64_t Field) { return Tag({u"profile_value", Number(Profile), Number(Field)}); }
// Set while a file with a master password still holds values sealed without their kind: the
// first Login seals them again (it has the password the keyring needs).
constexpr const char* LegacyTagsState = "legacy_value_tags";
// Set while the log may still hold a retired key or values sealed under it (see MarkWipe).
constexpr const char* WipeState = "wipe_pending";
// How long a key change waits for readers of other processes to leave the log.
constexpr int WipeWaitMs = 1000;
TBlob ItemTag(int64_t Kind, const WideString& SetName, const WideString& Name) {
  return Tag({u"item", Number(Kind), SetName, Name});
}
TBlob ChoiceTag(int64_t Field) { return Tag({u"field_choice", Number(Field)}); }
const TBlob& KeyringTag = KeyringAssociatedData();

// The keyring as read: with a password the sealed data key (no secret), without one the key
// itself, taken straight into guarded memory; Stamp tells either apart from a later keyring.
struct TKeyring {
  bool Protected = false;
  TBlob Salt, Sealed, Stamp;
  TKey Clear;
  TKeyCost Cost;
};

TKeyring ReadKeyring(TDatabase& Database) {
  TStatement Q(Database, "SELECT salt, ops_limit, mem_limit, data_key FROM keyring WHERE id = 1");
  if (!Q.Step()) RaiseStoreError("The store's key is missing: the file is damaged");
  TKeyring K;
  K.Protected = !Q.IsNull(0);
  K.Salt = Q.Blob(0);
  K.Cost = {static_cast<uint64_t>(Q.Int(1)), static_cast<uint64_t>(Q.Int(2))};
  size_t Size = 0;
  const uint8_t* Data = Q.BlobData(3, Size);
  K.Stamp = Fingerprint(Data, Size);
  if (K.Protected) {
    K.Sealed = Q.Blob(3);
  } else {
    K.Clear = KeyFromBytes(Data, Size);
    if (!K.Clear) RaiseStoreError("The store's key is damaged");
  }
  return K;
}

[[noreturn]] void RaiseDamaged() {
  RaiseStoreError("A stored value cannot be opened: the store file is damaged or was changed outside the store");
}

// Comma text entries appended to List.
void AddCommaText(TWideStringList& List, const WideString& Text) {
  TWideStringList Entries;
  Entries.SetCommaText(Text);
  for (int I = 0; I < Entries.Count(); ++I) List.Add(Entries[I]);
}

[[noreturn]] void RaiseLocked() {
  throw EOleException("The store is locked: log in with the master password first", HR_E_ACCESSDENIED, "PelStore",
                      "", 0);
}

}  // namespace

const TBlob& KeyringAssociatedData() {
  static const TBlob Keyring = Tag({u"keyring"});
  return Keyring;
}

namespace {

// Shorter than SQLite's 100-byte header: no store, but no file this store would have left either,
// since a new store only appears under its name complete (see OpenFile).
constexpr off_t SmallestStoreFile = 100;

bool FileExists(const std::string& Name, struct stat& Info) {
  if (stat(Name.c_str(), &Info) == 0) return true;
  if (errno != ENOENT) RaiseStoreError("Cannot look at the store file " + Name + ": " + strerror(errno));
  return false;
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
  TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES(?, '1')").Bind(1, AsciiToWide(WipeState)).Run();
}

bool TPelStore::CheckpointFile() {
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
        RaiseStoreError("The store database has schema version " + IntToStr(Version) +
                        ", newer than this store's " + IntToStr(StoreSchemaVersion));
      return Version;
    };
    if (!Reread && Check() == StoreSchemaVersion) break;
    // Read again under the write lock: a second store process opening the same new file at the
    // same moment waits, then finds the step done.
    TTransaction T(FDatabase);
    int Version = Check();
    if (Version == StoreSchemaVersion) break;
    switch (Version) {
      case 0:
        CreateSchemaVersion1();
        break;
      case 1:
        CreateSchemaVersion2();
        break;
      case 2:
        CreateSchemaVersion3();
        break;
      case 3:
        CreateSchemaVersion4();
        break;
      case 4:
        CreateSchemaVersion5();
        break;
      case 5:
        CreateSchemaVersion6();
        break;
      case 6:
        CreateSchemaVersion7();
        break;
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
    AddValue.Bind(1, Sample).Bind(2, ID).Bind(3, F.ValueKind).Bind(4, PackValue(F.SampleValue, CommaList(F.SampleValues).CommaText())).Run();
    AddSyn.Bind(1, ID).Bind(2, WideString(F.Name)).Run();
    const TWideStringList Synonyms = CommaList(F.Synonyms);
    for (int I = 0; I < Synonyms.Count(); ++I) AddSyn.Bind(1, ID).Bind(2, Synonyms[I]).Run();
  }
  for (const TDefaultTypeHint& H : DefaultTypeHints())
    TStatement(FDatabase, "INSERT OR IGNORE INTO type_hint(input_type, field_id) SELECT ?, id FROM field WHERE name = ?")
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
  TStatement(FDatabase, "UPDATE keyring SET data_key = ? WHERE id = 1").BindInPlace(1, Key->Data(), TSecretKey::Size).Run();
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

bool TPelStore::LegacyValueTags() {
  TStatement Q(FDatabase, "SELECT 1 FROM state WHERE key = ?");
  Q.Bind(1, AsciiToWide(LegacyTagsState));
  return Q.Step();
}

void TPelStore::LoadKeyring() {
  TStatement Q(FDatabase, "SELECT salt, data_key FROM keyring WHERE id = 1");
  if (!Q.Step()) RaiseStoreError("The store's key is missing: the file is damaged");
  TakeKey(nullptr);
  size_t Size = 0;
  const uint8_t* Data = Q.BlobData(1, Size);
  FKeyringStamp = Fingerprint(Data, Size);
  if (!Q.IsNull(0)) return;  // locked until Login
  TakeKey(KeyFromBytes(Data, Size));
  if (!FKey) RaiseStoreError("The store's key is damaged");
}

// Another store on the same file (the host's tool beside the running store) may have changed the
// password and so the data key: a value sealed with the key held here would then be lost to
// everyone else. Each use of the key first makes sure it is still the file's.
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

void TPelStore::CheckKeyCurrent() {
  TReadCache& Cache = ReadCache();
  if (Cache.KeyChecked) return;
  Cache.KeyChecked = true;
  {
    TReused Q(FDatabase, "SELECT data_key FROM keyring WHERE id = 1");
    if (Q->Step()) {
      size_t Size = 0;
      const uint8_t* Data = Q->BlobData(0, Size);
      if (Fingerprint(Data, Size) == FKeyringStamp) return;
    }
  }
  LoadKeyring();
}

void TPelStore::TakeKey(TKey Key) {
  FKey = std::move(Key);
  ++FKeyGeneration;
}

bool TPelStore::Locked() {
  CheckKeyCurrent();
  return FKey == nullptr;
}

TBlob TPelStore::SealBlob(const TBlob& Plain, const TBlob& Tag) {
  if (Locked()) RaiseLocked();
  return Seal(*FKey, Plain, Tag);
}

TBlob TPelStore::OpenBlob(const TBlob& Sealed, const TBlob& Tag) {
  if (Locked()) RaiseLocked();
  TBlob Plain;
  if (!Open(*FKey, Sealed, Tag, Plain)) RaiseDamaged();
  return Plain;
}

bool TPelStore::ReadProfileValue(int64_t Owner, int64_t Field, int32_t& Kind, WideString& Value,
                                 WideString& Values) {
  TReused Q(FDatabase, "SELECT value_kind, data FROM profile_value WHERE profile_id = ? AND field_id = ?");
  Q->Bind(1, Owner).Bind(2, Field);
  if (!Q->Step()) return false;
  Kind = static_cast<int32_t>(Q->Int(0));
  UnpackValue(OpenBlob(Q->Blob(1), ValueTag(Owner, Field, Kind)), Value, Values);
  return true;
}

void TPelStore::WriteProfileValue(int64_t Owner, int64_t Field, int64_t Kind, const WideString& Value,
                                  const WideString& Values) {
  TStatement(FDatabase,
             "INSERT OR REPLACE INTO profile_value(profile_id, field_id, value_kind, data) VALUES(?,?,?,?)")
      .Bind(1, Owner)
      .Bind(2, Field)
      .Bind(3, Kind)
      .Bind(4, SealBlob(PackValue(Value, Values), ValueTag(Owner, Field, Kind)))
      .Run();
}

bool TPelStore::ReadItem(int32_t Kind, const WideString& SetName, const WideString& Name, TBlob& Data) {
  TStatement Q(FDatabase, "SELECT data FROM item WHERE kind = ? AND set_name = ? AND name = ?");
  Q.Bind(1, Kind).Bind(2, SetName).Bind(3, Name);
  if (!Q.Step()) return false;
  Data = OpenBlob(Q.Blob(0), ItemTag(Kind, SetName, Name));
  return true;
}

// The page address a card or record was saved from is not kept: nothing reads it back, and its
// query string can carry tokens, session ids and mail addresses (the url column stays empty).
void TPelStore::WriteItem(int32_t Kind, const WideString& SetName, const WideString& Name, const TBlob& Data) {
  TStatement(FDatabase, "INSERT OR REPLACE INTO item(kind, set_name, name, url, data) VALUES(?,?,?,'',?)")
      .Bind(1, Kind)
      .Bind(2, SetName)
      .Bind(3, Name)
      .Bind(4, SealBlob(Data, ItemTag(Kind, SetName, Name)))
      .Run();
}

WideString TPelStore::ReadChoices(int64_t Field) {
  TStatement Q(FDatabase, "SELECT data FROM field_choice WHERE field_id = ?");
  Q.Bind(1, Field);
  if (!Q.Step()) return WideString();
  TMemoryStream S(OpenBlob(Q.Blob(0), ChoiceTag(Field)));
  WideString Text;
  if (!ReadWideString(S, Text)) RaiseStoreError("The stored choices of a field are damaged");
  return Text;
}

// The recognition data is held in memory as one immutable snapshot: a lookup takes the snapshot
// under the lock and recognises outside it, and a change replaces the snapshot. Another store
// process's change is noticed by SQLite's data_version, then by the lexicon version it bumps.
void TPelStore::LoadRecognizer() {
  auto Next = std::make_shared<TFieldRecognizer>();
  TWideStringList Stop(true, TDuplicates::dupIgnore);
  TStatement Words(FDatabase, "SELECT word FROM stop_word");
  while (Words.Step()) Stop.Add(Words.Text(0));
  Next->SetStopWords(Stop);
  // The default rules name fields by name; a store whose user deleted or renamed one goes without.
  std::unordered_map<WideString, int64_t> IDs;
  TStatement Fields(FDatabase, "SELECT id, name, value_kind FROM field");
  while (Fields.Step()) {
    IDs[Locale().LowerCase(Fields.Text(1))] = Fields.Int(0);
    const int64_t Kind = Fields.Int(2);
    // Kinds 4 and 5 pick among a list's options by words or phrases: fields a radio group can answer.
    if (Kind == 4 || Kind == 5) Next->SetChoiceField(Fields.Int(0));
  }
  auto IDOf = [&](const char16_t* Name) -> int64_t {
    if (!Name) return -1;
    const auto It = IDs.find(Locale().LowerCase(WideString(Name)));
    return It == IDs.end() ? -2 : It->second;
  };
  TStatement Syn(FDatabase, "SELECT field_id, phrase FROM synonym");
  while (Syn.Step()) Next->AddSynonym(Syn.Int(0), Syn.Text(1));
  for (const TDefaultContainer& C : DefaultContainers()) {
    const int64_t ID = IDOf(C.Field);
    if (ID == -2) continue;
    const TWideStringList Phrases = CommaList(C.Phrases);
    for (int I = 0; I < Phrases.Count(); ++I) Next->AddContainer(Phrases[I], ID);
    const TWideStringList Yields = CommaList(C.YieldsTo);
    for (int I = 0; I < Yields.Count(); ++I)
      if (const int64_t Other = IDOf(Yields[I].c_str()); ID >= 0 && Other >= 0) Next->AddYield(ID, Other);
    const TWideStringList Spelled = CommaList(C.YieldsToSpelledOut);
    for (int I = 0; I < Spelled.Count(); ++I)
      if (const int64_t Other = IDOf(Spelled[I].c_str()); ID >= 0 && Other >= 0) Next->AddYield(ID, Other, true);
  }
  for (const TDefaultPart& P : DefaultParts())
    if (const int64_t ID = IDOf(P.Field), Whole = IDOf(P.Context); ID >= 0 && Whole >= 0) {
      const TWideStringList Phrases = CommaList(P.Phrases);
      for (int I = 0; I < Phrases.Count(); ++I) Next->AddPart(ID, Phrases[I], Whole);
    }
  for (const TDefaultFormYield& Y : DefaultFormYields())
    if (const int64_t From = IDOf(Y.Field), To = IDOf(Y.Instead); From >= 0 && To >= 0)
      Next->AddFormYield(Y.FormKind, From, To, Y.EvenSpecific);
  for (const TDefaultComplement& C : DefaultComplements())
    if (const int64_t From = IDOf(C.Field), Beside = IDOf(C.Neighbour), To = IDOf(C.Instead);
        From >= 0 && Beside >= 0 && To >= 0)
      Next->AddComplement(From, Beside, To);
  const TWideStringList NoField = CommaList(DefaultNoFieldPhrases());
  for (int I = 0; I < NoField.Count(); ++I) Next->AddNoFieldPhrase(NoField[I]);
  for (const TDefaultAutocomplete& A : DefaultAutocomplete()) {
    const int64_t ID = A.Field ? IDOf(A.Field) : TFieldRecognizer::NoField;
    if (ID >= 0 || !A.Field) Next->AddAutocomplete(A.Token, ID);
  }
  const TWideStringList NonText = CommaList(DefaultNonTextTypes());
  for (int I = 0; I < NonText.Count(); ++I) Next->AddNonTextType(NonText[I]);
  const TWideStringList Choice = CommaList(DefaultChoiceTypes());
  for (int I = 0; I < Choice.Count(); ++I) Next->AddChoiceType(Choice[I]);
  // The store's own type hints, with what the defaults say about each type.
  TStatement Hints(FDatabase, "SELECT input_type, field_id FROM type_hint");
  while (Hints.Step()) {
    const WideString Type = Locale().LowerCase(Hints.Text(0));
    bool Alone = false, Only = false;
    std::vector<int64_t> Overrules;
    for (const TDefaultTypeHint& H : DefaultTypeHints()) {
      if (Locale().LowerCase(WideString(H.InputType)) != Type) continue;
      Alone = H.Alone;
      Only = H.Only && IDOf(H.Field) == Hints.Int(1);
      const TWideStringList Fields = CommaList(H.Overrules);
      for (int I = 0; I < Fields.Count(); ++I)
        if (const int64_t ID = IDOf(Fields[I].c_str()); ID >= 0) Overrules.push_back(ID);
    }
    Next->AddTypeHint(Hints.Text(0), Hints.Int(1), Alone, Overrules, Only);
  }
  FRecognizer = std::move(Next);
  FLexiconVersion = LexiconVersion();
}

WideString TPelStore::LexiconVersion() {
  TReused Q(FDatabase, "SELECT value FROM state WHERE key = 'lexicon_version'");
  return Q->Step() ? Q->Text(0) : WideString();
}

std::shared_ptr<const TFieldRecognizer> TPelStore::Recognizer() {
  const int64_t DataVersion = ReadCache().Stamp.DataVersion;
  if (DataVersion != FDataVersion) {
    FDataVersion = DataVersion;
    if (LexiconVersion() != FLexiconVersion) LoadRecognizer();
  }
  return FRecognizer;
}

int64_t TPelStore::ProfileID(const WideString& Profile) {
  const WideString Name = Profile.empty() ? ActiveProfile() : Profile;
  TReadCache& Cache = ReadCache();
  if (auto It = Cache.ProfileIDs.find(Name); It != Cache.ProfileIDs.end()) return It->second;
  TReused Q(FDatabase, "SELECT id FROM profile WHERE name = ?");
  Q->Bind(1, Name);
  if (!Q->Step()) RaiseStoreError("There is no profile \"" + WideToAnsi(Name) + "\"");
  const int64_t ID = Q->Int(0);
  Cache.ProfileIDs.emplace(Name, ID);
  return ID;
}

int64_t TPelStore::FieldID(const WideString& Field) {
  TReused Q(FDatabase, "SELECT id FROM field WHERE name = ?");
  Q->Bind(1, Field);
  return Q->Step() ? Q->Int(0) : -1;
}

std::shared_ptr<const TPelStore::TProfileValues> TPelStore::ProfileValues(int64_t Owner) {
  TReadCache& Cache = ReadCache();
  std::shared_ptr<const TProfileValues>& Known = Cache.Values[Owner];
  if (Known) return Known;
  auto Read = std::make_shared<TProfileValues>();
  {
    TReused Q(FDatabase, "SELECT id, name FROM field");
    while (Q->Step()) Read->FieldNames.emplace(Q->Int(0), Q->Text(1));
  }
  TReused Q(FDatabase, "SELECT field_id, value_kind, data FROM profile_value WHERE profile_id = ?");
  Q->Bind(1, Owner);
  while (Q->Step())
    Read->Values.emplace(Q->Int(0), TProfileValues::TSealed{static_cast<int32_t>(Q->Int(1)), Q->Blob(2)});
  Known = std::move(Read);
  return Known;
}

WideString TPelStore::FieldName(int64_t ID) {
  TReadCache& Cache = ReadCache();
  if (auto It = Cache.FieldNames.find(ID); It != Cache.FieldNames.end()) return It->second;
  TReused Q(FDatabase, "SELECT name FROM field WHERE id = ?");
  Q->Bind(1, ID);
  WideString Name = Q->Step() ? Q->Text(0) : WideString();
  Cache.FieldNames.emplace(ID, Name);
  return Name;
}

// ---- profiles and fields

void TPelStore::FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                               const WideString& Name, const WideString&, WideString& ProfileField,
                               int32_t& ValueKind, WideString& Value, WideString& Values, bool& Found,
                               bool& LoginRequired) {
  Found = false;
  LoginRequired = false;
  Value.clear();
  Values.clear();
  int64_t Owner = -1, Field = -1;
  std::shared_ptr<const TFieldRecognizer> Snapshot;
  // The profile as this lookup found it, and the key it was read under.
  std::shared_ptr<const TProfileValues> Saved;
  uint64_t SavedUnder = 0;
  {
    std::lock_guard Guard(FLock);
    TReadTransaction Reading(FDatabase);
    if (Locked()) {
      // Not even which field a name stands for: the caller logs in and asks again.
      LoginRequired = true;
      return;
    }
    Owner = ProfileID(Profile);
    // A field asked for by name that the store does not know is simply not found: cards may still
    // carry bindings to fields deleted since.
    if (!ProfileField.empty())
      Field = FieldID(ProfileField);
    else if (!Name.empty())
      Snapshot = Recognizer();
    if (Field >= 0 || Snapshot) {
      Saved = ProfileValues(Owner);
      SavedUnder = FKeyGeneration;
    }
  }
  // Recognising a long caption takes its time; other windows are served meanwhile.
  if (Snapshot) {
    if (BeforeRecognition) BeforeRecognition();
    Field = Snapshot->Recognize(Name, InputType, TagName);
  }
  if (Field < 0) return;
  std::lock_guard Guard(FLock);
  // The store may have been locked meanwhile, or its key changed and every value sealed anew.
  // Either way the values read before are no longer this store's to open. Otherwise the lookup
  // answers as the file stood when it began: reading it again would cost a second transaction
  // for every control of a page.
  if (SavedUnder != FKeyGeneration) {
    TReadTransaction Reading(FDatabase);
    if (Locked()) {
      LoginRequired = true;
      return;
    }
    ProfileField = FieldName(Field);
    if (!ReadProfileValue(Owner, Field, ValueKind, Value, Values)) return;
    Found = !Value.empty() || !Values.empty();
    return;
  }
  const auto Named = Saved->FieldNames.find(Field);
  ProfileField = Named == Saved->FieldNames.end() ? WideString() : Named->second;
  const auto Sealed = Saved->Values.find(Field);
  if (Sealed == Saved->Values.end()) return;
  TBlob Plain;
  if (!Open(*FKey, Sealed->second.Data, ValueTag(Owner, Field, Sealed->second.Kind), Plain)) RaiseDamaged();
  ValueKind = Sealed->second.Kind;
  UnpackValue(Plain, Value, Values);
  Found = !Value.empty() || !Values.empty();
}

void TPelStore::GetProfiles(TVariant& Profiles, WideString& Current) {
  std::lock_guard Guard(FLock);
  TVariant::TStrings Names;
  TStatement Q(FDatabase, "SELECT name FROM profile ORDER BY id");
  while (Q.Step()) Names.push_back(Q.Text(0));
  Profiles = TVariant(std::move(Names));
  Current = ActiveProfile();
}

void TPelStore::GetProfileFields(TVariant& Fields, bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  LoginRequired = Locked();
  Fields = TVariant();
  if (LoginRequired) return;
  TVariant::TStrings Triples;
  TStatement Q(FDatabase, "SELECT name, hint, grp FROM field ORDER BY position");
  while (Q.Step())
    for (int C = 0; C < 3; ++C) Triples.push_back(Q.Text(C));
  Fields = TVariant(std::move(Triples));
}

void TPelStore::SetActiveProfile(const WideString& Profile) {
  {
    std::lock_guard Guard(FLock);
    TTransaction T(FDatabase);
    if (Profile.empty()) RaiseStoreError("No profile named to make active");
    TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES('active_profile', ?)")
        .Bind(1, StoredProfileName(Profile))
        .Run();
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

// Reads a profile value (or, for a field without one, the field's value kind), lets Change edit
// the value and its alternatives, and writes it back, all in one write transaction.
void TPelStore::ChangeProfileValue(const WideString& Profile, const WideString& ProfileField, bool& LoginRequired,
                                   const std::function<void(WideString& Value, TWideStringList& Alternatives)>& Change) {
  {
    std::lock_guard Guard(FLock);
    LoginRequired = Locked();
    if (LoginRequired) return;
    TTransaction T(FDatabase);
    const int64_t Owner = ProfileID(Profile);
    const int64_t Field = FieldID(ProfileField);
    if (Field < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(ProfileField) + "\"");
    WideString Value, Alternatives;
    int32_t Kind = 0;
    if (!ReadProfileValue(Owner, Field, Kind, Value, Alternatives)) {
      TStatement K(FDatabase, "SELECT value_kind FROM field WHERE id = ?");
      K.Bind(1, Field);
      if (K.Step()) Kind = static_cast<int32_t>(K.Int(0));
    }
    TWideStringList List(false, TDuplicates::dupIgnore);
    List.SetCommaText(Alternatives);
    Change(Value, List);
    WriteProfileValue(Owner, Field, Kind, Value, List.CommaText());
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

// Values is a comma text: its first entry becomes the value, all of them its alternatives.
void TPelStore::AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                              bool& LoginRequired) {
  ChangeProfileValue(Profile, ProfileField, LoginRequired, [&](WideString& Value, TWideStringList& List) {
    TWideStringList Added;
    Added.SetCommaText(Values);
    if (Added.IsEmpty()) RaiseStoreError("No value to add to \"" + WideToAnsi(ProfileField) + "\"");
    for (int I = 0; I < Added.Count(); ++I)
      if (List.IndexOf(Added[I]) < 0) List.Add(Added[I]);
    if (Value.empty()) Value = Added[0];
  });
}

void TPelStore::AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t) {
  {
    std::lock_guard Guard(FLock);
    TTransaction T(FDatabase);
    const int64_t Field = FieldID(ProfileField);
    if (Field < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(ProfileField) + "\"");
    const std::shared_ptr<const TFieldRecognizer> Current = Recognizer();
    if (Current->Normalize(Synonym).empty())
      RaiseStoreError("The synonym \"" + WideToAnsi(Synonym) + "\" has no words that could name a field");
    TStatement(FDatabase, "INSERT OR IGNORE INTO synonym(field_id, phrase) VALUES(?,?)").Bind(1, Field).Bind(2, Synonym).Run();
    // Other store processes on the file reload their recognition data when this changes.
    FDatabase.Exec(
        "INSERT INTO state(key, value) VALUES('lexicon_version', '1')"
        " ON CONFLICT(key) DO UPDATE SET value = CAST(value AS INTEGER) + 1");
    T.Commit();
    // Windows may still be recognising with the current snapshot: the change makes a new one.
    LoadRecognizer();
  }
  Fire(DISPID_OnLexiconChange);
}

// ---- settings

void TPelStore::GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) {
  std::lock_guard Guard(FLock);
  TStatement Q(FDatabase, "SELECT flags FROM setting WHERE site_key = ?");
  Q.Bind(1, SiteKey);
  Found = Q.Step();
  Flags = Found ? static_cast<int32_t>(Q.Int(0)) : 0;
  // Browsers take the default set as it comes, found or not: a store nobody has set options in
  // yet answers the options a new user starts with, not every option off.
  if (!Found && SiteKey.empty()) Flags = PackOptions(TBVOptions());
}

// The site's set is always written; SetDefault also makes it the default set. Handled: the store
// has kept them and tells every window through OnSettingsChange, so the caller need not.
void TPelStore::SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll,
                            bool& Handled) {
  {
    std::lock_guard Guard(FLock);
    TTransaction T(FDatabase);
    TStatement Put(FDatabase, "INSERT OR REPLACE INTO setting(site_key, flags) VALUES(?,?)");
    Put.Bind(1, SiteKey).Bind(2, Flags).Run();
    if (SetDefault) {
      Put.Bind(1, WideString()).Bind(2, Flags).Run();
      // Applied to all: the sites' own sets give way to the new default.
      if (ApplyToAll) FDatabase.Exec("DELETE FROM setting WHERE site_key <> ''");
    }
    T.Commit();
  }
  Handled = true;
  Fire(DISPID_OnSettingsChange, {TVariant(SetDefault && ApplyToAll)});
}

// ---- the host's and the page's calls

void TPelStore::ShowManager(const WideString& A, const WideString& Key, const WideString& Name) {
  // The store has no window of its own: the host that runs it shows its manager.
  std::function<void(const WideString&, const WideString&, const WideString&)> Handler;
  {
    std::lock_guard Guard(FLock);
    Handler = OnShowManager;
  }
  if (Handler) Handler(A, Key, Name);
}

void TPelStore::GetFormCaption(int32_t, WideString& Caption, WideString& Hint) {
  Caption.clear();
  Hint.clear();
}

void TPelStore::NotifyDocumentComplete() {}
int32_t TPelStore::GetDisplayMode() { return 0; }
TVariant TPelStore::GetBanner(const TVariant&) { return TVariant(); }
void TPelStore::ReportPage(uint32_t, const WideString&, const WideString&, const TVariant&) {}

// ---- form cards and records

namespace {

TBlob VariantBytes(const TVariant& V) {
  if (V.VarType() != TVarType::ByteArray) RaiseStoreError("The data is not a byte stream");
  return V.AsBytes();
}

// Read leniently as the add-on reads it; only a string length no data could back raises, and that
// becomes the store's own error rather than leaving through a window's call as a stray exception.
void LoadFormSet(const TBlob& Bytes, TTransitFormSet& Set) {
  TMemoryStream S(Bytes);
  try {
    Set.LoadFromStream(S);
  } catch (const EIntOverflow&) {
    RaiseStoreError("The form set cannot be read: a string in it claims more characters than it could hold");
  }
}

// The set as it will be stored, refused when it holds no card.
void ReadFormSet(const TVariant& V, TTransitFormSet& Set) {
  LoadFormSet(VariantBytes(V), Set);
  if (Set.Count() == 0) RaiseStoreError("The form set holds no form card");
}

std::vector<WideString> Fingerprints(const TTransitFormSet& Set) {
  std::vector<WideString> Result;
  for (const TTransitFormCard& Card : Set) Result.push_back(Card.FieldsText());
  return Result;
}

}  // namespace

// Profile names compare without case, as the profile table does; what is kept and answered is the
// profile's own spelling, so that the current profile is always one of the list and per-profile
// defaults are found whatever spelling a caller used (files that kept a caller's spelling included).
WideString TPelStore::ActiveProfile() {
  TReadCache& Cache = ReadCache();
  if (Cache.HaveActive) return Cache.Active;
  TReused Q(FDatabase,
            "SELECT coalesce((SELECT name FROM profile WHERE name = s.value), s.value) FROM state s"
            " WHERE s.key = 'active_profile'");
  Cache.Active = Q->Step() ? Q->Text(0) : WideString();
  Cache.HaveActive = true;
  return Cache.Active;
}

WideString TPelStore::StoredProfileName(const WideString& Profile) {
  TStatement Q(FDatabase, "SELECT name FROM profile WHERE name = ?");
  Q.Bind(1, Profile);
  if (!Q.Step()) RaiseStoreError("There is no profile \"" + WideToAnsi(Profile) + "\"");
  return Q.Text(0);
}

// The default of the active profile, else the one for all profiles.
WideString TPelStore::DefaultName(const WideString& SetName) {
  TStatement Q(FDatabase,
               "SELECT name FROM default_item WHERE set_name = ? AND profile COLLATE NOCASE IN (?, '')"
               " ORDER BY profile DESC LIMIT 1");
  Q.Bind(1, SetName).Bind(2, ActiveProfile());
  return Q.Step() ? Q.Text(0) : WideString();
}

void TPelStore::CheckKind(int32_t Kind) {
  if (Kind < rkNavigation || Kind > rkAuthentication)
    RaiseStoreError("Unknown record kind " + IntToStr(Kind) + " (1 navigation, 2 mail card, 3 authentication)");
}

void TPelStore::SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString&,
                             const TVariant& FormSet, bool& Saved, bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    Saved = false;
    LoginRequired = Locked();
    if (LoginRequired) return;
    TTransitFormSet Set;
    ReadFormSet(FormSet, Set);
    TMemoryStream S;
    Set.SaveToStream(S);
    TTransaction T(FDatabase);
    WideString Stored = Name;
    // An empty name: the store picks the first free "Form card N" of the set.
    for (int N = 1; Stored.empty(); ++N) {
      const WideString Candidate = AsciiToWide("Form card " + IntToStr(N));
      TStatement Q(FDatabase, "SELECT 1 FROM item WHERE kind = 0 AND set_name = ? AND name = ?");
      Q.Bind(1, URLKey).Bind(2, Candidate);
      if (!Q.Step()) Stored = Candidate;
    }
    WriteItem(0, URLKey, Stored, S.Bytes());
    T.Commit();
    Saved = true;
  }
  Fire(DISPID_OnDatabaseChange);
}

void TPelStore::FindSavedFormCard(const WideString& URLKey, const TVariant& FormSet, WideString& Name) {
  std::lock_guard Guard(FLock);
  Name.clear();
  TTransitFormSet Given;
  ReadFormSet(FormSet, Given);
  // Locked, the cards cannot be compared: nothing is known to be stored yet.
  if (Locked()) return;
  const std::vector<WideString> Wanted = Fingerprints(Given);
  TStatement Q(FDatabase, "SELECT name, data FROM item WHERE kind = 0 AND set_name = ? ORDER BY name");
  Q.Bind(1, URLKey);
  while (Q.Step()) {
    TTransitFormSet Stored;
    LoadFormSet(OpenBlob(Q.Blob(1), ItemTag(0, URLKey, Q.Text(0))), Stored);
    if (Fingerprints(Stored) == Wanted) {
      Name = Q.Text(0);
      return;
    }
  }
}

// A field bound to a profile field carries the active profile's current value.
void TPelStore::GetFormCard(const WideString& SetName, const WideString& Name, const WideString&, TVariant& FormSet,
                            bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  FormSet = TVariant();
  LoginRequired = Locked();
  if (LoginRequired) return;
  TBlob Data;
  if (!ReadItem(0, SetName, Name, Data)) return;
  TTransitFormSet Set;
  LoadFormSet(Data, Set);
  const int64_t Owner = ProfileID(u"");
  for (TTransitFormCard& Card : Set)
    for (TTransitField& Field : Card.Fields) {
      if (Field.ProfileField.empty()) continue;
      const int64_t Bound = FieldID(Field.ProfileField);
      if (Bound >= 0) ReadProfileValue(Owner, Bound, Field.ValueKind, Field.Value, Field.Values);
    }
  TMemoryStream Out;
  Set.SaveToStream(Out);
  StreamToVariant(Out, FormSet);
}

void TPelStore::SetDefaultFormCard(const WideString& SetName, const WideString& Name, const WideString& Profile,
                                   bool AllProfiles) {
  {
    std::lock_guard Guard(FLock);
    TTransaction T(FDatabase);
    WideString Owner;
    if (!AllProfiles) {
      Owner = StoredProfileName(Profile.empty() ? ActiveProfile() : Profile);
    }
    if (Name.empty()) {
      TStatement(FDatabase, "DELETE FROM default_item WHERE set_name = ? AND profile = ?").Bind(1, SetName).Bind(2, Owner).Run();
    } else {
      TStatement Q(FDatabase, "SELECT 1 FROM item WHERE set_name = ? AND name = ?");
      Q.Bind(1, SetName).Bind(2, Name);
      if (!Q.Step()) RaiseStoreError("There is nothing named \"" + WideToAnsi(Name) + "\" to make the default");
      TStatement(FDatabase, "INSERT OR REPLACE INTO default_item(set_name, profile, name) VALUES(?,?,?)")
          .Bind(1, SetName)
          .Bind(2, Owner)
          .Bind(3, Name)
          .Run();
    }
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

// Removes everything of that name in the set, card or record, and any default naming it.
void TPelStore::DeleteRecord(const WideString& SetName, const WideString& Name, bool& LoginRequired) {
  int Removed = 0;
  {
    std::lock_guard Guard(FLock);
    // Locked, nothing is removed: a store must not lose its cards to whoever lacks the password.
    LoginRequired = Locked();
    if (LoginRequired) return;
    TTransaction T(FDatabase);
    TStatement(FDatabase, "DELETE FROM item WHERE set_name = ? AND name = ?").Bind(1, SetName).Bind(2, Name).Run();
    Removed = FDatabase.Changes();
    TStatement(FDatabase, "DELETE FROM default_item WHERE set_name = ? AND name = ?").Bind(1, SetName).Bind(2, Name).Run();
    if (Removed) MarkWipe();
    T.Commit();
    // secure_delete blanks the rows in the file's pages, but the log keeps the pages as they were
    // until it is folded in: the deleted secret leaves the files only then. Best effort: a reader
    // elsewhere may hold the log, and the mark has the next open try again.
    if (Removed) CheckpointFile();
  }
  if (Removed) Fire(DISPID_OnDatabaseChange);
}

// One line per stored name of the set: "1=name" when it is the default for all profiles, else "0=name".
void TPelStore::GetNameChoices(const WideString& Key, WideString& Existing, WideString& Default) {
  std::lock_guard Guard(FLock);
  Existing.clear();
  TStatement Q(FDatabase,
               "SELECT DISTINCT i.name, EXISTS(SELECT 1 FROM default_item d WHERE d.set_name = i.set_name"
               " AND d.profile = '' AND d.name = i.name) FROM item i WHERE i.set_name = ? ORDER BY i.name");
  Q.Bind(1, Key);
  while (Q.Step()) {
    if (!Existing.empty()) Existing += u"\r\n";
    Existing += (Q.Int(1) ? u"1=" : u"0=") + Q.Text(0);
  }
  Default = DefaultName(Key);
}

void TPelStore::FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) {
  std::lock_guard Guard(FLock);
  CheckKind(Kind);
  Name.clear();
  const TBlob Wanted = VariantBytes(Data);
  if (Locked()) return;
  TStatement Q(FDatabase, "SELECT name, data FROM item WHERE kind = ? AND set_name = ? ORDER BY name");
  Q.Bind(1, Kind).Bind(2, Key);
  while (Q.Step())
    if (OpenBlob(Q.Blob(1), ItemTag(Kind, Key, Q.Text(0))) == Wanted) {
      Name = Q.Text(0);
      return;
    }
}

namespace {

// The user name of authentication record data (its first string), when the data reads as such.
WideString RecordUserName(const TBlob& Bytes) {
  TMemoryStream S(Bytes);
  WideString User;
  try {
    if (!ReadWideString(S, User)) return WideString();
  } catch (const EIntOverflow&) {
    return WideString();
  }
  size_t First = 0, Last = User.size();
  while (First < Last && User[First] <= u' ') ++First;
  while (Last > First && User[Last - 1] <= u' ') --Last;
  return User.substr(First, Last - First);
}

}  // namespace

// A record saved without a name (the credential agent's silent save) is named after its user
// name, else its site, else "Record"; a name already taken gets " (2)", " (3)", … so that a
// silent save never replaces a record the user kept.
WideString TPelStore::FreeRecordName(int32_t Kind, const WideString& Key, const TBlob& Bytes) {
  WideString Base = Kind == rkAuthentication ? RecordUserName(Bytes) : WideString();
  if (Base.empty()) Base = Key;
  if (Base.empty()) Base = u"Record";
  TStatement Q(FDatabase, "SELECT 1 FROM item WHERE kind = ? AND set_name = ? AND name = ?");
  for (int N = 1;; ++N) {
    const WideString Candidate = N == 1 ? Base : Base + AsciiToWide(" (" + IntToStr(N) + ")");
    Q.Bind(1, Kind).Bind(2, Key).Bind(3, Candidate);
    const bool Taken = Q.Step();
    Q.Reset();
    if (!Taken) return Candidate;
  }
}

void TPelStore::SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString&,
                           const TVariant& Data, bool& Saved, bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    Saved = false;
    LoginRequired = false;
    CheckKind(Kind);
    const TBlob Bytes = VariantBytes(Data);
    LoginRequired = Locked();
    if (LoginRequired) return;
    TTransaction T(FDatabase);
    const WideString Stored = Name.empty() ? FreeRecordName(Kind, Key, Bytes) : Name;
    WriteItem(Kind, Key, Stored, Bytes);
    T.Commit();
    Saved = true;
  }
  Fire(DISPID_OnDatabaseChange);
}

void TPelStore::GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) {
  std::lock_guard Guard(FLock);
  CheckKind(Kind);
  TNamePairs Pairs;
  TStatement Q(FDatabase, "SELECT set_name, name FROM item WHERE kind = ? AND set_name = ? ORDER BY name");
  Q.Bind(1, Kind).Bind(2, URLKey);
  while (Q.Step()) Pairs.push_back({Q.Text(0), Q.Text(1)});
  List = PairsToVariant(Pairs);
  Current = DefaultName(URLKey);
}

void TPelStore::GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString&,
                          TVariant& Data, bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  CheckKind(Kind);
  Data = TVariant();
  LoginRequired = Locked();
  if (LoginRequired) return;
  TBlob Bytes;
  if (ReadItem(Kind, SetName, Name, Bytes)) Data = TVariant(Bytes);
}

// Another page's card counts when it agrees with a captured form at least this well (0..100).
constexpr int ForeignMatchScore = 50;

// Every item of the page's own set first, then the cards of other sets that match a captured form.
void TPelStore::FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                              WideString& Name, bool& Matched) {
  std::lock_guard Guard(FLock);
  TTransitFormSet Captured;
  if (!Forms.IsEmptyOrNull()) {
    LoadFormSet(VariantBytes(Forms), Captured);
  }
  // Locked, other pages' cards cannot be compared; the page's own are listed by name, and
  // filling one asks for the password.
  const bool Compare = Captured.Count() > 0 && !Locked();
  TNamePairs Own, Foreign;
  TStatement Q(FDatabase, "SELECT set_name, name, data FROM item WHERE kind = 0 ORDER BY set_name, name");
  while (Q.Step()) {
    const WideString Set = Q.Text(0);
    if (Set == URLKey) {
      Own.push_back({Set, Q.Text(1)});
      continue;
    }
    if (!Compare) continue;
    TTransitFormSet Stored;
    LoadFormSet(OpenBlob(Q.Blob(2), ItemTag(0, Set, Q.Text(1))), Stored);
    for (const TTransitFormCard& Card : Captured) {
      TTransitFormCard Probe;
      Probe.Assign(Card);
      if (Stored.FindBestMatch(Probe) >= ForeignMatchScore) {
        Foreign.push_back({Set, Q.Text(1)});
        break;
      }
    }
  }
  Own.insert(Own.end(), Foreign.begin(), Foreign.end());
  Matched = !Own.empty();
  Cards = PairsToVariant(Own);
  Name = DefaultName(URLKey);
  SetName = Name.empty() ? WideString() : URLKey;
}

// ---- the lexicon

// The add-on's lexicon: the store's stop words and its substitutions, as a version 13 stream.
TVariant TPelStore::GetLexicon() {
  std::lock_guard Guard(FLock);
  TLexicon Lexicon;
  Lexicon.Clear();
  TWideStringList Stop(true, TDuplicates::dupIgnore);
  TStatement Words(FDatabase, "SELECT word FROM stop_word");
  while (Words.Step()) Stop.Add(Words.Text(0));
  Lexicon.SetStopWords(Stop);
  TStatement Items(FDatabase, "SELECT name, vals FROM substitution ORDER BY name");
  while (Items.Step()) {
    TWideStringList Values;
    Values.SetCommaText(Items.Text(1));
    Lexicon.AddSubstitution(Items.Text(0), Values);
  }
  TMemoryStream S;
  Lexicon.SaveToStream(S);
  TVariant Result;
  StreamToVariant(S, Result);
  return Result;
}

// ---- the master password

bool TPelStore::HasMasterPassword() {
  std::lock_guard Guard(FLock);
  TStatement Q(FDatabase, "SELECT salt IS NOT NULL FROM keyring WHERE id = 1");
  return Q.Step() && Q.Int(0) != 0;
}

namespace {

[[noreturn]] void RaiseWrongPassword() {
  throw EOleException("The master password is not right", HR_E_ACCESSDENIED, "PelStore", "", 0);
}

}  // namespace

void TPelStore::Login(const WideString& Password) {
  TKeyring Keyring;
  {
    std::lock_guard Guard(FLock);
    Keyring = ReadKeyring(FDatabase);
  }
  // Without a master password there is nothing to unlock, and no password is wrong.
  if (!Keyring.Protected) return;
  // Deriving the key takes long on purpose; other windows are served meanwhile.
  const TKey PasswordKey = DeriveKey(Password, Keyring.Salt, Keyring.Cost);
  TKey Key = OpenKey(*PasswordKey, Keyring.Sealed, KeyringTag);
  if (!Key) RaiseWrongPassword();
  bool WasLocked = false;
  {
    std::lock_guard Guard(FLock);
    // The password may have been changed while the key was derived.
    if (ReadKeyring(FDatabase).Stamp != Keyring.Stamp) RaiseWrongPassword();
    WasLocked = Locked();
    TBlob Stamp = Keyring.Stamp;
    if (LegacyValueTags()) {
      TTransaction T(FDatabase);
      if (ReadKeyring(FDatabase).Stamp != Keyring.Stamp) RaiseWrongPassword();
      TKey Upgraded = NewRandomKey();
      Reseal(*Key, *Upgraded, true);
      const TBlob Sealed = SealKey(*PasswordKey, *Upgraded, KeyringTag);
      TStatement(FDatabase, "UPDATE keyring SET data_key = ? WHERE id = 1").Bind(1, Sealed).Run();
      TStatement(FDatabase, "DELETE FROM state WHERE key = ?").Bind(1, AsciiToWide(LegacyTagsState)).Run();
      MarkWipe();
      T.Commit();
      Key = std::move(Upgraded);
      Stamp = Fingerprint(Sealed.data(), Sealed.size());
      // Best effort: logging in does not fail for a reader elsewhere; the next open tries again.
      CheckpointFile();
    }
    TakeKey(std::move(Key));
    FKeyringStamp = std::move(Stamp);
  }
  if (WasLocked) Fire(DISPID_OnLogin, {TVariant(true)});
}

void TPelStore::Logout() {
  {
    std::lock_guard Guard(FLock);
    // Without a master password the store cannot be locked.
    if (Locked() || !ReadKeyring(FDatabase).Protected) return;
    TakeKey(nullptr);
  }
  Fire(DISPID_OnLogin, {TVariant(false)});
}

bool TPelStore::GetLoggedIn() {
  std::lock_guard Guard(FLock);
  return !Locked();
}

void TPelStore::SetMasterPassword(const WideString& Current, const WideString& New, const TKeyCost& Cost) {
  bool WasLocked = false, Wiped = true;
  {
    std::lock_guard Guard(FLock);
    if (!New.empty() && !Cost.Valid()) RaiseStoreError("The cost asked for the master password is out of range");
    WasLocked = Locked();
    // The keyring is read under the write lock that replaces it: another process changing the
    // password meanwhile would otherwise have its key overwritten and its values lost.
    TTransaction T(FDatabase);
    TKeyring Keyring = ReadKeyring(FDatabase);
    TKey Old = std::move(Keyring.Clear);
    if (Keyring.Protected) {
      Old = OpenKey(*DeriveKey(Current, Keyring.Salt, Keyring.Cost), Keyring.Sealed, KeyringTag);
      if (!Old) RaiseWrongPassword();
    }
    TKey Key = NewRandomKey();
    if (LegacyValueTags()) {
      Reseal(*Old, *Key, true);
      TStatement(FDatabase, "DELETE FROM state WHERE key = ?").Bind(1, AsciiToWide(LegacyTagsState)).Run();
    } else {
      Reseal(*Old, *Key, false);
    }
    TStatement Put(FDatabase, "UPDATE keyring SET salt = ?, ops_limit = ?, mem_limit = ?, data_key = ? WHERE id = 1");
    TBlob Stamp;
    if (New.empty()) {
      Stamp = Fingerprint(Key->Data(), TSecretKey::Size);
      Put.BindNull(1).Bind(2, int64_t{0}).Bind(3, int64_t{0}).BindInPlace(4, Key->Data(), TSecretKey::Size).Run();
    } else {
      const TBlob Salt = RandomBytes(SaltSize);
      const TKey PasswordKey = DeriveKey(New, Salt, Cost);
      const TBlob Sealed = SealKey(*PasswordKey, *Key, KeyringTag);
      Stamp = Fingerprint(Sealed.data(), Sealed.size());
      Put.Bind(1, Salt)
          .Bind(2, static_cast<int64_t>(Cost.OpsLimit))
          .Bind(3, static_cast<int64_t>(Cost.MemLimit))
          .Bind(4, Sealed)
          .Run();
    }
    MarkWipe();
    T.Commit();
    TakeKey(std::move(Key));
    FKeyringStamp = std::move(Stamp);
    Wiped = CheckpointFile();
  }
  if (WasLocked) Fire(DISPID_OnLogin, {TVariant(true)});
  if (!Wiped)
    RaiseStoreError("The master password was changed, but another program reading the store file keeps the old key"
                    " in the store's log, so it could not be removed yet. Close that program; the store removes the"
                    " old key when it is next opened");
}

// Every sealed value, opened with From and sealed again with To, in the caller's transaction.
void TPelStore::Reseal(const TSecretKey& From, const TSecretKey& To, bool Legacy) {
  RewriteSecrets(
      [&](const TBlob& Sealed, const TBlob& ReadTag, const TBlob& WriteTag) {
        TBlob Plain;
        if (!Open(From, Sealed, ReadTag, Plain)) RaiseDamaged();
        return Seal(To, Plain, WriteTag);
      },
      Legacy);
}

// Every secret of the file, each replaced by what Change makes of it and its tag. The rows are
// read first: SQLite does not promise what a scan sees of rows updated under it.
void TPelStore::RewriteSecrets(
    const std::function<TBlob(const TBlob& Data, const TBlob& ReadTag, const TBlob& WriteTag)>& Change,
    bool Legacy) {
  struct TRow {
    int64_t ID1, ID2, ID3;
    WideString Set, Name;
    TBlob Data;
  };
  std::vector<TRow> Rows;
  {
    TStatement Q(FDatabase, "SELECT profile_id, field_id, value_kind, data FROM profile_value");
    while (Q.Step()) Rows.push_back({Q.Int(0), Q.Int(1), Q.Int(2), {}, {}, Q.Blob(3)});
  }
  TStatement PutValue(FDatabase, "UPDATE profile_value SET data = ? WHERE profile_id = ? AND field_id = ?");
  for (const TRow& R : Rows) {
    const TBlob Tag = ValueTag(R.ID1, R.ID2, R.ID3);
    PutValue.Bind(1, Change(R.Data, Legacy ? LegacyValueTag(R.ID1, R.ID2) : Tag, Tag)).Bind(2, R.ID1).Bind(3, R.ID2).Run();
  }
  Rows.clear();
  {
    TStatement Q(FDatabase, "SELECT kind, set_name, name, data FROM item");
    while (Q.Step()) Rows.push_back({Q.Int(0), 0, 0, Q.Text(1), Q.Text(2), Q.Blob(3)});
  }
  TStatement PutItem(FDatabase, "UPDATE item SET data = ? WHERE kind = ? AND set_name = ? AND name = ?");
  for (const TRow& R : Rows) {
    const TBlob Tag = ItemTag(R.ID1, R.Set, R.Name);
    PutItem.Bind(1, Change(R.Data, Tag, Tag)).Bind(2, R.ID1).Bind(3, R.Set).Bind(4, R.Name).Run();
  }
  Rows.clear();
  {
    TStatement Q(FDatabase, "SELECT field_id, data FROM field_choice");
    while (Q.Step()) Rows.push_back({Q.Int(0), 0, 0, {}, {}, Q.Blob(1)});
  }
  TStatement PutChoice(FDatabase, "UPDATE field_choice SET data = ? WHERE field_id = ?");
  for (const TRow& R : Rows) {
    const TBlob Tag = ChoiceTag(R.ID1);
    PutChoice.Bind(1, Change(R.Data, Tag, Tag)).Bind(2, R.ID1).Run();
  }
}

// ---- values a page field offers

// Every value a page field offers, one per line (a select's options). The store keeps them as the
// choices of the profile field they belong to: the one whose values, in any profile, or whose
// choices learnt before, are most often among them. Values that belong to no field are refused,
// for nothing could use them.
void TPelStore::AddAllValues(const WideString& Text) {
  {
    std::lock_guard Guard(FLock);
    if (Locked()) RaiseLocked();
    TWideStringList Offered;
    size_t Start = 0;
    while (Start <= Text.size()) {
      size_t End = Text.find_first_of(u"\r\n", Start);
      if (End == WideString::npos) End = Text.size();
      size_t First = Start, Last = End;
      while (First < Last && Text[First] <= u' ') ++First;
      while (Last > First && Text[Last - 1] <= u' ') --Last;
      const WideString Line = Text.substr(First, Last - First);
      if (!Line.empty() && Offered.IndexOf(Line) < 0) Offered.Add(Line);
      Start = End + 1;
    }
    if (Offered.IsEmpty()) RaiseStoreError("There are no values to add");
    // What is known and what is added are read and written under one write lock: another store
    // process adding at the same time must not have its choices overwritten.
    TTransaction T(FDatabase);

    std::map<int64_t, TWideStringList> Known;
    {
      TStatement Q(FDatabase, "SELECT profile_id, field_id, value_kind, data FROM profile_value");
      while (Q.Step()) {
        WideString Value, Values;
        UnpackValue(OpenBlob(Q.Blob(3), ValueTag(Q.Int(0), Q.Int(1), Q.Int(2))), Value, Values);
        TWideStringList& List = Known[Q.Int(1)];
        List.Add(Value);
        AddCommaText(List, Values);
      }
      // What a field was taught before counts as its values too, so a list can grow page by page.
      TStatement C(FDatabase, "SELECT field_id FROM field_choice");
      while (C.Step()) AddCommaText(Known[C.Int(0)], ReadChoices(C.Int(0)));
    }
    int64_t Best = -1;
    int BestScore = 0;
    TStatement Fields(FDatabase, "SELECT id FROM field ORDER BY position");
    while (Fields.Step()) {
      const auto It = Known.find(Fields.Int(0));
      if (It == Known.end()) continue;
      int Score = 0;
      for (int I = 0; I < Offered.Count(); ++I)
        if (It->second.IndexOf(Offered[I]) >= 0) ++Score;
      if (Score > BestScore) {
        Best = It->first;
        BestScore = Score;
      }
    }
    if (Best < 0)
      RaiseStoreError("None of these values is a value of a profile field, so the store cannot tell where they belong");

    TWideStringList Choices;
    Choices.SetCommaText(ReadChoices(Best));
    const int Before = Choices.Count();
    for (int I = 0; I < Offered.Count(); ++I)
      if (Choices.IndexOf(Offered[I]) < 0) Choices.Add(Offered[I]);
    if (Choices.Count() == Before) return;
    TMemoryStream S;
    WriteWideString(S, Choices.CommaText());
    TStatement(FDatabase, "INSERT OR REPLACE INTO field_choice(field_id, data) VALUES(?,?)")
        .Bind(1, Best)
        .Bind(2, SealBlob(S.Bytes(), ChoiceTag(Best)))
        .Run();
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

WideString TPelStore::GetFieldChoices(const WideString& Field, bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  LoginRequired = Locked();
  if (LoginRequired) return WideString();
  const int64_t ID = FieldID(Field);
  if (ID < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(Field) + "\"");
  return ReadChoices(ID);
}

}  // namespace pel::store
