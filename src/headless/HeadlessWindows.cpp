#include "HeadlessWindows.h"

#include <algorithm>
#include <iterator>

#include "platform/Browser.h"
#include "platform/Dom.h"

namespace pel::headless {

uint32_t THeadlessWindows::Create(const TRect& Rect) {
  std::lock_guard<std::mutex> Guard(FLock);
  // Even numbers, as the platform's handles are.
  FNext += 2;
  FWindows[FNext] = Rect;
  return FNext;
}

void THeadlessWindows::Move(uint32_t Wnd, const TRect& Rect) {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It != FWindows.end()) It->second = Rect;
}

void THeadlessWindows::Destroy(uint32_t Wnd) {
  std::lock_guard<std::mutex> Guard(FLock);
  FWindows.erase(Wnd);
}

bool THeadlessWindows::GetWindowRect(uint32_t Wnd, TRect& Rect) const {
  std::lock_guard<std::mutex> Guard(FLock);
  auto It = FWindows.find(Wnd);
  if (It == FWindows.end()) return false;
  Rect = It->second;
  return true;
}

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
