#include "BindFieldDialog.h"

#include "platform/Services.h"

namespace pel {


TProfileBindFieldForm::TProfileBindFieldForm()
    : TForm("ProfileBindFieldForm"),
      SynonimPanel(Add(TControlKind::Panel, "SynonimPanel").Aligned(TAlign::Top, 33)),
      SynonimEdit(Add(TControlKind::Edit, "SynonimEdit", &SynonimPanel).At(4, 8, 320, 21)),
      DecorativePanel1(Add(TControlKind::Panel, "DecorativePanel1").Aligned(TAlign::Bottom, 39)),
      OKButton(Add(TControlKind::Button, "OKButton", &DecorativePanel1).At(160, 7, 80, 25).Captioned(u"OK").Closing(mrOk)),
      CancelButton(Add(TControlKind::Button, "CancelButton", &DecorativePanel1)
                       .At(248, 7, 80, 25)
                       .Captioned(u"Cancel")
                       .Closing(mrCancel)),
      DecorativePanel2(Add(TControlKind::Panel, "DecorativePanel2").Aligned(TAlign::Client)),
      GroupsPanel(Add(TControlKind::Panel, "GroupsPanel", &DecorativePanel2).Aligned(TAlign::Top, 33)),
      Label1(Add(TControlKind::Label, "Label1", &GroupsPanel).At(8, 8).Captioned(u"Group:")),
      GroupsComboBox(Add(TControlKind::ComboBox, "GroupsComboBox", &GroupsPanel).At(56, 5, 260, 21)),
      DecorativePanel3(Add(TControlKind::Panel, "DecorativePanel3", &DecorativePanel2).Aligned(TAlign::Client)),
      TextListBox(Add(TControlKind::ListBox, "TextListBox", &DecorativePanel3).Aligned(TAlign::Client)) {
  Caption = u"Bind field";
  Width = 336;
  Height = 428;
  DecorativePanel2.BorderWidth = 2;
  SynonimPanel.Visible = false;
  GroupsComboBox.OnClick = [this](TControl&) { FillList(); };
  TextListBox.OnDblClick = [this](TControl&) { Close(mrOk); };
}

void TProfileBindFieldForm::SetSelection(const AnsiString& Group, const AnsiString& Field) {
  FPreselectedGroup = Group;
  FPreselectedField = Field;
}

void TProfileBindFieldForm::ShowSynonym(const WideString& Text) {
  SynonimPanel.Visible = true;
  SynonimEdit.Text = Text;
}

WideString TProfileBindFieldForm::GetSynonym() const { return SynonimPanel.Visible ? SynonimEdit.Text : WideString(); }

AnsiString TProfileBindFieldForm::GroupText() const {
  const int Index = GroupsComboBox.ItemIndex;
  return Index >= 0 && Index < GroupsComboBox.Items.Count() ? GroupsComboBox.Items[Index] : AnsiString();
}

void TProfileBindFieldForm::FillList() {
  TStringList& List = TextListBox.Items;
  List.Clear();
  TextListBox.ItemIndex = -1;
  const int Group = GroupsComboBox.ItemIndex;
  if (Group == 0) {
    // All fields, sorted; a field of two groups is there twice.
    List.SetDuplicates(TDuplicates::dupAccept);
    List.SetSorted(true);
    for (const auto& Row : FGroups)
      for (size_t I = 1; I < Row.size(); ++I) List.Add(Row[I]);
  } else if (Group > 0 && static_cast<size_t>(Group) <= FGroups.size()) {
    List.SetSorted(false);
    const auto& Row = FGroups[static_cast<size_t>(Group - 1)];
    for (size_t I = 1; I < Row.size(); ++I) List.Add(Row[I]);
  }
  if (List.Count() > 0) TextListBox.ItemIndex = 0;
}

bool TProfileBindFieldForm::Execute(const TNewStringDynSquareArray& Groups, AnsiString& Field, uint32_t Owner) {
  FGroups = Groups;
  GroupsComboBox.Items.Clear();
  GroupsComboBox.Items.Add("All fields");
  for (const auto& Row : FGroups) GroupsComboBox.Items.Add(Row.empty() ? AnsiString() : Row[0]);
  GroupsComboBox.ItemIndex = 0;
  FillList();
  if (!FPreselectedGroup.empty()) {
    // A group that is not there leaves "All fields" shown.
    const int Index = GroupsComboBox.Items.IndexOf(FPreselectedGroup);
    if (Index >= 0) {
      GroupsComboBox.ItemIndex = Index;
      FillList();
    }
  }
  if (!FPreselectedField.empty()) TextListBox.ItemIndex = TextListBox.Items.IndexOf(FPreselectedField);
  Field.clear();
  if (DialogViews().ShowModal(*this, Owner) != mrOk) return false;
  const int Index = TextListBox.ItemIndex;
  if (Index >= 0 && Index < TextListBox.Items.Count()) Field = TextListBox.Items[Index];
  return !Field.empty();
}

}  // namespace pel
