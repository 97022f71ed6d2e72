// Whole page loads through the registered library: the browser helper object created by COM and
// sited on a browser double whose document is a page double of real COM objects, the browser's
// events fired through the connection point the helper advised, the store found in the running-
// object table. What the helper does on the headless platform it must do here through COM, and
// give back every reference when the page unloads and the helper is detached.

#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "BrivaneHelper.h"
#include "BrowserDouble.h"
#include "ComServerTestSupport.h"
#include "HelperTestDoubles.h"
#include "HtmlDouble.h"
#include "BHO/PageForms.h"
#include "Common/NavigationRecorder.h"
#include "Common/Options.h"
#include "Common/TransitForms.h"
#include "platform/MemoryStream.h"
#include "support/FakePelServer.h"
#include "win32/ComObject.h"
#include "win32/ComPelServerHost.h"

namespace pel::test {
namespace {

const CLSID CLSID_Helper = {0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
const CLSID CLSID_Store = {0xBE72F496, 0xD82B, 0x4E71, {0xBD, 0x80, 0x1A, 0x3B, 0xC5, 0x33, 0x6C, 0xC1}};

std::string Fixture(const char* Name) {
  std::ifstream File(std::string(PEL_FIXTURES_DIR) + "/" + Name, std::ios::binary);
  std::stringstream Text;
  Text << File.rdbuf();
  return Text.str();
}

// The store answers a profile value for the names it knows.
class TProfileStore final : public TFakePelServer {
public:
  void FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                      const WideString& Name, const WideString& URL, WideString& ProfileField, int32_t& ValueKind,
                      WideString& Value, WideString& Values, bool& Found, bool& LoginRequired) override {
    Calls.push_back({"FindFieldValue", {Profile, TagName, InputType, Name, URL}});
    Found = false;
    LoginRequired = false;
    Values.clear();
    for (const auto& [Known, Field, Answer] : Profile_)
      if (Name == Known) {
        ProfileField = Field;
        ValueKind = 0;
        Value = Answer;
        Found = true;
      }
  }
  std::vector<std::tuple<WideString, WideString, WideString>> Profile_ = {
      {u"fname", u"First name", u"Zo\u00EB"}, {u"country", u"Country", u"de"},
      {u"email", u"E-mail", u"john.public@example.com"}, {u"city", u"City", u"Springfield"},
      {u"phone", u"Phone", u"+1 555 0100"}, {u"Surname", u"Last name", u"Lee"}};
};

class PageLoadOverCom : public TRegisteredLibrary {
protected:
  void SetUp() override {
    TRegisteredLibrary::SetUp();
    Store = std::make_shared<TProfileStore>();
    // The user's options as the store keeps them by default.
    Store->Answer("GetSettings", {int32_t(PackOptions(TBVOptions())), true});
    Host = win32::TComPelServerHost::Create(Store);
    ASSERT_EQ(RegisterActiveObject(static_cast<::IPelServer*>(Host), CLSID_Store, ACTIVEOBJECT_STRONG, &StoreCookie),
              S_OK);
    CreateHelper();
  }
  void CreateHelper() {
    ASSERT_EQ(CoCreateInstance(CLSID_Helper, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                               reinterpret_cast<void**>(&Helper)),
              S_OK);
    ASSERT_EQ(Helper->QueryInterface(::IID_IHelperBatchControl, reinterpret_cast<void**>(&Batch)), S_OK);
  }
  // Automatic submits on, and the helper driven by a batch program without a user.
  void Unattended() {
    TBVOptions Options;
    Options.AutoSubmit = 1;
    Store->Answer("GetSettings", {int32_t(PackOptions(Options)), true});
    Batch->Set_BatchServer(&Recorder);
    Batch->Set_Unattended(VARIANT_TRUE);
  }
  void TearDown() override {
    // After a failed assertion the helper may still be sited: it goes before the page it holds.
    if (Batch) Batch->Release();
    if (Helper) {
      Helper->SetSite(nullptr);
      Helper->Release();
    }
    Page.reset();
    RevokeActiveObject(StoreCookie, nullptr);
    if (Host) static_cast<::IPelServer*>(Host)->Release();
    EXPECT_EQ(Recorder.References, 1u) << "the helper still holds the batch program";
    TRegisteredLibrary::TearDown();
  }

  // A page of Markup at URL, shown by a browser the helper is sited on.
  struct TWindow {
    // Hwnd: the browser's window; a made-up handle unless a dialog must be owned by it.
    TWindow(const std::wstring& URL, const std::string& Markup, HWND Hwnd = reinterpret_cast<HWND>(0x1234))
        : Page(URL, Markup), Address(URL) {
      Browser = BrowserDoubleCreate(Hwnd, nullptr);
      BrowserDoubleSetDocument(Browser, Page.Document());
      Page.SetBrowser(BrowserDoubleUnknown(Browser));
      BrowserReferences = BrowserDoubleReferences(Browser);
      PageReferences = Page.OutsideReferences();
    }
    ~TWindow() {
      Page.SetBrowser(nullptr);
      BrowserDoubleSetDocument(Browser, nullptr);
      BrowserDoubleClearProperties(Browser);
      BrowserDoubleUnknown(Browser)->Release();
    }
    IDispatch* BrowserDispatch() { return reinterpret_cast<IDispatch*>(BrowserDoubleUnknown(Browser)); }
    // A browser event with (pDisp, URL), as the browser fires NavigateComplete2 and DocumentComplete:
    // the events of a frame come from the top browser with the frame's browser as pDisp.
    HRESULT Fire(DISPID Event) { return Fire(Event, *this); }
    HRESULT Fire(DISPID Event, TWindow& Target) {
      VARIANT URL;
      VariantInit(&URL);
      V_VT(&URL) = VT_BSTR;
      V_BSTR(&URL) = SysAllocString(Target.Address.c_str());
      VARIANT Args[2];
      V_VT(&Args[0]) = VT_VARIANT | VT_BYREF;
      V_VARIANTREF(&Args[0]) = &URL;
      V_VT(&Args[1]) = VT_DISPATCH;
      V_DISPATCH(&Args[1]) = Target.BrowserDispatch();
      DISPPARAMS Params = {Args, nullptr, 2, 0};
      IDispatch* Sink = BrowserDoubleSink(Browser);
      const HRESULT Result =
          Sink ? Sink->Invoke(Event, IID_NULL, 0, DISPATCH_METHOD, &Params, nullptr, nullptr, nullptr) : E_FAIL;
      VariantClear(&URL);
      return Result;
    }
    // BeforeNavigate2 of this browser with its seven arguments; answers the Cancel the helper left.
    bool BeforeNavigate(const std::wstring& Target, const std::string& Posted) {
      VARIANT URL, Flags, Frame, PostData, Headers;
      for (VARIANT* V : {&URL, &Flags, &Frame, &PostData, &Headers}) VariantInit(V);
      V_VT(&URL) = VT_BSTR;
      V_BSTR(&URL) = SysAllocString(Target.c_str());
      if (!Posted.empty()) {
        SAFEARRAY* Bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(Posted.size()));
        void* Data = nullptr;
        SafeArrayAccessData(Bytes, &Data);
        memcpy(Data, Posted.data(), Posted.size());
        SafeArrayUnaccessData(Bytes);
        V_VT(&PostData) = VT_ARRAY | VT_UI1;
        V_ARRAY(&PostData) = Bytes;
      }
      VARIANT_BOOL Cancel = VARIANT_FALSE;
      VARIANT Args[7];
      V_VT(&Args[0]) = VT_BOOL | VT_BYREF;
      V_BOOLREF(&Args[0]) = &Cancel;
      VARIANT* Slots[] = {&Headers, &PostData, &Frame, &Flags, &URL};
      for (int I = 0; I < 5; ++I) {
        V_VT(&Args[I + 1]) = VT_VARIANT | VT_BYREF;
        V_VARIANTREF(&Args[I + 1]) = Slots[I];
      }
      V_VT(&Args[6]) = VT_DISPATCH;
      V_DISPATCH(&Args[6]) = BrowserDispatch();
      DISPPARAMS Params = {Args, nullptr, 7, 0};
      IDispatch* Sink = BrowserDoubleSink(Browser);
      EXPECT_EQ(Sink ? Sink->Invoke(250, IID_NULL, 0, DISPATCH_METHOD, &Params, nullptr, nullptr, nullptr) : E_FAIL,
                S_OK);
      for (VARIANT* V : {&URL, &Flags, &Frame, &PostData, &Headers}) VariantClear(V);
      return Cancel != VARIANT_FALSE;
    }
    // The whole load as the browser reports it: navigated, document complete, the window's onload.
    void Load() {
      EXPECT_EQ(Fire(252), S_OK);  // NavigateComplete2
      EXPECT_EQ(Fire(259), S_OK);  // DocumentComplete
      EXPECT_EQ(Page.FireWindowEvent(1003), S_OK);  // onload
    }
    THtmlDoublePage Page;
    std::wstring Address;
    TBrowserDouble* Browser;
    LONG BrowserReferences = 0;
    long PageReferences = 0;
  };

  // The page unloads and the helper lets go of the browser: nothing of either is held any more.
  void Close(TWindow& Window) {
    // onunload; S_FALSE when nobody listens (a window whose events could not be connected)
    EXPECT_TRUE(SUCCEEDED(Window.Page.FireWindowEvent(1008)));
    EXPECT_EQ(Helper->SetSite(nullptr), S_OK);
    Batch->Release();
    Batch = nullptr;
    Helper->Release();
    Helper = nullptr;
    EXPECT_EQ(Window.Page.OutsideReferences(), Window.PageReferences) << "the helper still holds the page";
    EXPECT_EQ(Window.Page.AdvisedSinks(), 0) << "a sink stayed advised on the page";
    BrowserDoubleClearProperties(Window.Browser);
    EXPECT_EQ(BrowserDoubleReferences(Window.Browser), Window.BrowserReferences) << "the helper still holds the browser";
  }

  // The page of Markup at URL, in a browser the helper is then sited on.
  TWindow& Open(const std::wstring& URL, const std::string& Markup,
               HWND Hwnd = reinterpret_cast<HWND>(0x1234)) {
    Page = std::make_unique<TWindow>(URL, Markup, Hwnd);
    EXPECT_EQ(Helper->SetSite(BrowserDoubleUnknown(Page->Browser)), S_OK);
    return *Page;
  }

  std::unique_ptr<TWindow> Page;
  std::shared_ptr<TProfileStore> Store;
  win32::TComPelServerHost* Host = nullptr;
  DWORD StoreCookie = 0;
  ::IObjectWithSite* Helper = nullptr;
  ::IHelperBatchControl* Batch = nullptr;
  TBatchRecorder Recorder;
};

TEST_F(PageLoadOverCom, ANewFormIsFilledFromTheProfileAfterThePagesOnload) {
  TWindow& Window = Open(L"http://shop.example/deliver.html", Fixture("forms/profile.html"));
  Window.Load();

  EXPECT_EQ(Window.Page.ValueOf(L"fname"), L"Zo\u00EB") << "the page's first name";
  EXPECT_EQ(Window.Page.ValueOf(L"country"), L"de");
  EXPECT_EQ(Window.Page.AttributeOf(L"address", L"FormID"), L"1");
  EXPECT_EQ(Store->CallsOf("FindFormCards").size(), 1u) << "one automatic processing of the page";
  // Its name says nothing; its caption on the page, found through the document's text ranges, does.
  EXPECT_EQ(Window.Page.ValueOf(L"x_29"), L"Lee");
  EXPECT_EQ(Window.Page.ValueOf(L"notes"), L"") << "a control the store knows nothing of stays empty";
  EXPECT_EQ(Window.Page.ValueOf(L"email"), L"john.public@example.com") << "the second form is new too";
  EXPECT_EQ(Window.Page.SubmitCount(), 0);
  Close(Window);
}

// The page's thumbnail: the document draws itself into a bitmap of its window's size, which goes
// to the store scaled to 8 percent as a GIF, once the document is complete.
TEST_F(PageLoadOverCom, ThePageIsReportedWithItsPictureOnceComplete) {
  HWND PageWindow = CreateWindowExW(0, L"STATIC", L"page", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(PageWindow, nullptr);
  TWindow& Window = Open(L"http://shop.example/deliver.html", Fixture("forms/profile.html"));
  Window.Page.SetWindow(PageWindow);
  Window.Load();

  // Connecting to the store reports the page with its picture; the navigation reports it without
  // one, the complete document with one again.
  const auto Reports = Store->CallsOf("ReportPage");
  ASSERT_EQ(Reports.size(), 3u);
  EXPECT_EQ(Reports[1].Args[3], TVariant(int32_t(0))) << "navigated: reported without a picture";
  const TVariant& Picture = Reports[2].Args[3];
  ASSERT_EQ(Picture.VarType(), TVarType::ByteArray) << "complete: reported with its picture";
  const auto& Gif = Picture.AsBytes();
  ASSERT_GT(Gif.size(), 13u);
  EXPECT_EQ(std::string(Gif.begin(), Gif.begin() + 3), "GIF");
  EXPECT_EQ(Gif[6] | (Gif[7] << 8), 32) << "8 percent of 400 pixels";
  EXPECT_EQ(Gif[8] | (Gif[9] << 8), 24) << "8 percent of 300 pixels";
  EXPECT_EQ(Reports[2].Args[1], TVariant(u"http://shop.example/deliver.html"));
  EXPECT_EQ(Reports[2].Args[2], TVariant(u"Delivery address"));
  EXPECT_EQ(Reports[0].Args[3].VarType(), TVarType::ByteArray);
  Close(Window);
  Page.reset();

  // A document that fails to draw itself: the page is reported without a picture.
  CreateHelper();
  Store->Calls.clear();
  TWindow& Failing = Open(L"http://shop.example/deliver.html", Fixture("forms/profile.html"));
  Failing.Page.SetWindow(PageWindow);
  Failing.Page.FailCalls("Draw", E_FAIL);
  Failing.Load();
  const auto Failed = Store->CallsOf("ReportPage");
  ASSERT_FALSE(Failed.empty());
  EXPECT_EQ(Failed.back().Args[3], TVariant(int32_t(0)));
  Close(Failing);
  DestroyWindow(PageWindow);
}

TEST_F(PageLoadOverCom, UnattendedTheFilledFormIsSubmittedAndThePageReportedDone) {
  Unattended();
  TWindow& Window = Open(L"http://shop.example/deliver.html", Fixture("forms/profile.html"));
  Window.Load();
  EXPECT_EQ(Window.Page.ValueOf(L"fname"), L"Zo\u00EB");
  EXPECT_EQ(Recorder.Calls, std::vector<std::string>{"PageDone"});
  Close(Window);
}

TEST_F(PageLoadOverCom, AFramesetIsProcessedOnceOnLoadAndAFrameThatNavigatesLaterOnItsOwn) {
  TWindow& Top = Open(L"http://site.example/", "<html><frameset cols='50%,50%'></frameset></html>");
  TWindow Left(L"http://site.example/a.html", "<html><body><form><input id='e' name='email'></form></body></html>");
  TWindow Right(L"http://site.example/b.html", "<html><body><form><input id='c' name='city'></form></body></html>");
  Top.Page.AddFrame(BrowserDoubleUnknown(Left.Browser));
  Top.Page.AddFrame(BrowserDoubleUnknown(Right.Browser));

  EXPECT_EQ(Top.Fire(252), S_OK);
  for (TWindow* Frame : {&Left, &Right}) {
    EXPECT_EQ(Top.Fire(252, *Frame), S_OK);
    EXPECT_EQ(Top.Fire(259, *Frame), S_OK);
  }
  EXPECT_TRUE(Store->CallsOf("FindFormCards").empty()) << "a frame is not processed while the top loads";
  EXPECT_EQ(Top.Fire(259), S_OK);
  EXPECT_EQ(Top.Page.FireWindowEvent(1003), S_OK);
  EXPECT_EQ(Store->CallsOf("FindFormCards").size(), 1u);
  EXPECT_EQ(Left.Page.ValueOf(L"e"), L"john.public@example.com");
  EXPECT_EQ(Right.Page.ValueOf(L"c"), L"Springfield");

  // The left frame navigates on its own: processed once more, on its own document complete.
  {
    TWindow Next(L"http://site.example/a2.html",
                 "<html><body><form action='/x'><input id='p' name='phone'></form></body></html>");
    BrowserDoubleSetDocument(Left.Browser, Next.Page.Document());
    Left.Address = Next.Address;
    EXPECT_EQ(Top.Fire(252, Left), S_OK);
    EXPECT_EQ(Top.Fire(259, Left), S_OK);
    EXPECT_EQ(Store->CallsOf("FindFormCards").size(), 2u);
    EXPECT_EQ(Next.Page.ValueOf(L"p"), L"+1 555 0100");
    EXPECT_EQ(Top.Page.FireWindowEvent(1008), S_OK);
    EXPECT_EQ(Helper->SetSite(nullptr), S_OK);
    Batch->Release();
    Batch = nullptr;
    Helper->Release();
    Helper = nullptr;
    EXPECT_EQ(Next.Page.OutsideReferences(), Next.PageReferences + 1) << "only the frame's browser holds the new page";
    BrowserDoubleSetDocument(Left.Browser, Left.Page.Document());
  }
  for (TWindow* W : {&Top, &Left, &Right}) {
    EXPECT_EQ(W->Page.AdvisedSinks(), 0) << "a sink stayed advised on " << Narrow(W->Address);
    BrowserDoubleClearProperties(W->Browser);
    EXPECT_EQ(BrowserDoubleReferences(W->Browser), W->BrowserReferences + (W == &Top ? 0 : 1))
        << "the helper still holds " << Narrow(W->Address);
  }
  EXPECT_EQ(Left.Page.OutsideReferences(), Left.PageReferences);
  EXPECT_EQ(Right.Page.OutsideReferences(), Right.PageReferences);
}

// The user submits a form: its submit event saves the page's forms as a card, silently as the
// user's options say, and the posted navigation that follows does not save them again.
TEST_F(PageLoadOverCom, TheUsersSubmitIsCapturedAndSavedOnce) {
  TBVOptions Options;
  Options.SubmitAction = 2;
  Options.AutoFillNew = 0;
  Store->Answer("GetSettings", {int32_t(PackOptions(Options)), true});
  Store->Answer("SaveFormCard", {true, false});
  TWindow& Window = Open(L"http://shop.example/login", "<html><body><form id='login' method='post' action='/in'>"
                                                        "<input name='user'><input type='password' name='pass'>"
                                                        "<input type='submit' name='go' value='Sign in'></form>"
                                                        "</body></html>");
  Window.Load();
  IDispatch* Login = Window.Page.ElementById(L"login");
  ASSERT_NE(Login, nullptr);
  ::IHTMLInputElement* User = nullptr;
  ASSERT_EQ(Window.Page.ElementById(L"user")->QueryInterface(__uuidof(::IHTMLInputElement),
                                                              reinterpret_cast<void**>(&User)),
            S_OK);
  BSTR Typed = SysAllocString(L"carol");
  User->put_value(Typed);
  SysFreeString(Typed);
  User->Release();

  const GUID FormEvents = {0x3050F364, 0x98B5, 0x11CF, {0xBB, 0x82, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x0B}};
  EXPECT_EQ(Window.Page.FireElementEvent(Login, FormEvents, 1007), S_OK);  // onsubmit
  EXPECT_FALSE(Window.BeforeNavigate(L"http://shop.example/in", "user=carol&pass="));

  ASSERT_EQ(Store->CallsOf("SaveFormCard").size(), 1u);
  const auto Saved = Store->CallsOf("SaveFormCard")[0];
  EXPECT_EQ(Saved.Args[0], TVariant(u"http://shop.example/login"));
  TTransitFormSet Cards;
  TMemoryStream Stream;
  VariantToStream(Saved.Args[3], Stream);
  Stream.SetPosition(0);
  Cards.LoadFromStream(Stream);
  ASSERT_EQ(Cards.Count(), 1);
  ASSERT_GE(Cards[0].Fields.Count(), 2);
  EXPECT_EQ(Cards[0].Fields[0].Name, u"user");
  EXPECT_EQ(Cards[0].Fields[0].Value, u"carol");
  Close(Window);
}

// Whatever the page's objects answer during a load, the browser gets results, never an exception
// or a crash; nothing is written to the store; and the helper gives back what it took.
TEST_F(PageLoadOverCom, FailuresOfThePagesObjectsReachTheBrowserAsResultsAndLoseNothing) {
  const struct {
    const char* Method;
    HRESULT Result;
  } Cases[] = {{"forms", E_FAIL},         {"item", E_NOINTERFACE},        {"length", E_FAIL},
               {"shrinking", S_OK},       {"tagName", RPC_E_DISCONNECTED}, {"getAttribute", E_FAIL},
               {"setAttribute", E_FAIL},  {"parentWindow", E_NOINTERFACE}, {"Advise", E_FAIL},
               {"elements", E_FAIL},      {"value", RPC_E_DISCONNECTED},   {"type", E_FAIL},
               {"URL", E_FAIL},           {"", S_OK}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Method);
    if (!Helper) CreateHelper();
    TWindow& Window = Open(L"http://shop.example/deliver.html", Fixture("forms/profile.html"));
    Window.Page.FailCalls(Case.Method, Case.Result);
    for (DISPID Event : {252, 259}) {
      const HRESULT Result = Window.Fire(Event);
      EXPECT_TRUE(Result == S_OK || FAILED(Result)) << Event;
    }
    Window.Page.FireWindowEvent(1003);
    Window.Page.FailCalls("", S_OK);
    for (const char* Write : {"SaveFormCard", "DeleteRecord", "SaveRecord", "SetDefaultFormCard"})
      EXPECT_TRUE(Store->CallsOf(Write).empty()) << Write;
    Close(Window);
    Page.reset();
  }
  // The page without a document.
  CreateHelper();
  TWindow& Window = Open(L"http://shop.example/empty", "<html></html>");
  BrowserDoubleSetDocument(Window.Browser, nullptr);
  EXPECT_EQ(Window.Fire(252), S_OK);
  EXPECT_EQ(Window.Fire(259), S_OK);
  BrowserDoubleSetDocument(Window.Browser, Window.Page.Document());
  Close(Window);
}

// A stored card for the page, filled and submitted automatically: once. When the submit brings the
// same page back, the loop guard stops the repeat and tells the batch program.
TEST_F(PageLoadOverCom, AutoSubmitSubmitsOnceAndTheLoopGuardStopsTheRepeat) {
  const std::string Login = "<html><body><form id='login' method='post' action='/in'><input name='user'>"
                            "<input type='submit' name='go' value='Sign in'></form></body></html>";
  // The card, as a user's earlier visit saved it.
  TVariant Card;
  {
    THtmlDoublePage Earlier(L"http://shop.example/login", Login);
    TBrowserDouble* Browser = BrowserDoubleCreate(reinterpret_cast<HWND>(0x1234), nullptr);
    BrowserDoubleSetDocument(Browser, Earlier.Document());
    {
      TPageFormSet Forms;
      Forms.FKeyAttribute = u"FormID";
      RefreshPageForms(Supports<IWebBrowser2>(win32::WrapComObject(BrowserDoubleUnknown(Browser))), Forms);
      auto User = Supports<IHTMLInputElement>(win32::WrapComObject(Earlier.ElementById(L"user")));
      User->SetValue(u"carol");
      TTransitFormSet Saved;
      Forms.SaveToTransitSet(Saved, 15);
      TMemoryStream Stream;
      Saved.SaveToStream(Stream);
      StreamToVariant(Stream, Card);
    }
    BrowserDoubleSetDocument(Browser, nullptr);
    BrowserDoubleUnknown(Browser)->Release();
  }
  TMemoryStream Pairs;
  const int32_t One = 1;
  Pairs.Write(&One, sizeof One);
  WriteWideString(Pairs, u"shop.example/login");
  WriteWideString(Pairs, u"Carol");
  TVariant CardList;
  StreamToVariant(Pairs, CardList);
  Store->Answer("FindFormCards", {CardList, u"shop.example/login", u"Carol", true});
  Store->Answer("GetFormCard", {Card, false});
  Unattended();

  TWindow& Window = Open(L"http://shop.example/login", Login);
  Window.Page.SetOnSubmit([&](const std::wstring&) {
    EXPECT_FALSE(Window.BeforeNavigate(L"http://shop.example/in", "user=carol&go=Sign+in"));
  });
  Window.Load();
  EXPECT_EQ(Window.Page.ValueOf(L"user"), L"carol");
  EXPECT_EQ(Window.Page.SubmitCount(), 1);
  EXPECT_TRUE(Recorder.Calls.empty()) << "the page ended in its submit";

  // The site answers with the same page: filled again, but not submitted again.
  Window.Page.FireWindowEvent(1008);
  Window.Load();
  EXPECT_EQ(Window.Page.SubmitCount(), 1) << "the loop guard let the same submit through twice";
  EXPECT_EQ(Recorder.Calls, std::vector<std::string>{"LoopDetected"});
  Close(Window);
}

// One automatic page load, counted in calls into the document per control: the same on every
// machine, and it must not grow with the page.
TEST_F(PageLoadOverCom, CallsIntoTheDocumentPerControlOfOneLoadStayTheSameAsThePageGrows) {
  double PerControl[2] = {};
  const int Sizes[2] = {50, 500};
  for (int I = 0; I < 2; ++I) {
    if (!Helper) CreateHelper();
    std::string Markup = "<html><body><form id='f' action='x.cgi'>";
    for (int C = 0; C < Sizes[I]; ++C)
      Markup += "<p>Field " + std::to_string(C) + " <input name='field" + std::to_string(C) + "'></p>";
    Markup += "</form></body></html>";
    TWindow& Window = Open(L"http://shop.example/long", Markup);
    Window.Page.ResetCalls();
    Window.Load();
    PerControl[I] = static_cast<double>(Window.Page.Calls()) / Sizes[I];
    std::printf("one automatic load of %d controls: %ld calls into the document, %.2f per control\n", Sizes[I],
                Window.Page.Calls(), PerControl[I]);
    Close(Window);
    Page.reset();
  }
  EXPECT_LE(PerControl[1], PerControl[0] * 1.05) << "the calls per control grow with the page";
}

// The user answers the next store dialog with Enter, as soon as it shows: a timer of this thread
// runs inside the dialog's own loop.
HWND GStoreDialog = nullptr;
// Window callbacks take the system's calling convention, which a lambda does not on 32 bits.
BOOL CALLBACK FindStoreDialog(HWND Window, LPARAM) {
  wchar_t Caption[64] = {};
  GetWindowTextW(Window, Caption, 64);
  if (!IsWindowVisible(Window) || wcscmp(Caption, L"Save navigations") != 0) return TRUE;
  GStoreDialog = Window;
  return FALSE;
}
void CALLBACK AnswerStoreDialog(HWND, UINT, UINT_PTR Timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), FindStoreDialog, 0);
  if (!GStoreDialog) return;
  KillTimer(nullptr, Timer);
  PostMessageW(FindWindowExW(GStoreDialog, nullptr, L"Edit", nullptr), WM_KEYDOWN, VK_RETURN, 0);
}

// The user records a click on a link; stopping the recording saves it under the name the store
// dialog confirms.
TEST_F(PageLoadOverCom, AClickOnALinkIsRecordedAndSavedAsANavigation) {
  Store->Answer("GetNameChoices", {u"", u"Round"});
  Store->Answer("SaveRecord", {true, false});
  // The store dialog is owned by the browser's window: a real one.
  HWND BrowserWindow =
      CreateWindowExW(0, L"STATIC", L"browser", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(BrowserWindow, nullptr);
  TWindow& Window = Open(L"http://site.example/start",
                         "<html><body><p>Go on: <a id='next' href='http://site.example/next'>Next page</a></p>"
                         "</body></html>",
                         BrowserWindow);
  Window.Load();
  ::IBrivaneAgent* Agent = PublishedAgent(BrowserDoubleUnknown(Window.Browser));
  ASSERT_NE(Agent, nullptr);
  Agent->SetRecording(VARIANT_TRUE);
  ASSERT_EQ(Agent->GetRecording(), VARIANT_TRUE);
  IDispatch* Link = Window.Page.ElementById(L"next");
  EXPECT_EQ(Window.Page.FireDocumentEvent(-605, Link), S_OK);  // onmousedown
  EXPECT_EQ(Window.Page.FireDocumentEvent(-607, Link), S_OK);  // onmouseup
  EXPECT_EQ(Window.Page.FireDocumentEvent(-600, Link), S_OK);  // onclick
  GStoreDialog = nullptr;
  const UINT_PTR Timer = SetTimer(nullptr, 0, 20, AnswerStoreDialog);
  Agent->SetRecording(VARIANT_FALSE);
  KillTimer(nullptr, Timer);
  EXPECT_NE(GStoreDialog, nullptr) << "no store dialog";
  Agent->Release();

  const auto Saved = Store->CallsOf("SaveRecord");
  ASSERT_EQ(Saved.size(), 1u);
  EXPECT_EQ(Saved[0].Args[0], TVariant(int32_t(1)));
  EXPECT_EQ(Saved[0].Args[2], TVariant(u"Round"));
  TNavigationRecorder Recorded;
  Recorded.LoadFromVariant(Saved[0].Args[4]);
  ASSERT_EQ(Recorded.Steps().Count(), 1);
  Recorded.Play();
  WideString Tag, Type, Name, Value;
  ASSERT_TRUE(Recorded.GetStep(u"http://site.example/start", Tag, Type, Name, Value));
  EXPECT_EQ(Tag, u"a");
  EXPECT_EQ(Name, u"Next page");
  EXPECT_EQ(Value, u"http://site.example/next");
  Close(Window);
  Page.reset();
  DestroyWindow(BrowserWindow);
}

// A recorded navigation that is the page's current one plays its click when the page has loaded
// and filling and submitting are automatic.
TEST_F(PageLoadOverCom, ARecordedNavigationPlaysItsClickOnLoad) {
  const WideString Key = u"http://site.example/start";
  TVariant Steps;
  {
    TNavigationRecorder Recorder;
    Recorder.StartRecording();
    Recorder.AddStep(Key, u"a", u"", u"Next page", u"http://site.example/next");
    Recorder.Stop();
    Recorder.SaveToVariant(Steps);
  }
  TMemoryStream Pairs;
  const int32_t One = 1;
  Pairs.Write(&One, sizeof One);
  WriteWideString(Pairs, Key);
  WriteWideString(Pairs, u"Round");
  TVariant List;
  StreamToVariant(Pairs, List);
  Store->Answer("GetRecordList", {List, u"Round"});
  Store->Answer("GetRecord", {Steps, false});
  TBVOptions Options;
  Options.AutoSubmit = 1;
  Store->Answer("GetSettings", {int32_t(PackOptions(Options)), true});

  TWindow& Window = Open(L"http://site.example/start",
                         "<html><body><p>Go on: <a id='next' href='http://site.example/next'>Next page</a></p>"
                         "<a id='other' href='http://site.example/other'>Other page</a></body></html>");
  Window.Load();
  EXPECT_EQ(Window.Page.ClicksOf(L"next"), 1) << "the recorded click was not played";
  EXPECT_EQ(Window.Page.ClicksOf(L"other"), 0);
  const auto Records = Store->CallsOf("GetRecord");
  EXPECT_TRUE(std::any_of(Records.begin(), Records.end(), [](const TFakePelServer::TCall& C) {
    return C.Args[0] == TVariant(int32_t(1)) && C.Args[2] == TVariant(u"Round");
  })) << "the navigation was not fetched by its name";
  Close(Window);
}

TEST_F(PageLoadOverCom, APageWithoutFormsIsReportedAsSuch) {
  Unattended();
  TWindow& Window = Open(L"http://shop.example/about.html", "<html><body><p>Nothing to fill</p></body></html>");
  Window.Load();
  EXPECT_TRUE(Store->CallsOf("FindFieldValue").empty());
  EXPECT_EQ(Recorder.Calls, std::vector<std::string>{"NoForms"});
  Close(Window);
}

}  // namespace
}  // namespace pel::test
