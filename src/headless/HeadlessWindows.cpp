#include "HeadlessWindows.h"

#include <algorithm>
#include <atomic>
#include <iterator>

#include "platform/Browser.h"
#include "platform/Dom.h"

namespace pel::headless {

uint32_t THeadlessWindows::AddWindow(TWindow Window) const {
  std::lock_guard<std::mutex> Guard(FLock);
  // Even numbers, as the platform's handles are.
  FNext += 2;
  if (Window.Parent) {
    auto Parent = FWindows.find(Window.Parent);
    if (Parent != FWindows.end()) Parent->second.Children.push_back(FNext);
  }
  FWindows[FNext] = std::move(Window);
  return FNext;
}

uint32_t THeadlessWindows::Create(const TRect& Rect) {
  TWindow Window;
  Window.Rect = Rect;
  Window.Thread = CurrentThreadId();
  return AddWindow(std::move(Window));
}

uint32_t THeadlessWindows::CreateWindow(const AnsiString& ClassName, const WideString& Text, uint32_t Parent,
                                        TMessageHandler Handler, const TRect& Rect) {
  return Make(ClassName, Text, Parent, std::move(Handler), Rect, true);
}

uint32_t THeadlessWindows::Make(const AnsiString& ClassName, const WideString& Text, uint32_t Parent,
                                TMessageHandler Handler, const TRect& Rect, bool Visible) const {
  TWindow Window;
  Window.Rect = Rect;
  Window.Class = ClassName;
  Window.Text = Text;
  Window.Parent = Parent;
  Window.Thread = CurrentThreadId();
  Window.Visible = Visible;
  Window.Handler = std::move(Handler);
  const uint32_t Wnd = AddWindow(std::move(Window));
  THookedMessage Created{Wnd, wmCreate, 0, 0, 0};
  CallHooks(CurrentThreadId(), whCallWndProcRet, 1, Created);
  return Wnd;
}

void THeadlessWindows::Move(uint32_t Wnd, const TRect& Rect) {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It != FWindows.end()) It->second.Rect = Rect;
}

void THeadlessWindows::Hide(uint32_t Wnd) {
  uint32_t Thread = 0;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    auto It = FWindows.find(Wnd);
    if (It == FWindows.end() || !It->second.Visible) return;
    It->second.Visible = false;
    Thread = It->second.Thread;
  }
  THookedMessage Hiding{Wnd, wmWindowPosChanging, 0, 0, swpHideWindow};
  CallHooks(Thread, whCallWndProcRet, 1, Hiding);
}

void THeadlessWindows::Collect(uint32_t Wnd, std::vector<uint32_t>& Order) const {
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return;
  Order.push_back(Wnd);
  for (uint32_t Child : It->second.Children) Collect(Child, Order);
}

void THeadlessWindows::Destroy(uint32_t Wnd) { DestroyTree(Wnd); }

void THeadlessWindows::DestroyTree(uint32_t Wnd) const {
  std::vector<std::pair<uint32_t, uint32_t>> Destroyed;  // window, thread
  {
    std::lock_guard<std::mutex> Guard(FLock);
    std::vector<uint32_t> Order;
    Collect(Wnd, Order);
    for (uint32_t W : Order) Destroyed.emplace_back(W, FWindows[W].Thread);
  }
  // The window hears of its destruction first, then its children; all of them still exist then.
  for (auto [W, Thread] : Destroyed) {
    THookedMessage Message{W, wmDestroy, 0, 0, 0};
    CallHooks(Thread, whCallWndProcRet, 1, Message);
  }
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return;
  if (It->second.Parent) {
    auto Parent = FWindows.find(It->second.Parent);
    if (Parent != FWindows.end()) std::erase(Parent->second.Children, Wnd);
  }
  for (auto [W, Thread] : Destroyed) FWindows.erase(W);
}

bool THeadlessWindows::IsWindow(uint32_t Wnd) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FWindows.count(Wnd) != 0;
}

int THeadlessWindows::ProcessMessages() {
  const uint32_t Thread = CurrentThreadId();
  int Taken = 0;
  for (;;) {
    TQueued Next;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      auto Queue = FQueues.find(Thread);
      if (Queue == FQueues.end() || Queue->second.empty()) return Taken;
      Next = Queue->second.front();
      Queue->second.pop_front();
    }
    ++Taken;
    THookedMessage Message{Next.Wnd, Next.Message, Next.WParam, Next.LParam, 0};
    CallHooks(Thread, whGetMessage, 1, Message);
    TMessageHandler Handler;
    {
      std::lock_guard<std::mutex> Guard(FLock);
      auto It = FWindows.find(Message.Wnd);
      if (It != FWindows.end()) Handler = It->second.Handler;
    }
    if (Handler) Handler(Message.Message, Message.WParam, Message.LParam);
  }
}

void THeadlessWindows::SetWindowsVersion(uint32_t Major, uint32_t Minor) {
  std::lock_guard<std::mutex> Guard(FLock);
  FMajor = Major;
  FMinor = Minor;
}

int THeadlessWindows::HookCount() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return static_cast<int>(FHooks.size());
}

int THeadlessWindows::HookCount(uint32_t ThreadId) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return static_cast<int>(std::count_if(FHooks.begin(), FHooks.end(),
                                        [ThreadId](const THook& H) { return H.Thread == ThreadId; }));
}

bool THeadlessWindows::GetWindowRect(uint32_t Wnd, TRect& Rect) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return false;
  Rect = It->second.Rect;
  return true;
}

uint32_t THeadlessWindows::CurrentThreadId() const {
  // Small numbers that are never reused, like the system's for the life of a test run.
  static std::atomic<uint32_t> Next{0x100};
  thread_local const uint32_t Id = Next.fetch_add(4);
  return Id;
}

uint32_t THeadlessWindows::WindowThreadId(uint32_t Wnd) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  return It == FWindows.end() ? 0 : It->second.Thread;
}

AnsiString THeadlessWindows::ClassName(uint32_t Wnd) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  return It == FWindows.end() ? AnsiString() : It->second.Class.substr(0, 259);
}

uint32_t THeadlessWindows::NextChild(uint32_t Parent, uint32_t After) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Parent);
  if (It == FWindows.end()) return 0;
  const std::vector<uint32_t>& Children = It->second.Children;
  if (After == 0) return Children.empty() ? 0 : Children.front();
  auto Pos = std::find(Children.begin(), Children.end(), After);
  if (Pos == Children.end() || ++Pos == Children.end()) return 0;
  return *Pos;
}

AnsiString THeadlessWindows::WindowTextAnsi(uint32_t Wnd) const { return WideToAnsi(WindowTextWide(Wnd)); }

void THeadlessWindows::SetWindowTextAnsi(uint32_t Wnd, const AnsiString& Text) const {
  SetWindowTextWide(Wnd, AnsiToWide(Text));
}

WideString THeadlessWindows::WindowTextWide(uint32_t Wnd) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  return It == FWindows.end() ? WideString() : It->second.Text;
}

void THeadlessWindows::SetWindowTextWide(uint32_t Wnd, const WideString& Text) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It != FWindows.end()) It->second.Text = Text;
}

bool THeadlessWindows::PostMessageTo(uint32_t Wnd, uint32_t Message, uintptr_t WParam, intptr_t LParam) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return false;
  FQueues[It->second.Thread].push_back({Wnd, Message, WParam, LParam});
  return true;
}

void THeadlessWindows::WindowsVersion(uint32_t& Major, uint32_t& Minor) const {
  std::lock_guard<std::mutex> Guard(FLock);
  Major = FMajor;
  Minor = FMinor;
}

uintptr_t THeadlessWindows::SetThreadHook(int32_t HookType, THookProc Proc, uint32_t ThreadId) const {
  std::lock_guard<std::mutex> Guard(FLock);
  FNextHook += 4;
  FHooks.insert(FHooks.begin(), {FNextHook, HookType, Proc, ThreadId});
  return FNextHook;
}

bool THeadlessWindows::Unhook(uintptr_t Hook) const {
  std::lock_guard<std::mutex> Guard(FLock);
  return std::erase_if(FHooks, [Hook](const THook& H) { return H.Handle == Hook; }) != 0;
}

intptr_t THeadlessWindows::CallNextHook(uintptr_t Hook, int32_t Code, uintptr_t WParam, intptr_t LParam) const {
  THookProc Next = nullptr;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    auto It = std::find_if(FHooks.begin(), FHooks.end(), [Hook](const THook& H) { return H.Handle == Hook; });
    if (It == FHooks.end()) return 0;
    auto After = std::find_if(std::next(It), FHooks.end(),
                              [It](const THook& H) { return H.Thread == It->Thread && H.Type == It->Type; });
    if (After != FHooks.end()) Next = After->Proc;
  }
  return Next ? Next(Code, WParam, LParam) : 0;
}

THookedMessage THeadlessWindows::ReadHookMessage(int32_t, intptr_t LParam) const {
  return LParam ? *reinterpret_cast<const THookedMessage*>(LParam) : THookedMessage();
}

void THeadlessWindows::CallHooks(uint32_t Thread, int32_t Type, uintptr_t WParam, THookedMessage& Message) const {
  THookProc First = nullptr;
  {
    std::lock_guard<std::mutex> Guard(FLock);
    auto It = std::find_if(FHooks.begin(), FHooks.end(),
                           [&](const THook& H) { return H.Thread == Thread && H.Type == Type; });
    if (It != FHooks.end()) First = It->Proc;
  }
  if (First) First(hcAction, WParam, reinterpret_cast<intptr_t>(&Message));
}

uint32_t THeadlessWindows::CreateMessageWindow(TMessageHandler Handler) const {
  return Make("TPelMessageWindow", u"", 0, std::move(Handler), {}, false);
}

void THeadlessWindows::DestroyMessageWindow(uint32_t Wnd) const { DestroyTree(Wnd); }

namespace {

struct TStringEntry {
  int32_t ID;
  const char16_t* Text;
};

constexpr TStringEntry StringTable[] = {
#define PEL_STRING(ID, Text) {ID, u"" Text},
#include "resources/StringTable.inc"
#undef PEL_STRING
};

}  // namespace

WideString THeadlessResources::LoadStr(int32_t ID) const {
  auto It = std::find_if(std::begin(StringTable), std::end(StringTable),
                         [ID](const TStringEntry& E) { return E.ID == ID; });
  return It == std::end(StringTable) ? WideString() : WideString(It->Text);
}

bool THeadlessMail::SendMail(const AnsiString& Address, const AnsiString& Subject, const AnsiString& Text) const {
  std::lock_guard<std::mutex> Guard(FLock);
  FOutbox.push_back({Address, Subject, Text});
  return true;
}

std::vector<THeadlessMail::TMessage> THeadlessMail::Outbox() const {
  std::lock_guard<std::mutex> Guard(FLock);
  return FOutbox;
}

void THeadlessMail::Clear() {
  std::lock_guard<std::mutex> Guard(FLock);
  FOutbox.clear();
}

THeadlessMail& HeadlessMail() {
  static THeadlessMail Mail;
  return Mail;
}

bool THeadlessPageImages::Draw(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) const {
  auto Doc = Browser ? Supports<IHTMLDocument2>(Browser->Document()) : nullptr;
  if (!Doc) return false;
  TElementRef Body = Doc->Body();
  const WideString Text = Body ? Body->InnerText() : WideString();
  // The cells of the window that hold a character, line by line, wrapped at the window's width.
  constexpr int Columns = WindowWidth / CellWidth, Rows = WindowHeight / CellHeight;
  std::vector<uint8_t> Greys(static_cast<size_t>(Columns * Rows), Paper);
  int Column = 0, Row = 0, Inked = 0;
  for (char16_t C : Text) {
    if (Row >= Rows) break;
    if (C == u'\n' || Column == Columns) {
      ++Row;
      Column = 0;
      if (C == u'\n') continue;
      if (Row >= Rows) break;
    }
    if (C == u'\r') continue;
    if (C > u' ' && C != u'\u00A0' && C != u'\u3000') {
      Greys[static_cast<size_t>(Row * Columns + Column)] = Ink;
      ++Inked;
    }
    ++Column;
  }
  Bitmap = TPageBitmap();
  if (Inked == 0) return true;
  Bitmap.Width = WindowWidth;
  Bitmap.Height = WindowHeight;
  Bitmap.CellWidth = CellWidth;
  Bitmap.CellHeight = CellHeight;
  Bitmap.Greys = std::move(Greys);
  return true;
}

THeadlessWindows& HeadlessWindows() {
  static THeadlessWindows Windows;
  return Windows;
}

}  // namespace pel::headless
