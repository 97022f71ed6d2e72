// The agent's dialogs as models, answered through the headless dialog views as a user would
// answer them: what each control shows for the options it was given, how the boxes depend on
// each other, and what OK, Cancel and Escape hand back.

#include <gtest/gtest.h>

#include "dialogs/BindFieldDialog.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageDialog.h"
#include "dialogs/MessageBox.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/StoreDialog.h"
#include "headless/HeadlessWindows.h"
#include "dialogs/SettingsDialog.h"
#include "headless/HeadlessDialogs.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/AnswersUsed.h"

using namespace pel;

namespace {

class Dialogs : public testing::Test {
protected:
  void SetUp() override { Views().Clear(); }
  void TearDown() override { test::ExpectEveryAnswerUsed(); }
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

struct TFillLists {
  TFormCards Sets;
  TWideStringList Profiles, MailCards, Navigations, AuthRecords;
  TFillLists() {
    TFormSet& Here = Sets.Add(u"http://shop.example/login");
    Here.Cards.AddObject(u"Work", 1);
    Here.Cards.Add(u"Home");
    Sets.Add(u"http://shop.example/other").Cards.Add(u"Elsewhere");
    Navigations.Add(u"To basket");
    MailCards.AddObject(u"Friends", 1);
    Profiles.Add(u"Default");
    Profiles.AddObject(u"B\u00FCro", 1);
  }
  void Load(TBVDialog& D) { D.LoadLists(u"http://shop.example/login", Sets, Profiles, MailCards, Navigations, AuthRecords); }
};

TEST_F(Dialogs, FillDialogListsEntriesByKindAndDrawsThePagesOwnAndTheCurrentOnes) {
  TBVDialog D;
  TFillLists L;
  L.Load(D);
  struct TRow {
    const char16_t* Text;
    bool Bold, Current;
  };
  const TRow Rows[] = {
      {u"[C] Work [http://shop.example/login]", true, true},
      {u"[C] Home [http://shop.example/login]", true, false},
      {u"[C] Elsewhere [http://shop.example/other]", false, false},
      {u"[N] To basket", true, false},
      {u"[M] Friends", true, true},
  };
  ASSERT_EQ(D.FormSetListBox.Items.Count(), 5);
  for (int I = 0; I < 5; ++I) {
    EXPECT_EQ(D.EntryText(I), Rows[I].Text) << I;
    EXPECT_EQ(D.EntryBold(I), Rows[I].Bold) << I;
    EXPECT_EQ(D.EntryCurrent(I), Rows[I].Current) << I;
  }
  EXPECT_EQ(D.ProfileListBox.Items.Count(), 2);
  EXPECT_EQ(D.ProfileListBox.Items.Objects(1), 1);

  // Authentication records push everything else out.
  L.AuthRecords.Add(u"me");
  L.AuthRecords.AddObject(u"admin", 1);
  L.Load(D);
  ASSERT_EQ(D.FormSetListBox.Items.Count(), 2);
  EXPECT_EQ(D.EntryText(0), u"[A] me");
  EXPECT_TRUE(D.EntryCurrent(1));
  EXPECT_EQ(D.GroupNames()[1], u"http://shop.example/login");
}

TEST_F(Dialogs, FillDialogChoicesRaiseTheirEventsAndHideOnlyAfterAFillTypeChoice) {
  TBVDialog D;
  TFillLists L;
  std::vector<std::string> Raised;
  auto Note = [&](const char* What) {
    return [&Raised, What](TBVDialog&, const WideString& Set, const WideString& Name) {
      Raised.push_back(std::string(What) + " " + WideToAnsi(Set) + " " + WideToAnsi(Name));
    };
  };
  D.OnPlayNavigation = Note("play");
  D.OnSendMailCard = Note("send");
  D.OnDeleteFormCard = Note("delete");
  D.OnSetDefaultFormCard = Note("default");
  D.OnFillFormCard = [&](TBVDialog&, const WideString&, const WideString& Name, bool Submit, bool Empty) {
    Raised.push_back("card " + WideToAnsi(Name) + (Submit ? " submit" : "") + (Empty ? " empty" : ""));
  };
  D.OnFillProfile = [&](TBVDialog&, const WideString& Profile, bool) { Raised.push_back("profile " + WideToAnsi(Profile)); };
  D.OnSetActiveProfile = [&](TBVDialog&, const WideString& Profile) { Raised.push_back("active " + WideToAnsi(Profile)); };
  auto Open = [&] {
    DialogViews().Show(D, 0);
    L.Load(D);
  };

  Open();
  D.FormSetListBox.Select(3);  // a navigation: "Fill" does nothing and keeps the dialog
  D.BitBtn2.Click();
  EXPECT_TRUE(D.Showing());
  D.BitBtn3.Click();
  EXPECT_FALSE(D.Showing());
  Open();
  D.FormSetListBox.Select(4);
  D.BitBtn3.Click();
  Open();
  D.FormSetListBox.DblClick(3);  // not a card: nothing
  EXPECT_TRUE(D.Showing());
  D.FormSetListBox.DblClick(1);
  Open();
  D.FormSetListBox.Select(0);
  D.ProfileListBox.Select(1);  // the lists never both have a selection
  EXPECT_EQ(D.FormSetListBox.ItemIndex, -1);
  D.OnlyEmptyCheckBox.SetChecked(true);
  D.PressEnter();
  EXPECT_FALSE(D.Showing());
  // The menus: the page's own entries offer the defaults; the commands keep the dialog open.
  Open();
  D.FormSetListBox.Select(2);
  EXPECT_EQ(D.FormSetMenu(), std::vector<AnsiString>{"Delete"});
  D.RunMenuCommand("Delete");
  D.FormSetListBox.Select(0);
  D.FormSetMenu();
  D.RunMenuCommand("Drop default form card for active profile");
  D.ProfileListBox.Select(0);
  EXPECT_EQ(D.ProfileMenu(), std::vector<AnsiString>{"Set profile as active"});
  D.RunMenuCommand("Set profile as active");
  EXPECT_TRUE(D.Showing());
  // Escape hides without raising anything.
  size_t Before = Raised.size();
  D.PressEscape();
  EXPECT_FALSE(D.Showing());
  EXPECT_EQ(Raised.size(), Before);
  EXPECT_EQ(Raised, (std::vector<std::string>{"play http://shop.example/login To basket",
                                              "send http://shop.example/login Friends", "card Home",
                                              "profile B\xFCro", "delete http://shop.example/other Elsewhere",
                                              "default http://shop.example/login ", "active Default"}));
  // Without a selection there is no menu.
  Open();
  EXPECT_TRUE(D.FormSetMenu().empty());
  EXPECT_TRUE(D.ProfileMenu().empty());
  DialogViews().Hide(D);
}

TEST_F(Dialogs, FillDialogPlacesItselfOnItsAnchor) {
  headless::THeadlessWindows& Windows = headless::HeadlessWindows();
  const uint32_t Anchor = Windows.Create({100, 100, 701, 501});  // 601 x 401
  struct TCase {
    uint8_t Placement, WidthMode, HeightMode;
    int32_t Left, Top, Width, Height;
  };
  const TCase Cases[] = {
      {0, 0, 0, 701 - 330, 100, 330, 308},
      {1, 0, 0, 701, 100, 330, 308},
      {2, 0, 0, 100 + (601 - 330) / 2, 100 + (401 - 308) / 2, 330, 308},
      {2, 1, 1, 100, 100, 601, 401},
      {0, 2, 2, 701 - 250, 100, 250, 250},
  };
  for (const TCase& C : Cases) {
    TBVDialog D;
    D.SetAnchorWindow(Anchor);
    D.Placement = C.Placement;
    D.WidthMode = C.WidthMode;
    D.HeightMode = C.HeightMode;
    DialogViews().Show(D, 0);
    EXPECT_EQ(D.Left, C.Left) << int(C.Placement);
    EXPECT_EQ(D.Top, C.Top) << int(C.Placement);
    EXPECT_EQ(D.Width, C.Width) << int(C.WidthMode);
    EXPECT_EQ(D.Height, C.Height) << int(C.HeightMode);
    EXPECT_LE(D.MinWidth, D.Width);
    EXPECT_LE(D.MinHeight, D.Height);
  }
  // Without an anchor it stays where it is.
  Windows.Destroy(Anchor);
  TBVDialog D;
  D.SetAnchorWindow(Anchor);
  D.Left = 7;
  DialogViews().Show(D, 0);
  EXPECT_EQ(D.Left, 7);
  EXPECT_EQ(D.Width, 330);
}

TEST_F(Dialogs, MessageDialogAnswersOnceAndStaysPutWhenItsAnchorIsGone) {
  headless::THeadlessWindows& Windows = headless::HeadlessWindows();
  const uint32_t Anchor = Windows.Create({0, 0, 801, 601});
  TBVMessageDialog D;
  EXPECT_EQ(D.Caption, u"Pelmora");
  EXPECT_FALSE(D.OkPanel.Visible);
  EXPECT_FALSE(D.YesNoPanel.Visible);
  std::vector<int32_t> Answers;
  D.SetOnAnswer([&](TBVMessageDialog&, int32_t Answer) { Answers.push_back(Answer); });
  D.SetAnchorWindow(Anchor);
  D.OkPanel.Visible = true;
  DialogViews().Show(D, 0);
  EXPECT_EQ(D.Left, (801 - 298) / 2);
  EXPECT_EQ(D.Top, (601 - 158) / 2);
  D.OkButton.Click();
  DialogViews().Show(D, 0);
  EXPECT_EQ(D.ModalResult, mrNone);
  DialogViews().Hide(D);  // hidden by its owner: no answer
  Windows.Destroy(Anchor);
  D.Left = 11;
  D.Top = 12;
  DialogViews().Show(D, 0);
  EXPECT_EQ(D.Left, 11);
  EXPECT_EQ(D.Top, 12);
  D.Close(mrNone);  // the system menu
  EXPECT_EQ(Answers, (std::vector<int32_t>{mrOk, mrCancel}));
}

TEST_F(Dialogs, StoreDialogShowsTheStoredNamesAndHandsBackTheChoices) {
  struct TCase {
    const char* Pick;  // the radio button the user checks, or an entry of the list to click
    int Entry;
    int32_t Mode;
    const char16_t* Profile;
  };
  const TCase Cases[] = {
      {"NoneRadioButton", -1, dmNone, u""},
      {"ActiveRadioButton", -1, dmActiveProfile, u""},
      {"AllRadioButton", -1, dmAllProfiles, u""},
      {"CustomRadioButton", -1, dmChosenProfile, u"Work"},
      {nullptr, 0, dmActiveProfile, u""},  // Home is flagged 0: the active profile
      {nullptr, 1, dmAllProfiles, u""},    // Shared is flagged 1: all profiles
  };
  for (const TCase& C : Cases) {
    TBVStoreDialog D;
    Views().Answer("BVStoreDialog", [&](TForm& Form) {
      EXPECT_EQ(Form.Caption, u"Save form-card");
      EXPECT_EQ(D.ActiveRadioButton.Caption, u"active profile \"B\u00FCro\"");
      EXPECT_TRUE(D.AllRadioButton.Checked());
      EXPECT_FALSE(D.ProfileComboBox.Enabled);
      ASSERT_EQ(D.FormSetListBox.WideItems.Count(), 3);
      EXPECT_EQ(D.FormSetListBox.WideItems[0], u"Home");
      EXPECT_EQ(D.FormSetListBox.WideItems[2], u"");  // a line without "="
      EXPECT_EQ(D.FormSetListBox.WideItems.Objects(2), 1);
      if (C.Pick) {
        Form.Control(C.Pick).Click();
        EXPECT_EQ(D.ProfileComboBox.Enabled, AnsiString(C.Pick) == "CustomRadioButton");
        if (D.ProfileComboBox.Enabled) D.ProfileComboBox.Select(1);
      } else {
        D.FormSetListBox.Select(C.Entry);
        EXPECT_EQ(D.FormSetNameEdit.Text, D.FormSetListBox.WideItems[C.Entry]);
      }
      D.Button1.Click();
    });
    WideString Profile = u"B\u00FCro", Name = u"New form-card";
    int16_t OnlyEmpty = 0;
    int32_t Mode = dmAllProfiles;
    ASSERT_TRUE(D.ExecuteWithFillOption("Save form-card", u"0=Home\r\n1=Shared\r\nnoflag\r\n", u"Default\r\nWork",
                                        Profile, Name, OnlyEmpty, Mode));
    EXPECT_EQ(Mode, C.Mode);
    EXPECT_EQ(Profile, C.Profile);
    EXPECT_EQ(Name, C.Pick ? u"New form-card" : (C.Entry == 0 ? u"Home" : u"Shared"));
    EXPECT_EQ(OnlyEmpty, 0);
  }
}

TEST_F(Dialogs, StoreDialogCancelledKeepsTheArgumentsButEmptiesTheProfile) {
  TBVStoreDialog D;
  Views().Answer("BVStoreDialog", [&](TForm& Form) {
    EXPECT_FALSE(D.FillOnlyEmptyPanel.Visible);  // Execute never offers it
    D.FormSetNameEdit.Text = u"typed";
    Form.PressEscape();
  });
  WideString Profile = u"Work", Name = u"Proposed";
  int32_t Mode = dmActiveProfile;
  EXPECT_FALSE(D.Execute("Save navigations", u"", u"Work", Profile, Name, Mode));
  EXPECT_EQ(Profile, u"");
  EXPECT_EQ(Name, u"Proposed");
  EXPECT_EQ(Mode, dmActiveProfile);
  // The fill-only-empty choice comes back when offered.
  Views().Answer("BVStoreDialog", [&](TForm&) {
    EXPECT_TRUE(D.FillOnlyEmptyPanel.Visible);
    EXPECT_FALSE(D.FillOnlyEmptyCheckBox.Checked());
    D.FillOnlyEmptyCheckBox.Click();
    D.Button1.Click();
  });
  int16_t OnlyEmpty = 0;
  EXPECT_TRUE(D.ExecuteWithFillOption("Save form-card", u"", u"", Profile, Name, OnlyEmpty, Mode));
  EXPECT_EQ(OnlyEmpty, -1);
}

TEST_F(Dialogs, QuestionBoxAnswersYesOnlyForYes) {
  Views().Answer("QuestionBox", [](TForm& Form) {
    EXPECT_EQ(Form.Caption, u"Question");
    EXPECT_EQ(Form.Control("Label1").Caption, u"May be form submition!\r\nSave it?");
    Form.Control("YesButton").Click();
  });
  EXPECT_EQ(AskQuestion(0, u"May be form submition!\r\nSave it?", u"Question"), mrYes);
  Views().Answer("QuestionBox", [](TForm& Form) { Form.PressEscape(); });
  EXPECT_EQ(AskQuestion(0, u"Q", u"Question"), mrNo);
  EXPECT_EQ(AskQuestion(0, u"Unanswered", u"Question"), mrNo);
}

TEST_F(Dialogs, BindFieldDialogListsAllFieldsSortedOrOneGroupInItsOrder) {
  const TNewStringDynSquareArray Groups = {{"Identity", "Last name", "First name"},
                                           {"Address", "City", "Street"},
                                           {"Work", "City"},
                                           {"Empty"}};
  TProfileBindFieldForm D;
  EXPECT_EQ(D.GetSynonym(), u"");
  D.SynonimEdit.Text = u"typed without a synonym offered";
  EXPECT_EQ(D.GetSynonym(), u"");
  // A field of another group than the preselected one is not selected.
  D.SetSelection("Identity", "Street");
  Views().Answer("ProfileBindFieldForm", [&](TForm& Form) {
    EXPECT_EQ(D.TextListBox.Items.CommaText(), "\"Last name\",\"First name\"");
    EXPECT_EQ(D.TextListBox.ItemIndex, -1);
    D.GroupsComboBox.Select(0);
    // Sorted, a field of two groups twice, the first selected.
    EXPECT_EQ(D.TextListBox.Items.CommaText(), "City,City,\"First name\",\"Last name\",Street");
    EXPECT_EQ(D.TextListBox.ItemIndex, 0);
    D.GroupsComboBox.Select(4);
    EXPECT_EQ(D.TextListBox.Items.Count(), 0);
    Form.Control("OKButton").Click();
  });
  AnsiString Field = "left over";
  EXPECT_FALSE(D.Execute(Groups, Field));
  EXPECT_EQ(Field, "");
  EXPECT_EQ(D.GroupText(), "Empty");

  D.SetSelection("", "Street");
  D.ShowSynonym(u"Strasse");
  Views().Answer("ProfileBindFieldForm", [&](TForm&) {
    EXPECT_EQ(D.GroupsComboBox.ItemIndex, 0);
    D.TextListBox.DblClick(D.TextListBox.Items.IndexOf("Street"));
  });
  EXPECT_TRUE(D.Execute(Groups, Field));
  EXPECT_EQ(Field, "Street");
  EXPECT_EQ(D.GetSynonym(), u"Strasse");
}

}  // namespace
