// The dialogs as real windows: each model shown through the Windows views and driven by the
// messages a user's typing, clicks, Enter and Escape leave, to each of its results, with the
// values read back from the model; the fill dialog placed on its anchor for each placement.

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "dialogs/BindFieldDialog.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageBox.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/StoreDialog.h"
#include "win32/Win32DialogViews.h"
#include "win32/Win32Windows.h"

namespace pel {
namespace {

using win32::TWin32DialogViews;
using win32::Win32DialogViews;

std::wstring TextOf(HWND Window) {
  wchar_t Buffer[512] = {};
  GetWindowTextW(Window, Buffer, 512);
  return Buffer;
}

class WindowsDialogs : public testing::Test {
protected:
  void TearDown() override { Win32DialogViews().OnOpened = nullptr; }
  // The next form to open is driven by Drive, as a user would: it posts what the user does, and
  // the dialog's own loop handles it.
  void DriveNext(std::function<void(TForm& Form, HWND Window)> Drive) {
    Win32DialogViews().OnOpened = [this, Drive](TForm& Form, HWND Window) {
      ++Opened;
      // Only the next form: what a driver opens itself is not driven again. Clearing the event
      // frees this very function, so the driver is kept first.
      auto Driver = Drive;
      Win32DialogViews().OnOpened = nullptr;
      Driver(Form, Window);
    };
  }
  static HWND Control(TForm& Form, const char* Name) {
    HWND Window = TWin32DialogViews::ControlWindow(Form, Name);
    EXPECT_NE(Window, nullptr) << Name;
    return Window;
  }
  // What typing leaves in an edit: its text set, its parent told of the change.
  static void Type(HWND Edit, const wchar_t* Text) { SendMessageW(Edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Text)); }
  static void Click(HWND Button) { PostMessageW(Button, BM_CLICK, 0, 0); }
  static void Key(HWND Window, WPARAM Key) { PostMessageW(Window, WM_KEYDOWN, Key, 0); }
  int Opened = 0;
};

TEST_F(WindowsDialogs, StoreDialogConfirmedWithEnterCarriesTheTypedNameAndTheChosenDefault) {
  TBVStoreDialog Dialog;
  DriveNext([](TForm& Form, HWND Window) {
    EXPECT_EQ(TextOf(Window), L"Save authentication");
    HWND Name = Control(Form, "FormSetNameEdit");
    EXPECT_EQ(TextOf(Name), L"Office");
    EXPECT_EQ(SendMessageW(Control(Form, "FormSetListBox"), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(Control(Form, "ActiveRadioButton"), BM_GETCHECK, 0, 0), BST_CHECKED);
    Type(Name, L"Work login");
    Click(Control(Form, "AllRadioButton"));
    Key(Name, VK_RETURN);
  });
  WideString Profile = u"Home", Name = u"Office";
  int32_t Mode = dmActiveProfile;
  ASSERT_TRUE(Dialog.Execute("Save authentication", u"1=Card A\r\n0=Card B", u"Home\r\nWork\r\n", Profile, Name, Mode));
  EXPECT_EQ(Opened, 1);
  EXPECT_EQ(Name, u"Work login");
  EXPECT_EQ(Mode, dmAllProfiles);
  EXPECT_EQ(TWin32DialogViews::WindowOf(Dialog), nullptr) << "the window goes with the dialog";

  DriveNext([](TForm& Form, HWND) { Key(Control(Form, "FormSetNameEdit"), VK_ESCAPE); });
  Profile = u"Home";
  EXPECT_FALSE(Dialog.Execute("Save authentication", u"", u"Home\r\n", Profile, Name, Mode));
  EXPECT_EQ(Profile, u"");
}

TEST_F(WindowsDialogs, PasswordPromptHidesWhatIsTypedAndAnswersOkOrCancel) {
  TEnterPasswordForm Form;
  DriveNext([](TForm& F, HWND) {
    HWND Edit = Control(F, "PasswordEdit");
    EXPECT_TRUE(GetWindowLongW(Edit, GWL_STYLE) & ES_PASSWORD);
    Type(Edit, L"s3cr\u00E9t");
    Click(Control(F, "OKButton"));
  });
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrOk);
  EXPECT_EQ(Form.PasswordEdit.Text, u"s3cr\u00E9t");

  DriveNext([](TForm& F, HWND) { Click(Control(F, "CancelButton")); });
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrCancel);
  DriveNext([](TForm&, HWND Window) { PostMessageW(Window, WM_CLOSE, 0, 0); });
  EXPECT_EQ(DialogViews().ShowModal(Form, 0), mrCancel) << "the close box";
}

TEST_F(WindowsDialogs, QuestionBoxAnswersYesNoAndEscapeAsNo) {
  struct TCase {
    const char* Button;  // nullptr: Escape
    int32_t Expected;
  };
  for (const TCase& C : {TCase{"YesButton", mrYes}, TCase{"NoButton", mrNo}, TCase{nullptr, mrNo}}) {
    DriveNext([&](TForm& Form, HWND Window) {
      EXPECT_EQ(TextOf(Window), L"Pelmora");
      EXPECT_EQ(TextOf(Control(Form, "Label1")), L"Save the form?");
      if (C.Button)
        Click(Control(Form, C.Button));
      else
        Key(Control(Form, "YesButton"), VK_ESCAPE);
    });
    EXPECT_EQ(AskQuestion(0, u"Save the form?", u"Pelmora"), C.Expected) << (C.Button ? C.Button : "Escape");
  }
}

TEST_F(WindowsDialogs, SettingsBoxesFollowTheirDependenciesInTheWindows) {
  TBVSettingsDialog Dialog;
  DriveNext([](TForm& Form, HWND) {
    HWND Submit = Control(Form, "AutoSubmitCheckBox");
    EXPECT_FALSE(IsWindowEnabled(Submit)) << "auto fill is off";
    Click(Control(Form, "AutFillCheckBox"));
    Click(Submit);
    Click(Control(Form, "DialogOnSubmitRadioButton"));
    Click(Control(Form, "Button1"));
  });
  TBVOptions Options;
  Options.AutoFill = 0;
  Options.AutoSubmit = 0;
  Options.SubmitAction = 2;
  bool SetAsDefault = false, ApplyToAll = false;
  ASSERT_TRUE(Dialog.Execute(Options, SetAsDefault, ApplyToAll));
  EXPECT_EQ(Options.AutoFill, 1);
  EXPECT_EQ(Options.AutoSubmit, 1);
  EXPECT_EQ(Options.SubmitAction, 1);

  DriveNext([](TForm& Form, HWND) {
    Click(Control(Form, "AutFillCheckBox"));
    Key(Control(Form, "AutFillCheckBox"), VK_ESCAPE);
  });
  TBVOptions Before = Options;
  EXPECT_FALSE(Dialog.Execute(Options, SetAsDefault, ApplyToAll));
  EXPECT_EQ(Options, Before);
}

TEST_F(WindowsDialogs, BindFieldChosenByGroupAndDoubleClick) {
  const TNewStringDynSquareArray Groups = {{"Identity", "Last name", "First name"}, {"Address", "City", "Street"}};
  TProfileBindFieldForm Dialog;
  DriveNext([](TForm& Form, HWND) {
    HWND Combo = Control(Form, "GroupsComboBox");
    HWND List = Control(Form, "TextListBox");
    // The combo box's choice as a user's selection reports it.
    SendMessageW(Combo, CB_SETCURSEL, 2, 0);
    PostMessageW(GetParent(Combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(Combo));
    // Then, once the list shows the group's fields (posted messages come in order), a double
    // click on "Street".
    PostMessageW(List, LB_SETCURSEL, 1, 0);
    PostMessageW(GetParent(List), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(List), LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(List));
  });
  AnsiString Field;
  ASSERT_TRUE(Dialog.Execute(Groups, Field));
  EXPECT_EQ(Dialog.GroupText(), "Address");
  EXPECT_EQ(Field, "Street");

  DriveNext([](TForm& Form, HWND) { Click(Control(Form, "CancelButton")); });
  EXPECT_FALSE(Dialog.Execute(Groups, Field));
  EXPECT_EQ(Field, "");
}

TEST_F(WindowsDialogs, FillDialogSitsOnItsAnchorForEachPlacementAndEscapeHidesIt) {
  HWND Anchor = CreateWindowExW(0, L"STATIC", L"anchor", WS_POPUP | WS_VISIBLE, 100, 80, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  struct TCase {
    uint8_t Placement, HeightMode, WidthMode;
    RECT Expected;
  };
  const TCase Cases[] = {
      {1, 1, 2, {500, 80, 750, 380}},  // right of the anchor, as high, 250 wide
      {2, 2, 2, {175, 105, 425, 355}},  // centred, 250 × 250
      {0, 0, 1, {100, 80, 500, 388}},  // inside the right edge, anchor-wide, own height
  };
  for (const TCase& C : Cases) {
    TBVDialog Dialog;
    Dialog.SetAnchorWindow(win32::Handle32FromWnd(Anchor));
    Dialog.Placement = C.Placement;
    Dialog.HeightMode = C.HeightMode;
    Dialog.WidthMode = C.WidthMode;
    DialogViews().Show(Dialog, 0);
    HWND Window = TWin32DialogViews::WindowOf(Dialog);
    ASSERT_NE(Window, nullptr);
    RECT R;
    GetWindowRect(Window, &R);
    EXPECT_EQ(R.left, C.Expected.left) << int(C.Placement);
    EXPECT_EQ(R.top, C.Expected.top) << int(C.Placement);
    EXPECT_EQ(R.right, C.Expected.right) << int(C.Placement);
    EXPECT_EQ(R.bottom, C.Expected.bottom) << int(C.Placement);
    // Escape in the lists hides it, without any event.
    Key(Control(Dialog, "FormSetListBox"), VK_ESCAPE);
    MSG M;
    while (PeekMessageW(&M, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&M);
    EXPECT_FALSE(Dialog.Showing());
    EXPECT_EQ(TWin32DialogViews::WindowOf(Dialog), nullptr);
  }
  DestroyWindow(Anchor);
}

}  // namespace
}  // namespace pel
