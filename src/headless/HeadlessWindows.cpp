#include "HeadlessWindows.h"

#include <algorithm>
#include <iterator>

#include "platform/GifEncoder.h"
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

TVariant THeadlessPageImages::Capture(const std::shared_ptr<IWebBrowser2>& Browser) const {
  auto Doc = Browser ? Supports<IHTMLDocument2>(Browser->Document()) : nullptr;
  if (!Doc) return TVariant();
  TElementRef Body = Doc->Body();
  const WideString Text = Body ? Body->InnerText() : WideString();
  // The cells of the window that hold a character, line by line, wrapped at the window's width.
  constexpr int CellWidth = 8, CellHeight = 16;
  constexpr int Columns = WindowWidth / CellWidth, Rows = WindowHeight / CellHeight;
  std::vector<uint8_t> Ink(static_cast<size_t>(Columns * Rows), 0);
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
      Ink[static_cast<size_t>(Row * Columns + Column)] = 1;
      ++Inked;
    }
    ++Column;
  }
  if (Inked == 0) return TVariant(int32_t{0});
  // 8 percent of each side, rounded; each pixel as dark as the share of its area that is ink.
  const int Width = (WindowWidth * 8 + 50) / 100, Height = (WindowHeight * 8 + 50) / 100;
  // A pixel samples every other point of its part of the window, and the ink is constant over a
  // cell; so a pixel's darkness is a sum over the few cells it touches, each weighed by how many of
  // its sample columns and rows fall in that cell. Each is counted once per column and row of pixels.
  struct TSpan {
    int Cell, Samples;
  };
  auto Spans = [](int From, int To, int CellSize) {
    std::vector<TSpan> Result;
    for (int P = From; P < To; P += 2) {
      if (Result.empty() || Result.back().Cell != P / CellSize) Result.push_back({P / CellSize, 0});
      ++Result.back().Samples;
    }
    return Result;
  };
  std::vector<std::vector<TSpan>> ColumnSpans(static_cast<size_t>(Width));
  for (int X = 0; X < Width; ++X)
    ColumnSpans[static_cast<size_t>(X)] = Spans(X * WindowWidth / Width, (X + 1) * WindowWidth / Width, CellWidth);
  std::vector<uint8_t> Pixels(static_cast<size_t>(Width * Height));
  for (int Y = 0; Y < Height; ++Y) {
    const auto RowSpans = Spans(Y * WindowHeight / Height, (Y + 1) * WindowHeight / Height, CellHeight);
    int SampleRows = 0;
    for (const TSpan& R : RowSpans) SampleRows += R.Samples;
    for (int X = 0; X < Width; ++X) {
      int Dark = 0, SampleColumns = 0;
      for (const TSpan& C : ColumnSpans[static_cast<size_t>(X)]) {
        SampleColumns += C.Samples;
        for (const TSpan& R : RowSpans)
          Dark += Ink[static_cast<size_t>(R.Cell * Columns + C.Cell)] * R.Samples * C.Samples;
      }
      const int All = SampleRows * SampleColumns;
      Pixels[static_cast<size_t>(Y * Width + X)] = static_cast<uint8_t>(255 - (All ? 160 * Dark / All : 0));
    }
  }
  std::array<uint32_t, 256> Greys{};
  for (uint32_t I = 0; I < 256; ++I) Greys[I] = (I << 16) | (I << 8) | I;
  return TVariant(EncodeGif(Width, Height, Pixels, Greys));
}

THeadlessWindows& HeadlessWindows() {
  static THeadlessWindows Windows;
  return Windows;
}

}  // namespace pel::headless
