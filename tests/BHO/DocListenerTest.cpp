// Following the documents of a page with frames, wired as the browser helper wires it: every
// NavigateComplete2 attaches the listener to that browser's document.

#include <gtest/gtest.h>

#include "BHO/DocListener.h"
#include "BHO/SHDocVwEvents.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {
WideString Fixture(const std::string& Name) { return AsciiToWide(std::string("file://") + PEL_FIXTURES_DIR + "/" + Name); }

struct TWiredListener {
  std::shared_ptr<THeadlessBrowser> Browser = THeadlessBrowser::CreateTop(nullptr);
  TSHDocVwDWebBrowserEvents2 BrowserEvents;
  THTMLWinDocListener Listener;
  std::vector<std::string> Clicks, Downs, Ups;

  TWiredListener() {
    BrowserEvents.OnNavigateComplete2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant&) {
      Listener.AttachBrowser(Supports<IWebBrowser2>(pDisp));
    };
    BrowserEvents.Connect(Browser);
    auto Name = [](const std::shared_ptr<IHTMLEventObj>& E) {
      return E ? WideToAscii(E->SrcElement()->GetAttribute(u"id", 0).AsWideString()) : std::string("no event");
    };
    Listener.SetOnDocumentClick([this, Name](const std::shared_ptr<IHTMLEventObj>& E) { Clicks.push_back(Name(E)); });
    Listener.SetOnDocumentMouseDown([this, Name](const std::shared_ptr<IHTMLEventObj>& E) { Downs.push_back(Name(E)); });
    Listener.SetOnDocumentMouseUp([this, Name](const std::shared_ptr<IHTMLEventObj>& E) { Ups.push_back(Name(E)); });
  }
  int ConnectedItems() const {
    int N = 0;
    for (const THTMLWinDocSink& S : Listener.Sinks()) N += S.Connected();
    return N;
  }
};
}  // namespace

TEST(DocListener, OneItemPerLoadedDocumentAndAClickForwardedOnce) {
  TWiredListener W;
  W.Browser->Navigate(Fixture("frames/top.html"), {}, {}, {}, {});
  EXPECT_EQ(W.Listener.Sinks().Count(), 4);  // the frameset, the menu, the nested page and its frame
  EXPECT_EQ(W.ConnectedItems(), 4);

  THeadlessBrowser& Menu = *W.Browser->Frames()[0];
  // A press on a link in the menu frame (its navigation cancelled, so the page stays): forwarded
  // once each, with that frame window's event object.
  TSHDocVwDWebBrowserEvents2 Cancel;
  Cancel.OnBeforeNavigate2 = [](TEventSink*, const std::shared_ptr<IInterface>&, TVariant&, TVariant&, TVariant&,
                                TVariant&, TVariant&, bool& C) { C = true; };
  Cancel.Connect(W.Browser);
  W.Browser->UserClick(*Menu.HtmlDocument()->FindById(u"about"));
  Cancel.Disconnect();
  EXPECT_EQ(Menu.LocationURL(), Fixture("frames/menu.html"));
  EXPECT_EQ(W.Downs, std::vector<std::string>{"about"});
  EXPECT_EQ(W.Ups, std::vector<std::string>{"about"});
  EXPECT_EQ(W.Clicks, std::vector<std::string>{"about"});
}

TEST(DocListener, AFrameThatNavigatesIsReplacedAtTheNextAttach) {
  TWiredListener W;
  W.Browser->Navigate(Fixture("frames/top.html"), {}, {}, {}, {});
  THeadlessBrowser& Menu = *W.Browser->Frames()[0];
  // "Home" loads content.html into the main frame: the nested page and its inner frame unload.
  W.Browser->UserClick(*Menu.HtmlDocument()->FindById(u"home"));
  // The attach for the new main document removed the two unloaded items and added one.
  EXPECT_EQ(W.Listener.Sinks().Count(), 3);
  EXPECT_EQ(W.ConnectedItems(), 3);
  W.Clicks.clear();
  THeadlessBrowser& Main = *W.Browser->Frames()[1];
  W.Browser->UserClick(*std::static_pointer_cast<THtmlElement>(Main.HtmlDocument()->FindById(u"login")));
  EXPECT_EQ(W.Clicks, std::vector<std::string>{"login"});
}

TEST(DocListener, ABrowserWithoutAnHtmlDocumentAddsNoItem) {
  THTMLWinDocListener Listener;
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Listener.AttachBrowser(Browser);  // nothing loaded yet
  Listener.AttachBrowser(nullptr);
  EXPECT_EQ(Listener.Sinks().Count(), 0);
}

TEST(DocListener, EventsWithoutCallbacksAreIgnored) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->LoadHTML("<p id=p>x</p>", u"http://a.com/");
  THTMLWinDocListener Listener;
  Listener.AttachBrowser(Browser);
  ASSERT_EQ(Listener.Sinks().Count(), 1);
  EXPECT_NO_THROW(Browser->UserClick(*Browser->HtmlDocument()->FindById(u"p")));
  Browser->LoadHTML("<p>y</p>", u"http://a.com/2");
  EXPECT_FALSE(Listener.Sinks()[0].Connected());
  Listener.RemoveDisconnected();
  EXPECT_EQ(Listener.Sinks().Count(), 0);
}
