#pragma once
// The browser port: the web browser object of one window or frame, as the add-on uses it. Its
// events (DWebBrowserEvents2) reach advised sinks through IConnectionPointContainer; the events
// of frames come through the top-level browser with the frame's browser as pDisp.

#include <cstdint>
#include <memory>

#include "SysTypes.h"
#include "Variant.h"

namespace pel {

inline constexpr TGUID DIID_DWebBrowserEvents2 = {
    0x34A715A0, 0x6587, 0x11D0, {0x92, 0x4A, 0x00, 0x20, 0xAF, 0xC7, 0xAC, 0x4D}};

// The web browser application service of a window and the browser interface asked of it: what an
// object living in a window (a toolbar's automation object) follows to the top-level browser.
// (The Windows headers define SID_SWebBrowserApp as a macro naming another identifier of the same
// value; a unit that includes them before this file still gets one consistent constant.)
inline constexpr TGUID SID_SWebBrowserApp = {
    0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr TGUID IID_IWebBrowser2 = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};

// DISPIDs of the browser events the add-on handles.
constexpr int32_t DispIdDownloadComplete = 104;
constexpr int32_t DispIdBeforeNavigate2 = 250;    // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
constexpr int32_t DispIdNewWindow2 = 251;         // (ppDisp, Cancel)
constexpr int32_t DispIdNavigateComplete2 = 252;  // (pDisp, URL)
constexpr int32_t DispIdDocumentComplete = 259;   // (pDisp, URL)

class IWebBrowser2 : public virtual IInterface {
public:
  // The document shown (answers IHTMLDocument2 for an HTML page); null while there is none.
  virtual std::shared_ptr<IInterface> Document() = 0;
  // The window handle of the browser; raises when it has none.
  virtual uint32_t GetHWND() = 0;
  virtual bool Visible() = 0;
  virtual WideString LocationURL() = 0;
  // Optional arguments are empty variants.
  virtual void Navigate(const WideString& URL, const TVariant& Flags, const TVariant& TargetFrameName,
                        const TVariant& PostData, const TVariant& Headers) = 0;
  // Named values kept on the browser object for other components of the same window; a value may
  // be an object reference. An unknown name reads as empty.
  virtual void PutProperty(const WideString& Name, const TVariant& Value) = 0;
  virtual TVariant GetProperty(const WideString& Name) = 0;
};

// The window of an object that has one.
class IOleWindow : public virtual IInterface {
public:
  virtual uint32_t GetWindow() = 0;
};

// Services an object reaches through another that is no part of it, named by a service identifier
// (what a document's window answers for the browser that shows it). An unknown service, or one
// that does not answer the interface, raises EOleSysError with E_NOINTERFACE.
class IServiceProvider : public virtual IInterface {
public:
  virtual std::shared_ptr<IInterface> QueryService(const TGUID& Service, const TGUID& IID) = 0;
};

// What the browser gives an add-on it creates for a window: the site (the window's browser), set
// once attached and cleared (null) before the add-on goes. Failures are result codes.
class IObjectWithSite : public virtual IInterface {
public:
  virtual int32_t SetSite(const std::shared_ptr<IInterface>& Site) = 0;
  // Site may be null (the caller does not want it).
  virtual int32_t GetSite(const TGUID& IID, std::shared_ptr<IInterface>* Site) = 0;
};

}  // namespace pel
