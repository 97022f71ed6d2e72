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
  // EventIID: the event interface the source asks for; it is answered with this IDispatch. The
  // bridge starts with one reference, its connection's.
  TDispatchBridge(IEventDispatch* Sink, const TGUID& EventIID);
  TDispatchBridge(const TDispatchBridge&) = delete;
  TDispatchBridge& operator=(const TDispatchBridge&) = delete;

  // The connection lets go (unadvised, refused, or its adapter gone): the sink is forgotten at once
  // and the connection's reference given up. A source may still hold the bridge (a copy of its
  // sink list while it fires an event, or for good after a refused Unadvise): its calls then answer
  // DISP_E_MEMBERNOTFOUND and never reach a sink that is gone, and the bridge goes with the last
  // reference.
  void Detach();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  // Counted as COM objects are: a source that fires to a copy of its sinks holds each of them, and
  // a handler may disconnect another sink of the same event meanwhile.
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefCount; }
  ULONG STDMETHODCALLTYPE Release() override;

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
  ULONG FRefCount = 1;
};

}  // namespace pel::win32
