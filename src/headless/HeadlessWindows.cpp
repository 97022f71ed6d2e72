#include "HeadlessWindows.h"

#include <algorithm>
#include <iterator>

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

THeadlessWindows& HeadlessWindows() {
  static THeadlessWindows Windows;
  return Windows;
}

}  // namespace pel::headless
