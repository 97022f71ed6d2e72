// The GIF files of page thumbnails: read back by a decoder written from the format's rules, for
// pictures small and large enough to fill the code table more than once.

#include <gtest/gtest.h>

#include <random>

#include "platform/Exceptions.h"
#include "platform/GifEncoder.h"
#include "support/GifDecoder.h"

using namespace pel;
using pel::test::DecodeGif;

namespace {

TEST(GifEncoder, PicturesComeBackPixelForPixel) {
  std::mt19937 Random(7);
  std::array<uint32_t, 256> Palette{};
  for (uint32_t I = 0; I < 256; ++I) Palette[I] = I * 0x010101;
  struct TCase {
    int Width, Height, Colours;
  };
  for (const TCase C : {TCase{1, 1, 1}, TCase{82, 61, 4}, TCase{82, 61, 256}, TCase{300, 200, 256},
                        TCase{640, 480, 2}}) {
    std::vector<uint8_t> Pixels(static_cast<size_t>(C.Width * C.Height));
    for (uint8_t& P : Pixels) P = static_cast<uint8_t>(Random() % C.Colours);
    const std::vector<uint8_t> Gif = EncodeGif(C.Width, C.Height, Pixels, Palette);
    int W = 0, H = 0;
    EXPECT_EQ(DecodeGif(Gif, W, H), Pixels) << C.Width << "x" << C.Height << " in " << C.Colours << " colours";
    EXPECT_EQ(W, C.Width);
    EXPECT_EQ(H, C.Height);
    EXPECT_EQ(Gif[13 + 3 * 200], 200);  // the palette as given
  }
}

TEST(GifEncoder, APictureWhosePixelsDoNotFitItsSizeIsRefused) {
  std::array<uint32_t, 256> Palette{};
  EXPECT_THROW(EncodeGif(10, 10, std::vector<uint8_t>(99), Palette), Exception);
  EXPECT_THROW(EncodeGif(0, 0, {}, Palette), Exception);
}

}  // namespace
