#include "Win32Windows.h"

namespace pel::win32 {

bool TWin32Windows::GetWindowRect(uint32_t Wnd, TRect& Rect) const {
  RECT R;
  if (Wnd == 0 || !::GetWindowRect(WndFromHandle32(Wnd), &R)) return false;
  Rect = {R.left, R.top, R.right, R.bottom};
  return true;
}

namespace {

HMODULE ThisModule() {
  HMODULE Module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &Module);
  return Module;
}

}  // namespace

WideString TWin32Resources::LoadStr(int32_t ID) const {
  // A zero buffer size answers a read-only pointer to the string itself, however long it is.
  const wchar_t* Text = nullptr;
  int Length = ::LoadStringW(ThisModule(), static_cast<UINT>(ID), reinterpret_cast<LPWSTR>(&Text), 0);
  if (Length <= 0 || !Text) return WideString();
  return WideString(reinterpret_cast<const char16_t*>(Text), static_cast<size_t>(Length));
}

}  // namespace pel::win32
