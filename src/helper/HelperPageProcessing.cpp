// Processing a loaded page, filling its forms and the small store commands of the fill dialog:
// the path from a page's load to its filled (and perhaps submitted) forms, apart from the
// browser's events that start it.

#include "BrowserHelper.h"
#include "BHO/DocEnumerators.h"
#include "BHO/FormFill.h"

#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "HelperInternals.h"
#include "dialogs/MessageBox.h"
#include "platform/MemoryStream.h"

namespace pel {

namespace {

std::atomic<bool> GAutoProcessBusy{false};

// Clears the process-wide flag however the automatic processing that set it ends.
struct TAutoProcessClaim {
  bool Claimed = !GAutoProcessBusy.exchange(true);
  ~TAutoProcessClaim() {
    if (Claimed) GAutoProcessBusy.store(false);
  }
};

}  // namespace

bool AutoProcessBusy() { return GAutoProcessBusy.load(); }

using helper::SetToVariant;

// ---------------------------------------------------------------- page processing

void TKXBrowserHelperObject::ProcessDocument(const std::shared_ptr<IWebBrowser2>& Browser, bool FromEvent) {
  Traced(1134, [&] {
    if (FProcessing) return;
    FNavigated = false;
    FProcessing = true;
    struct TReset {
      bool& Flag;
      ~TReset() { Flag = false; }
    } Reset{FProcessing};
    const bool Active = FAgent->GetActive();
    const bool AutoFill = Active && FAgent->AutoFillEnabled();
    const bool AutoSubmit = AutoFill && FAgent->AutoSubmitEnabled();
    const bool AutoShow = Active && FAgent->AutoShowEnabled();
    try {
      AutoProcessPage(Browser, AutoFill, AutoSubmit, AutoShow, FromEvent);
      UpdateInfoText(true);
    } catch (const EBeforeNavigate&) {
      FNavigated = false;
    } catch (const Exception&) {
    }
    // A fill a navigation interrupted is repeated on the next page, into empty fields only.
    if (!FAgent->AutoFillEnabled() && FPendingFill)
      FillFormCard(nullptr, FPendingSetName, FPendingCardName, FPendingSubmit, true);
  });
}

void TKXBrowserHelperObject::RefreshPage() {
  Traced(1149, [&] {
    try {
      const bool WasShown = FAgent->FillDialogShown();
      FAgent->HideFillDialog();
      AutoProcessPage(FWebBrowser, false, false, false, false);
      UpdateFormSetLists();
      UpdateProfileList();
      FAgent->RefreshFillDialog();
      if (WasShown) FAgent->ShowFillDialog();
    } catch (const EBeforeNavigate&) {
      throw;
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::UpdateProfileList() {
  Traced(1133, [&] {
    try {
      if (!FAgent->GetConnected()) return;
      TVariant Profiles;
      WideString Current;
      try {
        if (auto S = Server()) S->GetProfiles(Profiles, Current);
      } catch (const Exception&) {
        Profiles = TVariant();
      }
      if (!Profiles.IsEmptyOrNull()) FAgent->SetProfileList(Profiles, Current);
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::UpdateFormSetLists() {
  Traced(1165, [&] {
    if (!FAgent->GetConnected()) return;
    for (int32_t Kind : {rkMailCard, rkNavigation}) {
      TVariant List;
      WideString Current;
      try {
        if (auto S = Server()) S->GetRecordList(Kind, FAgent->URLKey(), List, Current);
      } catch (const Exception&) {
        List = TVariant();
      }
      if (List.IsEmptyOrNull()) continue;
      if (Kind == rkMailCard)
        FAgent->SetMailCardList(List, Current);
      else
        FAgent->SetNavigationList(List, Current);
    }
  });
}

void TKXBrowserHelperObject::UrlChanged(TBrivaneAgent*) {
  Traced(1162, [&] { UpdateFormSetLists(); });
}

void TKXBrowserHelperObject::ServerConnected(TBrivaneAgent*) {
  Traced(1167, [&] {
    UpdateProfileList();
    SendPageInfo(true);
  });
}

void TKXBrowserHelperObject::ServerQuit(TBrivaneAgent*) {
  Traced(1156, [&] {
    FPageForms->Forget();
    FAgent->HideFillDialog();
    ClearMessage();
  });
}

void TKXBrowserHelperObject::AutoProcessPage(const std::shared_ptr<IWebBrowser2>& Browser, bool AutoFill,
                                             bool AutoSubmit, bool AutoShow, bool FromEvent) {
  Traced(1582, [&] {
    TAutoProcessClaim Claim;
    // Another window is processing its page: this one skips its automatic processing.
    if (!Claim.Claimed) return;
    if (!FAgent->GetConnected()) return;
    bool ShowDialog = true, Matched = false, NavigationsAvailable = false, PlaybackTried = false;
    if (AutoSubmit && SendPendingMailCard(Browser)) return;
    const bool HasMailCards = FAgent->HasMailCards();
    RefreshPageForms(FWebBrowser, *FPageForms);
    const bool HasForms = FPageForms->Count() > 0 && FAgent->ProfileList().Count() > 0;
    TVariant Cards;
    WideString SetName, CardName;
    {
      TTransitFormSet Captured;
      FPageForms->SaveToTransitSet(Captured, 3);
      bool Unused = false;
      try {
        if (auto S = Server())
          S->FindFormCards(FAgent->URLKey(), SetToVariant(Captured), Cards, SetName, CardName, Unused);
      } catch (const Exception&) {
        Cards = TVariant();
        SetName.clear();
        CardName.clear();
      }
    }
    if (!Cards.IsEmptyOrNull()) {
      FAgent->SetFormCardList(Cards, SetName, CardName);
      Matched = true;
    }
    if (AutoFill) {
      try {
        if (!SetName.empty() && !CardName.empty()) {
          if (AutoSubmit && FromEvent && SetName != FAgent->URLKey()) {
            if (ContinuePlayback(Browser, NavigationsAvailable)) return;
            PlaybackTried = true;
          }
          bool LoginRequired = false;
          FillFormsFromServer(SetName, CardName, FAgent->AutoFillNewEnabled(), true, false, LoginRequired);
        } else if (FAgent->AutoFillNewEnabled()) {
          FillFromProfileAndMark(FBatchProfile, false);
        }
      } catch (const EBeforeNavigate&) {
        throw;
      } catch (const Exception&) {
      }
    }
    if (AutoSubmit && !SubmitFilledForm()) return;
    if (FromEvent && !PlaybackTried && ContinuePlayback(Browser, NavigationsAvailable)) return;
    ShowDialog = ShowDialog && AutoShow && FWebBrowser->Visible() &&
                 (HasForms || HasMailCards || Matched || NavigationsAvailable);
    if (AutoSubmit && FAgent->Unattended() && FBatchServer) {
      if (FPageForms->Count() == 0)
        FBatchServer->NoForms();
      else
        FBatchServer->PageDone();
      // The page is done with: the whole command ends here.
      throw EBeforeNavigate();
    }
    if (ShowDialog) FAgent->ShowFillDialog();
  });
}

// ---------------------------------------------------------------- fills

void TKXBrowserHelperObject::ClearPendingFill() {
  FPendingSetName.clear();
  FPendingCardName.clear();
  FPendingFill = false;
  FPendingSubmit = false;
}

void TKXBrowserHelperObject::FillFormCard(TBrivaneAgent*, const WideString& SetName, const WideString& CardName,
                                          bool Submit, bool OnlyEmpty) {
  EntryPoint(1139, [&] {
    bool LoginRequired = false;
    do {
      LoginRequired = false;
      try {
        FillFormsFromServer(SetName, CardName, true, false, OnlyEmpty, LoginRequired);
      } catch (const EBeforeNavigate&) {
        // The page goes: the request is repeated on the next one.
        FPendingSetName = SetName;
        FPendingCardName = CardName;
        FPendingFill = true;
        FPendingSubmit = Submit;
        throw;
      } catch (const Exception&) {
      }
      if (!LoginRequired) ClearPendingFill();
      if (LoginRequired && !FAgent->Login()) return;
    } while (LoginRequired);
    if (Submit) {
      if (!SubmitFilledForm()) UpdateInfoText(false);
    } else {
      UpdateInfoText(false);
    }
  });
}

bool TKXBrowserHelperObject::FillFormsFromServer(const WideString& SetName, const WideString& CardName, bool FillNew,
                                                 bool FillProfile, bool OnlyEmpty, bool& LoginRequired) {
  return Traced(1588, [&] {
    LoginRequired = false;
    bool Result = false;
    TTransitFormSet Cards;
    TVariant Data;
    try {
      if (auto S = Server()) S->GetFormCard(SetName, CardName, FAgent->URL(), Data, LoginRequired);
    } catch (const Exception&) {
      Data = TVariant();
    }
    if (!Data.IsEmptyOrNull()) {
      TMemoryStream S;
      VariantToStream(Data, S);
      S.SetPosition(0);
      Cards.LoadFromStream(S);
    }
    // By position, asking for the count each time: page scripts run inside the fills.
    for (int I = 0; I < FPageForms->Count(); ++I) {
      TFormItem& Item = FPageForms->Items(I);
      Item.SetSubmitTarget(false);
      if (FillFormItem(Cards, Item)) {
        Result = true;
      } else if (FillNew) {
        Item.FillMatchingFields(FAgent->Lexicon(), Cards, OnlyEmpty);
        if (FillProfile && I < FPageForms->Count())
          FPageForms->Items(I).FillFromProfile(*FAgent, FBatchProfile, OnlyEmpty);
      }
      if (FNavigated) throw EBeforeNavigate();
    }
    return Result;
  });
}

bool TKXBrowserHelperObject::FillFormItem(const TTransitFormSet& Cards, TFormItem& Item) {
  return Traced(1587, [&] {
    TTransitFormCard Card;
    Item.SaveToCard(Card, 3);
    const int Score = Cards.FindBestMatch(Card);
    if (Score == 0) return false;
    FIsFilling = true;
    try {
      Item.FillFromCard(FAgent->Lexicon(), Card);
    } catch (...) {
      FIsFilling = false;
      throw;
    }
    FIsFilling = false;
    // A page script navigated while fields were set.
    if (FNavigated) throw EBeforeNavigate();
    Item.FMatchScore = Score;
    return true;
  });
}

void TKXBrowserHelperObject::FillFromProfile(TBrivaneAgent*, const WideString& ProfileName, bool OnlyEmpty) {
  EntryPoint(1140, [&] {
    if (!FAgent->GetConnected()) return;
    for (int I = 0; I < FPageForms->Count(); ++I) {
      FPageForms->Items(I).FillFromProfile(*FAgent, ProfileName, OnlyEmpty);
      if (FNavigated) throw EBeforeNavigate();
    }
    FillFormlessFromProfile(ProfileName, OnlyEmpty);
  });
}

void TKXBrowserHelperObject::FillFromProfileAndMark(const WideString& ProfileName, bool OnlyEmpty) {
  for (int I = 0; I < FPageForms->Count(); ++I) {
    const bool Filled = FPageForms->Items(I).FillFromProfile(*FAgent, ProfileName, OnlyEmpty);
    if (FNavigated) throw EBeforeNavigate();
    // The mark is exclusive: unattended, the last completely filled form is the one to submit.
    FPageForms->Items(I).SetSubmitTarget(Filled && FAgent->Unattended());
  }
  FillFormlessFromProfile(ProfileName, OnlyEmpty);
}

void TKXBrowserHelperObject::FillFormlessFromProfile(const WideString& ProfileName, bool OnlyEmpty) {
  if (!FWebBrowser) return;
  auto Top = Supports<IHTMLDocument2>(FWebBrowser->Document());
  if (!Top) return;
  // The marks of the page before went with its controls; so do their watchers.
  if (!FFormlessTracker || !IsSameObject(FFormlessPage, Top)) {
    FFormlessTracker = std::make_unique<TElementChangingTracker>();
    FFormlessPage = Top;
  }
  // Scripts and sign-in pages put boxes outside any form; they are filled, never submitted.
  TDocEnumerator Documents;
  Documents.SetOnDocument([&](TDocEnumerator&, const std::shared_ptr<IHTMLDocument2>& Doc) {
    pel::FillFormlessFromProfile(*FAgent, Doc, *FFormlessTracker, ProfileName, OnlyEmpty);
    // The walk swallows what its handler raises: a navigation is said after it.
    return !FNavigated;
  });
  Documents.Enumerate(Top);
  if (FNavigated) throw EBeforeNavigate();
}

bool TKXBrowserHelperObject::SubmitFilledForm() {
  return Traced(1161, [&] {
    TFormItem* Item = nullptr;
    for (TFormItem& Candidate : *FPageForms)
      if (Candidate.FSubmitTarget && Candidate.FMatchScore != 0) {
        Item = &Candidate;
        break;
      }
    if (!Item) return true;
    if (!Item->FAllFilled) {
      ShowMessageKind(1, u"There are not all fields in the form properly filled!\r\nSubmitting is broken.");
      return false;
    }
    WideString Method;
    if (auto Form = Supports<IHTMLFormElement>(Item->FHtmlForm)) Method = AsciiLowerCase(Form->Method());
    const uint8_t Kind = Method == u"get" ? askFormGet : askFormPost;
    TTransitFormCard Card;
    Item->SaveToCard(Card, 0);
    if (FTracer->RegisterSubmit(FAgent->URLKey(), Item->FActionURL, Card.FieldsText(), Kind)) {
      FSelfSubmit = true;
      Item->Submit();
      if (FNavigated) throw EBeforeNavigate();
      return true;
    }
    // The same submit was already made in this chain.
    ReportLoop(2);
    return false;
  });
}

void TKXBrowserHelperObject::ReportLoop(uint8_t Kind) {
  if (FAgent->Unattended() && FBatchServer) {
    // A batch program is told, and the chain starts afresh.
    FTracer->Clear();
    FBatchServer->LoopDetected();
  } else {
    // A user is asked; Yes repeats the action the kind names.
    ShowMessageKind(Kind, u"It may well be to get caught in an endless loop.\r\nAre you want to continue?");
  }
}

void TKXBrowserHelperObject::UpdateInfoText(bool WithPage) {
  WideString Text;
  BuildInfoText(WithPage, Text);
  FAgent->SetPageHint(Text);
  if (!FAgent->PageHint().empty()) FAgent->ShowFillDialog();
}

void TKXBrowserHelperObject::BuildInfoText(bool WithPage, WideString& Text) {
  Traced(1583, [&] {
    Text.clear();
    if (!WithPage || !FAgent->GetConnected()) return;
    if (FNotesKey != FAgent->URLKey()) {
      WideString Title, Notes;
      try {
        auto S = Server();
        if (!S) return;
        S->GetPageInfo(FAgent->URLKey(), Title, Notes);
      } catch (const Exception&) {
        return;
      }
      FNotesKey = FAgent->URLKey();
      FNotesTitle = Title;
      FNotesText = Notes;
    }
    if (FNotesTitle.empty() || FNotesText.empty()) return;
    Text = u"======\r\n";
    Text += FNotesTitle;
    Text += u"\r\n------\r\n";
    Text += FNotesText;
    Text += u"\r\n";
  });
}

// ---------------------------------------------------------------- small store commands

void TKXBrowserHelperObject::SetDefaultFormCard(TBrivaneAgent*, const WideString& SetName, const WideString& CardName) {
  EntryPoint(1148, [&] {
    if (!FAgent->GetConnected()) return;
    if (auto S = Server()) S->SetDefaultFormCard(SetName, CardName, u"", false);
    RefreshPage();
  });
}

void TKXBrowserHelperObject::SetActiveProfile(TBrivaneAgent*, const WideString& ProfileName) {
  EntryPoint(1152, [&] {
    if (!FAgent->GetConnected()) return;
    if (auto S = Server()) S->SetActiveProfile(ProfileName);
    RefreshPage();
  });
}

void TKXBrowserHelperObject::DeleteFormCard(TBrivaneAgent*, const WideString& SetName, const WideString& CardName) {
  EntryPoint(1155, [&] {
    if (!FAgent->GetConnected()) return;
    bool LoginRequired = false;
    do {
      auto S = Server();
      if (!S) return;
      S->DeleteRecord(SetName, CardName, LoginRequired);
      if (!LoginRequired) RefreshPage();
      if (LoginRequired && !FAgent->Login()) return;
    } while (LoginRequired);
  });
}

void TKXBrowserHelperObject::ShowManager(TBrivaneAgent*, const WideString& A, const WideString& B,
                                         const WideString& C) {
  Traced(1153, [&] {
    if (!FAgent->GetConnected()) return;
    auto S = Server();
    if (!S) return;
    if (!A.empty() || !B.empty() || !C.empty())
      S->ShowManager(A, B, C);
    else
      S->ShowManager(u"", FAgent->URLKey(), u"");
  });
}

void TKXBrowserHelperObject::ClearForms(TBrivaneAgent*) {
  Traced(1159, [&] {
    try {
      RefreshPageForms(FWebBrowser, *FPageForms);
      for (TFormItem& Item : *FPageForms) Item.ClearFields();
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::FillFormCommand(TBrivaneAgent*) {
  EntryPoint(1145, [&] {
    RefreshPage();
    FAgent->SetFillDialogShown(true);
  });
}

void TKXBrowserHelperObject::NavigateTo(const WideString& URL) {
  if (FWebBrowser) FWebBrowser->Navigate(URL, TVariant(), TVariant(), TVariant(), TVariant());
}

void TKXBrowserHelperObject::MessageAnswered(TBrivaneAgent*, int32_t Answer) {
  try {
    if (Answer == mrYes) {
      switch (FMessageKind) {
        case 2:
          FTracer->Clear();
          SubmitFilledForm();
          break;
        case 3:
          FTracer->Clear();
          SendPendingMailCard(FWebBrowser);
          break;
        case 4: {
          FTracer->Clear();
          bool NavigationsAvailable = false;
          ContinuePlayback(FWebBrowser, NavigationsAvailable);
          break;
        }
        case 5: PlayRecordedStep(FWebBrowser, false); break;
        default: break;
      }
    } else if (FMessageKind == 5) {
      // The user would not click the changed element: the navigation ends here rather than ask
      // again on every load of the page.
      FAgent->Recorder().Stop();
    }
  } catch (const EBeforeNavigate&) {
    FNavigated = false;
  } catch (const Exception&) {
  }
  FMessageKind = 0;
}

void TKXBrowserHelperObject::WindowCommand(uint32_t Window, int32_t Command) {
  if (FCredentialDialogActive || Window != FBrowserWindow) return;
  if (Command == 0)
    FAgent->FillForm();
  else if (Command == 1)
    FAgent->SaveForms();
}

}  // namespace pel
