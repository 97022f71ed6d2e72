#include "MessageBox.h"

#include "platform/Services.h"

namespace pel {


TQuestionBox::TQuestionBox(const WideString& Text, const WideString& Caption)
    : TForm("QuestionBox"),
      Image1(Add(TControlKind::Image, "Image1").At(12, 12, 32, 32)),
      Label1(Add(TControlKind::Label, "Label1").At(56, 12, 260, 40).Captioned(Text)),
      YesButton(Add(TControlKind::Button, "YesButton").At(80, 64, 75, 25).Captioned(u"Yes").Closing(mrYes)),
      NoButton(Add(TControlKind::Button, "NoButton").At(164, 64, 75, 25).Captioned(u"No").Closing(mrNo)) {
  this->Caption = Caption;
  ClientWidth = 320;
  ClientHeight = 100;
  YesButton.Default = true;
  NoButton.Cancel = true;
}

int32_t AskQuestion(uint32_t Owner, const WideString& Text, const WideString& Caption) {
  TQuestionBox Box(Text, Caption);
  return DialogViews().ShowModal(Box, Owner) == mrYes ? mrYes : mrNo;
}

}  // namespace pel
