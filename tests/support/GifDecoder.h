#pragma once
// A GIF decoder written from the format's rules, to read back what the encoder wrote.

#include <cstdint>
#include <string>
#include <vector>

namespace pel::test {

// Decodes the one image of a GIF with a 256-colour global table; empty on anything else.
inline std::vector<uint8_t> DecodeGif(const std::vector<uint8_t>& Gif, int& Width, int& Height) {
  auto U16 = [&](size_t At) { return Gif[At] | (Gif[At + 1] << 8); };
  if (Gif.size() < 13 + 768 + 11 || std::string(Gif.begin(), Gif.begin() + 6) != "GIF89a") return {};
  Width = U16(6);
  Height = U16(8);
  size_t At = 13 + 768;
  if (Gif[At] != 0x2C) return {};
  At += 10;
  const int MinSize = Gif[At++];
  std::vector<uint8_t> Data;
  while (At < Gif.size() && Gif[At] != 0) {
    const int N = Gif[At++];
    Data.insert(Data.end(), Gif.begin() + static_cast<long>(At), Gif.begin() + static_cast<long>(At + N));
    At += N;
  }
  if (At + 1 >= Gif.size() || Gif[At + 1] != 0x3B) return {};
  const int Clear = 1 << MinSize, End = Clear + 1;
  std::vector<std::vector<uint8_t>> Table;
  int Size = MinSize + 1;
  auto Reset = [&] {
    Table.assign(static_cast<size_t>(End + 1), {});
    for (int I = 0; I < Clear; ++I) Table[static_cast<size_t>(I)] = {static_cast<uint8_t>(I)};
    Size = MinSize + 1;
  };
  Reset();
  std::vector<uint8_t> Out;
  size_t Bit = 0;
  int Previous = -1;
  for (;;) {
    if (Bit + static_cast<size_t>(Size) > Data.size() * 8) return {};
    int Code = 0;
    for (int I = 0; I < Size; ++I, ++Bit) Code |= ((Data[Bit / 8] >> (Bit % 8)) & 1) << I;
    if (Code == Clear) {
      Reset();
      Previous = -1;
      continue;
    }
    if (Code == End) break;
    std::vector<uint8_t> Entry;
    if (Code < static_cast<int>(Table.size())) {
      Entry = Table[static_cast<size_t>(Code)];
    } else if (Code == static_cast<int>(Table.size()) && Previous >= 0) {
      Entry = Table[static_cast<size_t>(Previous)];
      Entry.push_back(Entry[0]);
    } else {
      return {};
    }
    Out.insert(Out.end(), Entry.begin(), Entry.end());
    if (Previous >= 0 && Table.size() < 4096) {
      auto Added = Table[static_cast<size_t>(Previous)];
      Added.push_back(Entry[0]);
      Table.push_back(Added);
      if (Table.size() == (1u << Size) && Size < 12) ++Size;
    }
    Previous = Code;
  }
  return Out;
}

}  // namespace pel::test
