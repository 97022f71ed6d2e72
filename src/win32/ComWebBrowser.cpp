#include "ComWebBrowser.h"

#include <oleidl.h>

#include "ComVariant.h"

namespace pel::win32 {

TComWebBrowser::TComWebBrowser(IUnknown* Object, ::IConnectionPointContainer* Container, ::IWebBrowser2* Browser)
    : TComConnectionPointContainer(Object, Container), FBrowser(Browser) {}

TComWebBrowser::~TComWebBrowser() { FBrowser->Release(); }

std::shared_ptr<IInterface> TComWebBrowser::Document() {
  IDispatch* Document = nullptr;
  OleCheck(FBrowser->get_Document(&Document), FBrowser, ::IID_IWebBrowser2);
  auto Result = WrapComObject(Document);
  if (Document) Document->Release();
  return Result;
}

uint32_t TComWebBrowser::GetHWND() {
  SHANDLE_PTR Handle = 0;
  OleCheck(FBrowser->get_HWND(&Handle), FBrowser, ::IID_IWebBrowser2);
  // Window handles carry 32 significant bits on every Windows.
  return static_cast<uint32_t>(Handle);
}

bool TComWebBrowser::Visible() {
  VARIANT_BOOL Value = VARIANT_FALSE;
  OleCheck(FBrowser->get_Visible(&Value), FBrowser, ::IID_IWebBrowser2);
  return Value != VARIANT_FALSE;
}

WideString TComWebBrowser::LocationURL() {
  TOleString URL;
  OleCheck(FBrowser->get_LocationURL(URL.Out()), FBrowser, ::IID_IWebBrowser2);
  return URL.Text();
}

void TComWebBrowser::Navigate(const WideString& URL, const TVariant& Flags, const TVariant& TargetFrameName,
                              const TVariant& PostData, const TVariant& Headers) {
  TOleString Target(URL);
  TOleVariant F(Flags), T(TargetFrameName), P(PostData), H(Headers);
  OleCheck(FBrowser->Navigate(Target, const_cast<VARIANT*>(&F.Value()), const_cast<VARIANT*>(&T.Value()),
                              const_cast<VARIANT*>(&P.Value()), const_cast<VARIANT*>(&H.Value())),
           FBrowser, ::IID_IWebBrowser2);
}

void TComWebBrowser::PutProperty(const WideString& Name, const TVariant& Value) {
  TOleString Property(Name);
  TOleVariant Held(Value);
  OleCheck(FBrowser->PutProperty(Property, Held.Value()), FBrowser, ::IID_IWebBrowser2);
}

TVariant TComWebBrowser::GetProperty(const WideString& Name) {
  TOleString Property(Name);
  TOleVariant Value;
  OleCheck(FBrowser->GetProperty(Property, Value.Out()), FBrowser, ::IID_IWebBrowser2);
  return Value.Portable();
}

uint32_t TComWebBrowser::GetWindow() {
  ::IOleWindow* Window = nullptr;
  HRESULT Result = FBrowser->QueryInterface(IID_IOleWindow, reinterpret_cast<void**>(&Window));
  if (FAILED(Result) || !Window) OleCheck(FAILED(Result) ? Result : E_NOINTERFACE, nullptr, IID_IOleWindow);
  HWND Handle = nullptr;
  Result = Window->GetWindow(&Handle);
  Window->Release();
  OleCheck(Result, nullptr, IID_IOleWindow);
  return static_cast<uint32_t>(reinterpret_cast<UINT_PTR>(Handle));
}

TComServiceProvider::TComServiceProvider(IUnknown* Object, ::IConnectionPointContainer* Container,
                                         ::IServiceProvider* Services)
    : TComConnectionPointContainer(Object, Container), FServices(Services) {}

TComServiceProvider::~TComServiceProvider() { FServices->Release(); }

std::shared_ptr<IInterface> TComServiceProvider::QueryService(const TGUID& Service, const TGUID& IID) {
  const GUID ServiceID = ToGUID(Service), InterfaceID = ToGUID(IID);
  IUnknown* Found = nullptr;
  HRESULT Result = FServices->QueryService(ServiceID, InterfaceID, reinterpret_cast<void**>(&Found));
  if (SUCCEEDED(Result) && !Found) Result = E_NOINTERFACE;
  OleCheck(Result, FServices, IID_IServiceProvider);
  auto Wrapped = WrapComObject(Found);
  Found->Release();
  return Wrapped;
}

}  // namespace pel::win32
