// The sinks against the platform's own headers: the identifiers of the event interfaces, and a
// few DISPIDs of each interface reach the event of that name.

#include <gtest/gtest.h>

#include <windows.h>

#include <exdisp.h>
#include <exdispid.h>
#include <mshtmdid.h>
#include <mshtml.h>

#include <functional>

#include "BHO/MSHTMLEvents.h"
#include "BHO/SHDocVwEvents.h"
#include "win32/ComObject.h"

namespace {

using pel::TEventSink;

// Assigns only Event, then calls DispID without arguments. The handler runs for an event without
// arguments; an event with arguments answers that they are missing. Either proves that DispID
// reached Event, as every other event of the sink is unassigned.
template <class TSink, class TEvent>
void ExpectDispID(TEvent TSink::*Event, long DispID) {
  TSink Sink;
  int Calls = 0;
  (Sink.*Event) = [&](TEventSink*, auto&&...) { ++Calls; };
  pel::TDispParams None;
  const int32_t Result = Sink.Invoke(static_cast<int32_t>(DispID), pel::TGUID{}, 0, pel::DispatchMethod, None, nullptr);
  if (Calls == 1)
    EXPECT_EQ(Result, pel::HR_S_OK);
  else
    EXPECT_EQ(Result, pel::HR_DISP_E_BADPARAMCOUNT) << "DISPID " << DispID << " did not reach the event";
}

}  // namespace

TEST(SinkDispIDs, InterfaceIdentifiersAreThePlatforms) {
  using pel::win32::FromGUID;
  EXPECT_EQ(pel::DIID_DWebBrowserEvents2, FromGUID(__uuidof(DWebBrowserEvents2)));
  EXPECT_EQ(pel::DIID_HTMLWindowEvents, FromGUID(__uuidof(HTMLWindowEvents)));
  EXPECT_EQ(pel::DIID_HTMLDocumentEvents, FromGUID(__uuidof(HTMLDocumentEvents)));
  EXPECT_EQ(pel::DIID_HTMLFormElementEvents, FromGUID(__uuidof(HTMLFormElementEvents)));
  EXPECT_EQ(pel::DIID_HTMLInputTextElementEvents, FromGUID(__uuidof(HTMLInputTextElementEvents)));
  EXPECT_EQ(pel::DIID_HTMLTextContainerEvents, FromGUID(__uuidof(HTMLTextContainerEvents)));
  EXPECT_EQ(pel::DIID_HTMLSelectElementEvents, FromGUID(__uuidof(HTMLSelectElementEvents)));
  EXPECT_EQ(pel::TSHDocVwDWebBrowserEvents2().EventIID(), pel::DIID_DWebBrowserEvents2);
  EXPECT_EQ(pel::TMSHTMLHTMLSelectElementEvents().EventIID(), pel::DIID_HTMLSelectElementEvents);
}

TEST(SinkDispIDs, SpotChecksAgainstThePlatformHeaders) {
  using namespace pel;
  using TBrowser = TSHDocVwDWebBrowserEvents2;
  const struct {
    const char* What;
    std::function<void()> Check;
  } Cases[] = {
      {"StatusTextChange", [] { ExpectDispID(&TBrowser::OnStatusTextChange, DISPID_STATUSTEXTCHANGE); }},
      {"DownloadComplete", [] { ExpectDispID(&TBrowser::OnDownloadComplete, DISPID_DOWNLOADCOMPLETE); }},
      {"BeforeNavigate2", [] { ExpectDispID(&TBrowser::OnBeforeNavigate2, DISPID_BEFORENAVIGATE2); }},
      {"NewWindow2", [] { ExpectDispID(&TBrowser::OnNewWindow2, DISPID_NEWWINDOW2); }},
      {"NavigateComplete2", [] { ExpectDispID(&TBrowser::OnNavigateComplete2, DISPID_NAVIGATECOMPLETE2); }},
      {"DocumentComplete", [] { ExpectDispID(&TBrowser::OnDocumentComplete, DISPID_DOCUMENTCOMPLETE); }},
      {"OnQuit", [] { ExpectDispID(&TBrowser::OnQuit, DISPID_ONQUIT); }},
      {"ClientToHostWindow", [] { ExpectDispID(&TBrowser::OnClientToHostWindow, DISPID_CLIENTTOHOSTWINDOW); }},
      {"PrintTemplateTeardown", [] { ExpectDispID(&TBrowser::OnPrintTemplateTeardown, DISPID_PRINTTEMPLATETEARDOWN); }},
      {"PrivacyImpactedStateChange",
       [] { ExpectDispID(&TBrowser::OnPrivacyImpactedStateChange, DISPID_PRIVACYIMPACTEDSTATECHANGE); }},

      {"window onload", [] { ExpectDispID(&TMSHTMLHTMLWindowEvents::Onload, DISPID_HTMLWINDOWEVENTS_ONLOAD); }},
      {"window onunload", [] { ExpectDispID(&TMSHTMLHTMLWindowEvents::Onunload, DISPID_HTMLWINDOWEVENTS_ONUNLOAD); }},
      {"window onerror", [] { ExpectDispID(&TMSHTMLHTMLWindowEvents::Onerror, DISPID_HTMLWINDOWEVENTS_ONERROR); }},
      {"window onafterprint",
       [] { ExpectDispID(&TMSHTMLHTMLWindowEvents::Onafterprint, DISPID_HTMLWINDOWEVENTS_ONAFTERPRINT); }},

      {"document onclick",
       [] { ExpectDispID(&TMSHTMLHTMLDocumentEvents::Onclick, DISPID_HTMLDOCUMENTEVENTS_ONCLICK); }},
      {"document onmouseup",
       [] { ExpectDispID(&TMSHTMLHTMLDocumentEvents::Onmouseup, DISPID_HTMLDOCUMENTEVENTS_ONMOUSEUP); }},
      {"document onstop", [] { ExpectDispID(&TMSHTMLHTMLDocumentEvents::Onstop, DISPID_HTMLDOCUMENTEVENTS_ONSTOP); }},
      {"document onbeforedeactivate",
       [] {
         ExpectDispID(&TMSHTMLHTMLDocumentEvents::Onbeforedeactivate, DISPID_HTMLDOCUMENTEVENTS_ONBEFOREDEACTIVATE);
       }},

      {"form onsubmit",
       [] { ExpectDispID(&TMSHTMLHTMLFormElementEvents::Onsubmit, DISPID_HTMLFORMELEMENTEVENTS_ONSUBMIT); }},
      {"form onreset",
       [] { ExpectDispID(&TMSHTMLHTMLFormElementEvents::Onreset, DISPID_HTMLFORMELEMENTEVENTS_ONRESET); }},
      {"form onmousedown",
       [] { ExpectDispID(&TMSHTMLHTMLFormElementEvents::Onmousedown, DISPID_HTMLELEMENTEVENTS_ONMOUSEDOWN); }},
      {"form onfocusout",
       [] { ExpectDispID(&TMSHTMLHTMLFormElementEvents::Onfocusout, DISPID_HTMLELEMENTEVENTS_ONFOCUSOUT); }},

      {"input onpropertychange",
       [] {
         ExpectDispID(&TMSHTMLHTMLInputTextElementEvents::Onpropertychange, DISPID_HTMLELEMENTEVENTS_ONPROPERTYCHANGE);
       }},
      {"input onchange",
       [] { ExpectDispID(&TMSHTMLHTMLInputTextElementEvents::Onchange, DISPID_HTMLINPUTTEXTELEMENTEVENTS_ONCHANGE); }},
      {"input onabort",
       [] { ExpectDispID(&TMSHTMLHTMLInputTextElementEvents::Onabort, DISPID_HTMLINPUTTEXTELEMENTEVENTS_ONABORT); }},

      {"text container onpropertychange",
       [] {
         ExpectDispID(&TMSHTMLHTMLTextContainerEvents::Onpropertychange, DISPID_HTMLELEMENTEVENTS_ONPROPERTYCHANGE);
       }},
      {"text container onselect",
       [] { ExpectDispID(&TMSHTMLHTMLTextContainerEvents::Onselect, DISPID_HTMLTEXTCONTAINEREVENTS_ONSELECT); }},

      {"select onchange",
       [] { ExpectDispID(&TMSHTMLHTMLSelectElementEvents::Onchange, DISPID_HTMLSELECTELEMENTEVENTS_ONCHANGE); }},
      {"select ondragend",
       [] { ExpectDispID(&TMSHTMLHTMLSelectElementEvents::Ondragend, DISPID_HTMLELEMENTEVENTS_ONDRAGEND); }},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.What);
    C.Check();
  }
}
