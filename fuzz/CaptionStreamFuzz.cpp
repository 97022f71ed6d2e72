// Arbitrary bytes as a caption exchange answer: reading never fails, crashes or hangs; a refused
// stream leaves no captions, an accepted one writes back to the same bytes it was read from.

#include <cstddef>
#include <cstdint>

#include "Common/StoreStreams.h"
#include "platform/Services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (pel::InstallPlatformBinding(), true);
  (void)Installed;
  pel::TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
  pel::TWideStringList Captions;
  if (!pel::ReadCaptionStream(S, Captions)) {
    if (Captions.Count() != 0) __builtin_trap();
    return 0;
  }
  pel::TMemoryStream Out;
  pel::WriteCaptionStream(Out, Captions);
  const std::vector<uint8_t> Read(Data, Data + S.Position());
  if (Out.Bytes() != Read) __builtin_trap();
  return 0;
}
