#include "HeadlessRunningObjectTable.h"

#include <algorithm>

#include "platform/Exceptions.h"

namespace pel::headless {

uint32_t THeadlessRunningObjectTable::Register(const TGUID& ClassID, std::shared_ptr<IInterface> Object) {
  if (!Object) throw EOleSysError("Invalid argument", static_cast<int32_t>(0x80070057u));
  std::lock_guard Lock(FLock);
  const uint32_t Cookie = FNextCookie++;
  FEntries.push_back({Cookie, ClassID, std::move(Object)});
  return Cookie;
}

void THeadlessRunningObjectTable::Revoke(uint32_t Cookie) {
  std::shared_ptr<IInterface> Released;  // let go of the object outside the lock
  {
    std::lock_guard Lock(FLock);
    auto It = std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& E) { return E.Cookie == Cookie; });
    if (It == FEntries.end()) throw EOleSysError("Invalid argument", static_cast<int32_t>(0x80070057u));
    Released = std::move(It->Object);
    FEntries.erase(It);
  }
}

std::shared_ptr<IInterface> THeadlessRunningObjectTable::GetActiveObject(const TGUID& ClassID) const {
  std::lock_guard Lock(FLock);
  for (const TEntry& E : FEntries)
    if (E.ClassID == ClassID) return E.Object;
  return nullptr;
}

}  // namespace pel::headless
