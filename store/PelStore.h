#pragma once
// The reference form store: IPelServer over one SQLite database file. Every write is one
// transaction; one connection serves every caller, guarded by a mutex, so browser windows on
// several threads may call at once. Events go to every advised sink after the write committed.
// Secret data (profile values, card streams, records, learned choices) is sealed with the store's
// data key; with a master password that key is only in memory between Login and Logout.

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <string>

#include "Crypto.h"
#include "Database.h"
#include "Recognizer.h"
#include "platform/EventSource.h"
#include "platform/Store.h"

namespace pel::store {

// The schema version this build writes; older files are migrated forward on open.
inline constexpr int StoreSchemaVersion = 7;

class TPelStore : public IPelServer, public IConnectionPointContainer {
public:
  // Opens or creates the store in FileName; a new store gets the default data.
  explicit TPelStore(const std::string& FileName);
  ~TPelStore() override;

  // Registers this store as the running form store; Shutdown revokes it and raises OnQuit.
  static void Register(const std::shared_ptr<TPelStore>& Store);
  void Shutdown();
  int SchemaVersion();

  // The master password, set, changed or (New empty) removed by the host. With a password already
  // set, Current must be it. Every secret is sealed again under a new data key, so that a key
  // read from the file before the change opens nothing written after it. Cost is what deriving
  // the key from the password costs; it is kept in the file for Login.
  void SetMasterPassword(const WideString& Current, const WideString& New,
                         const TKeyCost& Cost = TKeyCost::Interactive());
  bool HasMasterPassword();
  // What AddAllValues has taught the store a profile field offers, as comma text.
  WideString GetFieldChoices(const WideString& Field, bool& LoginRequired);
  // The host's own editing of a profile: Value becomes the field's value (and one of its
  // alternatives); an empty Profile is the current one.
  void SetFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Value,
                     bool& LoginRequired);
  // A new, empty profile; a name already taken (in any letter case) or an empty one is refused.
  void AddProfile(const WideString& Name);
  // Every stored item by kind (0 form cards, then the record kinds), set and name, in that order;
  // names only, so a locked store lists them too.
  struct TItemName {
    int32_t Kind;
    WideString SetName, Name, URL;
  };
  std::vector<TItemName> ListItems();
  // The host's batch of changes (an import): every write Work makes through this store is kept
  // together, or, when Work raises, none is. The store's lock is held throughout, so no other
  // caller's write lands in the middle; events of the writes are fired as they are made.
  void InOneWrite(const std::function<void()>& Work);

  // Called by a lookup as it starts to recognise a name, outside the store's lock: where a test
  // holds one lookup in the middle to see that other callers are served meanwhile.
  static inline std::function<void()> BeforeRecognition;
  // Called after a write that retires a key committed, as the store starts to wait for the log to
  // be emptied: where a test stops a store process in the middle to see the next open finish.
  static inline std::function<void()> BeforeWipeWait;

  // Where ShowManager is reported to the host that runs the store.
  std::function<void(const WideString& A, const WideString& Key, const WideString& Name)> OnShowManager;

  // ---- the host's page notes, languages and window commands (not part of IPelServer)
  // A note is shown on its page when it has both a title and a text; both empty removes it.
  void SetPageInfo(const WideString& URLKey, const WideString& Title, const WideString& Text);
  // The language captions are translated into; empty: none, captions stay as they are.
  void SetLanguage(const WideString& Language);
  WideString Language();
  // An empty Target removes the translation, so the caption shows untranslated again.
  void AddTranslation(const WideString& Language, const WideString& Source, const WideString& Target);
  // Asks the browser window Wnd to fill its page's form (0) or save its page's forms (1).
  void ExecCommand(uint32_t Wnd, int32_t Command);

  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;

  void FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                      const WideString& Name, const WideString& URL, WideString& ProfileField, int32_t& ValueKind,
                      WideString& Value, WideString& Values, bool& Found, bool& LoginRequired) override;
  void GetProfiles(TVariant& Profiles, WideString& Current) override;
  void GetProfileFields(TVariant& Fields, bool& LoginRequired) override;
  void SetActiveProfile(const WideString& Profile) override;
  void ShowManager(const WideString& A, const WideString& Key, const WideString& Name) override;
  void GetNameChoices(const WideString& Key, WideString& Existing, WideString& DefaultName) override;
  void DeleteRecord(const WideString& SetName, const WideString& Name, bool& LoginRequired) override;
  void Login(const WideString& Password) override;
  void Logout() override;
  bool GetLoggedIn() override;
  void SetDefaultFormCard(const WideString& SetName, const WideString& Name, const WideString& Profile,
                          bool AllProfiles) override;
  void AddSynonym(const WideString& ProfileField, const WideString& Synonym, int32_t Kind) override;
  void GetFormCaption(int32_t Index, WideString& Caption, WideString& Hint) override;
  void GetPageInfo(const WideString& URLKey, WideString& Title, WideString& Text) override;
  void FindFormCards(const WideString& URLKey, const TVariant& Forms, TVariant& Cards, WideString& SetName,
                     WideString& Name, bool& Matched) override;
  void AddFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Values,
                     bool& LoginRequired) override;
  void NotifyDocumentComplete() override;
  int32_t GetDisplayMode() override;
  TVariant GetBanner(const TVariant& Request) override;
  void GetFormCard(const WideString& SetName, const WideString& Name, const WideString& URL, TVariant& FormSet,
                   bool& LoginRequired) override;
  void SaveFormCard(const WideString& URLKey, const WideString& Name, const WideString& URL, const TVariant& FormSet,
                    bool& Saved, bool& LoginRequired) override;
  void FindSavedFormCard(const WideString& URLKey, const TVariant& FormSet, WideString& Name) override;
  void FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) override;
  void SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                  const TVariant& Data, bool& Saved, bool& LoginRequired) override;
  void GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) override;
  void GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL,
                 TVariant& Data, bool& LoginRequired) override;
  TVariant GetLexicon() override;
  TVariant TranslateStrings(const TVariant& Captions) override;
  void AddAllValues(const WideString& Text) override;
  void ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) override;
  void GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) override;
  void SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll,
                   bool& Handled) override;

private:
  struct TFieldRow {
    int64_t ID = -1;
    WideString Name;
  };
  void OpenFile(const std::string& FileName);
  void Configure();
  // True when the file was created or moved to a newer version.
  bool Migrate();
  void CreateSchemaVersion1();
  void CreateSchemaVersion2();
  void CreateSchemaVersion3();
  void CreateSchemaVersion4();
  void CreateSchemaVersion5();
  void CreateSchemaVersion6();
  void CreateSchemaVersion7();
  bool LegacyValueTags();
  void LoadKeyring();
  void CheckKeyCurrent();
  void MarkWipe();
  // True when the log is empty and the mark gone.
  bool CheckpointFile();
  // Also notices another store on the file having changed the key (see CheckKeyCurrent).
  bool Locked();
  TBlob SealBlob(const TBlob& Plain, const TBlob& Tag);
  TBlob OpenBlob(const TBlob& Sealed, const TBlob& Tag);
  bool ReadProfileValue(int64_t Owner, int64_t Field, int32_t& Kind, WideString& Value, WideString& Values);
  void ChangeProfileValue(const WideString& Profile, const WideString& ProfileField, bool& LoginRequired,
                          const std::function<void(WideString& Value, TWideStringList& Alternatives)>& Change);
  void WriteProfileValue(int64_t Owner, int64_t Field, int64_t Kind, const WideString& Value,
                         const WideString& Values);
  bool ReadItem(int32_t Kind, const WideString& SetName, const WideString& Name, TBlob& Data);
  void WriteItem(int32_t Kind, const WideString& SetName, const WideString& Name, const TBlob& Data);
  WideString ReadChoices(int64_t Field);
  // Legacy: profile values are read as sealed before version 5, without their kind.
  void Reseal(const TSecretKey& From, const TSecretKey& To, bool Legacy);
  void RewriteSecrets(const std::function<TBlob(const TBlob& Data, const TBlob& ReadTag, const TBlob& WriteTag)>& Change,
                      bool Legacy);
  WideString ActiveProfile();
  WideString StoredProfileName(const WideString& Profile);  // an unknown name raises
  WideString DefaultName(const WideString& SetName);
  WideString FreeRecordName(int32_t Kind, const WideString& Key, const TBlob& Bytes);
  void CheckKind(int32_t Kind);
  void LoadRecognizer();
  WideString LexiconVersion();
  // The current recognition snapshot, reloaded first when another store process changed it.
  std::shared_ptr<const TFieldRecognizer> Recognizer();
  int64_t ProfileID(const WideString& Profile);
  int64_t FieldID(const WideString& Field);
  WideString FieldName(int64_t ID);
  void Fire(int32_t DispID, std::vector<TVariant> Args = {});

  std::recursive_mutex FLock;
  TDatabase FDatabase;
  TEventSource FEvents;
  std::shared_ptr<const TFieldRecognizer> FRecognizer;
  WideString FLexiconVersion;
  int64_t FDataVersion = -1;
  // The data key while the store is open to callers: always without a master password, and
  // between Login and Logout with one.
  TKey FKey;
  // The keyring's data_key as it was when FKey was taken, to notice another store changing it.
  TBlob FKeyringStamp;
  uint32_t FRegistration = 0;
  bool FShutDown = false;
  // Every field's name and one profile's values, still sealed, as a lookup found them: it reads
  // its value from these once it knows the field, instead of going back to the file.
  struct TProfileValues {
    struct TSealed {
      int32_t Kind;
      TBlob Data;
    };
    std::unordered_map<int64_t, WideString> FieldNames;
    std::unordered_map<int64_t, TSealed> Values;
  };
  std::shared_ptr<const TProfileValues> ProfileValues(int64_t Owner);
  // Counts every change of FKey, so that a value read before one is not opened with another key.
  uint64_t FKeyGeneration = 0;
  void TakeKey(TKey Key);
  // What every lookup asks of the file before it reads a value (is the key still the file's,
  // which profile is active, its id, the field's name, the profile's sealed values), kept for as
  // long as the file's stamp stays: a page's profile fill makes hundreds of lookups against a file
  // nobody changes.
  struct TReadCache {
    TDatabase::TStamp Stamp;
    // The transaction the stamp was last confirmed in, or -1 outside one.
    int64_t Transaction = -1;
    bool KeyChecked = false;
    bool HaveActive = false;
    WideString Active;
    std::unordered_map<WideString, int64_t> ProfileIDs;
    std::unordered_map<int64_t, WideString> FieldNames;
    std::unordered_map<int64_t, std::shared_ptr<const TProfileValues>> Values;
  };
  TReadCache FReadCache;
  // The cache, emptied first when the file may have changed since it was filled.
  TReadCache& ReadCache();
};

}  // namespace pel::store
