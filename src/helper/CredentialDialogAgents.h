#pragma once
// Where a browser helper object registers so that the credential dialog of its thread is watched.
// The watching lives above the helper (it builds on the helper), so the helper only knows this
// face of it; whoever loads the add-on installs the list once, and without one nothing registers.

namespace pel {

class TKXBrowserHelperObject;

class ICredentialDialogAgents {
public:
  virtual ~ICredentialDialogAgents() = default;
  // Both run on the helper's own thread.
  virtual void RegisterHelper(TKXBrowserHelperObject* Helper) = 0;
  virtual void UnregisterHelper(TKXBrowserHelperObject* Helper) = 0;
};

void SetCredentialDialogAgents(ICredentialDialogAgents* Agents);
ICredentialDialogAgents* CredentialDialogAgents();

}  // namespace pel
