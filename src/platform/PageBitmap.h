#pragma once
// A page as a binding draws it, for its thumbnail: Width × Height pixels laid out as cells of
// CellWidth × CellHeight pixels, each cell one grey (0 black … 255 white). A bitmap of the screen
// is the case of 1 × 1 cells; a binding that sets text in character cells hands over one grey per
// cell, so that scaling weighs each cell once instead of each of its pixels.

#include <cstdint>
#include <vector>

namespace pel {

struct TPageBitmap {
  int32_t Width = 0, Height = 0;
  int32_t CellWidth = 1, CellHeight = 1;
  // Columns() × Rows() greys, row by row; the last column and row may stick out of the picture.
  std::vector<uint8_t> Greys;

  // A bitmap without pixels: the page drew nothing.
  bool Empty() const { return Width == 0 || Height == 0; }
  int64_t Columns() const { return CellWidth > 0 ? (int64_t{Width} + CellWidth - 1) / CellWidth : 0; }
  int64_t Rows() const { return CellHeight > 0 ? (int64_t{Height} + CellHeight - 1) / CellHeight : 0; }
};

}  // namespace pel
