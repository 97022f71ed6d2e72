#pragma once
// The agent's non-modal notice: an information with "Ok" or a confirmation with "Yes" and "No",
// centred on the browser window, whose answer goes back through OnAnswer. The form's modal result
// carries the answer although the form is never shown modally.

#include <functional>

#include "platform/Forms.h"

namespace pel {

class TBVMessageDialog : public TForm {
public:
  using TAnswerEvent = std::function<void(TBVMessageDialog& Sender, int32_t Answer)>;

  TBVMessageDialog();
  ~TBVMessageDialog() override;

  // The window the dialog is centred on when shown (0: stays where it is).
  void SetAnchorWindow(uint32_t Wnd) { FAnchorWindow = Wnd; }
  uint32_t AnchorWindow() const { return FAnchorWindow; }
  void SetOnAnswer(TAnswerEvent Handler) { FOnAnswer = std::move(Handler); }

  // Window properties for the view: above every other window, owned by the desktop, no task-bar
  // button.
  static constexpr bool TopMost = true;
  static constexpr bool ToolWindow = true;

  TControl& Panel2;
  TControl& GroupBox1;
  TControl& Panel3;
  TControl& Memo1;
  TControl& Panel1;
  TControl& OkPanel;
  TControl& OkButton;
  TControl& YesNoPanel;
  TControl& YesButton;
  TControl& NoButton;

private:
  void FormShow();
  void FormClose();

  uint32_t FAnchorWindow = 0;
  TAnswerEvent FOnAnswer;
};

}  // namespace pel
