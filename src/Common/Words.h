#pragma once
// Word-splitting string lists and small list helpers shared by the whole system.

#include "platform/StringList.h"
#include "platform/Variant.h"

namespace pel {

// A string list that splits a text into words at any of its delimiter characters. A word that a
// delimiter other than a space or no-break space followed carries object value 1, else 0.
template <class TString>
class TWordsT : public TStringListT<TString> {
public:
  TString Delimiters;

  void SetDelimiters(const TString& Value) { Delimiters = Value; }
  void Split(const TString& Text);
};

using TWords = TWordsT<AnsiString>;
using TWideWords = TWordsT<WideString>;

extern template class TWordsT<AnsiString>;
extern template class TWordsT<WideString>;

// Clears List; unless V is empty or null, appends every element of the array V as a wide string.
// Raises EVariantError when V is neither empty, null nor an array.
void VariantToWideStrings(const TVariant& V, TWideStringList& List);

// Left and Right of the first Ch in S (without it); S and empty when there is none.
void SplitAtChar(const WideString& S, WideChar Ch, WideString& Left, WideString& Right);

}  // namespace pel
