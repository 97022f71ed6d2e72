#include "ComPageImages.h"

#include <windows.h>

#include <oleidl.h>

#include "ComObject.h"
#include "platform/Browser.h"
#include "platform/Dom.h"
#include "platform/Exceptions.h"
#include "platform/PageBitmap.h"

namespace pel::win32 {

namespace {
// A memory device context with a top-down 32-bit bitmap selected into it, freed when it goes.
class TDrawingSurface {
public:
  TDrawingSurface(int Width, int Height) {
    BITMAPINFO Info = {};
    Info.bmiHeader.biSize = sizeof Info.bmiHeader;
    Info.bmiHeader.biWidth = Width;
    Info.bmiHeader.biHeight = -Height;
    Info.bmiHeader.biPlanes = 1;
    Info.bmiHeader.biBitCount = 32;
    Info.bmiHeader.biCompression = BI_RGB;
    FDC = CreateCompatibleDC(nullptr);
    if (FDC) FBitmap = CreateDIBSection(FDC, &Info, DIB_RGB_COLORS, &FBits, nullptr, 0);
    if (!FDC || !FBitmap || !FBits) throw EOleSysError("No bitmap of the page's size can be made", E_OUTOFMEMORY);
    FOld = SelectObject(FDC, FBitmap);
  }
  ~TDrawingSurface() {
    if (FOld) SelectObject(FDC, FOld);
    if (FBitmap) DeleteObject(FBitmap);
    if (FDC) DeleteDC(FDC);
  }
  TDrawingSurface(const TDrawingSurface&) = delete;
  TDrawingSurface& operator=(const TDrawingSurface&) = delete;
  HDC DC() const { return FDC; }
  const uint8_t* Bits() const { return static_cast<const uint8_t*>(FBits); }

private:
  HDC FDC = nullptr;
  HBITMAP FBitmap = nullptr;
  HGDIOBJ FOld = nullptr;
  void* FBits = nullptr;
};
}  // namespace

bool TComPageImages::Draw(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) const {
  auto Document = Browser ? Supports<IHTMLDocument2>(Browser->Document()) : nullptr;
  IUnknown* Com = ComObjectOf(Document);
  if (!Com) return false;
  IViewObject* View = QueryAs<IViewObject>(Com);
  ::IOleWindow* Window = QueryAs<::IOleWindow>(Com);
  HWND Handle = nullptr;
  RECT Rect = {};
  const bool Measured = View && Window && SUCCEEDED(Window->GetWindow(&Handle)) && Handle && GetWindowRect(Handle, &Rect);
  if (Window) Window->Release();
  if (!Measured) {
    if (View) View->Release();
    return false;
  }
  Bitmap = TPageBitmap();
  const int Width = Rect.right - Rect.left, Height = Rect.bottom - Rect.top;
  if (Width <= 0 || Height <= 0) {
    View->Release();
    return true;
  }
  try {
    TDrawingSurface Surface(Width, Height);
    RECT Area = {0, 0, Width, Height};
    FillRect(Surface.DC(), &Area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RECTL Bounds = {0, 0, Width, Height};
    const HRESULT Drawn =
        View->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, Surface.DC(), &Bounds, nullptr, nullptr, 0);
    OleCheck(Drawn, View, IID_IViewObject);
    GdiFlush();
    Bitmap.Width = Width;
    Bitmap.Height = Height;
    Bitmap.Greys.resize(static_cast<size_t>(Width) * static_cast<size_t>(Height));
    const uint8_t* Pixel = Surface.Bits();
    for (uint8_t& Grey : Bitmap.Greys) {
      // Blue, green, red: the eye's weights for brightness.
      Grey = static_cast<uint8_t>((Pixel[0] * 29 + Pixel[1] * 150 + Pixel[2] * 77) >> 8);
      Pixel += 4;
    }
  } catch (...) {
    View->Release();
    throw;
  }
  View->Release();
  return true;
}

}  // namespace pel::win32
