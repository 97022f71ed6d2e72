// The browser and HTML event sinks on the portable event source: connecting, the layout of a
// call's arguments, by-reference write-back and the results a source gets back.

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "BHO/MSHTMLEvents.h"
#include "BHO/SHDocVwEvents.h"
#include "Common/Trace.h"
#include "platform/EventSource.h"

using namespace pel;

namespace {

class TObject : public virtual IInterface {};

std::shared_ptr<TEventSource> BrowserSource() {
  auto Source = std::make_shared<TEventSource>();
  Source->AddConnectionPoint(DIID_DWebBrowserEvents2);
  return Source;
}

// A source whose connection point can be told to refuse.
class TRefusingPoint : public IConnectionPoint {
public:
  bool RefuseAdvise = false;
  bool RefuseUnadvise = false;
  int Advised = 0;
  TGUID ConnectionInterface() const override { return DIID_DWebBrowserEvents2; }
  uint32_t Advise(IEventDispatch*) override {
    if (RefuseAdvise) throw EOleSysError("Too many connections", HR_CONNECT_E_ADVISELIMIT);
    ++Advised;
    return 7;
  }
  void Unadvise(uint32_t Cookie) override {
    EXPECT_EQ(Cookie, 7u);
    if (RefuseUnadvise) throw EOleSysError("The object invoked has disconnected from its clients", HR_E_FAIL);
    --Advised;
  }
};

class TRefusingSource : public IConnectionPointContainer {
public:
  std::shared_ptr<TRefusingPoint> Point = std::make_shared<TRefusingPoint>();
  std::shared_ptr<IConnectionPoint> FindConnectionPoint(const TGUID&) override { return Point; }
};

TDispParams Positional(std::vector<TVariant> DeclaredOrder) {
  TDispParams P;
  P.Args.assign(DeclaredOrder.rbegin(), DeclaredOrder.rend());
  return P;
}

int32_t Call(TEventSink& Sink, int32_t DispID, TDispParams& Params, uint16_t Flags = DispatchMethod) {
  return Sink.Invoke(DispID, TGUID{}, 0, Flags, Params, nullptr);
}

}  // namespace

TEST(EventSink, ConnectAdvisesAndDisconnectUnadvises) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  int Completed = 0;
  Sink.OnDownloadComplete = [&](TEventSink* Sender) {
    EXPECT_EQ(Sender, &Sink);
    ++Completed;
  };
  Sink.Connect(Source);
  EXPECT_TRUE(Sink.Connected());
  EXPECT_EQ(Sink.Source(), Source);
  EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 1);
  EXPECT_EQ(Source->Fire(DIID_DWebBrowserEvents2, 104), std::vector<int32_t>{HR_S_OK});
  EXPECT_EQ(Completed, 1);

  Sink.Disconnect();
  EXPECT_FALSE(Sink.Connected());
  EXPECT_EQ(Sink.Source(), nullptr);
  EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 0);
  Source->Fire(DIID_DWebBrowserEvents2, 104);
  EXPECT_EQ(Completed, 1);

  // Disconnecting an unconnected sink does nothing: in particular no second Unadvise.
  TSHDocVwDWebBrowserEvents2 Never;
  EXPECT_NO_THROW(Never.Disconnect());
  EXPECT_NO_THROW(Sink.Disconnect());
}

TEST(EventSink, ConnectingAgainLeavesOnlyTheSecondSourceConnected) {
  auto First = BrowserSource();
  auto Second = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  int Quits = 0;
  Sink.OnQuit = [&](TEventSink*) { ++Quits; };
  Sink.Connect(First);
  Sink.Connect(Second);
  EXPECT_EQ(First->SinkCount(DIID_DWebBrowserEvents2), 0);
  EXPECT_EQ(Second->SinkCount(DIID_DWebBrowserEvents2), 1);
  EXPECT_EQ(Sink.Source(), Second);
  First->Fire(DIID_DWebBrowserEvents2, 253);
  EXPECT_EQ(Quits, 0);
  Second->Fire(DIID_DWebBrowserEvents2, 253);
  EXPECT_EQ(Quits, 1);
}

TEST(EventSink, AFailedConnectionRaisesWithTheReasonAndLeavesTheSinkUnconnected) {
  auto Other = std::make_shared<TEventSource>();
  Other->AddConnectionPoint(DIID_HTMLDocumentEvents);
  auto Refusing = std::make_shared<TRefusingSource>();
  Refusing->Point->RefuseAdvise = true;
  struct TCase {
    const char* What;
    std::shared_ptr<IInterface> Source;
    AnsiString Name;
    AnsiString Message;
  };
  const TCase Cases[] = {
      {"no connection points", std::make_shared<TObject>(), "", "Unable to connect .\rInterface not supported"},
      {"no point for the interface", Other, "",
       "Unable to connect .\rNo connection point for {34A715A0-6587-11D0-924A-0020AFC7AC4D}"},
      {"advise refused", Refusing, "", "Unable to connect .\rToo many connections"},
      {"named sink", Refusing, "BrowserEvents", "Unable to connect BrowserEvents.\rToo many connections"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    auto Previous = BrowserSource();
    TSHDocVwDWebBrowserEvents2 Sink;
    Sink.SetName(C.Name);
    Sink.Connect(Previous);
    try {
      Sink.Connect(C.Source);
      ADD_FAILURE() << "connected";
    } catch (const Exception& E) {
      EXPECT_EQ(E.Message(), C.Message);
    }
    EXPECT_FALSE(Sink.Connected());
    EXPECT_EQ(Previous->SinkCount(DIID_DWebBrowserEvents2), 0);  // disconnected before trying
  }
}

TEST(EventSink, ANilSourceIsRefusedWithoutHarm) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  Sink.Connect(Source);
  try {
    Sink.Connect(nullptr);
    ADD_FAILURE() << "connected to nothing";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message().rfind("Assertion failed", 0), 0u) << E.Message();
  }
  // The assertion comes before anything changes.
  EXPECT_EQ(Sink.Source(), Source);
  EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 1);
}

TEST(EventSink, AFailingUnadviseStillDisconnects) {
  auto Source = std::make_shared<TRefusingSource>();
  Source->Point->RefuseUnadvise = true;
  TSHDocVwDWebBrowserEvents2 Sink;
  Sink.Connect(Source);
  EXPECT_EQ(Source->Point->Advised, 1);
  EXPECT_NO_THROW(Sink.Disconnect());
  EXPECT_FALSE(Sink.Connected());
  EXPECT_EQ(Sink.Source(), nullptr);
  EXPECT_NO_THROW(Sink.Disconnect());
}

TEST(EventSink, FreeingAConnectedSinkUnadvisesIt) {
  auto Source = BrowserSource();
  {
    TSHDocVwDWebBrowserEvents2 Sink;
    Sink.Connect(Source);
    EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 1);
  }
  EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 0);
  EXPECT_TRUE(Source->Fire(DIID_DWebBrowserEvents2, 104).empty());
}

TEST(EventSink, AHandlerMayDisconnectItsOwnSink) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  Sink.OnQuit = [&](TEventSink* Sender) { Sender->Disconnect(); };
  Sink.Connect(Source);
  EXPECT_EQ(Source->Fire(DIID_DWebBrowserEvents2, 253), std::vector<int32_t>{HR_S_OK});
  EXPECT_FALSE(Sink.Connected());
  EXPECT_EQ(Source->SinkCount(DIID_DWebBrowserEvents2), 0);
}

TEST(BrowserEvents, BeforeNavigate2HandsOverItsSevenArgumentsInOrderAndCancelReachesTheCaller) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  Sink.Connect(Source);
  auto Frame = std::make_shared<TObject>();
  const TVariant::TBytes Body = {'a', '=', '1'};
  Sink.OnBeforeNavigate2 = [&](TEventSink* Sender, const std::shared_ptr<IInterface>& pDisp, TVariant& URL,
                               TVariant& Flags, TVariant& TargetFrameName, TVariant& PostData, TVariant& Headers,
                               bool& Cancel) {
    EXPECT_EQ(Sender, &Sink);
    EXPECT_EQ(pDisp, Frame);
    EXPECT_EQ(URL, TVariant(u"http://a.com/login.asp"));
    EXPECT_EQ(Flags, TVariant(int32_t{64}));
    EXPECT_EQ(TargetFrameName, TVariant(u"main"));
    EXPECT_EQ(PostData, TVariant(Body));
    EXPECT_EQ(Headers, TVariant(u"Content-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_FALSE(Cancel);
    Cancel = true;
    Headers = TVariant(u"Referer: http://a.com/\r\n");
  };
  // As the browser passes them: the variants by reference, Cancel as a reference to a boolean.
  TVariant URL(u"http://a.com/login.asp"), Flags(int32_t{64}), Target(u"main"), PostData(Body),
      Headers(u"Content-Type: application/x-www-form-urlencoded\r\n"), Cancel(false);
  const auto Results =
      Source->Fire(DIID_DWebBrowserEvents2, 250,
                   {TVariant(std::shared_ptr<IInterface>(Frame)), TVariant::Ref(URL), TVariant::Ref(Flags),
                    TVariant::Ref(Target), TVariant::Ref(PostData), TVariant::Ref(Headers), TVariant::Ref(Cancel)});
  EXPECT_EQ(Results, std::vector<int32_t>{HR_S_OK});
  EXPECT_EQ(Cancel, TVariant(true));
  EXPECT_EQ(Headers, TVariant(u"Referer: http://a.com/\r\n"));
  EXPECT_EQ(URL, TVariant(u"http://a.com/login.asp"));

  // A handler that leaves Cancel alone leaves it as it came.
  Sink.OnBeforeNavigate2 = [](TEventSink*, const std::shared_ptr<IInterface>&, TVariant&, TVariant&, TVariant&,
                              TVariant&, TVariant&, bool&) {};
  TVariant Untouched(false);
  Source->Fire(DIID_DWebBrowserEvents2, 250,
               {TVariant(), TVariant(u"x"), TVariant(), TVariant(), TVariant(), TVariant(), TVariant::Ref(Untouched)});
  EXPECT_EQ(Untouched, TVariant(false));
}

TEST(BrowserEvents, ByReferenceObjectsAndIntegersAreWrittenBack) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Sink;
  Sink.Connect(Source);
  auto Popup = std::make_shared<TObject>();
  Sink.OnNewWindow2 = [&](TEventSink*, std::shared_ptr<IInterface>& ppDisp, bool& Cancel) {
    EXPECT_EQ(ppDisp, nullptr);
    ppDisp = Popup;
    EXPECT_FALSE(Cancel);
  };
  Sink.OnClientToHostWindow = [](TEventSink*, int32_t& CX, int32_t& CY) {
    CX += 8;
    CY = -1;
  };
  TVariant NewBrowser, Cancel(false);
  EXPECT_EQ(Source->Fire(DIID_DWebBrowserEvents2, 251, {TVariant::Ref(NewBrowser), TVariant::Ref(Cancel)}),
            std::vector<int32_t>{HR_S_OK});
  EXPECT_EQ(NewBrowser.AsObject(), Popup);
  EXPECT_EQ(Cancel, TVariant(false));

  TVariant CX(int32_t{640}), CY(int32_t{480});
  Source->Fire(DIID_DWebBrowserEvents2, 268, {TVariant::Ref(CX), TVariant::Ref(CY)});
  EXPECT_EQ(CX, TVariant(int32_t{648}));
  EXPECT_EQ(CY, TVariant(int32_t{-1}));
}

TEST(EventSink, NamedArgumentsArePlacedByTheirDispID) {
  TSHDocVwDWebBrowserEvents2 Sink;
  auto Frame = std::make_shared<TObject>();
  std::vector<WideString> Seen;
  Sink.OnNavigateError = [&](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant& URL, TVariant& Frame_,
                             TVariant& StatusCode, bool& Cancel) {
    EXPECT_EQ(pDisp, Frame);
    Seen = {URL.AsWideString(), Frame_.AsWideString(), StatusCode.AsWideString()};
    Cancel = true;
  };
  // Named ones first (Cancel is parameter 4, StatusCode 3), then the positional ones last-first.
  TVariant Cancel(false);
  TDispParams P;
  P.Args = {TVariant::Ref(Cancel), TVariant(int32_t{404}), TVariant(u"top"), TVariant(u"http://a.com/x"),
            TVariant(std::shared_ptr<IInterface>(Frame))};
  P.NamedArgs = {4, 3};
  EXPECT_EQ(Call(Sink, 271, P), HR_S_OK) << Sink.LastFailure();
  EXPECT_EQ(Seen, (std::vector<WideString>{u"http://a.com/x", u"top", u"404"}));
  EXPECT_TRUE(Cancel.AsBoolean());

  // Every argument named, in no particular order.
  Seen.clear();
  TVariant Cancel2(false);
  TDispParams All;
  All.Args = {TVariant(u"frame2"), TVariant::Ref(Cancel2), TVariant(std::shared_ptr<IInterface>(Frame)),
              TVariant(int32_t{500}), TVariant(u"http://b.com/")};
  All.NamedArgs = {2, 4, 0, 3, 1};
  EXPECT_EQ(Call(Sink, 271, All), HR_S_OK) << Sink.LastFailure();
  EXPECT_EQ(Seen, (std::vector<WideString>{u"http://b.com/", u"frame2", u"500"}));
  EXPECT_TRUE(Cancel2.AsBoolean());
}

TEST(EventSink, CallsTheEventCannotTakeAreAnsweredWithoutReachingTheHandler) {
  TSHDocVwDWebBrowserEvents2 Sink;
  int Calls = 0;
  Sink.OnWindowClosing = [&](TEventSink*, bool, bool&) { ++Calls; };
  TVariant Cancel(false);
  struct TCase {
    const char* What;
    TDispParams Params;
    int32_t Result;
  };
  TCase Cases[] = {
      {"no arguments", {}, HR_DISP_E_BADPARAMCOUNT},
      {"one argument short", Positional({TVariant(true)}), HR_DISP_E_BADPARAMCOUNT},
      {"text for a boolean", Positional({TVariant(u"yes"), TVariant::Ref(Cancel)}), HR_DISP_E_TYPEMISMATCH},
      {"named beyond the arguments", {{TVariant(true), TVariant::Ref(Cancel)}, {5}}, HR_DISP_E_PARAMNOTFOUND},
      {"negative named", {{TVariant(true), TVariant::Ref(Cancel)}, {-3}}, HR_DISP_E_PARAMNOTFOUND},
      {"named twice, one missing", {{TVariant(true), TVariant::Ref(Cancel)}, {1, 1}}, HR_DISP_E_BADPARAMCOUNT},
  };
  for (TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    EXPECT_EQ(Call(Sink, 263, C.Params), C.Result);
    EXPECT_FALSE(Sink.LastFailure().empty());
  }
  EXPECT_EQ(Calls, 0);
  // Extra trailing arguments are no fault.
  TDispParams Extra = Positional({TVariant(false), TVariant::Ref(Cancel), TVariant(u"more")});
  EXPECT_EQ(Call(Sink, 263, Extra), HR_S_OK);
  EXPECT_EQ(Calls, 1);
  EXPECT_TRUE(Sink.LastFailure().empty());
}

TEST(EventSink, AHandlersFailureBecomesEUnexpectedAndGoesNoFurther) {
  auto Source = BrowserSource();
  TSHDocVwDWebBrowserEvents2 Failing, Next;
  int NextCalls = 0;
  Next.OnFileDownload = [&](TEventSink*, bool, bool&) { ++NextCalls; };
  Failing.Connect(Source);
  Next.Connect(Source);
  struct TCase {
    const char* What;
    std::function<void()> Raise;
    AnsiString Failure;
  };
  const TCase Cases[] = {
      {"our exception", [] { throw Exception("Page went away\r\n>>1134"); }, "Page went away\r\n>>1134"},
      {"silent family", [] { throw EBeforeNavigate(); }, "BeforeNavigate executes during procedure call!"},
      {"standard library", [] { throw std::runtime_error("boom"); }, "Unexpected failure in an event handler"},
      {"anything", [] { throw 42; }, "Unexpected failure in an event handler"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    Failing.OnFileDownload = [&](TEventSink*, bool ActiveDocument, bool& Cancel) {
      EXPECT_TRUE(ActiveDocument);
      Cancel = true;  // set before failing: still reaches the caller
      C.Raise();
    };
    TVariant Cancel(false);
    std::vector<int32_t> Results;
    ASSERT_NO_THROW(Results = Source->Fire(DIID_DWebBrowserEvents2, 270, {TVariant(true), TVariant::Ref(Cancel)}));
    EXPECT_EQ(Results, (std::vector<int32_t>{HR_E_UNEXPECTED, HR_S_OK}));
    EXPECT_EQ(Failing.LastFailure(), C.Failure);
    EXPECT_TRUE(Cancel.AsBoolean());
  }
  EXPECT_EQ(NextCalls, 4);
}

TEST(EventSink, OnlyMethodCallsAreAccepted) {
  TSHDocVwDWebBrowserEvents2 Browser;
  TMSHTMLHTMLDocumentEvents Document;
  int Calls = 0;
  Browser.OnDownloadBegin = [&](TEventSink*) { ++Calls; };
  Document.Onclick = [&](TEventSink*) { ++Calls; };
  TDispParams None;
  for (uint16_t Flags : {DispatchPropertyGet, DispatchPropertyPut, DispatchPropertyPutRef, uint16_t{0}}) {
    SCOPED_TRACE(Flags);
    EXPECT_EQ(Call(Browser, 106, None, Flags), HR_E_UNEXPECTED);
    EXPECT_EQ(Browser.LastFailure(), "TSHDocVwDWebBrowserEvents2 only supports sinking of method calls!");
    EXPECT_EQ(Call(Document, -600, None, Flags), HR_E_UNEXPECTED);
    EXPECT_EQ(Document.LastFailure(), "TMSHTMLHTMLDocumentEvents only supports sinking of method calls!");
  }
  EXPECT_EQ(Calls, 0);
  // A caller that asks for a method or a property is making a method call.
  EXPECT_EQ(Call(Browser, 106, None, DispatchMethod | DispatchPropertyGet), HR_S_OK);
  EXPECT_EQ(Calls, 1);
}

TEST(EventSink, WhatAnEventNobodyHandlesAnswers) {
  TSHDocVwDWebBrowserEvents2 Browser;
  TMSHTMLHTMLDocumentEvents Document;
  TMSHTMLHTMLWindowEvents Window;
  TDispParams None;
  // The browser sink takes every event it knows, even without its arguments when nobody listens.
  EXPECT_EQ(Call(Browser, 250, None), HR_S_OK);
  EXPECT_EQ(Call(Browser, 104, None), HR_S_OK);
  EXPECT_EQ(Call(Browser, 9999, None), HR_DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(Browser, 273, None), HR_DISP_E_MEMBERNOTFOUND);  // a later browser's NewWindow3
  // HTML sinks tell the page that nobody handles it.
  EXPECT_EQ(Call(Document, -600, None), HR_DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(Document, 12345, None), HR_DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(Window, 1003, None), HR_DISP_E_MEMBERNOTFOUND);
  Document.Onclick = [](TEventSink*) {};
  EXPECT_EQ(Call(Document, -600, None), HR_S_OK);
  EXPECT_EQ(Call(Document, -601, None), HR_DISP_E_MEMBERNOTFOUND);
}

namespace {
template <class TSink>
void ExpectHandles(TSinkNotifyEvent TSink::*Event, int32_t DispID) {
  TSink Sink;
  int Calls = 0;
  TDispParams None;
  (Sink.*Event) = [&](TEventSink* Sender) {
    EXPECT_EQ(Sender, &Sink);
    ++Calls;
  };
  EXPECT_EQ(Call(Sink, DispID, None), HR_S_OK);
  EXPECT_EQ(Calls, 1);
}
}  // namespace

TEST(HTMLEvents, TheEventsTheAddOnHandlesArriveByTheirDispIDs) {
  const struct {
    const char* What;
    std::function<void()> Check;
  } Cases[] = {
      {"window onload", [] { ExpectHandles(&TMSHTMLHTMLWindowEvents::Onload, 1003); }},
      {"window onunload", [] { ExpectHandles(&TMSHTMLHTMLWindowEvents::Onunload, 1008); }},
      {"document onclick", [] { ExpectHandles(&TMSHTMLHTMLDocumentEvents::Onclick, -600); }},
      {"document onmousedown", [] { ExpectHandles(&TMSHTMLHTMLDocumentEvents::Onmousedown, -605); }},
      {"document onmouseup", [] { ExpectHandles(&TMSHTMLHTMLDocumentEvents::Onmouseup, -607); }},
      {"form onmousedown", [] { ExpectHandles(&TMSHTMLHTMLFormElementEvents::Onmousedown, -605); }},
      {"form onsubmit", [] { ExpectHandles(&TMSHTMLHTMLFormElementEvents::Onsubmit, 1007); }},
      {"input onpropertychange",
       [] { ExpectHandles(&TMSHTMLHTMLInputTextElementEvents::Onpropertychange, -2147418093); }},
      {"text container onpropertychange",
       [] { ExpectHandles(&TMSHTMLHTMLTextContainerEvents::Onpropertychange, -2147418093); }},
      {"select onchange", [] { ExpectHandles(&TMSHTMLHTMLSelectElementEvents::Onchange, 1001); }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    C.Check();
  }
}

TEST(HTMLEvents, ConnectToTheirOwnInterfaceAndTakeArguments) {
  auto Window = std::make_shared<TEventSource>();
  Window->AddConnectionPoint(DIID_HTMLWindowEvents);
  TMSHTMLHTMLWindowEvents Sink;
  std::vector<WideString> Errors;
  Sink.Onerror = [&](TEventSink*, const WideString& description, const WideString& url, int32_t line) {
    Errors = {description, url, IntToWideStr(line)};
  };
  Sink.Connect(Window);
  EXPECT_EQ(Window->Fire(DIID_HTMLWindowEvents, 1002,
                         {TVariant(u"x is undefined"), TVariant(u"http://a.com/"), TVariant(int32_t{12})}),
            std::vector<int32_t>{HR_S_OK});
  EXPECT_EQ(Errors, (std::vector<WideString>{u"x is undefined", u"http://a.com/", u"12"}));

  // A document sink does not connect to a window: it sinks another interface.
  TMSHTMLHTMLDocumentEvents Document;
  EXPECT_THROW(Document.Connect(Window), Exception);
  EXPECT_EQ(Window->SinkCount(DIID_HTMLWindowEvents), 1);
}
