#include "PageImage.h"

#include <string>

#include "Common/Trace.h"
#include "platform/GifEncoder.h"
#include "platform/Services.h"

namespace pel {

namespace {

// The cells a run of pixels samples and how many of its samples fall in each.
struct TSpan {
  int64_t Cell, Samples;
};

// A pixel of the scaled picture samples every other point of its part of the bitmap. The grey is
// constant over a cell, so the samples are counted per cell touched: a pixel then costs a few cells
// (a bitmap drawn in character cells) rather than every point under it.
std::vector<TSpan> Spans(int64_t From, int64_t To, int64_t CellSize) {
  std::vector<TSpan> Result;
  for (int64_t P = From; P < To; P += 2) {
    if (Result.empty() || Result.back().Cell != P / CellSize) Result.push_back({P / CellSize, 0});
    ++Result.back().Samples;
  }
  return Result;
}

// The widest and highest picture a GIF holds; refused before its pixels are allocated.
constexpr int64_t MaxSide = 0xFFFF;

// 8 percent, rounded.
int64_t Scaled(int64_t Side) { return (Side * 8 + 50) / 100; }

}  // namespace

bool DrawPageImage(const std::shared_ptr<IWebBrowser2>& Browser, TPageBitmap& Bitmap) {
  return Traced(333, [&] {
    const IPageImages* Images = CurrentPlatformServices().PageImages;
    return Images && Images->Draw(Browser, Bitmap);
  });
}

TIndexedImage ScalePageImage(const TPageBitmap& Bitmap) {
  return Traced(334, [&] {
    const int64_t Columns = Bitmap.Columns(), Rows = Bitmap.Rows();
    const int64_t Width = Scaled(Bitmap.Width), Height = Scaled(Bitmap.Height);
    if (Bitmap.Width < 1 || Bitmap.Height < 1 || Bitmap.CellWidth < 1 || Bitmap.CellHeight < 1 ||
        static_cast<uint64_t>(Columns * Rows) != Bitmap.Greys.size() || Width < 1 || Height < 1 || Width > MaxSide ||
        Height > MaxSide)
      throw Exception("A bitmap of " + std::to_string(Bitmap.Width) + " x " + std::to_string(Bitmap.Height) +
                      " pixels in cells of " + std::to_string(Bitmap.CellWidth) + " x " +
                      std::to_string(Bitmap.CellHeight) + " with " + std::to_string(Bitmap.Greys.size()) +
                      " greys cannot be scaled");
    std::vector<std::vector<TSpan>> ColumnSpans(static_cast<size_t>(Width));
    for (int64_t X = 0; X < Width; ++X)
      ColumnSpans[static_cast<size_t>(X)] =
          Spans(X * Bitmap.Width / Width, (X + 1) * Bitmap.Width / Width, Bitmap.CellWidth);
    TIndexedImage Image;
    Image.Width = static_cast<int32_t>(Width);
    Image.Height = static_cast<int32_t>(Height);
    Image.Pixels.resize(static_cast<size_t>(Width * Height));
    for (uint32_t I = 0; I < 256; ++I) Image.Palette[I] = (I << 16) | (I << 8) | I;
    for (int64_t Y = 0; Y < Height; ++Y) {
      const auto RowSpans = Spans(Y * Bitmap.Height / Height, (Y + 1) * Bitmap.Height / Height, Bitmap.CellHeight);
      int64_t SampleRows = 0;
      for (const TSpan& R : RowSpans) SampleRows += R.Samples;
      for (int64_t X = 0; X < Width; ++X) {
        int64_t Dark = 0, SampleColumns = 0;
        for (const TSpan& C : ColumnSpans[static_cast<size_t>(X)]) {
          SampleColumns += C.Samples;
          for (const TSpan& R : RowSpans)
            Dark += (255 - Bitmap.Greys[static_cast<size_t>(R.Cell * Columns + C.Cell)]) * R.Samples * C.Samples;
        }
        const int64_t All = SampleRows * SampleColumns;
        Image.Pixels[static_cast<size_t>(Y * Width + X)] = static_cast<uint8_t>(255 - (All ? Dark / All : 0));
      }
    }
    return Image;
  });
}

std::vector<uint8_t> EncodePageImage(const TIndexedImage& Image) {
  return Traced(335, [&] { return EncodeGif(Image.Width, Image.Height, Image.Pixels, Image.Palette); });
}

}  // namespace pel
