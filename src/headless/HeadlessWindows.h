#pragma once
// Windows and string resources on the headless platform. There is no desktop, so the windows a
// test or a tool needs (a browser window to centre a dialog on) are made here by hand; the
// strings are the library's table, compiled in.

#include <map>
#include <mutex>
#include <vector>

#include "platform/Services.h"

namespace pel::headless {

class THeadlessWindows : public IWindowServices {
public:
  // A new window at Rect; handles are never 0 and never reused.
  uint32_t Create(const TRect& Rect);
  void Move(uint32_t Wnd, const TRect& Rect);
  void Destroy(uint32_t Wnd);

  bool GetWindowRect(uint32_t Wnd, TRect& Rect) const override;

private:
  mutable std::mutex FLock;
  std::map<uint32_t, TRect> FWindows;
  uint32_t FNext = 0x10010;
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
