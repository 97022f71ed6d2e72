#pragma once
// The platform's question box: a text, a caption, a question icon and the buttons Yes and No,
// shown modally over the browser window through the dialog-view port like every other dialog.

#include "platform/Forms.h"

namespace pel {

class TQuestionBox : public TForm {
public:
  TQuestionBox(const WideString& Text, const WideString& Caption);

  TControl& Image1;  // the question icon
  TControl& Label1;
  TControl& YesButton;
  TControl& NoButton;
};

// Asks the question; mrYes, or mrNo for No, Escape, closing or a box that cannot be shown.
int32_t AskQuestion(uint32_t Owner, const WideString& Text, const WideString& Caption);

}  // namespace pel
