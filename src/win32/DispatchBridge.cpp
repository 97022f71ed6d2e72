#include "DispatchBridge.h"

#include <oleauto.h>

#include <vector>

#include "ComObject.h"
#include "ComVariant.h"
#include "platform/Exceptions.h"

namespace pel::win32 {

namespace {

// The value a by-reference argument points at, for the sink's slot.
TVariant ReadReference(const VARIANTARG& Arg) {
  if (!V_BYREF(&Arg)) throw EVariantError("A by-reference argument without a target");
  switch (V_VT(&Arg) & ~VT_BYREF) {
    case VT_VARIANT: {
      const VARIANT& Target = *V_VARIANTREF(&Arg);
      if (V_VT(&Target) & VT_BYREF) throw EVariantError("A reference to a reference");
      return FromOleVariant(Target);
    }
    case VT_BOOL: return TVariant(*V_BOOLREF(&Arg) != VARIANT_FALSE);
    case VT_I4: return TVariant(static_cast<int32_t>(*V_I4REF(&Arg)));
    case VT_UI4: return TVariant(static_cast<uint32_t>(*V_UI4REF(&Arg)));
    case VT_BSTR: return TVariant(FromBSTR(*V_BSTRREF(&Arg)));
    case VT_DISPATCH: return TVariant(WrapComObject(*V_DISPATCHREF(&Arg)));
    case VT_UNKNOWN: return TVariant(WrapComObject(*V_UNKNOWNREF(&Arg)));
    default: throw EVariantError("Variant type " + IntToStr(V_VT(&Arg)) + " has no portable form");
  }
}

// Writes the sink's slot back where the argument points, releasing what was there. The new value
// is made first, so a value that cannot be written leaves the caller's untouched.
void WriteReference(const VARIANTARG& Arg, const TVariant& Value) {
  switch (V_VT(&Arg) & ~VT_BYREF) {
    case VT_VARIANT: {
      VARIANT New;
      ToOleVariant(Value, New);
      VariantClear(V_VARIANTREF(&Arg));
      *V_VARIANTREF(&Arg) = New;
      break;
    }
    case VT_BOOL: *V_BOOLREF(&Arg) = Value.AsBoolean() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_I4: *V_I4REF(&Arg) = Value.AsInteger(); break;
    case VT_UI4: *V_UI4REF(&Arg) = Value.AsCardinal(); break;
    case VT_BSTR: {
      BSTR New = ToBSTR(Value.AsWideString());
      SysFreeString(*V_BSTRREF(&Arg));
      *V_BSTRREF(&Arg) = New;
      break;
    }
    case VT_DISPATCH: {
      IDispatch* New = ToDispatch(Value);
      if (*V_DISPATCHREF(&Arg)) (*V_DISPATCHREF(&Arg))->Release();
      *V_DISPATCHREF(&Arg) = New;
      break;
    }
    case VT_UNKNOWN: {
      IUnknown* New = ToUnknown(Value);
      if (*V_UNKNOWNREF(&Arg)) (*V_UNKNOWNREF(&Arg))->Release();
      *V_UNKNOWNREF(&Arg) = New;
      break;
    }
  }
}

}  // namespace

TDispatchBridge::TDispatchBridge(IEventDispatch* Sink, const TGUID& EventIID)
    : FSink(Sink), FEventIID(ToGUID(EventIID)) {}

void TDispatchBridge::Detach() {
  FSink = nullptr;
  Release();
}

ULONG STDMETHODCALLTYPE TDispatchBridge::Release() {
  const ULONG Count = --FRefCount;
  if (Count == 0) delete this;
  return Count;
}

HRESULT STDMETHODCALLTYPE TDispatchBridge::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IDispatch) || IsEqualIID(Riid, FEventIID)) {
    *Object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *Object = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE TDispatchBridge::GetTypeInfoCount(UINT* Count) {
  if (Count) *Count = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TDispatchBridge::GetTypeInfo(UINT, LCID, ITypeInfo** Info) {
  if (Info) *Info = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE TDispatchBridge::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE TDispatchBridge::Invoke(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags,
                                                  DISPPARAMS* Params, VARIANT* Result, EXCEPINFO*, UINT* ArgErr) {
  if (!FSink) return DISP_E_MEMBERNOTFOUND;
  // The handler may disconnect this very sink: the bridge stays until the call has returned.
  AddRef();
  const HRESULT Hr = Dispatch(DispID, Riid, Locale, Flags, Params, Result, ArgErr);
  Release();
  return Hr;
}

HRESULT TDispatchBridge::Dispatch(DISPID DispID, REFIID Riid, LCID Locale, WORD Flags, DISPPARAMS* Params,
                                  VARIANT* Result, UINT* ArgErr) {
  try {
    const UINT Count = Params ? Params->cArgs : 0;
    const UINT Named = Params ? Params->cNamedArgs : 0;
    if ((Count && !Params->rgvarg) || Named > Count || (Named && !Params->rgdispidNamedArgs)) return E_INVALIDARG;

    // Same layout as the platform's (named first, then positional last-first); a by-reference
    // argument becomes a slot of its own, written back below when the sink changed it.
    TDispParams Call;
    std::vector<TVariant> Slots(Count), Before(Count);
    Call.Args.reserve(Count);
    for (UINT I = 0; I < Count; ++I) {
      const VARIANTARG& Arg = Params->rgvarg[I];
      try {
        if (V_VT(&Arg) & VT_BYREF) {
          Slots[I] = ReadReference(Arg);
          Before[I] = Slots[I];
          Call.Args.push_back(TVariant::Ref(Slots[I]));
        } else {
          Call.Args.push_back(FromOleVariant(Arg));
        }
      } catch (const Exception&) {
        if (ArgErr) *ArgErr = I;
        return DISP_E_BADVARTYPE;
      }
    }
    for (UINT K = 0; K < Named; ++K) Call.NamedArgs.push_back(Params->rgdispidNamedArgs[K]);

    TVariant Answer;
    const HRESULT Hr = FSink->Invoke(DispID, FromGUID(Riid), Locale, Flags, Call, &Answer);

    for (UINT I = 0; I < Count; ++I) {
      const VARIANTARG& Arg = Params->rgvarg[I];
      if (!(V_VT(&Arg) & VT_BYREF) || Slots[I] == Before[I]) continue;
      try {
        WriteReference(Arg, Slots[I]);
      } catch (const Exception&) {
        if (ArgErr) *ArgErr = I;
        return DISP_E_TYPEMISMATCH;
      }
    }
    if (Result && !Answer.IsEmpty()) {
      VARIANT Value;
      ToOleVariant(Answer, Value);
      *Result = Value;  // an out value: whatever the caller left there is not ours to free
    }
    return Hr;
  } catch (...) {
    // Nothing crosses the COM boundary.
    return E_UNEXPECTED;
  }
}

}  // namespace pel::win32
