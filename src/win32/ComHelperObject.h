#pragma once
// The browser helper object as the browser creates it: the COM face of the window's helper
// (TKXBrowserHelperObject), answering IObjectWithSite and the batch-control table, and its class
// factory, which also enters the class in the browser's list of helper objects.

#include <windows.h>

#include <ocidl.h>

#include <memory>

#include "BrivaneHelper.h"
#include "ComServer.h"
#include "helper/BrowserHelper.h"

namespace pel::win32 {

// {43640F42-2878-4D4C-BF62-E463E2602D5A}
inline constexpr CLSID CLSID_KXBrowserHelperObject = {
    0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
// The second identifier the batch-control table answers.
inline constexpr IID IID_IHelperBatchControl2 = {
    0x6C0AA1DB, 0x3D13, 0x4D7F, {0xAC, 0xAD, 0xD3, 0x06, 0x45, 0x20, 0xCA, 0x19}};

class TComBrowserHelperObject final : public ::IObjectWithSite,
                                      public ::IHelperBatchControl,
                                      public TComRefCounted<TComBrowserHelperObject> {
public:
  TComBrowserHelperObject();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

  HRESULT STDMETHODCALLTYPE SetSite(IUnknown* Site) override;
  HRESULT STDMETHODCALLTYPE GetSite(REFIID Riid, void** Site) override;

  BSTR STDMETHODCALLTYPE Get_ProfileName() override;
  void STDMETHODCALLTYPE Set_ProfileName(BSTR Value) override;
  ::IBVBatchServer* STDMETHODCALLTYPE Get_BatchServer() override;
  void STDMETHODCALLTYPE Set_BatchServer(::IBVBatchServer* Value) override;
  VARIANT_BOOL STDMETHODCALLTYPE Get_Unattended() override;
  void STDMETHODCALLTYPE Set_Unattended(VARIANT_BOOL Value) override;

private:
  friend class TComRefCounted<TComBrowserHelperObject>;
  ~TComBrowserHelperObject();
  std::unique_ptr<TKXBrowserHelperObject> FHelper;
};

class TKXBrowserHelperObjectFactory final : public TComObjectFactory {
public:
  TKXBrowserHelperObjectFactory();
  // The standard registration, then the entry in the browser's list of helper objects.
  void UpdateRegistry(bool Register) override;

protected:
  IUnknown* CreateComObject() override;
};

}  // namespace pel::win32
