#include "PasswordDialog.h"

namespace pel {


TEnterPasswordForm::TEnterPasswordForm()
    : TForm("EnterPasswordForm"),
      Label1(Add(TControlKind::Label, "Label1").At(8, 12).Captioned(u"Password:")),
      PasswordEdit(Add(TControlKind::Edit, "PasswordEdit").At(84, 6, 262, 21)),
      Image1(Add(TControlKind::Image, "Image1").At(351, 5, 24, 24)),
      OKButton(Add(TControlKind::Button, "OKButton").At(120, 40, 80, 25).Captioned(u"Ok").Closing(mrOk)),
      CancelButton(Add(TControlKind::Button, "CancelButton").At(208, 40, 80, 25).Captioned(u"Cancel").Closing(mrCancel)) {
  Caption = u"Enter password";
  ClientWidth = 384;
  ClientHeight = 72;
  PasswordEdit.PasswordChar = u'*';
}

}  // namespace pel
