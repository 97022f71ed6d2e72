#include "SettingsDialog.h"

#include "Common/Trace.h"
#include "platform/Services.h"

namespace pel {

namespace {

TControl& Put(TForm& Form, TControlKind Kind, const AnsiString& Name, TControl* Parent, int32_t Left, int32_t Top,
              const char16_t* Caption, bool Enabled = true) {
  TControl& C = Form.Add(Kind, Name, Parent);
  C.Left = Left;
  C.Top = Top;
  C.Caption = Caption;
  C.Enabled = Enabled;
  return C;
}

TControl& Button(TForm& Form, const AnsiString& Name, TControl* Parent, int32_t Left, const char16_t* Caption,
                 int32_t Result) {
  TControl& B = Put(Form, TControlKind::Button, Name, Parent, Left, 7, Caption);
  B.Width = 75;
  B.Height = 25;
  B.ModalResult = Result;
  B.Default = Result == mrOk;
  B.Cancel = Result == mrCancel;
  return B;
}

}  // namespace

TBVSettingsDialog::TPanels TBVSettingsDialog::BuildPanels(TForm& Form) {
  TPanels P{};
  P.Panel1 = &Form.Add(TControlKind::Panel, "Panel1");
  P.Panel1->Align = TAlign::Bottom;
  P.Panel1->Height = 39;
  P.Panel2 = &Form.Add(TControlKind::Panel, "Panel2");
  P.Panel2->Align = TAlign::Client;
  P.Panel2->BorderWidth = 5;
  P.SetAdDefaultPanel = &Form.Add(TControlKind::Panel, "SetAdDefaultPanel", P.Panel2);
  P.SetAdDefaultPanel->Align = TAlign::Bottom;
  P.SetAdDefaultPanel->Height = 38;
  P.ScrollBox1 = &Form.Add(TControlKind::ScrollBox, "ScrollBox1", P.Panel2);
  P.ScrollBox1->Align = TAlign::Client;
  P.ScrollBox1->Height = 90;  // its minimum height
  return P;
}

TBVSettingsDialog::TBVSettingsDialog()
    : TForm("BVSettingsDialog"),
      FPanels(BuildPanels(*this)),
      AutFillCheckBox(Put(*this, TControlKind::CheckBox, "AutFillCheckBox", FPanels.ScrollBox1, 24, 24,
                          u"Auto fill of existing forms")),
      AutoSubmitCheckBox(Put(*this, TControlKind::CheckBox, "AutoSubmitCheckBox", FPanels.ScrollBox1, 40, 40,
                             u"Auto submit existing forms", false)),
      AskConfirmCheckBox(Put(*this, TControlKind::CheckBox, "AskConfirmCheckBox", FPanels.ScrollBox1, 56, 56,
                             u"Ask confirmation if link or link text changed", false)),
      AutoShowCheckBox(Put(*this, TControlKind::CheckBox, "AutoShowCheckBox", FPanels.ScrollBox1, 24, 72,
                           u"Auto show form cards selection dialog")),
      AutoFillNewCheckBox(Put(*this, TControlKind::CheckBox, "AutoFillNewCheckBox", FPanels.ScrollBox1, 24, 88,
                              u"Auto fill of new forms")),
      AutoBindCheckBox(Put(*this, TControlKind::CheckBox, "AutoBindCheckBox", FPanels.ScrollBox1, 40, 104,
                           u"Auto bind fields of new forms", false)),
      NoneOnSubmitRadioButton(Put(*this, TControlKind::RadioButton, "NoneOnSubmitRadioButton", FPanels.ScrollBox1, 24,
                                  136, u"Nothing should be done when form submitted")),
      AutoSaveOnSubmitRadioButton(Put(*this, TControlKind::RadioButton, "AutoSaveOnSubmitRadioButton",
                                      FPanels.ScrollBox1, 24, 152, u"Auto save form card data when form submitted")),
      DialogOnSubmitRadioButton(Put(*this, TControlKind::RadioButton, "DialogOnSubmitRadioButton", FPanels.ScrollBox1,
                                    24, 168, u"Show save dialog when form submitted")),
      SetDefaultCheckBox(
          Put(*this, TControlKind::CheckBox, "SetDefaultCheckBox", FPanels.SetAdDefaultPanel, 0, 5, u"Set as default")),
      ApplyToAllCheckBox(Put(*this, TControlKind::CheckBox, "ApplyToAllCheckBox", FPanels.SetAdDefaultPanel, 16, 21,
                             u"Apply to all browsers")),
      Button1(Button(*this, "Button1", FPanels.Panel1, 142, u"OK", mrOk)),
      Button2(Button(*this, "Button2", FPanels.Panel1, 222, u"Cancel", mrCancel)) {
  Caption = u"Pelmora settings";
  ClientWidth = 305;
  ClientHeight = 278;
  TControl& Label1 = Put(*this, TControlKind::Label, "Label1", FPanels.ScrollBox1, 8, 8, u"Filling settings");
  Label1.Bold = true;
  TControl& Label2 = Put(*this, TControlKind::Label, "Label2", FPanels.ScrollBox1, 8, 120, u"Saving settings");
  Label2.Bold = true;

  // The dependencies hold whenever the governing box changes, also while the options load.
  const auto Apply = [this](TControl&) { ApplyDependencies(); };
  AutFillCheckBox.OnClick = Apply;
  AutoSubmitCheckBox.OnClick = Apply;
  AutoFillNewCheckBox.OnClick = Apply;
  SetDefaultCheckBox.OnClick = Apply;
  SetDefaultCheckBox.SetChecked(true);
}

void TBVSettingsDialog::ApplyDependencies() {
  AutoSubmitCheckBox.Enabled = AutFillCheckBox.Checked();
  AskConfirmCheckBox.Enabled = AutoSubmitCheckBox.Enabled && AutoSubmitCheckBox.Checked();
  AutoBindCheckBox.Enabled = AutoFillNewCheckBox.Checked();
  ApplyToAllCheckBox.Enabled = SetDefaultCheckBox.Checked();
}

bool TBVSettingsDialog::Execute(TBVOptions& Options, bool& SetAsDefault, bool& ApplyToAll, uint32_t Owner) {
  AutFillCheckBox.SetChecked(Options.AutoFill != 0);
  AutoSubmitCheckBox.SetChecked(Options.AutoSubmit != 0);
  AskConfirmCheckBox.SetChecked(Options.AskConfirm != 0);
  AutoShowCheckBox.SetChecked(Options.AutoShow != 0);
  AutoFillNewCheckBox.SetChecked(Options.AutoFillNew != 0);
  AutoBindCheckBox.SetChecked(Options.AutoBind != 0);
  NoneOnSubmitRadioButton.SetChecked(Options.SubmitAction == 0);
  DialogOnSubmitRadioButton.SetChecked(Options.SubmitAction == 1);
  AutoSaveOnSubmitRadioButton.SetChecked(Options.SubmitAction == 2);
  ApplyDependencies();
  SetAsDefault = false;
  ApplyToAll = false;

  ModalResult = mrNone;
  if (DialogViews().ShowModal(*this, Owner) != mrOk) return false;

  // A disabled box still reports its state.
  Options.AutoFill = AutFillCheckBox.Checked();
  Options.AutoSubmit = AutoSubmitCheckBox.Checked();
  Options.AskConfirm = AskConfirmCheckBox.Checked();
  Options.AutoShow = AutoShowCheckBox.Checked();
  Options.AutoFillNew = AutoFillNewCheckBox.Checked();
  Options.AutoBind = AutoBindCheckBox.Checked();
  if (NoneOnSubmitRadioButton.Checked())
    Options.SubmitAction = 0;
  else if (AutoSaveOnSubmitRadioButton.Checked())
    Options.SubmitAction = 2;
  else if (DialogOnSubmitRadioButton.Checked())
    Options.SubmitAction = 1;
  else
    Options.SubmitAction = 0;
  SetAsDefault = SetDefaultCheckBox.Checked();
  ApplyToAll = SetAsDefault && ApplyToAllCheckBox.Checked();
  return true;
}

}  // namespace pel
