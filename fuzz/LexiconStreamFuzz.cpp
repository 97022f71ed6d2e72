// Reads arbitrary bytes as a lexicon stream, as a corrupt store answer would arrive; the first byte
// picks the version, so every layout is reached. Reading must never crash, hang or leak, whatever
// was read must leave sorted lists, and expanding the values read must end without a marker left,
// even when the data refers in circles.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "Common/Lexicon.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace {

bool IsSorted(const pel::TWideStringList& L) {
  if (!L.Sorted()) return false;
  for (int I = 1; I < L.Count(); ++I)
    if (pel::CompareListStrings(L[I - 1], L[I]) > 0) return false;
  return true;
}

void CheckItem(const pel::TBaseList& Item, pel::TWideStringList& AllValues) {
  if (!IsSorted(Item.Values()) || !IsSorted(Item.Phrases())) __builtin_trap();
  for (int I = 0; I < Item.Values().Count(); ++I) AllValues.Add(Item.Values()[I]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static const bool Installed = (pel::InstallPlatformBinding(), true);
  (void)Installed;
  if (Size == 0) return 0;
  const int Version = Data[0] % 16;  // below 10, 10-11, 12, and 13 and above
  pel::TMemoryStream S(std::vector<uint8_t>(Data + 1, Data + Size));
  pel::TLexicon Lex;
  try {
    Lex.LoadFromStream(S, Version);
  } catch (const pel::EStringListError&) {
    // a repeated stop word is refused by raising; what was read before it stays
  } catch (const pel::EIntOverflow&) {
    // a string length whose byte size overflows is refused by raising
  }

  if (!IsSorted(Lex.StopWords())) __builtin_trap();
  pel::TWideStringList AllValues;
  for (const pel::TSubstitution& Item : Lex.Substitutions()) CheckItem(Item, AllValues);
  for (const pel::TGoalList& Item : Lex.Goals()) CheckItem(Item, AllValues);

  pel::TWideStringList Expanded;
  Lex.ExpandSubstitutions(AllValues, Expanded);
  for (int I = 0; I < Expanded.Count(); ++I)
    if (Expanded[I].find(pel::LexiconMarker) != pel::WideString::npos) __builtin_trap();

  // A copy holds the same items; rebuilding either keeps every list sorted.
  pel::TLexicon Copy;
  Copy.Assign(Lex);
  if (Copy.Substitutions().Count() != Lex.Substitutions().Count() || Copy.Goals().Count() != Lex.Goals().Count())
    __builtin_trap();
  Copy.RebuildAll();
  AllValues.Clear();
  for (const pel::TSubstitution& Item : Copy.Substitutions()) CheckItem(Item, AllValues);
  for (const pel::TGoalList& Item : Copy.Goals()) CheckItem(Item, AllValues);
  return 0;
}
