// Walking a page with frames: documents depth first, elements by interface, links and areas,
// and the immediate refresh of a page, on pages loaded by the headless browser.

#include <gtest/gtest.h>

#include "BHO/DocEnumerators.h"
#include "BHO/URLUtils.h"
#include "headless/HeadlessBrowser.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {
const WideString Base = AsciiToWide(std::string("file://") + PEL_FIXTURES_DIR + "/links/");

std::string Last(const WideString& URL) {
  const std::string S = WideToAscii(URL);
  return S.substr(S.find_last_of('/') + 1);
}

std::shared_ptr<THeadlessBrowser> LoadLinks() {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(Base + u"top.html", {}, {}, {}, {});
  return Browser;
}
}  // namespace

TEST(PageWalk, DocumentsComeDepthFirstAndTheWalkCanStop) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(AsciiToWide(std::string("file://") + PEL_FIXTURES_DIR + "/frames/top.html"), {}, {}, {}, {});
  std::vector<std::string> Seen;
  TDocEnumerator Walk;
  EXPECT_FALSE(Walk.Enumerate(Supports<IHTMLDocument2>(Browser->Document())));  // no callback
  Walk.SetOnDocument([&](TDocEnumerator&, const std::shared_ptr<IHTMLDocument2>& Doc) {
    Seen.push_back(Last(Doc->URL()));
    return true;
  });
  EXPECT_TRUE(Walk.Enumerate(Supports<IHTMLDocument2>(Browser->Document())));
  EXPECT_EQ(Seen, (std::vector<std::string>{"top.html", "menu.html", "nested.html", "content.html"}));

  Seen.clear();
  Walk.SetOnDocument([&](TDocEnumerator&, const std::shared_ptr<IHTMLDocument2>& Doc) {
    Seen.push_back(Last(Doc->URL()));
    return false;
  });
  EXPECT_FALSE(Walk.Enumerate(Supports<IHTMLDocument2>(Browser->Document())));
  EXPECT_EQ(Seen, std::vector<std::string>{"top.html"});
}

TEST(PageWalk, ElementsByInterfaceTopDocumentFirst) {
  auto Browser = LoadLinks();
  std::vector<WideString> Buttons;
  TElemEnumerator Walk;
  Walk.SetOnElement([&](TDocEnumerator&, const std::shared_ptr<IInterface>& E) {
    Buttons.push_back(Supports<IHTMLButtonElement>(E)->Name());
    return true;
  });
  EXPECT_TRUE(Walk.Enumerate(Supports<IHTMLDocument2>(Browser->Document()), IID_IHTMLButtonElement));
  EXPECT_EQ(Buttons, (std::vector<WideString>{u"b1", u"b2"}));

  int Anchors = 0;
  Walk.SetOnElement([&](TDocEnumerator&, const std::shared_ptr<IInterface>& E) {
    EXPECT_NE(Supports<IHTMLAnchorElement>(E), nullptr);
    return ++Anchors < 3;  // stop at the third
  });
  EXPECT_FALSE(Walk.Enumerate(Supports<IHTMLDocument2>(Browser->Document()), IID_IHTMLAnchorElement));
  EXPECT_EQ(Anchors, 3);
}

TEST(PageWalk, CollectHyperlinksTopFirstThenFrameByFrame) {
  auto Browser = LoadLinks();
  THyperlinks Links;
  CollectHyperlinks(Supports<IHTMLDocument2>(Browser->Document()), Links);
  std::vector<std::string> Got;
  for (const THyperlink& L : Links) Got.push_back(WideToAscii(L.Text) + " -> " + Last(L.Href));
  EXPECT_EQ(Got, (std::vector<std::string>{"Top link -> one.html", "Map area -> map.html", "A one -> a1.html",
                                           "A two -> a2", "B one -> b1.html", "B two -> b2.html"}));
  EXPECT_EQ(Links[1].Href, u"file:///map.html");
  EXPECT_TRUE(IsSameObject(Links[0].Element, Browser->HtmlDocument()->FindById(u"t1")));
  CollectHyperlinks(nullptr, Links);  // nothing to add, nothing raised
  EXPECT_EQ(Links.Count(), 6);
}

TEST(PageWalk, MetaRefresh) {
  auto Page = [](const std::string& Head) {
    return THtmlDocument::Parse("<html><head>" + Head + "</head><body></body></html>", u"http://a.com/");
  };
  struct Case {
    std::string Head;
    bool Immediate;
    WideString URL;
  } Cases[] = {
      {R"(<meta http-equiv="Refresh" content="0;URL=next.html">)", true, u"next.html"},
      {R"(<meta http-equiv="refresh" content="5;URL=x">)", false, u"x"},
      {R"(<meta http-equiv="refresh" content="0">)", false, u""},
      {R"(<meta http-equiv="refresh" content="0,URL=x">)", true, u"x"},
      {R"(<meta name="author" content="me"><meta http-equiv="refresh" content="0;URL=x">)", false, u""},
      {"", false, u""},
  };
  for (const Case& C : Cases) {
    WideString URL = u"stale";
    EXPECT_EQ(GetMetaRefresh(Page(C.Head), URL), C.Immediate) << C.Head;
    EXPECT_EQ(URL, C.URL) << C.Head;
  }
  WideString URL = u"stale";
  EXPECT_FALSE(GetMetaRefresh(nullptr, URL));
  EXPECT_EQ(URL, u"");
}
