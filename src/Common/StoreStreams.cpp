#include "StoreStreams.h"

#include "TransitForms.h"
#include "platform/Exceptions.h"

namespace pel {

void WritePairStream(TMemoryStream& S, const TNamePairs& Pairs) {
  S.WriteInt32(static_cast<int32_t>(Pairs.size()));
  for (const TNamePair& P : Pairs) {
    WriteWideString(S, P.SetName);
    WriteWideString(S, P.Name);
  }
}

namespace {
template <class TWrite>
TVariant WrittenToVariant(TWrite&& Write) {
  TMemoryStream S;
  Write(S);
  TVariant V;
  StreamToVariant(S, V);
  return V;
}
}  // namespace

TVariant PairsToVariant(const TNamePairs& Pairs) {
  return WrittenToVariant([&](TMemoryStream& S) { WritePairStream(S, Pairs); });
}

TNamePairs ReadPairStream(TMemoryStream& S) {
  TNamePairs Pairs;
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) return Pairs;
  // Each pair needs at least its two lengths, so the data bounds what a count may promise.
  try {
    for (int32_t I = 0; I < Count && S.Remaining() >= 8; ++I) {
      TNamePair P;
      if (!ReadWideString(S, P.SetName) || !ReadWideString(S, P.Name)) break;
      Pairs.push_back(std::move(P));
    }
  } catch (const EIntOverflow&) {
    // A length no data can back ends the list like any other unreadable string.
  }
  return Pairs;
}

TNamePairs VariantToPairs(const TVariant& V) {
  if (V.IsEmptyOrNull()) return {};
  TMemoryStream S;
  VariantToStream(V, S);
  S.SetPosition(0);
  return ReadPairStream(S);
}

void WriteCaptionStream(TMemoryStream& S, const TWideStringList& Captions) {
  S.WriteInt32(Captions.Count());
  for (int I = 0; I < Captions.Count(); ++I) WriteWideString(S, Captions[I]);
}

TVariant CaptionsToVariant(const TWideStringList& Captions) {
  return WrittenToVariant([&](TMemoryStream& S) { WriteCaptionStream(S, Captions); });
}

bool ReadCaptionStream(TMemoryStream& S, TWideStringList& Captions) {
  Captions.Clear();
  int32_t Count = 0;
  if (!S.TryReadInt32(Count) || Count < 0 || Count > S.Remaining() / 4) return false;
  Captions.SetCapacity(Count);
  try {
    for (int32_t I = 0; I < Count; ++I) {
      WideString Text;
      if (!ReadWideString(S, Text)) {
        Captions.Clear();
        return false;
      }
      Captions.Add(Text);
    }
  } catch (const EIntOverflow&) {
    Captions.Clear();
    return false;
  }
  return true;
}

}  // namespace pel
