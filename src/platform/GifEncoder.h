#pragma once
// A single-frame GIF file of an 8-bit picture: what the store's page list takes as a page's
// thumbnail.

#include <array>
#include <cstdint>
#include <vector>

namespace pel {

// Pixels: Width × Height indexes into Palette, row by row; Palette: 0xRRGGBB.
std::vector<uint8_t> EncodeGif(int Width, int Height, const std::vector<uint8_t>& Pixels,
                               const std::array<uint32_t, 256>& Palette);

}  // namespace pel
