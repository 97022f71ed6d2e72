#pragma once
// The page thumbnail the store's page list shows: the page drawn by the platform, scaled to
// 8 percent of each side in greys, and encoded as a one-frame GIF.

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Browser.h"
#include "platform/PageBitmap.h"

namespace pel {

// A picture of 8 bits per pixel: Width × Height indexes into Palette (0xRRGGBB), row by row.
struct TIndexedImage {
  int32_t Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;
  std::array<uint32_t, 256> Palette{};
};

// Draws the page Browser shows through the platform's page images (see IPageImages::Draw). A
// binding that cannot draw pages answers as one without a window.
bool DrawPageImage(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap);
// 8 percent of each side, rounded, each pixel the mean grey of its part of the bitmap (darkness
// rounded down), over a palette of the 256 greys. Raises for a bitmap that is not whole (a side or
// cell size below 1, a grey count other than its cells'), too small to keep a pixel or so large
// that the picture would not fit a GIF.
TIndexedImage ScalePageImage(const TPageBitmap& Bitmap);
// The picture as a GIF file's bytes.
std::vector<uint8_t> EncodePageImage(const TIndexedImage& Image);

}  // namespace pel
