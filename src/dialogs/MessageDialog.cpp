#include "MessageDialog.h"

#include "platform/Services.h"

namespace pel {

namespace {

TControl& Put(TForm& Form, TControlKind Kind, const AnsiString& Name, TControl* Parent, TAlign Align = TAlign::None) {
  TControl& C = Form.Add(Kind, Name, Parent);
  C.Align = Align;
  return C;
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
  return B;
}

}  // namespace

TBVMessageDialog::TBVMessageDialog()
    : TForm("BVMessageDialog"),
      Panel2(Put(*this, TControlKind::Panel, "Panel2", nullptr, TAlign::Client)),
      GroupBox1(Put(*this, TControlKind::GroupBox, "GroupBox1", &Panel2, TAlign::Client)),
      Panel3(Put(*this, TControlKind::Panel, "Panel3", &GroupBox1, TAlign::Client)),
      Memo1(Put(*this, TControlKind::Memo, "Memo1", &Panel3, TAlign::Client)),
      Panel1(Put(*this, TControlKind::Panel, "Panel1", nullptr, TAlign::Bottom)),
      OkPanel(Put(*this, TControlKind::Panel, "OkPanel", &Panel1, TAlign::Right)),
      OkButton(Button(*this, "OkButton", OkPanel, 7, u"Ok", mrOk)),
      YesNoPanel(Put(*this, TControlKind::Panel, "YesNoPanel", &Panel1, TAlign::Right)),
      YesButton(Button(*this, "YesButton", YesNoPanel, 7, u"Yes", mrYes)),
      NoButton(Button(*this, "NoButton", YesNoPanel, 89, u"No", mrNo)) {
  Caption = u"Pelmora";
  ClientWidth = 298;
  ClientHeight = 158;
  Panel2.BorderWidth = 3;
  GroupBox1.Caption = u" Information ";
  Panel3.BorderWidth = 3;
  Memo1.ReadOnly = true;
  Panel1.Height = 39;
  OkPanel.Width = 89;
  OkPanel.Visible = false;
  YesNoPanel.Width = 171;
  YesNoPanel.Visible = false;
  OnShow = [this](TForm&) { FormShow(); };
  OnClose = [this](TForm&) { FormClose(); };
}

TBVMessageDialog::~TBVMessageDialog() { FAnchorWindow = 0; }

void TBVMessageDialog::FormShow() {
  // A new showing never carries the previous answer.
  ModalResult = mrNone;
  TRect Anchor;
  if (FAnchorWindow == 0 || !WindowServices().GetWindowRect(FAnchorWindow, Anchor)) return;
  // Halves truncate toward zero, as the platform's integer division does.
  Left = Anchor.Left + (Anchor.Width() - OuterWidth()) / 2;
  Top = Anchor.Top + (Anchor.Height() - OuterHeight()) / 2;
}

void TBVMessageDialog::FormClose() {
  // Escape and the system menu close without a button: that is no answer.
  if (ModalResult == mrNone) ModalResult = mrCancel;
  if (FOnAnswer) FOnAnswer(*this, ModalResult);
}

}  // namespace pel
