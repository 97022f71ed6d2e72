#pragma once
// The modal prompt for the form store's master password.

#include "platform/Forms.h"

namespace pel {

class TEnterPasswordForm : public TForm {
public:
  TEnterPasswordForm();

  TControl& Label1;
  TControl& PasswordEdit;
  TControl& Image1;
  TControl& OKButton;
  TControl& CancelButton;
};

}  // namespace pel
