#include "StoreDialog.h"

#include "platform/Services.h"

namespace pel {

namespace {

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
      Panel3(Add(TControlKind::Panel, "Panel3").Aligned(TAlign::Client)),
      Panel1(Add(TControlKind::Panel, "Panel1", &Panel3).Aligned(TAlign::Bottom, 39)),
      Panel2(Add(TControlKind::Panel, "Panel2", &Panel1).Aligned(TAlign::Right, 171)),
      Button1(Add(TControlKind::Button, "Button1", &Panel2).At(8, 7, 75, 25).Captioned(u"Ok").Closing(mrOk)),
      Button2(Add(TControlKind::Button, "Button2", &Panel2).At(88, 7, 75, 25).Captioned(u"Cancel").Closing(mrCancel)),
      Panel5(Add(TControlKind::Panel, "Panel5", &Panel3).Aligned(TAlign::Top, 21)),
      FormSetNameEdit(Add(TControlKind::Edit, "FormSetNameEdit", &Panel5).Aligned(TAlign::Client)),
      FillOnlyEmptyPanel(Add(TControlKind::Panel, "FillOnlyEmptyPanel", &Panel3).Aligned(TAlign::Top, 20)),
      FillOnlyEmptyCheckBox(Add(TControlKind::CheckBox, "FillOnlyEmptyCheckBox", &FillOnlyEmptyPanel)
                                .Aligned(TAlign::Client)
                                .Captioned(u"Fill only empty forms")),
      GroupBox1(Add(TControlKind::GroupBox, "GroupBox1", &Panel3).Aligned(TAlign::Top, 98).Captioned(u" Set as default to ")),
      NoneRadioButton(Add(TControlKind::RadioButton, "NoneRadioButton", &GroupBox1).At(8, 16, 200, 17).Captioned(u"none")),
      ActiveRadioButton(Add(TControlKind::RadioButton, "ActiveRadioButton", &GroupBox1)
                            .At(8, 35, 200, 17)
                            .Captioned(u"active profile")),
      AllRadioButton(Add(TControlKind::RadioButton, "AllRadioButton", &GroupBox1).At(8, 54, 200, 17).Captioned(u"all profiles")),
      CustomRadioButton(Add(TControlKind::RadioButton, "CustomRadioButton", &GroupBox1).At(8, 73, 17, 17)),
      ProfileComboBox(Add(TControlKind::ComboBox, "ProfileComboBox", &GroupBox1).At(28, 71, 200, 21)),
      FormSetListBox(Add(TControlKind::ListBox, "FormSetListBox", &Panel3).Aligned(TAlign::Client)) {
  Caption = u"Store dialog";
  Width = 253;
  Height = 302;
  ClientWidth = 245;
  ClientHeight = 275;
  MinWidth = 230;
  MinHeight = 225;
  FillOnlyEmptyCheckBox.SetChecked(true);
  NoneRadioButton.SetChecked(true);
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
