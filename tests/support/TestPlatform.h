#pragma once
// What a test needs to know about the platform it runs on.

#ifdef _WIN32
#include <windows.h>
#endif

namespace pel::test {

// True when the Windows test executables run under Wine rather than on Windows.
inline bool RunningUnderWine() {
#ifdef _WIN32
  HMODULE Ntdll = GetModuleHandleA("ntdll.dll");
  return Ntdll && GetProcAddress(Ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace pel::test
