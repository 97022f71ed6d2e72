#include "SysTypes.h"

#include <string>

#include <cstdio>

#include "Exceptions.h"

namespace pel {

namespace {

constexpr int32_t CO_E_CLASSSTRING = static_cast<int32_t>(0x800401F3u);

int HexDigit(int C) {
  if (C >= '0' && C <= '9') return C - '0';
  if (C >= 'a' && C <= 'f') return C - 'a' + 10;
  if (C >= 'A' && C <= 'F') return C - 'A' + 10;
  return -1;
}

template <class TString>
TGUID ParseGUID(const TString& Text) {
  // Positions of the 32 hex digits inside "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
  static constexpr char Pattern[] = "{........-....-....-....-............}";
  auto Fail = [] { throw EOleSysError("Invalid class string", CO_E_CLASSSTRING); };
  if (Text.size() != sizeof(Pattern) - 1) Fail();
  uint8_t Nibbles[32];
  int N = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    const auto C = static_cast<uint32_t>(Text[I]);
    if (Pattern[I] == '.') {
      const int D = C < 128 ? HexDigit(static_cast<int>(C)) : -1;
      if (D < 0) Fail();
      Nibbles[N++] = static_cast<uint8_t>(D);
    } else if (C != static_cast<uint32_t>(Pattern[I])) {
      Fail();
    }
  }
  auto Take = [&](int From, int Count) {
    uint32_t V = 0;
    for (int I = 0; I < Count; ++I) V = (V << 4) | Nibbles[From + I];
    return V;
  };
  TGUID G;
  G.Data1 = Take(0, 8);
  G.Data2 = static_cast<uint16_t>(Take(8, 4));
  G.Data3 = static_cast<uint16_t>(Take(12, 4));
  for (int I = 0; I < 8; ++I) G.Data4[I] = static_cast<uint8_t>(Take(16 + 2 * I, 2));
  return G;
}

}  // namespace

bool TGUID::IsNull() const { return *this == TGUID{}; }

AnsiString GUIDToString(const TGUID& G) {
  char Buffer[40];
  std::snprintf(Buffer, sizeof Buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", G.Data1, G.Data2,
                G.Data3, G.Data4[0], G.Data4[1], G.Data4[2], G.Data4[3], G.Data4[4], G.Data4[5], G.Data4[6],
                G.Data4[7]);
  return Buffer;
}

WideString GUIDToWideString(const TGUID& Guid) { return AsciiToWide(GUIDToString(Guid)); }

TGUID StringToGUID(const AnsiString& Text) { return ParseGUID(Text); }
TGUID StringToGUID(const WideString& Text) { return ParseGUID(Text); }

AnsiString IntToStr(int64_t Value) { return std::to_string(Value); }
WideString IntToWideStr(int64_t Value) { return AsciiToWide(std::to_string(Value)); }

WideString AsciiLowerCase(WideString Text) {
  for (WideChar& C : Text)
    if (C >= u'A' && C <= u'Z') C = static_cast<WideChar>(C - u'A' + u'a');
  return Text;
}

WideString AsciiToWide(const AnsiString& Text) {
  WideString Result;
  Result.reserve(Text.size());
  for (unsigned char C : Text) Result.push_back(static_cast<WideChar>(C));
  return Result;
}

AnsiString WideToAscii(const WideString& Text) {
  AnsiString Result;
  Result.reserve(Text.size());
  for (WideChar C : Text) Result.push_back(C < 128 ? static_cast<char>(C) : '?');
  return Result;
}

std::string WideToUtf8(const WideString& Text) {
  std::string Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size(); ++I) {
    uint32_t C = Text[I];
    if (C >= 0xD800 && C <= 0xDBFF && I + 1 < Text.size() && Text[I + 1] >= 0xDC00 && Text[I + 1] <= 0xDFFF) {
      C = 0x10000 + ((C - 0xD800) << 10) + (Text[++I] - 0xDC00);
      Out += static_cast<char>(0xF0 | (C >> 18));
      Out += static_cast<char>(0x80 | ((C >> 12) & 0x3F));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else if (C < 0x80) {
      Out += static_cast<char>(C);
    } else if (C < 0x800) {
      Out += static_cast<char>(0xC0 | (C >> 6));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    } else {
      Out += static_cast<char>(0xE0 | (C >> 12));
      Out += static_cast<char>(0x80 | ((C >> 6) & 0x3F));
      Out += static_cast<char>(0x80 | (C & 0x3F));
    }
  }
  return Out;
}

WideString Utf8ToWide(const std::string& Text) {
  WideString Out;
  Out.reserve(Text.size());
  for (size_t I = 0; I < Text.size();) {
    const auto B = static_cast<unsigned char>(Text[I]);
    const int More = B < 0x80 ? 0 : B >= 0xF0 && B < 0xF8 ? 3 : B >= 0xE0 ? 2 : B >= 0xC0 ? 1 : -1;
    uint32_t C = More == 0 ? B : More == 1 ? B & 0x1F : More == 2 ? B & 0x0F : B & 0x07;
    bool Valid = More >= 0 && I + static_cast<size_t>(More) < Text.size();
    for (int K = 1; Valid && K <= More; ++K) {
      const auto Next = static_cast<unsigned char>(Text[I + static_cast<size_t>(K)]);
      if ((Next & 0xC0) != 0x80) Valid = false;
      C = (C << 6) | (Next & 0x3F);
    }
    if (!Valid) {
      Out += u'\uFFFD';
      ++I;
      continue;
    }
    I += static_cast<size_t>(More) + 1;
    if (C >= 0x10000) {
      C -= 0x10000;
      Out += static_cast<char16_t>(0xD800 + (C >> 10));
      Out += static_cast<char16_t>(0xDC00 + (C & 0x3FF));
    } else {
      Out += static_cast<char16_t>(C);
    }
  }
  return Out;
}

}  // namespace pel
