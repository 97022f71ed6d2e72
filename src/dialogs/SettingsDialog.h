#pragma once
// The settings dialog behind the "Options" action: the seven filling and saving options of a
// window, and whether the choice becomes the default and applies to every browser.

#include "Common/Options.h"
#include "platform/Forms.h"

namespace pel {

class TBVSettingsDialog : public TForm {
public:
  TBVSettingsDialog();

  // Shows the dialog modally (owned by Owner) on Options. OK answers true with Options, SetAsDefault
  // and ApplyToAll taken from the controls; Cancel (or a dialog that cannot be shown) answers false
  // and leaves Options as they were.
  bool Execute(TBVOptions& Options, bool& SetAsDefault, bool& ApplyToAll, uint32_t Owner = 0);

private:
  // The panels hold the controls below, so they are made first.
  struct TPanels {
    TControl* Panel1;
    TControl* Panel2;
    TControl* ScrollBox1;
    TControl* SetAdDefaultPanel;
  };
  static TPanels BuildPanels(TForm& Form);
  TPanels FPanels;

public:
  TControl& AutFillCheckBox;
  TControl& AutoSubmitCheckBox;
  TControl& AskConfirmCheckBox;
  TControl& AutoShowCheckBox;
  TControl& AutoFillNewCheckBox;
  TControl& AutoBindCheckBox;
  TControl& NoneOnSubmitRadioButton;
  TControl& AutoSaveOnSubmitRadioButton;
  TControl& DialogOnSubmitRadioButton;
  TControl& SetDefaultCheckBox;
  TControl& ApplyToAllCheckBox;
  TControl& Button1;
  TControl& Button2;

private:
  void ApplyDependencies();
};

}  // namespace pel
