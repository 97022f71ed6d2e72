#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/MemoryStream.h"

using namespace pel;

TEST(MemoryStream, WritesLittleEndianAndReadsBack) {
  TMemoryStream S;
  S.WriteInt32(-2);
  S.WriteUInt16(0x1234);
  S.WriteUInt8(0xAB);
  EXPECT_EQ(S.Bytes(), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0xAB}));
  S.SetPosition(0);
  int32_t I = 0;
  uint16_t W = 0;
  uint8_t B = 0;
  ASSERT_TRUE(S.TryReadInt32(I));
  ASSERT_TRUE(S.TryReadUInt16(W));
  ASSERT_TRUE(S.TryReadUInt8(B));
  EXPECT_EQ(I, -2);
  EXPECT_EQ(W, 0x1234);
  EXPECT_EQ(B, 0xAB);
}

TEST(MemoryStream, ShortReadLeavesValueAndStopsAtEnd) {
  TMemoryStream S({1, 2, 3});
  int32_t Value = 77;
  EXPECT_FALSE(S.TryReadInt32(Value));
  EXPECT_EQ(Value, 77);
  EXPECT_EQ(S.Position(), 3);
  uint8_t Buffer[8];
  EXPECT_EQ(S.Read(Buffer, 8), 0);
  S.SetPosition(1);
  EXPECT_EQ(S.Read(Buffer, 8), 2);
  EXPECT_EQ(Buffer[1], 3);
  S.SetPosition(0);
  EXPECT_THROW(S.ReadBuffer(Buffer, 4), EReadError);
}

TEST(MemoryStream, WritingInsideOverwritesAndPastEndGrows) {
  TMemoryStream S({1, 2, 3});
  S.SetPosition(2);
  S.WriteUInt16(0xFFEE);
  EXPECT_EQ(S.Bytes(), (std::vector<uint8_t>{1, 2, 0xEE, 0xFF}));
  S.SetSize(2);
  EXPECT_EQ(S.Position(), 2);
  S.Clear();
  EXPECT_EQ(S.Size(), 0);
  EXPECT_EQ(S.Position(), 0);
}
