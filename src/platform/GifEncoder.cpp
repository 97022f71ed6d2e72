#include "GifEncoder.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "Exceptions.h"

namespace pel {

namespace {

void Put16(std::vector<uint8_t>& Out, int Value) {
  Out.push_back(static_cast<uint8_t>(Value & 0xFF));
  Out.push_back(static_cast<uint8_t>((Value >> 8) & 0xFF));
}

// Codes packed least significant bit first, as GIF reads them.
class TBitWriter {
public:
  void Write(int Code, int Size) {
    FBuffer |= static_cast<uint32_t>(Code) << FBits;
    FBits += Size;
    while (FBits >= 8) {
      FBytes.push_back(static_cast<uint8_t>(FBuffer & 0xFF));
      FBuffer >>= 8;
      FBits -= 8;
    }
  }
  std::vector<uint8_t> Finish() {
    if (FBits > 0) FBytes.push_back(static_cast<uint8_t>(FBuffer & 0xFF));
    FBuffer = 0;
    FBits = 0;
    return std::move(FBytes);
  }

private:
  std::vector<uint8_t> FBytes;
  uint32_t FBuffer = 0;
  int FBits = 0;
};

constexpr int MinCodeSize = 8;
constexpr int ClearCode = 1 << MinCodeSize;
constexpr int EndCode = ClearCode + 1;
constexpr int MaxCodes = 4096;

std::vector<uint8_t> Compress(const std::vector<uint8_t>& Pixels) {
  TBitWriter Bits;
  std::unordered_map<uint32_t, int> Table;
  int Size = MinCodeSize + 1;
  int Next = EndCode + 1;
  Bits.Write(ClearCode, Size);
  int Prefix = -1;
  for (uint8_t Pixel : Pixels) {
    if (Prefix < 0) {
      Prefix = Pixel;
      continue;
    }
    const uint32_t Key = (static_cast<uint32_t>(Prefix) << 8) | Pixel;
    auto It = Table.find(Key);
    if (It != Table.end()) {
      Prefix = It->second;
      continue;
    }
    Bits.Write(Prefix, Size);
    if (Next == MaxCodes) {
      // The table is full: start a new one, as the reader does on the clear code.
      Bits.Write(ClearCode, Size);
      Table.clear();
      Size = MinCodeSize + 1;
      Next = EndCode + 1;
    } else {
      Table.emplace(Key, Next++);
      // The reader adds each entry one code later, so it widens one code after the table reached
      // the width's limit.
      if (Next > (1 << Size) && Size < 12) ++Size;
    }
    Prefix = Pixel;
  }
  if (Prefix >= 0) Bits.Write(Prefix, Size);
  Bits.Write(EndCode, Size);
  return Bits.Finish();
}

}  // namespace

std::vector<uint8_t> EncodeGif(int Width, int Height, const std::vector<uint8_t>& Pixels,
                               const std::array<uint32_t, 256>& Palette) {
  if (Width <= 0 || Height <= 0 || Width > 0xFFFF || Height > 0xFFFF ||
      Pixels.size() != static_cast<size_t>(Width) * static_cast<size_t>(Height))
    throw Exception("A picture of " + std::to_string(Width) + " x " + std::to_string(Height) +
                    " pixels cannot be encoded from " + std::to_string(Pixels.size()) + " pixels");
  std::vector<uint8_t> Out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(Out, Width);
  Put16(Out, Height);
  Out.push_back(0xF7);  // a global table of 256 colours of 8 bits
  Out.push_back(0);     // background colour
  Out.push_back(0);     // no aspect ratio
  for (uint32_t Colour : Palette) {
    Out.push_back(static_cast<uint8_t>(Colour >> 16));
    Out.push_back(static_cast<uint8_t>(Colour >> 8));
    Out.push_back(static_cast<uint8_t>(Colour));
  }
  Out.push_back(0x2C);
  Put16(Out, 0);
  Put16(Out, 0);
  Put16(Out, Width);
  Put16(Out, Height);
  Out.push_back(0);  // no local table, not interlaced
  Out.push_back(MinCodeSize);
  const std::vector<uint8_t> Data = Compress(Pixels);
  for (size_t At = 0; At < Data.size(); At += 255) {
    const size_t Count = std::min<size_t>(255, Data.size() - At);
    Out.push_back(static_cast<uint8_t>(Count));
    Out.insert(Out.end(), Data.begin() + static_cast<std::ptrdiff_t>(At),
               Data.begin() + static_cast<std::ptrdiff_t>(At + Count));
  }
  Out.push_back(0);
  Out.push_back(0x3B);
  return Out;
}

}  // namespace pel
