// Reads arbitrary bytes as a recorded navigation, as a corrupt store answer would arrive. Loading
// must never crash, hang or leak; the only failures it may report are the format's own: a stream
// cut short or malformed (EReadError) and a string length that overflows (EIntOverflow).

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Common/NavigationRecorder.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace {

// A refused stream leaves no part of itself behind.
void ExpectNothingLoaded(const pel::TNavigationRecorder& R) {
  if (R.Steps().Count() != 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (pel::InstallPlatformBinding(), true);
  (void)Installed;
  pel::TNavigationRecorder R;
  try {
    R.LoadFromVariant(pel::TVariant(std::vector<uint8_t>(Data, Data + Size)));
  } catch (const pel::EReadError&) {
    ExpectNothingLoaded(R);
    return 0;
  } catch (const pel::EIntOverflow&) {
    ExpectNothingLoaded(R);
    return 0;
  }
  // Every step comes from at least its five 4-byte string lengths.
  if (static_cast<size_t>(R.Steps().Count()) * 20 > Size) __builtin_trap();
  for (const pel::TRecordStep& Step : R.Steps())
    if (Step.PageKey.empty()) __builtin_trap();

  // What was loaded must save and load back to the same bytes.
  pel::TVariant V;
  R.SaveToVariant(V);
  pel::TNavigationRecorder Again;
  Again.LoadFromVariant(V);
  pel::TVariant V2;
  Again.SaveToVariant(V2);
  if (!(V == V2)) __builtin_trap();

  // A playback visits every step once, in order, and then stops.
  R.Play();
  pel::WideString Tag, Type, Name, Value;
  for (const pel::TRecordStep& Step : R.Steps()) {
    if (R.Mode() != pel::rmPlaying) __builtin_trap();
    if (!R.GetStep(Step.PageKey, Tag, Type, Name, Value) || Name != Step.ElementName) __builtin_trap();
    R.NextStep();
  }
  if (R.Mode() != pel::rmStopped) __builtin_trap();
  return 0;
}
