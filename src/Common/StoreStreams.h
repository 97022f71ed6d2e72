#pragma once
// The two small stream forms exchanged with the store besides form sets and the lexicon:
// pair streams (the store's lists of cards and records) and caption exchange streams.

#include <vector>

#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/Variant.h"

namespace pel {

// One entry of a store list: the form set (or record set) name and the item name.
struct TNamePair {
  WideString SetName;
  WideString Name;
  friend bool operator==(const TNamePair&, const TNamePair&) = default;
};
using TNamePairs = std::vector<TNamePair>;

// Signed 32-bit count, then (set name, item name) wide-string pairs.
void WritePairStream(TMemoryStream& S, const TNamePairs& Pairs);
TVariant PairsToVariant(const TNamePairs& Pairs);
// Reads the pairs that are wholly there: a stream shorter than its count, or with a string that
// cannot be read, yields the complete pairs before that point; an unreadable or negative count
// yields none. Never raises on data.
TNamePairs ReadPairStream(TMemoryStream& S);
// Empty or null gives no pairs; otherwise the variant's bytes are read from the start.
TNamePairs VariantToPairs(const TVariant& V);

// Signed 32-bit count, then that many wide strings; the request and the answer have this form.
void WriteCaptionStream(TMemoryStream& S, const TWideStringList& Captions);
TVariant CaptionsToVariant(const TWideStringList& Captions);
// True when the count and every string could be read; Captions is then the strings, otherwise it
// is left empty. Never raises on data.
bool ReadCaptionStream(TMemoryStream& S, TWideStringList& Captions);

}  // namespace pel
