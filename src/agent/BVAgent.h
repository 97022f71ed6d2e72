#pragma once
// The automation object through which a toolbar living in a browser window (an outside one, or the
// add-on's own) shows the agent's commands as buttons, check buttons and a menu, and runs them.
//
// It keeps nothing of the agent: the client hands it the window object of the browser's page,
// it follows that to the top-level browser, and every call looks the window's agent up afresh on
// the browser, where the helper object publishes it. The helper may come later than the toolbar
// or go before it, and the store may start or quit between two calls, so a kept agent or a kept
// answer would soon be wrong. Without an agent, or while its store is not connected, the actions
// show disabled and do nothing.
//
// Failures raise the core's exceptions; the automation face turns them into result codes.

#include <cstdint>
#include <memory>

#include "IBrivaneAgent.h"
#include "platform/Browser.h"

namespace pel {

enum BVActionType : int32_t { atButton = 0, atCheck = 1, atMenu = 2 };

class TBVAgent {
public:
  // The object last given to SetWindow (null before).
  std::shared_ptr<IInterface> GetWindow() const { return FWindow; }
  // Keeps Window and follows its browser service to the top-level browser. A window without
  // services raises EOleSysError (E_NOINTERFACE), as does a failure of the service; the browser is
  // then empty until a window is set that leads to one.
  void SetWindow(const std::shared_ptr<IInterface>& Window);
  // The browser reached from the window; null until SetWindow succeeded.
  std::shared_ptr<IWebBrowser2> GetBrowser() const { return FBrowser; }

  // Always the ten actions of the table, whatever the agent's state: a toolbar lays its buttons
  // out once.
  int32_t ActionCount() const;
  // Kind and icon resource names of the action; atButton and empty names for an index without one.
  void GetActionData(int32_t Index, BVActionType& Type, WideString& IconName, WideString& GrayIconName) const;
  // Runs the action when the agent is connected to its store; otherwise, and for the menu action
  // and indices without an action, nothing.
  void ExecuteAction(int32_t Index);
  // 3 for the menu action, 0 for the others.
  int32_t SubActionCount(int32_t Index) const;
  // Runs a sub-action of the menu action when connected; anything else does nothing.
  void ExecuteSubAction(int32_t Index, int32_t SubIndex);
  // The agent's flag (connection not needed); false without an agent.
  bool GetGUIActive();
  // Passed to the agent; nothing without one.
  void SetGUIActive(bool Value);
  // Caption and hint are the action's caption, translated by the agent when there is one; Enabled
  // is true exactly when connected; Checked is the state of a check action while connected. An
  // index without an action answers empty texts and false.
  void GetActionState(int32_t Index, WideString& Caption, WideString& Hint, bool& Enabled, bool& Checked);
  // The same texts for a sub-action of the menu action; empty for anything else.
  void GetSubActionState(int32_t Index, int32_t SubIndex, WideString& Caption, WideString& Hint);

private:
  // The agent published on the browser, or null; no failure on the way is reported.
  std::shared_ptr<IBrivaneAgent> FindAgent() const;

  std::shared_ptr<IInterface> FWindow;
  std::shared_ptr<IWebBrowser2> FBrowser;
};

}  // namespace pel
