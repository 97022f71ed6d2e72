#pragma once
// What the tests of the library's COM classes share: the library beside the test executable,
// regsvr32 run as the system runs it, and registry reads.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <optional>
#include <string>

namespace pel::test {

// The folder of the running test executable, with a trailing backslash.
inline std::wstring ExecutableFolder() {
  wchar_t Path[MAX_PATH];
  const DWORD Length = GetModuleFileNameW(nullptr, Path, MAX_PATH);
  std::wstring Folder(Path, Length);
  return Folder.substr(0, Folder.find_last_of(L'\\') + 1);
}

inline std::wstring LibraryPath() { return ExecutableFolder() + L"Brivane.dll"; }

// regsvr32's exit code (0 success, 3 cannot load, 4 entry point missing, 5 the entry point
// failed), or -1 when it could not be started.
inline int RunRegsvr32(const std::wstring& Library, bool Unregister) {
  std::wstring Command = L"regsvr32.exe /s ";
  if (Unregister) Command += L"/u ";
  Command += L"\"" + Library + L"\"";
  STARTUPINFOW Startup = {};
  Startup.cb = sizeof Startup;
  PROCESS_INFORMATION Process = {};
  if (!CreateProcessW(nullptr, Command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &Startup, &Process))
    return -1;
  WaitForSingleObject(Process.hProcess, 60000);
  DWORD Code = static_cast<DWORD>(-1);
  GetExitCodeProcess(Process.hProcess, &Code);
  CloseHandle(Process.hThread);
  CloseHandle(Process.hProcess);
  return static_cast<int>(Code);
}

inline bool KeyExists(HKEY Root, const std::wstring& Key) {
  HKEY Handle = nullptr;
  if (RegOpenKeyExW(Root, Key.c_str(), 0, KEY_READ, &Handle) != ERROR_SUCCESS) return false;
  RegCloseKey(Handle);
  return true;
}

// A string value (Name nullptr: the default value); nothing when the key or value is missing.
inline std::optional<std::wstring> ReadValue(HKEY Root, const std::wstring& Key, const wchar_t* Name = nullptr) {
  HKEY Handle = nullptr;
  if (RegOpenKeyExW(Root, Key.c_str(), 0, KEY_READ, &Handle) != ERROR_SUCCESS) return std::nullopt;
  wchar_t Buffer[1024];
  DWORD Size = sizeof Buffer, Type = 0;
  const LONG Error = RegQueryValueExW(Handle, Name, nullptr, &Type, reinterpret_cast<BYTE*>(Buffer), &Size);
  RegCloseKey(Handle);
  if (Error != ERROR_SUCCESS || (Type != REG_SZ && Type != REG_EXPAND_SZ)) return std::nullopt;
  std::wstring Value(Buffer, Size / sizeof(wchar_t));
  while (!Value.empty() && Value.back() == L'\0') Value.pop_back();
  return Value;
}

// For messages: a wide string as UTF-8.
inline std::string Narrow(const std::wstring& Text) {
  if (Text.empty()) return std::string();
  const int Length = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr,
                                         nullptr);
  std::string Result(Length, '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Length, nullptr, nullptr);
  return Result;
}

// The library registered for the tests of one suite, unregistered after it; COM in this thread.
class TRegisteredLibrary : public testing::Test {
protected:
  static void SetUpTestSuite() { ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0); }
  static void TearDownTestSuite() { EXPECT_EQ(RunRegsvr32(LibraryPath(), true), 0); }
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoUninitialize();
  }
};

}  // namespace pel::test
