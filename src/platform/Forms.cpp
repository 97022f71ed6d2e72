#include "Forms.h"

#include <algorithm>

#include "Exceptions.h"

namespace pel {

TControl::TControl(TForm& Form, TControl* Parent, TControlKind Kind, AnsiString Name)
    : FForm(Form), FParent(Parent), FKind(Kind), FName(std::move(Name)) {}

void TControl::SetChecked(bool Value) {
  if (FKind != TControlKind::CheckBox && FKind != TControlKind::RadioButton) return;
  if (FChecked == Value) return;
  FChecked = Value;
  if (Value && FKind == TControlKind::RadioButton) {
    const std::vector<TControl*>& Siblings = FParent ? FParent->FControls : FForm.Controls();
    for (TControl* Sibling : Siblings)
      if (Sibling != this && Sibling->FKind == TControlKind::RadioButton) Sibling->SetChecked(false);
  }
  if (OnClick) OnClick(*this);
}

namespace {

void CheckReachable(const TControl& Control) {
  for (const TControl* C = &Control; C; C = C->Parent())
    if (!C->Enabled || !C->Visible)
      throw Exception("Control " + Control.Name() + " cannot be clicked: it is disabled or hidden");
}

}  // namespace

void TControl::Select(int32_t Index) {
  CheckReachable(*this);
  const int Count = std::max(Items.Count(), WideItems.Count());
  if ((FKind != TControlKind::ListBox && FKind != TControlKind::ComboBox) || Index < -1 || Index >= Count)
    throw Exception("Control " + FName + " has no entry " + IntToStr(Index));
  if (OnEnter) OnEnter(*this);
  ItemIndex = Index;
  // A user's selection in a list is a click on it, as the platform's lists report it.
  if (OnClick) OnClick(*this);
}

void TControl::DblClick(int32_t Index) {
  Select(Index);
  if (OnDblClick) OnDblClick(*this);
}

void TControl::Click() {
  CheckReachable(*this);
  switch (FKind) {
    case TControlKind::CheckBox: SetChecked(!FChecked); break;
    case TControlKind::RadioButton:
      if (FChecked) {
        if (OnClick) OnClick(*this);
      } else {
        SetChecked(true);
      }
      break;
    case TControlKind::Button:
      if (OnClick) OnClick(*this);
      if (ModalResult != mrNone) FForm.Close(ModalResult);
      break;
    default:
      if (OnClick) OnClick(*this);
      break;
  }
}

TForm::TForm(AnsiString Name) : FName(std::move(Name)) {}

TControl& TForm::Add(TControlKind Kind, const AnsiString& Name, TControl* Parent) {
  FOwned.push_back(std::make_unique<TControl>(*this, Parent, Kind, Name));
  TControl& Control = *FOwned.back();
  (Parent ? Parent->FControls : FTop).push_back(&Control);
  return Control;
}

TControl& TForm::Control(const AnsiString& Name) const {
  for (const auto& C : FOwned)
    if (C->Name() == Name) return *C;
  throw Exception("Form " + FName + " has no control " + Name);
}

std::vector<TControl*> TForm::AllControls() const {
  std::vector<TControl*> Result;
  Result.reserve(FOwned.size());
  for (const auto& C : FOwned) Result.push_back(C.get());
  return Result;
}

void TForm::Opened() {
  FShowing = true;
  if (OnShow) OnShow(*this);
}

void TForm::Closed() {
  if (!FShowing) return;
  FShowing = false;
  if (OnHide) OnHide(*this);
}

void TForm::Close(int32_t Result) {
  ModalResult = Result;
  if (!FShowing) return;
  if (OnClose) OnClose(*this);
  Closed();
}

void TForm::PressEscape() {
  for (const auto& C : FOwned)
    if (C->Kind() == TControlKind::Button && C->Cancel && C->Enabled) {
      C->Click();
      return;
    }
  Close(mrCancel);
}

void TForm::PressEnter() {
  for (const auto& C : FOwned)
    if (C->Kind() == TControlKind::Button && C->Default && C->Enabled) {
      C->Click();
      return;
    }
}

}  // namespace pel
