// The browser helper object as the browser meets it: created through COM from the registered
// library, attached to a browser (a double of the browser's object) and detached again.

#include <gtest/gtest.h>

#include <exdisp.h>
#include <ocidl.h>

#include "BrivaneHelper.h"
#include "BrowserDouble.h"
#include "HelperTestDoubles.h"
#include "ComServerTestSupport.h"

namespace pel::test {
namespace {

const CLSID CLSID_Helper = {0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
const IID IID_BatchControl2 = {0x6C0AA1DB, 0x3D13, 0x4D7F, {0xAC, 0xAD, 0xD3, 0x06, 0x45, 0x20, 0xCA, 0x19}};
HRESULT LibraryCanUnloadNow() {
  using TCanUnloadNow = HRESULT(WINAPI*)();
  HMODULE Module = GetModuleHandleW(L"Brivane.dll");
  if (!Module) return S_OK;
  auto CanUnloadNow =
      reinterpret_cast<TCanUnloadNow>(reinterpret_cast<void (*)()>(GetProcAddress(Module, "DllCanUnloadNow")));
  return CanUnloadNow ? CanUnloadNow() : E_FAIL;
}

class HelperObject : public TRegisteredLibrary {
protected:
  void SetUp() override {
    TRegisteredLibrary::SetUp();
    ASSERT_EQ(CoCreateInstance(CLSID_Helper, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                               reinterpret_cast<void**>(&FSite)),
              S_OK);
  }
  void TearDown() override {
    if (FSite) FSite->Release();
    TRegisteredLibrary::TearDown();
  }
  ::IHelperBatchControl* BatchControl(const IID& Riid) {
    ::IHelperBatchControl* Control = nullptr;
    EXPECT_EQ(FSite->QueryInterface(Riid, reinterpret_cast<void**>(&Control)), S_OK);
    return Control;
  }
  IObjectWithSite* FSite = nullptr;
};

TEST_F(HelperObject, AnswersItsInterfacesWithOneBatchControlTableUnderBothIdentifiers) {
  ::IHelperBatchControl* First = BatchControl(::IID_IHelperBatchControl);
  ::IHelperBatchControl* Second = BatchControl(IID_BatchControl2);
  ASSERT_NE(First, nullptr);
  EXPECT_EQ(First, Second);
  IUnknown* Identity = nullptr;
  IUnknown* FromControl = nullptr;
  FSite->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&Identity));
  First->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&FromControl));
  EXPECT_EQ(Identity, FromControl);
  IDispatch* Dispatch = reinterpret_cast<IDispatch*>(1);
  EXPECT_EQ(FSite->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&Dispatch)), E_NOINTERFACE);
  EXPECT_EQ(Dispatch, nullptr);
  for (IUnknown* Held : {static_cast<IUnknown*>(First), static_cast<IUnknown*>(Second), Identity, FromControl})
    if (Held) Held->Release();
}

TEST_F(HelperObject, ValuesSetThroughThePlainSlotsReadBack) {
  ::IHelperBatchControl* Control = BatchControl(IID_BatchControl2);
  ASSERT_NE(Control, nullptr);

  BSTR Empty = Control->Get_ProfileName();
  EXPECT_EQ(SysStringLen(Empty), 0u);
  SysFreeString(Empty);
  BSTR Profile = SysAllocString(L"Work profile");
  Control->Set_ProfileName(Profile);
  SysFreeString(Profile);
  BSTR Read = Control->Get_ProfileName();
  EXPECT_STREQ(Read, L"Work profile");
  SysFreeString(Read);

  EXPECT_EQ(Control->Get_Unattended(), VARIANT_FALSE);
  Control->Set_Unattended(VARIANT_TRUE);
  EXPECT_EQ(Control->Get_Unattended(), VARIANT_TRUE);
  Control->Set_Unattended(VARIANT_FALSE);
  EXPECT_EQ(Control->Get_Unattended(), VARIANT_FALSE);

  TBatchRecorder Batch;
  EXPECT_EQ(Control->Get_BatchServer(), nullptr);
  Control->Set_BatchServer(&Batch);
  EXPECT_GT(Batch.References, 1u) << "the helper holds the batch program's object";
  ::IBVBatchServer* Held = Control->Get_BatchServer();
  EXPECT_EQ(Held, &Batch);
  if (Held) Held->Release();
  Control->Set_BatchServer(nullptr);
  EXPECT_EQ(Control->Get_BatchServer(), nullptr);
  EXPECT_EQ(Batch.References, 1u);
  Control->Release();
}

TEST_F(HelperObject, GetSiteAnswersNoSiteWhateverWasSet) {
  TBrowserDouble* Browser = BrowserDoubleCreate(reinterpret_cast<HWND>(0x1234), nullptr);
  ASSERT_EQ(FSite->SetSite(BrowserDoubleUnknown(Browser)), S_OK);
  IUnknown* Site = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(FSite->GetSite(IID_IWebBrowser2, reinterpret_cast<void**>(&Site)), S_OK);
  EXPECT_EQ(Site, nullptr);
  EXPECT_EQ(FSite->GetSite(IID_IUnknown, nullptr), S_OK);
  EXPECT_EQ(FSite->SetSite(nullptr), S_OK);
  BrowserDoubleClearProperties(Browser);
  BrowserDoubleUnknown(Browser)->Release();
}

TEST_F(HelperObject, AttachingPublishesTheAgentAndAdvisesTheBrowsersEventsDetachingLetsGo) {
  TBrowserDouble* Browser = BrowserDoubleCreate(reinterpret_cast<HWND>(0x1234), nullptr);
  IUnknown* Unknown = BrowserDoubleUnknown(Browser);
  const LONG Before = BrowserDoubleReferences(Browser);

  ASSERT_EQ(FSite->SetSite(Unknown), S_OK);
  EXPECT_EQ(BrowserDoubleAdvised(Browser), 1);
  ASSERT_NE(BrowserDoubleSink(Browser), nullptr);
  DISPPARAMS NoArguments = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(BrowserDoubleSink(Browser)->Invoke(104 /* DownloadComplete */, IID_NULL, 0, DISPATCH_METHOD, &NoArguments,
                                               nullptr, nullptr, nullptr),
            S_OK);

  ::IBrivaneAgent* Agent = PublishedAgent(Unknown);
  ASSERT_NE(Agent, nullptr) << "no agent under " << Narrow(AgentProperty);
  EXPECT_EQ(Agent->GetActive(), VARIANT_TRUE);
  Agent->SetActive(VARIANT_FALSE);
  EXPECT_EQ(Agent->GetActive(), VARIANT_FALSE);
  Agent->SetActive(VARIANT_TRUE);
  BSTR Caption = SysAllocString(L"Fill form");
  BSTR Translated = Agent->TranslateCaption(Caption);
  EXPECT_STREQ(Translated, L"Fill form");
  SysFreeString(Translated);
  SysFreeString(Caption);

  EXPECT_EQ(FSite->SetSite(nullptr), S_OK);
  EXPECT_EQ(BrowserDoubleAdvised(Browser), 0);
  EXPECT_EQ(BrowserDoubleSink(Browser), nullptr);
  EXPECT_EQ(BrowserDoubleReferences(Browser), Before) << "the helper still holds the browser";

  // The agent outlives its helper as long as someone holds it, and then reaches no helper that
  // is gone.
  FSite->Release();
  FSite = nullptr;
  Agent->SaveForms();
  Agent->FillForm();
  EXPECT_EQ(Agent->GetActive(), VARIANT_TRUE);
  Agent->Release();
  EXPECT_EQ(LibraryCanUnloadNow(), S_FALSE) << "the browser's property still holds the agent";
  BrowserDoubleClearProperties(Browser);
  EXPECT_EQ(LibraryCanUnloadNow(), S_OK);
  EXPECT_EQ(BrowserDoubleReferences(Browser), 1);
  Unknown->Release();
}

TEST_F(HelperObject, ASiteThatIsNoBrowserIsRefusedWithAResult) {
  TBatchRecorder NotABrowser;
  EXPECT_EQ(FSite->SetSite(&NotABrowser), E_NOINTERFACE);
  EXPECT_EQ(NotABrowser.References, 1u);
  EXPECT_EQ(FSite->SetSite(nullptr), S_OK);
}

}  // namespace
}  // namespace pel::test
