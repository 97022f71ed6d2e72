#include "FillDialog.h"

#include "platform/Services.h"

namespace pel {

namespace {

const AnsiString SetDefaultCommand = "Set default for active profile";
const AnsiString DropDefaultCommand = "Drop default form card for active profile";
const AnsiString DeleteCommand = "Delete";
const AnsiString SetProfileCommand = "Set profile as active";

}  // namespace

TBVDialog::TBVDialog()
    : TForm("BVDialog"),
      Panel4(Add(TControlKind::Panel, "Panel4").Aligned(TAlign::Client)),
      Panel3(Add(TControlKind::Panel, "Panel3", &Panel4).Aligned(TAlign::Client)),
      // Bottom-aligned controls are made first, so that the list above fills what they leave.
      ProfileListBox(Add(TControlKind::ListBox, "ProfileListBox", &Panel3).Aligned(TAlign::Bottom, 54)),
      Splitter1(Add(TControlKind::Panel, "Splitter1", &Panel3).Aligned(TAlign::Bottom, 3)),
      FormSetListBox(Add(TControlKind::ListBox, "FormSetListBox", &Panel3).Aligned(TAlign::Client)),
      Panel5(Add(TControlKind::Panel, "Panel5", &Panel4).Aligned(TAlign::Bottom, 30)),
      OnlyEmptyCheckBox(Add(TControlKind::CheckBox, "OnlyEmptyCheckBox", &Panel5)
                            .Aligned(TAlign::Left, 150)
                            .Captioned(u"Fill only empty fields")),
      Panel6(Add(TControlKind::Panel, "Panel6", &Panel5).Aligned(TAlign::Right, 82)),
      BitBtn2(Add(TControlKind::Button, "BitBtn2", &Panel6).At(4, 4, 75, 24).Captioned(u"Fill")),
      Panel1(Add(TControlKind::Panel, "Panel1", &Panel4).Aligned(TAlign::Bottom, 32)),
      Panel2(Add(TControlKind::Panel, "Panel2", &Panel1).Aligned(TAlign::Right, 162)),
      BitBtn3(Add(TControlKind::Button, "BitBtn3", &Panel2).At(4, 4, 75, 24).Captioned(u"Fill && submit")),
      BitBtn1(Add(TControlKind::Button, "BitBtn1", &Panel2).At(83, 4, 75, 24).Captioned(u"Close")) {
  Caption = u"Pelmora";
  Width = 330;
  Height = 308;
  ClientWidth = 322;
  ClientHeight = 281;
  MinWidth = 330;
  MinHeight = 190;
  BitBtn2.Default = true;
  BitBtn1.Cancel = true;

  BitBtn2.OnClick = [this](TControl&) { Fill(); };
  BitBtn3.OnClick = [this](TControl&) { FillAndSubmit(); };
  BitBtn1.OnClick = [this](TControl&) { HideSelf(); };
  // At most one list has a selected entry.
  FormSetListBox.OnEnter = [this](TControl&) { ProfileListBox.ItemIndex = -1; };
  ProfileListBox.OnEnter = [this](TControl&) { FormSetListBox.ItemIndex = -1; };
  FormSetListBox.OnDblClick = [this](TControl& List) {
    int Index = List.ItemIndex;
    if (Index >= 0 && List.Items.Objects(Index) == ekFormCard) FillCard(Index, false);
  };
  ProfileListBox.OnDblClick = [this](TControl& List) { FillProfile(List.ItemIndex); };
  OnShow = [this](TForm&) { FormShow(); };
}

TBVDialog::~TBVDialog() { FAnchorWindow = 0; }

void TBVDialog::LoadLists(const WideString& URLKey, const TFormCards& FormSets, const TWideStringList& Profiles,
                          const TWideStringList& MailCards, const TWideStringList& Navigations,
                          const TWideStringList& AuthRecords) {
  FURLKey = URLKey;
  FormSetListBox.Items.Clear();
  FormSetListBox.ItemIndex = -1;
  FGroupNames.Clear();
  FItemNames.Clear();
  auto AddEntry = [this](const WideString& Group, intptr_t Current, const WideString& Name, intptr_t Kind) {
    FGroupNames.AddObject(Group, Current);
    FItemNames.Add(Name);
    // The list box holds 8-bit text; the wide names stay in the two lists beside it.
    FormSetListBox.Items.AddObject(WideToAnsi(Name), Kind);
  };
  if (!AuthRecords.IsEmpty()) {
    for (int I = 0; I < AuthRecords.Count(); ++I)
      AddEntry(URLKey, AuthRecords.Objects(I), AuthRecords[I], ekAuthRecord);
  } else {
    for (int S = 0; S < FormSets.Count(); ++S) {
      const TFormSet& Set = FormSets.Items(S);
      for (int I = 0; I < Set.Cards.Count(); ++I) AddEntry(Set.Name, Set.Cards.Objects(I), Set.Cards[I], ekFormCard);
    }
    for (int I = 0; I < Navigations.Count(); ++I)
      AddEntry(URLKey, Navigations.Objects(I), Navigations[I], ekNavigation);
    for (int I = 0; I < MailCards.Count(); ++I) AddEntry(URLKey, MailCards.Objects(I), MailCards[I], ekMailCard);
  }
  ProfileListBox.Items.Clear();
  ProfileListBox.ItemIndex = -1;
  for (int I = 0; I < Profiles.Count(); ++I) ProfileListBox.Items.AddObject(WideToAnsi(Profiles[I]), Profiles.Objects(I));
}

void TBVDialog::ClearLists() {
  FormSetListBox.Items.Clear();
  FormSetListBox.ItemIndex = -1;
  ProfileListBox.Items.Clear();
  ProfileListBox.ItemIndex = -1;
  FGroupNames.Clear();
  FItemNames.Clear();
}

WideString TBVDialog::EntryText(int Index) const {
  WideString Name = AnsiToWide(FormSetListBox.Items[Index]);
  WideString Text;
  switch (FormSetListBox.Items.Objects(Index)) {
    case ekFormCard:
      Text = u"[C] ";
      Text += Name;
      Text += u" [";
      Text += FGroupNames[Index];
      Text += u"]";
      return Text;
    case ekNavigation: Text = u"[N] "; break;
    case ekMailCard: Text = u"[M] "; break;
    case ekAuthRecord: Text = u"[A] "; break;
    default: break;
  }
  Text += Name;
  return Text;
}

bool TBVDialog::EntryBold(int Index) const { return FGroupNames[Index] == FURLKey; }

bool TBVDialog::EntryCurrent(int Index) const { return FGroupNames.Objects(Index) != 0; }

void TBVDialog::HideSelf() { DialogViews().Hide(*this); }

void TBVDialog::Choose(const std::function<void()>& RaiseEvent) {
  RaiseEvent();
  // A choice hides the dialog whether or not anybody took it.
  HideSelf();
}

void TBVDialog::FillCard(int Index, bool Submit) {
  if (Index < 0) return;
  WideString Group = FGroupNames[Index], Name = FItemNames[Index];
  bool OnlyEmpty = OnlyEmptyCheckBox.Checked();
  Choose([&] {
    if (OnFillFormCard) OnFillFormCard(*this, Group, Name, Submit, OnlyEmpty);
  });
}

void TBVDialog::FillProfile(int Index) {
  if (Index < 0) return;
  // Profiles go back as the list shows them, in 8-bit text.
  WideString Profile = AnsiToWide(ProfileListBox.Items[Index]);
  bool OnlyEmpty = OnlyEmptyCheckBox.Checked();
  Choose([&] {
    if (OnFillProfile) OnFillProfile(*this, Profile, OnlyEmpty);
  });
}

void TBVDialog::Fill() {
  int Index = FormSetListBox.ItemIndex;
  if (Index >= 0) {
    switch (FormSetListBox.Items.Objects(Index)) {
      case ekFormCard: FillCard(Index, false); break;
      case ekAuthRecord: {
        WideString Group = FGroupNames[Index], Name = FItemNames[Index];
        Choose([&] {
          if (OnFillAuthRecord) OnFillAuthRecord(*this, Group, Name, false, false);
        });
        break;
      }
      default: break;  // a navigation or a mail card is played or sent, not filled
    }
    return;
  }
  if (ProfileListBox.ItemIndex >= 0) FillProfile(ProfileListBox.ItemIndex);
}

void TBVDialog::FillAndSubmit() {
  int Index = FormSetListBox.ItemIndex;
  if (Index >= 0) {
    WideString Group = FGroupNames[Index], Name = FItemNames[Index];
    switch (FormSetListBox.Items.Objects(Index)) {
      case ekFormCard: FillCard(Index, true); break;
      case ekNavigation:
        Choose([&] {
          if (OnPlayNavigation) OnPlayNavigation(*this, Group, Name);
        });
        break;
      case ekMailCard:
        Choose([&] {
          if (OnSendMailCard) OnSendMailCard(*this, Group, Name);
        });
        break;
      case ekAuthRecord:
        Choose([&] {
          if (OnFillAuthRecord) OnFillAuthRecord(*this, Group, Name, true, false);
        });
        break;
      default: break;
    }
    return;
  }
  // Profiles are never submitted from here.
  if (ProfileListBox.ItemIndex >= 0) FillProfile(ProfileListBox.ItemIndex);
}

std::vector<AnsiString> TBVDialog::FormSetMenu() {
  int Index = FormSetListBox.ItemIndex;
  if (Index < 0) return {};
  FMenuOwner = TMenuOwner::FormSets;
  FMenuTag = Index;
  std::vector<AnsiString> Menu;
  if (FGroupNames[Index] == FURLKey) Menu = {SetDefaultCommand, DropDefaultCommand, "-"};
  Menu.push_back(DeleteCommand);
  return Menu;
}

std::vector<AnsiString> TBVDialog::ProfileMenu() {
  int Index = ProfileListBox.ItemIndex;
  if (Index < 0) return {};
  FMenuOwner = TMenuOwner::Profiles;
  FMenuTag = Index;
  return {SetProfileCommand};
}

void TBVDialog::RunMenuCommand(const AnsiString& Caption) {
  int Tag = FMenuTag;
  if (Tag < 0) return;
  if (FMenuOwner == TMenuOwner::Profiles) {
    if (Caption == SetProfileCommand && Tag < ProfileListBox.Items.Count() && OnSetActiveProfile)
      OnSetActiveProfile(*this, AnsiToWide(ProfileListBox.Items[Tag]));
    return;
  }
  if (FMenuOwner != TMenuOwner::FormSets || Tag >= FGroupNames.Count()) return;
  WideString Group = FGroupNames[Tag], Name = FItemNames[Tag];
  // The commands keep the dialog open.
  if (Caption == SetDefaultCommand) {
    if (OnSetDefaultFormCard) OnSetDefaultFormCard(*this, Group, Name);
  } else if (Caption == DropDefaultCommand) {
    if (OnSetDefaultFormCard) OnSetDefaultFormCard(*this, Group, WideString());
  } else if (Caption == DeleteCommand) {
    if (OnDeleteFormCard) OnDeleteFormCard(*this, Group, Name);
  }
}

void TBVDialog::FormShow() {
  TRect Anchor;
  if (FAnchorWindow == 0 || !WindowServices().GetWindowRect(FAnchorWindow, Anchor)) return;
  int32_t AW = Anchor.Width(), AH = Anchor.Height();
  // The size first: the place is worked out for the size the dialog will have, so that "inside the
  // anchor's right edge" and "centred" hold when the size follows the anchor too.
  int32_t NewHeight = HeightMode == 1 ? AH : HeightMode == 2 ? 250 : OuterHeight();
  int32_t NewWidth = WidthMode == 1 ? AW : WidthMode == 2 ? 250 : OuterWidth();
  switch (Placement) {
    case 1:
      Left = Anchor.Right;
      Top = Anchor.Top;
      break;
    case 2:
      Left = Anchor.Left + (AW - NewWidth) / 2;
      Top = Anchor.Top + (AH - NewHeight) / 2;
      break;
    default:
      Left = Anchor.Right - NewWidth;
      Top = Anchor.Top;
      break;
  }
  // A size asked for below the minimum lowers the minimum, so that the size holds.
  if (NewHeight < MinHeight) MinHeight = NewHeight;
  if (NewWidth < MinWidth) MinWidth = NewWidth;
  Height = NewHeight;
  Width = NewWidth;
}

}  // namespace pel
