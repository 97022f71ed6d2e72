// The page thumbnail's routines: the platform's drawing, the scaling to 8 percent in greys and the
// GIF encoding, each failing with its own trace number, and the picture a bitmap gives.

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "BHO/PageImage.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"
#include "support/GifDecoder.h"

using namespace pel;
using pel::test::DecodeGif;

namespace {

// A platform whose page images answer as the test says, installed for the object's lifetime.
class TPageImagesDouble : public IPageImages {
public:
  explicit TPageImagesDouble(std::function<bool(TPageBitmap&)> Answer) : FAnswer(std::move(Answer)) {
    TPlatformServices Services = FSaved;
    Services.PageImages = this;
    SetPlatformServices(Services);
  }
  ~TPageImagesDouble() override { SetPlatformServices(FSaved); }
  TPageImagesDouble(const TPageImagesDouble&) = delete;
  TPageImagesDouble& operator=(const TPageImagesDouble&) = delete;
  bool Draw(const std::shared_ptr<IWebBrowser2>&, TPageBitmap& Bitmap) const override { return FAnswer(Bitmap); }

private:
  const TPlatformServices FSaved = CurrentPlatformServices();
  std::function<bool(TPageBitmap&)> FAnswer;
};

// A bitmap of 1 × 1 cells, every pixel Grey.
TPageBitmap Plain(int32_t Width, int32_t Height, uint8_t Grey = 255) {
  TPageBitmap B;
  B.Width = Width;
  B.Height = Height;
  B.Greys.assign(static_cast<size_t>(Width) * static_cast<size_t>(Height), Grey);
  return B;
}

void SetPixel(TPageBitmap& B, int X, int Y, uint8_t Grey) { B.Greys[static_cast<size_t>(Y * B.Width + X)] = Grey; }

// The message of what Call raised; empty when it raised nothing.
template <class TCall>
AnsiString Raised(TCall Call) {
  try {
    Call();
  } catch (const Exception& E) {
    return E.Message();
  }
  return {};
}

TEST(PageImage, AFailureWhileThePageIsDrawnCarries333) {
  TPageImagesDouble Failing([](TPageBitmap&) -> bool { throw EOleSysError("The view cannot draw", -2147467259); });
  TPageBitmap Bitmap;
  EXPECT_EQ(Raised([&] { DrawPageImage(nullptr, Bitmap); }), "The view cannot draw\r\n>>333");
}

TEST(PageImage, TheDrawingAnswersAsThePlatformDoesAndNoPageImagesMeanNoWindow) {
  {
    TPageImagesDouble NoWindow([](TPageBitmap&) { return false; });
    TPageBitmap Bitmap;
    EXPECT_FALSE(DrawPageImage(nullptr, Bitmap));
  }
  {
    TPageImagesDouble Drawn([](TPageBitmap& B) {
      B = Plain(30, 20, 7);
      return true;
    });
    TPageBitmap Bitmap;
    EXPECT_TRUE(DrawPageImage(nullptr, Bitmap));
    EXPECT_EQ(Bitmap.Width, 30);
    EXPECT_EQ(Bitmap.Greys.size(), 600u);
  }
  // A binding that draws no pages yet (the Windows one) has no window to draw from.
  const TPlatformServices Saved = CurrentPlatformServices();
  TPlatformServices Without = Saved;
  Without.PageImages = nullptr;
  SetPlatformServices(Without);
  TPageBitmap Bitmap;
  const bool Drawn = DrawPageImage(nullptr, Bitmap);
  SetPlatformServices(Saved);
  EXPECT_FALSE(Drawn);
}

TEST(PageImage, ABitmapThatIsNotWholeIsRefusedWith334) {
  auto Cells = [](int32_t Width, int32_t Height, int32_t CellWidth, int32_t CellHeight, size_t Greys) {
    TPageBitmap B;
    B.Width = Width;
    B.Height = Height;
    B.CellWidth = CellWidth;
    B.CellHeight = CellHeight;
    B.Greys.assign(Greys, 255);
    return B;
  };
  struct TCase {
    const char* What;
    TPageBitmap Bitmap;
  };
  const TCase Cases[] = {
      {"no width", Cells(0, 100, 1, 1, 0)},
      {"negative height", Cells(100, -100, 1, 1, 0)},
      {"cells without width", Cells(100, 100, 0, 16, 0)},
      {"negative cell height", Cells(100, 100, 8, -16, 0)},
      {"a grey short", Cells(100, 100, 1, 1, 9999)},
      {"a grey too many", Cells(100, 100, 8, 16, 13 * 7 + 1)},
      {"too small to keep a pixel", Cells(6, 100, 1, 1, 600)},
      {"wider than a GIF", Cells(1000000, 100, 1000000, 100, 1)},
  };
  for (const TCase& C : Cases) {
    const AnsiString Message = Raised([&] { ScalePageImage(C.Bitmap); });
    EXPECT_TRUE(Message.ends_with("\r\n>>334")) << C.What << ": " << Message;
  }
  // The last column and row of cells may stick out of the picture.
  EXPECT_EQ(Raised([&] { ScalePageImage(Cells(100, 100, 8, 16, 13 * 7)); }), "");
}

TEST(PageImage, APictureThatCannotBeEncodedIsRefusedWith335) {
  TIndexedImage Image;
  Image.Width = 10;
  Image.Height = 10;
  Image.Pixels.assign(99, 0);
  const AnsiString Message = Raised([&] { EncodePageImage(Image); });
  EXPECT_TRUE(Message.ends_with("\r\n>>335")) << Message;
  Image.Width = 0;
  Image.Pixels.clear();
  EXPECT_TRUE(Raised([&] { EncodePageImage(Image); }).ends_with("\r\n>>335"));
}

// Each pixel samples every other point of its part of the bitmap and is as dark as their mean,
// darkness rounded down.
TEST(PageImage, EachPixelIsTheMeanGreyOfTheEveryOtherPointsItCovers) {
  struct TCase {
    const char* What;
    TPageBitmap Bitmap;
    int32_t Width, Height;
    std::vector<uint8_t> Pixels;
  };
  TPageBitmap HalfBlack = Plain(100, 25);
  for (int Y = 0; Y < 25; ++Y)
    for (int X = 0; X < 50; ++X) SetPixel(HalfBlack, X, Y, 0);
  // The first pixel of 25 × 25 covers points 0 to 11 each way and samples 6 × 6 of them: six black
  // samples are a darkness of 42.5, rounded down to 42.
  TPageBitmap SixOf36 = Plain(25, 25);
  for (int X = 0; X < 12; X += 2) SetPixel(SixOf36, X, 0, 0);
  // Points between the samples do not count.
  TPageBitmap Unsampled = Plain(25, 25);
  for (int Y = 1; Y < 25; Y += 2)
    for (int X = 1; X < 25; X += 2) SetPixel(Unsampled, X, Y, 0);
  const TCase Cases[] = {
      {"one grey", Plain(200, 100, 128), 16, 8, std::vector<uint8_t>(128, 128)},
      {"left half black", HalfBlack, 8, 2, {0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255}},
      {"six samples of 36 black", SixOf36, 2, 2, {213, 255, 255, 255}},
      {"ink between the samples", Unsampled, 2, 2, {255, 255, 255, 255}},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    const TIndexedImage Image = ScalePageImage(C.Bitmap);
    EXPECT_EQ(Image.Width, C.Width);
    EXPECT_EQ(Image.Height, C.Height);
    EXPECT_EQ(Image.Pixels, C.Pixels);
    EXPECT_EQ(Image.Palette[0], 0x000000u);
    EXPECT_EQ(Image.Palette[200], 0xC8C8C8u);
    EXPECT_EQ(Image.Palette[255], 0xFFFFFFu);
  }
}

// Weighing a cell by the samples that fall in it gives what sampling each of its pixels gives.
TEST(PageImage, ABitmapInCellsScalesAsTheSamePictureInPixels) {
  std::mt19937 Random(11);
  struct TCase {
    int32_t Width, Height, CellWidth, CellHeight;
  };
  for (const TCase C : {TCase{1024, 768, 8, 16}, TCase{300, 203, 7, 5}, TCase{97, 61, 3, 64}}) {
    SCOPED_TRACE(std::to_string(C.Width) + "x" + std::to_string(C.Height));
    TPageBitmap InCells;
    InCells.Width = C.Width;
    InCells.Height = C.Height;
    InCells.CellWidth = C.CellWidth;
    InCells.CellHeight = C.CellHeight;
    InCells.Greys.resize(static_cast<size_t>(InCells.Columns() * InCells.Rows()));
    for (uint8_t& G : InCells.Greys) G = static_cast<uint8_t>(Random() % 3 == 0 ? 95 : Random() % 256);
    TPageBitmap InPixels = Plain(C.Width, C.Height);
    for (int Y = 0; Y < C.Height; ++Y)
      for (int X = 0; X < C.Width; ++X)
        SetPixel(InPixels, X, Y,
                 InCells.Greys[static_cast<size_t>((Y / C.CellHeight) * InCells.Columns() + X / C.CellWidth)]);
    const TIndexedImage A = ScalePageImage(InCells), B = ScalePageImage(InPixels);
    EXPECT_EQ(A.Width, B.Width);
    EXPECT_EQ(A.Height, B.Height);
    EXPECT_EQ(A.Pixels, B.Pixels);
  }
}

TEST(PageImage, AScaledPictureIsEncodedAsAGifOfItsGreys) {
  TPageBitmap Bitmap = Plain(1024, 768);
  for (int Y = 100; Y < 300; ++Y)
    for (int X = 40; X < 900; ++X) SetPixel(Bitmap, X, Y, static_cast<uint8_t>((X + Y) % 256));
  const TIndexedImage Image = ScalePageImage(Bitmap);
  ASSERT_EQ(Image.Width, 82);
  ASSERT_EQ(Image.Height, 61);
  const std::vector<uint8_t> Gif = EncodePageImage(Image);
  int Width = 0, Height = 0;
  EXPECT_EQ(DecodeGif(Gif, Width, Height), Image.Pixels);
  EXPECT_EQ(Width, 82);
  EXPECT_EQ(Height, 61);
  // The global table holds the greys, grey N at entry N.
  for (size_t N : {0u, 95u, 255u}) {
    EXPECT_EQ(Gif[13 + 3 * N], N);
    EXPECT_EQ(Gif[13 + 3 * N + 2], N);
  }
}

}  // namespace
