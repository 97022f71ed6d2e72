#include "HookManager.h"

#include "Common/Trace.h"

namespace pel {

void TThreadHookData::SetThreadId(uint32_t Value) {
  Traced(118, [&] { FThreadId = Value; });
}

void TThreadHookData::SetHook(uintptr_t Value) {
  Traced(117, [&] { FHook = Value; });
}

void TThreadHookData::IncUseCount() {
  Traced(114, [&] {
    if (FUseCount == UINT32_MAX) throw EIntOverflow("Integer overflow");
    ++FUseCount;
  });
}

void TThreadHookData::DecUseCount() {
  Traced(116, [&] {
    if (FUseCount == 0) throw EIntOverflow("Integer overflow");
    --FUseCount;
  });
}

// Nothing is installed until a thread asks; making the lock and the empty list cannot fail.
THookManager::THookManager(int32_t HookType, THookProc HookProc) : FHookType(HookType), FHookProc(HookProc) {}

THookManager::~THookManager() {
  try {
    Traced(111, [&] {
      for (TThreadHookData& Data : FThreads) WindowServices().Unhook(Data.Hook());
      FThreads.Clear();
    });
  } catch (const Exception&) {
    // Unloading goes on; a hook the system refused to remove dies with the process.
  }
}

TThreadHookData* THookManager::FindThread() {
  const uint32_t Thread = WindowServices().CurrentThreadId();
  for (TThreadHookData& Data : FThreads)
    if (Data.ThreadId() == Thread) return &Data;
  return nullptr;
}

int32_t THookManager::AcquireThread() {
  return Traced(112, [&] {
    std::lock_guard<std::mutex> Guard(FLock);
    TThreadHookData* Data = FindThread();
    if (!Data) {
      Data = Traced(115, [&] { return &FThreads.Add(); });
      const uint32_t Thread = WindowServices().CurrentThreadId();
      Data->SetThreadId(Thread);
      // A refused hook is recorded as 0 and passed over by CallNext's chain all the same.
      Data->SetHook(WindowServices().SetThreadHook(FHookType, FHookProc, Thread));
    }
    Data->IncUseCount();
    return 0;
  });
}

int32_t THookManager::ReleaseThread() {
  return Traced(113, [&] {
    std::lock_guard<std::mutex> Guard(FLock);
    TThreadHookData* Data = FindThread();
    if (!Data) return 0;
    Data->DecUseCount();
    if (Data->UseCount() == 0) {
      WindowServices().Unhook(Data->Hook());
      FThreads.Delete(Data->GetIndex());
    }
    return 0;
  });
}

intptr_t THookManager::CallNext(int32_t Code, uintptr_t WParam, intptr_t LParam) {
  return Traced(109, [&]() -> intptr_t {
    uintptr_t Hook = 0;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      TThreadHookData* Data = FindThread();
      if (!Data) return 0;
      Hook = Data->Hook();
    }
    return WindowServices().CallNextHook(Hook, Code, WParam, LParam);
  });
}

uint32_t THookManager::UseCount() {
  std::lock_guard<std::mutex> Guard(FLock);
  TThreadHookData* Data = FindThread();
  return Data ? Data->UseCount() : 0;
}

}  // namespace pel
