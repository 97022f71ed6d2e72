#include "ComHelperObject.h"

#include "ComObject.h"
#include "ComVariant.h"
#include "platform/Exceptions.h"

namespace pel::win32 {

namespace {
// The batch program's callbacks as the helper calls them; their results say nothing the helper
// acts on.
class TComBatchServer final : public TComObject, public pel::IBVBatchServer {
public:
  explicit TComBatchServer(::IBVBatchServer* Server) : TComObject(Server), FServer(Server) {}
  ::IBVBatchServer* Server() const { return FServer; }
  void PageDone() override { FServer->PageDone(); }
  void LoopDetected() override { FServer->LoopDetected(); }
  void NoForms() override { FServer->NoForms(); }

private:
  ::IBVBatchServer* FServer;  // held through TComObject
};

// Every entry point answers the browser or the batch program with a value, never an exception.
template <class TResult, class TBody>
TResult Guarded(TResult Failed, TBody&& Body) noexcept {
  try {
    return Body();
  } catch (...) {
    return Failed;
  }
}
}  // namespace

TComBrowserHelperObject::TComBrowserHelperObject() : FHelper(std::make_unique<TKXBrowserHelperObject>()) {}

TComBrowserHelperObject::~TComBrowserHelperObject() {
  try {
    FHelper.reset();
  } catch (...) {
  }
}

HRESULT STDMETHODCALLTYPE TComBrowserHelperObject::QueryInterface(REFIID Riid, void** Object) {
  if (!Object) return E_POINTER;
  if (IsEqualIID(Riid, IID_IUnknown) || IsEqualIID(Riid, IID_IObjectWithSite)) {
    *Object = static_cast<::IObjectWithSite*>(this);
  } else if (IsEqualIID(Riid, ::IID_IHelperBatchControl) || IsEqualIID(Riid, IID_IHelperBatchControl2)) {
    *Object = static_cast<::IHelperBatchControl*>(this);
  } else {
    *Object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TComBrowserHelperObject::SetSite(IUnknown* Site) {
  return Guarded(E_FAIL, [&]() -> HRESULT { return FHelper->SetSite(WrapComObject(Site)); });
}

HRESULT STDMETHODCALLTYPE TComBrowserHelperObject::GetSite(REFIID Riid, void** Site) {
  return Guarded(E_FAIL, [&]() -> HRESULT {
    std::shared_ptr<IInterface> Held;
    const HRESULT Result = FHelper->GetSite(FromGUID(Riid), Site ? &Held : nullptr);
    if (Site) *Site = nullptr;
    return Result;
  });
}

BSTR STDMETHODCALLTYPE TComBrowserHelperObject::Get_ProfileName() {
  return Guarded(BSTR(nullptr), [&] { return ToBSTR(FHelper->Get_ProfileName()); });
}

void STDMETHODCALLTYPE TComBrowserHelperObject::Set_ProfileName(BSTR Value) {
  Guarded(0, [&] {
    FHelper->Set_ProfileName(FromBSTR(Value));
    return 0;
  });
}

::IBVBatchServer* STDMETHODCALLTYPE TComBrowserHelperObject::Get_BatchServer() {
  return Guarded(static_cast<::IBVBatchServer*>(nullptr), [&]() -> ::IBVBatchServer* {
    auto* Held = dynamic_cast<TComBatchServer*>(FHelper->Get_BatchServer().get());
    if (!Held) return nullptr;
    Held->Server()->AddRef();
    return Held->Server();
  });
}

void STDMETHODCALLTYPE TComBrowserHelperObject::Set_BatchServer(::IBVBatchServer* Value) {
  Guarded(0, [&] {
    FHelper->Set_BatchServer(Value ? std::make_shared<TComBatchServer>(Value) : nullptr);
    return 0;
  });
}

VARIANT_BOOL STDMETHODCALLTYPE TComBrowserHelperObject::Get_Unattended() {
  return Guarded(VARIANT_FALSE, [&] { return static_cast<VARIANT_BOOL>(FHelper->Get_Unattended()); });
}

void STDMETHODCALLTYPE TComBrowserHelperObject::Set_Unattended(VARIANT_BOOL Value) {
  Guarded(0, [&] {
    FHelper->Set_Unattended(Value);
    return 0;
  });
}

// ---------------------------------------------------------------- factory

TKXBrowserHelperObjectFactory::TKXBrowserHelperObjectFactory()
    : TComObjectFactory(CLSID_KXBrowserHelperObject, L"KXBrowserHelperObject", L"Brivane Helper",
                        TInstancing::Multiple, TThreadingModel::Apartment) {}

IUnknown* TKXBrowserHelperObjectFactory::CreateComObject() {
  return static_cast<::IObjectWithSite*>(new TComBrowserHelperObject());
}

void TKXBrowserHelperObjectFactory::UpdateRegistry(bool Register) {
  TComObjectFactory::UpdateRegistry(Register);
  const std::wstring Key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects\\" +
                           GUIDToRegistryString(ClassID());
  if (Register) {
    // The browser's list is the machine's; without the right to write it the class is still
    // registered and can be created by hand.
    HKEY Handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, Key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &Handle, nullptr) == ERROR_SUCCESS) {
      const std::wstring Description = this->Description();
      RegSetValueExW(Handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(Description.c_str()),
                     static_cast<DWORD>((Description.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(Handle);
    }
  } else {
    DeleteRegTree(HKEY_LOCAL_MACHINE, Key);
  }
}

}  // namespace pel::win32
