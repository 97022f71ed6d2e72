// The headless browser: page loads with frames, navigations of every kind and the events they
// fire, in the order the real browser fires them.

#include <gtest/gtest.h>

#include <string>

#include "headless/HeadlessBrowser.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

using namespace pel;
using namespace pel::headless;

namespace {

std::string Fixture(const std::string& Name) { return std::string("file://") + PEL_FIXTURES_DIR + "/" + Name; }
WideString FixtureURL(const std::string& Name) { return AsciiToWide(Fixture(Name)); }

// Records every browser event as text; its BeforeNavigate2 may cancel, and on the top page's
// NavigateComplete2 it connects to the page's window as the add-on does, to see its onload.
class TBrowserLog : public IEventDispatch {
public:
  explicit TBrowserLog(THeadlessBrowser& Top) : FTop(Top) {
    FCookie = Top.FindConnectionPoint(DIID_DWebBrowserEvents2)->Advise(this);
  }
  ~TBrowserLog() override { FTop.FindConnectionPoint(DIID_DWebBrowserEvents2)->Unadvise(FCookie); }

  std::vector<std::string> Events;
  std::function<bool(const WideString& URL)> CancelIf;
  bool CancelNewWindows = false;

  int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams& P, TVariant*) override {
    // Arguments arrive last first.
    auto Arg = [&](size_t I) -> TVariant& { return P.Args[P.Args.size() - 1 - I]; };
    auto Who = [&](const TVariant& Disp) {
      auto B = Supports<THeadlessBrowser>(Disp.AsObject());
      return B.get() == &FTop ? std::string("top") : WideToAscii(B->FrameName());
    };
    switch (DispID) {
      case DispIdBeforeNavigate2:
        Events.push_back("BN " + Who(Arg(0)) + " " + Short(Arg(1).AsWideString()));
        if (CancelIf && CancelIf(Arg(1).AsWideString())) Arg(6).Target() = TVariant(true);
        break;
      case DispIdNavigateComplete2:
        Events.push_back("NC " + Who(Arg(0)) + " " + Short(Arg(1).AsWideString()));
        if (Supports<THeadlessBrowser>(Arg(0).AsObject()).get() == &FTop) ConnectWindow();
        break;
      case DispIdDocumentComplete: Events.push_back("DC " + Who(Arg(0)) + " " + Short(Arg(1).AsWideString())); break;
      case DispIdDownloadComplete: Events.push_back("DL"); break;
      case DispIdNewWindow2:
        Events.push_back("NW");
        if (CancelNewWindows) Arg(1).Target() = TVariant(true);
        break;
      default: Events.push_back("? " + std::to_string(DispID));
    }
    return HR_S_OK;
  }

private:
  static std::string Short(const WideString& URL) {
    const std::string S = WideToAscii(URL);
    return S.substr(S.find_last_of('/') + 1);
  }
  struct TWindowSink : IEventDispatch {
    TBrowserLog* Log;
    int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams&, TVariant*) override {
      Log->Events.push_back(DispID == DispIdOnLoad ? "onload" : DispID == DispIdOnUnload ? "onunload" : "window?");
      return HR_S_OK;
    }
  };
  void ConnectWindow() {
    auto Doc = Supports<IHTMLDocument2>(FTop.Document());
    auto Window = Supports<IConnectionPointContainer>(std::static_pointer_cast<IInterface>(Doc->ParentWindow()));
    FWindowSinks.push_back(std::make_unique<TWindowSink>());
    FWindowSinks.back()->Log = this;
    Window->FindConnectionPoint(DIID_HTMLWindowEvents)->Advise(FWindowSinks.back().get());
  }
  THeadlessBrowser& FTop;
  uint32_t FCookie;
  std::vector<std::unique_ptr<TWindowSink>> FWindowSinks;
};

THtmlElement& SubmitButton(THtmlDocument& Page) {
  auto Input = Page.FindById(u"login")->Children()->Tags(u"input")->Item(3);
  if (!Input) throw Exception("the login form has no submit button");
  return static_cast<THtmlElement&>(*Input);
}

}  // namespace

TEST(HeadlessBrowser, FramesetLoadFiresEventsInTheBrowsersOrder) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  TBrowserLog Log(*Browser);
  Browser->Navigate(FixtureURL("frames/top.html"), {}, {}, {}, {});
  EXPECT_EQ(Log.Events, (std::vector<std::string>{
                            "BN top top.html", "NC top top.html",                        //
                            "BN menu menu.html", "NC menu menu.html", "DC menu menu.html",  //
                            "BN main nested.html", "NC main nested.html",                //
                            "BN inner content.html", "NC inner content.html", "DC inner content.html",
                            "DC main nested.html",  //
                            "DL", "DC top top.html", "onload"}));
  // The frames hang below their documents, reachable as the platform's embedded objects.
  auto TopDoc = Supports<IOleContainer>(Browser->Document());
  const auto Frames = TopDoc->EnumObjects(OLECONTF_EMBEDDINGS);
  ASSERT_EQ(Frames.size(), 2u);
  auto Main = Supports<IWebBrowser2>(Frames[1]);
  ASSERT_NE(Main, nullptr);
  EXPECT_EQ(Supports<IOleContainer>(Main->Document())->EnumObjects(OLECONTF_EMBEDDINGS).size(), 1u);
  EXPECT_TRUE(TopDoc->EnumObjects(0).empty());
  EXPECT_EQ(Supports<IHTMLDocument2>(Main->Document())->URL(), FixtureURL("frames/nested.html"));
}

TEST(HeadlessBrowser, ALinkAimedAtAFrameReloadsOnlyThatFrame) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(FixtureURL("frames/top.html"), {}, {}, {}, {});
  TBrowserLog Log(*Browser);
  THeadlessBrowser& Menu = *Browser->Frames()[0];
  Browser->UserClick(*Menu.HtmlDocument()->FindById(u"home"));
  EXPECT_EQ(Log.Events, (std::vector<std::string>{"BN main content.html", "NC main content.html",
                                                   "DC main content.html"}));
  EXPECT_EQ(Browser->Frames()[1]->LocationURL(), FixtureURL("frames/content.html"));
  EXPECT_TRUE(Browser->Frames()[1]->Frames().empty());  // the old page's frame went with it
}

TEST(HeadlessBrowser, CancelInBeforeNavigateKeepsThePage) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(FixtureURL("frames/content.html"), {}, {}, {}, {});
  auto Page = Browser->HtmlDocument();
  TBrowserLog Log(*Browser);
  Log.CancelIf = [](const WideString& URL) { return URL.find(u"check.cgi") != WideString::npos; };
  Browser->UserClick(SubmitButton(*Page));
  EXPECT_EQ(Log.Events, std::vector<std::string>{"BN top check.cgi"});
  EXPECT_EQ(Browser->HtmlDocument(), Page);
}

TEST(HeadlessBrowser, SubmissionsCarryTheFormsData) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(FixtureURL("frames/content.html"), {}, {}, {}, {});
  Browser->UserClick(SubmitButton(*Browser->HtmlDocument()));
  ASSERT_EQ(Browser->Requests.size(), 2u);
  EXPECT_EQ(Browser->Requests[1].URL, FixtureURL("frames/check.cgi"));
  EXPECT_EQ(Browser->Requests[1].PostData, "user=bob&pw=s+e%26cret&keep=on&go=Sign+in");

  Browser->LoadHTML(R"(<form id=f action="find?old=1#x"><input name=q value="a b"><select name=s multiple>
      <option selected value=1>one<option selected>two</select><input type=image name=pic id=pic></form>)",
                    u"http://a.com/dir/page.html?z=9");
  Browser->UserClick(*Browser->HtmlDocument()->FindById(u"pic"));
  EXPECT_EQ(Browser->Requests.back().URL, u"http://a.com/dir/find?q=a+b&s=1&s=two&pic.x=0&pic.y=0");
  EXPECT_EQ(Browser->Requests.back().PostData, "");
}

// A form opened between a table and its rows sends the controls of the rows.
TEST(HeadlessBrowser, ASubmissionSendsTheControlsTheFormOwnsOutsideIt) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(FixtureURL("owners/table.html"), {}, {}, {}, {});
  Browser->UserClick(*Browser->HtmlDocument()->FindById(u"go"));
  ASSERT_EQ(Browser->Requests.size(), 2u);
  EXPECT_EQ(Browser->Requests[1].URL, FixtureURL("owners/login.php"));
  EXPECT_EQ(Browser->Requests[1].PostData, "user=bob&pass=x&keep=day&lang=English&go=Log+in");
}

TEST(HeadlessBrowser, AScriptsNavigationLeavesThePageInPlaceUntilTheCallReturns) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Pages().AddPage(u"http://a.com/next", "<p>next</p>");
  std::shared_ptr<THtmlDocument> DuringClick;
  Browser->DefineScript(u"jump", [&](THtmlElement& E) {
    E.OwnerDocument()->Host()->NavigateFromDocument(*E.OwnerDocument(), u"http://a.com/next", u"");
    DuringClick = Browser->HtmlDocument();
  });
  Browser->LoadHTML(R"html(<button id=b type=button onclick="jump()">Go</button>)html", u"http://a.com/start");
  auto Start = Browser->HtmlDocument();
  TBrowserLog Log(*Browser);
  Start->FindById(u"b")->Click();  // a programmatic click, as a fill makes it
  EXPECT_EQ(Log.Events, std::vector<std::string>{"BN top next"});
  EXPECT_EQ(DuringClick, Start);
  EXPECT_EQ(Browser->HtmlDocument(), Start);
  Browser->RunPending();  // the message loop
  EXPECT_EQ(Browser->LocationURL(), u"http://a.com/next");
}

TEST(HeadlessBrowser, ImmediateMetaRefreshNavigatesABoundedNumberOfTimes) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Pages().AddPage(u"http://a.com/b", "<meta http-equiv=Refresh content=\"0; URL='c'\">");
  Browser->Pages().AddPage(u"http://a.com/c", "<p>c</p>");
  Browser->Pages().AddPage(u"http://a.com/later", "<meta http-equiv=refresh content=\"5;URL=c\">");
  Browser->Pages().AddPage(u"http://a.com/self", "<meta http-equiv=refresh content=\"0\">");
  Browser->Navigate(u"http://a.com/b", {}, {}, {}, {});
  EXPECT_EQ(Browser->LocationURL(), u"http://a.com/c");
  Browser->Navigate(u"http://a.com/later", {}, {}, {}, {});
  EXPECT_EQ(Browser->LocationURL(), u"http://a.com/later");
  const size_t Before = Browser->Requests.size();
  Browser->Navigate(u"http://a.com/self", {}, {}, {}, {});  // refreshes itself: must stop
  EXPECT_GT(Browser->Requests.size(), Before + 1);
  EXPECT_LT(Browser->Requests.size(), Before + 20);
}

TEST(HeadlessBrowser, NewWindowsAskFirst) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Pages().AddPage(u"http://a.com/pop", "<p>pop</p>");
  Browser->LoadHTML(R"(<a id=l href="pop" target=_blank>x</a>)", u"http://a.com/");
  TBrowserLog Log(*Browser);
  Log.CancelNewWindows = true;
  Browser->UserClick(*Browser->HtmlDocument()->FindById(u"l"));
  EXPECT_EQ(Log.Events, std::vector<std::string>{"NW"});
  EXPECT_TRUE(Browser->NewWindows.empty());
  Log.CancelNewWindows = false;
  Browser->UserClick(*Browser->HtmlDocument()->FindById(u"l"));
  ASSERT_EQ(Browser->NewWindows.size(), 1u);
  EXPECT_EQ(Browser->NewWindows[0]->LocationURL(), u"http://a.com/pop");
  EXPECT_EQ(Browser->LocationURL(), u"http://a.com/");
}

TEST(HeadlessBrowser, UserPressReachesTheFormAndTheDocumentWithTheEventObject) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->LoadHTML(R"(<form id=f><input id=t><input type=button id=b></form><p id=out>x</p>)", u"http://a.com/");
  auto Doc = Browser->HtmlDocument();
  struct TSink : IEventDispatch {
    std::shared_ptr<THtmlDocument> Doc;
    std::vector<std::string> Seen;
    std::string Name;
    int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams&, TVariant*) override {
      auto Event = Doc->ParentWindow()->Event();
      Seen.push_back(Name + " " + std::to_string(DispID) + " " +
                     (Event ? WideToAscii(Event->SrcElement()->GetAttribute(u"id", 0).AsWideString()) : "-"));
      return HR_S_OK;
    }
  } FormSink, DocSink;
  FormSink.Doc = DocSink.Doc = Doc;
  FormSink.Name = "form";
  DocSink.Name = "doc";
  Doc->FindById(u"f")->FindConnectionPoint(DIID_HTMLFormElementEvents)->Advise(&FormSink);
  Doc->FindConnectionPoint(DIID_HTMLDocumentEvents)->Advise(&DocSink);
  Browser->UserClick(*Doc->FindById(u"b"));
  EXPECT_EQ(FormSink.Seen, std::vector<std::string>{"form -605 b"});
  EXPECT_EQ(DocSink.Seen, (std::vector<std::string>{"doc -605 b", "doc -607 b", "doc -600 b"}));
  Browser->UserClick(*Doc->FindById(u"out"));
  EXPECT_EQ(FormSink.Seen.size(), 1u);  // outside the form
  EXPECT_TRUE(IsSameObject(Doc->ActiveElement(), Doc->FindById(u"out")));
}

TEST(HeadlessBrowser, PropertiesWindowsAndUnknownPages) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  auto Other = THeadlessBrowser::CreateTop(nullptr);
  EXPECT_NE(Browser->GetHWND(), 0u);
  EXPECT_NE(Browser->GetHWND(), Other->GetHWND());
  EXPECT_EQ(Browser->GetWindow(), Browser->GetHWND());
  EXPECT_TRUE(Browser->Visible());
  EXPECT_EQ(Browser->Document(), nullptr);

  EXPECT_TRUE(Browser->GetProperty(u"{B438C012-C4BA-407B-84A8-B3F649A901A6}").IsEmpty());
  Browser->PutProperty(u"{B438C012-C4BA-407B-84A8-B3F649A901A6}", TVariant(std::static_pointer_cast<IInterface>(Other)));
  EXPECT_TRUE(IsSameObject(Browser->GetProperty(u"{B438C012-C4BA-407B-84A8-B3F649A901A6}").AsObject(), Other));

  Browser->Navigate(u"http://nowhere.example/x", {}, {}, {}, {});
  EXPECT_EQ(Supports<IHTMLDocument2>(Browser->Document())->Title(), u"Page not found");
  EXPECT_THROW(Browser->FindConnectionPoint(DIID_HTMLDocumentEvents), EOleSysError);
}

// The window of any document of a page, a nested frame's too, leads to the top-level browser
// through the browser service; once that browser is gone the window leads nowhere.
TEST(HeadlessBrowser, AWindowsBrowserServiceIsTheTopLevelBrowser) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->Navigate(FixtureURL("frames/top.html"), {}, {}, {}, {});
  ASSERT_EQ(Browser->Frames().size(), 2u);
  ASSERT_EQ(Browser->Frames()[1]->Frames().size(), 1u);
  THeadlessBrowser& Inner = *Browser->Frames()[1]->Frames()[0];
  auto ServiceOf = [](THeadlessBrowser& Shown) {
    auto Window = std::static_pointer_cast<IInterface>(Shown.HtmlDocument()->ParentWindow());
    auto Provider = Supports<IServiceProvider>(Window);
    if (!Provider) throw Exception("the window offers no services");
    return Provider;
  };
  for (THeadlessBrowser* Shown : {Browser.get(), Browser->Frames()[0].get(), &Inner}) {
    auto Found = ServiceOf(*Shown)->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2);
    EXPECT_EQ(Supports<THeadlessBrowser>(Found).get(), Browser.get()) << WideToAscii(Shown->LocationURL());
  }

  auto Provider = ServiceOf(Inner);
  auto CodeOf = [&](const TGUID& Service, const TGUID& IID) -> int32_t {
    try {
      Provider->QueryService(Service, IID);
    } catch (const EOleSysError& E) {
      return E.ErrorCode;
    }
    return 0;
  };
  EXPECT_EQ(CodeOf(IID_IWebBrowser2, IID_IWebBrowser2), HR_E_NOINTERFACE);      // no such service
  EXPECT_EQ(CodeOf(SID_SWebBrowserApp, DIID_HTMLWindowEvents), HR_E_NOINTERFACE);  // no such interface

  // The window and its document kept after the browser went: no browser, no dangling pointer.
  auto KeptDocument = Inner.HtmlDocument();
  Browser.reset();
  EXPECT_EQ(KeptDocument->TopBrowser(), nullptr);
  EXPECT_EQ(CodeOf(SID_SWebBrowserApp, IID_IWebBrowser2), HR_E_NOINTERFACE);
}

TEST(HeadlessBrowser, UsersChangesFirePropertyChangeThenChange) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  std::vector<std::string> Order;
  Browser->DefineScript(u"Changed", [&](THtmlElement& E) { Order.push_back("script " + WideToAscii(E.AttributeText(u"id"))); });
  Browser->LoadHTML(R"html(<input id=t onchange="Changed()"><textarea id=a></textarea>
      <select id=s onchange="Changed()"><option>a<option>b</select>)html",
                    u"http://a.com/");
  auto Doc = Browser->HtmlDocument();
  struct TSink : IEventDispatch {
    std::vector<std::string>* Order;
    std::string Name;
    int32_t Invoke(int32_t DispID, const TGUID&, uint32_t, uint16_t, TDispParams&, TVariant*) override {
      Order->push_back(Name + " " + std::to_string(DispID));
      return HR_S_OK;
    }
  } Text, Area, Select;
  Text.Order = Area.Order = Select.Order = &Order;
  Text.Name = "input";
  Area.Name = "textarea";
  Select.Name = "select";
  Doc->FindById(u"t")->FindConnectionPoint(DIID_HTMLInputTextElementEvents)->Advise(&Text);
  Doc->FindById(u"a")->FindConnectionPoint(DIID_HTMLTextContainerEvents)->Advise(&Area);
  Doc->FindById(u"s")->FindConnectionPoint(DIID_HTMLSelectElementEvents)->Advise(&Select);

  Browser->UserType(*Doc->FindById(u"t"), u"typed");
  Browser->UserType(*Doc->FindById(u"a"), u"text");
  Browser->UserSelect(*Doc->FindById(u"s"), 1);
  Supports<IHTMLInputElement>(std::static_pointer_cast<IInterface>(Doc->FindById(u"t")))->SetValue(u"typed");  // same
  EXPECT_EQ(Order, (std::vector<std::string>{"input -2147418093", "script t", "input 1001", "textarea -2147418093",
                                             "textarea 1001", "script s", "select 1001"}));
  EXPECT_EQ(Supports<IHTMLSelectElement>(std::static_pointer_cast<IInterface>(Doc->FindById(u"s")))->SelectedIndex(), 1);
  EXPECT_TRUE(IsSameObject(Doc->ActiveElement(), Doc->FindById(u"s")));
  EXPECT_THROW(Browser->UserSelect(*Doc->FindById(u"t"), 0), Exception);
}

TEST(HeadlessBrowser, LoadsAFileByItsPath) {
  auto Browser = THeadlessBrowser::CreateTop(nullptr);
  Browser->LoadFile(std::string(PEL_FIXTURES_DIR) + "/frames/../frames/content.html");
  EXPECT_EQ(Browser->LocationURL(), FixtureURL("frames/content.html"));
  EXPECT_NE(Browser->HtmlDocument()->FindById(u"login"), nullptr);
}
