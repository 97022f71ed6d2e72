// The agent's dialogs as models, answered through the headless dialog views as a user would
// answer them: what each control shows for the options it was given, how the boxes depend on
// each other, and what OK, Cancel and Escape hand back.

#include <gtest/gtest.h>

#include "dialogs/PasswordDialog.h"
#include "dialogs/SettingsDialog.h"
#include "headless/HeadlessDialogs.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

using namespace pel;

namespace {

class Dialogs : public testing::Test {
protected:
  void SetUp() override { Views().Clear(); }
  void TearDown() override { Views().Clear(); }
  static headless::THeadlessDialogViews& Views() { return headless::HeadlessDialogViews(); }
};

TBVOptions Options(uint8_t AutoFill, uint8_t AutoSubmit, uint8_t AskConfirm, uint8_t AutoShow, uint8_t AutoFillNew,
                   uint8_t AutoBind, uint8_t SubmitAction) {
  return {AutoFill, AutoSubmit, AskConfirm, AutoShow, AutoFillNew, AutoBind, SubmitAction};
}

TEST_F(Dialogs, SettingsShowEveryOptionAndHandThemBackUnchangedOnOk) {
  struct TCase {
    TBVOptions In;
    const char* Radio;  // the radio button shown checked, or none
  };
  const TCase Cases[] = {
      {Options(1, 0, 0, 1, 1, 0, 1), "DialogOnSubmitRadioButton"},
      {Options(1, 1, 1, 0, 0, 1, 2), "AutoSaveOnSubmitRadioButton"},
      {Options(0, 0, 0, 0, 0, 0, 0), "NoneOnSubmitRadioButton"},
      {Options(1, 1, 0, 1, 1, 1, 0), "NoneOnSubmitRadioButton"},
  };
  for (const TCase& C : Cases) {
    TBVSettingsDialog Dialog;
    Views().Answer("BVSettingsDialog", [&](TForm& Form) {
      EXPECT_EQ(Dialog.AutFillCheckBox.Checked(), C.In.AutoFill != 0);
      EXPECT_EQ(Dialog.AutoSubmitCheckBox.Checked(), C.In.AutoSubmit != 0);
      EXPECT_EQ(Dialog.AskConfirmCheckBox.Checked(), C.In.AskConfirm != 0);
      EXPECT_EQ(Dialog.AutoShowCheckBox.Checked(), C.In.AutoShow != 0);
      EXPECT_EQ(Dialog.AutoFillNewCheckBox.Checked(), C.In.AutoFillNew != 0);
      EXPECT_EQ(Dialog.AutoBindCheckBox.Checked(), C.In.AutoBind != 0);
      for (const char* Radio : {"NoneOnSubmitRadioButton", "AutoSaveOnSubmitRadioButton", "DialogOnSubmitRadioButton"})
        EXPECT_EQ(Form.Control(Radio).Checked(), AnsiString(Radio) == C.Radio) << Radio;
      EXPECT_TRUE(Dialog.SetDefaultCheckBox.Checked());
      Dialog.Button1.Click();
    });
    TBVOptions Out = C.In;
    bool SetAsDefault = false, ApplyToAll = true;
    EXPECT_TRUE(Dialog.Execute(Out, SetAsDefault, ApplyToAll));
    EXPECT_EQ(Out, C.In);
    EXPECT_TRUE(SetAsDefault);
    EXPECT_FALSE(ApplyToAll);
  }
}

TEST_F(Dialogs, SettingsBoxesFollowTheBoxesTheyDependOn) {
  TBVSettingsDialog Dialog;
  Views().Answer("BVSettingsDialog", [&](TForm&) {
    // Auto fill off: auto submit is shown as stored but cannot be changed, nor what hangs on it.
    EXPECT_TRUE(Dialog.AutoSubmitCheckBox.Checked());
    EXPECT_FALSE(Dialog.AutoSubmitCheckBox.Enabled);
    EXPECT_FALSE(Dialog.AskConfirmCheckBox.Enabled);
    EXPECT_FALSE(Dialog.AutoBindCheckBox.Enabled);
    EXPECT_THROW(Dialog.AutoSubmitCheckBox.Click(), Exception);

    Dialog.AutFillCheckBox.Click();
    EXPECT_TRUE(Dialog.AutoSubmitCheckBox.Enabled);
    EXPECT_TRUE(Dialog.AskConfirmCheckBox.Enabled);
    Dialog.AutoSubmitCheckBox.Click();
    EXPECT_FALSE(Dialog.AskConfirmCheckBox.Enabled);
    Dialog.AutoFillNewCheckBox.Click();
    EXPECT_TRUE(Dialog.AutoBindCheckBox.Enabled);
    Dialog.AutoFillNewCheckBox.Click();
    EXPECT_FALSE(Dialog.AutoBindCheckBox.Enabled);

    Dialog.ApplyToAllCheckBox.Click();
    EXPECT_TRUE(Dialog.ApplyToAllCheckBox.Checked());
    Dialog.SetDefaultCheckBox.Click();
    EXPECT_FALSE(Dialog.ApplyToAllCheckBox.Enabled);
    Dialog.DialogOnSubmitRadioButton.Click();
    EXPECT_FALSE(Dialog.AutoSaveOnSubmitRadioButton.Checked());
    Dialog.Button1.Click();
  });
  TBVOptions Opt = Options(0, 1, 0, 1, 0, 0, 2);
  bool SetAsDefault = true, ApplyToAll = true;
  ASSERT_TRUE(Dialog.Execute(Opt, SetAsDefault, ApplyToAll));
  EXPECT_EQ(Opt, Options(1, 0, 0, 1, 0, 0, 1));
  EXPECT_FALSE(SetAsDefault);
  // Checked, but it only counts together with "Set as default".
  EXPECT_FALSE(ApplyToAll);
}

TEST_F(Dialogs, SettingsWithAnUnknownSubmitActionCheckNoRadioAndReturnNothing) {
  TBVSettingsDialog Dialog;
  Views().Answer("BVSettingsDialog", [&](TForm& Form) {
    EXPECT_FALSE(Dialog.NoneOnSubmitRadioButton.Checked());
    EXPECT_FALSE(Dialog.AutoSaveOnSubmitRadioButton.Checked());
    EXPECT_FALSE(Dialog.DialogOnSubmitRadioButton.Checked());
    Dialog.ApplyToAllCheckBox.Click();
    Form.PressEnter();
  });
  TBVOptions Opt = Options(1, 0, 0, 1, 1, 0, 5);
  bool SetAsDefault = false, ApplyToAll = false;
  ASSERT_TRUE(Dialog.Execute(Opt, SetAsDefault, ApplyToAll));
  EXPECT_EQ(Opt.SubmitAction, 0);
  EXPECT_TRUE(SetAsDefault);
  EXPECT_TRUE(ApplyToAll);
}

TEST_F(Dialogs, CancellingSettingsInAnyWayLeavesTheOptionsAsTheyWere) {
  const TBVOptions Before = Options(1, 1, 1, 1, 1, 1, 2);
  const std::function<void(TForm&)> Ways[] = {
      [](TForm& Form) {
        Form.Control("AutFillCheckBox").Click();
        Form.Control("Button2").Click();
      },
      [](TForm& Form) {
        Form.Control("AutoShowCheckBox").Click();
        Form.PressEscape();
      },
      nullptr,  // nobody answers
  };
  for (const auto& Way : Ways) {
    TBVSettingsDialog Dialog;
    if (Way) Views().Answer("BVSettingsDialog", Way);
    TBVOptions Opt = Before;
    bool SetAsDefault = true, ApplyToAll = true;
    EXPECT_FALSE(Dialog.Execute(Opt, SetAsDefault, ApplyToAll));
    EXPECT_EQ(Opt, Before);
    EXPECT_FALSE(SetAsDefault);
    EXPECT_FALSE(ApplyToAll);
  }
}

TEST_F(Dialogs, SettingsLayoutCarriesTheCaptionsAndPlaces) {
  TBVSettingsDialog Dialog;
  EXPECT_EQ(Dialog.Caption, u"Pelmora settings");
  EXPECT_EQ(Dialog.ClientWidth, 305);
  EXPECT_EQ(Dialog.ClientHeight, 278);
  struct TPlace {
    const char* Name;
    int32_t Left, Top;
    const char16_t* Caption;
  };
  const TPlace Places[] = {
      {"Label1", 8, 8, u"Filling settings"},
      {"AutFillCheckBox", 24, 24, u"Auto fill of existing forms"},
      {"AutoSubmitCheckBox", 40, 40, u"Auto submit existing forms"},
      {"AskConfirmCheckBox", 56, 56, u"Ask confirmation if link or link text changed"},
      {"AutoShowCheckBox", 24, 72, u"Auto show form cards selection dialog"},
      {"AutoFillNewCheckBox", 24, 88, u"Auto fill of new forms"},
      {"AutoBindCheckBox", 40, 104, u"Auto bind fields of new forms"},
      {"Label2", 8, 120, u"Saving settings"},
      {"NoneOnSubmitRadioButton", 24, 136, u"Nothing should be done when form submitted"},
      {"AutoSaveOnSubmitRadioButton", 24, 152, u"Auto save form card data when form submitted"},
      {"DialogOnSubmitRadioButton", 24, 168, u"Show save dialog when form submitted"},
      {"SetDefaultCheckBox", 0, 5, u"Set as default"},
      {"ApplyToAllCheckBox", 16, 21, u"Apply to all browsers"},
  };
  for (const TPlace& P : Places) {
    const TControl& C = Dialog.Control(P.Name);
    EXPECT_EQ(C.Left, P.Left) << P.Name;
    EXPECT_EQ(C.Top, P.Top) << P.Name;
    EXPECT_EQ(C.Caption, P.Caption) << P.Name;
  }
  EXPECT_EQ(Dialog.Control("AutFillCheckBox").Parent(), &Dialog.Control("ScrollBox1"));
  EXPECT_EQ(Dialog.Control("ApplyToAllCheckBox").Parent(), &Dialog.Control("SetAdDefaultPanel"));
}

TEST_F(Dialogs, PasswordPromptHandsBackWhatWasTypedOnOkOnly) {
  TEnterPasswordForm Form;
  EXPECT_EQ(Form.Caption, u"Enter password");
  EXPECT_EQ(Form.PasswordEdit.PasswordChar, u'*');
  Views().Answer("EnterPasswordForm", [](TForm& F) {
    F.Control("PasswordEdit").Text = u" s\u00E9cret ";
    F.PressEnter();
  });
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrOk);
  EXPECT_EQ(Form.PasswordEdit.Text, u" s\u00E9cret ");

  Views().Answer("EnterPasswordForm", [](TForm& F) {
    F.Control("PasswordEdit").Text = u"typed";
    F.PressEscape();
  });
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrCancel);
  // Unanswered: cancelled, not left waiting.
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrCancel);
  EXPECT_FALSE(Form.Showing());
  EXPECT_EQ(Views().Shown(), (std::vector<AnsiString>{"EnterPasswordForm", "EnterPasswordForm", "EnterPasswordForm"}));
}

}  // namespace
