// Site settings, and the host's and the page's calls that keep nothing in the file.

#include "PelStore.h"

#include "Common/Options.h"

namespace pel::store {

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
void TPelStore::SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll, bool& Handled) {
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

}  // namespace pel::store
