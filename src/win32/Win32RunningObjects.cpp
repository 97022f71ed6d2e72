#include "Win32RunningObjects.h"

#include <windows.h>

#include <oleauto.h>

#include "ComObject.h"
#include "ComPelServerHost.h"
#include "platform/Exceptions.h"

namespace pel::win32 {

uint32_t TWin32RunningObjectTable::Register(const TGUID& ClassID, std::shared_ptr<IInterface> Object) {
  IUnknown* Unknown = ComObjectOf(Object);
  if (Unknown) {
    Unknown->AddRef();
  } else if (auto Store = Supports<pel::IPelServer>(Object)) {
    Unknown = static_cast<::IPelServer*>(TComPelServerHost::Create(std::move(Store)));
  } else {
    throw EOleSysError("The object has no COM face to register", E_INVALIDARG);
  }
  const CLSID Class = ToGUID(ClassID);
  DWORD Cookie = 0;
  // Strong: the table keeps the object alive until it is revoked, as a server that registers
  // itself expects.
  const HRESULT Hr = RegisterActiveObject(Unknown, Class, ACTIVEOBJECT_STRONG, &Cookie);
  Unknown->Release();
  if (FAILED(Hr)) throw EOleSysError(OleErrorMessage(Hr), Hr);
  return Cookie;
}

void TWin32RunningObjectTable::Revoke(uint32_t Cookie) {
  const HRESULT Hr = RevokeActiveObject(Cookie, nullptr);
  if (FAILED(Hr)) throw EOleSysError(OleErrorMessage(Hr), Hr);
}

std::shared_ptr<IInterface> TWin32RunningObjectTable::GetActiveObject(const TGUID& ClassID) const {
  const CLSID Class = ToGUID(ClassID);
  IUnknown* Unknown = nullptr;
  if (FAILED(::GetActiveObject(Class, nullptr, &Unknown)) || !Unknown) return nullptr;
  std::shared_ptr<IInterface> Result;
  try {
    Result = WrapComObject(Unknown);
  } catch (...) {
    Unknown->Release();
    throw;
  }
  Unknown->Release();
  return Result;
}

}  // namespace pel::win32
