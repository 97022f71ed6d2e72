#include "BrowserHelper.h"

#include <algorithm>

#include "BHO/DocEnumerators.h"
#include "BHO/URLUtils.h"
#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "BHO/BindingMarks.h"
#include "BHO/ElementAccess.h"
#include "Common/Words.h"
#include "dialogs/BindFieldDialog.h"
#include "dialogs/MessageBox.h"
#include "dialogs/StoreDialog.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

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

bool HasPostData(const TVariant& V) {
  switch (V.VarType()) {
    case TVarType::Empty:
    case TVarType::Null: return false;
    case TVarType::ByteArray: return !V.AsBytes().empty();
    case TVarType::String: return !V.AsWideString().empty();
    default: return true;
  }
}

TVariant SetToVariant(const TTransitFormSet& Set) {
  TMemoryStream S;
  Set.SaveToStream(S);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}

std::shared_ptr<IHTMLDocument2> DocumentOf(const std::shared_ptr<IWebBrowser2>& Browser) {
  try {
    return Supports<IHTMLDocument2>(Browser->Document());
  } catch (const Exception&) {
    return nullptr;
  }
}

WideString LinesOf(const TWideStringList& List) {
  WideString Text;
  for (int I = 0; I < List.Count(); ++I) {
    Text += List[I];
    Text += u"\r\n";
  }
  return Text;
}

}  // namespace

bool AutoProcessBusy() { return GAutoProcessBusy.load(); }

// ---------------------------------------------------------------- lifetime

TKXBrowserHelperObject::TKXBrowserHelperObject() {
  Traced(1136, [&] {
    FTracer = std::make_unique<TAutoSubmitTracer>();
    auto Agent = std::make_shared<TBrivaneAgent>();
    FAgent = Agent.get();
    FAgentIntf = Agent;
    TBrivaneAgent& A = *FAgent;
    A.OnFillFormCard = [this](TBrivaneAgent* S, const WideString& Set, const WideString& Card, bool Submit,
                              bool Empty) { FillFormCard(S, Set, Card, Submit, Empty); };
    A.OnFillProfile = [this](TBrivaneAgent* S, const WideString& Profile, bool Empty) {
      FillFromProfile(S, Profile, Empty);
    };
    A.OnSetDefaultFormCard = [this](TBrivaneAgent* S, const WideString& Set, const WideString& Card) {
      SetDefaultFormCard(S, Set, Card);
    };
    A.OnSetActiveProfile = [this](TBrivaneAgent* S, const WideString& Profile) { SetActiveProfile(S, Profile); };
    A.OnSaveForms = [this](TBrivaneAgent* S, TFormItem* Form) { SaveForms(S, Form); };
    A.OnClearForms = [this](TBrivaneAgent* S) { ClearForms(S); };
    A.OnShowManager = [this](TBrivaneAgent* S, const WideString& X, const WideString& Y, const WideString& Z) {
      ShowManager(S, X, Y, Z);
    };
    A.OnDeleteFormCard = [this](TBrivaneAgent* S, const WideString& Set, const WideString& Card) {
      DeleteFormCard(S, Set, Card);
    };
    A.OnConnect = [this](TBrivaneAgent* S) { ServerConnected(S); };
    A.OnServerQuit = [this](TBrivaneAgent* S) { ServerQuit(S); };
    A.OnURLChange = [this](TBrivaneAgent* S) { UrlChanged(S); };
    A.OnNavigateRequest = [this](const WideString& URL) { NavigateTo(URL); };
    A.OnMessageResult = [this](TBrivaneAgent* S, int32_t Answer) { MessageAnswered(S, Answer); };
    A.OnFillForm = [this](TBrivaneAgent* S) { FillFormCommand(S); };
    A.OnPlayNavigation = [this](TBrivaneAgent* S, const WideString& Set, const WideString& Name) {
      PlayNavigation(S, Set, Name);
    };
    A.OnSendMailCard = [this](TBrivaneAgent* S, const WideString& Set, const WideString& Name) {
      SendMailCard(S, Set, Name);
    };
    A.OnBindField = [this](TBrivaneAgent* S) { BindField(S); };
    A.OnUnbindField = [this](TBrivaneAgent* S) { UnbindField(S); };
    A.OnAddSynonym = [this](TBrivaneAgent* S) { AddFieldSynonym(S); };
    A.OnAddValue = [this](TBrivaneAgent* S) { AddFieldValue(S); };
    A.OnAddAllValues = [this](TBrivaneAgent* S) { AddAllFieldValues(S); };
    A.OnRecordingDone = [this](TBrivaneAgent* S, const WideString& Key, const TVariant& Steps) {
      SaveNavigations(S, Key, Steps);
    };
    A.OnExecCmd = [this](uint32_t Window, int32_t Command) { WindowCommand(Window, Command); };

    FBrowserEvents = std::make_unique<TSHDocVwDWebBrowserEvents2>();
    FBrowserEvents->OnBeforeNavigate2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant& URL,
                                               TVariant&, TVariant&, TVariant& PostData, TVariant&, bool& Cancel) {
      HandleBeforeNavigate2(pDisp, URL, PostData, Cancel);
    };
    FBrowserEvents->OnDocumentComplete = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp,
                                                TVariant& URL) { HandleDocumentComplete(pDisp, URL); };
    FBrowserEvents->OnNavigateComplete2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp,
                                                 TVariant& URL) { HandleNavigateComplete2(pDisp, URL); };
    FBrowserEvents->OnDownloadComplete = [this](TEventSink*) { HandleDownloadComplete(); };
    FBrowserEvents->OnNewWindow2 = [this](TEventSink*, std::shared_ptr<IInterface>&, bool&) { HandleNewWindow2(); };

    FWindowEvents = std::make_unique<TMSHTMLHTMLWindowEvents>();
    FWindowEvents->Onload = [this](TEventSink*) { HandleWindowLoad(); };
    FWindowEvents->Onunload = [this](TEventSink*) { HandleWindowUnload(); };

    FDocListener = std::make_unique<THTMLWinDocListener>();
    FDocListener->SetOnDocumentClick([this](const std::shared_ptr<IHTMLEventObj>& E) { HandleDocumentClick(E); });
    FDocListener->SetOnDocumentMouseDown(
        [this](const std::shared_ptr<IHTMLEventObj>& E) { HandleDocumentMouseDown(E); });
    FDocListener->SetOnDocumentMouseUp([this](const std::shared_ptr<IHTMLEventObj>& E) { HandleDocumentMouseUp(E); });

    FPageForms = std::make_unique<TPageFormSet>();
    FPageForms->FKeyAttribute = u"FormID";
    FPageForms->SetOnFormSubmit([this](TFormItem& Item) { FormSubmitted(Item); });
  });
}

TKXBrowserHelperObject::~TKXBrowserHelperObject() {
  try {
    Traced(1132, [&] {
      FBatchServer.reset();
      // The agent may outlive this object (the browser and the toolbar hold it): nothing of it may
      // call back into an object that is gone.
      if (FAgent) FAgent->ClearEvents();
      FAgent = nullptr;
      FAgentIntf.reset();
      FPageForms.reset();
      if (FWindowEvents) FWindowEvents->Disconnect();
      FWindowEvents.reset();
      FDocListener.reset();
      if (FBrowserEvents) FBrowserEvents->Disconnect();
      FBrowserEvents.reset();
      FTracer.reset();
    });
  } catch (const Exception&) {
    // A destructor does not raise; what could not be let go of is gone with the object anyway.
  }
}

int32_t TKXBrowserHelperObject::SetSite(const std::shared_ptr<IInterface>& Site) {
  try {
    return Traced(1137, [&]() -> int32_t {
      if (!Site) {
        FAgent->FreeDialogs();
        FBrowserEvents->Disconnect();
        FWebBrowser.reset();
        return HR_S_OK;
      }
      auto Browser = Supports<IWebBrowser2>(Site);
      if (!Browser) return HR_E_NOINTERFACE;
      FWebBrowser = Browser;
      FBrowserEvents->Connect(Site);
      FBrowserWindow = 0;
      try {
        const uint32_t Wnd = Browser->GetHWND();
        if (static_cast<int32_t>(Wnd) > 0) FBrowserWindow = Wnd;
      } catch (const Exception&) {
      }
      if (FBrowserWindow == 0) {
        try {
          if (auto Window = Supports<IOleWindow>(Site)) FBrowserWindow = Window->GetWindow();
        } catch (const Exception&) {
          FBrowserWindow = 0;
        }
      }
      FAgent->OnGetParentWindow = [this] { return GetBrowserWindow(); };
      FAgent->OnGetDialogOwner = [this] { return GetBrowserWindow(); };
      FWebBrowser->PutProperty(AgentPropertyName, TVariant(std::static_pointer_cast<IInterface>(FAgentIntf)));
      return HR_S_OK;
    });
  } catch (const Exception&) {
    // The browser gets a result code, never an exception.
    return HR_E_FAIL;
  }
}

int32_t TKXBrowserHelperObject::GetSite(const TGUID&, std::shared_ptr<IInterface>* Site) {
  return Traced(1135, [&] {
    if (Site) Site->reset();
    return HR_S_OK;
  });
}

int16_t TKXBrowserHelperObject::Get_Unattended() { return FAgent->Unattended() ? -1 : 0; }

void TKXBrowserHelperObject::Set_Unattended(int16_t Value) { FAgent->SetUnattended(Value != 0); }

// ---------------------------------------------------------------- conventions

template <class TBody>
void TKXBrowserHelperObject::EntryPoint(int Code, TBody&& Body) {
  try {
    Traced(Code, std::forward<TBody>(Body));
  } catch (const EBeforeNavigate&) {
    FNavigated = false;
  } catch (const Exception&) {
    // A command of the user that cannot be carried out leaves the page as it is.
  }
}

std::shared_ptr<IPelServer> TKXBrowserHelperObject::Server() {
  std::shared_ptr<IPelServer> S;
  FAgent->GetServer(S);
  return S;
}

bool TKXBrowserHelperObject::IsTopBrowser(const std::shared_ptr<IWebBrowser2>& Browser) const {
  return Browser && FWebBrowser && IsSameObject(Browser, FWebBrowser);
}

void TKXBrowserHelperObject::ShowMessageKind(uint8_t Kind, const WideString& Text) {
  FAgent->ShowMessage(WideToAnsi(Text), Kind);
  FMessageKind = Kind;
}

void TKXBrowserHelperObject::ClearMessage() {
  FMessageKind = 0;
  FAgent->HideMessage(true);
}

TVariant TKXBrowserHelperObject::CapturePageImage() {
  try {
    return PageImages().Capture(FWebBrowser);
  } catch (const Exception&) {
    // No thumbnail: the page is reported without one.
    return TVariant();
  }
}

void TKXBrowserHelperObject::SendPageInfo(bool WithImage) {
  try {
    if (FAgent->Unattended() || !FAgent->GetConnected()) return;
    const TVariant Image = WithImage ? CapturePageImage() : TVariant(int32_t{0});
    if (auto S = Server()) S->ReportPage(FBrowserWindow, FPageURL, FPageTitle, Image);
  } catch (const Exception&) {
  }
}

// ---------------------------------------------------------------- browser events

void TKXBrowserHelperObject::HandleBeforeNavigate2(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL,
                                                   const TVariant& PostData, bool& Cancel) {
  Traced(1142, [&] {
    FNavigatedSincePress = true;
    FNavigated = true;
    const bool IsTop = IsTopBrowser(Supports<IWebBrowser2>(pDisp));
    try {
      if (!FIsFilling && !FSelfSubmit && FAgent->GetConnected() && FAgent->SubmitAction() != 0) {
        if (IsTop) {
          const int Before = FPageForms->Count();
          RefreshPageForms(FWebBrowser, *FPageForms);
          // The page changed its forms on its way out: what it sends is not what was seen.
          if (FPageForms->Count() != Before) {
            Cancel = true;
            FSelfSubmit = false;
            return;
          }
        }
        if (!FTopLoading && FPageForms->Count() > 0 && HasPostData(PostData)) AskSaveSubmittedForm();
      }
      if (IsTop) {
        FTracer->CheckNavigation(URL.AsWideString());
        FAgent->HideFillDialog();
        ClearMessage();
      }
    } catch (...) {
      FSelfSubmit = false;
      throw;
    }
    FSelfSubmit = false;
  });
}

void TKXBrowserHelperObject::HandleNewWindow2() {
  Traced(1586, [&] { FSelfSubmit = false; });
}

void TKXBrowserHelperObject::HandleNavigateComplete2(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL) {
  Traced(1144, [&] {
    FNavigated = false;
    auto Browser = Supports<IWebBrowser2>(pDisp);
    if (!Browser) return;
    FDocListener->AttachBrowser(Browser);
    if (IsTopBrowser(Browser)) {
      FTopLoading = true;
      if (auto Doc = DocumentOf(FWebBrowser)) {
        try {
          FWindowEvents->Connect(std::static_pointer_cast<IInterface>(Doc->ParentWindow()));
        } catch (const Exception&) {
        }
        FPageURL = URL.AsWideString();
        FPageTitle = Doc->Title();
        SendPageInfo(false);
        if (FAgent->GetConnected()) {
          try {
            if (auto S = Server()) S->NotifyDocumentComplete();
          } catch (const Exception&) {
          }
        }
      }
      FAgent->SetURL(NormalizeURL(URL.AsWideString()));
    }
    RefreshPageForms(FWebBrowser, *FPageForms);
  });
}

void TKXBrowserHelperObject::HandleDocumentComplete(const std::shared_ptr<IInterface>& pDisp, const TVariant& URL) {
  Traced(1143, [&] {
    FNavigated = false;
    auto Browser = Supports<IWebBrowser2>(pDisp);
    if (!Browser) return;
    if (IsTopBrowser(Browser)) {
      FTopLoading = false;
      if (auto Doc = DocumentOf(FWebBrowser)) {
        FPageURL = URL.AsWideString();
        FPageTitle = Doc->Title();
        SendPageInfo(true);
        WideString Target;
        // The refresh's navigation keeps an automatic chain alive.
        if (GetMetaRefresh(Doc, Target)) FTracer->RegisterSubmit(FAgent->URLKey(), Target, u"", askMetaRefresh);
      }
      FAgent->SetURL(NormalizeURL(URL.AsWideString()));
    } else if (!FTopLoading) {
      // Frames that complete while the top document loads are processed with the whole page.
      ProcessDocument(Browser, true);
    }
  });
}

void TKXBrowserHelperObject::HandleDownloadComplete() {
  Traced(1163, [&] {
    FNavigated = false;
    if (FWebBrowser) RefreshPageForms(FWebBrowser, *FPageForms);
  });
}

void TKXBrowserHelperObject::HandleWindowLoad() {
  Traced(1205, [&] {
    FNavigated = false;
    ProcessDocument(FWebBrowser, true);
  });
}

void TKXBrowserHelperObject::HandleWindowUnload() { FWindowEvents->Disconnect(); }

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
    FPageForms->Clear();
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
        if (auto S = Server()) S->FindFormCards(FAgent->URLKey(), SetToVariant(Captured), Cards, SetName, CardName, Unused);
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
        if (FillProfile && I < FPageForms->Count()) FPageForms->Items(I).FillFromProfile(*FAgent, FBatchProfile, OnlyEmpty);
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
  });
}

void TKXBrowserHelperObject::FillFromProfileAndMark(const WideString& ProfileName, bool OnlyEmpty) {
  for (int I = 0; I < FPageForms->Count(); ++I) {
    const bool Filled = FPageForms->Items(I).FillFromProfile(*FAgent, ProfileName, OnlyEmpty);
    if (FNavigated) throw EBeforeNavigate();
    // The mark is exclusive: unattended, the last completely filled form is the one to submit.
    FPageForms->Items(I).SetSubmitTarget(Filled && FAgent->Unattended());
  }
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

void TKXBrowserHelperObject::SetDefaultFormCard(TBrivaneAgent*, const WideString& SetName,
                                                const WideString& CardName) {
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

// ---------------------------------------------------------------- saving what the user submits

void TKXBrowserHelperObject::FormSubmitted(TFormItem& Item) {
  Traced(1158, [&] {
    if (FSelfSubmit) return;
    // Stays set until the navigation the submit starts, which so does not ask again.
    FSelfSubmit = true;
    SaveForms(nullptr, &Item);
  });
}

void TKXBrowserHelperObject::AskSaveSubmittedForm() {
  if (AskQuestion(FBrowserWindow, u"May be form submition!\r\nSave it?", u"Question") == mrYes)
    SaveForms(nullptr, nullptr);
}

void TKXBrowserHelperObject::SaveForms(TBrivaneAgent*, TFormItem* Form) {
  EntryPoint(1138, [&] {
    if (Form && (!FAgent->GetActive() || FAgent->SubmitAction() == 0)) return;
    if (!FAgent->GetConnected()) return;
    if (!Form) RefreshPageForms(FWebBrowser, *FPageForms);
    if (FPageForms->Count() == 0) {
      ShowMessageKind(1, u"There are not forms on the page!");
      return;
    }
    TTransitFormSet Captured;
    FPageForms->SaveToTransitSet(Captured, 15);
    const TVariant Data = SetToVariant(Captured);
    auto S = Server();
    if (!S) return;
    WideString Saved;
    S->FindSavedFormCard(FAgent->URLKey(), Data, Saved);
    // The submitted data is stored already.
    if (Form && !Saved.empty()) return;
    UpdateProfileList();
    const int32_t Mode = Form ? FAgent->SubmitAction() : 1;
    WideString Name, Profile;
    int32_t DefaultMode = dmNone;
    if (Mode == 1) {
      WideString Existing, DefaultName;
      S->GetNameChoices(FAgent->URLKey(), Existing, DefaultName);
      if (DefaultName.empty()) DefaultName = u"New form-card";
      TBVStoreDialog Dialog;
      if (FAgent->DisplayMode() == 1) {
        Dialog.MinHeight = 320;
        Dialog.MinWidth = 476;
      }
      for (;;) {
        DefaultMode = dmAllProfiles;
        int16_t OnlyEmpty = 0;
        bool LoginRequired = false;
        Profile = FAgent->GetCurrentProfile();
        Name = DefaultName;
        if (!Dialog.ExecuteWithFillOption("Save form-card", Existing, LinesOf(FAgent->ProfileList()), Profile, Name,
                                          OnlyEmpty, DefaultMode, FBrowserWindow))
          return;
        // A card of that name is replaced.
        do {
          S->DeleteRecord(FAgent->URLKey(), Name, LoginRequired);
        } while (LoginRequired && FAgent->Login() && (S = Server()));
        if (!S) return;
        if (!LoginRequired) break;
      }
    }
    bool Stored = false, LoginRequired = false;
    S->SaveFormCard(FAgent->URLKey(), Name, FAgent->URL(), Data, Stored, LoginRequired);
    if (Stored && DefaultMode > 0) S->SetDefaultFormCard(FAgent->URLKey(), Name, Profile, DefaultMode == dmAllProfiles);
    RefreshPage();
    if (Stored && FPageForms->Count() > 1 && !Form &&
        AskQuestion(FBrowserWindow,
                    u"There are more than one form on the page.\r\nAre you want to select a form to submit?",
                    u"Question") == mrYes)
      FAgent->ShowManager(u"", FAgent->URLKey(), Name);
  });
}

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
                                                const WideString& Type, const WideString& Name,
                                                const WideString& Value, TElementRef& Element) {
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

// ---------------------------------------------------------------- binding and lexicon commands

TElementRef TKXBrowserHelperObject::FocusedField(TFormItem** Item) {
  for (TFormItem& Candidate : *FPageForms) {
    try {
      auto Doc = Candidate.FHtmlForm ? Candidate.FHtmlForm->Document() : nullptr;
      TElementRef Active = Doc ? Doc->ActiveElement() : nullptr;
      if (!Active) continue;
      const WideString Tag = AsciiLowerCase(Active->TagName());
      if (Tag == u"input" || Tag == u"select" || Tag == u"textarea") {
        if (Item) *Item = &Candidate;
        return Active;
      }
    } catch (const Exception&) {
    }
  }
  return nullptr;
}

void TKXBrowserHelperObject::FindActiveField(TFormItem*& Item, TElementRef& Element) {
  Traced(1509, [&] {
    Item = nullptr;
    Element = nullptr;
    if (!FAgent->GetConnected()) return;
    try {
      RefreshPageForms(FWebBrowser, *FPageForms);
      TElementRef Found = FocusedField(&Item);
      if (!Found) return;
      if (AsciiLowerCase(Found->TagName()) == u"input")
        if (auto Input = Supports<IHTMLInputElement>(Found); Input && AsciiLowerCase(Input->Type()) == u"file") {
          ShowMessageKind(1, u"Cannot bind this field!");
          Item = nullptr;
          return;
        }
      Element = Found;
    } catch (const Exception&) {
      Item = nullptr;
      Element = nullptr;
    }
  });
}

bool TKXBrowserHelperObject::ShowBindFieldDialog(const WideString& Caption, WideString& Synonym, WideString& Field,
                                                 WideString& FieldInfo) {
  return Traced(1510, [&] {
    FieldInfo.clear();
    std::unique_ptr<TProfileBindFieldForm> Dialog;
    try {
      Dialog = std::make_unique<TProfileBindFieldForm>();
    } catch (const Exception&) {
      return false;
    }
    auto S = Server();
    if (!S) return false;
    TVariant Fields;
    bool LoginRequired = false;
    do {
      S->GetProfileFields(Fields, LoginRequired);
      if (LoginRequired && !FAgent->Login()) return false;
    } while (LoginRequired && (S = Server()));
    if (!S || Fields.IsEmptyOrNull()) return false;
    TWideStringList Flat;
    VariantToWideStrings(Fields, Flat);
    struct TTriple {
      WideString Name, Info, Group;
    };
    std::vector<TTriple> Triples;
    TNewStringDynSquareArray Groups;
    for (int I = 0; I + 2 < Flat.Count(); I += 3) {
      Triples.push_back({Flat[I], Flat[I + 1], Flat[I + 2]});
      const AnsiString Group = WideToAnsi(Flat[I + 2]);
      auto Row = std::find_if(Groups.begin(), Groups.end(), [&](const auto& R) { return R[0] == Group; });
      if (Row == Groups.end()) {
        Groups.push_back({Group});
        Row = Groups.end() - 1;
      }
      Row->push_back(WideToAnsi(Flat[I]));
    }
    if (!Synonym.empty()) Dialog->ShowSynonym(Synonym);
    if (!Field.empty())
      Dialog->SetSelection("", WideToAnsi(Field));
    else
      Dialog->SetSelection(WideToAnsi(FLastBindGroup), WideToAnsi(FLastBindField));
    Dialog->Caption = Caption;
    AnsiString Chosen;
    Dialog->Execute(Groups, Chosen, FBrowserWindow);
    if (Chosen.empty()) return false;
    Synonym = TrimBlanksAndControls(Dialog->GetSynonym());
    FLastBindGroup = AnsiToWide(Dialog->GroupText());
    FLastBindField = AnsiToWide(Chosen);
    Field = AnsiToWide(Chosen);
    for (const TTriple& T : Triples)
      if (T.Name == Field) {
        FieldInfo = T.Info;
        break;
      }
    return true;
  });
}

bool TKXBrowserHelperObject::ReadActiveField(TFocusedField& Field) {
  FindActiveField(Field.Item, Field.Element);
  if (!Field.Element) return false;
  ReadElement(Field.Element, Field.Name, Field.Tag, Field.Type, Field.Value);
  return true;
}

void TKXBrowserHelperObject::BindField(TBrivaneAgent*) {
  Traced(1146, [&] {
    TFormItem* Item = nullptr;
    TElementRef Element;
    FindActiveField(Item, Element);
    if (!Element || !Item) return;
    WideString Bound;
    GetAttributeText(Element, ProfileFieldAttribute, Bound);
    WideString Synonym, Info;
    if (!ShowBindFieldDialog(u"Bind field", Synonym, Bound, Info)) return;
    WideString Name, Tag, Type, Value;
    ReadElement(Element, Name, Tag, Type, Value);
    auto S = Server();
    if (!S) return;
    int32_t Kind = ValueKindList;
    WideString Found, Values;
    bool Exists = false, LoginRequired = false;
    S->FindFieldValue(u"", Tag, Type, Name, FAgent->URL(), Bound, Kind, Found, Values, Exists, LoginRequired);
    if (LoginRequired || !Exists) return;
    MarkBoundElement(Element, u"", *Item->FChangeTracker);
    TWideStringList List;
    List.SetCommaText(Values);
    if (FillElement(Element, Kind, Found, FAgent->Lexicon(), List)) MarkBoundElement(Element, Bound, *Item->FChangeTracker);
  });
}

void TKXBrowserHelperObject::UnbindField(TBrivaneAgent*) {
  Traced(1147, [&] {
    try {
      if (!FAgent->GetConnected()) return;
      TElementRef Element = FocusedField(nullptr);
      if (!Element) return;
      SetAttributeText(Element, ProfileFieldAttribute, u"");
      Element->SetStyleBackgroundColor(u"");
      Element->SetTitle(u"");
    } catch (const Exception&) {
    }
  });
}

void TKXBrowserHelperObject::AddFieldSynonym(TBrivaneAgent*) {
  Traced(1508, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    WideString Synonym = F.Name, Field, Info;
    if (ShowBindFieldDialog(u"Add field synonim", Synonym, Field, Info) && !Synonym.empty() && FAgent->GetConnected())
      if (auto S = Server()) S->AddSynonym(Field, Synonym, -1);
  });
}

void TKXBrowserHelperObject::AddFieldValue(TBrivaneAgent*) {
  Traced(1584, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    TWideStringList Values;
    if (F.Tag == u"select") {
      WideString Texts;
      ReadSelectedTexts(Supports<IHTMLSelectElement>(F.Element), Texts);
      Values.SetCommaText(Texts);
    } else {
      Values.Add(F.Value);
    }
    if (Values.IsEmpty()) return;
    WideString Text = Values.Count() == 1 ? Values[0] : Values.CommaText();
    WideString Field, Info;
    if (!ShowBindFieldDialog(u"Add field value", Text, Field, Info)) return;
    // What the dialog showed may have been edited; what is sent is what the field holds.
    Text = Values.CommaText();
    if (Text.empty() || !FAgent->GetConnected()) return;
    bool LoginRequired = false;
    do {
      auto S = Server();
      if (!S) return;
      S->AddFieldValue(u"", Field, Text, LoginRequired);
    } while (LoginRequired && FAgent->Login());
  });
}

void TKXBrowserHelperObject::AddAllFieldValues(TBrivaneAgent*) {
  Traced(1585, [&] {
    TFocusedField F;
    if (!ReadActiveField(F)) return;
    WideString Text;
    if (F.Tag == u"select") {
      auto Select = Supports<IHTMLSelectElement>(F.Element);
      for (int32_t I = 0; I < Select->Length(); ++I)
        if (auto Option = Supports<IHTMLOptionElement>(Select->Item(I))) {
          Text += Option->Text();
          Text += u"\r\n";
        }
    } else {
      Text = F.Value;
    }
    if (!FAgent->GetConnected()) return;
    try {
      if (auto S = Server()) S->AddAllValues(Text);
    } catch (const Exception&) {
    }
  });
}

}  // namespace pel
