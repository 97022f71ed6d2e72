#pragma once
// An in-memory, little-endian byte stream: the medium every stream format is read from and written to.

#include <cstdint>
#include <vector>

#include "SysTypes.h"

namespace pel {

class TMemoryStream {
public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> Data) : FData(std::move(Data)) {}

  int64_t Size() const { return static_cast<int64_t>(FData.size()); }
  // Growing fills with zeros; the position is kept, clamped to the new size.
  void SetSize(int64_t NewSize);
  int64_t Position() const { return FPosition; }
  void SetPosition(int64_t NewPosition);
  int64_t Remaining() const { return Size() - FPosition; }
  void Clear();

  // Reads up to Count bytes and returns how many it read; never reads past the end.
  int32_t Read(void* Buffer, int32_t Count);
  // Reads exactly Count bytes or raises EReadError.
  void ReadBuffer(void* Buffer, int32_t Count);
  // Writes at the position, growing the stream as needed.
  void Write(const void* Buffer, int32_t Count);

  // Fixed-size little-endian values. TryRead returns false and leaves Value alone on a short read.
  bool TryReadInt32(int32_t& Value);
  bool TryReadUInt16(uint16_t& Value);
  bool TryReadUInt8(uint8_t& Value);
  void WriteInt32(int32_t Value);
  void WriteUInt16(uint16_t Value);
  void WriteUInt8(uint8_t Value);

  const std::vector<uint8_t>& Bytes() const { return FData; }

private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

}  // namespace pel
