// Page notes, caption translations and commands to browser windows: the store's side of what a
// window shows above its page, how its action captions read, and what the host asks it to do.

#include "Common/TransitForms.h"
#include "PelStore.h"
#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"

namespace pel::store {

namespace {

// The window commands a browser window acts on: fill its page's form, save its page's forms.
constexpr int32_t CommandFillForm = 0;
constexpr int32_t CommandSaveForms = 1;

// The captions a window asks to have translated: a signed 32-bit count, then that many strings.
// The request comes from another process, so nothing in it is trusted: the count is held against
// the bytes before anything is reserved, and bytes after the last caption are refused, since
// they mean the window wrote a form this store does not read.
std::vector<WideString> ReadCaptionRequest(const TVariant& Request) {
  if (Request.VarType() != TVarType::ByteArray) RaiseStoreError("The captions to translate are not a byte stream");
  TMemoryStream S(Request.AsBytes());
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) RaiseStoreError("The caption request is too short to hold its count");
  if (Count < 0) RaiseStoreError("The caption request has a negative count (" + IntToStr(Count) + ")");
  // Every caption takes at least its 4-byte length.
  if (Count > S.Remaining() / 4)
    RaiseStoreError("The caption request counts " + IntToStr(Count) + " captions but holds only " +
                    IntToStr(S.Remaining()) + " bytes for them");
  std::vector<WideString> Captions;
  Captions.reserve(static_cast<size_t>(Count));
  for (int32_t I = 0; I < Count; ++I) {
    WideString Caption;
    bool Complete = false;
    try {
      Complete = ReadWideString(S, Caption);
    } catch (const EIntOverflow&) {
      // A length no data could back is unreadable like any other.
    }
    if (!Complete) RaiseStoreError("Caption " + IntToStr(I + 1) + " of the caption request cannot be read");
    Captions.push_back(std::move(Caption));
  }
  if (S.Remaining() != 0)
    RaiseStoreError("The caption request has " + IntToStr(S.Remaining()) + " bytes after its last caption");
  return Captions;
}

WideString StoredLanguage(TDatabase& Database) {
  TStatement Q(Database, "SELECT value FROM state WHERE key = 'language'");
  return Q.Step() ? Q.Text(0) : WideString();
}

}  // namespace

// Notes are kept per page key; translations per language and source caption. The current
// language lives in state, beside the active profile.
void TPelStore::CreateSchemaVersion3() {
  FDatabase.Exec(
      "CREATE TABLE page_note(url_key TEXT PRIMARY KEY, title TEXT NOT NULL, text TEXT NOT NULL);"
      "CREATE TABLE translation(language TEXT NOT NULL, source TEXT NOT NULL, target TEXT NOT NULL,"
      " PRIMARY KEY(language, source));");
}

// ---- page notes

void TPelStore::GetPageInfo(const WideString& URLKey, WideString& Title, WideString& Text) {
  std::lock_guard Guard(FLock);
  Title.clear();
  Text.clear();
  TStatement Q(FDatabase, "SELECT title, text FROM page_note WHERE url_key = ?");
  Q.Bind(1, URLKey);
  if (!Q.Step()) return;
  Title = Q.Text(0);
  Text = Q.Text(1);
}

// A note with only one of its parts is kept as written (the host may be editing it); windows
// show a note only when it has both.
void TPelStore::SetPageInfo(const WideString& URLKey, const WideString& Title, const WideString& Text) {
  bool Changed = false;
  {
    std::lock_guard Guard(FLock);
    if (URLKey.empty()) RaiseStoreError("A page note needs the page's address key");
    TTransaction T(FDatabase);
    TStatement Q(FDatabase, "SELECT title, text FROM page_note WHERE url_key = ?");
    Q.Bind(1, URLKey);
    const bool Existed = Q.Step();
    const WideString OldTitle = Existed ? Q.Text(0) : WideString();
    const WideString OldText = Existed ? Q.Text(1) : WideString();
    Q.Reset();
    if (Title.empty() && Text.empty()) {
      Changed = Existed;
      if (Existed) TStatement(FDatabase, "DELETE FROM page_note WHERE url_key = ?").Bind(1, URLKey).Run();
    } else {
      Changed = !Existed || OldTitle != Title || OldText != Text;
      if (Changed)
        TStatement(FDatabase, "INSERT OR REPLACE INTO page_note(url_key, title, text) VALUES(?,?,?)")
            .Bind(1, URLKey)
            .Bind(2, Title)
            .Bind(3, Text)
            .Run();
    }
    T.Commit();
  }
  if (Changed) Fire(DISPID_OnDatabaseChange);
}

// ---- languages

WideString TPelStore::Language() {
  std::lock_guard Guard(FLock);
  return StoredLanguage(FDatabase);
}

void TPelStore::SetLanguage(const WideString& Language) {
  bool Changed = false;
  {
    std::lock_guard Guard(FLock);
    TTransaction T(FDatabase);
    Changed = StoredLanguage(FDatabase) != Language;
    if (Changed) {
      if (Language.empty())
        FDatabase.Exec("DELETE FROM state WHERE key = 'language'");
      else
        TStatement(FDatabase, "INSERT OR REPLACE INTO state(key, value) VALUES('language', ?)").Bind(1, Language).Run();
    }
    T.Commit();
  }
  if (Changed) Fire(DISPID_OnLanguageChange);
}

// Windows reload their captions only when what they show may have changed: a translation of
// the current language that now reads differently.
void TPelStore::AddTranslation(const WideString& Language, const WideString& Source, const WideString& Target) {
  bool Changed = false;
  bool Current = false;
  {
    std::lock_guard Guard(FLock);
    if (Language.empty()) RaiseStoreError("A translation needs a language");
    if (Source.empty()) RaiseStoreError("A translation needs the caption it translates");
    TTransaction T(FDatabase);
    TStatement Q(FDatabase, "SELECT target FROM translation WHERE language = ? AND source = ?");
    Q.Bind(1, Language).Bind(2, Source);
    const bool Existed = Q.Step();
    const WideString Before = Existed ? Q.Text(0) : WideString();
    Q.Reset();
    Changed = Before != Target;
    if (Target.empty()) {
      if (Existed)
        TStatement(FDatabase, "DELETE FROM translation WHERE language = ? AND source = ?")
            .Bind(1, Language)
            .Bind(2, Source)
            .Run();
    } else if (Changed) {
      TStatement(FDatabase, "INSERT OR REPLACE INTO translation(language, source, target) VALUES(?,?,?)")
          .Bind(1, Language)
          .Bind(2, Source)
          .Bind(3, Target)
          .Run();
    }
    Current = StoredLanguage(FDatabase) == Language;
    T.Commit();
  }
  if (Changed && Current) Fire(DISPID_OnLanguageChange);
}

// An empty request asks for nothing and gets nothing back; a well-formed one gets as many
// captions in the same order, each the current language's translation or the caption itself.
TVariant TPelStore::TranslateStrings(const TVariant& Captions) {
  std::lock_guard Guard(FLock);
  if (Captions.IsEmptyOrNull()) return TVariant();
  const std::vector<WideString> Request = ReadCaptionRequest(Captions);
  const WideString Language = StoredLanguage(FDatabase);
  TMemoryStream Answer;
  Answer.WriteInt32(static_cast<int32_t>(Request.size()));
  TStatement Q(FDatabase, "SELECT target FROM translation WHERE language = ? AND source = ?");
  for (const WideString& Caption : Request) {
    WideString Translated = Caption;
    if (!Language.empty()) {
      Q.Bind(1, Language).Bind(2, Caption);
      if (Q.Step()) Translated = Q.Text(0);
      Q.Reset();
    }
    WriteWideString(Answer, Translated);
  }
  TVariant Result;
  StreamToVariant(Answer, Result);
  return Result;
}

// ---- window commands

void TPelStore::ExecCommand(uint32_t Wnd, int32_t Command) {
  {
    std::lock_guard Guard(FLock);
    if (Wnd == 0) RaiseStoreError("A window command needs the browser window it is for");
    if (Command != CommandFillForm && Command != CommandSaveForms)
      RaiseStoreError("Unknown window command " + IntToStr(Command) +
                      " (0 fill the page's form, 1 save the page's forms)");
  }
  // The handle travels unsigned: windows compare it with their own, and a handle with the high
  // bit set would not survive as a signed integer.
  Fire(DISPID_OnExecCmd, {TVariant(Wnd), TVariant(Command)});
}

}  // namespace pel::store
