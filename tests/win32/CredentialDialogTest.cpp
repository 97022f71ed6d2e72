// The credential dialog as the browser's thread meets it: the library registered and loaded, a
// helper object sited on a browser double of a window of this thread, and the system's credential
// dialog made from a template with the classic layout. The store is a double in this process,
// found by the library in the running-object table. The process runs with the system version the
// classic layout belongs to (the test command sets it).

#include <gtest/gtest.h>

#include <windows.h>

#include <exdisp.h>
#include <functional>
#include <ocidl.h>

#include <map>
#include <string>

#include "BrowserDouble.h"
#include "ComServerTestSupport.h"
#include "Common/Options.h"
#include "Common/StoreStreams.h"
#include "auth/AuthAgent.h"
#include "platform/EventSource.h"
#include "platform/Services.h"
#include "support/FakePelServer.h"

namespace pel::test {
namespace {

const CLSID CLSID_Helper = {0x43640F42, 0x2878, 0x4D4C, {0xBF, 0x62, 0xE4, 0x63, 0xE2, 0x60, 0x2D, 0x5A}};
constexpr int UserID = 100, PasswordID = 101;

// A store that keeps authentication records by site and name and a profile with a user name and
// a password; every other request answers from the double's table.
class TAuthStoreDouble : public TFakePelServer, public TEventSource {
public:
  TAuthStoreDouble() { AddConnectionPoint(DIID_IPelServerEvents); }

  void FindFieldValue(const WideString& Profile, const WideString& TagName, const WideString& InputType,
                      const WideString& Name, const WideString& URL, WideString& ProfileField, int32_t& ValueKind,
                      WideString& Value, WideString& Values, bool& Found, bool& LoginRequired) override {
    TFakePelServer::FindFieldValue(Profile, TagName, InputType, Name, URL, ProfileField, ValueKind, Value, Values,
                                   Found, LoginRequired);
    auto It = ProfileValues.find(Name);
    Found = It != ProfileValues.end();
    ProfileField = Found ? Name : WideString();
    Value = Found ? It->second : WideString();
    LoginRequired = false;
  }
  void GetRecordList(int32_t Kind, const WideString& URLKey, TVariant& List, WideString& Current) override {
    Calls.push_back({"GetRecordList", {Kind, URLKey}});
    TNamePairs Pairs;
    for (const auto& [Key, Data] : Records)
      if (Key.first == URLKey) Pairs.push_back({Key.first, Key.second});
    List = Pairs.empty() ? TVariant() : PairsToVariant(Pairs);
    Current = Pairs.empty() ? WideString() : Defaults[URLKey];
  }
  void GetRecord(int32_t Kind, const WideString& SetName, const WideString& Name, const WideString& URL,
                 TVariant& Data, bool& LoginRequired) override {
    Calls.push_back({"GetRecord", {Kind, SetName, Name, URL}});
    auto It = Records.find({SetName, Name});
    Data = It == Records.end() ? TVariant() : It->second;
    LoginRequired = false;
  }
  void FindRecord(int32_t Kind, const WideString& Key, const TVariant& Data, WideString& Name) override {
    Calls.push_back({"FindRecord", {Kind, Key, Data}});
    Name.clear();
    for (const auto& [K, Stored] : Records)
      if (K.first == Key && Stored == Data) Name = K.second;
  }
  void SaveRecord(int32_t Kind, const WideString& Key, const WideString& Name, const WideString& URL,
                  const TVariant& Data, bool& Saved, bool& LoginRequired) override {
    Calls.push_back({"SaveRecord", {Kind, Key, Name, URL, Data}});
    // As the store does, a record saved without a name gets one.
    Records[{Key, Name.empty() ? u"Record " + IntToWideStr(static_cast<int64_t>(Records.size()) + 1) : Name}] = Data;
    Saved = true;
    LoginRequired = false;
  }

  std::map<std::pair<WideString, WideString>, TVariant> Records;
  std::map<WideString, WideString> Defaults;
  std::map<WideString, WideString> ProfileValues;
};

// The credential dialog's window procedure: OK and Cancel end it as the dialog manager ends a
// dialog, hidden first and then destroyed.
struct TDialogState {
  int OkPresses = 0;
  std::wstring UserAtOk, PasswordAtOk;
};

std::wstring TextOf(HWND Window) {
  wchar_t Buffer[256] = {};
  GetWindowTextW(Window, Buffer, 256);
  return Buffer;
}

INT_PTR CALLBACK CredentialDialogProc(HWND Dialog, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_INITDIALOG) {
    SetWindowLongPtrW(Dialog, DWLP_USER, LParam);
    return TRUE;
  }
  auto* State = reinterpret_cast<TDialogState*>(GetWindowLongPtrW(Dialog, DWLP_USER));
  if (Message == WM_COMMAND && (LOWORD(WParam) == IDOK || LOWORD(WParam) == IDCANCEL)) {
    if (LOWORD(WParam) == IDOK && State) {
      ++State->OkPresses;
      State->UserAtOk = TextOf(GetDlgItem(Dialog, UserID));
      State->PasswordAtOk = TextOf(GetDlgItem(Dialog, PasswordID));
    }
    ShowWindow(Dialog, SW_HIDE);
    DestroyWindow(Dialog);
    return TRUE;
  }
  return FALSE;
}

// An in-memory dialog template: the header, then each control aligned to 32 bits.
class TTemplate {
public:
  TTemplate(const wchar_t* Caption, DWORD Style) {
    Dword(Style);
    Dword(0);
    FCount = FWords.size();
    FWords.push_back(0);
    for (short V : {10, 10, 220, 120}) FWords.push_back(static_cast<WORD>(V));
    FWords.push_back(0);  // no menu
    FWords.push_back(0);  // the dialog class
    Text(Caption);
  }
  void Control(WORD Atom, const wchar_t* Caption, WORD ID, DWORD Style) {
    if (FWords.size() % 2) FWords.push_back(0);
    Dword(Style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    const short Top = static_cast<short>(5 + 9 * FWords[FCount]);
    for (short V : {short{5}, Top, short{120}, short{9}}) FWords.push_back(static_cast<WORD>(V));
    FWords.push_back(ID);
    FWords.push_back(0xFFFF);
    FWords.push_back(Atom);
    Text(Caption);
    FWords.push_back(0);
    ++FWords[FCount];
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(FWords.data()); }

private:
  void Dword(DWORD V) {
    FWords.push_back(LOWORD(V));
    FWords.push_back(HIWORD(V));
  }
  void Text(const wchar_t* S) {
    for (; *S; ++S) FWords.push_back(static_cast<WORD>(*S));
    FWords.push_back(0);
  }
  std::vector<WORD> FWords;
  size_t FCount = 0;
};

constexpr WORD ButtonAtom = 0x0080, EditAtom = 0x0081, StaticAtom = 0x0082;

HWND ClassicDialog(const wchar_t* Site, TDialogState& State, bool OneMore = false) {
  TTemplate T(L"Enter Network Password", WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME);
  T.Control(StaticAtom, L"Please type your user name and password.", 0xFFFF, 0);
  T.Control(StaticAtom, L"Site:", 0xFFFF, 0);
  T.Control(StaticAtom, L"Realm", 0xFFFF, 0);
  T.Control(StaticAtom, Site, 0xFFFF, 0);
  T.Control(StaticAtom, L"Members", 0xFFFF, 0);
  T.Control(StaticAtom, L"User Name", 0xFFFF, 0);
  T.Control(EditAtom, L"", UserID, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL);
  T.Control(StaticAtom, L"Password", 0xFFFF, 0);
  T.Control(EditAtom, L"", PasswordID, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD);
  T.Control(ButtonAtom, L"Save this password in your password list", 102, BS_AUTOCHECKBOX | WS_TABSTOP);
  T.Control(ButtonAtom, L"OK", IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP);
  T.Control(ButtonAtom, L"Cancel", IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP);
  T.Control(StaticAtom, L"", 0xFFFF, 0);
  if (OneMore) T.Control(StaticAtom, L"one more", 0xFFFF, 0);
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), T.Get(), nullptr, CredentialDialogProc,
                                    reinterpret_cast<LPARAM>(&State));
}

// Handles this thread's messages until none is queued; messages of a dialog go through its
// dialog manager, as the system's modal loop does.
void Pump(HWND Dialog = nullptr) {
  MSG Message;
  for (int Guard = 0; Guard < 100000 && PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE); ++Guard) {
    if (Dialog && IsWindow(Dialog) && IsDialogMessageW(Dialog, &Message)) continue;
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
}

// The user types into the dialog and presses Enter in the password field.
void ConfirmAs(HWND Dialog, const wchar_t* User, const wchar_t* Password) {
  SetWindowTextW(GetDlgItem(Dialog, UserID), User);
  SetWindowTextW(GetDlgItem(Dialog, PasswordID), Password);
  PostMessageW(GetDlgItem(Dialog, PasswordID), WM_KEYDOWN, VK_RETURN, 0);
  Pump(Dialog);
}

// A browser window of the calling thread with the library's helper sited on a double of its browser.
class TBrowserWindow {
public:
  TBrowserWindow() {
    FFrame = CreateWindowExW(0, L"STATIC", L"browser", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    FDouble = BrowserDoubleCreate(FFrame, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_Helper, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                               reinterpret_cast<void**>(&FHelper)),
              S_OK);
    if (FHelper) {
      EXPECT_EQ(FHelper->SetSite(BrowserDoubleUnknown(FDouble)), S_OK);
    }
  }
  ~TBrowserWindow() { Close(); }
  // The browser detaches and lets go of its helper, which unregisters as it goes.
  void Close() {
    if (FHelper) {
      FHelper->SetSite(nullptr);
      FHelper->Release();
      FHelper = nullptr;
    }
    if (FDouble) {
      BrowserDoubleClearProperties(FDouble);
      BrowserDoubleUnknown(FDouble)->Release();
      FDouble = nullptr;
    }
    if (FFrame) DestroyWindow(FFrame);
    FFrame = nullptr;
    Pump();
  }

private:
  HWND FFrame = nullptr;
  TBrowserDouble* FDouble = nullptr;
  IObjectWithSite* FHelper = nullptr;
};

DWORD WINAPI RunFunction(LPVOID Body) {
  (*static_cast<std::function<void()>*>(Body))();
  return 0;
}

class CredentialDialogOverCom : public TRegisteredLibrary {
protected:
  void SetUp() override {
    TRegisteredLibrary::SetUp();
    // The store's interface crosses apartments through its type library, which the test server
    // beside this program carries.
    ITypeLib* Library = nullptr;
    ASSERT_EQ(LoadTypeLibEx((ExecutableFolder() + L"pel_test_server.exe").c_str(), REGKIND_REGISTER, &Library), S_OK);
    Library->Release();
    Store = std::make_shared<TAuthStoreDouble>();
    Store->ProfileValues = {{u"Username", u"bob"}, {u"Password", u"hunter2"}};
    Store->Answer("GetProfiles", {TVariant(TVariant::TStrings{u"Home"}), u"Home"});
    SetOptions([](TBVOptions& O) { O.AutoShow = 0; });
    FCookie = RunningObjects().Register(CLSID_PelServer, std::static_pointer_cast<pel::IPelServer>(Store));
  }
  void TearDown() override {
    RunningObjects().Revoke(FCookie);
    Pump();
    TRegisteredLibrary::TearDown();
  }
  // The fill dialog has no window of its own yet in this library: the tests leave it unshown.
  void SetOptions(const std::function<void(TBVOptions&)>& Change) {
    TBVOptions O;
    O.AutoShow = 0;
    Change(O);
    Store->Answer("GetSettings", {PackOptions(O), true});
  }
  void StoreRecord(const WideString& Site, const WideString& Name, const TVariant& Data) {
    Store->Records[{Site, Name}] = Data;
    Store->Defaults[Site] = Name;
  }
  std::vector<TFakePelServer::TCall> Saves() const { return Store->CallsOf("SaveRecord"); }

  std::shared_ptr<TAuthStoreDouble> Store;
  uint32_t FCookie = 0;
};

TEST_F(CredentialDialogOverCom, TheProcessRunsTheClassicLayoutsSystemVersion) {
  const DWORD Version = GetVersion();
  const int Major = LOBYTE(LOWORD(Version)), Minor = HIBYTE(LOWORD(Version));
  EXPECT_TRUE(Major < 5 || (Major == 5 && Minor == 0)) << Major << "." << Minor;
}

TEST_F(CredentialDialogOverCom, FilledFromTheSitesRecordElseFromTheProfile) {
  StoreRecord(u"intranet.example", u"Office", AuthRecordData(u"alice", u"Username", u"pa55", u"Password"));
  TBrowserWindow Browser;
  TDialogState State;
  HWND Dialog = ClassicDialog(L"intranet.example", State);
  ASSERT_NE(Dialog, nullptr);
  Pump(Dialog);
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, UserID)), L"alice");
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, PasswordID)), L"pa55");
  EXPECT_EQ(State.OkPresses, 0) << "no automatic OK without auto submit";
  PostMessageW(Dialog, WM_COMMAND, IDCANCEL, 0);
  Pump(Dialog);
  EXPECT_FALSE(IsWindow(Dialog));

  HWND Other = ClassicDialog(L"other.example", State);
  Pump(Other);
  EXPECT_EQ(TextOf(GetDlgItem(Other, UserID)), L"bob");
  EXPECT_EQ(TextOf(GetDlgItem(Other, PasswordID)), L"hunter2");
  DestroyWindow(Other);
  Pump();
  EXPECT_TRUE(Saves().empty()) << "nothing confirmed, nothing stored";
}

TEST_F(CredentialDialogOverCom, AutoSubmitPressesOkOnce) {
  SetOptions([](TBVOptions& O) { O.AutoSubmit = 1; });
  StoreRecord(u"intranet.example", u"Office", AuthRecordData(u"alice", u"", u"pa55", u""));
  TBrowserWindow Browser;
  TDialogState State;
  HWND Dialog = ClassicDialog(L"intranet.example", State);
  Pump(Dialog);
  EXPECT_EQ(State.OkPresses, 1);
  EXPECT_EQ(State.UserAtOk, L"alice");
  EXPECT_EQ(State.PasswordAtOk, L"pa55");
  EXPECT_FALSE(IsWindow(Dialog));
  // The same again is a loop: the second dialog is left to the user.
  TDialogState Second;
  HWND Again = ClassicDialog(L"intranet.example", Second);
  Pump(Again);
  EXPECT_EQ(Second.OkPresses, 0);
  DestroyWindow(Again);
  Pump();
  EXPECT_TRUE(Saves().empty()) << "what the agent confirmed itself is not stored";
}

TEST_F(CredentialDialogOverCom, ConfirmedCredentialsAreSavedOnceAsAnAuthenticationRecord) {
  SetOptions([](TBVOptions& O) { O.SubmitAction = 2; });
  TBrowserWindow Browser;
  TDialogState State;
  HWND Dialog = ClassicDialog(L"intranet.example", State);
  Pump(Dialog);
  ConfirmAs(Dialog, L"carol", L"n3w-pass");
  EXPECT_EQ(State.OkPresses, 1);
  auto Saved = Saves();
  ASSERT_EQ(Saved.size(), 1u);
  EXPECT_EQ(Saved[0].Args[0], TVariant(int32_t{3}));
  EXPECT_EQ(Saved[0].Args[1], TVariant(u"intranet.example"));
  EXPECT_EQ(Saved[0].Args[4], AuthRecordData(u"carol", u"", u"n3w-pass", u""));
  // Confirmed again with the same credentials: they are stored already.
  HWND Again = ClassicDialog(L"intranet.example", State);
  Pump(Again);
  ConfirmAs(Again, L"carol", L"n3w-pass");
  EXPECT_EQ(State.OkPresses, 2);
  EXPECT_EQ(Saves().size(), 1u);
}

TEST_F(CredentialDialogOverCom, NamesBeyondTheSystemCodePageAreWrittenAndSavedWhole) {
  SetOptions([](TBVOptions& O) { O.SubmitAction = 2; });
  Store->ProfileValues = {{u"Username", u"\u0416\u0435\u043D\u044F"}, {u"Password", u"\u5BC6\u7801"}};
  TBrowserWindow Browser;
  TDialogState State;
  HWND Dialog = ClassicDialog(L"intranet.example", State);
  Pump(Dialog);
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, UserID)), L"\u0416\u0435\u043D\u044F");
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, PasswordID)), L"\u5BC6\u7801");
  ConfirmAs(Dialog, L"\u0416\u0435\u043D\u044F", L"\u5BC6\u7801!");
  auto Saved = Saves();
  ASSERT_EQ(Saved.size(), 1u);
  EXPECT_EQ(Saved[0].Args[4], AuthRecordData(u"\u0416\u0435\u043D\u044F", u"Username", u"\u5BC6\u7801!", u""));
}

TEST_F(CredentialDialogOverCom, ADialogWithOneMoreChildOrAnEmptySiteIsLeftAlone) {
  SetOptions([](TBVOptions& O) { O.SubmitAction = 2; });
  TBrowserWindow Browser;
  for (bool OneMore : {true, false}) {
    TDialogState State;
    HWND Dialog = ClassicDialog(OneMore ? L"intranet.example" : L"", State, OneMore);
    Pump(Dialog);
    EXPECT_EQ(TextOf(GetDlgItem(Dialog, UserID)), L"") << OneMore;
    ConfirmAs(Dialog, L"carol", L"x");
    EXPECT_EQ(State.OkPresses, 1);
  }
  EXPECT_TRUE(Saves().empty());
}

TEST_F(CredentialDialogOverCom, EachUserInterfaceThreadHasItsAgentAndTheLastHelperTakesItAway) {
  TBrowserWindow Main;
  std::wstring FilledThere, FilledAfterClose;
  auto OtherThread = [&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      TBrowserWindow Browser;
      TDialogState State;
      HWND Dialog = ClassicDialog(L"other.example", State);
      Pump(Dialog);
      FilledThere = TextOf(GetDlgItem(Dialog, UserID));
      DestroyWindow(Dialog);
      Pump();
      Browser.Close();
      HWND After = ClassicDialog(L"other.example", State);
      Pump(After);
      FilledAfterClose = TextOf(GetDlgItem(After, UserID));
      DestroyWindow(After);
    }
    CoUninitialize();
  };
  std::function<void()> Body = OtherThread;
  HANDLE Thread = CreateThread(nullptr, 0, RunFunction, &Body, 0, nullptr);
  ASSERT_NE(Thread, nullptr);
  // The other thread's calls to the store come into this thread's apartment: serve them while
  // waiting.
  while (MsgWaitForMultipleObjects(1, &Thread, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) Pump();
  CloseHandle(Thread);
  EXPECT_EQ(FilledThere, L"bob");
  EXPECT_EQ(FilledAfterClose, L"") << "no agent once the thread's last helper is gone";
  // This thread's agent is untouched by the other's going.
  TDialogState State;
  HWND Dialog = ClassicDialog(L"other.example", State);
  Pump(Dialog);
  EXPECT_EQ(TextOf(GetDlgItem(Dialog, UserID)), L"bob");
  DestroyWindow(Dialog);
  Pump();
}

}  // namespace
}  // namespace pel::test
