#pragma once
// The headless web browser: one per window or frame. It loads pages and their frames through the
// same machinery, follows links, submissions, Navigate calls and immediate meta refreshes, and
// fires the browser's and the documents' events in the order the real browser fires them.
//
// Navigations are asynchronous as in the real browser: BeforeNavigate2 fires at once (and its
// Cancel is honoured), the load itself runs when the window's message loop gets to it, which is
// at the end of the outermost call from outside (Navigate, a user's click) or at RunPending. So a
// script that navigates in the middle of a fill leaves the page the fill holds intact until the
// fill returns.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "HtmlDom.h"
#include "platform/Browser.h"
#include "platform/EventSource.h"

namespace pel::headless {

// Where the headless browser gets pages from: pages registered under an address (any scheme),
// files for file: addresses, and about:blank.
class TPageSource {
public:
  virtual ~TPageSource() = default;
  void AddPage(const WideString& URL, std::string Utf8Html);
  // False when there is nothing at the address.
  bool Fetch(const WideString& URL, std::string& Utf8Html) const;
  // What a navigation loads: a registered page or a file as Fetch finds them, any other address
  // from the network when the source has one. FinalURL is where the page was found (after
  // redirects). False when nothing could be loaded; LastError then says why.
  bool Load(const WideString& URL, const std::string& PostData, std::string& Utf8Html, WideString& FinalURL);
  const std::string& LastError() const { return FLastError; }
  // What a page must pass before it is handed on (its markup, as UTF-8); unset, every page is.
  // False refuses it: the load fails with Why as its error.
  std::function<bool(const std::string& Utf8Html, std::string& Why)> AdmitMarkup;
  // The loads that failed since the last call, address and why, in order; emptied by the call.
  std::vector<std::pair<WideString, std::string>> TakeFailures();

protected:
  // Whether the address may be loaded at all, asked before anything is read or contacted; a
  // refusal is a failed load, Error saying why.
  virtual bool Admits(const WideString&, std::string&) { return true; }
  // The network's part; a source without one finds nothing there.
  virtual bool FetchRemote(const WideString& URL, const std::string& PostData, std::string& Utf8Html,
                           WideString& FinalURL, std::string& Error);

private:
  std::map<WideString, std::string> FPages;
  std::string FLastError;
  std::vector<std::pair<WideString, std::string>> FFailures;
};

// A navigation as the page's server would see it.
struct TRequest {
  WideString URL;
  std::string PostData;  // empty for GET
};

class THeadlessBrowser : public IWebBrowser2,
                         public IOleWindow,
                         public IConnectionPointContainer,
                         public IDocumentHost,
                         public std::enable_shared_from_this<THeadlessBrowser> {
public:
  static std::shared_ptr<THeadlessBrowser> CreateTop(std::shared_ptr<TPageSource> Pages);
  ~THeadlessBrowser() override;

  // IWebBrowser2
  std::shared_ptr<IInterface> Document() override;
  uint32_t GetHWND() override { return FHwnd; }
  bool Visible() override { return FVisible; }
  WideString LocationURL() override { return FURL; }
  void Navigate(const WideString& URL, const TVariant& Flags, const TVariant& TargetFrameName,
                const TVariant& PostData, const TVariant& Headers) override;
  void PutProperty(const WideString& Name, const TVariant& Value) override;
  TVariant GetProperty(const WideString& Name) override;
  // IOleWindow
  uint32_t GetWindow() override { return FHwnd; }
  // IConnectionPointContainer: DWebBrowserEvents2, on the top-level browser only.
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID& EventIID) override;
  // IDocumentHost
  void NavigateFromDocument(THtmlDocument& Document, const WideString& URL, const WideString& Target) override;
  void SubmitForm(THtmlDocument& Document, THtmlElement& Form, THtmlElement* Submitter) override;

  // Registers the page under the address and navigates there.
  void LoadHTML(const std::string& Utf8Html, const WideString& URL);
  // Navigates to a file of this machine (a path, not an address).
  void LoadFile(const std::string& Path);
  void SetVisible(bool Value) { FVisible = Value; }
  std::shared_ptr<THtmlDocument> HtmlDocument() const { return FDocument; }
  const std::vector<std::shared_ptr<THeadlessBrowser>>& Frames() const { return FFrames; }
  THeadlessBrowser& Top();
  const WideString& FrameName() const { return FName; }
  TPageSource& Pages() { return *FPages; }
  // Windows the pages opened (links and forms aimed at new windows).
  std::vector<std::shared_ptr<THeadlessBrowser>> NewWindows;
  // Every request the browser loaded, in order, as a server would have received them.
  std::vector<TRequest> Requests;

  // A page script that markup binds by name: an event attribute naming it (onclick="Name" or
  // onclick="Name()") runs it when the page loads from now on.
  void DefineScript(const WideString& Name, std::function<void(THtmlElement&)> Body);
  // A user's press of an element: mousedown, mouseup and click with the window's event object.
  void UserClick(THtmlElement& Element);
  // A user's typing into a text control or a textarea: the value changes (onpropertychange),
  // then the control's change (its onchange script and advised sinks).
  void UserType(THtmlElement& Control, const WideString& Text);
  // A user's choice in a select: the option is selected (or, in a multiple select, unselected),
  // then the select's change.
  void UserSelect(THtmlElement& Select, int32_t OptionIndex, bool Selected = true);
  // The message loop: performs the navigations that wait, a bounded number of them.
  void RunPending();

private:
  THeadlessBrowser(std::shared_ptr<TPageSource> Pages, THeadlessBrowser* Parent);
  std::vector<int32_t> Fire(int32_t DispID, std::vector<TVariant> Args);
  THeadlessBrowser* FindFrame(const WideString& Name);
  // Fires BeforeNavigate2 for the browser that Target names (relative to this one) and queues
  // the load unless a handler cancelled it.
  void RequestNavigation(const WideString& URL, const WideString& Target, const std::string& PostData,
                         const WideString& Headers, bool IsRefresh);
  void Load(const WideString& URL, const std::string& PostData, int Depth);
  void Unload();
  void BindScripts(THtmlDocument& Document);

  struct TPending {
    std::weak_ptr<THeadlessBrowser> Browser;
    WideString URL;
    std::string PostData;
    bool IsRefresh;
  };

  std::shared_ptr<TPageSource> FPages;
  THeadlessBrowser* FParent;
  WideString FName;
  std::shared_ptr<THtmlDocument> FDocument;
  std::string FLoadBuffer;
  static constexpr size_t MaxKeptLoadBuffer = 256 * 1024;
  WideString FURL;
  std::vector<std::shared_ptr<THeadlessBrowser>> FFrames;
  std::map<WideString, TVariant> FProperties;
  std::map<WideString, std::function<void(THtmlElement&)>> FScripts;
  TEventSource FEvents;
  std::deque<TPending> FQueue;
  bool FRunning = false;
  // Page scripts running (on the top browser): their navigations wait for the message loop.
  int FScriptDepth = 0;
  int FRefreshes = 0;
  bool FVisible = true;
  uint32_t FHwnd;
};

}  // namespace pel::headless
