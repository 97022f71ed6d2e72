// The page model of the core over the browser's own document interfaces: the adapters of the
// win32 binding (ComHtml, ComWebBrowser) against a page double that is made of real COM objects.
// What the core does on the headless platform it must do here through COM, and let go of every
// object it took.

#include <gtest/gtest.h>

#include <olectl.h>

#include <cstdio>
#include <string>

#include "BHO/FormCapture.h"
#include "BHO/MSHTMLEvents.h"
#include "BHO/PageForms.h"
#include "BrowserDouble.h"
#include "Common/Lexicon.h"
#include "HtmlDouble.h"
#include "platform/Exceptions.h"
#include "win32/ComObject.h"

namespace pel::test {
namespace {

const char* const Shop =
    "<html><head><title>Shop</title></head><body>\n"
    "<form id='order' name='order' action='buy.cgi' method='post'>\n"
    "  <input id='who' name='who' value='typed'>\n"
    "  <input id='news' type='checkbox' name='news'>\n"
    "  <select id='size' name='size'><option value='s'>Small<option value='m' selected>Medium<option>Large</select>\n"
    "  <textarea id='note' name='note'>Ring twice</textarea>\n"
    "  <input id='go' type='submit' name='go' value='Buy'>\n"
    "</form>\n"
    "<p>Also <a id='more' href='http://shop.example/more'>more</a></p>\n"
    "<form id='search' action='find.cgi'><input id='q' name='q'></form>\n"
    "</body></html>\n";

// A page in a browser, as the helper object meets it.
class TComPage {
public:
  explicit TComPage(const std::string& Markup) : Page(L"http://shop.example/order", Markup) {
    Browser = BrowserDoubleCreate(reinterpret_cast<HWND>(0x1234), nullptr);
    BrowserDoubleSetDocument(Browser, Page.Document());
    Baseline = Page.OutsideReferences();
  }
  ~TComPage() {
    BrowserDoubleSetDocument(Browser, nullptr);
    BrowserDoubleUnknown(Browser)->Release();
  }
  std::shared_ptr<IWebBrowser2> Port() { return Supports<IWebBrowser2>(win32::WrapComObject(BrowserDoubleUnknown(Browser))); }
  template <class T>
  std::shared_ptr<T> Element(const wchar_t* Id) {
    return Supports<T>(win32::WrapComObject(Page.ElementById(Id)));
  }

  // References the add-on holds on the page: beyond the browser's own on its document.
  long Held() const { return Page.OutsideReferences() - Baseline; }

  THtmlDoublePage Page;
  TBrowserDouble* Browser;
  long Baseline = 0;
};

class PageModelOverCom : public testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(PageModelOverCom, EachElementAnswersThePortsOfItsKindAndWritesReachThePage) {
  TComPage P(Shop);
  {
    auto Document = Supports<IHTMLDocument2>(Supports<IWebBrowser2>(P.Port())->Document());
    ASSERT_NE(Document, nullptr);
    EXPECT_EQ(Document->URL(), u"http://shop.example/order");
    EXPECT_EQ(Document->Title(), u"Shop");
    ASSERT_EQ(Document->Forms()->Length(), 2);
    TElementRef Form = Document->Forms()->Item(0);
    ASSERT_NE(Supports<IHTMLFormElement>(Form), nullptr);
    EXPECT_EQ(Supports<IHTMLInputElement>(Form), nullptr);
    EXPECT_EQ(Supports<IHTMLFormElement>(Form)->Elements()->Length(), 5);
    EXPECT_EQ(Supports<IHTMLFormElement>(Form)->Method(), u"post");
    EXPECT_EQ(Document->Forms()->Item(2), nullptr) << "past the end is nothing, not a failure";

    auto Who = P.Element<IHTMLInputElement>(L"who");
    ASSERT_NE(Who, nullptr);
    EXPECT_EQ(Who->Value(), u"typed");
    Who->SetValue(u"Ann Lee");
    EXPECT_EQ(P.Page.ValueOf(L"who"), L"Ann Lee");
    EXPECT_TRUE(IsSameObject(Who->Form(), Form));
    P.Element<IHTMLInputElement>(L"news")->SetChecked(true);
    EXPECT_TRUE(P.Page.CheckedOf(L"news"));

    auto Size = P.Element<IHTMLSelectElement>(L"size");
    ASSERT_NE(Size, nullptr);
    EXPECT_EQ(Size->Type(), u"select-one");
    EXPECT_EQ(Size->SelectedIndex(), 1);
    EXPECT_EQ(Size->Length(), 3);
    EXPECT_EQ(Supports<IHTMLOptionElement>(Size->Item(2))->Value(), u"Large");
    Size->SetValue(u"s");
    EXPECT_EQ(P.Page.ValueOf(L"size"), L"s");
    EXPECT_EQ(P.Element<IHTMLTextAreaElement>(L"note")->Value(), u"Ring twice");
    EXPECT_EQ(P.Element<IHTMLAnchorElement>(L"more")->Href(), u"http://shop.example/more");

    // An attribute written as a number reads back as one, as the form numbering needs.
    auto Order = P.Element<IHTMLElement>(L"order");
    Order->SetAttribute(u"FormID", TVariant(int32_t(7)), AttributeIgnoreCase);
    EXPECT_EQ(Order->GetAttribute(u"formid", AttributeIgnoreCase), TVariant(int32_t(7)));
    EXPECT_TRUE(Order->GetAttribute(u"missing", AttributeIgnoreCase).IsNull());
    EXPECT_TRUE(IsSameObject(Order, Form)) << "one element, one identity, however it was reached";
    EXPECT_FALSE(IsSameObject(Order, Document->Forms()->Item(1)));
    EXPECT_EQ(Order->TagName(), u"FORM");
    EXPECT_EQ(Order->ParentElement()->TagName(), u"BODY");
    Order->SetStyleBackgroundColor(u"#FFFF80");
    EXPECT_EQ(Order->StyleBackgroundColor(), u"#FFFF80");
  }
  EXPECT_EQ(P.Held(), 0) << "an adapter kept a reference";
}

TEST_F(PageModelOverCom, TheCoreScansCapturesAndFillsThePageAndLetsGoOfIt) {
  TComPage P(Shop);
  TTransitFormSet Captured;
  {
    TPageFormSet Forms;
    Forms.FKeyAttribute = u"FormID";
    RefreshPageForms(P.Port(), Forms);
    ASSERT_EQ(Forms.Count(), 2);
    EXPECT_EQ(P.Page.AttributeOf(L"order", L"FormID"), L"1");
    EXPECT_EQ(P.Page.AttributeOf(L"search", L"FormID"), L"2");
    EXPECT_GT(P.Page.AdvisedSinks(), 0) << "the forms' submits are followed";
    // A rescan finds the same forms again by their numbers.
    RefreshPageForms(P.Port(), Forms);
    EXPECT_EQ(Forms.Count(), 2);
    EXPECT_EQ(P.Page.AttributeOf(L"order", L"FormID"), L"1");

    Forms.SaveToTransitSet(Captured, 0);
    ASSERT_EQ(Captured.Count(), 2);
    const TTransitFormCard& Order = Captured[0];
    ASSERT_GE(Order.Fields.Count(), 4);
    EXPECT_EQ(Order.Fields[0].Name, u"who");
    EXPECT_EQ(Order.Fields[0].Value, u"typed");
  }
  EXPECT_EQ(P.Page.AdvisedSinks(), 0) << "a form's sink stayed advised";
  EXPECT_EQ(P.Held(), 0);

  // The captured card fills the same form on a fresh load of the page.
  TComPage Fresh{std::string(Shop)};
  {
    TPageFormSet Forms;
    Forms.FKeyAttribute = u"FormID";
    RefreshPageForms(Fresh.Port(), Forms);
    ASSERT_EQ(Forms.Count(), 2);
    Fresh.Element<IHTMLInputElement>(L"who")->SetValue(u"");
    Fresh.Element<IHTMLSelectElement>(L"size")->SetValue(u"s");
    TLexicon Lexicon;
    Forms[0].FillFromCard(Lexicon, Captured[0]);
  }
  EXPECT_EQ(Fresh.Page.ValueOf(L"who"), L"typed");
  EXPECT_EQ(Fresh.Page.ValueOf(L"size"), L"m");
  EXPECT_EQ(Fresh.Held(), 0);
}

// Whatever a browser object answers, the core raises its own exception or goes on, and every
// reference it took is given back.
TEST_F(PageModelOverCom, FailuresOfTheBrowsersObjectsRaiseTheCoresExceptionsAndLeakNothing) {
  const struct {
    const char* Method;
    HRESULT Result;
  } Cases[] = {{"forms", E_FAIL},          {"item", E_FAIL},         {"length", E_NOINTERFACE},
               {"tagName", E_FAIL},        {"getAttribute", E_FAIL}, {"setAttribute", E_ACCESSDENIED},
               {"FindConnectionPoint", E_FAIL}, {"Advise", E_FAIL}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Method);
    TComPage P(Shop);
    P.Page.FailCalls(Case.Method, Case.Result);
    bool Raised = false;
    {
      TPageFormSet Forms;
      Forms.FKeyAttribute = u"FormID";
      try {
        RefreshPageForms(P.Port(), Forms);
        TTransitFormSet Captured;
        Forms.SaveToTransitSet(Captured, 0);
      } catch (const Exception&) {
        Raised = true;
      }
    }
    P.Page.FailCalls("", S_OK);
    EXPECT_EQ(P.Held(), 0) << Case.Method << (Raised ? " (raised)" : "");
    EXPECT_EQ(P.Page.AdvisedSinks(), 0) << Case.Method;
  }
}

// A form's sink that cannot connect says why, in the system's words for the browser's answer.
TEST_F(PageModelOverCom, ASinkThatCannotConnectSaysWhy) {
  const struct {
    const char* Method;
    HRESULT Result;
  } Cases[] = {{"FindConnectionPoint", CONNECT_E_NOCONNECTION}, {"Advise", CONNECT_E_ADVISELIMIT}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Method);
    TComPage P(Shop);
    {
      auto Form = P.Element<IHTMLElement>(L"order");
      P.Page.FailCalls(Case.Method, Case.Result);
      TMSHTMLHTMLFormElementEvents Sink;
      try {
        Sink.Connect(Form);
        ADD_FAILURE() << "connected";
      } catch (const Exception& E) {
        EXPECT_EQ(E.Message(), "Unable to connect .\r" + win32::OleErrorMessage(Case.Result));
      }
      EXPECT_FALSE(Sink.Connected());
      P.Page.FailCalls("", S_OK);
      Sink.Connect(Form);
      EXPECT_EQ(P.Page.AdvisedSinks(), 1);
    }
    EXPECT_EQ(P.Page.AdvisedSinks(), 0);
    EXPECT_EQ(P.Held(), 0);
  }
}

std::string PageWithControls(int Count) {
  std::string Markup = "<html><body><form id='f' action='x.cgi'>";
  for (int I = 0; I < Count; ++I) Markup += "<input name='field" + std::to_string(I) + "' value='v'>";
  return Markup + "</form></body></html>";
}

// Calls into the document for one scan and capture, per control: a count, the same on every
// machine, and it must not grow with the page.
TEST_F(PageModelOverCom, CallsIntoTheDocumentPerControlStayTheSameAsThePageGrows) {
  double PerControl[2] = {};
  const int Sizes[2] = {50, 500};
  for (int I = 0; I < 2; ++I) {
    TComPage P(PageWithControls(Sizes[I]));
    P.Page.ResetCalls();
    {
      TPageFormSet Forms;
      Forms.FKeyAttribute = u"FormID";
      RefreshPageForms(P.Port(), Forms);
      TTransitFormSet Captured;
      Forms.SaveToTransitSet(Captured, 0);
      ASSERT_EQ(Captured[0].Fields.Count(), Sizes[I]);
    }
    PerControl[I] = static_cast<double>(P.Page.Calls()) / Sizes[I];
    std::printf("scan and capture of %d controls: %ld calls into the document, %.2f per control\n", Sizes[I],
                P.Page.Calls(), PerControl[I]);
  }
  EXPECT_LE(PerControl[1], PerControl[0] * 1.05) << "the calls per control grow with the page";
}

}  // namespace
}  // namespace pel::test
