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

class TWin32Windows : public IWindowServices {
public:
  bool GetWindowRect(uint32_t Wnd, TRect& Rect) const override;
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
