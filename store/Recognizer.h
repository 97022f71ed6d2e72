#pragma once
// Recognises which profile field a control's name or caption stands for. The knowledge is data
// (stop words, synonym phrases per field, container words, phrases of kinds no profile holds,
// autocomplete tokens, what input types say); the code only brings names into a comparable form,
// finds the phrases in them and weighs what it found.

#include <bitset>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Common/Lexicon.h"
#include "platform/SysTypes.h"

namespace pel::store {

// What the lookup is told about a control besides the text it asks about. It travels in the
// lookup's type argument so that the store interface keeps its shape: the first line is the
// control's input type (as before), each further line "autocomplete=TOKENS", "form=KIND",
// "near=NAME" (the name of a control near it in its form), "name=NAME" (the control's name, when
// the lookup asks about another of its texts) or "text=TEXT" (its other texts: caption, id,
// placeholder, ARIA label, title), in the fill's order.
struct TLookupEvidence {
  WideString InputType;
  WideString Autocomplete;
  WideString Form;  // the kind of form the control is in ("login"), when the caller knows it
  std::vector<WideString> Near;
  WideString Name;
  std::vector<WideString> Texts;  // the name (when given) first

  static TLookupEvidence Parse(const WideString& TypeArgument);
  WideString Format() const;
};

class TFieldRecognizer {
public:
  // Answers for phrases that stand for no profile field at all (search boxes, captchas, one-time
  // codes …): a control recognised as one gets no value, whatever else it says.
  static constexpr int64_t NoField = -2;
  // Caption words counted from each end; the words nearest a control are its label.
  static constexpr size_t LeadingWords = 6;
  static constexpr size_t TrailingWords = 16;

  TFieldRecognizer();
  // Stop words replace the previous ones; the phrases are normalised again.
  void SetStopWords(const TWideStringList& Words);
  void Clear();
  void AddSynonym(int64_t FieldID, const WideString& Phrase);
  // A phrase of a kind no profile holds. A field's own synonym that glues alike takes precedence.
  void AddNoFieldPhrase(const WideString& Phrase);
  // A container word (address, user, date of birth …): it names its field only when nothing more
  // specific is said. Without a field of its own (FieldID -1) it only keeps the words it spans
  // from counting ("forgot password" is no password).
  void AddContainer(const WideString& Phrase, int64_t FieldID = -1);
  // A word that names a part of a whole only beside it: "day" is the birth day where the control's
  // texts or its neighbours' names speak of a birth date, else nothing (a card's expiry month, a
  // travel date's day, a car's model year).
  void AddPart(int64_t FieldID, const WideString& Phrase, int64_t Context);
  // A container word's field gives way to Other when the control's other texts name Other (only
  // by a specific phrase, when OnlySpelledOut).
  void AddYield(int64_t FieldID, int64_t Other, bool OnlySpelledOut = false);
  // In a form of that kind, a container word's field stands for Other instead (NoField: for no
  // field at all); EvenSpecific: a
  // specific phrase's too, unless the control's other texts say that field as well.
  void AddFormYield(const WideString& FormKind, int64_t FieldID, int64_t Other, bool EvenSpecific = false);
  // Beside a control named for Neighbour (and none named for Instead), a container word's field
  // stands for Instead: "Name" beside "Vorname" asks for the last name.
  void AddComplement(int64_t FieldID, int64_t Neighbour, int64_t Instead);
  // Only: the field is held by boxes of that type alone; another box's name may still say it.
  void AddTypeHint(const WideString& InputType, int64_t FieldID, bool Alone = true,
                   const std::vector<int64_t>& Overrules = {}, bool Only = false);
  void AddAutocomplete(const WideString& Token, int64_t FieldID);
  // Input types that never hold a profile value (check boxes, buttons, files …).
  void AddNonTextType(const WideString& InputType);
  // Input types that only choose (radio buttons): they answer only choice fields.
  void AddChoiceType(const WideString& InputType);
  void SetChoiceField(int64_t FieldID);

  // The words of Text, lower case and without stop words, separated by single spaces. Names
  // written in camel case, with brackets, dots, underscores or glued to digits ("txtFirstName",
  // "address2", "checkout[shipping_address][zip]") are split first.
  WideString Normalize(const WideString& Text) const;
  std::vector<WideString> NormalWords(const WideString& Text) const;
  // The field Name stands for given what else is known of the control, else -1 (NoField
  // included: the caller sees no field).
  // TagName tells list boxes from text boxes: a container word names a choice field (a title
  // among Mr and Mrs) only on a control that chooses.
  int64_t Recognize(const WideString& Name, const WideString& TypeArgument, const WideString& TagName = u"") const;
  // As Recognize, but NoField is answered as such.
  int64_t Classify(const WideString& Name, const TLookupEvidence& Evidence, const WideString& TagName = u"") const;

private:
  struct TPhrase {
    int64_t FieldID;
    WideString Raw;
    std::vector<WideString> Words;
    WideString Glued;  // the words without spaces
  };
  struct TTarget {
    int64_t FieldID = -1;
    bool Weak = false;
    int64_t Context = -1;  // a part's whole (AddPart)
  };
  struct TFound {
    int64_t FieldID = -1;
    bool Any = false;
    int Fields = 0;    // how many fields the text names alike (specific ones, or its container)
    size_t Words = 0;  // the text's words
    int64_t Context = -1;  // the whole the best phrase is a part of
  };
  static constexpr size_t AmbiguousWords = 8;
  struct TTypeRule {
    int64_t FieldID;
    bool Alone;
    std::vector<int64_t> Overrules;
  };
  void Prepare(TPhrase& Phrase) const;
  void Index();
  void Add(int64_t FieldID, const WideString& Raw, bool Weak, int64_t Context = -1);
  // Whether Text names Field by one of its phrases (Field is the whole of some part).
  bool Mentions(const WideString& Text, int64_t Field) const;
  // The best specific (Strong) and the best container answer (Weak) the words of Text give.
  // Named, when given, receives every field a phrase counted in Text stands for.
  void Find(const WideString& Text, TFound& Strong, TFound& Weak, std::vector<int64_t>* Named = nullptr) const;

  TLexicon FLexicon;
  // The lexicon's stop words for lookups by equality: a store opening with thousands of synonyms
  // normalises each, and a sorted list compared under the locale's collation costs most of that.
  std::unordered_set<WideString> FStopWords;
  WideString FDelimiters;
  // The same as a table by code unit: every character of every phrase and caption is tested, and
  // scanning the delimiters for each was most of the cost of opening a store.
  std::bitset<0x10000> FIsDelimiter;
  std::vector<TPhrase> FPhrases;
  std::vector<bool> FPhraseWeak;
  std::vector<int64_t> FPhraseContext;
  // The glued phrases of each field some part needs (the birth date for "day").
  std::unordered_map<int64_t, std::unordered_set<WideString>> FContextGlued;
  // Glued phrase → what it names (the first phrase that glues so wins, a container word marks it
  // weak): a run of a name is looked up once instead of compared with every phrase.
  std::unordered_map<WideString, TTarget> FTargets;
  std::unordered_set<WideString> FWeak;
  size_t FLongestGlued = 0;
  std::unordered_map<WideString, TTypeRule> FTypeRules;
  std::unordered_map<WideString, int64_t> FAutocomplete;
  std::unordered_set<WideString> FNonTextTypes, FChoiceTypes;
  std::unordered_set<int64_t> FChoiceFields;
  std::unordered_map<int64_t, WideString> FOnlyIn;  // field → the one input type holding it
  std::unordered_map<int64_t, std::unordered_map<int64_t, bool>> FYields;  // → only when spelled out
  struct TFormYield {
    int64_t Instead;
    bool EvenSpecific;
  };
  std::unordered_map<WideString, std::unordered_map<int64_t, TFormYield>> FFormYields;
  struct TComplement {
    int64_t Neighbour, Instead;
  };
  std::unordered_map<int64_t, std::vector<TComplement>> FComplements;
};

}  // namespace pel::store
