#pragma once
// The COM face of a form store of the core: serves a pel::IPelServer as the server's COM object
// (IPelServer, dual, with error information), and relays the store's own events to the sinks
// advised on its connection point. Registering a store of the core in the running-object table
// makes one of these, so a store written against the port is reachable from other processes.

#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <atomic>
#include <memory>
#include <vector>

#include "BrivaneLib.h"
#include "platform/ConnectionPoints.h"
#include "platform/Store.h"

namespace pel::win32 {

class TComPelServerHost final : public ::IPelServer,
                                public ISupportErrorInfo,
                                public ::IConnectionPointContainer,
                                public ::IConnectionPoint {
public:
  // Answers with one reference for the caller.
  static TComPelServerHost* Create(std::shared_ptr<pel::IPelServer> Store);
  TComPelServerHost(const TComPelServerHost&) = delete;
  TComPelServerHost& operator=(const TComPelServerHost&) = delete;

  // Raises one event of the server's event interface to every advised sink (Args in declared
  // order). A sink whose process has gone is dropped.
  void Fire(DISPID DispID, const std::vector<TVariant>& Args = {});
  int SinkCount() const { return static_cast<int>(FSinks.size()); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch, through the registered type library
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Riid, LPOLESTR* Names, UINT Count, LCID Locale,
                                          DISPID* DispIDs) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags, DISPPARAMS* Params,
                                   VARIANT* Result, EXCEPINFO* Exception, UINT* ArgErr) override;
  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID Riid) override;
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** Points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID Riid, ::IConnectionPoint** Point) override;
  // IConnectionPoint
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* Interface) override;
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(::IConnectionPointContainer** Container) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* Sink, DWORD* Cookie) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD Cookie) override;
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** Connections) override;

  // IPelServer
  HRESULT STDMETHODCALLTYPE FindFieldValue(BSTR Profile, BSTR TagName, BSTR InputType, BSTR Name, BSTR URL,
                                           BSTR* ProfileField, LONG* ValueKind, BSTR* Value, BSTR* Values,
                                           VARIANT_BOOL* Found, VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE GetProfiles(VARIANT* Profiles, BSTR* Current) override;
  HRESULT STDMETHODCALLTYPE GetProfileFields(VARIANT* Fields, VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE SetActiveProfile(BSTR Profile) override;
  HRESULT STDMETHODCALLTYPE ShowManager(BSTR A, BSTR Key, BSTR Name) override;
  HRESULT STDMETHODCALLTYPE GetNameChoices(BSTR Key, BSTR* Existing, BSTR* DefaultName) override;
  HRESULT STDMETHODCALLTYPE DeleteRecord(BSTR SetName, BSTR Name, VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE Login(BSTR Password) override;
  HRESULT STDMETHODCALLTYPE Logout() override;
  HRESULT STDMETHODCALLTYPE GetLoggedIn(VARIANT_BOOL* Result) override;
  HRESULT STDMETHODCALLTYPE SetDefaultFormCard(BSTR SetName, BSTR Name, BSTR Profile,
                                               VARIANT_BOOL AllProfiles) override;
  HRESULT STDMETHODCALLTYPE AddSynonym(BSTR ProfileField, BSTR Synonym, LONG Kind) override;
  HRESULT STDMETHODCALLTYPE GetFormCaption(LONG Index, BSTR* Caption, BSTR* Hint) override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(BSTR URLKey, BSTR* Title, BSTR* Text) override;
  HRESULT STDMETHODCALLTYPE FindFormCards(BSTR URLKey, VARIANT Forms, VARIANT* Cards, BSTR* SetName, BSTR* Name,
                                          VARIANT_BOOL* Matched) override;
  HRESULT STDMETHODCALLTYPE AddFieldValue(BSTR Profile, BSTR ProfileField, BSTR Values,
                                          VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE NotifyDocumentComplete() override;
  HRESULT STDMETHODCALLTYPE GetDisplayMode(LONG* Result) override;
  HRESULT STDMETHODCALLTYPE GetBanner(VARIANT Request, VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE GetFormCard(BSTR SetName, BSTR Name, BSTR URL, VARIANT* FormSet,
                                        VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE SaveFormCard(BSTR URLKey, BSTR Name, BSTR URL, VARIANT FormSet, VARIANT_BOOL* Saved,
                                         VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE FindSavedFormCard(BSTR URLKey, VARIANT FormSet, BSTR* Name) override;
  HRESULT STDMETHODCALLTYPE FindRecord(LONG Kind, BSTR Key, VARIANT Data, BSTR* Name) override;
  HRESULT STDMETHODCALLTYPE SaveRecord(LONG Kind, BSTR Key, BSTR Name, BSTR URL, VARIANT Data, VARIANT_BOOL* Saved,
                                       VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE GetRecordList(LONG Kind, BSTR URLKey, VARIANT* List, BSTR* Current) override;
  HRESULT STDMETHODCALLTYPE GetRecord(LONG Kind, BSTR SetName, BSTR Name, BSTR URL, VARIANT* Data,
                                      VARIANT_BOOL* LoginRequired) override;
  HRESULT STDMETHODCALLTYPE GetLexicon(VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE TranslateStrings(VARIANT Captions, VARIANT* Result) override;
  HRESULT STDMETHODCALLTYPE AddAllValues(BSTR Text) override;
  HRESULT STDMETHODCALLTYPE ReportPage(ULONG Wnd, BSTR URL, BSTR Title, VARIANT Image) override;
  HRESULT STDMETHODCALLTYPE GetSettings(BSTR SiteKey, LONG* Flags, VARIANT_BOOL* Found) override;
  HRESULT STDMETHODCALLTYPE SetSettings(BSTR SiteKey, LONG Flags, VARIANT_BOOL SetDefault, VARIANT_BOOL ApplyToAll,
                                        VARIANT_BOOL* Handled) override;

private:
  explicit TComPelServerHost(std::shared_ptr<pel::IPelServer> Store);
  ~TComPelServerHost();

  // Runs one call of the store: a failure of the core becomes the call's result with error
  // information, since no exception may leave through a COM interface.
  template <class TBody>
  HRESULT Serve(TBody&& Body);

  // Relays the store's own events to the COM sinks.
  class TRelay : public IEventDispatch {
  public:
    explicit TRelay(TComPelServerHost& Host) : FHost(Host) {}
    int32_t Invoke(int32_t DispID, const TGUID& IID, uint32_t LocaleID, uint16_t Flags, TDispParams& Params,
                   TVariant* Result) override;

  private:
    TComPelServerHost& FHost;
  };

  struct TSink {
    DWORD Cookie;
    IDispatch* Dispatch;
  };

  std::atomic<ULONG> FRefs{1};
  std::shared_ptr<pel::IPelServer> FStore;
  ITypeInfo* FTypeInfo = nullptr;
  std::vector<TSink> FSinks;
  DWORD FNextCookie = 1;
  TRelay FRelay{*this};
  std::shared_ptr<pel::IConnectionPoint> FStoreEvents;
  uint32_t FStoreCookie = 0;
};

}  // namespace pel::win32
