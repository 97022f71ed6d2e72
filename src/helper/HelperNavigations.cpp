// Recorded navigations: saving what the recorder took down and playing it back page after page,
// with the search for the element a step clicks.

#include "BrowserHelper.h"

#include "BHO/DocEnumerators.h"
#include "BHO/URLUtils.h"
#include "Common/Trace.h"
#include "HelperInternals.h"

namespace pel {

using helper::DocumentOf;

// ---------------------------------------------------------------- recorded navigations

void TKXBrowserHelperObject::SaveNavigations(TBrivaneAgent*, const WideString& Key, const TVariant& Steps) {
  EntryPoint(1164, [&] {
    if (Key.empty() || Steps.IsNull() || !FAgent->GetConnected()) return;
    UpdateProfileList();
    auto S = Server();
    if (!S) return;
    WideString Name;
    // An equal stored navigation offers its name.
    S->FindRecord(rkNavigation, Key, Steps, Name);
    try {
      SaveRecordThroughDialog(rkNavigation, "Save navigations", Key, Key, Name, Steps);
    } catch (const EBeforeNavigate&) {
      throw;
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::PlayNavigation(TBrivaneAgent*, const WideString& SetName, const WideString& Name) {
  EntryPoint(1166, [&] {
    if (!FAgent->GetConnected() || FAgent->Recorder().Mode() != rmStopped) return;
    TVariant Data;
    bool LoginRequired = false;
    do {
      try {
        if (auto S = Server()) S->GetRecord(rkNavigation, SetName, Name, FAgent->URL(), Data, LoginRequired);
      } catch (const Exception&) {
        Data = TVariant();
      }
    } while (LoginRequired && FAgent->Login());
    if (LoginRequired) return;
    FAgent->Recorder().LoadFromVariant(Data);
    FAgent->Recorder().Play();
    PlayRecordedStep(FWebBrowser, FAgent->AskConfirmEnabled());
  });
}

bool TKXBrowserHelperObject::ContinuePlayback(const std::shared_ptr<IWebBrowser2>& Browser,
                                              bool& NavigationsAvailable) {
  return Traced(1202, [&] {
    NavigationsAvailable = false;
    TNavigationRecorder& Recorder = FAgent->Recorder();
    const WideString Name = FAgent->GetCurrentNavigation();
    if (Recorder.Mode() == rmStopped) {
      if (FAgent->GetActive() && FAgent->AutoFillEnabled() && FAgent->AutoSubmitEnabled() && !Name.empty()) {
        TVariant Data;
        bool LoginRequired = false;
        try {
          if (auto S = Server()) S->GetRecord(rkNavigation, FAgent->URLKey(), Name, FAgent->URL(), Data, LoginRequired);
        } catch (const Exception&) {
          Data = TVariant();
        }
        if (!LoginRequired) {
          Recorder.LoadFromVariant(Data);
          Recorder.Play();
          WideString Tag, Type, StepName, Value;
          if (Recorder.Mode() == rmPlaying && Recorder.GetStep(FAgent->URLKey(), Tag, Type, StepName, Value)) {
            WideString Kind = Tag;
            Kind += u"[";
            Kind += Type;
            Kind += u"]";
            if (!FTracer->RegisterSubmit(FAgent->URLKey(), Value, Kind, askRecordedStep)) {
              ReportLoop(4);
              Recorder.Stop();
            }
          }
        }
      } else if (FAgent->HasNavigations()) {
        NavigationsAvailable = true;
      }
    }
    return PlayRecordedStep(Browser, FAgent->AskConfirmEnabled());
  });
}

bool TKXBrowserHelperObject::PlayRecordedStep(const std::shared_ptr<IWebBrowser2>& Browser, bool Ask) {
  return Traced(1207, [&] {
    TNavigationRecorder& Recorder = FAgent->Recorder();
    if (Recorder.Mode() != rmPlaying) return false;
    WideString Tag, Type, Name, Value;
    // The current step belongs to another page.
    if (!Recorder.GetStep(FAgent->URLKey(), Tag, Type, Name, Value)) return false;
    TElementRef Element;
    const uint8_t Code = FindStepElement(Browser, Tag, Type, Name, Value, Element);
    WideString Which = u"Element: ";
    Which += Name;
    Which += u"[";
    Which += Value;
    Which += u"]";
    if (!Element || Code == 0) {
      ShowMessageKind(1, Which + u" is not found on the page!");
      Recorder.Stop();
      FTracer->Clear();
      return false;
    }
    if (Code == 2 && Ask) {
      ShowMessageKind(5, Which + u" has another Name.\r\nClick it?");
      return false;
    }
    Recorder.NextStep();
    Element->Click();
    // The click is meant to navigate.
    FNavigated = false;
    return true;
  });
}

namespace {

// The candidates of a button search: an exact hit ends it; otherwise what matched by value only
// and by name only is counted, the first of them kept.
struct TEnumReceiver {
  TEnumReceiver(const WideString& Name, const WideString& Value) : Value(Value), Name(Name) {}
  bool Match(const WideString& ElementName, const WideString& ElementValue, const TElementRef& Element) {
    if (ElementValue == Value) {
      if (ElementName == Name) {
        Found = Element;
        ValueMatches = NameMatches = 0;
        return true;
      }
      ++ValueMatches;
      if (!Found) Found = Element;
    } else if (ElementName == Name) {
      ++NameMatches;
      if (!Found) Found = Element;
    }
    return false;
  }
  WideString Value, Name;
  TElementRef Found;
  int ValueMatches = 0, NameMatches = 0;
};

}  // namespace

uint8_t TKXBrowserHelperObject::FindStepElement(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& Tag,
                                                const WideString& Type, const WideString& Name, const WideString& Value,
                                                TElementRef& Element) {
  return Traced(1203, [&]() -> uint8_t {
    Element = nullptr;
    auto Doc = Browser ? DocumentOf(Browser) : nullptr;
    if (!Doc) return 0;
    if (Tag == u"a") {
      THyperlinks Links;
      CollectHyperlinks(Doc, Links);
      if (Links.Count() == 0) return 0;
      const WideString Target = StripWWW(Value);
      int HrefMatches = 0, TextMatches = 0;
      for (const THyperlink& Link : Links) {
        if (StripWWW(Link.Href) == Target) {
          if (Link.Text == Name) {
            Element = Link.Element;
            return 3;
          }
          ++HrefMatches;
          if (!Element) Element = Link.Element;
        } else if (Link.Text == Name) {
          ++TextMatches;
          if (!Element) Element = Link.Element;
        }
      }
      if (HrefMatches == 0) {
        if (TextMatches == 1) return 3;
        Element = nullptr;
        return TextMatches > 1 ? 1 : 0;
      }
      return TextMatches == 0 ? 2 : 0;
    }
    const bool Button = Tag == u"button";
    if (!Button && !(Tag == u"input" && Type == u"button")) return 0;
    TEnumReceiver Receiver(Name, Value);
    TElemEnumerator Walk;
    Walk.SetOnElement([&](TDocEnumerator&, const std::shared_ptr<IInterface>& Found) {
      auto E = Supports<IHTMLElement>(Found);
      if (Button) {
        auto B = Supports<IHTMLButtonElement>(Found);
        return !B || !Receiver.Match(B->Name(), B->Value(), E);
      }
      auto I = Supports<IHTMLInputElement>(Found);
      if (!I || AsciiLowerCase(I->Type()) != u"button") return true;
      return !Receiver.Match(I->Name(), I->Value(), E);
    });
    Walk.Enumerate(Doc, Button ? IID_IHTMLButtonElement : IID_IHTMLInputElement);
    Element = Receiver.Found;
    if (Receiver.ValueMatches == 0) {
      if (Receiver.NameMatches <= 1) return 3;
      Element = nullptr;
      return 1;
    }
    return Receiver.NameMatches == 0 ? 2 : 0;
  });
}

}  // namespace pel
