#include "Recognizer.h"

#include <algorithm>

#include "platform/Services.h"

namespace pel::store {

namespace {

bool IsLower(char16_t C) { return (C >= u'a' && C <= u'z') || (C >= 0xDF && C <= 0xFF && C != 0xF7); }
bool IsUpper(char16_t C) { return (C >= u'A' && C <= u'Z') || (C >= 0xC0 && C <= 0xDE && C != 0xD7); }
bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }
bool IsLetter(char16_t C) { return IsLower(C) || IsUpper(C); }

// "txtFirstName" → "txt First Name", "ZIPCode" → "ZIP Code", "address2" → "address 2".
WideString SplitCamelCase(const WideString& Text) {
  WideString Result;
  for (size_t I = 0; I < Text.size(); ++I) {
    const char16_t C = Text[I];
    if (I > 0) {
      const char16_t P = Text[I - 1];
      const bool Next = I + 1 < Text.size() && IsLower(Text[I + 1]);
      if ((IsLower(P) && IsUpper(C)) || (IsUpper(P) && IsUpper(C) && Next) || (IsLetter(P) && IsDigit(C)) ||
          (IsDigit(P) && IsLetter(C)))
        Result += u' ';
    }
    Result += C;
  }
  return Result;
}

}  // namespace

TFieldRecognizer::TFieldRecognizer() : FDelimiters(TLexicon::GetDelimiters()) {
  for (int I = 0; I < FLexicon.StopWords().Count(); ++I) FStopWords.insert(FLexicon.StopWords()[I]);
}

void TFieldRecognizer::SetStopWords(const TWideStringList& Words) {
  FLexicon.SetStopWords(Words);
  FStopWords.clear();
  for (int I = 0; I < FLexicon.StopWords().Count(); ++I) FStopWords.insert(FLexicon.StopWords()[I]);
  for (TPhrase& Phrase : FPhrases) Prepare(Phrase);
  Index();
}

void TFieldRecognizer::Index() {
  FFirstField.clear();
  FLongestGlued = 0;
  for (const TPhrase& Phrase : FPhrases) {
    FFirstField.emplace(Phrase.Glued, Phrase.FieldID);
    FLongestGlued = std::max(FLongestGlued, Phrase.Glued.size());
  }
}

void TFieldRecognizer::Clear() {
  FPhrases.clear();
  FFirstField.clear();
  FLongestGlued = 0;
  FTypeHints.clear();
}

// The words of the lexicon's normal form (lower case, split at its delimiters, stop words dropped),
// the stop words looked up by equality of their lower-cased forms.
std::vector<WideString> TFieldRecognizer::NormalWords(const WideString& Text) const {
  const WideString Split = SplitCamelCase(Text);
  size_t First = 0, Last = Split.size();
  while (First < Last && Split[First] <= u' ') ++First;
  while (Last > First && Split[Last - 1] <= u' ') --Last;
  const WideString Lower = Locale().LowerCase(Split.substr(First, Last - First));
  std::vector<WideString> Words;
  size_t Start = 0;
  auto Take = [&](size_t End) {
    if (End <= Start) return;
    WideString Word = Lower.substr(Start, End - Start);
    if (!FStopWords.count(Word)) Words.push_back(std::move(Word));
  };
  for (size_t P = 0; P < Lower.size(); ++P)
    if (FDelimiters.find(Lower[P]) != WideString::npos) {
      Take(P);
      Start = P + 1;
    }
  Take(Lower.size());
  return Words;
}

WideString TFieldRecognizer::Normalize(const WideString& Text) const {
  WideString Result;
  for (const WideString& Word : NormalWords(Text)) {
    if (!Result.empty()) Result += u' ';
    Result += Word;
  }
  return Result;
}

void TFieldRecognizer::Prepare(TPhrase& Phrase) const {
  Phrase.Words = NormalWords(Phrase.Raw);
  Phrase.Glued.clear();
  for (const WideString& W : Phrase.Words) Phrase.Glued += W;
}

void TFieldRecognizer::AddSynonym(int64_t FieldID, const WideString& Phrase) {
  TPhrase Item{FieldID, Phrase, {}, {}};
  Prepare(Item);
  if (Item.Glued.empty()) return;
  FFirstField.emplace(Item.Glued, Item.FieldID);
  FLongestGlued = std::max(FLongestGlued, Item.Glued.size());
  FPhrases.push_back(std::move(Item));
}

void TFieldRecognizer::AddTypeHint(const WideString& InputType, int64_t FieldID) {
  FTypeHints.emplace_back(Locale().LowerCase(InputType), FieldID);
}

// A phrase is found where its words, glued together, equal a run of consecutive words of the
// name glued together, so "first name", "firstname" and "FirstName" all find "first name". The
// longest phrase wins: "e mail address" beats "address", "first name" beats "name". Among equally
// long ones the one further right wins, since names put the qualifier first ("billing_city").
int64_t TFieldRecognizer::Recognize(const WideString& Name, const WideString& InputType) const {
  const std::vector<WideString> Words = NormalWords(Name);
  int64_t Best = -1;
  size_t BestLength = 0, BestEnd = 0;
  bool BestWhole = false;
  for (size_t First = 0; First < Words.size(); ++First) {
    WideString Glued;
    for (size_t Last = First; Last < Words.size(); ++Last) {
      Glued += Words[Last];
      // No phrase glues longer: a run that does cannot be one, nor can any longer run from here.
      // This keeps a lookup linear in the name's length, however long a caption gets.
      if (Glued.size() > FLongestGlued) break;
      const bool Whole = First == 0 && Last + 1 == Words.size();
      const auto Found = FFirstField.find(Glued);
      if (Found == FFirstField.end()) continue;
      const size_t Length = Glued.size();
      // The whole name being a phrase beats any part of it; then length, then position.
      const bool Better = Best < 0 || (Whole && !BestWhole) ||
                          (Whole == BestWhole && (Length > BestLength || (Length == BestLength && Last > BestEnd)));
      if (Better) {
        Best = Found->second;
        BestLength = Length;
        BestEnd = Last;
        BestWhole = Whole;
      }
    }
  }
  if (Best >= 0) return Best;
  const WideString Type = Locale().LowerCase(InputType);
  for (const auto& [HintType, FieldID] : FTypeHints)
    if (HintType == Type) return FieldID;
  return -1;
}

}  // namespace pel::store
