#pragma once
// The platform's small text services, as ports. A binding installs its implementations once, at
// the edge (the library's entry point, a test's main, the tool's main); the core only calls them.

#include <functional>
#include <memory>

#include "PageBitmap.h"
#include "SysTypes.h"
#include "Variant.h"

namespace pel {

// Locale-aware comparison and case mapping under the user's locale.
class ILocale {
public:
  virtual ~ILocale() = default;
  // Negative, zero or positive. CompareText ignores case; CompareStr does not.
  virtual int CompareText(const WideString& A, const WideString& B) const = 0;
  virtual int CompareStr(const WideString& A, const WideString& B) const = 0;
  virtual WideString LowerCase(const WideString& Text) const = 0;
};

// The system's 8-bit code page. Characters it cannot represent become "?".
class ICodePage {
public:
  virtual ~ICodePage() = default;
  virtual AnsiString FromWide(const WideString& Text) const = 0;
  virtual WideString ToWide(const AnsiString& Text) const = 0;
};

// Resolving a relative address against a base address, as the browser does.
class IUrlServices {
public:
  virtual ~IUrlServices() = default;
  // The combined address, or false when it cannot be formed or does not fit BufferLength
  // characters including the terminating zero.
  virtual bool CombineUrl(const AnsiString& Base, const AnsiString& Relative, uint32_t Flags, uint32_t BufferLength,
                          AnsiString& Result) const = 0;
};

// The one flag callers pass: resolve as the browser's address bar does (no encoding after "?" or
// "#", trailing blanks of the query kept).
constexpr uint32_t ICU_BROWSER_MODE = 0x02000000;

// Screen rectangles of windows, as the platform reports them.
struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
};

// Thread hooks: the two kinds the add-on installs, and the procedure a hook calls. The procedure
// has the system's own calling convention and argument widths, so that a binding can hand it to the
// system unchanged and pass the call on exactly as it came.
#if defined(_WIN32) && defined(__i386__)
#define PEL_STDCALL __attribute__((stdcall))
#else
#define PEL_STDCALL
#endif
using THookProc = intptr_t(PEL_STDCALL*)(int32_t Code, uintptr_t WParam, intptr_t LParam);
constexpr int32_t whGetMessage = 3;
constexpr int32_t whCallWndProcRet = 12;
constexpr int32_t hcAction = 0;

// Messages and flags the add-on reads or sends.
constexpr uint32_t wmCreate = 0x0001;
constexpr uint32_t wmDestroy = 0x0002;
constexpr uint32_t wmWindowPosChanging = 0x0046;
constexpr uint32_t wmKeyDown = 0x0100;
constexpr uint32_t wmLButtonUp = 0x0202;
constexpr uint32_t wmUser = 0x0400;
constexpr uint32_t swpHideWindow = 0x0080;
constexpr uintptr_t vkReturn = 13;

// What a hook procedure was told about, read from its LParam: the window and message of a window
// procedure's return (PosFlags: the flags of a position change) or of a message taken from the
// queue.
struct THookedMessage {
  uint32_t Wnd = 0;
  uint32_t Message = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  uint32_t PosFlags = 0;
};

// The windows of the desktop, by their 32-bit handles (the width the store and the browser's
// events pass them at, on every build).
class IWindowServices {
public:
  using TMessageHandler = std::function<void(uint32_t Message, uintptr_t WParam, intptr_t LParam)>;

  virtual ~IWindowServices() = default;
  // False when Wnd names no window (any more).
  virtual bool GetWindowRect(uint32_t Wnd, TRect& Rect) const = 0;

  virtual uint32_t CurrentThreadId() const = 0;
  // The thread that created Wnd; 0 for no window.
  virtual uint32_t WindowThreadId(uint32_t Wnd) const = 0;
  // The window class's name as the 8-bit call reads it, at most 259 characters.
  virtual AnsiString ClassName(uint32_t Wnd) const = 0;
  // The direct child of Parent after After in z-order (After 0: the first); 0 past the last.
  virtual uint32_t NextChild(uint32_t Parent, uint32_t After) const = 0;
  // Window texts through the 8-bit calls (system code page) and through the wide calls.
  virtual AnsiString WindowTextAnsi(uint32_t Wnd) const = 0;
  virtual void SetWindowTextAnsi(uint32_t Wnd, const AnsiString& Text) const = 0;
  virtual WideString WindowTextWide(uint32_t Wnd) const = 0;
  virtual void SetWindowTextWide(uint32_t Wnd, const WideString& Text) const = 0;
  // Queues a message for the thread of Wnd; false when Wnd names no window.
  virtual bool PostMessageTo(uint32_t Wnd, uint32_t Message, uintptr_t WParam, intptr_t LParam) const = 0;
  virtual void WindowsVersion(uint32_t& Major, uint32_t& Minor) const = 0;

  // A hook of the calling process on one thread; the handle (0 when the system refused) is
  // what Unhook and CallNextHook take.
  virtual uintptr_t SetThreadHook(int32_t HookType, THookProc Proc, uint32_t ThreadId) const = 0;
  virtual bool Unhook(uintptr_t Hook) const = 0;
  virtual intptr_t CallNextHook(uintptr_t Hook, int32_t Code, uintptr_t WParam, intptr_t LParam) const = 0;
  // The message a hook procedure of HookType was called about.
  virtual THookedMessage ReadHookMessage(int32_t HookType, intptr_t LParam) const = 0;

  // A hidden top-level window of the calling thread that only receives posted messages, each
  // handed to Handler on that thread.
  virtual uint32_t CreateMessageWindow(TMessageHandler Handler) const = 0;
  virtual void DestroyMessageWindow(uint32_t Wnd) const = 0;
};

// The library's string resources, by number.
class IResources {
public:
  virtual ~IResources() = default;
  // Empty when the library holds no string of that number.
  virtual WideString LoadStr(int32_t ID) const = 0;
};

// The user's mail program: a new message to one address, shown for the user to send.
class IMailServices {
public:
  virtual ~IMailServices() = default;
  // False when there is no mail program or it refused the message.
  virtual bool SendMail(const AnsiString& Address, const AnsiString& Subject, const AnsiString& Text) const = 0;
};

class IWebBrowser2;

// The picture of the page a browser shows, for its thumbnail in the store's page list (the core
// scales and encodes it).
class IPageImages {
public:
  virtual ~IPageImages() = default;
  // Draws the page into Bitmap at the size of the browser's window: true once drawn, Bitmap left
  // empty when the page drew nothing; false, Bitmap untouched, when there is no page or no window
  // to measure. Only a failure of the drawing itself raises.
  virtual bool Draw(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) const = 0;
};

class IRunningObjectTable;
class IDialogViews;

struct TPlatformServices {
  const ILocale* Locale = nullptr;
  const ICodePage* CodePage = nullptr;
  const IUrlServices* Url = nullptr;
  IRunningObjectTable* RunningObjects = nullptr;
  IDialogViews* DialogViews = nullptr;
  const IWindowServices* Windows = nullptr;
  const IResources* Resources = nullptr;
  const IMailServices* Mail = nullptr;
  // Null in a binding that draws no pages yet; the core then reports pages without a picture.
  const IPageImages* PageImages = nullptr;
};

// Installs the services of one binding; every later call goes to them.
void SetPlatformServices(const TPlatformServices& Services);
TPlatformServices CurrentPlatformServices();
// Each raises when the installed binding provides no such service: a missing service is a wiring
// fault, not a quiet default.
const ILocale& Locale();
const ICodePage& CodePage();
const IUrlServices& Url();
IRunningObjectTable& RunningObjects();
IDialogViews& DialogViews();
const IWindowServices& WindowServices();
const IResources& Resources();
const IMailServices& Mail();

// Implemented by each binding library (headless or win32): installs that binding's services.
// Whichever binding is linked is the one that runs.
void InstallPlatformBinding();

// Shorthands for the conversions every caller needs.
inline AnsiString WideToAnsi(const WideString& Text) { return CodePage().FromWide(Text); }
inline WideString AnsiToWide(const AnsiString& Text) { return CodePage().ToWide(Text); }

}  // namespace pel
