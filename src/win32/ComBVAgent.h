#pragma once
// The automation agent as scripts and toolbars create it: the COM face of TBVAgent, a dual
// interface whose IDispatch runs through the module's own type library, and its class factory.

#include <windows.h>

#include <oaidl.h>

#include "Brivane.h"
#include "ComServer.h"
#include "agent/BVAgent.h"

namespace pel::win32 {

class TComBVAgent final : public ::IBVAgent, public ISupportErrorInfo, public TComRefCounted<TComBVAgent> {
public:
  TComBVAgent() = default;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* Count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT Index, LCID Locale, ITypeInfo** Info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID Riid, LPOLESTR* Names, UINT Count, LCID Locale,
                                          DISPID* DispIDs) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags, DISPPARAMS* Params,
                                   VARIANT* Result, EXCEPINFO* Exception, UINT* ArgErr) override;

  HRESULT STDMETHODCALLTYPE get_Window(IDispatch** Value) override;
  HRESULT STDMETHODCALLTYPE put_Window(IDispatch* Value) override;
  HRESULT STDMETHODCALLTYPE get_ActionCount(LONG* Value) override;
  HRESULT STDMETHODCALLTYPE GetActionData(LONG AIndex, ::BVActionType* AType, BSTR* AIconName,
                                          BSTR* AGrayIconName) override;
  HRESULT STDMETHODCALLTYPE ExecuteAction(LONG AIndex) override;
  HRESULT STDMETHODCALLTYPE get_SubActionCount(LONG AIndex, LONG* Value) override;
  HRESULT STDMETHODCALLTYPE ExecuteSubAction(LONG AIndex, LONG ASubIndex) override;
  HRESULT STDMETHODCALLTYPE get_GUIActive(VARIANT_BOOL* Value) override;
  HRESULT STDMETHODCALLTYPE put_GUIActive(VARIANT_BOOL Value) override;
  HRESULT STDMETHODCALLTYPE GetActionState(LONG AIndex, BSTR* ACaption, BSTR* AHint, VARIANT_BOOL* AEnabled,
                                           VARIANT_BOOL* AChecked) override;
  HRESULT STDMETHODCALLTYPE GetSubActionState(LONG AIndex, LONG ASubIndex, BSTR* ACaption, BSTR* AHint) override;

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID Riid) override;

private:
  friend class TComRefCounted<TComBVAgent>;
  ~TComBVAgent();
  // The type information of IBVAgent from the module's type library, loaded on first use.
  HRESULT TypeInfo(ITypeInfo** Info);
  // Runs a member: an exception becomes a failure result with its message as the thread's error
  // information, as automation clients expect.
  template <class TBody>
  HRESULT Safecall(TBody&& Body) noexcept;

  TBVAgent FAgent;
  ITypeInfo* FTypeInfo = nullptr;
};

class TBVAgentFactory final : public TTypedComObjectFactory {
public:
  TBVAgentFactory();

protected:
  IUnknown* CreateComObject() override;
};

}  // namespace pel::win32
