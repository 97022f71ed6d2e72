#pragma once
// The form store server reached over COM, as the store port: every call goes to the server's
// IPelServer, and a failed call raises the core's exception (EOleException with the server's own
// message where it gives one), so that whoever guards store calls sees a server that failed or
// went away as a failure and can drop it. Its events are found through the same object's
// connection points.

#include "BrivaneLib.h"
#include "ComConnectionPoints.h"
#include "platform/Store.h"

namespace pel::win32 {

// Inside this namespace the port is pel::IPelServer; the COM interface is ::IPelServer.
class TComPelServer : public TComConnectionPointContainer, public pel::IPelServer {
public:
  // Takes over the caller's references to Container (nullptr for none) and Server, both answered
  // by Object.
  TComPelServer(IUnknown* Object, ::IConnectionPointContainer* Container, ::IPelServer* Server);
  ~TComPelServer() override;

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
  void GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL, TVariant& Data,
                 bool& LoginRequired) override;
  TVariant GetLexicon() override;
  TVariant TranslateStrings(const TVariant& Captions) override;
  void AddAllValues(const WideString& Text) override;
  void ReportPage(uint32_t Wnd, const WideString& URL, const WideString& Title, const TVariant& Image) override;
  void GetSettings(const WideString& SiteKey, int32_t& Flags, bool& Found) override;
  void SetSettings(const WideString& SiteKey, int32_t Flags, bool SetDefault, bool ApplyToAll, bool& Handled) override;

private:
  void Check(HRESULT Result) const;

  ::IPelServer* FServer;
};

}  // namespace pel::win32
