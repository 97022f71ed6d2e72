#pragma once
// One system hook of a fixed kind on every thread that asks for it, shared by all users on that
// thread through a use count. Several user-interface threads acquire and release the same manager,
// and hook procedures pass their calls on through it from the hooked threads, so every access to
// the records is serialised; the lock is never held while the next hook runs.

#include <cstdint>
#include <mutex>

#include "platform/Collection.h"
#include "platform/Services.h"

namespace pel {

class TThreadHookData : public TCollectionItem {
public:
  explicit TThreadHookData(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}
  uint32_t ThreadId() const { return FThreadId; }
  uintptr_t Hook() const { return FHook; }
  uint32_t UseCount() const { return FUseCount; }
  void SetThreadId(uint32_t Value);
  void SetHook(uintptr_t Value);
  // Raise an overflow error past either end of the 32-bit count.
  void IncUseCount();
  void DecUseCount();

private:
  uint32_t FThreadId = 0;
  uintptr_t FHook = 0;
  uint32_t FUseCount = 0;
};

class THookManager {
public:
  THookManager(int32_t HookType, THookProc HookProc);
  // Removes the hooks of every thread still recorded, whatever their counts: the hook procedure
  // goes with the module.
  ~THookManager();
  THookManager(const THookManager&) = delete;
  THookManager& operator=(const THookManager&) = delete;

  // The calling thread is hooked, with one use more.
  int32_t AcquireThread();
  // One use less for the calling thread; its hook goes with the last one.
  int32_t ReleaseThread();
  // Passes a hook call on along the calling thread's chain; 0 on a thread this manager does not hook.
  intptr_t CallNext(int32_t Code, uintptr_t WParam, intptr_t LParam);

  int32_t HookType() const { return FHookType; }
  // The calling thread's use count, 0 when it has no record.
  uint32_t UseCount();

private:
  TThreadHookData* FindThread();

  int32_t FHookType;
  THookProc FHookProc;
  TCollection<TThreadHookData> FThreads;
  std::mutex FLock;
};

}  // namespace pel
