// Watches what the process hands back to the heap while the store changes its password: a data
// key in a freed block stays readable to whatever gets that memory next, and in a core dump.
// The sanitizer builds own the allocator, so there the watch is not built and the test skips.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "Crypto.h"
#include "KeyringTestSupport.h"
#include "StoreTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
#define PEL_WATCH_FREE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PEL_WATCH_FREE 0
#endif
#endif
#ifndef PEL_WATCH_FREE
#define PEL_WATCH_FREE 1
#endif

namespace {

// Every block freed while watching, copied here (static storage: no allocation of its own).
constexpr size_t FreedCapacity = size_t{64} << 20;
uint8_t Freed[FreedCapacity];
std::atomic<size_t> FreedSize = 0;
std::atomic<bool> Watching = false;

}  // namespace

#if PEL_WATCH_FREE
extern "C" void __libc_free(void* Block);
extern "C" void free(void* Block) noexcept {
  if (Block && Watching.load(std::memory_order_relaxed)) {
    const size_t Size = malloc_usable_size(Block);
    const size_t At = FreedSize.fetch_add(Size);
    if (At + Size <= FreedCapacity) std::memcpy(Freed + At, Block, Size);
  }
  __libc_free(Block);
}
#endif

namespace pel::test {
namespace {

using store::TKeyCost;
using store::TPelStore;

bool FreedHolds(const uint8_t* Key) {
  const size_t Size = std::min(FreedSize.load(), FreedCapacity);
  return std::search(Freed, Freed + Size, Key, Key + store::TSecretKey::Size) != Freed + Size;
}

TEST(KeyMemoryTest, PasswordChangeLeavesNoDataKeyInFreedMemory) {
  if (!PEL_WATCH_FREE) GTEST_SKIP() << "the sanitizer's allocator cannot be watched";
  TStoreFolder Folder;
  TPelStore Store(Folder.File());
  bool Login = false;
  Store.AddFieldValue(u"", u"City", u"Lyon", Login);
  Store.SetMasterPassword(u"", u"first", TKeyCost::Minimal());
  const store::TKey Before = PasswordDataKey(Folder.File(), u"first");
  ASSERT_TRUE(Before);

  FreedSize = 0;
  Watching = true;
  Store.SetMasterPassword(u"first", u"second", TKeyCost::Minimal());
  Store.Logout();
  Store.Login(u"second");
  Watching = false;
  ASSERT_LE(FreedSize.load(), FreedCapacity) << "more was freed than the watch holds";
  ASSERT_GT(FreedSize.load(), 0u) << "the watch saw nothing freed";

  const store::TKey After = PasswordDataKey(Folder.File(), u"second");
  ASSERT_TRUE(After);
  EXPECT_NE(std::memcmp(Before->Data(), After->Data(), store::TSecretKey::Size), 0)
      << "the password change kept the data key";
  EXPECT_FALSE(FreedHolds(Before->Data())) << "the old data key was freed unwiped";
  EXPECT_FALSE(FreedHolds(After->Data())) << "the new data key was freed unwiped";
}

}  // namespace
}  // namespace pel::test
