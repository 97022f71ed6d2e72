#pragma once
// Windows and string resources on Windows: the desktop's windows and the library's string table.

#include <windows.h>

#include "platform/Services.h"

namespace pel::win32 {

// Window handles travel at 32 bits (the store's calls, the browser's events). A 64-bit process
// keeps only the low 32 bits significant and sign-extends them, so the conversions are explicit
// and the same on both widths.
inline HWND WndFromHandle32(uint32_t Wnd) {
  return reinterpret_cast<HWND>(static_cast<INT_PTR>(static_cast<int32_t>(Wnd)));
}
inline uint32_t Handle32FromWnd(HWND Wnd) {
  return static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(Wnd));
}

// Texts of other programs' controls go through the 8-bit calls where the system code page carries
// them; callers choose. Hooks are the system's own, installed without a module for one thread.
class TWin32Windows : public IWindowServices {
public:
  bool GetWindowRect(uint32_t Wnd, TRect& Rect) const override;
  uint32_t CurrentThreadId() const override;
  uint32_t WindowThreadId(uint32_t Wnd) const override;
  AnsiString ClassName(uint32_t Wnd) const override;
  uint32_t NextChild(uint32_t Parent, uint32_t After) const override;
  AnsiString WindowTextAnsi(uint32_t Wnd) const override;
  void SetWindowTextAnsi(uint32_t Wnd, const AnsiString& Text) const override;
  WideString WindowTextWide(uint32_t Wnd) const override;
  void SetWindowTextWide(uint32_t Wnd, const WideString& Text) const override;
  bool PostMessageTo(uint32_t Wnd, uint32_t Message, uintptr_t WParam, intptr_t LParam) const override;
  void WindowsVersion(uint32_t& Major, uint32_t& Minor) const override;
  uintptr_t SetThreadHook(int32_t HookType, THookProc Proc, uint32_t ThreadId) const override;
  bool Unhook(uintptr_t Hook) const override;
  intptr_t CallNextHook(uintptr_t Hook, int32_t Code, uintptr_t WParam, intptr_t LParam) const override;
  THookedMessage ReadHookMessage(int32_t HookType, intptr_t LParam) const override;
  uint32_t CreateMessageWindow(TMessageHandler Handler) const override;
  void DestroyMessageWindow(uint32_t Wnd) const override;
};

// The string table of the module this code is linked into (the library, or a test executable
// that carries the same resource script).
class TWin32Resources : public IResources {
public:
  WideString LoadStr(int32_t ID) const override;
};

// Simple MAPI, loaded on first use where the system declares it present; without it a message
// cannot be sent (and nothing is shown).
class TWin32Mail : public IMailServices {
public:
  bool SendMail(const AnsiString& Address, const AnsiString& Subject, const AnsiString& Text) const override;
};

}  // namespace pel::win32
