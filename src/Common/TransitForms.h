#pragma once
// Form card records: a form set owns cards, a card owns fields. Between the add-on and the store a
// set travels as a flat, positional little-endian byte stream wrapped in a byte-array variant.

#include <cstdint>

#include "platform/Collection.h"
#include "platform/MemoryStream.h"
#include "platform/SysTypes.h"
#include "platform/Variant.h"

namespace pel {

// Stream primitives. A wide string is its signed 32-bit length in UTF-16 units, then the units.
void WriteWideString(TMemoryStream& S, const WideString& Text);
// False when the length cannot be read, is negative, or more units are claimed than follow; the
// rest of the data is then consumed and Text holds the whole units that were there. A length whose
// byte size does not fit a signed 32-bit integer raises EIntOverflow.
bool ReadWideString(TMemoryStream& S, WideString& Text);
// The whole stream, from position 0, as a byte array with low bound 0.
void StreamToVariant(TMemoryStream& S, TVariant& V);
// S becomes the bytes of the array V, positioned at the end; S is untouched when V is no array.
void VariantToStream(const TVariant& V, TMemoryStream& S);

class TTransitField : public TCollectionItem {
public:
  explicit TTransitField(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}

  int32_t Index = -1;  // ordinal among the form's captured non-hidden controls; -1 for a hidden input
  WideString Name;
  WideString TagName;
  WideString InputType;
  WideString ProfileField;
  WideString Value;
  int32_t ValueKind = -1;
  WideString Values;

  void Assign(const TTransitField& Source);
  void SaveToStream(TMemoryStream& S) const;
  void LoadFromStream(TMemoryStream& S);
  // Same tag, type and name (and index when asked); submit buttons and hidden inputs must also
  // agree in value, since their value is what tells them apart.
  bool Matches(const TTransitField& Other, bool CompareIndex) const;
};

class TTransitFormCard : public TCollectionItem {
public:
  explicit TTransitFormCard(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}

  WideString ActionURL;
  WideString Method;
  WideString Charset;
  WideString InnerHTML;
  uint8_t SubmitTarget = 0;
  int32_t SubmitFieldIndex = -1;
  TGUID FormSysID;
  TCollection<TTransitField> Fields;

  void Assign(const TTransitFormCard& Source);
  // Raises EInvalidCast when Source is not a form card.
  void Assign(const TCollectionItem& Source);
  void SaveToStream(TMemoryStream& S) const;
  void LoadFromStream(TMemoryStream& S);

  // Copies the first field that matches Field (index not compared) into Field.
  bool FindField(TTransitField& Field) const;
  // 0..100: how well a captured card (Other) agrees with this stored card.
  int Similarity(const TTransitFormCard& Other) const;
  int FieldSimilarity(const TTransitFormCard& Other) const;
  // Fingerprint of the fields: index, name, tag, type, profile field and value of each, as comma text.
  WideString FieldsText() const;
};

class TTransitFormSet : public TCollection<TTransitFormCard> {
public:
  void SaveToStream(TMemoryStream& S) const;
  void LoadFromStream(TMemoryStream& S);
  // Scores every stored card against Card; on a match copies the best into Card and answers its
  // score, else answers 0 and leaves Card alone. Ties keep the earliest card.
  int FindBestMatch(TTransitFormCard& Card) const;
};

// FindField on each card in order; true at the first card that finds one.
bool FindFieldInSet(const TTransitFormSet& Set, TTransitField& Field);

}  // namespace pel
