// Lifetime, the conventions the commands share, and the browser's events: what the helper does
// on each event of the browser reads from this file; the work the events start is in the other
// files of this folder, one concern each.

#include "BrowserHelper.h"

#include "CredentialDialogAgents.h"

#include "BHO/PageImage.h"
#include "BHO/URLUtils.h"
#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "HelperInternals.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

namespace pel {

namespace {

bool HasPostData(const TVariant& V) {
  switch (V.VarType()) {
    case TVarType::Empty:
    case TVarType::Null: return false;
    case TVarType::ByteArray: return !V.AsBytes().empty();
    case TVarType::String: return !V.AsWideString().empty();
    default: return true;
  }
}

}  // namespace

namespace helper {

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

}  // namespace helper

using helper::DocumentOf;

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
                                               TVariant&, TVariant&, TVariant& PostData, TVariant&,
                                               bool& Cancel) { HandleBeforeNavigate2(pDisp, URL, PostData, Cancel); };
    FBrowserEvents->OnDocumentComplete = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant& URL) {
      HandleDocumentComplete(pDisp, URL);
    };
    FBrowserEvents->OnNavigateComplete2 = [this](TEventSink*, const std::shared_ptr<IInterface>& pDisp, TVariant& URL) {
      HandleNavigateComplete2(pDisp, URL);
    };
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
      if (FAuthRegistered) {
        if (ICredentialDialogAgents* Agents = CredentialDialogAgents()) Agents->UnregisterHelper(this);
        FAuthRegistered = false;
      }
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
      ICredentialDialogAgents* Agents = CredentialDialogAgents();
      if (FBrowserWindow != 0 && Agents) {
        if (FAuthRegistered) Agents->UnregisterHelper(this);
        Agents->RegisterHelper(this);
        FAuthRegistered = true;
      }
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
  // Once there is a window to draw, a failure leaves the integer 0, as a page that draws nothing:
  // the store's page list still gets the page.
  TVariant Result;
  try {
    TPageBitmap Bitmap;
    Result = TVariant(int32_t{0});
    if (!DrawPageImage(FWebBrowser, Bitmap)) return TVariant();
    if (!Bitmap.Empty()) Result = TVariant(EncodePageImage(ScalePageImage(Bitmap)));
  } catch (const Exception&) {
  }
  return Result;
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
          // Forms the store's quitting let go of were never seen to change: with nothing seen to
          // compare against, cancelling would only lose the user's click.
          const bool Seen = !FPageForms->Forgotten();
          const int Before = FPageForms->Count();
          RefreshPageForms(FWebBrowser, *FPageForms);
          // The page changed its forms on its way out: what it sends is not what was seen.
          if (Seen && FPageForms->Count() != Before) {
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

}  // namespace pel
