#pragma once
// The COM face of a sink of the core: the IDispatch a COM event source is advised with. It turns
// the source's Invoke with DISPPARAMS into the port's call and writes by-reference results back
// into the caller's variants.

#include <windows.h>

#include <oaidl.h>

#include "platform/ConnectionPoints.h"

namespace pel::win32 {

class TDispatchBridge final : public IDispatch {
public:
  // EventIID: the event interface the source asks for; it is answered with this IDispatch.
  TDispatchBridge(IEventDispatch* Sink, const TGUID& EventIID);
  TDispatchBridge(const TDispatchBridge&) = delete;
  TDispatchBridge& operator=(const TDispatchBridge&) = delete;

  // The source has let go: the bridge goes now, or when the call in progress returns (a handler
  // may disconnect its own sink).
  void Retire();
  // The source may still hold the bridge: it forgets the sink and stays for good, answering
  // DISP_E_MEMBERNOTFOUND, so that a late call never reaches a sink that is gone.
  void Abandon();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  // Not reference counted: the bridge belongs to the connection it was advised for.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Riid, LPOLESTR* Names, UINT Count, LCID Locale,
                                          DISPID* DispIDs) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags, DISPPARAMS* Params,
                                   VARIANT* Result, EXCEPINFO* Exception, UINT* ArgErr) override;

private:
  ~TDispatchBridge() = default;
  HRESULT Dispatch(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags, DISPPARAMS* Params, VARIANT* Result,
                   UINT* ArgErr);

  IEventDispatch* FSink;
  IID FEventIID;
  int FCalls = 0;
  bool FRetired = false;
};

}  // namespace pel::win32
