#pragma once
// Recognises which profile field a control's name or caption stands for. The knowledge is data
// (stop words, synonym phrases per field, input types that imply a field); the code only brings
// names into a comparable form and picks the best phrase found in them.

#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Common/Lexicon.h"
#include "platform/SysTypes.h"

namespace pel::store {

class TFieldRecognizer {
public:
  TFieldRecognizer();
  // Stop words replace the previous ones; the phrases are normalised again.
  void SetStopWords(const TWideStringList& Words);
  void Clear();
  void AddSynonym(int64_t FieldID, const WideString& Phrase);
  void AddTypeHint(const WideString& InputType, int64_t FieldID);

  // The words of Text, lower case and without stop words, separated by single spaces. Names
  // written in camel case or glued to digits ("txtFirstName", "address2") are split first.
  WideString Normalize(const WideString& Text) const;
  std::vector<WideString> NormalWords(const WideString& Text) const;
  // The field Name stands for, else the one its input type implies, else -1.
  int64_t Recognize(const WideString& Name, const WideString& InputType) const;

private:
  struct TPhrase {
    int64_t FieldID;
    WideString Raw;
    std::vector<WideString> Words;
    WideString Glued;  // the words without spaces
  };
  void Prepare(TPhrase& Phrase) const;

  void Index();

  TLexicon FLexicon;
  // The lexicon's stop words for lookups by equality: a store opening with thousands of synonyms
  // normalises each, and a sorted list compared under the locale's collation costs most of that.
  std::unordered_set<WideString> FStopWords;
  WideString FDelimiters;
  std::vector<TPhrase> FPhrases;
  // Glued phrase → the field of the first phrase that glues so: a run of a name is looked up once
  // instead of compared with every phrase (among equal phrases the first one always won).
  std::unordered_map<WideString, int64_t> FFirstField;
  size_t FLongestGlued = 0;
  std::vector<std::pair<WideString, int64_t>> FTypeHints;
};

}  // namespace pel::store
