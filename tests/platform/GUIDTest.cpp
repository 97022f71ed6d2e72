#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/SysTypes.h"

using namespace pel;

TEST(GUID, RegistryFormRoundTrip) {
  const TGUID Server = StringToGUID(AnsiString("{BE72F496-D82B-4E71-BD80-1A3BC5336CC1}"));
  EXPECT_EQ(Server.Data1, 0xBE72F496u);
  EXPECT_EQ(Server.Data2, 0xD82Bu);
  EXPECT_EQ(Server.Data3, 0x4E71u);
  const uint8_t Data4[8] = {0xBD, 0x80, 0x1A, 0x3B, 0xC5, 0x33, 0x6C, 0xC1};
  for (int I = 0; I < 8; ++I) EXPECT_EQ(Server.Data4[I], Data4[I]) << I;
  EXPECT_EQ(GUIDToString(Server), "{BE72F496-D82B-4E71-BD80-1A3BC5336CC1}");
  EXPECT_EQ(GUIDToWideString(Server), u"{BE72F496-D82B-4E71-BD80-1A3BC5336CC1}");
}

TEST(GUID, LowerCaseHexIsAcceptedAndWrittenUpper) {
  const TGUID G = StringToGUID(WideString(u"{f817e1ca-c508-4629-9d06-b622a2392ca1}"));
  EXPECT_EQ(GUIDToString(G), "{F817E1CA-C508-4629-9D06-B622A2392CA1}");
  EXPECT_FALSE(G.IsNull());
  EXPECT_TRUE(TGUID{}.IsNull());
  EXPECT_EQ(GUIDToString(TGUID{}), "{00000000-0000-0000-0000-000000000000}");
}

TEST(GUID, MalformedTextIsRefused) {
  const char* Bad[] = {
      "",
      "F817E1CA-C508-4629-9D06-B622A2392CA1",     // no braces
      "{F817E1CA-C508-4629-9D06-B622A2392CA}",    // one digit short
      "{F817E1CA-C508-4629-9D06-B622A2392CA11}",  // one digit long
      "{F817E1CA+C508-4629-9D06-B622A2392CA1}",   // wrong separator
      "{G817E1CA-C508-4629-9D06-B622A2392CA1}",   // not hex
  };
  for (const char* Text : Bad) {
    try {
      StringToGUID(AnsiString(Text));
      ADD_FAILURE() << "accepted " << Text;
    } catch (const EOleSysError& E) {
      EXPECT_EQ(E.Message(), "Invalid class string");
      EXPECT_EQ(static_cast<uint32_t>(E.ErrorCode), 0x800401F3u);
    }
  }
}
