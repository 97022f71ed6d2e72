#pragma once
// The system's running-object table as the port: a store found here lives in another process and
// is reached over COM; an object of the core registered here is served through its COM face.

#include "platform/Store.h"

namespace pel::win32 {

class TWin32RunningObjectTable : public IRunningObjectTable {
public:
  // Raises EOleSysError when the system refuses, or when Object has no COM face.
  uint32_t Register(const TGUID& ClassID, std::shared_ptr<IInterface> Object) override;
  void Revoke(uint32_t Cookie) override;
  // Null when nothing of that class runs (or the table cannot be asked).
  std::shared_ptr<IInterface> GetActiveObject(const TGUID& ClassID) const override;
};

}  // namespace pel::win32
