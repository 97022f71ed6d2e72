#pragma once
// The dialog-view port on Windows: a real window for each form of the model. The model stays the
// only owner of state: a click, a keystroke or a selection in a window is handed to the model as
// the user's action, and the windows are brought up to date from the model after each, closing
// when the model has closed its form. Positions and sizes of the design are in pixels at 96 dots
// per inch and are scaled to the screen; a place the model worked out on the screen (a dialog
// beside its anchor) is used as it is.

#include <windows.h>

#include <functional>

#include "platform/Forms.h"

namespace pel::win32 {

class TWin32DialogViews : public IDialogViews {
public:
  int32_t ShowModal(TForm& Form, uint32_t Owner) override;
  void Show(TForm& Form, uint32_t Owner) override;
  void Hide(TForm& Form) override;

  // The window showing Form (nullptr when none), and the window of one of its controls (nullptr
  // for a control drawn by no window of its own, as plain panels are).
  static HWND WindowOf(const TForm& Form);
  static HWND ControlWindow(const TForm& Form, const AnsiString& ControlName);

  // Told of each form's window once it is on the screen, on the form's thread: for whoever
  // drives the views without a user (the Windows tests, the screenshot tool).
  std::function<void(TForm& Form, HWND Window)> OnOpened;
};

TWin32DialogViews& Win32DialogViews();

}  // namespace pel::win32
