#include "AuthAgentList.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel {

namespace {

THookManager* MessageHooks = nullptr;
THookManager* KeyHooks = nullptr;
TAuthAgentList* List = nullptr;

// The hook procedures run inside the system's dispatching: nothing may escape them.
intptr_t PEL_STDCALL WindowMessageObserver(int32_t Code, uintptr_t WParam, intptr_t LParam) {
  if (Code == hcAction && List) {
    try {
      const THookedMessage M = WindowServices().ReadHookMessage(whCallWndProcRet, LParam);
      if (M.Message == wmCreate)
        List->WindowCreated(M.Wnd);
      else if (M.Message == wmDestroy)
        List->WindowDestroyed(M.Wnd);
      else if (M.Message == wmWindowPosChanging && (M.PosFlags & swpHideWindow))
        List->WindowHiding(M.Wnd);
    } catch (const Exception&) {
    }
  }
  try {
    return MessageHooks ? MessageHooks->CallNext(Code, WParam, LParam) : 0;
  } catch (const Exception&) {
    return 0;
  }
}

intptr_t PEL_STDCALL InputObserver(int32_t Code, uintptr_t WParam, intptr_t LParam) {
  if (Code == hcAction && List) {
    try {
      const THookedMessage M = WindowServices().ReadHookMessage(whGetMessage, LParam);
      if (M.Message == wmLButtonUp)
        List->OkReleased(M.Wnd);
      else if (M.Message == wmKeyDown && M.WParam == vkReturn)
        List->EnterPressed(M.Wnd);
    } catch (const Exception&) {
    }
  }
  try {
    return KeyHooks ? KeyHooks->CallNext(Code, WParam, LParam) : 0;
  } catch (const Exception&) {
    return 0;
  }
}

}  // namespace

TAuthAgentList::~TAuthAgentList() {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  FAgents.clear();
}

TAuthAgent* TAuthAgentList::FindThread(uint32_t ThreadId) {
  for (auto& Agent : FAgents)
    if (Agent->ThreadId() == ThreadId) return Agent.get();
  return nullptr;
}

TAuthAgent* TAuthAgentList::CurrentAgent() {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  return FindThread(WindowServices().CurrentThreadId());
}

int TAuthAgentList::Count() {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  return static_cast<int>(FAgents.size());
}

void TAuthAgentList::RegisterHelper(TKXBrowserHelperObject* Helper) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  const uint32_t Thread = WindowServices().CurrentThreadId();
  TAuthAgent* Agent = FindThread(Thread);
  if (!Agent) {
    FAgents.push_back(std::make_unique<TAuthAgent>(Thread));
    Agent = FAgents.back().get();
  }
  auto& Helpers = Agent->Helpers();
  if (std::find(Helpers.begin(), Helpers.end(), Helper) == Helpers.end()) Helpers.push_back(Helper);
  MessageHooks->AcquireThread();
  KeyHooks->AcquireThread();
}

void TAuthAgentList::UnregisterHelper(TKXBrowserHelperObject* Helper) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  MessageHooks->ReleaseThread();
  KeyHooks->ReleaseThread();
  TAuthAgent* Agent = FindThread(WindowServices().CurrentThreadId());
  if (!Agent) return;
  std::erase(Agent->Helpers(), Helper);
  if (Agent->Helpers().empty())
    std::erase_if(FAgents, [Agent](const std::unique_ptr<TAuthAgent>& A) { return A.get() == Agent; });
}

void TAuthAgentList::WindowCreated(uint32_t Wnd) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  if (TAuthAgent* Agent = FindThread(WindowServices().CurrentThreadId()))
    WindowServices().PostMessageTo(Agent->Handle(), wmAuthDialogEvent, 0, static_cast<intptr_t>(Wnd));
}

void TAuthAgentList::WindowDestroyed(uint32_t Wnd) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  for (auto& Agent : FAgents)
    if (Agent->Dialog() == Wnd) {
      WindowServices().PostMessageTo(Agent->Handle(), wmAuthDialogEvent, 0, 0);
      return;
    }
}

void TAuthAgentList::WindowHiding(uint32_t Wnd) {
  TAuthAgent* Found = nullptr;
  {
    std::lock_guard<std::recursive_mutex> Guard(FLock);
    for (auto& Agent : FAgents)
      if (Agent->Dialog() == Wnd && Agent->Confirmed()) {
        Found = Agent.get();
        break;
      }
    // Only the agent's own thread destroys it, so the agent of this thread outlives the call below
    // without the lock, which it must not hold: saving may show the store dialog.
    if (Found && Found->ThreadId() != WindowServices().CurrentThreadId()) return;
  }
  if (Found) Found->DialogConfirmed();
}

void TAuthAgentList::EnterPressed(uint32_t Wnd) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  for (auto& Agent : FAgents)
    if (Agent->UserControl() == Wnd || Agent->PasswordControl() == Wnd || Agent->OkButton() == Wnd) {
      Agent->SetConfirmed();
      return;
    }
}

void TAuthAgentList::OkReleased(uint32_t Wnd) {
  std::lock_guard<std::recursive_mutex> Guard(FLock);
  for (auto& Agent : FAgents)
    if (Agent->OkButton() == Wnd) {
      Agent->SetConfirmed();
      return;
    }
}

void CreateAuthModuleObjects() {
  if (List) return;
  MessageHooks = new THookManager(whCallWndProcRet, WindowMessageObserver);
  KeyHooks = new THookManager(whGetMessage, InputObserver);
  List = new TAuthAgentList();
  SetCredentialDialogAgents(List);
}

void DestroyAuthModuleObjects() {
  SetCredentialDialogAgents(nullptr);
  delete List;
  List = nullptr;
  delete MessageHooks;
  MessageHooks = nullptr;
  delete KeyHooks;
  KeyHooks = nullptr;
}

TAuthAgentList* AuthAgentList() { return List; }
THookManager* WindowMessageHooks() { return MessageHooks; }
THookManager* InputHooks() { return KeyHooks; }

}  // namespace pel
