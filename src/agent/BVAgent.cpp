#include "BVAgent.h"

#include <iterator>
#include <span>

#include "platform/ConnectionPoints.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel {

namespace {

using TAgentCall = void (*)(IBrivaneAgent& Agent);
using TAgentState = bool (*)(IBrivaneAgent& Agent);

struct TSubAction {
  int32_t CaptionID;
  TAgentCall Execute;
};

struct TAction {
  int32_t CaptionID;  // resource string
  BVActionType Type;
  const char16_t* IconName;
  const char16_t* GrayIconName;
  TAgentCall Execute;   // null: the action runs nothing itself (the menu)
  TAgentState Checked;  // null: never checked
  std::span<const TSubAction> SubActions;
};

constexpr TSubAction AddToProfileActions[] = {
    {65178, [](IBrivaneAgent& A) { A.AddSynonym(); }},
    {65179, [](IBrivaneAgent& A) { A.AddValue(); }},
    {65180, [](IBrivaneAgent& A) { A.AddAllValues(); }},
};

// The two check actions flip the agent's state and show it.
void ToggleActive(IBrivaneAgent& A) { A.SetActive(!A.GetActive()); }
bool IsActive(IBrivaneAgent& A) { return A.GetActive(); }
void ToggleRecording(IBrivaneAgent& A) { A.SetRecording(!A.GetRecording()); }
bool IsRecording(IBrivaneAgent& A) { return A.GetRecording(); }

// The toolbar's actions in the order it shows them; a client may keep indices, so the order is fixed.
constexpr TAction Actions[] = {
    {65197, atCheck, u"Z100", u"Z101", ToggleActive, IsActive, {}},
    {65199, atButton, u"Z104", u"Z105", [](IBrivaneAgent& A) { A.ShowManager(u"", u"", u""); }, nullptr, {}},
    {65168, atButton, u"Z106", u"Z107", [](IBrivaneAgent& A) { A.SaveForms(); }, nullptr, {}},
    {65169, atButton, u"Z108", u"Z109", [](IBrivaneAgent& A) { A.FillForm(); }, nullptr, {}},
    {65170, atButton, u"Z110", u"Z111", [](IBrivaneAgent& A) { A.BindField(); }, nullptr, {}},
    {65171, atButton, u"Z112", u"Z113", [](IBrivaneAgent& A) { A.UnbindField(); }, nullptr, {}},
    {65172, atMenu, u"Z114", u"Z115", nullptr, nullptr, AddToProfileActions},
    {65173, atButton, u"Z116", u"Z117", [](IBrivaneAgent& A) { A.ClearForms(); }, nullptr, {}},
    {65174, atCheck, u"Z118", u"Z119", ToggleRecording, IsRecording, {}},
    {65177, atButton, u"Z124", u"Z125", [](IBrivaneAgent& A) { A.ShowOptions(); }, nullptr, {}},
};
constexpr int32_t ActionTotal = static_cast<int32_t>(std::size(Actions));
static_assert(ActionTotal == 10);

const TAction* ActionAt(int32_t Index) { return Index >= 0 && Index < ActionTotal ? &Actions[Index] : nullptr; }

const TSubAction* SubActionAt(int32_t Index, int32_t SubIndex) {
  const TAction* Action = ActionAt(Index);
  if (!Action || SubIndex < 0 || static_cast<size_t>(SubIndex) >= Action->SubActions.size()) return nullptr;
  return &Action->SubActions[static_cast<size_t>(SubIndex)];
}

// The resource text, in the user's language when the agent has the store's translation.
WideString CaptionOf(int32_t ID, IBrivaneAgent* Agent) {
  WideString Caption = Resources().LoadStr(ID);
  return Agent ? Agent->TranslateCaption(Caption) : Caption;
}

}  // namespace

void TBVAgent::SetWindow(const std::shared_ptr<IInterface>& Window) {
  FWindow = Window;
  FBrowser.reset();
  auto Provider = Supports<IServiceProvider>(Window);
  if (!Provider) throw EOleSysError("The window object offers no services to find its browser by", HR_E_NOINTERFACE);
  auto Browser = Supports<IWebBrowser2>(Provider->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2));
  if (!Browser) throw EOleSysError("The window's browser service answered no browser", HR_E_NOINTERFACE);
  FBrowser = std::move(Browser);
}

std::shared_ptr<IBrivaneAgent> TBVAgent::FindAgent() const {
  if (!FBrowser) return nullptr;
  try {
    const TVariant Published = FBrowser->GetProperty(AgentPropertyName);
    if (Published.IsEmpty()) return nullptr;
    return Supports<IBrivaneAgent>(Published.AsObject());
  } catch (const Exception&) {
    // A browser that cannot answer, or a value that is no object: the window has no agent to
    // show, which the toolbar shows as disabled actions, not as an error.
    return nullptr;
  }
}

int32_t TBVAgent::ActionCount() const { return ActionTotal; }

void TBVAgent::GetActionData(int32_t Index, BVActionType& Type, WideString& IconName, WideString& GrayIconName) const {
  Type = atButton;
  IconName.clear();
  GrayIconName.clear();
  const TAction* Action = ActionAt(Index);
  if (!Action) return;
  Type = Action->Type;
  IconName = Action->IconName;
  GrayIconName = Action->GrayIconName;
}

void TBVAgent::ExecuteAction(int32_t Index) {
  const TAction* Action = ActionAt(Index);
  if (!Action || !Action->Execute) return;
  auto Agent = FindAgent();
  if (Agent && Agent->GetConnected()) Action->Execute(*Agent);
}

int32_t TBVAgent::SubActionCount(int32_t Index) const {
  const TAction* Action = ActionAt(Index);
  return Action ? static_cast<int32_t>(Action->SubActions.size()) : 0;
}

void TBVAgent::ExecuteSubAction(int32_t Index, int32_t SubIndex) {
  const TSubAction* Sub = SubActionAt(Index, SubIndex);
  if (!Sub) return;
  auto Agent = FindAgent();
  if (Agent && Agent->GetConnected()) Sub->Execute(*Agent);
}

bool TBVAgent::GetGUIActive() {
  auto Agent = FindAgent();
  return Agent && Agent->GetGUIActive();
}

void TBVAgent::SetGUIActive(bool Value) {
  if (auto Agent = FindAgent()) Agent->SetGUIActive(Value);
}

void TBVAgent::GetActionState(int32_t Index, WideString& Caption, WideString& Hint, bool& Enabled, bool& Checked) {
  Caption.clear();
  Hint.clear();
  Enabled = false;
  Checked = false;
  const TAction* Action = ActionAt(Index);
  if (!Action) return;
  auto Agent = FindAgent();
  // Asked before the caption: connecting loads the store's translations, so the first state
  // asked once the store runs already reads in the user's language, as its Enabled says.
  const bool Connected = Agent && Agent->GetConnected();
  Caption = CaptionOf(Action->CaptionID, Agent.get());
  Hint = Caption;
  Enabled = Connected;
  Checked = Connected && Action->Checked && Action->Checked(*Agent);
}

void TBVAgent::GetSubActionState(int32_t Index, int32_t SubIndex, WideString& Caption, WideString& Hint) {
  Caption.clear();
  Hint.clear();
  const TSubAction* Sub = SubActionAt(Index, SubIndex);
  if (!Sub) return;
  Caption = CaptionOf(Sub->CaptionID, FindAgent().get());
  Hint = Caption;
}

}  // namespace pel
