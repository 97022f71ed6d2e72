#include "Win32Windows.h"

#include <mapi.h>

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

}  // namespace

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
