// The Windows binding's windows and string resources: the library's string table as the resource
// compiler built it, and window rectangles by 32-bit handle.

#include <gtest/gtest.h>

#include <windows.h>

#include "agent/BrivaneAgent.h"
#include "platform/Services.h"
#include "win32/Win32Windows.h"

using namespace pel;

namespace {

TEST(Win32Resources, TheStringTableHoldsTheActionCaptions) {
  const char16_t* const Expected[16] = {u"Activate",       u"Login",        u"Pelmora Manager", u"Save forms",
                                        u"Fill form",      u"Bind field",   u"Unbind field",    u"Add to profile field",
                                        u"Clear forms",    u"Record",       u"Auto fill form",  u"Auto submit form",
                                        u"Options",        u"Add synonim",  u"Add value",       u"Add all values"};
  for (int I = 0; I < 16; ++I) EXPECT_EQ(Resources().LoadStr(ActionCaptionIDs[I]), Expected[I]) << I;
  EXPECT_EQ(Resources().LoadStr(1), u"");
}

TEST(Win32Windows, RectanglesAreReadByThirtyTwoBitHandleUntilTheWindowIsGone) {
  HWND Window = CreateWindowExW(0, L"STATIC", L"anchor", WS_POPUP, 40, 30, 320, 240, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(Window, nullptr);
  const uint32_t Handle = win32::Handle32FromWnd(Window);
  EXPECT_EQ(win32::WndFromHandle32(Handle), Window);
  TRect Rect;
  ASSERT_TRUE(WindowServices().GetWindowRect(Handle, Rect));
  EXPECT_EQ(Rect.Left, 40);
  EXPECT_EQ(Rect.Top, 30);
  EXPECT_EQ(Rect.Width(), 320);
  EXPECT_EQ(Rect.Height(), 240);
  DestroyWindow(Window);
  EXPECT_FALSE(WindowServices().GetWindowRect(Handle, Rect));
  EXPECT_FALSE(WindowServices().GetWindowRect(0, Rect));
}

TEST(Win32Windows, HandlesWithTheHighBitSetSignExtendOnSixtyFourBits) {
  HWND Wnd = win32::WndFromHandle32(0xFEDCBA98u);
  EXPECT_EQ(win32::Handle32FromWnd(Wnd), 0xFEDCBA98u);
  // The upper half of the pointer-sized value copies the top bit.
  EXPECT_EQ(static_cast<uint64_t>(reinterpret_cast<INT_PTR>(Wnd)), 0xFFFFFFFFFEDCBA98ull);
}

}  // namespace
