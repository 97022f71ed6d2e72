// Form cards and records: sealed streams in one item table, each named within a set (a page's or
// a site's key), with a default per profile or for all profiles.

#include "PelStore.h"

#include "Common/StoreStreams.h"
#include "Common/TransitForms.h"
#include "PelStoreInternal.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

namespace pel::store {

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
      TStatement(FDatabase, "DELETE FROM default_item WHERE set_name = ? AND profile = ?")
          .Bind(1, SetName)
          .Bind(2, Owner)
          .Run();
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
    TStatement(FDatabase, "DELETE FROM default_item WHERE set_name = ? AND name = ?")
        .Bind(1, SetName)
        .Bind(2, Name)
        .Run();
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

}  // namespace pel::store
