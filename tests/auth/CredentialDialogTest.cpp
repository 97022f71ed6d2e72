// The credential dialog agents on the headless window system: helper objects of browser windows
// register with them through their sites, every window of their thread is examined, the system's
// credential dialog is recognised by its exact layout, filled, confirmed and saved, against the
// reference store.

#include <gtest/gtest.h>

#include <thread>

#include "agent/AgentTestSupport.h"
#include "auth/AuthAgentList.h"
#include "dialogs/FillDialog.h"
#include "dialogs/StoreDialog.h"
#include "headless/HeadlessBrowser.h"
#include "headless/HeadlessWindows.h"
#include "helper/BrowserHelper.h"
#include "store/StoreTestSupport.h"

namespace pel::test {
namespace {

headless::THeadlessWindows& Windows() { return headless::HeadlessWindows(); }

// The reference store, counting the records it was asked to save.
class TAuthStore : public store::TPelStore {
public:
  using TPelStore::TPelStore;
  void SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                  const TVariant& Data, bool& Saved, bool& LoginRequired) override {
    Saves.push_back({Kind, Key, Name, Data});
    TPelStore::SaveRecord(Kind, Key, Name, URL, Data, Saved, LoginRequired);
  }
  struct TSave {
    int32_t Kind;
    WideString Key, Name;
    TVariant Data;
  };
  std::vector<TSave> Saves;
};

// A credential dialog as the system builds one: the window, then its controls in z-order. The
// OK button does what the dialog manager does with Enter on it: the dialog hides and goes.
struct TCredentialWindow {
  uint32_t Dialog = 0, User = 0, Password = 0, Ok = 0, Container = 0;
  int OkPresses = 0;
  // What the dialog held when OK closed it.
  WideString UserAtOk, PasswordAtOk;

  void Close() {
    Windows().Hide(Dialog);
    Windows().Destroy(Dialog);
  }
};

std::unique_ptr<TCredentialWindow> ClassicDialog(const WideString& Site, bool ExtraChild = false) {
  auto D = std::make_unique<TCredentialWindow>();
  TCredentialWindow* Self = D.get();
  D->Dialog = Windows().CreateWindow("#32770", u"Enter Network Password");
  auto Child = [&](const char* Class, const WideString& Text = u"", IWindowServices::TMessageHandler H = {}) {
    return Windows().CreateWindow(Class, Text, Self->Dialog, std::move(H));
  };
  Child("Static", u"Please type your user name and password.");
  Child("Static", u"Site:");
  Child("Static", u"Realm");
  Child("Static", Site);
  Child("Static", u"Members");
  Child("Static", u"User Name");
  D->User = Child("Edit");
  Child("Static", u"Password");
  D->Password = Child("Edit");
  Child("Button", u"Save this password in your password list");
  D->Ok = Child("Button", u"OK", [Self](uint32_t Message, uintptr_t WParam, intptr_t) {
    if (Message == wmKeyDown && WParam == vkReturn) {
      ++Self->OkPresses;
      Self->UserAtOk = Windows().WindowTextWide(Self->User);
      Self->PasswordAtOk = Windows().WindowTextWide(Self->Password);
      Self->Close();
    }
  });
  Child("Button", u"Cancel");
  Child("Static");
  if (ExtraChild) Child("Static", u"one more");
  return D;
}

std::unique_ptr<TCredentialWindow> CredentialControlDialog(const WideString& Title, bool ExtraChild = false) {
  auto D = std::make_unique<TCredentialWindow>();
  D->Dialog = Windows().CreateWindow("#32770", Title);
  Windows().CreateWindow("Edit", u"", D->Dialog);
  D->Container = Windows().CreateWindow("SysCredential", u"", D->Dialog);
  D->Ok = Windows().CreateWindow("Button", u"OK", D->Dialog);
  Windows().CreateWindow("Button", u"Cancel", D->Dialog);
  Windows().CreateWindow("Static", u"", D->Dialog);
  if (ExtraChild) Windows().CreateWindow("Static", u"", D->Dialog);
  Windows().CreateWindow("Static", u"User name:", D->Container);
  D->User = Windows().CreateWindow("ComboBoxEx32", u"", D->Container);
  Windows().CreateWindow("Static", u"Password:", D->Container);
  D->Password = Windows().CreateWindow("Edit", u"", D->Container);
  Windows().CreateWindow("Button", u"Remember my password", D->Container);
  return D;
}

TEST(CredentialDialogRecognition, BothLayoutsExactlyAsTheSystemVersionChoosesThem) {
  struct TCase {
    const char* What;
    uint32_t Major, Minor;
    std::function<std::unique_ptr<TCredentialWindow>()> Make;
    const char* Site;  // nullptr: not recognised
  };
  const TCase Cases[] = {
      {"classic on 5.0", 5, 0, [] { return ClassicDialog(u"intranet.example"); }, "intranet.example"},
      {"classic on 4.0", 4, 0, [] { return ClassicDialog(u"intranet.example"); }, "intranet.example"},
      {"classic with a fourteenth child", 5, 0, [] { return ClassicDialog(u"intranet.example", true); }, nullptr},
      {"classic with an empty fourth static", 5, 0, [] { return ClassicDialog(u""); }, nullptr},
      {"classic layout on 5.1", 5, 1, [] { return ClassicDialog(u"intranet.example"); }, nullptr},
      {"credential control on 5.1", 5, 1, [] { return CredentialControlDialog(u"Connect to intranet.example"); },
       "intranet.example"},
      {"credential control on 10.0, one word", 10, 0, [] { return CredentialControlDialog(u"host"); }, "host"},
      {"credential control with a sixth child", 6, 1,
       [] { return CredentialControlDialog(u"Connect to intranet.example", true); }, nullptr},
      {"credential control titled with a trailing space", 6, 1,
       [] { return CredentialControlDialog(u"Connect to "); }, nullptr},
      {"credential control on 5.0", 5, 0, [] { return CredentialControlDialog(u"Connect to x.example"); }, nullptr},
  };
  for (const TCase& C : Cases) {
    Windows().SetWindowsVersion(C.Major, C.Minor);
    auto D = C.Make();
    TDlgData Data;
    Data.Site = "untouched";
    const bool Recognised = Recognise(D->Dialog, Data);
    EXPECT_EQ(Recognised, C.Site != nullptr) << C.What;
    if (C.Site && Recognised) {
      EXPECT_EQ(Data.Site, C.Site) << C.What;
      EXPECT_EQ(Data.UserControl, D->User) << C.What;
      EXPECT_EQ(Data.PasswordControl, D->Password) << C.What;
      EXPECT_EQ(Data.OkButton, D->Ok) << C.What;
    } else {
      EXPECT_EQ(Data.Site, "untouched") << C.What;
    }
    // Children are no credential dialogs, whatever the version.
    EXPECT_FALSE(Recognise(D->User, Data)) << C.What;
    Windows().Destroy(D->Dialog);
  }
}

TEST(CredentialDialogRecognition, ClassNamesAreComparedWithTheirCase) {
  Windows().SetWindowsVersion(5, 0);
  auto D = ClassicDialog(u"intranet.example");
  const uint32_t Lower = Windows().CreateWindow("#32770", u"");
  for (uint32_t C = Windows().NextChild(D->Dialog, 0); C; C = Windows().NextChild(D->Dialog, C)) {
    const AnsiString Class = Windows().ClassName(C);
    Windows().CreateWindow(Class == "Edit" ? "EDIT" : Class, Windows().WindowTextWide(C), Lower);
  }
  TDlgData Data;
  EXPECT_TRUE(Recognise(D->Dialog, Data));
  EXPECT_FALSE(Recognise(Lower, Data));
  Windows().Destroy(D->Dialog);
  Windows().Destroy(Lower);
}

TEST(CredentialDialogText, TextTheCodePageCannotCarryGoesThroughTheWideCalls) {
  const uint32_t Edit = Windows().CreateWindow("Edit", u"");
  for (const WideString& Text : {WideString(u"plain"), WideString(u"K\u00F6nig"), WideString(u"\u0416\u0435\u043D\u044F"),
                                 WideString(u"what?"), WideString(u"?\u0416")}) {
    WriteControlText(Edit, Text);
    EXPECT_EQ(Windows().WindowTextWide(Edit), Text);
    EXPECT_EQ(ReadControlText(Edit), Text);
  }
  Windows().Destroy(Edit);
}

class CredentialDialog : public testing::Test {
protected:
  void SetUp() override {
    Views().Clear();
    Windows().SetWindowsVersion(5, 0);
    CreateAuthModuleObjects();
  }
  void TearDown() override {
    ExpectEveryAnswerUsed();
    for (auto& H : Helpers) H->SetSite(nullptr);
    Helpers.clear();
    Pump();
    DestroyAuthModuleObjects();
    if (Store) Store->Shutdown();
  }
  void StartStore(const std::function<void(TBVOptions&)>& Change = {}) {
    Store = std::make_shared<TAuthStore>(Folder.File());
    TBVOptions Options;
    if (Change) Change(Options);
    bool Handled = false;
    Store->SetSettings(u"", PackOptions(Options), true, true, Handled);
    store::TPelStore::Register(Store);
  }
  // A browser window of this thread with its helper attached.
  TKXBrowserHelperObject& OpenWindow() {
    Browsers.push_back(headless::THeadlessBrowser::CreateTop(Pages));
    Helpers.push_back(std::make_shared<TKXBrowserHelperObject>());
    EXPECT_EQ(Helpers.back()->SetSite(Browsers.back()), HR_S_OK);
    return *Helpers.back();
  }
  void CloseWindow(size_t Index) {
    Helpers[Index]->SetSite(nullptr);
    Helpers.erase(Helpers.begin() + static_cast<long>(Index));
  }
  static void Pump() { Windows().ProcessMessages(); }
  TAuthAgent& Agent() {
    TAuthAgent* A = AuthAgentList()->CurrentAgent();
    if (!A) throw Exception("no agent on this thread");
    return *A;
  }
  void StoreRecord(const WideString& Site, const WideString& Name, const TVariant& Data, bool AsDefault) {
    bool Saved = false, Login = false;
    Store->TPelStore::SaveRecord(rkAuthentication, Site, Name, u"", Data, Saved, Login);
    ASSERT_TRUE(Saved);
    if (AsDefault) Store->SetDefaultFormCard(Site, Name, u"", true);
  }
  void SetProfile(const WideString& User, const WideString& Password) {
    bool Login = false;
    Store->SetFieldValue(u"", u"Username", User, Login);
    Store->SetFieldValue(u"", u"Password", Password, Login);
  }
  static WideString Text(uint32_t Wnd) { return Windows().WindowTextWide(Wnd); }
  // The user types and presses Enter in the password field; the dialog manager closes with OK.
  static void ConfirmAs(TCredentialWindow& D, const WideString& User, const WideString& Password) {
    Windows().SetWindowTextWide(D.User, User);
    Windows().SetWindowTextWide(D.Password, Password);
    Windows().PostMessageTo(D.Password, wmKeyDown, vkReturn, 0);
    Pump();
    D.Close();
    Pump();
  }

  TStoreFolder Folder;
  std::shared_ptr<TAuthStore> Store;
  std::shared_ptr<headless::TPageSource> Pages = std::make_shared<headless::TPageSource>();
  std::vector<std::shared_ptr<headless::THeadlessBrowser>> Browsers;
  std::vector<std::shared_ptr<TKXBrowserHelperObject>> Helpers;
};

TEST_F(CredentialDialog, FilledFromTheSitesDefaultRecordWithTheFillDialogBesideIt) {
  StartStore();
  StoreRecord(u"intranet.example", u"Office", AuthRecordData(u"alice", u"Username", u"pa55", u"Password"), true);
  TKXBrowserHelperObject& Helper = OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  EXPECT_EQ(Text(D->User), u"") << "nothing happens inside the hook";
  Pump();
  EXPECT_EQ(Agent().Dialog(), D->Dialog);
  EXPECT_EQ(Agent().Site(), u"intranet.example");
  EXPECT_EQ(Agent().AnchorWindow(), D->Dialog);
  EXPECT_TRUE(Helper.CredentialDialogActive());
  EXPECT_EQ(Text(D->User), u"alice");
  EXPECT_EQ(Text(D->Password), u"pa55");
  EXPECT_EQ(Agent().UserNameKey(), u"Username");
  EXPECT_EQ(D->OkPresses, 0) << "no automatic OK without auto submit";
  ASSERT_TRUE(Agent().Agent().FillDialog());
  EXPECT_TRUE(Agent().Agent().FillDialogShown());
  EXPECT_EQ(Agent().Agent().FillDialog()->Caption, u"Authentication data");
  EXPECT_EQ(Agent().Agent().AuthRecords().Count(), 1);
  // Cancelled: nothing stored, and the dialog's end resets the agent.
  D->Close();
  Pump();
  EXPECT_EQ(Agent().Dialog(), 0u);
  EXPECT_FALSE(Helper.CredentialDialogActive());
  EXPECT_FALSE(Agent().Agent().FillDialogShown());
  EXPECT_TRUE(Store->Saves.empty());
}

TEST_F(CredentialDialog, FilledFromTheProfileWhenTheSiteHasNoRecord) {
  StartStore();
  SetProfile(u"bob", u"hunter2");
  OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  Pump();
  EXPECT_EQ(Text(D->User), u"bob");
  EXPECT_EQ(Text(D->Password), u"hunter2");
  EXPECT_EQ(Agent().UserNameKey(), u"Username");
  EXPECT_EQ(Agent().PasswordKey(), u"Password");
  EXPECT_TRUE(Agent().Agent().FillDialogShown()) << "the profiles were offered";
  D->Close();
  Pump();
}

TEST_F(CredentialDialog, ADialogWithOneMoreChildOrAnEmptySiteIsLeftAlone) {
  StartStore();
  SetProfile(u"bob", u"hunter2");
  OpenWindow();
  for (bool OneMore : {true, false}) {
    auto D = OneMore ? ClassicDialog(u"intranet.example", true) : ClassicDialog(u"");
    Pump();
    EXPECT_EQ(Agent().Dialog(), 0u);
    EXPECT_EQ(Text(D->User), u"");
    EXPECT_FALSE(Agent().Agent().FillDialogShown());
    ConfirmAs(*D, u"carol", u"x");
  }
  EXPECT_TRUE(Store->Saves.empty());
}

TEST_F(CredentialDialog, AutoSubmitPressesOkOnceAndTheTracerAlternatesOnRepeats) {
  StartStore([](TBVOptions& O) { O.AutoSubmit = 1; });
  StoreRecord(u"intranet.example", u"Office", AuthRecordData(u"alice", u"", u"pa55", u""), true);
  OpenWindow();
  const int Expected[] = {1, 0, 1};
  for (int Presses : Expected) {
    auto D = ClassicDialog(u"intranet.example");
    Pump();
    EXPECT_EQ(D->OkPresses, Presses);
    if (Presses) {
      EXPECT_EQ(D->UserAtOk, u"alice");
      EXPECT_EQ(D->PasswordAtOk, u"pa55");
    } else {
      EXPECT_EQ(Text(D->User), u"alice");
    }
    // A refused repeat leaves the dialog to the user, with the site's records offered.
    EXPECT_EQ(Agent().Agent().FillDialogShown(), Presses == 0);
    if (Presses == 0) D->Close();
    Pump();
    EXPECT_EQ(Agent().Dialog(), 0u);
  }
  EXPECT_TRUE(Store->Saves.empty()) << "what the agent confirmed itself is not stored";
}

TEST_F(CredentialDialog, ConfirmedCredentialsAreSavedSilentlyOnceAsAnAuthenticationRecord) {
  StartStore([](TBVOptions& O) { O.SubmitAction = 2; });
  SetProfile(u"bob", u"hunter2");
  OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  Pump();
  // The user keeps the profile's name and types another password.
  ConfirmAs(*D, u"bob", u"n3w-pass");
  ASSERT_EQ(Store->Saves.size(), 1u);
  EXPECT_EQ(Store->Saves[0].Kind, rkAuthentication);
  EXPECT_EQ(Store->Saves[0].Key, u"intranet.example");
  EXPECT_EQ(Store->Saves[0].Name, u"");
  EXPECT_EQ(Store->Saves[0].Data, AuthRecordData(u"bob", u"Username", u"n3w-pass", u""))
      << "the key of a value changed by hand is emptied";
  EXPECT_EQ(Agent().Dialog(), 0u);
  // The same credentials confirmed again are stored already.
  auto Again = ClassicDialog(u"intranet.example");
  Pump();
  EXPECT_EQ(Text(Again->Password), u"hunter2") << "no default record: the profile fills again";
  ConfirmAs(*Again, u"bob", u"n3w-pass");
  EXPECT_EQ(Store->Saves.size(), 1u);
}

TEST_F(CredentialDialog, ConfirmedThroughTheStoreDialogUnderTheUsersName) {
  StartStore();
  OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  Pump();
  Views().Answer("BVStoreDialog", [](TForm& Form) {
    EXPECT_EQ(Form.Caption, u"Save authentication");
    Form.Control("FormSetNameEdit").Text = u"Work login";
    Form.Control("Button1").Click();
  });
  ConfirmAs(*D, u"dave", u"s3cret");
  ASSERT_EQ(Store->Saves.size(), 1u);
  EXPECT_EQ(Store->Saves[0].Name, u"Work login");
  EXPECT_EQ(Store->Saves[0].Data, AuthRecordData(u"dave", u"", u"s3cret", u""));
  // Saved as the default of the active profile: the next dialog of the site is filled from it.
  auto Next = ClassicDialog(u"intranet.example");
  Pump();
  EXPECT_EQ(Text(Next->User), u"dave");
  EXPECT_EQ(Text(Next->Password), u"s3cret");
  // Cancelling the store dialog stores nothing.
  Views().Answer("BVStoreDialog", [](TForm& Form) { Form.Control("Button2").Click(); });
  ConfirmAs(*Next, u"erin", u"other");
  EXPECT_EQ(Store->Saves.size(), 1u);
}

TEST_F(CredentialDialog, TheStoresWindowCommandSavesEvenStoredCredentialsButOnlyForItsThreadsDialog) {
  StartStore([](TBVOptions& O) { O.SubmitAction = 0; });
  StoreRecord(u"intranet.example", u"Office", AuthRecordData(u"alice", u"", u"pa55", u""), true);
  OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  Pump();
  const uint32_t Elsewhere = [] {
    uint32_t Wnd = 0;
    std::thread([&] { Wnd = Windows().CreateWindow("Static", u""); }).join();
    return Wnd;
  }();
  Store->ExecCommand(Elsewhere, 1);
  EXPECT_TRUE(Store->Saves.empty());
  Views().Answer("BVStoreDialog", [](TForm& Form) {
    EXPECT_EQ(Form.Control("FormSetNameEdit").Text, u"Office") << "the stored record's name is proposed";
    Form.Control("Button1").Click();
  });
  // A window of this thread, as the browser's frame is.
  const uint32_t Frame = Windows().CreateWindow("IEFrame", u"", 0);
  Store->ExecCommand(Frame, 1);
  ASSERT_EQ(Store->Saves.size(), 1u);
  EXPECT_EQ(Store->Saves[0].Name, u"Office");
  // Confirming with on-submit action "nothing" stores nothing more.
  ConfirmAs(*D, u"alice", u"pa55");
  EXPECT_EQ(Store->Saves.size(), 1u);
  Windows().Destroy(Elsewhere);
  Windows().Destroy(Frame);
}

TEST_F(CredentialDialog, NamesAndPasswordsBeyondTheCodePageTravelWhole) {
  StartStore([](TBVOptions& O) { O.SubmitAction = 2; });
  SetProfile(u"\u0416\u0435\u043D\u044F", u"\u5BC6\u7801");
  OpenWindow();
  auto D = ClassicDialog(u"intranet.example");
  Pump();
  EXPECT_EQ(Text(D->User), u"\u0416\u0435\u043D\u044F");
  EXPECT_EQ(Text(D->Password), u"\u5BC6\u7801");
  ConfirmAs(*D, u"\u0416\u0435\u043D\u044F", u"\u5BC6\u7801!");
  ASSERT_EQ(Store->Saves.size(), 1u);
  EXPECT_EQ(Store->Saves[0].Data, AuthRecordData(u"\u0416\u0435\u043D\u044F", u"Username", u"\u5BC6\u7801!", u""));
}

TEST_F(CredentialDialog, WindowsOfOneThreadShareAnAgentThatGoesWithTheirLastHelperAndItsHooks) {
  StartStore();
  const uint32_t Thread = Windows().CurrentThreadId();
  const int HooksBefore = Windows().HookCount(Thread);
  TKXBrowserHelperObject& First = OpenWindow();
  EXPECT_TRUE(First.AuthRegistered());
  TAuthAgent* Shared = &Agent();
  OpenWindow();
  EXPECT_EQ(&Agent(), Shared);
  EXPECT_EQ(Shared->Helpers().size(), 2u);
  EXPECT_EQ(Windows().HookCount(Thread), HooksBefore + 2) << "one hook of each kind";
  EXPECT_EQ(WindowMessageHooks()->UseCount(), 2u);
  // Attaching again re-registers without counting twice.
  Helpers[1]->SetSite(Browsers[1]);
  EXPECT_EQ(WindowMessageHooks()->UseCount(), 2u);
  CloseWindow(1);
  EXPECT_EQ(AuthAgentList()->CurrentAgent(), Shared);
  EXPECT_EQ(Windows().HookCount(Thread), HooksBefore + 2);
  EXPECT_EQ(InputHooks()->UseCount(), 1u);
  Helpers.clear();
  EXPECT_EQ(AuthAgentList()->CurrentAgent(), nullptr);
  EXPECT_EQ(Windows().HookCount(Thread), HooksBefore);
}

TEST_F(CredentialDialog, EachUserInterfaceThreadGetsAnAgentOfItsOwn) {
  StartStore();
  SetProfile(u"bob", u"hunter2");
  OpenWindow();
  const uint32_t MainThread = Windows().CurrentThreadId();
  uint32_t OtherThread = 0, OtherAgentThread = 0;
  WideString FilledThere;
  std::thread([&] {
    OtherThread = Windows().CurrentThreadId();
    auto Browser = headless::THeadlessBrowser::CreateTop(Pages);
    auto Helper = std::make_shared<TKXBrowserHelperObject>();
    Helper->SetSite(Browser);
    EXPECT_EQ(AuthAgentList()->Count(), 2);
    OtherAgentThread = AuthAgentList()->CurrentAgent()->ThreadId();
    EXPECT_EQ(Windows().HookCount(OtherThread), 2);
    auto D = ClassicDialog(u"intranet.example");
    Pump();
    FilledThere = Windows().WindowTextWide(D->User);
    D->Close();
    Pump();
    Helper.reset();
    EXPECT_EQ(Windows().HookCount(OtherThread), 0) << "the last helper of the thread took its hooks along";
  }).join();
  EXPECT_EQ(OtherAgentThread, OtherThread);
  EXPECT_EQ(FilledThere, u"bob");
  EXPECT_EQ(AuthAgentList()->Count(), 1);
  EXPECT_EQ(Agent().ThreadId(), MainThread);
  EXPECT_EQ(Agent().Dialog(), 0u) << "the other thread's dialog was not this agent's";
}

}  // namespace
}  // namespace pel::test
