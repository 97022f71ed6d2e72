#include "CredentialDialogAgents.h"

#include <atomic>

namespace pel {

namespace {
std::atomic<ICredentialDialogAgents*> Installed{nullptr};
}

void SetCredentialDialogAgents(ICredentialDialogAgents* Agents) { Installed = Agents; }

ICredentialDialogAgents* CredentialDialogAgents() { return Installed; }

}  // namespace pel
