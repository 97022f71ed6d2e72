// The thread hook manager on the headless window system: one hook per thread however often it is
// acquired, removed with the last release, calls passed along the calling thread's chain.

#include <gtest/gtest.h>

#include <thread>

#include "auth/HookManager.h"
#include "headless/HeadlessWindows.h"

namespace pel {
namespace {

headless::THeadlessWindows& Windows() { return headless::HeadlessWindows(); }

THookManager* Manager = nullptr;
int ManagerCalls = 0;
int LowerCalls = 0;

intptr_t PEL_STDCALL ManagedProc(int32_t Code, uintptr_t WParam, intptr_t LParam) {
  ++ManagerCalls;
  return Manager->CallNext(Code, WParam, LParam);
}

intptr_t PEL_STDCALL LowerProc(int32_t, uintptr_t, intptr_t) {
  ++LowerCalls;
  return 42;
}

// Runs Body on a thread of its own, whose hooks no other test has touched.
template <class TBody>
void OnFreshThread(TBody Body) {
  std::thread Thread(Body);
  Thread.join();
}

class HookManagerTest : public testing::Test {
protected:
  void SetUp() override {
    Manager = &FManager;
    ManagerCalls = LowerCalls = 0;
  }
  void TearDown() override { Manager = nullptr; }
  THookManager FManager{whCallWndProcRet, ManagedProc};
};

TEST_F(HookManagerTest, OneHookPerThreadCountedByUseAndRemovedWithTheLastRelease) {
  OnFreshThread([&] {
    const uint32_t Thread = Windows().CurrentThreadId();
    EXPECT_EQ(Windows().HookCount(Thread), 0);
    EXPECT_EQ(FManager.AcquireThread(), 0);
    EXPECT_EQ(FManager.AcquireThread(), 0);
    EXPECT_EQ(Windows().HookCount(Thread), 1);
    EXPECT_EQ(FManager.UseCount(), 2u);
    EXPECT_EQ(FManager.ReleaseThread(), 0);
    EXPECT_EQ(Windows().HookCount(Thread), 1);
    EXPECT_EQ(FManager.UseCount(), 1u);
    FManager.ReleaseThread();
    EXPECT_EQ(Windows().HookCount(Thread), 0);
    EXPECT_EQ(FManager.UseCount(), 0u);
    // A thread that holds nothing releases nothing, and nothing breaks.
    EXPECT_EQ(FManager.ReleaseThread(), 0);
    EXPECT_EQ(Windows().HookCount(Thread), 0);
  });
}

TEST_F(HookManagerTest, TheHookSeesTheThreadsWindowsAndPassesEachCallAlongItsChain) {
  OnFreshThread([&] {
    const uintptr_t Lower = Windows().SetThreadHook(whCallWndProcRet, LowerProc, Windows().CurrentThreadId());
    FManager.AcquireThread();
    const uint32_t Wnd = Windows().CreateWindow("Static", u"", 0);
    EXPECT_EQ(ManagerCalls, 1);
    EXPECT_EQ(LowerCalls, 1) << "the manager's hook passed the call on";
    EXPECT_EQ(FManager.CallNext(0, 0, 0), 42);
    EXPECT_EQ(LowerCalls, 2);
    FManager.ReleaseThread();
    Windows().Destroy(Wnd);
    EXPECT_EQ(ManagerCalls, 1) << "no hook of the manager after its release";
    EXPECT_EQ(LowerCalls, 3);
    // Without a record the call goes nowhere.
    EXPECT_EQ(FManager.CallNext(0, 0, 0), 0);
    EXPECT_EQ(LowerCalls, 3);
    Windows().Unhook(Lower);
  });
}

TEST_F(HookManagerTest, EachThreadHasItsOwnHookAndTheDestructorRemovesAllThatRemain) {
  uint32_t First = 0, Second = 0;
  {
    THookManager Local(whGetMessage, ManagedProc);
    OnFreshThread([&] {
      First = Windows().CurrentThreadId();
      Local.AcquireThread();
    });
    OnFreshThread([&] {
      Second = Windows().CurrentThreadId();
      Local.AcquireThread();
      Local.AcquireThread();
      // Another thread's record is not this thread's: releasing here keeps the first thread's hook.
      Local.ReleaseThread();
    });
    EXPECT_EQ(Windows().HookCount(First), 1);
    EXPECT_EQ(Windows().HookCount(Second), 1);
  }
  EXPECT_EQ(Windows().HookCount(First), 0);
  EXPECT_EQ(Windows().HookCount(Second), 0);
}

TEST(ThreadHookData, CountingPastEitherEndIsAnOverflowTracedByItsRoutine) {
  TThreadHookData Data;
  try {
    Data.DecUseCount();
    FAIL() << "no overflow";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message(), "Integer overflow\r\n>>116");
  }
  Data.IncUseCount();
  EXPECT_EQ(Data.UseCount(), 1u);
}

}  // namespace
}  // namespace pel
