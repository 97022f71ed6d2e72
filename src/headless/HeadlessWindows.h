#pragma once
// Windows and string resources on the headless platform. There is no desktop, so the windows a
// test or a tool needs (a browser window to centre a dialog on) are made here by hand; the
// strings are the library's table, compiled in.

#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "platform/Services.h"

namespace pel::headless {

// The desktop's windows: each belongs to the thread that made it, has a class, a text, a parent and
// its children in z-order (the order they were made), and may answer messages through a handler.
// Every thread has a message queue and a chain of hooks, as the system gives them: making a window
// tells the window-message hooks of its thread about WM_CREATE, hiding it about a position change
// with SWP_HIDEWINDOW, destroying it about WM_DESTROY (the window first, then its children); a
// message taken from a queue passes the thread's message hooks before its window's handler.
class THeadlessWindows : public IWindowServices {
public:
  // A new window at Rect; handles are never 0 and never reused.
  uint32_t Create(const TRect& Rect);
  // A window of the calling thread, made as the system makes one: its thread's hooks see it.
  uint32_t CreateWindow(const AnsiString& ClassName, const WideString& Text, uint32_t Parent = 0,
                        TMessageHandler Handler = {}, const TRect& Rect = {});
  void Move(uint32_t Wnd, const TRect& Rect);
  // Hides a visible window; a hidden one stays as it is, unseen by hooks.
  void Hide(uint32_t Wnd);
  void Destroy(uint32_t Wnd);
  bool IsWindow(uint32_t Wnd) const;
  // Handles the calling thread's queued messages, also those queued meanwhile, until none is left;
  // answers how many were taken.
  int ProcessMessages();
  // Both layouts of the credential dialog depend on it; a test picks the one it needs.
  void SetWindowsVersion(uint32_t Major, uint32_t Minor);
  // Hooks installed and not removed, of every thread.
  int HookCount() const;
  int HookCount(uint32_t ThreadId) const;

  bool GetWindowRect(uint32_t Wnd, TRect& Rect) const override;
  uint32_t CurrentThreadId() const override;
  uint32_t WindowThreadId(uint32_t Wnd) const override;
  AnsiString ClassName(uint32_t Wnd) const override;
  uint32_t NextChild(uint32_t Parent, uint32_t After) const override;
  AnsiString WindowTextAnsi(uint32_t Wnd) const override;
  void SetWindowTextAnsi(uint32_t Wnd, const AnsiString& Text) const override;
  WideString WindowTextWide(uint32_t Wnd) const override;
  void SetWindowTextWide(uint32_t Wnd, const WideString& Text) const override;
  bool PostMessageTo(uint32_t Wnd, uint32_t Message, uintptr_t WParam, intptr_t LParam) const override;
  void WindowsVersion(uint32_t& Major, uint32_t& Minor) const override;
  uintptr_t SetThreadHook(int32_t HookType, THookProc Proc, uint32_t ThreadId) const override;
  bool Unhook(uintptr_t Hook) const override;
  intptr_t CallNextHook(uintptr_t Hook, int32_t Code, uintptr_t WParam, intptr_t LParam) const override;
  THookedMessage ReadHookMessage(int32_t HookType, intptr_t LParam) const override;
  uint32_t CreateMessageWindow(TMessageHandler Handler) const override;
  void DestroyMessageWindow(uint32_t Wnd) const override;

private:
  struct TWindow {
    TRect Rect;
    AnsiString Class;
    WideString Text;
    uint32_t Parent = 0;
    uint32_t Thread = 0;
    bool Visible = true;
    std::vector<uint32_t> Children;
    TMessageHandler Handler;
  };
  struct THook {
    uintptr_t Handle;
    int32_t Type;
    THookProc Proc;
    uint32_t Thread;
  };
  struct TQueued {
    uint32_t Wnd;
    uint32_t Message;
    uintptr_t WParam;
    intptr_t LParam;
  };
  uint32_t AddWindow(TWindow Window) const;
  uint32_t Make(const AnsiString& ClassName, const WideString& Text, uint32_t Parent, TMessageHandler Handler,
                const TRect& Rect, bool Visible) const;
  void DestroyTree(uint32_t Wnd) const;
  // Calls the first hook of Type on Thread (the newest), which passes the call on itself.
  void CallHooks(uint32_t Thread, int32_t Type, uintptr_t WParam, THookedMessage& Message) const;
  void Collect(uint32_t Wnd, std::vector<uint32_t>& Order) const;

  mutable std::mutex FLock;
  mutable std::map<uint32_t, TWindow> FWindows;
  mutable uint32_t FNext = 0x10010;
  mutable std::vector<THook> FHooks;  // newest first
  mutable uintptr_t FNextHook = 0x2000;
  mutable std::map<uint32_t, std::deque<TQueued>> FQueues;
  uint32_t FMajor = 10, FMinor = 0;
};

class THeadlessResources : public IResources {
public:
  WideString LoadStr(int32_t ID) const override;
};

// The mail program of the headless platform: an outbox that a test or the command-line tool reads.
class THeadlessMail : public IMailServices {
public:
  struct TMessage {
    AnsiString Address, Subject, Text;
    friend bool operator==(const TMessage&, const TMessage&) = default;
  };
  bool SendMail(const AnsiString& Address, const AnsiString& Subject, const AnsiString& Text) const override;
  std::vector<TMessage> Outbox() const;
  void Clear();

private:
  mutable std::mutex FLock;
  mutable std::vector<TMessage> FOutbox;
};

THeadlessMail& HeadlessMail();

// Pictures of headless pages. There is no screen: the window is taken as 1024 × 768 pixels and the
// page's rendered text as set in cells of 8 × 16 pixels, a cell grey where it holds a character, so
// that the thumbnail shows the shape of the text as a reader would see it from afar. A page without
// a character draws nothing.
class THeadlessPageImages : public IPageImages {
public:
  static constexpr int WindowWidth = 1024;
  static constexpr int WindowHeight = 768;
  static constexpr int CellWidth = 8;
  static constexpr int CellHeight = 16;
  static constexpr uint8_t Paper = 255;
  static constexpr uint8_t Ink = 95;
  bool Draw(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) const override;
};

// The binding's windows, for tests and tools that make them.
THeadlessWindows& HeadlessWindows();

}  // namespace pel::headless
