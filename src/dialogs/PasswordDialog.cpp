#include "PasswordDialog.h"

namespace pel {

namespace {

TControl& Place(TForm& Form, TControlKind Kind, const AnsiString& Name, int32_t Left, int32_t Top, int32_t Width,
                int32_t Height, const char16_t* Caption) {
  TControl& C = Form.Add(Kind, Name);
  C.Left = Left;
  C.Top = Top;
  C.Width = Width;
  C.Height = Height;
  C.Caption = Caption;
  return C;
}

}  // namespace

TEnterPasswordForm::TEnterPasswordForm()
    : TForm("EnterPasswordForm"),
      Label1(Place(*this, TControlKind::Label, "Label1", 8, 12, 0, 0, u"Password:")),
      PasswordEdit(Place(*this, TControlKind::Edit, "PasswordEdit", 84, 6, 262, 21, u"")),
      Image1(Place(*this, TControlKind::Image, "Image1", 351, 5, 24, 24, u"")),
      OKButton(Place(*this, TControlKind::Button, "OKButton", 120, 40, 80, 25, u"Ok")),
      CancelButton(Place(*this, TControlKind::Button, "CancelButton", 208, 40, 80, 25, u"Cancel")) {
  Caption = u"Enter password";
  ClientWidth = 384;
  ClientHeight = 72;
  PasswordEdit.PasswordChar = u'*';
  OKButton.ModalResult = mrOk;
  OKButton.Default = true;
  CancelButton.ModalResult = mrCancel;
  CancelButton.Cancel = true;
}

}  // namespace pel
