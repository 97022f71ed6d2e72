// A form store server for the Windows tests (not shipped): serves the core's in-memory store
// double over COM in a process of its own, registered in the running-object table under the
// store's class, as the real server is found. It answers from a fixed table, reports every call
// it received, and takes commands on standard input, one per line:
//   fire                  raise the seven events of the store, in DISPID order
//   calls                 print each call received so far as one line, then "end"
//   quit                  raise OnQuit, revoke the registration and end
// It prints "ready" once it is registered. The end of its input ends it as "quit" does.

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "StoreCallText.h"
#include "platform/EventSource.h"
#include "platform/Services.h"
#include "win32/ComObject.h"

namespace {

using namespace pel;

constexpr UINT WM_COMMAND_LINE = WM_APP + 1;

// The double with events of its own, as the real store raises them.
class TTestStore : public test::TFakePelServer, public TEventSource {
public:
  TTestStore() { AddConnectionPoint(DIID_IPelServerEvents); }
};

void Say(const std::string& Line) {
  std::fputs((Line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void Answer(TTestStore& Store) {
  Store.Answer("FindFieldValue", {u"First name", int32_t{4}, u"Zo\u00EB", u"Zo\u00EB,\u201CZoe\u201D", true, false});
  Store.Answer("GetProfiles", {TVariant(TVariant::TStrings{u"Home", u"B\u00FCro"}), u"B\u00FCro"});
  Store.Answer("GetProfileFields", {TVariant(TVariant::TStrings{u"City", u"", u"Address"}), true});
  Store.Answer("GetNameChoices", {u"1=Card A\r\n0=Card B", u"Card A"});
  Store.Answer("DeleteRecord", {true});
  Store.Fail("Login", "The master password is not right");
  Store.Answer("GetLoggedIn", {true});
  Store.Answer("GetFormCaption", {u"Caption", u"Hint"});
  Store.Answer("GetPageInfo", {u"Title", u"Text"});
  Store.Answer("FindFormCards",
               {TVariant(TVariant::TBytes{1, 0, 0, 0, 2, 0, 0, 0, 'S', 0, 'e', 0, 0, 0, 0, 0}), u"Set", u"Card", true});
  Store.Answer("AddFieldValue", {false});
  Store.Answer("GetDisplayMode", {int32_t{-7}});
  Store.Answer("GetBanner", {TVariant()});
  Store.Answer("GetFormCard", {TVariant(TVariant::TBytes{0x00, 0xFF, 0x80, 0x7F}), false});
  Store.Answer("SaveFormCard", {true, false});
  Store.Answer("FindSavedFormCard", {u"Form card 1"});
  Store.Answer("FindRecord", {u""});
  Store.Answer("SaveRecord", {false, true});
  Store.Answer("GetRecordList", {TVariant(TVariant::TBytes{0, 0, 0, 0}), u"Current"});
  Store.Answer("GetRecord", {TVariant(TVariant::TBytes(70000, 0xA5)), false});
  Store.Answer("GetLexicon", {TVariant(TVariant::TBytes{9, 8, 7})});
  Store.Answer("TranslateStrings", {TVariant(TVariant::TBytes{0, 0, 0, 0})});
  Store.Answer("GetSettings", {int32_t{0x01020304}, true});
  Store.Answer("SetSettings", {true});
}

void FireAll(TTestStore& Store) {
  const TGUID& Events = DIID_IPelServerEvents;
  Store.Fire(Events, DISPID_OnQuit);
  Store.Fire(Events, DISPID_OnLanguageChange);
  Store.Fire(Events, DISPID_OnLogin, {true});
  Store.Fire(Events, DISPID_OnLexiconChange);
  Store.Fire(Events, DISPID_OnDatabaseChange);
  Store.Fire(Events, DISPID_OnSettingsChange, {true});
  // A window handle with its high bit set must arrive as the same 32 bits.
  Store.Fire(Events, DISPID_OnExecCmd, {uint32_t{0xFEDCBA98u}, int32_t{1}});
}

}  // namespace

int main() {
  pel::InstallPlatformBinding();
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;

  // Other processes marshal the interface through its type library, which this program carries.
  wchar_t Path[MAX_PATH];
  GetModuleFileNameW(nullptr, Path, MAX_PATH);
  ITypeLib* Library = nullptr;
  HRESULT Hr = LoadTypeLibEx(Path, REGKIND_REGISTER, &Library);
  if (FAILED(Hr)) {
    Say("cannot register the type library: " + win32::OleErrorMessage(Hr));
    return 3;
  }
  Library->Release();

  auto Store = std::make_shared<TTestStore>();
  Answer(*Store);
  uint32_t Cookie = 0;
  try {
    Cookie = RunningObjects().Register(CLSID_PelServer, std::static_pointer_cast<pel::IPelServer>(Store));
  } catch (const pel::Exception& E) {
    Say("cannot register: " + E.Message());
    return 4;
  }

  // Commands arrive on another thread; the store and its events belong to this one.
  const DWORD MainThread = GetCurrentThreadId();
  MSG Message;
  PeekMessageW(&Message, nullptr, 0, 0, PM_NOREMOVE);  // makes this thread's queue
  std::thread Reader([MainThread] {
    std::string Line;
    while (std::getline(std::cin, Line)) {
      if (!Line.empty() && Line.back() == '\r') Line.pop_back();
      PostThreadMessageW(MainThread, WM_COMMAND_LINE, 0, reinterpret_cast<LPARAM>(new std::string(Line)));
    }
    PostThreadMessageW(MainThread, WM_COMMAND_LINE, 0, reinterpret_cast<LPARAM>(new std::string("quit")));
  });
  Reader.detach();
  Say("ready");

  while (GetMessageW(&Message, nullptr, 0, 0) > 0) {
    if (Message.message != WM_COMMAND_LINE || Message.hwnd) {
      TranslateMessage(&Message);
      DispatchMessageW(&Message);
      continue;
    }
    const std::unique_ptr<std::string> Command(reinterpret_cast<std::string*>(Message.lParam));
    if (*Command == "fire") {
      FireAll(*Store);
      Say("fired");
    } else if (*Command == "calls") {
      for (const auto& Call : Store->Calls) Say(test::CallText(Call));
      Say("end");
    } else if (*Command == "quit") {
      Store->Fire(DIID_IPelServerEvents, DISPID_OnQuit);
      RunningObjects().Revoke(Cookie);
      PostQuitMessage(0);
    } else {
      Say("unknown command: " + *Command);
    }
  }
  CoUninitialize();
  return 0;
}
