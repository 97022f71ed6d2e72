#include "StoreDialog.h"

#include "platform/Services.h"

namespace pel {

namespace {

TControl& Put(TForm& Form, TControlKind Kind, const AnsiString& Name, TControl* Parent, TAlign Align, int32_t Height,
              const char16_t* Caption = u"") {
  TControl& C = Form.Add(Kind, Name, Parent);
  C.Align = Align;
  C.Height = Height;
  C.Caption = Caption;
  return C;
}

TControl& Radio(TForm& Form, const AnsiString& Name, TControl& Parent, int32_t Top, const char16_t* Caption) {
  TControl& R = Form.Add(TControlKind::RadioButton, Name, &Parent);
  R.Left = 8;
  R.Top = Top;
  R.Width = Caption[0] ? 200 : 17;
  R.Height = 17;
  R.Caption = Caption;
  return R;
}

TControl& Button(TForm& Form, const AnsiString& Name, TControl& Parent, int32_t Left, const char16_t* Caption,
                 int32_t Result) {
  TControl& B = Form.Add(TControlKind::Button, Name, &Parent);
  B.Left = Left;
  B.Top = 7;
  B.Width = 75;
  B.Height = 25;
  B.Caption = Caption;
  B.ModalResult = Result;
  B.Default = Result == mrOk;
  B.Cancel = Result == mrCancel;
  return B;
}

// Splits wide text into its lines (CR LF, LF or CR); a last empty line is not an entry.
std::vector<WideString> Lines(const WideString& Text) {
  std::vector<WideString> Result;
  size_t Start = 0;
  while (Start < Text.size()) {
    size_t End = Text.find_first_of(u"\r\n", Start);
    if (End == WideString::npos) End = Text.size();
    Result.push_back(Text.substr(Start, End - Start));
    if (End < Text.size() && Text[End] == u'\r' && End + 1 < Text.size() && Text[End + 1] == u'\n') ++End;
    Start = End + 1;
  }
  return Result;
}

}  // namespace

TBVStoreDialog::TBVStoreDialog()
    : TForm("BVStoreDialog"),
      Panel3(Put(*this, TControlKind::Panel, "Panel3", nullptr, TAlign::Client, 0)),
      Panel1(Put(*this, TControlKind::Panel, "Panel1", &Panel3, TAlign::Bottom, 39)),
      Panel2(Put(*this, TControlKind::Panel, "Panel2", &Panel1, TAlign::Right, 39)),
      Button1(Button(*this, "Button1", Panel2, 8, u"Ok", mrOk)),
      Button2(Button(*this, "Button2", Panel2, 88, u"Cancel", mrCancel)),
      Panel5(Put(*this, TControlKind::Panel, "Panel5", &Panel3, TAlign::Top, 21)),
      FormSetNameEdit(Put(*this, TControlKind::Edit, "FormSetNameEdit", &Panel5, TAlign::Client, 21)),
      FillOnlyEmptyPanel(Put(*this, TControlKind::Panel, "FillOnlyEmptyPanel", &Panel3, TAlign::Top, 20)),
      FillOnlyEmptyCheckBox(Put(*this, TControlKind::CheckBox, "FillOnlyEmptyCheckBox", &FillOnlyEmptyPanel,
                                TAlign::Client, 17, u"Fill only empty forms")),
      GroupBox1(Put(*this, TControlKind::GroupBox, "GroupBox1", &Panel3, TAlign::Top, 98, u" Set as default to ")),
      NoneRadioButton(Radio(*this, "NoneRadioButton", GroupBox1, 16, u"none")),
      ActiveRadioButton(Radio(*this, "ActiveRadioButton", GroupBox1, 35, u"active profile")),
      AllRadioButton(Radio(*this, "AllRadioButton", GroupBox1, 54, u"all profiles")),
      CustomRadioButton(Radio(*this, "CustomRadioButton", GroupBox1, 73, u"")),
      ProfileComboBox(Add(TControlKind::ComboBox, "ProfileComboBox", &GroupBox1)),
      FormSetListBox(Put(*this, TControlKind::ListBox, "FormSetListBox", &Panel3, TAlign::Client, 0)) {
  Caption = u"Store dialog";
  Width = 253;
  Height = 302;
  ClientWidth = 245;
  ClientHeight = 275;
  MinWidth = 230;
  MinHeight = 225;
  Panel2.Width = 171;
  FillOnlyEmptyCheckBox.SetChecked(true);
  NoneRadioButton.SetChecked(true);
  ProfileComboBox.Left = 28;
  ProfileComboBox.Top = 71;
  ProfileComboBox.Width = 200;
  ProfileComboBox.Enabled = false;
  // Only the chosen-profile mode uses the list of profiles.
  for (TControl* R : {&NoneRadioButton, &ActiveRadioButton, &AllRadioButton, &CustomRadioButton})
    R->OnClick = [this](TControl&) { ProfileComboBox.Enabled = CustomRadioButton.Checked(); };
  FormSetListBox.OnClick = [this](TControl& List) {
    const int Index = List.ItemIndex;
    if (Index < 0) return;
    FormSetNameEdit.Text = List.WideItems[Index];
    (List.WideItems.Objects(Index) == 1 ? AllRadioButton : ActiveRadioButton).SetChecked(true);
  };
}

bool TBVStoreDialog::Run(const AnsiString& DialogCaption, const WideString& Existing, const WideString& Profiles,
                         WideString& Profile, WideString& Name, int16_t* OnlyEmpty, int32_t& DefaultMode,
                         uint32_t Owner) {
  Caption = AnsiToWide(DialogCaption);
  FormSetNameEdit.Text = Name;
  FormSetListBox.WideItems.Clear();
  FormSetListBox.ItemIndex = -1;
  for (const WideString& Line : Lines(Existing)) {
    const size_t Equals = Line.find(u'=');
    if (Equals == WideString::npos) {
      FormSetListBox.WideItems.AddObject(WideString(), 1);
      continue;
    }
    FormSetListBox.WideItems.AddObject(Line.substr(Equals + 1), Line.substr(0, Equals) == u"0" ? 0 : 1);
  }
  ProfileComboBox.WideItems.Clear();
  for (const WideString& Line : Lines(Profiles)) ProfileComboBox.WideItems.Add(Line);
  ProfileComboBox.ItemIndex = ProfileComboBox.WideItems.IsEmpty() ? -1 : 0;
  FillOnlyEmptyPanel.Visible = OnlyEmpty != nullptr;
  if (OnlyEmpty) FillOnlyEmptyCheckBox.SetChecked(*OnlyEmpty != 0);
  // The caption shows the profile in the system code page, as the radio button's text is 8-bit.
  WideString Active = u"active profile \"";
  Active += AnsiToWide(WideToAnsi(Profile));
  Active += u"\"";
  ActiveRadioButton.Caption = Active;
  Profile.clear();
  switch (DefaultMode) {
    case dmNone: NoneRadioButton.SetChecked(true); break;
    case dmActiveProfile: ActiveRadioButton.SetChecked(true); break;
    case dmAllProfiles: AllRadioButton.SetChecked(true); break;
    case dmChosenProfile: CustomRadioButton.SetChecked(true); break;
    default: break;
  }
  if (DialogViews().ShowModal(*this, Owner) != mrOk) return false;
  Name = FormSetNameEdit.Text;
  if (OnlyEmpty) *OnlyEmpty = FillOnlyEmptyCheckBox.Checked() ? -1 : 0;
  if (NoneRadioButton.Checked())
    DefaultMode = dmNone;
  else if (ActiveRadioButton.Checked())
    DefaultMode = dmActiveProfile;
  else if (AllRadioButton.Checked())
    DefaultMode = dmAllProfiles;
  else {
    DefaultMode = dmChosenProfile;
    const int Index = ProfileComboBox.ItemIndex;
    if (Index >= 0 && Index < ProfileComboBox.WideItems.Count()) Profile = ProfileComboBox.WideItems[Index];
  }
  return true;
}

bool TBVStoreDialog::ExecuteWithFillOption(const AnsiString& DialogCaption, const WideString& Existing,
                                           const WideString& Profiles, WideString& Profile, WideString& Name,
                                           int16_t& OnlyEmpty, int32_t& DefaultMode, uint32_t Owner) {
  return Run(DialogCaption, Existing, Profiles, Profile, Name, &OnlyEmpty, DefaultMode, Owner);
}

bool TBVStoreDialog::Execute(const AnsiString& DialogCaption, const WideString& Existing, const WideString& Profiles,
                             WideString& Profile, WideString& Name, int32_t& DefaultMode, uint32_t Owner) {
  return Run(DialogCaption, Existing, Profiles, Profile, Name, nullptr, DefaultMode, Owner);
}

}  // namespace pel
