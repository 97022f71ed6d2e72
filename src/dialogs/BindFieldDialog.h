#pragma once
// The modal dialog in which the user picks a profile field (to bind a page field to it, or to add
// a synonym or a value for it): all fields sorted, or one group in its own order, and optionally a
// synonym typed above the lists.

#include <vector>

#include "platform/Forms.h"

namespace pel {

// One row per group: element 0 the group's name, then its fields (8-bit text).
using TNewStringDynSquareArray = std::vector<std::vector<AnsiString>>;

class TProfileBindFieldForm : public TForm {
public:
  TProfileBindFieldForm();

  // What the next Execute preselects.
  void SetSelection(const AnsiString& Group, const AnsiString& Field);
  void ShowSynonym(const WideString& Text);
  // The synonym typed, or empty when no synonym was offered.
  WideString GetSynonym() const;
  // Runs the dialog; Field is the chosen field's name, empty on Cancel or when none is selected.
  // Afterwards GroupsComboBox's text is the group shown last.
  bool Execute(const TNewStringDynSquareArray& Groups, AnsiString& Field, uint32_t Owner = 0);
  AnsiString GroupText() const;

  TControl& SynonimPanel;
  TControl& SynonimEdit;
  TControl& DecorativePanel1;
  TControl& OKButton;
  TControl& CancelButton;
  TControl& DecorativePanel2;
  TControl& GroupsPanel;
  TControl& Label1;
  TControl& GroupsComboBox;
  TControl& DecorativePanel3;
  TControl& TextListBox;

private:
  void FillList();

  TNewStringDynSquareArray FGroups;
  AnsiString FPreselectedGroup, FPreselectedField;
};

}  // namespace pel
