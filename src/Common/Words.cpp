#include "Words.h"

#include <type_traits>

namespace pel {

template <class TString>
void TWordsT<TString>::Split(const TString& Text) {
  using TUChar = std::make_unsigned_t<typename TString::value_type>;
  this->Clear();
  size_t Start = 0;
  for (size_t P = 0; P < Text.size(); ++P) {
    const auto C = Text[P];
    if (Delimiters.find(C) == TString::npos) continue;
    if (P > Start) this->AddObject(Text.substr(Start, P - Start), 0);
    Start = P + 1;
    const auto Code = static_cast<TUChar>(C);
    if (Code != 32 && Code != 160 && this->Count() > 0) this->SetObject(this->Count() - 1, 1);
  }
  if (Start < Text.size()) this->AddObject(Text.substr(Start), 0);
}

template class TWordsT<AnsiString>;
template class TWordsT<WideString>;

void VariantToWideStrings(const TVariant& V, TWideStringList& List) {
  List.Clear();
  if (V.IsEmptyOrNull()) return;
  for (int32_t I = V.ArrayLowBound(); I <= V.ArrayHighBound(); ++I) List.Add(V.ArrayElementAsWideString(I));
}

void SplitAtChar(const WideString& S, WideChar Ch, WideString& Left, WideString& Right) {
  const size_t P = S.find(Ch);
  if (P == WideString::npos) {
    Left = S;
    Right.clear();
    return;
  }
  // Copy first: Left or Right may alias S.
  const WideString Source = S;
  Left = Source.substr(0, P);
  Right = Source.substr(P + 1);
}

}  // namespace pel
