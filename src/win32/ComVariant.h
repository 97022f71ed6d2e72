#pragma once
// OLE variants to and from the portable variant.

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include "platform/Variant.h"

namespace pel::win32 {

// Empty, null, booleans, the integer types, strings, objects (VT_DISPATCH, VT_UNKNOWN) and
// one-dimensional arrays of bytes or strings (also an array of variants that all hold strings,
// as a script builds a list). Anything else (and any VT_BYREF) raises EVariantError.
TVariant FromOleVariant(const VARIANT& Value);

// Into Out, which holds nothing that needs freeing. Raises EVariantError for a by-reference slot
// or an object of the core that has no COM identity; Out is untouched then.
void ToOleVariant(const TVariant& Value, VARIANT& Out);

BSTR ToBSTR(const WideString& Text);
WideString FromBSTR(BSTR Text);

// The COM object of an object variant as IDispatch (nullptr for none), with a reference for the
// caller. Raises EVariantError when the value is no object or has no COM identity.
IDispatch* ToDispatch(const TVariant& Value);
IUnknown* ToUnknown(const TVariant& Value);

// One owned BSTR: freed when it goes, so that no path of a call leaks an argument or an answer.
class TOleString {
public:
  TOleString() = default;
  explicit TOleString(const WideString& Text) : FValue(ToBSTR(Text)) {}
  ~TOleString() { SysFreeString(FValue); }
  TOleString(const TOleString&) = delete;
  TOleString& operator=(const TOleString&) = delete;

  operator BSTR() const { return FValue; }
  // For an out argument: whatever was held is freed first.
  BSTR* Out() {
    SysFreeString(FValue);
    FValue = nullptr;
    return &FValue;
  }
  // For an in-out argument: the callee frees what it replaces.
  BSTR* InOut() { return &FValue; }
  WideString Text() const { return FromBSTR(FValue); }

private:
  BSTR FValue = nullptr;
};

// One owned VARIANT, cleared when it goes.
class TOleVariant {
public:
  TOleVariant() { VariantInit(&FValue); }
  explicit TOleVariant(const TVariant& Value) : TOleVariant() { ToOleVariant(Value, FValue); }
  ~TOleVariant() { VariantClear(&FValue); }
  TOleVariant(const TOleVariant&) = delete;
  TOleVariant& operator=(const TOleVariant&) = delete;

  const VARIANT& Value() const { return FValue; }
  VARIANT* Out() {
    VariantClear(&FValue);
    return &FValue;
  }
  TVariant Portable() const { return FromOleVariant(FValue); }

private:
  VARIANT FValue;
};

}  // namespace pel::win32
