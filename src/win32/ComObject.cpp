#include "ComObject.h"

#include <cstdio>
#include <cstring>

#include "ComConnectionPoints.h"

namespace pel::win32 {

static_assert(sizeof(GUID) == sizeof(TGUID));

TGUID FromGUID(const GUID& Guid) {
  TGUID Result;
  Result.Data1 = Guid.Data1;
  Result.Data2 = Guid.Data2;
  Result.Data3 = Guid.Data3;
  std::memcpy(Result.Data4, Guid.Data4, sizeof Result.Data4);
  return Result;
}

GUID ToGUID(const TGUID& Guid) {
  GUID Result;
  Result.Data1 = Guid.Data1;
  Result.Data2 = Guid.Data2;
  Result.Data3 = Guid.Data3;
  std::memcpy(Result.Data4, Guid.Data4, sizeof Result.Data4);
  return Result;
}

AnsiString OleErrorMessage(HRESULT Result) {
  char Buffer[512];
  DWORD Length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(Result), 0, Buffer, sizeof Buffer, nullptr);
  while (Length > 0 && (Buffer[Length - 1] == '\r' || Buffer[Length - 1] == '\n' || Buffer[Length - 1] == ' '))
    --Length;
  if (Length > 0) return AnsiString(Buffer, Length);
  std::snprintf(Buffer, sizeof Buffer, "OLE error %08lX", static_cast<unsigned long>(Result));
  return Buffer;
}

TComObject::TComObject(IUnknown* Object) : FUnknown(Object) { FUnknown->AddRef(); }

TComObject::~TComObject() { FUnknown->Release(); }

std::shared_ptr<IInterface> WrapComObject(IUnknown* Object) {
  if (!Object) return nullptr;
  ::IConnectionPointContainer* Container = nullptr;
  if (SUCCEEDED(Object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&Container))) &&
      Container)
    return std::make_shared<TComConnectionPointContainer>(Object, Container);
  return std::make_shared<TComObject>(Object);
}

IUnknown* ComObjectOf(const std::shared_ptr<IInterface>& Object) {
  auto* Com = dynamic_cast<TComObject*>(Object.get());
  return Com ? Com->Unknown() : nullptr;
}

}  // namespace pel::win32
