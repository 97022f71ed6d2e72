#pragma once
// OLE variants to and from the portable variant.

#include <windows.h>

#include <oaidl.h>

#include "platform/Variant.h"

namespace pel::win32 {

// Empty, null, booleans, the integer types, strings, objects (VT_DISPATCH, VT_UNKNOWN) and
// one-dimensional arrays of bytes or strings. Anything else (and any VT_BYREF) raises EVariantError.
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

}  // namespace pel::win32
