// The Windows binding of the windows port as the credential dialog agent uses it: real thread
// hooks through the hook manager, the messages they report, class names and children of a real
// dialog, window texts through the 8-bit and the wide calls, and the credential-control layout
// recognised on the system version this process runs.

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <vector>

#include "auth/AuthAgent.h"
#include "auth/HookManager.h"
#include "platform/Services.h"
#include "win32/Win32Windows.h"

namespace pel {
namespace {

using win32::Handle32FromWnd;

THookManager* Manager = nullptr;
std::vector<THookedMessage> Seen;

intptr_t PEL_STDCALL Observer(int32_t Code, uintptr_t WParam, intptr_t LParam) {
  if (Code == hcAction) Seen.push_back(WindowServices().ReadHookMessage(Manager->HookType(), LParam));
  return Manager->CallNext(Code, WParam, LParam);
}

int CountOf(uint32_t Wnd, uint32_t Message) {
  int N = 0;
  for (const THookedMessage& M : Seen)
    if (M.Wnd == Wnd && M.Message == Message) ++N;
  return N;
}

HWND MakeWindow(const wchar_t* Class = L"STATIC", HWND Parent = nullptr, const wchar_t* Text = L"",
                DWORD Style = WS_POPUP | WS_VISIBLE) {
  return CreateWindowExW(0, Class, Text, Parent ? (Style | WS_CHILD) & ~WS_POPUP : Style, 0, 0, 100, 20, Parent,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Pump() {
  MSG Message;
  for (int Guard = 0; Guard < 100000 && PeekMessageW(&Message, nullptr, 0, 0, PM_REMOVE); ++Guard) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
}

TEST(Win32ThreadHooks, TheWindowMessageHookSeesCreationHidingAndDestructionOnceHoweverOftenAcquired) {
  THookManager Hooks(whCallWndProcRet, Observer);
  Manager = &Hooks;
  Seen.clear();
  Hooks.AcquireThread();
  Hooks.AcquireThread();
  HWND Window = MakeWindow();
  const uint32_t Wnd = Handle32FromWnd(Window);
  EXPECT_EQ(CountOf(Wnd, wmCreate), 1) << "one hook for two uses";
  ShowWindow(Window, SW_HIDE);
  bool HideSeen = false;
  for (const THookedMessage& M : Seen)
    if (M.Wnd == Wnd && M.Message == wmWindowPosChanging && (M.PosFlags & swpHideWindow)) HideSeen = true;
  EXPECT_TRUE(HideSeen);
  Hooks.ReleaseThread();
  DestroyWindow(Window);
  EXPECT_EQ(CountOf(Wnd, wmDestroy), 1) << "the hook stays while one use is left";
  Hooks.ReleaseThread();
  HWND After = MakeWindow();
  EXPECT_EQ(CountOf(Handle32FromWnd(After), wmCreate), 0) << "the last release removed the hook";
  DestroyWindow(After);
  Manager = nullptr;
}

DWORD WINAPI KeyOnAnotherThread(LPVOID) {
  HWND W = MakeWindow();
  PostMessageW(W, WM_KEYDOWN, VK_RETURN, 0);
  Pump();
  DestroyWindow(W);
  return 0;
}

TEST(Win32ThreadHooks, TheInputHookSeesPostedKeysWithTheirWindowAndEachThreadIsHookedApart) {
  THookManager Hooks(whGetMessage, Observer);
  Manager = &Hooks;
  Seen.clear();
  Hooks.AcquireThread();
  HWND Window = MakeWindow();
  PostMessageW(Window, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(Window, WM_LBUTTONUP, 0, 0);
  Pump();
  bool Enter = false;
  for (const THookedMessage& M : Seen)
    if (M.Wnd == Handle32FromWnd(Window) && M.Message == wmKeyDown && M.WParam == vkReturn) Enter = true;
  EXPECT_TRUE(Enter);
  EXPECT_EQ(CountOf(Handle32FromWnd(Window), wmLButtonUp), 1);
  // Another thread's messages pass no hook of this thread until it acquires its own.
  size_t Before = Seen.size();
  HANDLE Thread = CreateThread(nullptr, 0, KeyOnAnotherThread, nullptr, 0, nullptr);
  WaitForSingleObject(Thread, INFINITE);
  CloseHandle(Thread);
  EXPECT_EQ(Seen.size(), Before);
  Hooks.ReleaseThread();
  DestroyWindow(Window);
  Manager = nullptr;
}

TEST(Win32WindowsPort, ClassNamesChildrenInZOrderThreadsAndTheVersion) {
  HWND Parent = MakeWindow();
  HWND A = MakeWindow(L"Edit", Parent), B = MakeWindow(L"Button", Parent), C = MakeWindow(L"Static", Parent);
  const IWindowServices& W = WindowServices();
  const uint32_t P = Handle32FromWnd(Parent);
  EXPECT_EQ(W.NextChild(P, 0), Handle32FromWnd(A));
  EXPECT_EQ(W.NextChild(P, Handle32FromWnd(A)), Handle32FromWnd(B));
  EXPECT_EQ(W.NextChild(P, Handle32FromWnd(B)), Handle32FromWnd(C));
  EXPECT_EQ(W.NextChild(P, Handle32FromWnd(C)), 0u);
  EXPECT_EQ(W.ClassName(Handle32FromWnd(A)), "Edit");
  EXPECT_EQ(W.ClassName(Handle32FromWnd(B)), "Button");
  EXPECT_EQ(W.WindowThreadId(P), GetCurrentThreadId());
  EXPECT_EQ(W.CurrentThreadId(), GetCurrentThreadId());
  uint32_t Major = 0, Minor = 0;
  W.WindowsVersion(Major, Minor);
  EXPECT_EQ(Major, LOBYTE(LOWORD(GetVersion())));
  EXPECT_EQ(Minor, HIBYTE(LOWORD(GetVersion())));
  DestroyWindow(Parent);
  EXPECT_EQ(W.WindowThreadId(P), 0u);
}

TEST(Win32WindowsPort, ControlTextKeepsWhatTheCodePageCannotCarry) {
  HWND Edit = MakeWindow(L"Edit");
  const uint32_t Wnd = Handle32FromWnd(Edit);
  ASSERT_EQ(GetACP(), 1252u) << "the cases below are chosen for this code page";
  for (const WideString& Text : {WideString(u"plain"), WideString(u"K\u00F6nig"),
                                 WideString(u"\u0416\u0435\u043D\u044F"), WideString(u"what?")}) {
    WriteControlText(Wnd, Text);
    EXPECT_EQ(WindowServices().WindowTextWide(Wnd), Text);
    EXPECT_EQ(ReadControlText(Wnd), Text);
  }
  // The 8-bit call alone would have lost the letters.
  EXPECT_EQ(WindowServices().WindowTextAnsi(Wnd), "what?");
  SetWindowTextW(Edit, L"\u0416\u0435\u043D\u044F");
  EXPECT_EQ(WindowServices().WindowTextAnsi(Wnd), "????");
  EXPECT_EQ(ReadControlText(Wnd), u"\u0416\u0435\u043D\u044F");
  DestroyWindow(Edit);
}

LRESULT CALLBACK ContainerProc(HWND Wnd, UINT Message, WPARAM WParam, LPARAM LParam) {
  return DefWindowProcW(Wnd, Message, WParam, LParam);
}

TEST(Win32CredentialDialog, TheCredentialControlLayoutIsRecognisedOnThisSystemsVersion) {
  const DWORD Version = GetVersion();
  if (LOBYTE(LOWORD(Version)) < 5 || (LOBYTE(LOWORD(Version)) == 5 && HIBYTE(LOWORD(Version)) == 0))
    GTEST_SKIP() << "this process runs a system version of the classic layout";
  INITCOMMONCONTROLSEX Controls{sizeof Controls, ICC_USEREX_CLASSES};
  ASSERT_TRUE(InitCommonControlsEx(&Controls));
  WNDCLASSW Class{};
  Class.lpfnWndProc = ContainerProc;
  Class.hInstance = GetModuleHandleW(nullptr);
  Class.lpszClassName = L"SysCredential";
  RegisterClassW(&Class);
  auto Make = [](bool OneMore, const wchar_t* Title) {
    HWND Dialog = CreateWindowExW(0, L"#32770", Title, WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 300, 200, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
    MakeWindow(L"Edit", Dialog);
    HWND Container = MakeWindow(L"SysCredential", Dialog);
    MakeWindow(L"Button", Dialog, L"OK");
    MakeWindow(L"Button", Dialog, L"Cancel");
    MakeWindow(L"Static", Dialog);
    if (OneMore) MakeWindow(L"Static", Dialog);
    MakeWindow(L"Static", Container, L"User name:");
    MakeWindow(WC_COMBOBOXEXW, Container);
    MakeWindow(L"Static", Container, L"Password:");
    MakeWindow(L"Edit", Container);
    MakeWindow(L"Button", Container, L"Remember my password");
    return Dialog;
  };
  HWND Dialog = Make(false, L"Connect to intranet.example");
  TDlgData Data;
  ASSERT_TRUE(Recognise(Handle32FromWnd(Dialog), Data));
  EXPECT_EQ(Data.Site, "intranet.example");
  HWND Container = FindWindowExW(Dialog, nullptr, L"SysCredential", nullptr);
  EXPECT_EQ(Data.UserControl, Handle32FromWnd(FindWindowExW(Container, nullptr, WC_COMBOBOXEXW, nullptr)));
  EXPECT_EQ(Data.PasswordControl, Handle32FromWnd(FindWindowExW(Container, nullptr, L"Edit", nullptr)));
  EXPECT_EQ(Data.OkButton, Handle32FromWnd(FindWindowExW(Dialog, nullptr, L"Button", L"OK")));
  HWND Longer = Make(true, L"Connect to intranet.example");
  HWND Untitled = Make(false, L"Connect to ");
  EXPECT_FALSE(Recognise(Handle32FromWnd(Longer), Data));
  EXPECT_FALSE(Recognise(Handle32FromWnd(Untitled), Data));
  for (HWND W : {Dialog, Longer, Untitled}) DestroyWindow(W);
}

}  // namespace
}  // namespace pel
