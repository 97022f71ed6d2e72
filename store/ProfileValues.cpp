// The host's editing of profile values (the command-line tool's "store set").

#include "PelStore.h"

#include "platform/Services.h"

namespace pel::store {

void TPelStore::SetFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Value,
                              bool& LoginRequired) {
  {
    std::lock_guard Guard(FLock);
    LoginRequired = Locked();
    if (LoginRequired) return;
    TTransaction T(FDatabase);
    const int64_t Owner = ProfileID(Profile);
    const int64_t Field = FieldID(ProfileField);
    if (Field < 0) RaiseStoreError("There is no profile field \"" + WideToAnsi(ProfileField) + "\"");
    WideString Old, Alternatives;
    int32_t Kind = 0;
    if (!ReadProfileValue(Owner, Field, Kind, Old, Alternatives)) {
      TStatement K(FDatabase, "SELECT value_kind FROM field WHERE id = ?");
      K.Bind(1, Field);
      if (K.Step()) Kind = static_cast<int32_t>(K.Int(0));
    }
    TWideStringList List(false, TDuplicates::dupIgnore);
    List.SetCommaText(Alternatives);
    if (!Value.empty() && List.IndexOf(Value) < 0) List.Insert(0, Value);
    WriteProfileValue(Owner, Field, Kind, Value, List.CommaText());
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

}  // namespace pel::store
