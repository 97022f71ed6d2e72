#include "ComBVAgent.h"

#include <new>

#include "ComObject.h"
#include "ComVariant.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

namespace {
VARIANT_BOOL ToVariantBool(bool Value) { return Value ? VARIANT_TRUE : VARIANT_FALSE; }

// Hands the error's text to the thread, where the automation caller (or DispInvoke, filling its
// EXCEPINFO) picks it up.
void SetErrorText(const AnsiString& Message) {
  ICreateErrorInfo* Create = nullptr;
  if (FAILED(CreateErrorInfo(&Create)) || !Create) return;
  const WideString Text = AnsiToWide(Message);
  std::wstring Description(Text.begin(), Text.end());
  Create->SetGUID(IID_IBVAgent);
  Create->SetSource(const_cast<LPOLESTR>(L"Brivane.BVAgent"));
  Create->SetDescription(Description.data());
  IErrorInfo* Info = nullptr;
  if (SUCCEEDED(Create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&Info))) && Info) {
    SetErrorInfo(0, Info);
    Info->Release();
  }
  Create->Release();
}

// Empties an out string before the member writes it, so that a failure leaves no stale text.
void ClearOut(BSTR* Text) {
  if (Text) *Text = nullptr;
}
}  // namespace

TComBVAgent::~TComBVAgent() {
  if (FTypeInfo) FTypeInfo->Release();
}

template <class TBody>
HRESULT TComBVAgent::Safecall(TBody&& Body) noexcept {
  try {
    Body();
    return S_OK;
  } catch (const EOleSysError& E) {
    SetErrorText(E.Message());
    return FAILED(E.ErrorCode) ? E.ErrorCode : E_UNEXPECTED;
  } catch (const Exception& E) {
    SetErrorText(E.Message());
    return E_UNEXPECTED;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT STDMETHODCALLTYPE TComBVAgent::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, IID_IBVAgent)) {
    *Object = static_cast<::IBVAgent*>(this);
  } else if (IsEqualIID(Riid, IID_ISupportErrorInfo)) {
    *Object = static_cast<ISupportErrorInfo*>(this);
  } else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComBVAgent::InterfaceSupportsErrorInfo(REFIID Riid) {
  return IsEqualIID(Riid, IID_IBVAgent) ? S_OK : S_FALSE;
}

// ---------------------------------------------------------------- IDispatch through the type library

HRESULT TComBVAgent::TypeInfo(ITypeInfo** Info) {
  if (!FTypeInfo) {
    ITypeLib* Library = nullptr;
    HRESULT Result = LoadTypeLibEx(TComModule::FileName().c_str(), REGKIND_NONE, &Library);
    if (FAILED(Result)) return Result;
    Result = Library->GetTypeInfoOfGuid(IID_IBVAgent, &FTypeInfo);
    Library->Release();
    if (FAILED(Result)) return Result;
  }
  FTypeInfo->AddRef();
  *Info = FTypeInfo;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetTypeInfoCount(UINT* Count) {
  if (!Count) return E_POINTER;
  *Count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetTypeInfo(UINT Index, LCID, ITypeInfo** Info) {
  if (!Info) return E_POINTER;
  *Info = nullptr;
  if (Index != 0) return DISP_E_BADINDEX;
  return TypeInfo(Info);
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetIDsOfNames(REFIID Riid, LPOLESTR* Names, UINT Count, LCID,
                                                     DISPID* DispIDs) {
  if (!IsEqualIID(Riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* Info = nullptr;
  const HRESULT Result = TypeInfo(&Info);
  if (FAILED(Result)) return Result;
  const HRESULT Found = DispGetIDsOfNames(Info, Names, Count, DispIDs);
  Info->Release();
  return Found;
}

HRESULT STDMETHODCALLTYPE TComBVAgent::Invoke(DISPID DispID, REFIID Riid, LCID, WORD Flags, DISPPARAMS* Params,
                                              VARIANT* Result, EXCEPINFO* Exception, UINT* ArgErr) {
  if (!IsEqualIID(Riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  ITypeInfo* Info = nullptr;
  const HRESULT Loaded = TypeInfo(&Info);
  if (FAILED(Loaded)) return Loaded;
  // A member's failure comes back as DISP_E_EXCEPTION with the error information in Exception.
  const HRESULT Answer = DispInvoke(static_cast<::IBVAgent*>(this), Info, DispID, Flags, Params, Result, Exception,
                                    ArgErr);
  Info->Release();
  return Answer;
}

// ---------------------------------------------------------------- members

HRESULT STDMETHODCALLTYPE TComBVAgent::get_Window(IDispatch** Value) {
  if (!Value) return E_POINTER;
  *Value = nullptr;
  return Safecall([&] {
    if (IUnknown* Window = ComObjectOf(FAgent.GetWindow()))
      Window->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(Value));
  });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::put_Window(IDispatch* Value) {
  return Safecall([&] { FAgent.SetWindow(WrapComObject(Value)); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::get_ActionCount(LONG* Value) {
  if (!Value) return E_POINTER;
  return Safecall([&] { *Value = FAgent.ActionCount(); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetActionData(LONG AIndex, ::BVActionType* AType, BSTR* AIconName,
                                                     BSTR* AGrayIconName) {
  if (!AType || !AIconName || !AGrayIconName) return E_POINTER;
  ClearOut(AIconName);
  ClearOut(AGrayIconName);
  return Safecall([&] {
    pel::BVActionType Type = pel::atButton;
    WideString Icon, Gray;
    FAgent.GetActionData(AIndex, Type, Icon, Gray);
    *AType = static_cast<::BVActionType>(Type);
    *AIconName = ToBSTR(Icon);
    *AGrayIconName = ToBSTR(Gray);
  });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::ExecuteAction(LONG AIndex) {
  return Safecall([&] { FAgent.ExecuteAction(AIndex); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::get_SubActionCount(LONG AIndex, LONG* Value) {
  if (!Value) return E_POINTER;
  return Safecall([&] { *Value = FAgent.SubActionCount(AIndex); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::ExecuteSubAction(LONG AIndex, LONG ASubIndex) {
  return Safecall([&] { FAgent.ExecuteSubAction(AIndex, ASubIndex); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::get_GUIActive(VARIANT_BOOL* Value) {
  if (!Value) return E_POINTER;
  return Safecall([&] { *Value = ToVariantBool(FAgent.GetGUIActive()); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::put_GUIActive(VARIANT_BOOL Value) {
  return Safecall([&] { FAgent.SetGUIActive(Value != VARIANT_FALSE); });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetActionState(LONG AIndex, BSTR* ACaption, BSTR* AHint,
                                                      VARIANT_BOOL* AEnabled, VARIANT_BOOL* AChecked) {
  if (!ACaption || !AHint || !AEnabled || !AChecked) return E_POINTER;
  ClearOut(ACaption);
  ClearOut(AHint);
  return Safecall([&] {
    WideString Caption, Hint;
    bool Enabled = false, Checked = false;
    FAgent.GetActionState(AIndex, Caption, Hint, Enabled, Checked);
    *ACaption = ToBSTR(Caption);
    *AHint = ToBSTR(Hint);
    *AEnabled = ToVariantBool(Enabled);
    *AChecked = ToVariantBool(Checked);
  });
}

HRESULT STDMETHODCALLTYPE TComBVAgent::GetSubActionState(LONG AIndex, LONG ASubIndex, BSTR* ACaption, BSTR* AHint) {
  if (!ACaption || !AHint) return E_POINTER;
  ClearOut(ACaption);
  ClearOut(AHint);
  return Safecall([&] {
    WideString Caption, Hint;
    FAgent.GetSubActionState(AIndex, ASubIndex, Caption, Hint);
    *ACaption = ToBSTR(Caption);
    *AHint = ToBSTR(Hint);
  });
}

// ---------------------------------------------------------------- factory

TBVAgentFactory::TBVAgentFactory()
    : TTypedComObjectFactory(CLSID_BVAgent, L"BVAgent", L"BVAgent Object", TInstancing::Multiple,
                             TThreadingModel::Apartment) {}

IUnknown* TBVAgentFactory::CreateComObject() { return static_cast<::IBVAgent*>(new TComBVAgent()); }

}  // namespace pel::win32
