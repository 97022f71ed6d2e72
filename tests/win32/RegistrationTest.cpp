// The library registered and unregistered as the system does it (regsvr32), read back from the
// registry: what COM and the browser find, and that nothing is left behind.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComServerTestSupport.h"

namespace pel::test {
namespace {

const std::wstring Helper = L"{43640F42-2878-4D4C-BF62-E463E2602D5A}";
const std::wstring HelperKey = L"CLSID\\" + Helper;
const std::wstring HelperProgID = L"Brivane.KXBrowserHelperObject";
const std::wstring BrowserHelpersKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + Helper;
const std::wstring Agent = L"{ED28645E-F9BC-451F-AB11-81DA5FE29A0F}";
const std::wstring AgentKey = L"CLSID\\" + Agent;
const std::wstring AgentProgID = L"Brivane.BVAgent";
const std::wstring Library = L"{0B4290CB-A0C8-479F-B4D6-C8C36DE84B69}";
const std::wstring TypeLibKey = L"TypeLib\\" + Library;
const std::wstring AgentInterfaceKey = L"Interface\\{3AE92D7F-3118-4AFD-BBD4-190931576585}";
#ifdef _WIN64
const wchar_t* const Platform = L"win64";
#else
const wchar_t* const Platform = L"win32";
#endif

// The server path the registry must carry for Library: its short form when it has a space.
std::wstring ExpectedServerPath(const std::wstring& Library) {
  if (Library.find(L' ') == std::wstring::npos) return Library;
  wchar_t Short[MAX_PATH];
  const DWORD Length = GetShortPathNameW(Library.c_str(), Short, MAX_PATH);
  return Length ? std::wstring(Short, Length) : Library;
}

bool SamePath(const std::optional<std::wstring>& Registered, const std::wstring& Expected) {
  return Registered && lstrcmpiW(Registered->c_str(), Expected.c_str()) == 0;
}

// Every key the registration writes, for the check that unregistration removes them all.
std::vector<std::pair<HKEY, std::wstring>> RegisteredKeys() {
  return {{HKEY_CLASSES_ROOT, HelperKey},        {HKEY_CLASSES_ROOT, HelperKey + L"\\InprocServer32"},
          {HKEY_CLASSES_ROOT, HelperKey + L"\\ProgID"}, {HKEY_CLASSES_ROOT, HelperProgID},
          {HKEY_CLASSES_ROOT, HelperProgID + L"\\Clsid"}, {HKEY_LOCAL_MACHINE, BrowserHelpersKey},
          {HKEY_CLASSES_ROOT, TypeLibKey},       {HKEY_CLASSES_ROOT, AgentInterfaceKey},
          {HKEY_CLASSES_ROOT, AgentKey},         {HKEY_CLASSES_ROOT, AgentKey + L"\\InprocServer32"},
          {HKEY_CLASSES_ROOT, AgentKey + L"\\ProgID"}, {HKEY_CLASSES_ROOT, AgentKey + L"\\TypeLib"},
          {HKEY_CLASSES_ROOT, AgentKey + L"\\Version"}, {HKEY_CLASSES_ROOT, AgentProgID},
          {HKEY_CLASSES_ROOT, AgentProgID + L"\\Clsid"}};
}

class Registration : public testing::Test {
protected:
  void TearDown() override { RunRegsvr32(LibraryPath(), true); }
};

TEST_F(Registration, WritesTheHelperClassTheBrowserListAndTheTypeLibrary) {
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);

  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, HelperKey), L"Brivane Helper");
  const auto Server = ReadValue(HKEY_CLASSES_ROOT, HelperKey + L"\\InprocServer32");
  EXPECT_TRUE(SamePath(Server, ExpectedServerPath(LibraryPath())))
      << Narrow(Server.value_or(L"(none)")) << " for " << Narrow(LibraryPath());
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, HelperKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, HelperKey + L"\\ProgID"), HelperProgID);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, HelperProgID), L"Brivane Helper");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, HelperProgID + L"\\Clsid"), Helper);
  EXPECT_EQ(ReadValue(HKEY_LOCAL_MACHINE, BrowserHelpersKey), L"Brivane Helper");

  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, TypeLibKey + L"\\1.0"), L"KXBVHelper Library");
  EXPECT_TRUE(SamePath(ReadValue(HKEY_CLASSES_ROOT, TypeLibKey + L"\\1.0\\409\\" + Platform), LibraryPath()));
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentInterfaceKey), L"IBVAgent");
}

TEST_F(Registration, WritesTheAutomationAgentAsATypedClass) {
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentKey), L"BVAgent Object");
  EXPECT_TRUE(SamePath(ReadValue(HKEY_CLASSES_ROOT, AgentKey + L"\\InprocServer32"), ExpectedServerPath(LibraryPath())));
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentKey + L"\\ProgID"), AgentProgID);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentKey + L"\\TypeLib"), Library);
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentKey + L"\\Version"), L"1.0");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentProgID), L"BVAgent Object");
  EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, AgentProgID + L"\\Clsid"), Agent);
  // Only the helper belongs in the browser's list.
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE,
                         L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" + Agent));
}

TEST_F(Registration, UnregisteringRemovesEveryKeyItWrote) {
  ASSERT_EQ(RunRegsvr32(LibraryPath(), false), 0);
  for (const auto& [Root, Key] : RegisteredKeys()) ASSERT_TRUE(KeyExists(Root, Key)) << Narrow(Key);

  ASSERT_EQ(RunRegsvr32(LibraryPath(), true), 0);
  for (const auto& [Root, Key] : RegisteredKeys()) EXPECT_FALSE(KeyExists(Root, Key)) << Narrow(Key);
  // Unregistering what is not registered is no failure.
  EXPECT_EQ(RunRegsvr32(LibraryPath(), true), 0);
}

TEST_F(Registration, AModulePathWithSpacesIsRegisteredInItsShortForm) {
  wchar_t Temp[MAX_PATH];
  ASSERT_GT(GetTempPathW(MAX_PATH, Temp), 0u);
  const std::wstring Folder = std::wstring(Temp) + L"Pel registration test";
  CreateDirectoryW(Folder.c_str(), nullptr);
  const std::wstring Copy = Folder + L"\\Brivane.dll";
  ASSERT_TRUE(CopyFileW(LibraryPath().c_str(), Copy.c_str(), FALSE));

  ASSERT_EQ(RunRegsvr32(Copy, false), 0);
  const auto Server = ReadValue(HKEY_CLASSES_ROOT, HelperKey + L"\\InprocServer32");
  const std::wstring Short = ExpectedServerPath(Copy);
  EXPECT_NE(Short, Copy) << "the system gave no short form";
  EXPECT_EQ(Short.find(L' '), std::wstring::npos);
  EXPECT_TRUE(SamePath(Server, Short)) << Narrow(Server.value_or(L"(none)")) << " for " << Narrow(Short);

  EXPECT_EQ(RunRegsvr32(Copy, true), 0);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, HelperKey));
  DeleteFileW(Copy.c_str());
  RemoveDirectoryW(Folder.c_str());
}

}  // namespace
}  // namespace pel::test
