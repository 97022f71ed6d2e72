// The host's editing of profile values (the command-line tool's "store set").

#include "PelStore.h"

#include "platform/Services.h"

namespace pel::store {

void TPelStore::SetFieldValue(const WideString& Profile, const WideString& ProfileField, const WideString& Value,
                              bool& LoginRequired) {
  ChangeProfileValue(Profile, ProfileField, LoginRequired, [&](WideString& Current, TWideStringList& List) {
    Current = Value;
    if (!Value.empty() && List.IndexOf(Value) < 0) List.Insert(0, Value);
  });
}

void TPelStore::AddProfile(const WideString& Name) {
  {
    std::lock_guard Guard(FLock);
    if (Name.empty()) RaiseStoreError("A profile needs a name");
    TTransaction T(FDatabase);
    TStatement Taken(FDatabase, "SELECT name FROM profile WHERE name = ?");
    Taken.Bind(1, Name);
    if (Taken.Step()) RaiseStoreError("There is already a profile \"" + WideToAnsi(Taken.Text(0)) + "\"");
    TStatement(FDatabase, "INSERT INTO profile(name) VALUES(?)").Bind(1, Name).Run();
    T.Commit();
  }
  Fire(DISPID_OnDatabaseChange);
}

std::vector<TPelStore::TItemName> TPelStore::ListItems() {
  std::lock_guard Guard(FLock);
  std::vector<TItemName> Items;
  TStatement Q(FDatabase, "SELECT kind, set_name, name, url FROM item ORDER BY kind, set_name, name");
  while (Q.Step()) Items.push_back({static_cast<int32_t>(Q.Int(0)), Q.Text(1), Q.Text(2), Q.Text(3)});
  return Items;
}

}  // namespace pel::store
