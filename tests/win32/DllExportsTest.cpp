// The library as Windows loads it: the four COM exports are found by their undecorated names.

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

namespace {
class BrivaneDll : public testing::Test {
protected:
  void SetUp() override {
    FModule = LoadLibraryW(L"Brivane.dll");
    ASSERT_NE(FModule, nullptr) << "LoadLibrary failed: " << GetLastError();
  }
  void TearDown() override {
    if (FModule) FreeLibrary(FModule);
  }
  FARPROC Export(const char* Name) { return GetProcAddress(FModule, Name); }
  template <class TFunction>
  TFunction ExportAs(const char* Name) {
    return reinterpret_cast<TFunction>(reinterpret_cast<void (*)()>(Export(Name)));
  }
  HMODULE FModule = nullptr;
};

using TDllGetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using TNoArguments = HRESULT(WINAPI*)();
}  // namespace

TEST_F(BrivaneDll, ExportsTheFourEntryPointsByName) {
  for (const char* Name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer"})
    EXPECT_NE(Export(Name), nullptr) << Name;
  // Undecorated only: no stdcall-decorated duplicates leak out.
  EXPECT_EQ(Export("DllGetClassObject@12"), nullptr);
  EXPECT_EQ(Export("_DllGetClassObject@12"), nullptr);
}

TEST_F(BrivaneDll, ServesNoClassYet) {
  auto GetClassObject = ExportAs<TDllGetClassObject>("DllGetClassObject");
  ASSERT_NE(GetClassObject, nullptr);
  const CLSID Server = {0xBE72F496, 0xD82B, 0x4E71, {0xBD, 0x80, 0x1A, 0x3B, 0xC5, 0x33, 0x6C, 0xC1}};
  void* Factory = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(Server, IID_IClassFactory, &Factory), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(Factory, nullptr);
  auto CanUnloadNow = ExportAs<TNoArguments>("DllCanUnloadNow");
  ASSERT_NE(CanUnloadNow, nullptr);
  EXPECT_EQ(CanUnloadNow(), S_OK);
}
