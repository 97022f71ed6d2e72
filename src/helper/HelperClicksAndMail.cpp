// Clicks inside documents and mail cards: a click on a mailto: link starts a mail card and, while
// recording, a click becomes a step; the record save through the store dialog is here too, as
// mail cards and recorded navigations both use it.

#include "BrowserHelper.h"

#include "BHO/URLUtils.h"
#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "HelperInternals.h"
#include "dialogs/StoreDialog.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

namespace pel {

using helper::DocumentOf;
using helper::LinesOf;

// ---------------------------------------------------------------- clicks in documents

void TKXBrowserHelperObject::HandleDocumentMouseDown(const std::shared_ptr<IHTMLEventObj>& EventObj) {
  FPressedIndex = -1;
  FNavigatedSincePress = false;
  try {
    if (EventObj)
      if (TElementRef E = EventObj->SrcElement()) FPressedIndex = E->SourceIndex();
  } catch (const Exception&) {
  }
}

void TKXBrowserHelperObject::HandleDocumentMouseUp(const std::shared_ptr<IHTMLEventObj>& EventObj) {
  try {
    TElementRef E = EventObj ? EventObj->SrcElement() : nullptr;
    // Released on another element than the one pressed: the press is forgotten.
    if (!E || E->SourceIndex() != FPressedIndex) FPressedIndex = -1;
  } catch (const Exception&) {
    FPressedIndex = -1;
  }
}

void TKXBrowserHelperObject::HandleDocumentClick(const std::shared_ptr<IHTMLEventObj>& EventObj) {
  struct TResetPress {
    TKXBrowserHelperObject& H;
    ~TResetPress() {
      H.FPressedIndex = -1;
      H.FNavigatedSincePress = false;
    }
  } Reset{*this};
  Traced(1206, [&] {
    if (!EventObj || !FAgent->GetConnected()) return;
    const bool Saving = FAgent->GetActive() && FAgent->SubmitAction() != 0;
    const bool Recording = FAgent->Recorder().Mode() == rmRecording;
    if (!Saving && !Recording) return;
    TElementRef Element = EventObj->SrcElement();
    if (!Element) return;
    TElementRef Anchor;
    for (TElementRef E = Element; E; E = E->ParentElement())
      if (Supports<IHTMLAnchorElement>(E)) {
        Anchor = E;
        break;
      }
    if (Saving && !FSelfSubmit && Anchor) {
      const WideString Href = Supports<IHTMLAnchorElement>(Anchor)->Href();
      if (AsciiLowerCase(Href).rfind(u"mailto", 0) == 0) {
        // The click goes on: the mail program still opens after the dialog.
        SaveMailCard(Href);
        return;
      }
    }
    if (!Recording) return;
    if (Anchor) {
      FAgent->Recorder().AddStep(FAgent->URLKey(), u"a", u"", Anchor->InnerText(),
                                 Supports<IHTMLAnchorElement>(Anchor)->Href());
      return;
    }
    // A button whose own script navigated: the element pressed is the one clicked.
    if (!FNavigatedSincePress || Element->SourceIndex() != FPressedIndex) return;
    const WideString Tag = AsciiLowerCase(Element->TagName());
    if (Tag == u"button") {
      if (auto B = Supports<IHTMLButtonElement>(Element))
        FAgent->Recorder().AddStep(FAgent->URLKey(), Tag, B->Type(), B->Name(), B->Value());
    } else if (Tag == u"input") {
      if (auto I = Supports<IHTMLInputElement>(Element)) {
        const WideString Type = AsciiLowerCase(I->Type());
        if (Type == u"button") FAgent->Recorder().AddStep(FAgent->URLKey(), Tag, Type, I->Name(), I->Value());
      }
    }
  });
}

// ---------------------------------------------------------------- mail cards

namespace {

TVariant MailCardData(const WideString& Address, const WideString& Subject, const WideString& Text) {
  TMemoryStream S;
  WriteWideString(S, Address);
  WriteWideString(S, Subject);
  WriteWideString(S, Text);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}

}  // namespace

void TKXBrowserHelperObject::ParseMailtoAddress(const WideString& Href, WideString& Address, WideString& Second,
                                                WideString& Third) {
  Address.clear();
  Second.clear();
  Third.clear();
  const size_t At = Href.find(u"mailto:");
  if (At == WideString::npos) return;
  const size_t Start = At + 7;
  const size_t Query = Href.find(u'?', Start);
  Address = Href.substr(Start, Query == WideString::npos ? WideString::npos : Query - Start);
}

void TKXBrowserHelperObject::SaveRecordThroughDialog(int32_t Kind, const AnsiString& Caption, const WideString& Key,
                                                     const WideString& URL, WideString Name, const TVariant& Data) {
  auto S = Server();
  if (!S) return;
  WideString Existing, DefaultName;
  S->GetNameChoices(Key, Existing, DefaultName);
  if (Name.empty()) Name = DefaultName;
  TBVStoreDialog Dialog;
  if (FAgent->DisplayMode() == 1) {
    Dialog.MinHeight = 320;
    Dialog.MinWidth = 476;
  }
  for (;;) {
    bool LoginRequired = false;
    int32_t DefaultMode = dmActiveProfile;
    WideString Profile = FAgent->GetCurrentProfile();
    if (!Dialog.Execute(Caption, Existing, LinesOf(FAgent->ProfileList()), Profile, Name, DefaultMode, FBrowserWindow))
      return;
    do {
      S->DeleteRecord(Key, Name, LoginRequired);
    } while (LoginRequired && FAgent->Login() && (S = Server()));
    if (!S) return;
    if (LoginRequired) continue;
    bool Saved = false;
    S->SaveRecord(Kind, Key, Name, URL, Data, Saved, LoginRequired);
    if (Saved && DefaultMode > 0) S->SetDefaultFormCard(Key, Name, Profile, DefaultMode == dmAllProfiles);
    if (!LoginRequired) return;
  }
}

void TKXBrowserHelperObject::SaveMailCard(const WideString& Href) {
  try {
    UpdateProfileList();
    WideString Address, Unused1, Unused2;
    ParseMailtoAddress(Href, Address, Unused1, Unused2);
    const TVariant Data = MailCardData(Address, u"", u"");
    auto S = Server();
    if (!S) return;
    WideString Stored;
    S->FindRecord(rkMailCard, FAgent->URLKey(), Data, Stored);
    if (!Stored.empty()) return;
    WideString Existing, DefaultName;
    S->GetNameChoices(FAgent->URLKey(), Existing, DefaultName);
    SaveRecordThroughDialog(rkMailCard, "Save mail card", FAgent->URLKey(), FAgent->URL(), DefaultName, Data);
  } catch (const EBeforeNavigate&) {
    throw;
  } catch (const Exception&) {
  }
}

uint8_t TKXBrowserHelperObject::FindMailtoLink(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& Address,
                                               TElementRef& Anchor) {
  Anchor = nullptr;
  try {
    auto Doc = Browser ? DocumentOf(Browser) : nullptr;
    if (!Doc) return 0;
    THyperlinks Links;
    CollectHyperlinks(Doc, Links);
    WideString Target = u"mailto:";
    Target += Address;
    for (const THyperlink& Link : Links)
      if (Link.Href.rfind(Target, 0) == 0) {
        Anchor = Link.Element;
        return 3;
      }
  } catch (const Exception&) {
  }
  return 0;
}

bool TKXBrowserHelperObject::SendMailCardToLink(const std::shared_ptr<IWebBrowser2>& Browser, const WideString& SetName,
                                                const WideString& Name, bool& LoginRequired) {
  LoginRequired = false;
  TVariant Data;
  try {
    if (auto S = Server()) S->GetRecord(rkMailCard, SetName, Name, FAgent->URL(), Data, LoginRequired);
  } catch (const Exception&) {
    Data = TVariant();
  }
  if (LoginRequired || Data.IsEmptyOrNull()) return false;
  TMemoryStream S;
  VariantToStream(Data, S);
  S.SetPosition(0);
  WideString Address, Subject, Text;
  ReadWideString(S, Address);
  ReadWideString(S, Subject);
  ReadWideString(S, Text);
  WideString Tag = Subject;
  Tag += u"[";
  Tag += Text;
  Tag += u"]";
  if (FTracer->RegisterSubmit(FAgent->URLKey(), Address, Tag, askMailCard)) {
    TElementRef Anchor;
    if (FindMailtoLink(Browser, Address, Anchor) != 3 || !Anchor) return false;
    // The card counts as sent for the guard either way; a user who asked for it is told when no
    // mail program took the message, rather than seeing nothing happen.
    bool Sent = false;
    try {
      Sent = Mail().SendMail(WideToAnsi(Address), WideToAnsi(Subject), WideToAnsi(Text));
    } catch (const Exception&) {
    }
    if (!Sent && !FAgent->Unattended())
      ShowMessageKind(1, u"No mail program took the mail card.\r\nIs a mail program installed?");
    return true;
  }
  ReportLoop(3);
  return false;
}

void TKXBrowserHelperObject::SendMailCard(TBrivaneAgent*, const WideString& SetName, const WideString& Name) {
  try {
    if (!FAgent->GetConnected()) return;
    bool LoginRequired = false;
    do {
      SendMailCardToLink(FWebBrowser, SetName, Name, LoginRequired);
    } while (LoginRequired && FAgent->Login());
  } catch (const EBeforeNavigate&) {
    FNavigated = false;
  } catch (const Exception&) {
  }
}

bool TKXBrowserHelperObject::SendPendingMailCard(const std::shared_ptr<IWebBrowser2>& Browser) {
  const WideString Name = FAgent->GetCurrentMailCard();
  if (Name.empty()) return false;
  bool LoginRequired = false;
  return SendMailCardToLink(Browser, FAgent->URLKey(), Name, LoginRequired);
}

}  // namespace pel
