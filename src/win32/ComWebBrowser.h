#pragma once
// The browser port over the browser's own object (IWebBrowser2): what the helper object attaches
// to, what the automation agent finds the window's agent on, and the source of the browser's
// events. Also the services of an object living in a browser window (a page's window object),
// through which the automation agent reaches the browser.

#include <exdisp.h>
#include <servprov.h>

#include "ComConnectionPoints.h"
#include "platform/Browser.h"

namespace pel::win32 {

class TComWebBrowser : public TComConnectionPointContainer, public pel::IWebBrowser2, public pel::IOleWindow {
public:
  // Takes over the caller's references to Container (may be null) and Browser.
  TComWebBrowser(IUnknown* Object, ::IConnectionPointContainer* Container, ::IWebBrowser2* Browser);
  ~TComWebBrowser() override;

  std::shared_ptr<IInterface> Document() override;
  uint32_t GetHWND() override;
  bool Visible() override;
  WideString LocationURL() override;
  void Navigate(const WideString& URL, const TVariant& Flags, const TVariant& TargetFrameName,
                const TVariant& PostData, const TVariant& Headers) override;
  void PutProperty(const WideString& Name, const TVariant& Value) override;
  TVariant GetProperty(const WideString& Name) override;
  // The browser's IOleWindow; raises when it has none.
  uint32_t GetWindow() override;

private:
  ::IWebBrowser2* FBrowser;
};

class TComServiceProvider : public TComConnectionPointContainer, public pel::IServiceProvider {
public:
  // Takes over the caller's references to Container (may be null) and Services.
  TComServiceProvider(IUnknown* Object, ::IConnectionPointContainer* Container, ::IServiceProvider* Services);
  ~TComServiceProvider() override;

  std::shared_ptr<IInterface> QueryService(const TGUID& Service, const TGUID& IID) override;

private:
  ::IServiceProvider* FServices;
};

}  // namespace pel::win32
