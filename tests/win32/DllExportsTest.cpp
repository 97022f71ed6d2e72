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

TEST_F(BrivaneDll, ServesTheClassObjectsOfItsClassesOnly) {
  auto GetClassObject = ExportAs<TDllGetClassObject>("DllGetClassObject");
  ASSERT_NE(GetClassObject, nullptr);
  const CLSID Helper = {0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
  const CLSID Store = {0xBE72F496, 0xD82B, 0x4E71, {0xBD, 0x80, 0x1A, 0x3B, 0xC5, 0x33, 0x6C, 0xC1}};

  void* Object = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(Store, IID_IClassFactory, &Object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(Object, nullptr);
  Object = reinterpret_cast<void*>(1);
  EXPECT_EQ(GetClassObject(Helper, IID_IDispatch, &Object), E_NOINTERFACE);
  EXPECT_EQ(Object, nullptr);

  IClassFactory* Factory = nullptr;
  ASSERT_EQ(GetClassObject(Helper, IID_IClassFactory, reinterpret_cast<void**>(&Factory)), S_OK);
  ASSERT_NE(Factory, nullptr);
  IUnknown* Unknown = nullptr;
  EXPECT_EQ(Factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&Unknown)), S_OK);
  if (Unknown) Unknown->Release();
  // An aggregating outer object is refused: the helper is never a part of another object.
  IUnknown* Made = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(Factory->CreateInstance(Unknown, IID_IUnknown, reinterpret_cast<void**>(&Made)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(Made, nullptr);
  Factory->Release();
}

TEST_F(BrivaneDll, CanUnloadOnlyWithoutLiveObjectsAndLocks) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  auto GetClassObject = ExportAs<TDllGetClassObject>("DllGetClassObject");
  auto CanUnloadNow = ExportAs<TNoArguments>("DllCanUnloadNow");
  ASSERT_NE(GetClassObject, nullptr);
  ASSERT_NE(CanUnloadNow, nullptr);
  const CLSID Helper = {0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
  IClassFactory* Factory = nullptr;
  ASSERT_EQ(GetClassObject(Helper, IID_IClassFactory, reinterpret_cast<void**>(&Factory)), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);

  IUnknown* First = nullptr;
  IUnknown* Second = nullptr;
  ASSERT_EQ(Factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&First)), S_OK);
  ASSERT_EQ(Factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&Second)), S_OK);
  EXPECT_NE(First, Second);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  First->Release();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  Second->Release();
  EXPECT_EQ(CanUnloadNow(), S_OK);

  EXPECT_EQ(Factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);
  EXPECT_EQ(Factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_OK);
  Factory->Release();
  CoUninitialize();
}
