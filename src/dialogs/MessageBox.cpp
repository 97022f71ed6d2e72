#include "MessageBox.h"

#include "platform/Services.h"

namespace pel {

namespace {

TControl& Put(TForm& Form, TControlKind Kind, const AnsiString& Name, int32_t Left, int32_t Top, int32_t Width,
              int32_t Height, const WideString& Caption) {
  TControl& C = Form.Add(Kind, Name);
  C.Left = Left;
  C.Top = Top;
  C.Width = Width;
  C.Height = Height;
  C.Caption = Caption;
  return C;
}

}  // namespace

TQuestionBox::TQuestionBox(const WideString& Text, const WideString& Caption)
    : TForm("QuestionBox"),
      Image1(Put(*this, TControlKind::Image, "Image1", 12, 12, 32, 32, u"")),
      Label1(Put(*this, TControlKind::Label, "Label1", 56, 12, 260, 40, Text)),
      YesButton(Put(*this, TControlKind::Button, "YesButton", 80, 64, 75, 25, u"Yes")),
      NoButton(Put(*this, TControlKind::Button, "NoButton", 164, 64, 75, 25, u"No")) {
  this->Caption = Caption;
  ClientWidth = 320;
  ClientHeight = 100;
  YesButton.ModalResult = mrYes;
  YesButton.Default = true;
  NoButton.ModalResult = mrNo;
  NoButton.Cancel = true;
}

int32_t AskQuestion(uint32_t Owner, const WideString& Text, const WideString& Caption) {
  TQuestionBox Box(Text, Caption);
  return DialogViews().ShowModal(Box, Owner) == mrYes ? mrYes : mrNo;
}

}  // namespace pel
