// Profiles, their fields and values, and the lookups that answer a page from them: the
// recognition data, the lexicon the add-on takes, and the choices a page's lists taught the store.

#include "PelStore.h"

#include <map>
#include <unordered_map>

#include "Common/TransitForms.h"
#include "DefaultData.h"
#include "PelStoreInternal.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"
#include "platform/StringList.h"

namespace pel::store {

// A profile value and its alternatives travel as one blob, so that each is one unit at rest.
TBlob PackValue(const WideString& Value, const WideString& Values) {
  TMemoryStream S;
  WriteWideString(S, Value);
  WriteWideString(S, Values);
  return S.Bytes();
}

namespace {

void UnpackValue(const TBlob& Blob, WideString& Value, WideString& Values) {
  TMemoryStream S(Blob);
  if (!ReadWideString(S, Value) || !ReadWideString(S, Values)) RaiseStoreError("A stored profile value is damaged");
}

// Comma text entries appended to List.
void AddCommaText(TWideStringList& List, const WideString& Text) {
  TWideStringList Entries;
  Entries.SetCommaText(Text);
  for (int I = 0; I < Entries.Count(); ++I) List.Add(Entries[I]);
}

}  // namespace

bool TPelStore::ReadProfileValue(int64_t Owner, int64_t Field, int32_t& Kind, WideString& Value, WideString& Values) {
  TReused Q(FDatabase, "SELECT value_kind, data FROM profile_value WHERE profile_id = ? AND field_id = ?");
  Q->Bind(1, Owner).Bind(2, Field);
  if (!Q->Step()) return false;
  Kind = static_cast<int32_t>(Q->Int(0));
  UnpackValue(OpenBlob(Q->Blob(1), ValueTag(Owner, Field, Kind)), Value, Values);
  return true;
}

void TPelStore::WriteProfileValue(int64_t Owner, int64_t Field, int64_t Kind, const WideString& Value,
                                  const WideString& Values) {
  TStatement(FDatabase, "INSERT OR REPLACE INTO profile_value(profile_id, field_id, value_kind, data) VALUES(?,?,?,?)")
      .Bind(1, Owner)
      .Bind(2, Field)
      .Bind(3, Kind)
      .Bind(4, SealBlob(PackValue(Value, Values), ValueTag(Owner, Field, Kind)))
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
    if (const int64_t From = IDOf(Y.Field), To = Y.Instead ? IDOf(Y.Instead) : TFieldRecognizer::NoField;
        From >= 0 && (To >= 0 || !Y.Instead))
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

// ---- profiles and fields

void TPelStore::FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                               const WideString& Name, const WideString&, WideString& ProfileField, int32_t& ValueKind,
                               WideString& Value, WideString& Values, bool& Found, bool& LoginRequired) {
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

void TPelStore::InOneWrite(const std::function<void()>& Work) {
  std::lock_guard Guard(FLock);
  TTransaction T(FDatabase);
  Work();
  T.Commit();
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
void TPelStore::ChangeProfileValue(
    const WideString& Profile, const WideString& ProfileField, bool& LoginRequired,
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
    TStatement(FDatabase, "INSERT OR IGNORE INTO synonym(field_id, phrase) VALUES(?,?)")
        .Bind(1, Field)
        .Bind(2, Synonym)
        .Run();
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
