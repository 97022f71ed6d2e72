#include <gtest/gtest.h>

#include "Common/Options.h"

using namespace pel;

TEST(Options, DefaultsPackTo89) { EXPECT_EQ(PackOptions(TBVOptions{}), 89); }

TEST(Options, EachByteHasItsBit) {
  struct Case {
    TBVOptions Options;
    int32_t Packed;
  } Cases[] = {
      {{0, 0, 0, 0, 0, 0, 0}, 0},   {{1, 0, 0, 0, 0, 0, 0}, 1},  {{0, 1, 0, 0, 0, 0, 0}, 2},
      {{0, 0, 1, 0, 0, 0, 0}, 4},   {{0, 0, 0, 1, 0, 0, 0}, 8},  {{0, 0, 0, 0, 1, 0, 0}, 16},
      {{0, 0, 0, 0, 0, 1, 0}, 32},  {{0, 0, 0, 0, 0, 0, 1}, 64}, {{0, 0, 0, 0, 0, 0, 2}, 128},
      {{1, 1, 1, 1, 1, 1, 2}, 191},
  };
  for (const Case& C : Cases) {
    EXPECT_EQ(PackOptions(C.Options), C.Packed);
    EXPECT_EQ(UnpackOptions(C.Packed), C.Options) << C.Packed;
  }
}

TEST(Options, AnyNonZeroFlagByteCountsAsSet) {
  EXPECT_EQ(PackOptions({5, 0, 0, 0, 0, 0, 0}), 1);
  EXPECT_EQ(UnpackOptions(PackOptions({5, 0, 0, 0, 0, 0, 0})).AutoFill, 1);
}
