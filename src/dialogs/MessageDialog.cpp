#include "MessageDialog.h"

#include "platform/Services.h"

namespace pel {


TBVMessageDialog::TBVMessageDialog()
    : TForm("BVMessageDialog"),
      Panel2(Add(TControlKind::Panel, "Panel2").Aligned(TAlign::Client)),
      GroupBox1(Add(TControlKind::GroupBox, "GroupBox1", &Panel2).Aligned(TAlign::Client)),
      Panel3(Add(TControlKind::Panel, "Panel3", &GroupBox1).Aligned(TAlign::Client)),
      Memo1(Add(TControlKind::Memo, "Memo1", &Panel3).Aligned(TAlign::Client)),
      Panel1(Add(TControlKind::Panel, "Panel1").Aligned(TAlign::Bottom, 39)),
      OkPanel(Add(TControlKind::Panel, "OkPanel", &Panel1).Aligned(TAlign::Right, 89)),
      OkButton(Add(TControlKind::Button, "OkButton", &OkPanel).At(7, 7, 75, 25).Captioned(u"Ok").Closing(mrOk)),
      YesNoPanel(Add(TControlKind::Panel, "YesNoPanel", &Panel1).Aligned(TAlign::Right, 171)),
      YesButton(Add(TControlKind::Button, "YesButton", &YesNoPanel).At(7, 7, 75, 25).Captioned(u"Yes").Closing(mrYes)),
      NoButton(Add(TControlKind::Button, "NoButton", &YesNoPanel).At(89, 7, 75, 25).Captioned(u"No").Closing(mrNo)) {
  Caption = u"Pelmora";
  ClientWidth = 298;
  ClientHeight = 158;
  Panel2.BorderWidth = 3;
  GroupBox1.Caption = u" Information ";
  Panel3.BorderWidth = 3;
  Memo1.ReadOnly = true;
  OkPanel.Visible = false;
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
