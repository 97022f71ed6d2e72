#include "TransitForms.h"

#include <algorithm>
#include <vector>

#include "Trace.h"
#include "platform/Services.h"
#include "platform/StringList.h"

namespace pel {

// Strings are moved through a small buffer rather than a unit at a time: stored cards are mostly
// text, and a page load writes and reads every card it fills or captures.
constexpr size_t StringChunkUnits = 256;

void WriteWideString(TMemoryStream& S, const WideString& Text) {
  S.WriteInt32(static_cast<int32_t>(Text.size()));
  uint8_t Bytes[2 * StringChunkUnits];
  for (size_t At = 0; At < Text.size(); At += StringChunkUnits) {
    const size_t N = std::min(StringChunkUnits, Text.size() - At);
    for (size_t I = 0; I < N; ++I) {
      const auto C = static_cast<uint16_t>(Text[At + I]);
      Bytes[2 * I] = static_cast<uint8_t>(C & 0xFF);
      Bytes[2 * I + 1] = static_cast<uint8_t>(C >> 8);
    }
    S.Write(Bytes, static_cast<int32_t>(2 * N));
  }
}

bool ReadWideString(TMemoryStream& S, WideString& Text) {
  int32_t Length;
  if (!S.TryReadInt32(Length) || Length < 0) return false;
  if (Length > 0x3FFFFFFF) throw EIntOverflow("Integer overflow");
  Text.clear();
  // The length is checked against what follows before anything is allocated, so a corrupt length
  // can neither read past the data nor reserve memory the data cannot fill.
  const bool Complete = S.Remaining() >= int64_t{2} * Length;
  const auto Units = static_cast<size_t>(Complete ? Length : S.Remaining() / 2);
  Text.resize(Units);
  uint8_t Bytes[2 * StringChunkUnits];
  for (size_t At = 0; At < Units; At += StringChunkUnits) {
    const size_t N = std::min(StringChunkUnits, Units - At);
    S.ReadBuffer(Bytes, static_cast<int32_t>(2 * N));
    for (size_t I = 0; I < N; ++I)
      Text[At + I] = static_cast<WideChar>(Bytes[2 * I] | (static_cast<uint16_t>(Bytes[2 * I + 1]) << 8));
  }
  if (!Complete) S.SetPosition(S.Size());
  return Complete;
}

void StreamToVariant(TMemoryStream& S, TVariant& V) {
  Traced(1569, [&] {
    S.SetPosition(0);
    V = TVariant(S.Bytes());
    S.SetPosition(S.Size());
  });
}

void VariantToStream(const TVariant& V, TMemoryStream& S) {
  Traced(1570, [&] {
    if (!V.IsArray()) return;
    const TVariant::TBytes& Bytes = V.AsBytes();
    S.Clear();
    S.Write(Bytes.data(), static_cast<int32_t>(Bytes.size()));
  });
}

// ---- TTransitField

void TTransitField::Assign(const TTransitField& Source) {
  if (&Source == this) return;
  Index = Source.Index;
  Name = Source.Name;
  TagName = Source.TagName;
  InputType = Source.InputType;
  ProfileField = Source.ProfileField;
  Value = Source.Value;
  ValueKind = Source.ValueKind;
  Values = Source.Values;
}

void TTransitField::SaveToStream(TMemoryStream& S) const {
  S.WriteInt32(Index);
  WriteWideString(S, Name);
  WriteWideString(S, TagName);
  WriteWideString(S, InputType);
  WriteWideString(S, ProfileField);
  WriteWideString(S, Value);
  S.WriteInt32(ValueKind);
  WriteWideString(S, Values);
}

// Lenient by design: whatever cannot be read keeps its default.
void TTransitField::LoadFromStream(TMemoryStream& S) {
  S.TryReadInt32(Index);
  ReadWideString(S, Name);
  ReadWideString(S, TagName);
  ReadWideString(S, InputType);
  ReadWideString(S, ProfileField);
  ReadWideString(S, Value);
  S.TryReadInt32(ValueKind);
  ReadWideString(S, Values);
}

bool TTransitField::Matches(const TTransitField& Other, bool CompareIndex) const {
  return Traced(1609, [&] {
    if (CompareIndex && Index != Other.Index) return false;
    if (TagName != Other.TagName || InputType != Other.InputType || Name != Other.Name) return false;
    if (TagName != u"input") return true;
    if (InputType == u"submit" || InputType == u"hidden") return Locale().CompareStr(Value, Other.Value) == 0;
    return true;
  });
}

// ---- TTransitFormCard

void TTransitFormCard::Assign(const TTransitFormCard& Source) {
  if (&Source == this) return;
  ActionURL = Source.ActionURL;
  Method = Source.Method;
  Charset = Source.Charset;
  InnerHTML = Source.InnerHTML;
  SubmitTarget = Source.SubmitTarget;
  SubmitFieldIndex = Source.SubmitFieldIndex;
  FormSysID = Source.FormSysID;
  Fields.Clear();
  for (const TTransitField& F : Source.Fields) Fields.Add().Assign(F);
}

void TTransitFormCard::Assign(const TCollectionItem& Source) {
  auto* Card = dynamic_cast<const TTransitFormCard*>(&Source);
  if (!Card) throw EInvalidCast("Invalid class typecast");
  Assign(*Card);
}

void TTransitFormCard::SaveToStream(TMemoryStream& S) const {
  WriteWideString(S, ActionURL);
  WriteWideString(S, Method);
  WriteWideString(S, Charset);
  WriteWideString(S, InnerHTML);
  S.WriteUInt8(SubmitTarget);
  S.WriteInt32(SubmitFieldIndex);
  S.WriteInt32(static_cast<int32_t>(FormSysID.Data1));
  S.WriteUInt16(FormSysID.Data2);
  S.WriteUInt16(FormSysID.Data3);
  S.Write(FormSysID.Data4, sizeof FormSysID.Data4);
  S.WriteInt32(Fields.Count());
  for (const TTransitField& F : Fields) F.SaveToStream(S);
}

namespace {

bool TryReadGUID(TMemoryStream& S, TGUID& Guid) {
  uint8_t B[16];
  if (S.Remaining() < 16) {
    S.SetPosition(S.Size());
    return false;
  }
  S.Read(B, 16);
  TGUID G;
  G.Data1 = static_cast<uint32_t>(B[0]) | static_cast<uint32_t>(B[1]) << 8 | static_cast<uint32_t>(B[2]) << 16 |
            static_cast<uint32_t>(B[3]) << 24;
  G.Data2 = static_cast<uint16_t>(B[4] | B[5] << 8);
  G.Data3 = static_cast<uint16_t>(B[6] | B[7] << 8);
  std::copy(B + 8, B + 16, G.Data4);
  Guid = G;
  return true;
}

// Records of a count are read only while data remains: a corrupt count of two billion must not
// append two billion default records once the data is used up.
template <class TItem>
void LoadRecords(TMemoryStream& S, TCollection<TItem>& Items) {
  int32_t Count = 0;
  S.TryReadInt32(Count);
  for (int32_t I = 0; I < Count && S.Remaining() > 0; ++I) Items.Add().LoadFromStream(S);
}

}  // namespace

void TTransitFormCard::LoadFromStream(TMemoryStream& S) {
  Fields.Clear();
  ReadWideString(S, ActionURL);
  ReadWideString(S, Method);
  ReadWideString(S, Charset);
  ReadWideString(S, InnerHTML);
  S.TryReadUInt8(SubmitTarget);
  S.TryReadInt32(SubmitFieldIndex);
  TryReadGUID(S, FormSysID);
  LoadRecords(S, Fields);
}

bool TTransitFormCard::FindField(TTransitField& Field) const {
  return Traced(1605, [&] {
    for (const TTransitField& F : Fields) {
      if (F.Matches(Field, false)) {
        Field.Assign(F);
        return true;
      }
    }
    return false;
  });
}

int TTransitFormCard::Similarity(const TTransitFormCard& Other) const {
  return Traced(1606, [&] {
    if (Method == u"click") return Other.Method == u"click" && ActionURL == Other.ActionURL ? 100 : 0;
    if (Method != Other.Method) return 0;
    return FieldSimilarity(Other);
  });
}

int TTransitFormCard::FieldSimilarity(const TTransitFormCard& Other) const {
  return Traced(1607, [&] {
    using TRefs = std::vector<const TTransitField*>;
    auto Split = [](const TTransitFormCard& Card, TRefs& Visible, TRefs& Hidden) {
      for (const TTransitField& F : Card.Fields) (F.Index >= 0 ? Visible : Hidden).push_back(&F);
    };
    TRefs MyVisible, MyHidden, OtherVisible, OtherHidden;
    Split(*this, MyVisible, MyHidden);
    Split(Other, OtherVisible, OtherHidden);
    if (MyVisible.size() != OtherVisible.size()) return 0;
    for (size_t I = 0; I < MyVisible.size(); ++I)
      if (!MyVisible[I]->Matches(*OtherVisible[I], true)) return 0;

    std::vector<bool> Taken(OtherHidden.size(), false);
    int Matched = 0;
    for (const TTransitField* H : MyHidden) {
      for (size_t J = 0; J < OtherHidden.size(); ++J) {
        if (!Taken[J] && H->Matches(*OtherHidden[J], true)) {
          Taken[J] = true;
          ++Matched;
          break;
        }
      }
    }
    const double Divisor = static_cast<double>(std::max(MyHidden.size(), OtherHidden.size()) + 1);
    return static_cast<int>((Matched + 1) * 100.0 / Divisor);
  });
}

WideString TTransitFormCard::FieldsText() const {
  return Traced(1608, [&] {
    TWideStringList List;
    for (const TTransitField& F : Fields) {
      List.Add(IntToWideStr(F.Index));
      List.Add(F.Name);
      List.Add(F.TagName);
      List.Add(F.InputType);
      List.Add(F.ProfileField);
      List.Add(F.Value);
    }
    return List.CommaText();
  });
}

// ---- TTransitFormSet

void TTransitFormSet::SaveToStream(TMemoryStream& S) const {
  S.WriteInt32(Count());
  for (const TTransitFormCard& Card : *this) Card.SaveToStream(S);
}

void TTransitFormSet::LoadFromStream(TMemoryStream& S) {
  Clear();
  LoadRecords(S, *this);
}

int TTransitFormSet::FindBestMatch(TTransitFormCard& Card) const {
  return Traced(1603, [&] {
    const TTransitFormCard* Best = nullptr;
    int Score = 0;
    for (const TTransitFormCard& Stored : *this) {
      const int V = Stored.Similarity(Card);
      if (V > Score) {
        Best = &Stored;
        Score = V;
      }
      if (V == 100) {
        Best = &Stored;
        break;
      }
    }
    if (!Best) return 0;
    Card.Assign(*Best);
    return Score;
  });
}

bool FindFieldInSet(const TTransitFormSet& Set, TTransitField& Field) {
  return Traced(1604, [&] {
    for (const TTransitFormCard& Card : Set)
      if (Card.FindField(Field)) return true;
    return false;
  });
}

}  // namespace pel
