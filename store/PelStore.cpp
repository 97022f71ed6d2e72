#include "PelStore.h"

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

}  // namespace

TPelStore::TPelStore(const std::string& FileName) : FDatabase(FileName) {
  // WAL: readers never wait for the writer; FULL makes a commit durable once it returned.
  FDatabase.Exec("PRAGMA journal_mode=WAL");
  FDatabase.Exec("PRAGMA synchronous=FULL");
  FDatabase.Exec("PRAGMA foreign_keys=ON");
  FEvents.AddConnectionPoint(DIID_IPelServerEvents);
  Migrate();
  LoadRecognizer();
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

void TPelStore::NotYet(const char* Method) {
  throw EOleException(AnsiString("The store does not serve ") + Method + " yet", HR_E_NOTIMPL, "PelStore", "", 0);
}

// ---- schema

int TPelStore::SchemaVersion() {
  std::lock_guard Guard(FLock);
  TStatement Q(FDatabase, "SELECT version FROM schema_version");
  return Q.Step() ? static_cast<int>(Q.Int(0)) : 0;
}

// Each step takes the file from one version to the next in one transaction, so an interrupted
// migration leaves the previous version intact.
void TPelStore::Migrate() {
  FDatabase.Exec("CREATE TABLE IF NOT EXISTS schema_version(version INTEGER NOT NULL)");
  int Version = SchemaVersion();
  if (Version > StoreSchemaVersion)
    RaiseStoreError("The store database has schema version " + IntToStr(Version) + ", newer than this store's " +
                    IntToStr(StoreSchemaVersion));
  while (Version < StoreSchemaVersion) {
    TTransaction T(FDatabase);
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
    }
    ++Version;
    FDatabase.Exec("DELETE FROM schema_version");
    TStatement(FDatabase, "INSERT INTO schema_version(version) VALUES(?)").Bind(1, Version).Run();
    T.Commit();
  }
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
    TStatement(FDatabase, "INSERT INTO type_hint(input_type, field_id) SELECT ?, id FROM field WHERE name = ?")
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

void TPelStore::LoadRecognizer() {
  FRecognizer.Clear();
  TWideStringList Stop(true, TDuplicates::dupIgnore);
  TStatement Words(FDatabase, "SELECT word FROM stop_word");
  while (Words.Step()) Stop.Add(Words.Text(0));
  FRecognizer.SetStopWords(Stop);
  TStatement Syn(FDatabase, "SELECT field_id, phrase FROM synonym");
  while (Syn.Step()) FRecognizer.AddSynonym(Syn.Int(0), Syn.Text(1));
  TStatement Hints(FDatabase, "SELECT input_type, field_id FROM type_hint");
  while (Hints.Step()) FRecognizer.AddTypeHint(Hints.Text(0), Hints.Int(1));
}

int64_t TPelStore::ProfileID(const WideString& Profile) {
  WideString Name = Profile;
  if (Name.empty()) {
    TStatement Q(FDatabase, "SELECT value FROM state WHERE key = 'active_profile'");
    if (Q.Step()) Name = Q.Text(0);
  }
  TStatement Q(FDatabase, "SELECT id FROM profile WHERE name = ?");
  Q.Bind(1, Name);
  if (!Q.Step()) RaiseStoreError("There is no profile \"" + WideToAnsi(Name) + "\"");
  return Q.Int(0);
}

int64_t TPelStore::FieldID(const WideString& Field) {
  TStatement Q(FDatabase, "SELECT id FROM field WHERE name = ?");
  Q.Bind(1, Field);
  return Q.Step() ? Q.Int(0) : -1;
}

WideString TPelStore::FieldName(int64_t ID) {
  TStatement Q(FDatabase, "SELECT name FROM field WHERE id = ?");
  Q.Bind(1, ID);
  return Q.Step() ? Q.Text(0) : WideString();
}

// ---- profiles and fields

void TPelStore::FindFieldValue(const WideString& Profile, const WideString&, const WideString& InputType,
                               const WideString& Name, const WideString&, WideString& ProfileField,
                               int32_t& ValueKind, WideString& Value, WideString& Values, bool& Found,
                               bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  Found = false;
  LoginRequired = false;
  Value.clear();
  Values.clear();
  const int64_t Owner = ProfileID(Profile);
  // A field asked for by name that the store does not know is simply not found: cards may still
  // carry bindings to fields deleted since.
  const int64_t Field = !ProfileField.empty() ? FieldID(ProfileField)
                        : Name.empty()        ? -1
                                              : FRecognizer.Recognize(Name, InputType);
  if (Field < 0) return;
  ProfileField = FieldName(Field);
  TStatement Q(FDatabase, "SELECT value_kind, data FROM profile_value WHERE profile_id = ? AND field_id = ?");
  Q.Bind(1, Owner).Bind(2, Field);
  if (!Q.Step()) return;
  ValueKind = static_cast<int32_t>(Q.Int(0));
  UnpackValue(Q.Blob(1), Value, Values);
  Found = !Value.empty() || !Values.empty();
}

void TPelStore::GetProfiles(TVariant& Profiles, WideString& Current) {
  std::lock_guard Guard(FLock);
  TVariant::TStrings Names;
  TStatement Q(FDatabase, "SELECT name FROM profile ORDER BY id");
  while (Q.Step()) Names.push_back(Q.Text(0));
  Profiles = TVariant(std::move(Names));
  TStatement A(FDatabase, "SELECT value FROM state WHERE key = 'active_profile'");
  Current = A.Step() ? A.Text(0) : WideString();
}

void TPelStore::GetProfileFields(TVariant& Fields, bool& LoginRequired) {
  std::lock_guard Guard(FLock);
  LoginRequired = false;
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
    ProfileID(Profile);  // an unknown name raises
    TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES('active_profile', ?)").Bind(1, Profile).Run();
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

// Values is a comma text: its first entry becomes the value, all of them its alternatives.
void TPelStore::AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                              bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    LoginRequired = false;
    TTransaction T(FDatabase);
    const int64_t Owner = ProfileID(Profile);
    const int64_t Field = FieldID(ProfileField);
    if (Field < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(ProfileField) + "\"");
    TWideStringList Added;
    Added.SetCommaText(Values);
    if (Added.IsEmpty()) RaiseStoreError("No value to add to \"" + WideToAnsi(ProfileField) + "\"");
    WideString Value, Alternatives;
    int64_t Kind = 0;
    TStatement Q(FDatabase, "SELECT value_kind, data FROM profile_value WHERE profile_id = ? AND field_id = ?");
    Q.Bind(1, Owner).Bind(2, Field);
    if (Q.Step()) {
      Kind = Q.Int(0);
      UnpackValue(Q.Blob(1), Value, Alternatives);
    } else {
      TStatement K(FDatabase, "SELECT value_kind FROM field WHERE id = ?");
      K.Bind(1, Field);
      if (K.Step()) Kind = K.Int(0);
    }
    TWideStringList List(false, TDuplicates::dupIgnore);
    List.SetCommaText(Alternatives);
    for (int I = 0; I < Added.Count(); ++I)
      if (List.IndexOf(Added[I]) < 0) List.Add(Added[I]);
    if (Value.empty()) Value = Added[0];
    TStatement(FDatabase,
               "INSERT OR REPLACE INTO profile_value(profile_id, field_id, value_kind, data) VALUES(?,?,?,?)")
        .Bind(1, Owner)
        .Bind(2, Field)
        .Bind(3, Kind)
        .Bind(4, PackValue(Value, List.CommaText()))
        .Run();
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

void TPelStore::AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t) {
  {
    std::lock_guard Guard(FLock);
    const int64_t Field = FieldID(ProfileField);
    if (Field < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(ProfileField) + "\"");
    if (FRecognizer.Normalize(Synonym).empty())
      RaiseStoreError("The synonym \"" + WideToAnsi(Synonym) + "\" has no words that could name a field");
    TTransaction T(FDatabase);
    TStatement(FDatabase, "INSERT OR IGNORE INTO synonym(field_id, phrase) VALUES(?,?)").Bind(1, Field).Bind(2, Synonym).Run();
    T.Commit();
    FRecognizer.AddSynonym(Field, Synonym);
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

// The set as it will be stored: read leniently as the add-on reads it, refused when it holds no card.
void ReadFormSet(const TVariant& V, TTransitFormSet& Set) {
  TMemoryStream S(VariantBytes(V));
  S.SetPosition(0);
  Set.LoadFromStream(S);
  if (Set.Count() == 0) RaiseStoreError("The form set holds no form card");
}

std::vector<WideString> Fingerprints(const TTransitFormSet& Set) {
  std::vector<WideString> Result;
  for (const TTransitFormCard& Card : Set) Result.push_back(Card.FieldsText());
  return Result;
}

}  // namespace

WideString TPelStore::ActiveProfile() {
  TStatement Q(FDatabase, "SELECT value FROM state WHERE key = 'active_profile'");
  return Q.Step() ? Q.Text(0) : WideString();
}

// The default of the active profile, else the one for all profiles.
WideString TPelStore::DefaultName(const WideString& SetName) {
  TStatement Q(FDatabase,
               "SELECT name FROM default_item WHERE set_name = ? AND profile IN (?, '') ORDER BY profile DESC LIMIT 1");
  Q.Bind(1, SetName).Bind(2, ActiveProfile());
  return Q.Step() ? Q.Text(0) : WideString();
}

void TPelStore::CheckKind(int32_t Kind) {
  if (Kind < rkNavigation || Kind > rkAuthentication)
    RaiseStoreError("Unknown record kind " + IntToStr(Kind) + " (1 navigation, 2 mail card, 3 authentication)");
}

void TPelStore::SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString& URL,
                             const TVariant& FormSet, bool& Saved, bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    Saved = false;
    LoginRequired = false;
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
    TStatement(FDatabase, "INSERT OR REPLACE INTO item(kind, set_name, name, url, data) VALUES(0,?,?,?,?)")
        .Bind(1, URLKey)
        .Bind(2, Stored)
        .Bind(3, URL)
        .Bind(4, S.Bytes())
        .Run();
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
  const std::vector<WideString> Wanted = Fingerprints(Given);
  TStatement Q(FDatabase, "SELECT name, data FROM item WHERE kind = 0 AND set_name = ? ORDER BY name");
  Q.Bind(1, URLKey);
  while (Q.Step()) {
    TMemoryStream S(Q.Blob(1));
    TTransitFormSet Stored;
    Stored.LoadFromStream(S);
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
  LoginRequired = false;
  FormSet = TVariant();
  TStatement Q(FDatabase, "SELECT data FROM item WHERE kind = 0 AND set_name = ? AND name = ?");
  Q.Bind(1, SetName).Bind(2, Name);
  if (!Q.Step()) return;
  TMemoryStream In(Q.Blob(0));
  TTransitFormSet Set;
  Set.LoadFromStream(In);
  const int64_t Owner = ProfileID(u"");
  for (TTransitFormCard& Card : Set)
    for (TTransitField& Field : Card.Fields) {
      if (Field.ProfileField.empty()) continue;
      TStatement V(FDatabase,
                   "SELECT v.value_kind, v.data FROM profile_value v JOIN field f ON f.id = v.field_id"
                   " WHERE v.profile_id = ? AND f.name = ?");
      V.Bind(1, Owner).Bind(2, Field.ProfileField);
      if (!V.Step()) continue;
      Field.ValueKind = static_cast<int32_t>(V.Int(0));
      UnpackValue(V.Blob(1), Field.Value, Field.Values);
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
      Owner = Profile.empty() ? ActiveProfile() : Profile;
      ProfileID(Owner);  // an unknown profile raises
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
    LoginRequired = false;
    TTransaction T(FDatabase);
    TStatement(FDatabase, "DELETE FROM item WHERE set_name = ? AND name = ?").Bind(1, SetName).Bind(2, Name).Run();
    Removed = FDatabase.Changes();
    TStatement(FDatabase, "DELETE FROM default_item WHERE set_name = ? AND name = ?").Bind(1, SetName).Bind(2, Name).Run();
    T.Commit();
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
  TStatement Q(FDatabase, "SELECT name FROM item WHERE kind = ? AND set_name = ? AND data = ? ORDER BY name");
  Q.Bind(1, Kind).Bind(2, Key).Bind(3, VariantBytes(Data));
  if (Q.Step()) Name = Q.Text(0);
}

void TPelStore::SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                           const TVariant& Data, bool& Saved, bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    Saved = false;
    LoginRequired = false;
    CheckKind(Kind);
    if (Name.empty()) RaiseStoreError("A record needs a name");
    const TBlob Bytes = VariantBytes(Data);
    TTransaction T(FDatabase);
    TStatement(FDatabase, "INSERT OR REPLACE INTO item(kind, set_name, name, url, data) VALUES(?,?,?,?,?)")
        .Bind(1, Kind)
        .Bind(2, Key)
        .Bind(3, Name)
        .Bind(4, URL)
        .Bind(5, Bytes)
        .Run();
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
  LoginRequired = false;
  Data = TVariant();
  TStatement Q(FDatabase, "SELECT data FROM item WHERE kind = ? AND set_name = ? AND name = ?");
  Q.Bind(1, Kind).Bind(2, SetName).Bind(3, Name);
  if (Q.Step()) Data = TVariant(Q.Blob(0));
}

// Another page's card counts when it agrees with a captured form at least this well (0..100).
constexpr int ForeignMatchScore = 50;

// Every item of the page's own set first, then the cards of other sets that match a captured form.
void TPelStore::FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                              WideString& Name, bool& Matched) {
  std::lock_guard Guard(FLock);
  TTransitFormSet Captured;
  if (!Forms.IsEmptyOrNull()) {
    TMemoryStream In(VariantBytes(Forms));
    Captured.LoadFromStream(In);
  }
  TNamePairs Own, Foreign;
  TStatement Q(FDatabase, "SELECT set_name, name, data FROM item WHERE kind = 0 ORDER BY set_name, name");
  while (Q.Step()) {
    const WideString Set = Q.Text(0);
    if (Set == URLKey) {
      Own.push_back({Set, Q.Text(1)});
      continue;
    }
    TMemoryStream S(Q.Blob(2));
    TTransitFormSet Stored;
    Stored.LoadFromStream(S);
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

// ---- not yet served

void TPelStore::Login(const WideString&) { NotYet("Login"); }
void TPelStore::Logout() {}
bool TPelStore::GetLoggedIn() { return true; }
void TPelStore::AddAllValues(const WideString&) { NotYet("AddAllValues"); }

}  // namespace pel::store
