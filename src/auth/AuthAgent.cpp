#include "AuthAgent.h"

#include "BHO/URLUtils.h"
#include "Common/TransitForms.h"
#include "agent/BrivaneAgent.h"
#include "dialogs/StoreDialog.h"
#include "helper/BrowserHelper.h"
#include "platform/MemoryStream.h"
#include "platform/Services.h"
#include "platform/Exceptions.h"
#include "platform/Store.h"

namespace pel {

namespace {

// The direct children of Parent in z-order, at most Limit + 1 of them: one more than a layout
// allows is enough to refuse it.
std::vector<uint32_t> ChildrenOf(uint32_t Parent, size_t Limit) {
  std::vector<uint32_t> Children;
  for (uint32_t Child = WindowServices().NextChild(Parent, 0); Child != 0 && Children.size() <= Limit;
       Child = WindowServices().NextChild(Parent, Child))
    Children.push_back(Child);
  return Children;
}

bool ClassesAre(const std::vector<uint32_t>& Windows, std::initializer_list<const char*> Classes) {
  if (Windows.size() != Classes.size()) return false;
  size_t I = 0;
  for (const char* Class : Classes)
    if (WindowServices().ClassName(Windows[I++]) != Class) return false;
  return true;
}

bool RecogniseClassic(uint32_t Wnd, TDlgData& Data) {
  const std::vector<uint32_t> Children = ChildrenOf(Wnd, 13);
  if (!ClassesAre(Children, {"Static", "Static", "Static", "Static", "Static", "Static", "Edit", "Static", "Edit",
                             "Button", "Button", "Button", "Static"}))
    return false;
  const AnsiString Site = WindowServices().WindowTextAnsi(Children[3]);
  if (Site.empty()) return false;
  Data.Site = Site;
  Data.UserControl = Children[6];
  Data.PasswordControl = Children[8];
  Data.OkButton = Children[10];
  return true;
}

bool RecogniseCredentialControl(uint32_t Wnd, TDlgData& Data) {
  AnsiString Site = WindowServices().WindowTextAnsi(Wnd);
  for (size_t Space = Site.find(' '); Space != AnsiString::npos; Space = Site.find(' ')) Site.erase(0, Space + 1);
  if (Site.empty()) return false;
  const std::vector<uint32_t> Children = ChildrenOf(Wnd, 5);
  if (!ClassesAre(Children, {"Edit", "SysCredential", "Button", "Button", "Static"})) return false;
  const std::vector<uint32_t> Inner = ChildrenOf(Children[1], 5);
  if (!ClassesAre(Inner, {"Static", "ComboBoxEx32", "Static", "Edit", "Button"})) return false;
  Data.Site = Site;
  Data.UserControl = Inner[1];
  Data.PasswordControl = Inner[3];
  Data.OkButton = Children[2];
  return true;
}

WideString LinesOf(const TWideStringList& List) {
  WideString Text;
  for (int I = 0; I < List.Count(); ++I) Text += List[I] + u"\r\n";
  return Text;
}

}  // namespace

bool Recognise(uint32_t Wnd, TDlgData& Data) {
  if (WindowServices().ClassName(Wnd) != "#32770") return false;
  uint32_t Major = 0, Minor = 0;
  WindowServices().WindowsVersion(Major, Minor);
  TDlgData Found;
  const bool Classic = Major < 5 || (Major == 5 && Minor == 0);
  if (!(Classic ? RecogniseClassic(Wnd, Found) : RecogniseCredentialControl(Wnd, Found))) return false;
  Data = Found;
  return true;
}

WideString ReadControlText(uint32_t Wnd) {
  const AnsiString Ansi = WindowServices().WindowTextAnsi(Wnd);
  if (Ansi.find('?') == AnsiString::npos) return AnsiToWide(Ansi);
  // A "?" may stand for a character the code page lacks: the wide text is the true one when the
  // 8-bit text is its image.
  const WideString Wide = WindowServices().WindowTextWide(Wnd);
  return WideToAnsi(Wide) == Ansi ? Wide : AnsiToWide(Ansi);
}

void WriteControlText(uint32_t Wnd, const WideString& Text) {
  const AnsiString Ansi = WideToAnsi(Text);
  if (AnsiToWide(Ansi) == Text)
    WindowServices().SetWindowTextAnsi(Wnd, Ansi);
  else
    WindowServices().SetWindowTextWide(Wnd, Text);
}

TVariant AuthRecordData(const WideString& UserName, const WideString& UserNameKey, const WideString& Password,
                        const WideString& PasswordKey) {
  TMemoryStream S;
  WriteWideString(S, UserName);
  WriteWideString(S, UserNameKey);
  WriteWideString(S, Password);
  WriteWideString(S, PasswordKey);
  TVariant Data;
  StreamToVariant(S, Data);
  return Data;
}

// ---------------------------------------------------------------- construction

TAuthAgent::TAuthAgent(uint32_t ThreadId) : FThreadId(ThreadId), FTracer(std::make_unique<TAutoSubmitTracer>()) {
  FHandle = WindowServices().CreateMessageWindow([this](uint32_t Message, uintptr_t, intptr_t LParam) {
    if (Message != wmAuthDialogEvent) return;
    try {
      DialogEvent(static_cast<uint32_t>(LParam));
    } catch (const Exception&) {
      // A store that fails while the dialog appears leaves it as the system showed it.
    }
  });
  auto Agent = std::make_shared<TBrivaneAgent>();
  FAgent = Agent.get();
  FAgentIntf = Agent;
  TBrivaneAgent& A = *FAgent;
  A.OnGetParentWindow = [this]() -> uint32_t { return FHelpers.empty() ? 0 : FHelpers.front()->GetBrowserWindow(); };
  A.OnGetDialogOwner = [this] { return FAnchorWindow; };
  A.SetCaption("Authentication data");
  A.SetDialogPlacement(1);
  A.SetDialogHeightMode(1);
  A.SetDialogWidthMode(2);
  A.SetAlwaysReloadDefaults(true);
  A.OnFillAuthRecord = [this](TBrivaneAgent*, const WideString&, const WideString& Name, bool Submit, bool) {
    if (!FAgent->GetConnected()) return;
    bool LoginRequired = false;
    do {
      FillFromRecord(Name, Submit, LoginRequired);
    } while (LoginRequired && FAgent->Login());
  };
  A.OnFillProfile = [this](TBrivaneAgent*, const WideString& Profile, bool OnlyEmpty) {
    if (!FAgent->GetConnected()) return;
    try {
      bool LoginRequired = false;
      do {
        FillFromProfile(Profile, OnlyEmpty, false, LoginRequired);
      } while (LoginRequired && FAgent->Login());
    } catch (const Exception&) {
    }
  };
  A.OnSetDefaultFormCard = [this](TBrivaneAgent*, const WideString& SetName, const WideString& Name) {
    std::shared_ptr<IPelServer> S;
    if (!FAgent->GetConnected()) return;
    FAgent->GetServer(S);
    if (!S) return;
    S->SetDefaultFormCard(SetName, Name, u"", false);
    Refresh();
  };
  A.OnSetActiveProfile = [this](TBrivaneAgent*, const WideString& Profile) {
    std::shared_ptr<IPelServer> S;
    if (!FAgent->GetConnected()) return;
    FAgent->GetServer(S);
    if (!S) return;
    S->SetActiveProfile(Profile);
    Refresh();
  };
  A.OnDeleteFormCard = [this](TBrivaneAgent*, const WideString& SetName, const WideString& Name) {
    if (!FAgent->GetConnected()) return;
    for (;;) {
      std::shared_ptr<IPelServer> S;
      FAgent->GetServer(S);
      if (!S) return;
      bool LoginRequired = false;
      S->DeleteRecord(SetName, Name, LoginRequired);
      if (!LoginRequired) {
        Refresh();
        return;
      }
      if (!FAgent->Login()) return;
    }
  };
  A.OnConnect = [this](TBrivaneAgent*) { ReloadProfiles(); };
  A.OnServerQuit = [this](TBrivaneAgent*) { FAgent->HideFillDialog(); };
  A.OnFillForm = [this](TBrivaneAgent*) {
    Refresh();
    FAgent->SetFillDialogShown(true);
  };
  A.OnExecCmd = [this](uint32_t Wnd, int32_t Cmd) { ExecCmd(Wnd, Cmd); };
  FAgent->GetConnected();
  Reset();
}

TAuthAgent::~TAuthAgent() {
  // The private agent may be held elsewhere a moment longer: nothing of it may call back in here.
  FAgent->ClearEvents();
  FAgent->FreeDialogs();
  FAgent = nullptr;
  FAgentIntf.reset();
  FTracer.reset();
  WindowServices().DestroyMessageWindow(FHandle);
}

void TAuthAgent::MarkHelpers(bool Active) {
  for (TKXBrowserHelperObject* Helper : FHelpers) Helper->SetCredentialDialogActive(Active);
}

// ---------------------------------------------------------------- the dialog's life

void TAuthAgent::Reset() {
  FDialog = 0;
  FUserControl = 0;
  FPasswordControl = 0;
  FOkButton = 0;
  FAnchorWindow = 0;
  FConfirmed = false;
  FSubmittedByAgent = false;
  FSite.clear();
  FUserName.clear();
  FUserNameKey.clear();
  FPassword.clear();
  FPasswordKey.clear();
  FAgent->SetAuthList(TVariant(), u"");
  FAgent->HideFillDialog();
  MarkHelpers(false);
}

void TAuthAgent::DialogEvent(uint32_t Wnd) {
  if (Wnd == 0) {
    Reset();
    return;
  }
  TDlgData Data;
  if (!Recognise(Wnd, Data)) return;
  Reset();
  FDialog = Wnd;
  FSite = AnsiToWide(Data.Site);
  FUserControl = Data.UserControl;
  FPasswordControl = Data.PasswordControl;
  FOkButton = Data.OkButton;
  FAnchorWindow = Wnd;
  FAgent->SetURL(NormalizeURL(FSite));
  MarkHelpers(true);
  const bool Active = FAgent->GetActive();
  const bool AutoShow = Active && FAgent->AutoShowEnabled();
  const bool AutoFill = Active && FAgent->AutoFillEnabled();
  const bool AutoSubmit = AutoFill && Active && FAgent->AutoSubmitEnabled();
  OnDialog(AutoFill, AutoSubmit, AutoShow);
}

void TAuthAgent::OnDialog(bool AutoFill, bool AutoSubmit, bool AutoShow) {
  if (!FAgent->GetConnected()) return;
  bool Found = false, ProfilesOffered = false, Submitted = false;
  TVariant Items;
  WideString DefaultName;
  try {
    std::shared_ptr<IPelServer> S;
    FAgent->GetServer(S);
    if (S) S->GetRecordList(rkAuthentication, FSite, Items, DefaultName);
  } catch (const Exception&) {
    Items = TVariant();
    DefaultName.clear();
  }
  if (!Items.IsEmptyOrNull()) {
    FAgent->SetAuthList(Items, DefaultName);
    Found = true;
  }
  if (AutoFill) {
    // No login is offered while the dialog appears: a locked store simply fills nothing.
    bool LoginRequired = false;
    if (!DefaultName.empty()) {
      if (FillFromRecord(DefaultName, AutoSubmit, LoginRequired) && AutoSubmit) Submitted = true;
    } else if (FAgent->AutoFillNewEnabled() && !FAgent->ProfileList().IsEmpty()) {
      ProfilesOffered = true;
      FillFromProfile(u"", false, false, LoginRequired);
    }
  }
  if (AutoShow && !Submitted && (Found || ProfilesOffered)) FAgent->ShowFillDialog();
}

bool TAuthAgent::FillFromRecord(const WideString& Name, bool Submit, bool& LoginRequired) {
  if (!FUserControl || !FPasswordControl || !FOkButton) return false;
  LoginRequired = false;
  TVariant Data;
  try {
    std::shared_ptr<IPelServer> S;
    FAgent->GetServer(S);
    if (S) S->GetRecord(rkAuthentication, FSite, Name, u"", Data, LoginRequired);
  } catch (const Exception&) {
    Data = TVariant();
  }
  if (LoginRequired || Data.IsEmptyOrNull()) return false;
  TMemoryStream Stream;
  VariantToStream(Data, Stream);
  Stream.SetPosition(0);
  ReadWideString(Stream, FUserName);
  ReadWideString(Stream, FUserNameKey);
  ReadWideString(Stream, FPassword);
  ReadWideString(Stream, FPasswordKey);
  WriteControlText(FUserControl, FUserName);
  WriteControlText(FPasswordControl, FPassword);
  return Submit ? AutoSubmit() : true;
}

bool TAuthAgent::FillFromProfile(const WideString& Profile, bool OnlyEmpty, bool Submit, bool& LoginRequired) {
  LoginRequired = false;
  std::shared_ptr<IPelServer> S;
  FAgent->GetServer(S);
  if (!S) return false;
  {
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false;
    S->FindFieldValue(Profile, u"", u"", u"", FSite, Field, Kind, Value, Values, Found, LoginRequired);
    if (LoginRequired) return false;
  }
  const WideString CurrentUser = ReadControlText(FUserControl);
  bool All = true;
  auto FillOne = [&](const char16_t* FieldName, const WideString& Current, WideString& Target, WideString& Key,
                     uint32_t Control) {
    if (OnlyEmpty && !Current.empty()) {
      Target = Current;
      return;
    }
    WideString Field, Value, Values;
    int32_t Kind = -1;
    bool Found = false;
    S->FindFieldValue(Profile, u"input", u"text", FieldName, FSite, Field, Kind, Value, Values, Found, LoginRequired);
    if (Found) {
      Target = Value;
      Key = Field;
      WriteControlText(Control, Value);
    } else {
      All = false;
    }
  };
  FillOne(u"Username", CurrentUser, FUserName, FUserNameKey, FUserControl);
  FillOne(u"Password", ReadControlText(FPasswordControl), FPassword, FPasswordKey, FPasswordControl);
  if (Submit && All) AutoSubmit();
  return All;
}

bool TAuthAgent::AutoSubmit() {
  if (FTracer->RegisterSubmit(FSite, FUserName, FPassword, askAuthDialog)) {
    if (!FOkButton) return false;
    FSubmittedByAgent = true;
    WindowServices().PostMessageTo(FOkButton, wmKeyDown, vkReturn, 0);
    return true;
  }
  FTracer->Clear();
  return false;
}

void TAuthAgent::DialogConfirmed() {
  if (FSubmittedByAgent || !FAgent->GetActive()) return;
  const uint8_t Action = FAgent->SubmitAction();
  if (Action != 0) SaveCredentials(Action, false);
}

void TAuthAgent::SaveCredentials(uint8_t Mode, bool Force) {
  if (FSite.empty() || !FUserControl || !FPasswordControl || !FAgent->GetConnected()) return;
  try {
    std::shared_ptr<IPelServer> S;
    FAgent->GetServer(S);
    if (!S) return;
    const WideString User = ReadControlText(FUserControl);
    if (User != FUserName) FUserNameKey.clear();
    const WideString Password = ReadControlText(FPasswordControl);
    if (Password != FPassword) FPasswordKey.clear();
    const TVariant Data = AuthRecordData(User, FUserNameKey, Password, FPasswordKey);
    WideString Name;
    S->FindRecord(rkAuthentication, FSite, Data, Name);
    if (!Force && !Name.empty()) return;
    int32_t DefaultMode = dmNone;
    WideString Profile;
    if (Mode == 1) {
      WideString Existing, DefaultName;
      S->GetNameChoices(FSite, Existing, DefaultName);
      if (Name.empty()) Name = DefaultName;
      TBVStoreDialog Dialog;
      if (FAgent->DisplayMode() == 1) {
        Dialog.MinHeight = 320;
        Dialog.MinWidth = 476;
      }
      for (;;) {
        bool LoginRequired = false;
        DefaultMode = dmActiveProfile;
        Profile = FAgent->GetCurrentProfile();
        if (!Dialog.Execute("Save authentication", Existing, LinesOf(FAgent->ProfileList()), Profile, Name,
                            DefaultMode))
          return;
        do {
          S->DeleteRecord(FSite, Name, LoginRequired);
        } while (LoginRequired && FAgent->Login());
        if (!LoginRequired) break;
      }
    } else {
      Name.clear();
    }
    bool Saved = false, LoginRequired = false;
    S->SaveRecord(rkAuthentication, FSite, Name, u"", Data, Saved, LoginRequired);
    if (Saved && DefaultMode > 0) S->SetDefaultFormCard(FSite, Name, Profile, DefaultMode == dmAllProfiles);
  } catch (const Exception&) {
    // What the user confirmed simply stays unsaved: the credential dialog has gone its way already.
  }
}

// ---------------------------------------------------------------- the fill dialog and the store's commands

void TAuthAgent::ReloadProfiles() {
  if (!FAgent->GetConnected()) return;
  try {
    std::shared_ptr<IPelServer> S;
    FAgent->GetServer(S);
    if (!S) return;
    TVariant Profiles;
    WideString Active;
    try {
      S->GetProfiles(Profiles, Active);
    } catch (const Exception&) {
      Profiles = TVariant();
    }
    if (!Profiles.IsEmptyOrNull()) FAgent->SetProfileList(Profiles, Active);
  } catch (const Exception&) {
  }
}

void TAuthAgent::Refresh() {
  const bool WasVisible = FAgent->FillDialogShown();
  FAgent->HideFillDialog();
  ReloadProfiles();
  if (WasVisible) FAgent->ShowFillDialog();
}

void TAuthAgent::ExecCmd(uint32_t Wnd, int32_t Cmd) {
  if (!FDialog || WindowServices().WindowThreadId(Wnd) != FThreadId) return;
  if (Cmd == 0) {
    Refresh();
    FAgent->SetFillDialogShown(true);
  } else if (Cmd == 1) {
    SaveCredentials(1, true);
  }
}

}  // namespace pel
