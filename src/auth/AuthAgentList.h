#pragma once
// The credential dialog agents of the process, one per browser user-interface thread with a
// registered helper, and the two thread hooks that tell them about that thread's windows and input.
// The hooks call in from the hooked threads while other threads register and unregister helpers;
// a recursive lock serialises every scan of the list (a hook may fire inside a registration on the
// same thread), and nothing waits for another thread while holding it.

#include <memory>
#include <mutex>
#include <vector>

#include "AuthAgent.h"
#include "HookManager.h"
#include "helper/CredentialDialogAgents.h"

namespace pel {

class TAuthAgentList : public ICredentialDialogAgents {
public:
  TAuthAgentList() = default;
  ~TAuthAgentList() override;

  void RegisterHelper(TKXBrowserHelperObject* Helper) override;
  void UnregisterHelper(TKXBrowserHelperObject* Helper) override;

  // Notifications of the hook procedures, on the thread that owns the window.
  void WindowCreated(uint32_t Wnd);
  void WindowDestroyed(uint32_t Wnd);
  void WindowHiding(uint32_t Wnd);
  void EnterPressed(uint32_t Wnd);
  void OkReleased(uint32_t Wnd);

  // The calling thread's agent, or null.
  TAuthAgent* CurrentAgent();
  int Count();

private:
  TAuthAgent* FindThread(uint32_t ThreadId);
  std::vector<std::unique_ptr<TAuthAgent>> FAgents;
  std::recursive_mutex FLock;
};

// The module's objects: made when the module loads (the two hook managers, then the list, which
// is also installed as the helpers' registry) and freed when it unloads (the list first).
void CreateAuthModuleObjects();
void DestroyAuthModuleObjects();
TAuthAgentList* AuthAgentList();
THookManager* WindowMessageHooks();
THookManager* InputHooks();

}  // namespace pel
