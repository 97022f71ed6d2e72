#include "Win32DialogViews.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "Win32Windows.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel::win32 {

namespace {

const wchar_t FormClass[] = L"TPelForm";
const wchar_t OriginalProc[] = L"TPelFormControlProc";
constexpr UINT WM_PEL_FORMCLOSED = WM_APP + 0x31;
constexpr int FirstControlID = 100;

struct TView {
  TForm* Form = nullptr;
  HWND Window = nullptr;
  HFONT Font = nullptr, BoldFont = nullptr;
  int Dpi = 96;
  bool Refreshing = false;
  // Actions of the model under way for this view: a view let go of meanwhile is destroyed after.
  int Busy = 0;
  // Sizes of the controls the design leaves to their text (labels, check boxes), design units.
  std::map<const TControl*, SIZE> AutoSizes;
  std::vector<std::pair<TControl*, HWND>> Controls;
  std::map<TControl*, std::vector<WideString>> ItemsShown;
  std::map<TControl*, RECT> Layout;  // design units, relative to the form's client area
};

std::mutex ViewsLock;
std::map<const TForm*, TView*> Views;

HMODULE ThisModule() {
  HMODULE Module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &Module);
  return Module;
}

const wchar_t* W(const WideString& S) { return reinterpret_cast<const wchar_t*>(S.c_str()); }

WideString TextOf(HWND Window) {
  const int Length = ::GetWindowTextLengthW(Window);
  std::wstring Text(static_cast<size_t>(Length) + 1, L'\0');
  Text.resize(static_cast<size_t>(::GetWindowTextW(Window, Text.data(), Length + 1)));
  return WideString(reinterpret_cast<const char16_t*>(Text.data()), Text.size());
}

TView* ViewOf(HWND Window) { return reinterpret_cast<TView*>(::GetWindowLongPtrW(Window, GWLP_USERDATA)); }

int Scale(const TView& V, int Design) { return ::MulDiv(Design, V.Dpi, 96); }

bool Shown(const TControl& C) {
  for (const TControl* P = &C; P; P = P->Parent())
    if (!P->Visible) return false;
  return true;
}

// Aligned children take their edge of what is left of the parent in the model's order: top, then
// bottom, left, right, and the client one fills the rest; the others sit where they were put.
void Arrange(const std::vector<TControl*>& Children, const RECT& Origin, RECT Rest, std::map<TControl*, RECT>& Out,
             const std::map<const TControl*, SIZE>& AutoSizes) {
  for (TAlign A : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client, TAlign::None}) {
    // Of controls on the same edge the one added last is the outermost at the bottom and the
    // right, as at the top the one added first is.
    std::vector<TControl*> Order(Children);
    if (A == TAlign::Bottom || A == TAlign::Right) std::reverse(Order.begin(), Order.end());
    for (TControl* C : Order) {
      if (C->Align != A || (A != TAlign::None && !C->Visible)) continue;
      RECT R;
      switch (A) {
        case TAlign::Top: R = {Rest.left, Rest.top, Rest.right, Rest.top + C->Height}; Rest.top = R.bottom; break;
        case TAlign::Bottom: R = {Rest.left, Rest.bottom - C->Height, Rest.right, Rest.bottom}; Rest.bottom = R.top; break;
        case TAlign::Left: R = {Rest.left, Rest.top, Rest.left + C->Width, Rest.bottom}; Rest.left = R.right; break;
        case TAlign::Right: R = {Rest.right - C->Width, Rest.top, Rest.right, Rest.bottom}; Rest.right = R.left; break;
        case TAlign::Client: R = Rest; break;
        default: {
          auto Auto = AutoSizes.find(C);
          const int Width = C->Width || Auto == AutoSizes.end() ? C->Width : Auto->second.cx;
          const int Height = C->Height || Auto == AutoSizes.end() ? C->Height : Auto->second.cy;
          R = {Origin.left + C->Left, Origin.top + C->Top, Origin.left + C->Left + Width, Origin.top + C->Top + Height};
          break;
        }
      }
      Out[C] = R;
      RECT Inner = R;
      ::InflateRect(&Inner, -C->BorderWidth, -C->BorderWidth);
      // A group box's caption takes the top of its frame.
      if (C->Kind() == TControlKind::GroupBox) {
        Inner.top += 15;
        ::InflateRect(&Inner, -2, 0);
        Inner.bottom -= 2;
      }
      Arrange(C->Controls(), R, Inner, Out, AutoSizes);
    }
  }
}

void LayOut(TView& V) {
  RECT Client;
  ::GetClientRect(V.Window, &Client);
  RECT Design = {0, 0, ::MulDiv(Client.right, 96, V.Dpi), ::MulDiv(Client.bottom, 96, V.Dpi)};
  V.Layout.clear();
  Arrange(V.Form->Controls(), Design, Design, V.Layout, V.AutoSizes);
  for (auto& [C, Window] : V.Controls) {
    auto It = V.Layout.find(C);
    if (It == V.Layout.end()) continue;
    const RECT& R = It->second;
    int Height = Scale(V, R.bottom - R.top);
    // A drop-down list needs room for its list below the edit part.
    if (C->Kind() == TControlKind::ComboBox) Height += Scale(V, 150);
    ::MoveWindow(Window, Scale(V, R.left), Scale(V, R.top), Scale(V, R.right - R.left), Height, FALSE);
  }
  ::InvalidateRect(V.Window, nullptr, TRUE);
}

std::vector<WideString> EntriesOf(const TControl& C) {
  std::vector<WideString> Entries;
  if (C.WideItems.Count() > 0)
    for (int I = 0; I < C.WideItems.Count(); ++I) Entries.push_back(C.WideItems[I]);
  else
    for (int I = 0; I < C.Items.Count(); ++I) Entries.push_back(AnsiToWide(C.Items[I]));
  return Entries;
}

// The windows as the model has them now.
void Refresh(TView& V) {
  V.Refreshing = true;
  if (TextOf(V.Window) != V.Form->Caption) ::SetWindowTextW(V.Window, W(V.Form->Caption));
  LayOut(V);
  for (auto& [C, Window] : V.Controls) {
    ::ShowWindow(Window, Shown(*C) ? SW_SHOWNA : SW_HIDE);
    ::EnableWindow(Window, C->Enabled);
    switch (C->Kind()) {
      case TControlKind::Edit:
      case TControlKind::Memo:
        if (TextOf(Window) != C->Text) ::SetWindowTextW(Window, W(C->Text));
        ::SendMessageW(Window, EM_SETREADONLY, C->ReadOnly, 0);
        break;
      case TControlKind::CheckBox:
      case TControlKind::RadioButton:
        ::SendMessageW(Window, BM_SETCHECK, C->Checked() ? BST_CHECKED : BST_UNCHECKED, 0);
        [[fallthrough]];
      default:
        if (C->Kind() != TControlKind::ListBox && C->Kind() != TControlKind::ComboBox && TextOf(Window) != C->Caption)
          ::SetWindowTextW(Window, W(C->Caption));
        break;
      case TControlKind::ListBox:
      case TControlKind::ComboBox: {
        const bool List = C->Kind() == TControlKind::ListBox;
        std::vector<WideString> Entries = EntriesOf(*C);
        if (V.ItemsShown[C] != Entries) {
          ::SendMessageW(Window, List ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
          for (const WideString& E : Entries)
            ::SendMessageW(Window, List ? LB_ADDSTRING : CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(E)));
          V.ItemsShown[C] = std::move(Entries);
        }
        ::SendMessageW(Window, List ? LB_SETCURSEL : CB_SETCURSEL, static_cast<WPARAM>(C->ItemIndex), 0);
        break;
      }
    }
  }
  V.Refreshing = false;
}

void FreeView(TView* V) {
  if (!V) return;
  {
    std::lock_guard<std::mutex> Guard(ViewsLock);
    auto It = Views.find(V->Form);
    if (It != Views.end() && It->second == V) Views.erase(It);
  }
  V->Form = nullptr;
  if (!V->Window) return;
  if (V->Busy) {
    // An action of this view is still on the stack: the window goes once it has returned.
    ::ShowWindow(V->Window, SW_HIDE);
    ::PostMessageW(V->Window, WM_PEL_FORMCLOSED, 0, 0);
    return;
  }
  ::DestroyWindow(V->Window);  // frees V at WM_NCDESTROY
}

// After a user's action: the windows follow the model, and a form the model closed goes from the
// screen (a modal loop notices by itself; a modeless window goes once the current message is done).
void AfterAction(TView& V) {
  if (!V.Form) return;
  Refresh(V);
  if (!V.Form->Showing()) {
    ::ShowWindow(V.Window, SW_HIDE);
    ::PostMessageW(V.Window, WM_PEL_FORMCLOSED, 0, 0);
  }
}

// A user's action reaches the model; a failure of what the model's events started is the
// owner's to report, and here it only ends the action.
template <class TAction>
void Act(TView& V, TAction&& Action) {
  if (!V.Form || V.Refreshing) return;
  ++V.Busy;
  try {
    Action();
  } catch (const Exception&) {
  }
  --V.Busy;
  if (!V.Form) {
    ::PostMessageW(V.Window, WM_PEL_FORMCLOSED, 0, 0);
    return;
  }
  AfterAction(V);
}

void PressKey(HWND Form, WPARAM Key) {
  TView* V = ViewOf(Form);
  if (!V || !V->Form) return;
  Act(*V, [&] { Key == VK_ESCAPE ? V->Form->PressEscape() : V->Form->PressEnter(); });
}

// The form previews Enter and Escape, whichever control has the focus; Tab moves the focus.
LRESULT CALLBACK ControlProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  auto Original = reinterpret_cast<WNDPROC>(::GetPropW(Window, OriginalProc));
  HWND Form = ::GetParent(Window);
  if (Message == WM_KEYDOWN && (WParam == VK_ESCAPE || WParam == VK_RETURN)) {
    const bool MultiLine = (::GetWindowLongW(Window, GWL_STYLE) & ES_MULTILINE) != 0;
    if (!(WParam == VK_RETURN && MultiLine)) {
      PressKey(Form, WParam);
      return 0;
    }
  }
  if (Message == WM_KEYDOWN && WParam == VK_TAB) {
    if (HWND Next = ::GetNextDlgTabItem(Form, Window, ::GetKeyState(VK_SHIFT) < 0)) ::SetFocus(Next);
    return 0;
  }
  if (Message == WM_CHAR && (WParam == '\r' || WParam == 27 || WParam == '\t')) {
    const bool MultiLine = (::GetWindowLongW(Window, GWL_STYLE) & ES_MULTILINE) != 0;
    if (!(WParam == '\r' && MultiLine)) return 0;
  }
  if (Message == WM_NCDESTROY) ::RemovePropW(Window, OriginalProc);
  return ::CallWindowProcW(Original, Window, Message, WParam, LParam);
}

LRESULT CALLBACK FormProc(HWND Window, UINT Message, WPARAM WParam, LPARAM LParam) {
  if (Message == WM_NCCREATE)
    ::SetWindowLongPtrW(Window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(LParam)->lpCreateParams));
  TView* V = ViewOf(Window);
  switch (Message) {
    case WM_COMMAND: {
      if (!V || !V->Form || !LParam) break;
      HWND From = reinterpret_cast<HWND>(LParam);
      auto It = std::find_if(V->Controls.begin(), V->Controls.end(), [From](auto& P) { return P.second == From; });
      if (It == V->Controls.end()) break;
      TControl* C = It->first;
      const WORD Code = HIWORD(WParam);
      switch (C->Kind()) {
        case TControlKind::Button:
        case TControlKind::CheckBox:
        case TControlKind::RadioButton:
          if (Code == BN_CLICKED) Act(*V, [C] { C->Click(); });
          break;
        case TControlKind::Edit:
        case TControlKind::Memo:
          if (Code == EN_CHANGE && !V->Refreshing) C->Text = TextOf(From);
          break;
        case TControlKind::ListBox:
          if (Code == LBN_SELCHANGE || Code == LBN_DBLCLK) {
            const int Index = static_cast<int>(::SendMessageW(From, LB_GETCURSEL, 0, 0));
            Act(*V, [C, Index, Code] { Code == LBN_DBLCLK ? C->DblClick(Index) : C->Select(Index); });
          }
          break;
        case TControlKind::ComboBox:
          if (Code == CBN_SELCHANGE) {
            const int Index = static_cast<int>(::SendMessageW(From, CB_GETCURSEL, 0, 0));
            Act(*V, [C, Index] { C->Select(Index); });
          }
          break;
        default:
          break;
      }
      return 0;
    }
    case WM_KEYDOWN:
      if (WParam == VK_ESCAPE || WParam == VK_RETURN) {
        PressKey(Window, WParam);
        return 0;
      }
      break;
    case WM_CLOSE:
      // The close box is Escape without a cancel button: the form closes with mrCancel.
      if (V && V->Form) Act(*V, [V] { V->Form->Close(mrCancel); });
      return 0;
    case WM_PEL_FORMCLOSED:
      if (V && !V->Busy && (!V->Form || !V->Form->Showing())) FreeView(V);
      return 0;
    case WM_SIZE:
      if (V && V->Form) LayOut(*V);
      break;
    case WM_GETMINMAXINFO:
      if (V && V->Form) {
        auto* Info = reinterpret_cast<MINMAXINFO*>(LParam);
        if (V->Form->MinWidth) Info->ptMinTrackSize.x = V->Form->MinWidth;
        if (V->Form->MinHeight) Info->ptMinTrackSize.y = V->Form->MinHeight;
      }
      return 0;
    case WM_NCDESTROY:
      if (V) {
        ::SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
        if (V->Form) {
          std::lock_guard<std::mutex> Guard(ViewsLock);
          auto It = Views.find(V->Form);
          if (It != Views.end() && It->second == V) Views.erase(It);
        }
        if (V->Font) ::DeleteObject(V->Font);
        if (V->BoldFont) ::DeleteObject(V->BoldFont);
        delete V;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(Window, Message, WParam, LParam);
}

// Classes a library registers outlive its unloading: one left by an earlier image is replaced.
bool FormClassReady() {
  WNDCLASSW Existing{};
  if (::GetClassInfoW(ThisModule(), FormClass, &Existing)) {
    if (Existing.lpfnWndProc == FormProc) return true;
    ::UnregisterClassW(FormClass, ThisModule());
  }
  WNDCLASSW Class{};
  Class.lpfnWndProc = FormProc;
  Class.hInstance = ThisModule();
  Class.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  Class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  Class.lpszClassName = FormClass;
  return ::RegisterClassW(&Class) != 0;
}

int ScreenDpi() {
  HDC Screen = ::GetDC(nullptr);
  const int Dpi = Screen ? ::GetDeviceCaps(Screen, LOGPIXELSY) : 96;
  if (Screen) ::ReleaseDC(nullptr, Screen);
  return Dpi > 0 ? Dpi : 96;
}

HWND MakeControl(TView& V, TControl& C, int ID) {
  const wchar_t* Class = L"STATIC";
  DWORD Style = WS_CHILD, ExStyle = 0;
  switch (C.Kind()) {
    case TControlKind::Panel:
    case TControlKind::ScrollBox:
    case TControlKind::Image:
      // Plain containers draw nothing of their own; one with a caption shows it centred.
      if (C.Caption.empty()) return nullptr;
      Style |= SS_CENTER | SS_CENTERIMAGE;
      break;
    case TControlKind::Label: Style |= SS_LEFT; break;
    case TControlKind::GroupBox: Class = L"BUTTON"; Style |= BS_GROUPBOX; break;
    case TControlKind::Button:
      Class = L"BUTTON";
      Style |= WS_TABSTOP | (C.Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
      break;
    case TControlKind::CheckBox: Class = L"BUTTON"; Style |= WS_TABSTOP | BS_CHECKBOX; break;
    case TControlKind::RadioButton: Class = L"BUTTON"; Style |= WS_TABSTOP | BS_RADIOBUTTON; break;
    case TControlKind::Edit:
      Class = L"EDIT";
      Style |= WS_TABSTOP | ES_AUTOHSCROLL | (C.PasswordChar ? ES_PASSWORD : 0);
      ExStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::Memo:
      Class = L"EDIT";
      Style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
      ExStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::ListBox:
      Class = L"LISTBOX";
      Style |= WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
      ExStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::ComboBox: Class = L"COMBOBOX"; Style |= WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL; break;
  }
  HWND Window = ::CreateWindowExW(ExStyle, Class, L"", Style, 0, 0, 0, 0, V.Window,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID)), ThisModule(), nullptr);
  if (!Window) return nullptr;
  ::SendMessageW(Window, WM_SETFONT, reinterpret_cast<WPARAM>(C.Bold ? V.BoldFont : V.Font), FALSE);
  if (C.Kind() == TControlKind::Edit && C.PasswordChar) ::SendMessageW(Window, EM_SETPASSWORDCHAR, C.PasswordChar, 0);
  ::SetPropW(Window, OriginalProc,
             reinterpret_cast<HANDLE>(::SetWindowLongPtrW(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc))));
  return Window;
}

TView* MakeView(TForm& Form, HWND Owner) {
  if (!FormClassReady()) return nullptr;
  auto* V = new TView;
  V->Form = &Form;
  V->Dpi = ScreenDpi();
  // No WS_CLIPCHILDREN: a group box draws only its frame, and the form's background shows inside.
  const DWORD Style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME;
  const DWORD ExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT Outer = {0, 0, Scale(*V, Form.ClientWidth ? Form.ClientWidth : Form.OuterWidth()),
                Scale(*V, Form.ClientHeight ? Form.ClientHeight : Form.OuterHeight())};
  ::AdjustWindowRectEx(&Outer, Style, FALSE, ExStyle);
  V->Window = ::CreateWindowExW(ExStyle, FormClass, W(Form.Caption), Style, CW_USEDEFAULT, CW_USEDEFAULT,
                                Outer.right - Outer.left, Outer.bottom - Outer.top, Owner, nullptr, ThisModule(), V);
  if (!V->Window) {
    delete V;
    return nullptr;
  }
  LOGFONTW Font{};
  Font.lfHeight = ::MulDiv(Form.FontHeight, V->Dpi, 96);
  Font.lfWeight = FW_NORMAL;
  Font.lfCharSet = DEFAULT_CHARSET;
  const WideString Face = AnsiToWide(Form.FontName);
  std::copy_n(Face.begin(), std::min<size_t>(Face.size(), LF_FACESIZE - 1), Font.lfFaceName);
  V->Font = ::CreateFontIndirectW(&Font);
  Font.lfWeight = FW_BOLD;
  V->BoldFont = ::CreateFontIndirectW(&Font);
  HDC Screen = ::GetDC(V->Window);
  for (TControl* C : Form.AllControls()) {
    const TControlKind K = C->Kind();
    if ((C->Width && C->Height) ||
        (K != TControlKind::Label && K != TControlKind::CheckBox && K != TControlKind::RadioButton))
      continue;
    HGDIOBJ Old = ::SelectObject(Screen, C->Bold ? V->BoldFont : V->Font);
    SIZE Text{};
    ::GetTextExtentPoint32W(Screen, W(C->Caption), static_cast<int>(C->Caption.size()), &Text);
    ::SelectObject(Screen, Old);
    const bool Box = K != TControlKind::Label;
    V->AutoSizes[C] = {::MulDiv(Text.cx, 96, V->Dpi) + (Box ? 22 : 2),
                       std::max<LONG>(::MulDiv(Text.cy, 96, V->Dpi), Box ? 17 : 13)};
  }
  ::ReleaseDC(V->Window, Screen);
  int ID = FirstControlID;
  for (TControl* C : Form.AllControls())
    if (HWND Window = MakeControl(*V, *C, ID++)) V->Controls.emplace_back(C, Window);
  std::lock_guard<std::mutex> Guard(ViewsLock);
  Views[&Form] = V;
  return V;
}

// Where the model put the form (beside its anchor), else over its owner.
void Place(TView& V, HWND Owner) {
  RECT R;
  ::GetWindowRect(V.Window, &R);
  int Width = V.Form->Width ? V.Form->Width : R.right - R.left;
  int Height = V.Form->Height ? V.Form->Height : R.bottom - R.top;
  int X = V.Form->Left, Y = V.Form->Top;
  if (X == 0 && Y == 0) {
    RECT Over;
    if (!Owner || !::GetWindowRect(Owner, &Over)) ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &Over, 0);
    X = Over.left + (Over.right - Over.left - Width) / 2;
    Y = Over.top + (Over.bottom - Over.top - Height) / 2;
  }
  ::SetWindowPos(V.Window, nullptr, X, Y, Width, Height, SWP_NOZORDER | SWP_NOACTIVATE);
}

TView* Open(TWin32DialogViews& Views, TForm& Form, uint32_t Owner) {
  if (HWND Old = TWin32DialogViews::WindowOf(Form)) FreeView(ViewOf(Old));
  HWND OwnerWindow = Owner ? WndFromHandle32(Owner) : nullptr;
  TView* V = MakeView(Form, OwnerWindow);
  if (!V) return nullptr;
  Form.ModalResult = mrNone;
  Form.Opened();
  Place(*V, OwnerWindow);
  Refresh(*V);
  ::ShowWindow(V->Window, SW_SHOW);
  for (auto& [C, Window] : V->Controls)
    if (C->Kind() != TControlKind::Label && C->Kind() != TControlKind::GroupBox && ::IsWindowVisible(Window) &&
        ::IsWindowEnabled(Window) && (::GetWindowLongW(Window, GWL_STYLE) & WS_TABSTOP)) {
      ::SetFocus(Window);
      break;
    }
  if (Views.OnOpened) Views.OnOpened(Form, V->Window);
  return V;
}

}  // namespace

HWND TWin32DialogViews::WindowOf(const TForm& Form) {
  std::lock_guard<std::mutex> Guard(ViewsLock);
  auto It = Views.find(&Form);
  return It == Views.end() ? nullptr : It->second->Window;
}

HWND TWin32DialogViews::ControlWindow(const TForm& Form, const AnsiString& ControlName) {
  std::lock_guard<std::mutex> Guard(ViewsLock);
  auto It = Views.find(&Form);
  if (It == Views.end()) return nullptr;
  for (auto& [C, Window] : It->second->Controls)
    if (C->Name() == ControlName) return Window;
  return nullptr;
}

int32_t TWin32DialogViews::ShowModal(TForm& Form, uint32_t Owner) {
  TView* V = Open(*this, Form, Owner);
  if (!V) return mrCancel;
  HWND Window = V->Window;
  HWND OwnerWindow = Owner ? WndFromHandle32(Owner) : nullptr;
  const bool Disabled = OwnerWindow && ::IsWindowEnabled(OwnerWindow);
  if (Disabled) ::EnableWindow(OwnerWindow, FALSE);
  MSG Message;
  while (Form.Showing() && ::IsWindow(Window)) {
    const BOOL Got = ::GetMessageW(&Message, nullptr, 0, 0);
    if (Got <= 0) {
      // A quit request ends the dialog and goes on to the loop that asked for it.
      if (Got == 0) ::PostQuitMessage(static_cast<int>(Message.wParam));
      break;
    }
    ::TranslateMessage(&Message);
    ::DispatchMessageW(&Message);
  }
  if (Disabled) ::EnableWindow(OwnerWindow, TRUE);
  if (Form.Showing()) Form.Close(mrCancel);
  if (::IsWindow(Window)) {
    if (TView* Still = ViewOf(Window)) FreeView(Still);
  }
  return Form.ModalResult != mrNone ? Form.ModalResult : mrCancel;
}

void TWin32DialogViews::Show(TForm& Form, uint32_t Owner) {
  if (Form.Showing() && WindowOf(Form)) return;
  Open(*this, Form, Owner);
}

void TWin32DialogViews::Hide(TForm& Form) {
  HWND Window = WindowOf(Form);
  Form.Closed();
  if (Window)
    if (TView* V = ViewOf(Window)) FreeView(V);
}

TWin32DialogViews& Win32DialogViews() {
  static TWin32DialogViews Views;
  return Views;
}

}  // namespace pel::win32
