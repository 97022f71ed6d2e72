// Shows every dialog of the library in turn, as the library's views make them, for pictures of
// them (scripts/dialog-screenshots.sh). For each it prints "shown NAME WxH+X+Y\tCAPTION" (the
// window's place on the screen) once the window is drawn, and closes it when a line arrives on its
// input. Not a test: it checks nothing.

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "Common/FormCards.h"
#include "dialogs/BindFieldDialog.h"
#include "dialogs/FillDialog.h"
#include "dialogs/MessageBox.h"
#include "dialogs/MessageDialog.h"
#include "dialogs/PasswordDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/StoreDialog.h"
#include "platform/Services.h"
#include "win32/Win32DialogViews.h"

using namespace pel;

namespace {

HWND Current = nullptr;

// The reader of the input: each line closes the dialog on the screen.
DWORD WINAPI ReadLines(LPVOID) {
  std::string Line;
  while (std::getline(std::cin, Line))
    if (Current) PostMessageW(Current, WM_CLOSE, 0, 0);
  return 0;
}

void Announce(TForm& Form, HWND Window) {
  Current = Window;
  RedrawWindow(Window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  GdiFlush();
  RECT R;
  GetWindowRect(Window, &R);
  std::printf("shown %s %ldx%ld+%ld+%ld\t%s\n", Form.Name().c_str(), R.right - R.left, R.bottom - R.top, R.left, R.top,
              WideToAnsi(Form.Caption).c_str());
  std::fflush(stdout);
}

void RunUntilClosed(TForm& Form) {
  MSG Message;
  while (Form.Showing() && GetMessageW(&Message, nullptr, 0, 0) > 0) {
    TranslateMessage(&Message);
    DispatchMessageW(&Message);
  }
}

}  // namespace

int main() {
  InstallPlatformBinding();
  win32::Win32DialogViews().OnOpened = Announce;
  CreateThread(nullptr, 0, ReadLines, nullptr, 0, nullptr);

  TBVDialog Fill;
  Fill.Caption = u"Authentication data";
  TWideStringList Records, Profiles, None;
  Records.AddObject(u"Office", 1);
  Records.AddObject(u"Home", 0);
  Profiles.AddObject(u"Home", 0);
  Profiles.AddObject(u"Work", 1);
  Fill.LoadLists(u"intranet.example", TFormCards(), Profiles, None, None, Records);
  DialogViews().Show(Fill, 0);
  RunUntilClosed(Fill);

  TBVStoreDialog Store;
  WideString Profile = u"Home", Name = u"Office";
  int32_t Mode = dmActiveProfile;
  Store.Execute("Save authentication", u"1=Office\r\n0=Home", u"Home\r\nWork\r\n", Profile, Name, Mode);

  TProfileBindFieldForm Bind;
  AnsiString Field;
  Bind.SetSelection("Address", "City");
  Bind.Execute({{"Identity", "Last name", "First name"}, {"Address", "City", "Street"}}, Field);

  TBVSettingsDialog Settings;
  TBVOptions Options;
  bool SetAsDefault = true, ApplyToAll = false;
  Settings.Execute(Options, SetAsDefault, ApplyToAll);

  TBVMessageDialog Message;
  Message.Memo1.Text = u"The form was filled from the form card \"Office\".";
  Message.YesNoPanel.Visible = false;
  Message.OkPanel.Visible = true;
  DialogViews().Show(Message, 0);
  RunUntilClosed(Message);

  TEnterPasswordForm Password;
  DialogViews().ShowModal(Password, 0);

  AskQuestion(0, u"Save the form card for this page?", u"Pelmora");
  std::printf("done\n");
  return 0;
}
