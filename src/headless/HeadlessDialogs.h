#pragma once
// Dialogs on the headless platform: nobody sits at the screen, so whoever drives the add-on (a
// test, the command-line tool) answers them with scripts. A script is queued for a form by its
// name and acts on the form as a user would (types into an edit, clicks a box, presses OK or
// Escape); a modal form that no script answers is cancelled, since nothing was confirmed.

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/Forms.h"

namespace pel::headless {

class THeadlessDialogViews : public IDialogViews {
public:
  using TScript = std::function<void(TForm& Form)>;

  // Answers the next showing of the form of that name (TForm::Name); scripts run in the order
  // they were queued.
  void Answer(const AnsiString& FormName, TScript Script);
  // Drops every queued script, and forgets the forms shown.
  void Clear();
  // Drops the scripts still queued and names their forms, one entry per script: an answer nobody
  // took means its dialog never opened, so whatever the script would have checked went unchecked.
  std::vector<AnsiString> DropUnused();
  // Names of the forms shown so far, in order (modal and modeless), for whoever checks what a
  // user would have seen.
  std::vector<AnsiString> Shown() const;

  int32_t ShowModal(TForm& Form, uint32_t Owner) override;
  void Show(TForm& Form, uint32_t Owner) override;
  void Hide(TForm& Form) override;

private:
  bool TakeScript(const AnsiString& FormName, TScript& Script);

  mutable std::mutex FLock;
  std::map<AnsiString, std::deque<TScript>> FScripts;
  std::vector<AnsiString> FShown;
};

// The binding's views, for tests and tools that queue answers.
THeadlessDialogViews& HeadlessDialogViews();

}  // namespace pel::headless
