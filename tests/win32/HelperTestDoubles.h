#pragma once
// What the tests of the helper object through COM share: a batch program's callback object that
// writes down its calls and counts its references, and the agent the helper published on a browser.

#include <windows.h>

#include <exdisp.h>

#include <string>
#include <vector>

#include "BrivaneHelper.h"

namespace pel::test {

class TBatchRecorder final : public ::IBVBatchServer {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Riid, void** Object) override {
    if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, ::IID_IBVBatchServer)) {
      *Object = this;
      AddRef();
      return S_OK;
    }
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
  ULONG STDMETHODCALLTYPE Release() override { return --References; }
  HRESULT STDMETHODCALLTYPE PageDone() override { return Record("PageDone"); }
  HRESULT STDMETHODCALLTYPE LoopDetected() override { return Record("LoopDetected"); }
  HRESULT STDMETHODCALLTYPE NoForms() override { return Record("NoForms"); }
  HRESULT Record(const char* Call) {
    Calls.push_back(Call);
    return S_OK;
  }
  ULONG References = 1;
  std::vector<std::string> Calls;
};

// The browser property the helper publishes its agent under.
inline const wchar_t* const AgentProperty = L"{B438C012-C4BA-407B-84A8-B3F649A901A6}";

// The agent the helper published on Browser, as the property holds it (a reference for the
// caller); nullptr when none.
inline ::IBrivaneAgent* PublishedAgent(IUnknown* Browser) {
  ::IWebBrowser2* Web = nullptr;
  if (FAILED(Browser->QueryInterface(::IID_IWebBrowser2, reinterpret_cast<void**>(&Web)))) return nullptr;
  VARIANT Value;
  VariantInit(&Value);
  BSTR Name = SysAllocString(AgentProperty);
  Web->GetProperty(Name, &Value);
  SysFreeString(Name);
  Web->Release();
  ::IBrivaneAgent* Agent = nullptr;
  if ((V_VT(&Value) == VT_UNKNOWN || V_VT(&Value) == VT_DISPATCH) && V_UNKNOWN(&Value))
    V_UNKNOWN(&Value)->QueryInterface(::IID_IBrivaneAgent, reinterpret_cast<void**>(&Agent));
  VariantClear(&Value);
  return Agent;
}

}  // namespace pel::test
