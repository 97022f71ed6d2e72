#include "Win32Windows.h"

#include <mapi.h>

#include "platform/Exceptions.h"

#include <mutex>
#include <string>

namespace pel::win32 {

bool TWin32Windows::GetWindowRect(uint32_t Wnd, TRect& Rect) const {
  RECT R;
  if (Wnd == 0 || !::GetWindowRect(WndFromHandle32(Wnd), &R)) return false;
  Rect = {R.left, R.top, R.right, R.bottom};
  return true;
}

namespace {

HMODULE ThisModule() {
  HMODULE Module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &Module);
  return Module;
}

// The hook procedure type is declared in the core with the system's calling convention and
// argument widths; a mismatch would corrupt the stack on every hook call, so it is checked here.
static_assert(sizeof(intptr_t) == sizeof(LRESULT) && sizeof(uintptr_t) == sizeof(WPARAM) &&
              sizeof(intptr_t) == sizeof(LPARAM));

const char MessageWindowClass[] = "TPelMessageWindow";

LRESULT CALLBACK MessageWindowProc(HWND Wnd, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE) {
    auto* Create = reinterpret_cast<CREATESTRUCTA*>(LParam);
    ::SetWindowLongPtrA(Wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(Create->lpCreateParams));
  }
  auto* Handler = reinterpret_cast<IWindowServices::TMessageHandler*>(::GetWindowLongPtrA(Wnd, GWLP_USERDATA));
  if (Message == WM_NCDESTROY && Handler) {
    ::SetWindowLongPtrA(Wnd, GWLP_USERDATA, 0);
    delete Handler;
    Handler = nullptr;
  }
  // The window serves posted messages of the add-on's own range; the system's go their usual way.
  if (Message >= WM_USER && Handler && *Handler) {
    try {
      (*Handler)(Message, WParam, LParam);
    } catch (...) {
      // Nothing may unwind into the system's dispatching.
    }
    return 0;
  }
  return ::DefWindowProcA(Wnd, Message, WParam, LParam);
}

// Classes a library registers outlive its unloading: after a reload the name may still be
// registered with the procedure of the library's earlier image, which is gone. Such a class is
// registered anew.
bool MessageWindowClassReady() {
  WNDCLASSA Existing{};
  if (::GetClassInfoA(ThisModule(), MessageWindowClass, &Existing)) {
    if (Existing.lpfnWndProc == MessageWindowProc) return true;
    ::UnregisterClassA(MessageWindowClass, ThisModule());
  }
  WNDCLASSA Class{};
  Class.lpfnWndProc = MessageWindowProc;
  Class.hInstance = ThisModule();
  Class.lpszClassName = MessageWindowClass;
  return ::RegisterClassA(&Class) != 0;
}

}  // namespace

uint32_t TWin32Windows::CurrentThreadId() const { return ::GetCurrentThreadId(); }

uint32_t TWin32Windows::WindowThreadId(uint32_t Wnd) const {
  return Wnd ? ::GetWindowThreadProcessId(WndFromHandle32(Wnd), nullptr) : 0;
}

AnsiString TWin32Windows::ClassName(uint32_t Wnd) const {
  char Buffer[260];
  const int Length = ::GetClassNameA(WndFromHandle32(Wnd), Buffer, sizeof Buffer);
  return Length > 0 ? AnsiString(Buffer, static_cast<size_t>(Length)) : AnsiString();
}

uint32_t TWin32Windows::NextChild(uint32_t Parent, uint32_t After) const {
  return Handle32FromWnd(::FindWindowExA(WndFromHandle32(Parent), WndFromHandle32(After), nullptr, nullptr));
}

AnsiString TWin32Windows::WindowTextAnsi(uint32_t Wnd) const {
  const HWND Window = WndFromHandle32(Wnd);
  const int Length = ::GetWindowTextLengthA(Window);
  if (Length <= 0) return AnsiString();
  AnsiString Text(static_cast<size_t>(Length) + 1, '\0');
  Text.resize(static_cast<size_t>(::GetWindowTextA(Window, Text.data(), Length + 1)));
  return Text;
}

void TWin32Windows::SetWindowTextAnsi(uint32_t Wnd, const AnsiString& Text) const {
  ::SetWindowTextA(WndFromHandle32(Wnd), Text.c_str());
}

WideString TWin32Windows::WindowTextWide(uint32_t Wnd) const {
  const HWND Window = WndFromHandle32(Wnd);
  const int Length = ::GetWindowTextLengthW(Window);
  if (Length <= 0) return WideString();
  std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
  Text.resize(static_cast<size_t>(::GetWindowTextW(Window, Text.data(), Length + 1)));
  return WideString(reinterpret_cast<const char16_t*>(Text.data()), Text.size());
}

void TWin32Windows::SetWindowTextWide(uint32_t Wnd, const WideString& Text) const {
  ::SetWindowTextW(WndFromHandle32(Wnd), reinterpret_cast<const wchar_t*>(Text.c_str()));
}

bool TWin32Windows::PostMessageTo(uint32_t Wnd, uint32_t Message, uintptr_t WParam, intptr_t LParam) const {
  return ::PostMessageA(WndFromHandle32(Wnd), Message, WParam, LParam) != FALSE;
}

void TWin32Windows::WindowsVersion(uint32_t& Major, uint32_t& Minor) const {
  const DWORD Version = ::GetVersion();
  Major = LOBYTE(LOWORD(Version));
  Minor = HIBYTE(LOWORD(Version));
}

uintptr_t TWin32Windows::SetThreadHook(int32_t HookType, THookProc Proc, uint32_t ThreadId) const {
  return reinterpret_cast<uintptr_t>(::SetWindowsHookExA(HookType, reinterpret_cast<HOOKPROC>(Proc), nullptr, ThreadId));
}

bool TWin32Windows::Unhook(uintptr_t Hook) const {
  return ::UnhookWindowsHookEx(reinterpret_cast<HHOOK>(Hook)) != FALSE;
}

intptr_t TWin32Windows::CallNextHook(uintptr_t Hook, int32_t Code, uintptr_t WParam, intptr_t LParam) const {
  return ::CallNextHookEx(reinterpret_cast<HHOOK>(Hook), Code, WParam, LParam);
}

THookedMessage TWin32Windows::ReadHookMessage(int32_t HookType, intptr_t LParam) const {
  THookedMessage Result;
  if (!LParam) return Result;
  if (HookType == WH_CALLWNDPROCRET) {
    const auto* Call = reinterpret_cast<const CWPRETSTRUCT*>(LParam);
    Result = {Handle32FromWnd(Call->hwnd), Call->message, Call->wParam, Call->lParam, 0};
    if (Call->message == WM_WINDOWPOSCHANGING && Call->lParam)
      Result.PosFlags = reinterpret_cast<const WINDOWPOS*>(Call->lParam)->flags;
  } else if (HookType == WH_GETMESSAGE) {
    const auto* Msg = reinterpret_cast<const MSG*>(LParam);
    Result = {Handle32FromWnd(Msg->hwnd), Msg->message, Msg->wParam, Msg->lParam, 0};
  }
  return Result;
}

uint32_t TWin32Windows::CreateMessageWindow(TMessageHandler Handler) const {
  auto* Held = new TMessageHandler(std::move(Handler));
  // A hidden top-level window (no WS_CHILD, never shown): it only receives posted messages.
  HWND Window = MessageWindowClassReady()
                    ? ::CreateWindowExA(0, MessageWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        ThisModule(), Held)
                    : nullptr;
  if (!Window) {
    // Whether the window got as far as taking the handler (it frees it as it goes) is not known
    // here: a failed creation leaves the handler to leak rather than risk freeing it twice.
    throw EOleSysError("The message window could not be made", static_cast<int32_t>(HRESULT_FROM_WIN32(::GetLastError())));
  }
  return Handle32FromWnd(Window);
}

void TWin32Windows::DestroyMessageWindow(uint32_t Wnd) const { ::DestroyWindow(WndFromHandle32(Wnd)); }

WideString TWin32Resources::LoadStr(int32_t ID) const {
  // A zero buffer size answers a read-only pointer to the string itself, however long it is.
  const wchar_t* Text = nullptr;
  int Length = ::LoadStringW(ThisModule(), static_cast<UINT>(ID), reinterpret_cast<LPWSTR>(&Text), 0);
  if (Length <= 0 || !Text) return WideString();
  return WideString(reinterpret_cast<const char16_t*>(Text), static_cast<size_t>(Length));
}

namespace {

bool SimpleMapiDeclared() {
  char Value[8] = {};
  DWORD Size = sizeof Value;
  if (::RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", "MAPI", RRF_RT_REG_SZ,
                     nullptr, Value, &Size) != ERROR_SUCCESS)
    return false;
  return std::string(Value) == "1";
}

// Looked up once; the library stays loaded for the life of the module.
LPMAPISENDMAIL SendMailFunction() {
  static LPMAPISENDMAIL Function = nullptr;
  static std::once_flag Once;
  std::call_once(Once, [] {
    if (!SimpleMapiDeclared()) return;
    if (HMODULE Library = ::LoadLibraryA("MAPI32.DLL"))
      Function = reinterpret_cast<LPMAPISENDMAIL>(reinterpret_cast<void*>(::GetProcAddress(Library, "MAPISendMail")));
  });
  return Function;
}

}  // namespace

bool TWin32Mail::SendMail(const AnsiString& Address, const AnsiString& Subject, const AnsiString& Text) const {
  LPMAPISENDMAIL Send = SendMailFunction();
  if (!Send) return false;
  AnsiString To = Address, Title = Subject, Body = Text;
  MapiRecipDesc Recipient{};
  Recipient.ulRecipClass = MAPI_TO;
  Recipient.lpszAddress = To.data();
  MapiMessage Message{};
  Message.lpszSubject = Title.data();
  Message.lpszNoteText = Body.data();
  Message.nRecipCount = 1;
  Message.lpRecips = &Recipient;
  return Send(0, 0, &Message, MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG, 0) == SUCCESS_SUCCESS;
}

}  // namespace pel::win32
