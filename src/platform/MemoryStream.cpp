#include "MemoryStream.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "Exceptions.h"

namespace pel {

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) throw EStreamError("Invalid stream size");
  FData.resize(static_cast<size_t>(NewSize));
  FPosition = std::min(FPosition, NewSize);
}

void TMemoryStream::SetPosition(int64_t NewPosition) {
  if (NewPosition < 0) throw EStreamError("Invalid stream position");
  FPosition = NewPosition;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}

int32_t TMemoryStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0 || FPosition >= Size()) return 0;
  const int32_t N = static_cast<int32_t>(std::min<int64_t>(Count, Size() - FPosition));
  std::memcpy(Buffer, FData.data() + FPosition, static_cast<size_t>(N));
  FPosition += N;
  return N;
}

void TMemoryStream::ReadBuffer(void* Buffer, int32_t Count) {
  if (Count < 0 || Remaining() < Count) throw EReadError("Stream read error");
  Read(Buffer, Count);
}

void TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return;
  const int64_t End = FPosition + Count;
  if (End > Size()) FData.resize(static_cast<size_t>(End));
  std::memcpy(FData.data() + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = End;
}

namespace {
template <class T>
bool TryReadLE(TMemoryStream& S, T& Value) {
  uint8_t B[sizeof(T)] = {};
  if (S.Remaining() < static_cast<int64_t>(sizeof(T))) {
    S.SetPosition(S.Size());
    return false;
  }
  S.Read(B, sizeof(T));
  std::make_unsigned_t<T> V = 0;
  for (size_t I = sizeof(T); I-- > 0;) V = static_cast<std::make_unsigned_t<T>>((V << 8) | B[I]);
  Value = static_cast<T>(V);
  return true;
}

template <class T>
void WriteLE(TMemoryStream& S, T Value) {
  uint8_t B[sizeof(T)];
  auto V = static_cast<std::make_unsigned_t<T>>(Value);
  for (size_t I = 0; I < sizeof(T); ++I) {
    B[I] = static_cast<uint8_t>(V & 0xFF);
    V = static_cast<std::make_unsigned_t<T>>(V >> 8);
  }
  S.Write(B, sizeof(T));
}
}  // namespace

bool TMemoryStream::TryReadInt32(int32_t& Value) { return TryReadLE(*this, Value); }
bool TMemoryStream::TryReadUInt16(uint16_t& Value) { return TryReadLE(*this, Value); }
bool TMemoryStream::TryReadUInt8(uint8_t& Value) { return TryReadLE(*this, Value); }
void TMemoryStream::WriteInt32(int32_t Value) { WriteLE(*this, Value); }
void TMemoryStream::WriteUInt16(uint16_t Value) { WriteLE(*this, Value); }
void TMemoryStream::WriteUInt8(uint8_t Value) { WriteLE(*this, Value); }

}  // namespace pel
