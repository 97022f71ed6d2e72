#pragma once
// COM objects seen through the ports: a reference to a COM object travels in variants and event
// arguments as an object of the ports, and comes back out as the same COM object.

#include <windows.h>

#include <objbase.h>

#include <memory>

#include "platform/Dom.h"
#include "platform/SysTypes.h"

namespace pel::win32 {

TGUID FromGUID(const GUID& Guid);
GUID ToGUID(const TGUID& Guid);

// The system's text for a failed COM call, or "OLE error XXXXXXXX" when it has none.
AnsiString OleErrorMessage(HRESULT Result);

// Raises the core's exception for a failed call of Interface on Object: EOleException with the
// callee's own description, source and help when it offers error information for that interface,
// else EOleSysError with the system's text. Does nothing when Result is a success.
void OleCheck(HRESULT Result, IUnknown* Object, REFIID Interface);

// Object as interface I, with a reference for the caller; null when it does not answer it.
template <class I>
I* QueryAs(IUnknown* Object) {
  I* Result = nullptr;
  if (!Object || FAILED(Object->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&Result)))) return nullptr;
  return Result;
}

// Holds one reference to a COM object for as long as the port object lives. Two port objects are
// the same object when their COM objects answer the same IUnknown.
class TComObject : public virtual IInterface, public IObjectIdentity {
public:
  explicit TComObject(IUnknown* Object);
  ~TComObject() override;
  TComObject(const TComObject&) = delete;
  TComObject& operator=(const TComObject&) = delete;

  IUnknown* Unknown() const { return FUnknown; }
  const void* Identity() const override { return FIdentity; }

private:
  IUnknown* FUnknown;
  const void* FIdentity;
};

// The port object for a COM object (nullptr for none). It answers the port interfaces whose COM
// counterparts the object implements, so that Supports<> asks the COM object itself.
std::shared_ptr<IInterface> WrapComObject(IUnknown* Object);
// The COM object behind a port object (no reference added); nullptr for none or for an object of
// the core that has no COM identity.
IUnknown* ComObjectOf(const std::shared_ptr<IInterface>& Object);
// A new COM object (one reference for the caller) for an object of the core that COM callers may
// hold: the window's agent gets its COM face. nullptr for any other object.
IUnknown* MakeComFace(const std::shared_ptr<IInterface>& Object);

}  // namespace pel::win32
