#include <gtest/gtest.h>

#include "Common/StoreStreams.h"

using namespace pel;

namespace {
using TBytes = std::vector<uint8_t>;
TBytes Bytes(const TVariant& V) { return V.AsBytes(); }
}  // namespace

TEST(PairStream, GoldenBytes) {
  const TNamePairs Pairs = {{u"Shop", u"Card"}, {u"", u"x"}};
  EXPECT_EQ(Bytes(PairsToVariant(Pairs)), (TBytes{
                                              0x02, 0x00, 0x00, 0x00,                                      // count
                                              0x04, 0x00, 0x00, 0x00, 'S', 0, 'h', 0, 'o', 0, 'p', 0,      // set
                                              0x04, 0x00, 0x00, 0x00, 'C', 0, 'a', 0, 'r', 0, 'd', 0,      // item
                                              0x00, 0x00, 0x00, 0x00,                                      // set ""
                                              0x01, 0x00, 0x00, 0x00, 'x', 0,                              // item
                                          }));
  EXPECT_EQ(Bytes(PairsToVariant({})), (TBytes{0, 0, 0, 0}));
  EXPECT_EQ(VariantToPairs(PairsToVariant(Pairs)), Pairs);
}

TEST(PairStream, ShortOrBrokenStreamsYieldTheCompletePairs) {
  const TBytes Full = Bytes(PairsToVariant({{u"a", u"b"}, {u"c", u"d"}}));
  struct Case {
    TBytes Data;
    TNamePairs Expected;
  } Cases[] = {
      {{}, {}},
      {{0x02, 0x00}, {}},
      {{0xFF, 0xFF, 0xFF, 0xFF}, {}},
      {TBytes(Full.begin(), Full.end() - 1), {{u"a", u"b"}}},
      {TBytes(Full.begin(), Full.begin() + 18), {{u"a", u"b"}}},
      {Full, {{u"a", u"b"}, {u"c", u"d"}}},
      {{0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0, 0, 0}, {{u"", u""}}},  // count far beyond the data
      {{0x01, 0, 0, 0, 0, 0, 0, 0x40, 0, 0, 0, 0}, {}},                  // a length that overflows
  };
  for (const Case& C : Cases) {
    TMemoryStream S(C.Data);
    EXPECT_EQ(ReadPairStream(S), C.Expected) << testing::PrintToString(C.Data);
  }
  EXPECT_TRUE(VariantToPairs(TVariant()).empty());
  EXPECT_TRUE(VariantToPairs(TVariant::Null()).empty());
}

TEST(CaptionStream, RoundTripAndGoldenBytes) {
  TWideStringList Captions;
  Captions.Add(u"Fill");
  Captions.Add(u"");
  Captions.Add(u"Fill");  // captions repeat; the list keeps them all, in order
  const TVariant V = CaptionsToVariant(Captions);
  EXPECT_EQ(Bytes(V), (TBytes{0x03, 0, 0, 0, 0x04, 0, 0, 0, 'F', 0, 'i', 0, 'l', 0, 'l', 0, 0, 0, 0, 0, 0x04, 0, 0, 0,
                              'F', 0, 'i', 0, 'l', 0, 'l', 0}));
  TMemoryStream S(Bytes(V));
  TWideStringList Back;
  ASSERT_TRUE(ReadCaptionStream(S, Back));
  EXPECT_EQ(Back.CommaText(), u"Fill,,Fill");
}

TEST(CaptionStream, AnythingUnreadableGivesFalseAndAnEmptyList) {
  const TBytes Full = {0x02, 0, 0, 0, 0x01, 0, 0, 0, 'a', 0, 0x01, 0, 0, 0, 'b', 0};
  const TBytes Broken[] = {
      {},
      {0x02, 0},
      {0xFF, 0xFF, 0xFF, 0xFF},
      TBytes(Full.begin(), Full.end() - 1),
      {0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0},  // more strings promised than bytes could hold
      {0x01, 0, 0, 0, 0, 0, 0, 0x40},        // a length that overflows
  };
  for (const TBytes& Data : Broken) {
    TMemoryStream S(Data);
    TWideStringList Captions;
    Captions.Add(u"stale");
    EXPECT_FALSE(ReadCaptionStream(S, Captions)) << testing::PrintToString(Data);
    EXPECT_EQ(Captions.Count(), 0);
  }
  TMemoryStream S(Full);
  TWideStringList Captions;
  EXPECT_TRUE(ReadCaptionStream(S, Captions));
  EXPECT_EQ(Captions.CommaText(), u"a,b");
}
