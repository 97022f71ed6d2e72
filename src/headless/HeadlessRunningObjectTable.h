#pragma once
// The process-wide table of running objects on Linux: the embedded store registers itself here
// and every browser window's agent finds it, from any thread.

#include <mutex>
#include <vector>

#include "platform/Store.h"

namespace pel::headless {

class THeadlessRunningObjectTable : public IRunningObjectTable {
public:
  uint32_t Register(const TGUID& ClassID, std::shared_ptr<IInterface> Object) override;
  void Revoke(uint32_t Cookie) override;
  // The earliest registration of the class that is still in the table wins, as a second
  // registration under the same class does not displace the first.
  std::shared_ptr<IInterface> GetActiveObject(const TGUID& ClassID) const override;

private:
  struct TEntry {
    uint32_t Cookie;
    TGUID ClassID;
    std::shared_ptr<IInterface> Object;
  };
  mutable std::mutex FLock;
  std::vector<TEntry> FEntries;
  uint32_t FNextCookie = 1;
};

}  // namespace pel::headless
