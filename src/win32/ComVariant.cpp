#include "ComVariant.h"

#include <oleauto.h>

#include <cstring>
#include <new>

#include "ComObject.h"
#include "platform/Exceptions.h"

namespace pel::win32 {

namespace {

[[noreturn]] void Unsupported(VARTYPE Type) {
  throw EVariantError("Variant type " + IntToStr(Type) + " has no portable form");
}

// Elements of a one-dimensional array in index order, whatever its low bound.
template <class TElement, class TConvert>
auto ReadArray(SAFEARRAY* Array, VARTYPE Type, TConvert Convert) {
  std::vector<decltype(Convert(TElement{}))> Result;
  if (!Array) return Result;
  if (SafeArrayGetDim(Array) != 1) Unsupported(Type);
  LONG Low = 0, High = -1;
  SafeArrayGetLBound(Array, 1, &Low);
  SafeArrayGetUBound(Array, 1, &High);
  TElement* Data = nullptr;
  if (FAILED(SafeArrayAccessData(Array, reinterpret_cast<void**>(&Data)))) Unsupported(Type);
  // An element that does not convert raises; the array must not stay locked then.
  struct TUnaccess {
    SAFEARRAY* Array;
    ~TUnaccess() { SafeArrayUnaccessData(Array); }
  } Unaccess{Array};
  for (LONG I = 0; I <= High - Low; ++I) Result.push_back(Convert(Data[I]));
  return Result;
}

}  // namespace

BSTR ToBSTR(const WideString& Text) {
  BSTR Result = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(Text.data()), static_cast<UINT>(Text.size()));
  if (!Result) throw std::bad_alloc();
  return Result;
}

WideString FromBSTR(BSTR Text) {
  if (!Text) return {};
  return WideString(reinterpret_cast<const char16_t*>(Text), SysStringLen(Text));
}

TVariant FromOleVariant(const VARIANT& Value) {
  switch (V_VT(&Value)) {
    case VT_EMPTY: return TVariant();
    case VT_NULL: return TVariant::Null();
    case VT_BOOL: return TVariant(V_BOOL(&Value) != VARIANT_FALSE);
    case VT_I1: return TVariant(int32_t{V_I1(&Value)});
    case VT_UI1: return TVariant(int32_t{V_UI1(&Value)});
    case VT_I2: return TVariant(int32_t{V_I2(&Value)});
    case VT_UI2: return TVariant(int32_t{V_UI2(&Value)});
    case VT_I4: return TVariant(static_cast<int32_t>(V_I4(&Value)));
    case VT_INT: return TVariant(static_cast<int32_t>(V_INT(&Value)));
    case VT_UI4: return TVariant(static_cast<uint32_t>(V_UI4(&Value)));
    case VT_UINT: return TVariant(static_cast<uint32_t>(V_UINT(&Value)));
    case VT_BSTR: return TVariant(FromBSTR(V_BSTR(&Value)));
    case VT_DISPATCH: return TVariant(WrapComObject(V_DISPATCH(&Value)));
    case VT_UNKNOWN: return TVariant(WrapComObject(V_UNKNOWN(&Value)));
    case VT_ARRAY | VT_UI1:
      return TVariant(ReadArray<uint8_t>(V_ARRAY(&Value), V_VT(&Value), [](uint8_t B) { return B; }));
    case VT_ARRAY | VT_BSTR:
      return TVariant(ReadArray<BSTR>(V_ARRAY(&Value), V_VT(&Value), [](BSTR S) { return FromBSTR(S); }));
    case VT_ARRAY | VT_VARIANT:
      return TVariant(ReadArray<VARIANT>(V_ARRAY(&Value), V_VT(&Value), [](const VARIANT& Element) {
        if (V_VT(&Element) != VT_BSTR) Unsupported(VT_ARRAY | VT_VARIANT);
        return FromBSTR(V_BSTR(&Element));
      }));
    default: Unsupported(V_VT(&Value));
  }
}

void ToOleVariant(const TVariant& Value, VARIANT& Out) {
  VARIANT Result;
  VariantInit(&Result);
  switch (Value.VarType()) {
    case TVarType::Empty: break;
    case TVarType::Null: V_VT(&Result) = VT_NULL; break;
    case TVarType::Boolean:
      V_VT(&Result) = VT_BOOL;
      V_BOOL(&Result) = Value.AsBoolean() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case TVarType::Integer:
      V_VT(&Result) = VT_I4;
      V_I4(&Result) = Value.AsInteger();
      break;
    case TVarType::Cardinal:
      V_VT(&Result) = VT_UI4;
      V_UI4(&Result) = Value.AsCardinal();
      break;
    case TVarType::String:
      V_BSTR(&Result) = ToBSTR(Value.AsWideString());
      V_VT(&Result) = VT_BSTR;
      break;
    case TVarType::ByteArray: {
      const TVariant::TBytes& Bytes = Value.AsBytes();
      SAFEARRAY* Array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(Bytes.size()));
      if (!Array) throw std::bad_alloc();
      void* Data = nullptr;
      SafeArrayAccessData(Array, &Data);
      if (!Bytes.empty()) std::memcpy(Data, Bytes.data(), Bytes.size());
      SafeArrayUnaccessData(Array);
      V_VT(&Result) = VT_ARRAY | VT_UI1;
      V_ARRAY(&Result) = Array;
      break;
    }
    case TVarType::StringArray: {
      const TVariant::TStrings& Strings = Value.AsStrings();
      SAFEARRAY* Array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(Strings.size()));
      if (!Array) throw std::bad_alloc();
      V_VT(&Result) = VT_ARRAY | VT_BSTR;
      V_ARRAY(&Result) = Array;
      BSTR* Data = nullptr;
      SafeArrayAccessData(Array, reinterpret_cast<void**>(&Data));
      for (size_t I = 0; I < Strings.size(); ++I)
        Data[I] = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(Strings[I].data()),
                                    static_cast<UINT>(Strings[I].size()));
      SafeArrayUnaccessData(Array);
      break;
    }
    case TVarType::Object: {
      IUnknown* Unknown = ToUnknown(Value);
      IDispatch* Dispatch = nullptr;
      if (!Unknown || SUCCEEDED(Unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&Dispatch)))) {
        V_VT(&Result) = VT_DISPATCH;
        V_DISPATCH(&Result) = Dispatch;
        if (Unknown) Unknown->Release();
      } else {
        V_VT(&Result) = VT_UNKNOWN;
        V_UNKNOWN(&Result) = Unknown;
      }
      break;
    }
    case TVarType::ByRef: throw EVariantError("A by-reference variant cannot be handed back");
  }
  Out = Result;
}

IUnknown* ToUnknown(const TVariant& Value) {
  const std::shared_ptr<IInterface> Object = Value.IsNull() ? nullptr : Value.AsObject();
  if (!Object) return nullptr;
  if (IUnknown* Unknown = ComObjectOf(Object)) {
    Unknown->AddRef();
    return Unknown;
  }
  if (IUnknown* Face = MakeComFace(Object)) return Face;
  throw EVariantError("The object has no COM identity");
}

IDispatch* ToDispatch(const TVariant& Value) {
  IUnknown* Unknown = ToUnknown(Value);
  if (!Unknown) return nullptr;
  IDispatch* Dispatch = nullptr;
  const HRESULT Hr = Unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&Dispatch));
  Unknown->Release();
  if (FAILED(Hr) || !Dispatch) throw EVariantError("The object does not answer IDispatch");
  return Dispatch;
}

}  // namespace pel::win32
