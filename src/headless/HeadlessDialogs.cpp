#include "HeadlessDialogs.h"

namespace pel::headless {

void THeadlessDialogViews::Answer(const AnsiString& FormName, TScript Script) {
  std::lock_guard<std::mutex> Guard(FLock);
  FScripts[FormName].push_back(std::move(Script));
}

void THeadlessDialogViews::Clear() {
  std::lock_guard<std::mutex> Guard(FLock);
  FScripts.clear();
  FShown.clear();
}

std::vector<AnsiString> THeadlessDialogViews::DropUnused() {
  std::lock_guard<std::mutex> Guard(FLock);
  std::vector<AnsiString> Names;
  for (const auto& [Name, Scripts] : FScripts) Names.insert(Names.end(), Scripts.size(), Name);
  FScripts.clear();
  return Names;
}

std::vector<AnsiString> THeadlessDialogViews::Shown() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FShown;
}

bool THeadlessDialogViews::TakeScript(const AnsiString& FormName, TScript& Script) {
  std::lock_guard<std::mutex> Guard(FLock);
  FShown.push_back(FormName);
  auto It = FScripts.find(FormName);
  if (It == FScripts.end() || It->second.empty()) return false;
  Script = std::move(It->second.front());
  It->second.pop_front();
  return true;
}

int32_t THeadlessDialogViews::ShowModal(TForm& Form, uint32_t) {
  Form.ModalResult = mrNone;
  Form.Opened();
  TScript Script;
  // The script runs outside the lock: it may show another dialog.
  if (TakeScript(Form.Name(), Script)) Script(Form);
  // A script that left the form open has not answered it; nobody else will.
  if (Form.Showing()) Form.Close(Form.ModalResult != mrNone ? Form.ModalResult : mrCancel);
  return Form.ModalResult;
}

void THeadlessDialogViews::Show(TForm& Form, uint32_t) {
  if (Form.Showing()) return;
  Form.ModalResult = mrNone;
  Form.Opened();
  TScript Script;
  if (TakeScript(Form.Name(), Script)) Script(Form);
}

void THeadlessDialogViews::Hide(TForm& Form) { Form.Closed(); }

THeadlessDialogViews& HeadlessDialogViews() {
  static THeadlessDialogViews Views;
  return Views;
}

}  // namespace pel::headless
