#include "BrivaneAgent.h"

#include "BHO/URLUtils.h"
#include "Common/StoreStreams.h"
#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "Common/Words.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageDialog.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/SettingsDialog.h"
#include "platform/Forms.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"

namespace pel {

namespace {

WideString TrimBlanks(const WideString& Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && Text[First] <= u' ') ++First;
  while (Last > First && Text[Last - 1] <= u' ') --Last;
  return Text.substr(First, Last - First);
}

// Marks the first entry equal to Current (the list's own case-insensitive lookup).
void MarkCurrent(TWideStringList& List, const WideString& Current) {
  int Index = List.IndexOf(Current);
  if (Index >= 0) List.SetObject(Index, 1);
}

WideString FirstMarked(const TWideStringList& List) {
  for (int I = 0; I < List.Count(); ++I)
    if (List.Objects(I) != 0) return List[I];
  return WideString();
}

}  // namespace

TBrivaneAgent::TBrivaneAgent() : FServerEvents(std::make_unique<TBrivaneLibIPelServerEvents>()) {
  for (int32_t ID : ActionCaptionIDs) FActionCaptions.Add(Resources().LoadStr(ID));
  FServerEvents->OnQuit = [this](TEventSink*) {
    if (OnServerQuit) OnServerQuit(this);
    Disconnect();
  };
  FServerEvents->OnLogin = [this](TEventSink*, bool AValue) {
    const TNotifyEvent& Event = AValue ? OnLoggedIn : OnLoggedOut;
    if (Event) Event(this);
  };
  FServerEvents->OnLexiconChange = [this](TEventSink*) { LoadLexicon(); };
  FServerEvents->OnLanguageChange = [this](TEventSink*) { LoadTranslations(); };
  FServerEvents->OnSettingsChange = [this](TEventSink*, bool ApplyToAll) { SettingsChanged(ApplyToAll); };
  FServerEvents->OnExecCmd = [this](TEventSink*, uint32_t AWnd, int32_t ACmd) {
    if (OnExecCmd) OnExecCmd(AWnd, ACmd);
  };
}

TBrivaneAgent::~TBrivaneAgent() {
  Disconnect();
  FDialog.reset();
  FMessageDialog.reset();
}

// ---------------------------------------------------------------- lists

void TBrivaneAgent::SetFormCardList(const TVariant& Cards, const WideString& SetName, const WideString& Current) {
  // Merged into what is there: the helper object sends one form set at a time.
  for (const TNamePair& Pair : VariantToPairs(Cards)) {
    TFormSet* Set = FCardSets.Find(Pair.SetName);
    if (!Set) Set = &FCardSets.Add(Pair.SetName);
    if (Set->Cards.IndexOf(Pair.Name) < 0) Set->Cards.Add(Pair.Name);
    if (Set->Name == SetName) MarkCurrent(Set->Cards, Current);
  }
}

void TBrivaneAgent::SetProfileList(const TVariant& Profiles, const WideString& Current) {
  VariantToWideStrings(Profiles, FProfiles);
  MarkCurrent(FProfiles, Current);
}

void TBrivaneAgent::ClearFormCardList() {
  FCardSets.Clear();
  if (FDialog) FDialog->ClearLists();
}

void TBrivaneAgent::LoadPairList(TWideStringList& List, const TVariant& Data, const WideString& Current) {
  List.Clear();
  for (const TNamePair& Pair : VariantToPairs(Data)) List.Add(Pair.Name);
  MarkCurrent(List, Current);
}

void TBrivaneAgent::SetNavigationList(const TVariant& List, const WideString& Current) {
  LoadPairList(FNavigations, List, Current);
}

void TBrivaneAgent::SetMailCardList(const TVariant& List, const WideString& Current) {
  LoadPairList(FMailCards, List, Current);
}

void TBrivaneAgent::SetAuthList(const TVariant& List, const WideString& Current) {
  LoadPairList(FAuthRecords, List, Current);
}

WideString TBrivaneAgent::GetCurrentNavigation() const { return FirstMarked(FNavigations); }
WideString TBrivaneAgent::GetCurrentMailCard() const { return FirstMarked(FMailCards); }

WideString TBrivaneAgent::GetCurrentProfile() {
  return Traced(1574, [&] { return FirstMarked(FProfiles); });
}

// ---------------------------------------------------------------- commands carried out by the subscriber

void TBrivaneAgent::SaveForms() {
  if (OnSaveForms) OnSaveForms(this, nullptr);
}
void TBrivaneAgent::BindField() {
  if (OnBindField) OnBindField(this);
}
void TBrivaneAgent::UnbindField() {
  if (OnUnbindField) OnUnbindField(this);
}
void TBrivaneAgent::ShowManager(const WideString& A, const WideString& B, const WideString& C) {
  if (OnShowManager) OnShowManager(this, A, B, C);
}
void TBrivaneAgent::ClearForms() {
  if (OnClearForms) OnClearForms(this);
}
void TBrivaneAgent::AddSynonym() {
  if (OnAddSynonym) OnAddSynonym(this);
}
void TBrivaneAgent::AddValue() {
  if (OnAddValue) OnAddValue(this);
}
void TBrivaneAgent::AddAllValues() {
  if (OnAddAllValues) OnAddAllValues(this);
}
void TBrivaneAgent::FillForm() {
  if (OnFillForm) OnFillForm(this);
}

// ---------------------------------------------------------------- page

void TBrivaneAgent::SetURL(const WideString& URL) {
  if (URL == FURL) return;
  FURL = URL;
  FURLKey = StripWWW(FURL);
  WideString OldSiteKey = FSiteKey;
  FSiteKey = ExtractHost(Locale().LowerCase(TrimBlanks(URL)));
  FNavigations.Clear();
  FMailCards.Clear();
  FAuthRecords.Clear();
  if (FSiteKey != OldSiteKey) LoadSiteOptions();
  if (OnURLChange) OnURLChange(this);
}

// ---------------------------------------------------------------- options and predicates

bool TBrivaneAgent::GetRecording() { return FRecorder.Mode() == rmRecording; }

void TBrivaneAgent::SetRecording(bool Value) {
  if (Value == GetRecording()) return;
  if (Value) {
    FRecorder.StartRecording();
    return;
  }
  FRecorder.Stop();
  if (!OnRecordingDone) return;
  TVariant Data;
  FRecorder.SaveToVariant(Data);
  WideString FirstURL;
  FRecorder.FirstPageKey(FirstURL);
  OnRecordingDone(this, FirstURL, Data);
}

bool TBrivaneAgent::AutoFillEnabled() const {
  if (FRecorder.Mode() == rmRecording) return false;
  return FUnattended || FOptions.AutoFill != 0;
}

bool TBrivaneAgent::AutoSubmitEnabled() const {
  if (FRecorder.Mode() == rmRecording) return false;
  return FOptions.AutoSubmit != 0;
}

bool TBrivaneAgent::AutoFillNewEnabled() const {
  if (FRecorder.Mode() == rmRecording) return false;
  return FUnattended || FOptions.AutoFillNew != 0;
}

bool TBrivaneAgent::AutoBindEnabled() const { return FUnattended || FOptions.AutoBind != 0; }

bool TBrivaneAgent::AutoShowEnabled() const { return !FUnattended && FOptions.AutoShow != 0; }

bool TBrivaneAgent::AskConfirmEnabled() const {
  if (FRecorder.Mode() == rmRecording) return true;
  return !FUnattended && FOptions.AskConfirm != 0;
}

uint8_t TBrivaneAgent::SubmitAction() const { return FUnattended ? 2 : FOptions.SubmitAction; }

void TBrivaneAgent::SetAutoFill(bool Value) {
  Traced(1578, [&] {
    FStoredOptions.AutoFill = Value ? 1 : 0;
    LoadSiteOptions();
  });
}

void TBrivaneAgent::SetAutoSubmit(bool Value) {
  Traced(1579, [&] {
    FStoredOptions.AutoSubmit = Value ? 1 : 0;
    LoadSiteOptions();
  });
}

// ---------------------------------------------------------------- the store

template <class TCall>
bool TBrivaneAgent::ServerCall(TCall&& Call) {
  if (!FServer) return false;
  // Held for the call: a handler of an event the call raises may drop the connection meanwhile.
  std::shared_ptr<IPelServer> Server = FServer;
  try {
    Call(*Server);
    return true;
  } catch (...) {
    // Whatever the store or its transport raised, the caller of the agent never sees it.
    Disconnect();
    return false;
  }
}

std::shared_ptr<IPelServer> TBrivaneAgent::FindServer() const {
  try {
    return Supports<IPelServer>(RunningObjects().GetActiveObject(CLSID_PelServer));
  } catch (...) {
    return nullptr;
  }
}

void TBrivaneAgent::Connect() {
  if (FServer) return;
  std::shared_ptr<IPelServer> Server = FindServer();
  if (!Server) return;
  FServer = Server;
  try {
    FServerEvents->Connect(std::static_pointer_cast<IInterface>(Server));
    if (OnConnect) OnConnect(this);
    // Each load drops the connection itself when its call fails; what follows then has no store.
    LoadDefaultOptions();
    if (FServer) FDisplayMode = FServer->GetDisplayMode();
    if (FServer) LoadLexicon();
    if (FServer) LoadTranslations();
  } catch (...) {
    Disconnect();
  }
}

void TBrivaneAgent::Disconnect() {
  try {
    FServerEvents->Disconnect();
  } catch (...) {
  }
  FServer.reset();
}

void TBrivaneAgent::GetServer(std::shared_ptr<IPelServer>& Server) {
  Connect();
  Server = FServer;
}

bool TBrivaneAgent::GetConnected() {
  Connect();
  return FServer != nullptr;
}

bool TBrivaneAgent::Login() {
  std::shared_ptr<IPelServer> Server;
  GetServer(Server);
  if (!Server) return false;
  WideString Password;
  try {
    TEnterPasswordForm Form;
    Form.PasswordEdit.Text.clear();
    if (DialogViews().ShowModal(Form, ParentWindow()) != mrOk) return false;
    // The text as typed, wide: a password outside the system code page must reach the store as
    // it was set there, not with "?" in place of its letters.
    Password = TrimBlanks(Form.PasswordEdit.Text);
  } catch (...) {
    // A dialog that cannot be made or shown asks nothing.
    return false;
  }
  if (Password.empty()) return false;
  return ServerCall([&](IPelServer& S) { S.Login(Password); });
}

void TBrivaneAgent::Logout() {
  ServerCall([](IPelServer& S) { S.Logout(); });
}

bool TBrivaneAgent::GetLoggedIn() {
  Connect();
  bool LoggedIn = false;
  if (!ServerCall([&](IPelServer& S) { LoggedIn = S.GetLoggedIn(); })) return false;
  return LoggedIn;
}

void TBrivaneAgent::SetLoggedIn(bool Value) {
  if (Value)
    Login();
  else
    Logout();
}

void TBrivaneAgent::LoadDefaultOptions() {
  int32_t Flags = 0;
  bool Found = false;
  if (!ServerCall([&](IPelServer& S) { S.GetSettings(WideString(), Flags, Found); })) return;
  FStoredOptions = UnpackOptions(Flags);
  LoadSiteOptions();
}

void TBrivaneAgent::LoadSiteOptions() {
  Connect();
  FOptions = FStoredOptions;
  int32_t Flags = 0;
  bool Found = false;
  if (ServerCall([&](IPelServer& S) { S.GetSettings(FSiteKey, Flags, Found); }) && Found)
    FOptions = UnpackOptions(Flags);
}

void TBrivaneAgent::SettingsChanged(bool ApplyToAll) {
  if (ApplyToAll || FReloadDefaults)
    LoadDefaultOptions();
  else
    LoadSiteOptions();
}

void TBrivaneAgent::SetAlwaysReloadDefaults(bool Value) {
  FReloadDefaults = Value;
  SettingsChanged(false);
}

void TBrivaneAgent::ShowOptions() {
  Traced(1575, [&] {
    std::unique_ptr<TBVSettingsDialog> Dialog;
    try {
      Dialog = std::make_unique<TBVSettingsDialog>();
    } catch (...) {
      return;
    }
    bool SetDefault = false, ApplyToAll = false;
    // The effective options themselves: they change for this page as soon as the user confirms.
    if (!Dialog->Execute(FOptions, SetDefault, ApplyToAll, ParentWindow())) return;
    if (!GetConnected()) return;
    bool Handled = false;
    if (!ServerCall([&](IPelServer& S) {
          S.SetSettings(FSiteKey, PackOptions(FOptions), SetDefault, SetDefault && ApplyToAll, Handled);
        }))
      return;
    if (!Handled) FStoredOptions = FOptions;
  });
}

void TBrivaneAgent::LoadLexicon() {
  FLexicon.Clear();
  TVariant Data;
  if (!ServerCall([&](IPelServer& S) { Data = S.GetLexicon(); })) return;
  if (Data.IsEmptyOrNull()) return;
  try {
    TMemoryStream S;
    VariantToStream(Data, S);
    S.SetPosition(0);
    // Never a partly loaded lexicon.
    if (!FLexicon.LoadFromStream(S, LexiconVersion)) FLexicon.Clear();
  } catch (const Exception&) {
    FLexicon.Clear();
  }
}

void TBrivaneAgent::LoadTranslations() {
  FTranslatedCaptions.Clear();
  TVariant Request = CaptionsToVariant(FActionCaptions);
  TVariant Answer;
  if (!ServerCall([&](IPelServer& S) { Answer = S.TranslateStrings(Request); })) return;
  if (Answer.IsEmptyOrNull()) return;
  try {
    TMemoryStream S;
    VariantToStream(Answer, S);
    S.SetPosition(0);
    TWideStringList Translated;
    if (ReadCaptionStream(S, Translated) && Translated.Count() == FActionCaptions.Count())
      FTranslatedCaptions.Assign(Translated);
  } catch (const Exception&) {
    FTranslatedCaptions.Clear();
  }
}

// ---------------------------------------------------------------- captions and dialogs

WideString TBrivaneAgent::TranslateCaption(const WideString& Caption) {
  int Index = FActionCaptions.IndexOf(Caption);
  if (Index >= 0 && FTranslatedCaptions.Count() >= FActionCaptions.Count()) return FTranslatedCaptions[Index];
  return Caption;
}

uint32_t TBrivaneAgent::ParentWindow() const { return OnGetParentWindow ? OnGetParentWindow() : 0; }

void TBrivaneAgent::SetFillDialogShown(bool Show) {
  if (!Show) {
    if (FDialog) DialogViews().Hide(*FDialog);
    return;
  }
  if (!FGUIActive) {
    FShowPending = true;
    return;
  }
  if (!FDialog) {
    FDialog = std::make_unique<TBVDialog>();
    FDialog->Caption = AnsiToWide(FCaption);
    FDialog->OnFillFormCard = [this](TBVDialog&, const WideString& S, const WideString& N, bool Submit, bool Empty) {
      if (OnFillFormCard) OnFillFormCard(this, S, N, Submit, Empty);
    };
    FDialog->OnFillProfile = [this](TBVDialog&, const WideString& Profile, bool Empty) {
      if (OnFillProfile) OnFillProfile(this, Profile, Empty);
    };
    FDialog->OnSetDefaultFormCard = [this](TBVDialog&, const WideString& S, const WideString& N) {
      if (OnSetDefaultFormCard) OnSetDefaultFormCard(this, S, N);
    };
    FDialog->OnSetActiveProfile = [this](TBVDialog&, const WideString& Profile) {
      if (OnSetActiveProfile) OnSetActiveProfile(this, Profile);
    };
    FDialog->OnDeleteFormCard = [this](TBVDialog&, const WideString& S, const WideString& N) {
      if (OnDeleteFormCard) OnDeleteFormCard(this, S, N);
    };
    FDialog->OnPlayNavigation = [this](TBVDialog&, const WideString& S, const WideString& N) {
      if (OnPlayNavigation) OnPlayNavigation(this, S, N);
    };
    FDialog->OnSendMailCard = [this](TBVDialog&, const WideString& S, const WideString& N) {
      if (OnSendMailCard) OnSendMailCard(this, S, N);
    };
    FDialog->OnFillAuthRecord = [this](TBVDialog&, const WideString& S, const WideString& N, bool Submit, bool Empty) {
      if (OnFillAuthRecord) OnFillAuthRecord(this, S, N, Submit, Empty);
    };
    FDialog->OnHide = [this](TForm&) { DialogHidden(); };
    if (FDisplayMode == 1) FDialog->MinWidth = 476;
  }
  uint32_t Anchor = OnGetDialogOwner ? OnGetDialogOwner() : 0;
  if (Anchor == 0) Anchor = ParentWindow();
  FDialog->SetAnchorWindow(Anchor);
  FDialog->Placement = FDialogPlacement;
  FDialog->WidthMode = FDialogWidthMode;
  FDialog->HeightMode = FDialogHeightMode;
  DialogViews().Show(*FDialog, ParentWindow());
  RefreshFillDialog();
}

void TBrivaneAgent::RefreshFillDialog() {
  if (FDialog && FDialog->Showing())
    FDialog->LoadLists(FURLKey, FCardSets, FProfiles, FMailCards, FNavigations, FAuthRecords);
}

void TBrivaneAgent::ShowFillDialog() {
  if (!FDialogDismissed) SetFillDialogShown(true);
}

void TBrivaneAgent::HideFillDialog() {
  SetFillDialogShown(false);
  ClearFormCardList();
  FDialogDismissed = false;
}

bool TBrivaneAgent::FillDialogShown() const { return FDialog && FDialog->Showing(); }

void TBrivaneAgent::DialogHidden() {
  FDialogDismissed = true;
  if (!FGUIActive) FShowPending = true;
}

void TBrivaneAgent::SetGUIActive(bool Value) {
  if (Value == FGUIActive) return;
  FGUIActive = Value;
  if (Value) {
    if (FShowPending) {
      FShowPending = false;
      SetFillDialogShown(true);
    }
    ShowPendingMessage();
  } else {
    SetFillDialogShown(false);
    HideMessage(false);
  }
}

void TBrivaneAgent::ShowMessage(const AnsiString& Text, uint8_t Kind) {
  HideMessage(true);
  FMessageText = Text;
  FMessageKind = Kind;
  if (FGUIActive) ShowPendingMessage();
}

void TBrivaneAgent::ShowPendingMessage() {
  if (FMessageKind == 0) return;
  if (!FMessageDialog) {
    FMessageDialog = std::make_unique<TBVMessageDialog>();
    FMessageDialog->SetAnchorWindow(ParentWindow());
    FMessageDialog->SetOnAnswer([this](TBVMessageDialog&, int32_t Result) { MessageAnswered(Result); });
  }
  TBVMessageDialog& Dialog = *FMessageDialog;
  Dialog.Memo1.Text = AnsiToWide(FMessageText);
  Dialog.OkPanel.Visible = false;
  Dialog.YesNoPanel.Visible = false;
  Dialog.GroupBox1.Caption = FMessageKind == 1 ? u" Information " : u" Confirmation ";
  (FMessageKind == 1 ? Dialog.OkPanel : Dialog.YesNoPanel).Visible = true;
  DialogViews().Show(Dialog, ParentWindow());
}

void TBrivaneAgent::HideMessage(bool Reset) {
  if (FMessageDialog) DialogViews().Hide(*FMessageDialog);
  if (Reset) {
    FMessageText.clear();
    FMessageKind = 0;
  }
}

void TBrivaneAgent::FreeDialogs() {
  if (FDialog) DialogViews().Hide(*FDialog);
  if (FMessageDialog) DialogViews().Hide(*FMessageDialog);
  FDialog.reset();
  FMessageDialog.reset();
}

void TBrivaneAgent::ClearEvents() {
  OnSaveForms = nullptr;
  OnBindField = OnUnbindField = OnClearForms = OnFillForm = OnAddSynonym = OnAddValue = OnAddAllValues = nullptr;
  OnShowManager = nullptr;
  OnFillFormCard = OnFillAuthRecord = nullptr;
  OnFillProfile = nullptr;
  OnSetDefaultFormCard = OnDeleteFormCard = OnPlayNavigation = OnSendMailCard = nullptr;
  OnSetActiveProfile = nullptr;
  OnURLChange = OnConnect = OnServerQuit = OnLoggedIn = OnLoggedOut = nullptr;
  OnRecordingDone = nullptr;
  OnMessageResult = nullptr;
  OnExecCmd = nullptr;
  OnNavigateRequest = nullptr;
  OnGetParentWindow = OnGetDialogOwner = nullptr;
}

void TBrivaneAgent::MessageAnswered(int32_t Result) {
  FMessageKind = 0;
  if (OnMessageResult) OnMessageResult(this, Result);
}

}  // namespace pel
