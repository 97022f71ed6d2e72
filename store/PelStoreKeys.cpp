// The data key and the master password: the tags every sealed value is bound to, the keyring,
// sealing and opening with the key held (and noticing another store's change of it), Login and
// Logout, and every secret sealed anew when the password changes.

#include "PelStore.h"

#include "Common/TransitForms.h"
#include "PelStoreInternal.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

namespace pel::store {

namespace {

// What a sealed value is: its table and row key, each part length-prefixed so that no two rows
// share a tag.
TBlob Tag(std::initializer_list<WideString> Parts) {
  TMemoryStream S;
  for (const WideString& Part : Parts) WriteWideString(S, Part);
  return S.Bytes();
}

WideString Number(int64_t Value) { return AsciiToWide(IntToStr(Value)); }

}  // namespace

// A value's kind says how a page applies it (select options by words or by phrases): it is bound
// too, so that a kind changed in the file makes the value unreadable rather than misapplied.
TBlob ValueTag(int64_t Profile, int64_t Field, int64_t Kind) {
  return Tag({u"profile_value", Number(Profile), Number(Field), Number(Kind)});
}

namespace {

// As files before schema version 5 sealed values, without their kind.
TBlob LegacyValueTag(int64_t Profile, int64_t Field) { return Tag({u"profile_value", Number(Profile), Number(Field)}); }

}  // namespace

// Set while a file with a master password still holds values sealed without their kind: the
// first Login seals them again (it has the password the keyring needs).
constexpr const char* LegacyTagsState = "legacy_value_tags";
TBlob ItemTag(int64_t Kind, const WideString& SetName, const WideString& Name) {
  return Tag({u"item", Number(Kind), SetName, Name});
}
TBlob ChoiceTag(int64_t Field) { return Tag({u"field_choice", Number(Field)}); }

const TBlob& KeyringAssociatedData() {
  static const TBlob Keyring = Tag({u"keyring"});
  return Keyring;
}

namespace {

const TBlob& KeyringTag = KeyringAssociatedData();

}  // namespace

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

[[noreturn]] void RaiseLocked() {
  throw EOleException("The store is locked: log in with the master password first", HR_E_ACCESSDENIED, "PelStore", "",
                      0);
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
    RaiseStoreError(
        "The master password was changed, but another program reading the store file keeps the old key"
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
    const std::function<TBlob(const TBlob& Data, const TBlob& ReadTag, const TBlob& WriteTag)>& Change, bool Legacy) {
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
    PutValue.Bind(1, Change(R.Data, Legacy ? LegacyValueTag(R.ID1, R.ID2) : Tag, Tag))
        .Bind(2, R.ID1)
        .Bind(3, R.ID2)
        .Run();
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

}  // namespace pel::store
