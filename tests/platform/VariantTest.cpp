#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Variant.h"

using namespace pel;

TEST(Variant, KindsAndConversions) {
  EXPECT_TRUE(TVariant().IsEmpty());
  EXPECT_TRUE(TVariant::Null().IsNull());
  EXPECT_TRUE(TVariant::Null().IsEmptyOrNull());
  EXPECT_EQ(TVariant(int32_t{-5}).AsWideString(), u"-5");
  EXPECT_EQ(TVariant(true).AsInteger(), -1);
  EXPECT_EQ(TVariant(u"42").AsInteger(), 42);
  EXPECT_EQ(TVariant(u"-2147483648").AsInteger(), INT32_MIN);
  EXPECT_EQ(TVariant(uint32_t{7}).AsInteger(), 7);
  EXPECT_TRUE(TVariant(int32_t{3}).AsBoolean());
  EXPECT_EQ(TVariant().AsWideString(), u"");
}

TEST(Variant, ImpossibleConversionsRaise) {
  EXPECT_THROW(TVariant(u"4x").AsInteger(), EVariantError);
  EXPECT_THROW(TVariant(u"2147483648").AsInteger(), EVariantError);
  EXPECT_THROW(TVariant(uint32_t{0x80000000u}).AsInteger(), EVariantError);
  EXPECT_THROW(TVariant(u"").AsInteger(), EVariantError);
  EXPECT_THROW(TVariant(u"x").AsBytes(), EVariantError);
  EXPECT_THROW(TVariant(int32_t{1}).ArrayHighBound(), EVariantError);
  EXPECT_THROW(TVariant(TVariant::TBytes{1}).AsWideString(), EVariantError);
}

TEST(Variant, CardinalsKeepTheirHighBit) {
  EXPECT_EQ(TVariant(uint32_t{0xFFFFFFFEu}).AsCardinal(), 0xFFFFFFFEu);
  EXPECT_EQ(TVariant(int32_t{7}).AsCardinal(), 7u);
  EXPECT_EQ(TVariant(u"4294967295").AsCardinal(), 0xFFFFFFFFu);
  EXPECT_EQ(TVariant().AsCardinal(), 0u);
  TVariant Slot(uint32_t{0x80000001u});
  EXPECT_EQ(TVariant::Ref(Slot).AsCardinal(), 0x80000001u);
  EXPECT_THROW(TVariant(int32_t{-1}).AsCardinal(), EVariantError);
  EXPECT_THROW(TVariant(u"4294967296").AsCardinal(), EVariantError);
  EXPECT_THROW(TVariant(u"-1").AsCardinal(), EVariantError);
  EXPECT_THROW(TVariant(true).AsCardinal(), EVariantError);
}

TEST(Variant, ArraysHaveLowBoundZero) {
  const TVariant Bytes(TVariant::TBytes{9, 8});
  EXPECT_TRUE(Bytes.IsArray());
  EXPECT_EQ(Bytes.ArrayLowBound(), 0);
  EXPECT_EQ(Bytes.ArrayHighBound(), 1);
  EXPECT_EQ(Bytes.ArrayElementAsWideString(1), u"8");
  const TVariant Empty(TVariant::TStrings{});
  EXPECT_EQ(Empty.ArrayHighBound(), -1);
  EXPECT_THROW(Empty.ArrayElementAsWideString(0), EVariantError);
}

TEST(Variant, ByReferenceSlotWritesBack) {
  TVariant Cancel(false);
  const TVariant Ref = TVariant::Ref(Cancel);
  EXPECT_EQ(Ref.VarType(), TVarType::ByRef);
  Ref.Target() = TVariant(true);
  EXPECT_TRUE(Cancel.AsBoolean());
  EXPECT_TRUE(Ref.AsBoolean());
}
