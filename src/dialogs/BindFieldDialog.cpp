#include "BindFieldDialog.h"

#include "platform/Services.h"

namespace pel {

namespace {

TControl& Put(TForm& Form, TControlKind Kind, const AnsiString& Name, TControl* Parent, TAlign Align, int32_t Left,
              int32_t Top, int32_t Width, int32_t Height, const char16_t* Caption = u"") {
  TControl& C = Form.Add(Kind, Name, Parent);
  C.Align = Align;
  C.Left = Left;
  C.Top = Top;
  C.Width = Width;
  C.Height = Height;
  C.Caption = Caption;
  return C;
}

}  // namespace

TProfileBindFieldForm::TProfileBindFieldForm()
    : TForm("ProfileBindFieldForm"),
      SynonimPanel(Put(*this, TControlKind::Panel, "SynonimPanel", nullptr, TAlign::Top, 0, 0, 0, 33)),
      SynonimEdit(Put(*this, TControlKind::Edit, "SynonimEdit", &SynonimPanel, TAlign::None, 4, 8, 320, 21)),
      DecorativePanel1(Put(*this, TControlKind::Panel, "DecorativePanel1", nullptr, TAlign::Bottom, 0, 0, 0, 39)),
      OKButton(Put(*this, TControlKind::Button, "OKButton", &DecorativePanel1, TAlign::None, 160, 7, 80, 25, u"OK")),
      CancelButton(Put(*this, TControlKind::Button, "CancelButton", &DecorativePanel1, TAlign::None, 248, 7, 80, 25,
                       u"Cancel")),
      DecorativePanel2(Put(*this, TControlKind::Panel, "DecorativePanel2", nullptr, TAlign::Client, 0, 0, 0, 0)),
      GroupsPanel(Put(*this, TControlKind::Panel, "GroupsPanel", &DecorativePanel2, TAlign::Top, 0, 0, 0, 33)),
      Label1(Put(*this, TControlKind::Label, "Label1", &GroupsPanel, TAlign::None, 8, 8, 0, 0, u"Group:")),
      GroupsComboBox(Put(*this, TControlKind::ComboBox, "GroupsComboBox", &GroupsPanel, TAlign::None, 56, 5, 260, 21)),
      DecorativePanel3(Put(*this, TControlKind::Panel, "DecorativePanel3", &DecorativePanel2, TAlign::Client, 0, 0, 0, 0)),
      TextListBox(Put(*this, TControlKind::ListBox, "TextListBox", &DecorativePanel3, TAlign::Client, 0, 0, 0, 0)) {
  Caption = u"Bind field";
  Width = 336;
  Height = 428;
  DecorativePanel2.BorderWidth = 2;
  SynonimPanel.Visible = false;
  OKButton.ModalResult = mrOk;
  OKButton.Default = true;
  CancelButton.ModalResult = mrCancel;
  CancelButton.Cancel = true;
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
