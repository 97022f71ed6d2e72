// Arbitrary bytes as a store list (pair stream): reading never fails, crashes or hangs, and what
// it yields writes back to a stream that reads as the same pairs.

#include <cstddef>
#include <cstdint>

#include "Common/StoreStreams.h"
#include "platform/Services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (pel::InstallPlatformBinding(), true);
  (void)Installed;
  pel::TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
  const pel::TNamePairs Pairs = pel::ReadPairStream(S);
  if (pel::VariantToPairs(pel::PairsToVariant(Pairs)) != Pairs) __builtin_trap();
  return 0;
}
