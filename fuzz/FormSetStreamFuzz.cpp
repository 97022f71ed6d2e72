// Reads arbitrary bytes as a form set stream, as a corrupt store answer would arrive. Reading must
// never crash, hang or leak; the only failure it may report is the platform's own exception.

#include <cstddef>
#include <cstdint>

#include "Common/TransitForms.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (pel::InstallPlatformBinding(), true);
  (void)Installed;
  pel::TMemoryStream S(std::vector<uint8_t>(Data, Data + Size));
  pel::TTransitFormSet Set;
  try {
    Set.LoadFromStream(S);
  } catch (const pel::EIntOverflow&) {
    return 0;  // a string length whose byte size overflows is refused by raising
  }
  // What was read must write and read back to the same records.
  pel::TMemoryStream Out;
  Set.SaveToStream(Out);
  Out.SetPosition(0);
  pel::TTransitFormSet Again;
  Again.LoadFromStream(Out);
  pel::TMemoryStream Out2;
  Again.SaveToStream(Out2);
  if (Out.Bytes() != Out2.Bytes()) __builtin_trap();
  for (const pel::TTransitFormCard& Card : Set) Card.FieldsText();
  return 0;
}
