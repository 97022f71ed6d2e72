#include "StringList.h"

#include <algorithm>
#include <type_traits>

#include "Collection.h"

#include "Services.h"

namespace pel {

int CompareListStrings(const WideString& A, const WideString& B) { return Locale().CompareText(A, B); }

int CompareListStrings(const AnsiString& A, const AnsiString& B) {
  return Locale().CompareText(AnsiToWide(A), AnsiToWide(B));
}

namespace {
template <class TChar>
bool IsBlank(TChar C) {
  return static_cast<uint32_t>(static_cast<std::make_unsigned_t<TChar>>(C)) <= 32;
}
}  // namespace

template <class TString>
void TStringListT<TString>::Sort() {
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const TEntry& A, const TEntry& B) { return CompareListStrings(A.Text, B.Text) < 0; });
}

template <class TString>
TString TStringListT<TString>::CommaText() const {
  const TChar Quote = '"', Comma = ',';
  if (Count() == 1 && FItems[0].Text.empty()) return TString(2, Quote);
  TString Result;
  for (size_t I = 0; I < FItems.size(); ++I) {
    const TString& S = FItems[I].Text;
    if (I > 0) Result.push_back(Comma);
    const bool NeedsQuotes =
        std::any_of(S.begin(), S.end(), [&](TChar C) { return IsBlank(C) || C == Quote || C == Comma; });
    if (!NeedsQuotes) {
      Result += S;
      continue;
    }
    Result.push_back(Quote);
    for (TChar C : S) {
      if (C == Quote) Result.push_back(Quote);
      Result.push_back(C);
    }
    Result.push_back(Quote);
  }
  return Result;
}

template <class TString>
void TStringListT<TString>::SetCommaText(const TString& Text) {
  const TChar Quote = '"', Comma = ',';
  Clear();
  size_t P = 0;
  const size_t End = Text.size();
  auto SkipBlanks = [&] {
    while (P < End && IsBlank(Text[P])) ++P;
  };
  SkipBlanks();
  while (P < End) {
    TString Entry;
    if (Text[P] == Quote) {
      ++P;
      while (P < End) {
        if (Text[P] == Quote) {
          if (P + 1 < End && Text[P + 1] == Quote) {
            Entry.push_back(Quote);
            P += 2;
            continue;
          }
          ++P;
          break;
        }
        Entry.push_back(Text[P++]);
      }
    } else {
      const size_t Start = P;
      while (P < End && Text[P] != Comma) ++P;
      size_t Stop = P;
      while (Stop > Start && IsBlank(Text[Stop - 1])) --Stop;
      Entry = Text.substr(Start, Stop - Start);
    }
    Add(Entry);
    SkipBlanks();
    if (P < End && Text[P] == Comma) {
      ++P;
      SkipBlanks();
      if (P == End) Add(TString());
    }
  }
}

template class TStringListT<AnsiString>;
template class TStringListT<WideString>;

void RaiseListIndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace pel
