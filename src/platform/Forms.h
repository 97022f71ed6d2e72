#pragma once
// Dialogs as data: a form and its controls with everything a user can see or change (captions,
// positions, sizes, enabled, visible, check state, text) and the behaviour of standard controls
// (a button closes its form with its modal result, a radio button unchecks its siblings, Escape
// presses the cancel button). The dialogs of the system are built on this model, and the
// dialog-view port shows one: a real window built from it on Windows, a script answering it on
// the headless platform.

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "StringList.h"
#include "SysTypes.h"

namespace pel {

// Modal results, as the platform numbers them.
constexpr int32_t mrNone = 0;
constexpr int32_t mrOk = 1;
constexpr int32_t mrCancel = 2;
constexpr int32_t mrYes = 6;
constexpr int32_t mrNo = 7;

enum class TControlKind { Panel, GroupBox, ScrollBox, Label, Button, CheckBox, RadioButton, Edit, Memo, Image, ListBox, ComboBox };
enum class TAlign { None, Top, Bottom, Left, Right, Client };

class TForm;

class TControl {
public:
  using TNotifyEvent = std::function<void(TControl& Sender)>;

  TControl(TForm& Form, TControl* Parent, TControlKind Kind, AnsiString Name);
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  // Layout as designed, chained where a dialog builds its controls.
  TControl& At(int32_t ALeft, int32_t ATop, int32_t AWidth = 0, int32_t AHeight = 0) {
    Left = ALeft;
    Top = ATop;
    Width = AWidth;
    Height = AHeight;
    return *this;
  }
  TControl& Aligned(TAlign Value, int32_t Size = 0) {
    Align = Value;
    (Value == TAlign::Left || Value == TAlign::Right ? Width : Height) = Size;
    return *this;
  }
  TControl& Captioned(const WideString& Value) {
    Caption = Value;
    return *this;
  }
  // A button that closes its form with Result: OK answers Enter, Cancel answers Escape.
  TControl& Closing(int32_t Result) {
    ModalResult = Result;
    Default = Result == mrOk;
    Cancel = Result == mrCancel;
    return *this;
  }

  TForm& Form() const { return FForm; }
  TControl* Parent() const { return FParent; }
  TControlKind Kind() const { return FKind; }
  const AnsiString& Name() const { return FName; }
  const std::vector<TControl*>& Controls() const { return FControls; }

  // Layout, as designed.
  int32_t Left = 0, Top = 0, Width = 0, Height = 0;
  TAlign Align = TAlign::None;
  int32_t BorderWidth = 0;
  bool Bold = false;

  WideString Caption;
  bool Enabled = true;
  bool Visible = true;
  // Edit and memo text; an edit with a password character shows that for every character.
  WideString Text;
  char16_t PasswordChar = 0;
  bool ReadOnly = false;
  // Buttons: the modal result they close their form with; the default button answers Enter,
  // the cancel button Escape.
  int32_t ModalResult = mrNone;
  bool Default = false;
  bool Cancel = false;

  // List and combo boxes: the entries (8-bit text, each with an object value) and the selected
  // one (-1 for none). Wide-text lists keep their entries in WideItems instead.
  TStringList Items;
  TWideStringList WideItems;
  int32_t ItemIndex = -1;

  bool Checked() const { return FChecked; }
  // Changing the check state runs OnClick, as the platform's check boxes and radio buttons do;
  // checking a radio button unchecks the radio buttons beside it.
  void SetChecked(bool Value);
  // What a user's click does: toggles a check box, checks a radio button, presses a button
  // (which closes the form with its modal result). Refused for a control that is disabled or
  // hidden, since a user cannot reach it.
  void Click();
  // A user's double click on a list box entry: selects it, then runs OnDblClick. Refused like
  // Click for an unreachable control, and for an index outside the list.
  void DblClick(int32_t Index);
  // A user's selection in a list or combo box: OnEnter runs first (the control receives the
  // focus), then the entry is selected and OnClick runs.
  void Select(int32_t Index);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnEnter;

private:
  friend class TForm;
  TForm& FForm;
  TControl* FParent;
  TControlKind FKind;
  AnsiString FName;
  std::vector<TControl*> FControls;
  bool FChecked = false;
};

class TForm {
public:
  explicit TForm(AnsiString Name);
  virtual ~TForm() = default;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  const AnsiString& Name() const { return FName; }
  WideString Caption;
  int32_t ClientWidth = 0, ClientHeight = 0;
  // The outer size, frame included; 0 leaves it to the view, which derives it from the client size.
  int32_t Width = 0, Height = 0;
  int32_t MinWidth = 0, MinHeight = 0;
  int32_t Left = 0, Top = 0;
  int32_t OuterWidth() const { return Width ? Width : ClientWidth; }
  int32_t OuterHeight() const { return Height ? Height : ClientHeight; }
  AnsiString FontName = "MS Sans Serif";
  int32_t FontHeight = -11;

  // Adds a control under Parent (nullptr: the form itself); the form owns it.
  TControl& Add(TControlKind Kind, const AnsiString& Name, TControl* Parent = nullptr);
  // The control of that name; raises when the form has none (a fault of the caller).
  TControl& Control(const AnsiString& Name) const;
  const std::vector<TControl*>& Controls() const { return FTop; }
  // Every control, parents before their children, in the order they were added.
  std::vector<TControl*> AllControls() const;

  // Modal state: the result the form was closed with (mrNone while it is open).
  int32_t ModalResult = mrNone;
  bool Showing() const { return FShowing; }
  // What the view calls: the form is on the screen, or has gone from it (hidden by its owner or
  // closed by the user).
  void Opened();
  void Closed();
  // The user closes the form with Result (as a button with that modal result does): OnClose runs
  // with the result set, then the form goes from the screen. Hiding a form by its owner is not
  // closing it and runs no OnClose.
  void Close(int32_t Result);
  // Escape: presses the cancel button when there is one, else closes with mrCancel.
  void PressEscape();
  // Enter: presses the default button when there is one.
  void PressEnter();

  std::function<void(TForm& Sender)> OnShow;
  std::function<void(TForm& Sender)> OnClose;
  // Runs whenever the form goes from the screen, closed or hidden.
  std::function<void(TForm& Sender)> OnHide;

private:
  AnsiString FName;
  std::vector<std::unique_ptr<TControl>> FOwned;
  std::vector<TControl*> FTop;
  bool FShowing = false;
};

// The dialog-view port: shows forms of the model. Modal showing returns the modal result the
// form was closed with; a form that cannot be shown answers mrCancel (nothing was confirmed).
class IDialogViews {
public:
  virtual ~IDialogViews() = default;
  // Owner: the window the form belongs to (0 for none).
  virtual int32_t ShowModal(TForm& Form, uint32_t Owner) = 0;
  virtual void Show(TForm& Form, uint32_t Owner) = 0;
  virtual void Hide(TForm& Form) = 0;
};

}  // namespace pel
