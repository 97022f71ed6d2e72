#pragma once
// The lexicon: the word knowledge through which page texts are matched with what the store holds.
// Stop words carry no meaning and are dropped; substitutions name a phrase and its synonyms; goal
// lists have the same shape. Every phrase is kept in normal form (lower case, words separated by
// single spaces, stop words gone), so comparisons ignore case, punctuation and stop words.
//
// Two normal forms of a phrase: the spaced form ("plug in s") is what lookups compare; the joined
// form ("plug-in-s") keeps the join character where punctuation separated two words, so that the
// text can still be shown close to how it was written.

#include <cstdint>
#include <functional>

#include "Common/Words.h"
#include "platform/Collection.h"
#include "platform/MemoryStream.h"
#include "platform/StringList.h"
#include "platform/SysTypes.h"

namespace pel {

class TBaseList;
class TLexicon;

using TBaseListChangeEvent = std::function<void(TBaseList& Sender)>;
using TLexiconChangeEvent = std::function<void(TLexicon& Sender)>;
// Computes the joined and spaced normal forms of Text.
using TPhraseNormalizer = std::function<void(const WideString& Text, WideString& Joined, WideString& Spaced)>;

// In a stored value a substitution reference is written as marker, key, marker.
constexpr WideChar LexiconMarker = u'\uFFFF';

// A named phrase with its values. Items are made by the owning lexicon, which wires OnChange and
// Normalizer; an item without a Normalizer refuses to normalise.
class TBaseList : public TCollectionItem {
public:
  explicit TBaseList(TCollectionBase* Collection = nullptr, int ID = 0);

  TBaseListChangeEvent OnChange;
  // The name in spaced normal form; what lookups compare.
  WideString Key;
  // The name in joined normal form once rebuilt; until then the name it was created with.
  WideString Name;
  TPhraseNormalizer Normalizer;

  // Spaced normal forms of the values: sorted, duplicates ignored.
  const TWideStringList& Phrases() const { return FPhrases; }
  // The values in joined normal form: sorted, duplicates ignored.
  const TWideStringList& Values() const { return FValues; }

  // Adds Text unless it is already a value or its spaced form is already a phrase.
  void Add(const WideString& Text);
  // Add for each entry (nothing is removed first), then OnChange.
  void SetValues(const TWideStringList& List);
  void Clear();
  // Normalises Name and every value again, as after a change of the stop words; values whose
  // spaced forms now coincide are merged.
  void Rebuild();
  // Reads one item of the lexicon stream of that version; false on short data.
  bool LoadFromStream(TMemoryStream& S, int Version);
  // Writes the item as streams of version 12 and above hold it: name, key, values, phrases.
  void SaveToStream(TMemoryStream& S) const;
  // Copies Name, Key and both lists, then OnChange of this item.
  void Assign(const TBaseList& Source);

private:
  void Normalize(const WideString& Text, WideString& Joined, WideString& Spaced) const;
  void Changed();
  bool LoadFormatA(TMemoryStream& S);
  bool LoadFormatB(TMemoryStream& S);

  TWideStringList FPhrases{true, TDuplicates::dupIgnore};
  TWideStringList FValues{true, TDuplicates::dupIgnore};
};

class TSubstitution : public TBaseList {
public:
  using TBaseList::TBaseList;
};

class TGoalList : public TBaseList {
public:
  using TBaseList::TBaseList;
};

class TLexicon {
public:
  // Bounds of ExpandSubstitutions (see there).
  static constexpr int MaxExpansionPasses = 32;
  static constexpr int MaxExpansionEntries = 4096;
  static constexpr int64_t MaxExpansionUnits = int64_t{1} << 18;

  // Stop words "or" and "and"; the substitutions "plugins" and "addons".
  TLexicon();
  virtual ~TLexicon() = default;
  // Items hold callbacks into their lexicon, so a lexicon never moves.
  TLexicon(const TLexicon&) = delete;
  TLexicon& operator=(const TLexicon&) = delete;

  TLexiconChangeEvent OnChange;

  // Empties the stop words, substitutions and goal lists; the join character stays.
  void Clear();
  // This lexicon becomes a copy of Source: join character, stop words, and a new item for each
  // substitution and goal list. Source then reports a change, which is why it is not const.
  void Assign(TLexicon& Source);

  // Space, 32 ASCII punctuation characters and no-break space, in a fixed order.
  static WideString GetDelimiters();
  TWideStringList& StopWords() { return FStopWords; }
  const TWideStringList& StopWords() const { return FStopWords; }
  const TCollection<TSubstitution>& Substitutions() const { return FSubstitutions; }
  const TCollection<TGoalList>& Goals() const { return FGoals; }
  WideChar JoinChar() const { return FJoinChar; }

  // The spaced normal form of Text with the stop words removed.
  WideString Normalize(const WideString& Text) const;
  void NormalizePhrase(const WideString& Text, WideString& Joined, WideString& Spaced) const;
  // Replaces the stop words by the single-word normal forms of List's entries and rebuilds.
  void SetStopWords(const TWideStringList& List);
  // Extends the substitution whose key Name normalises to, or adds one, with Values.
  void AddSubstitution(const WideString& Name, const TWideStringList& Values);
  // Dest := Source with every marker reference replaced by the substitution's key and by each of
  // its phrases in turn; references naming no substitution drop their value.
  void ExpandSubstitutions(const TWideStringList& Source, TWideStringList& Dest) const;
  void RebuildAll();
  // Empties the lexicon and reads the stream layout of Version; false on short data, keeping what
  // was read. A repeated stop word raises the string list's duplicate error.
  bool LoadFromStream(TMemoryStream& S, int Version);
  // Writes the layout of version 13: join character, stop words, substitutions, goal lists.
  void SaveToStream(TMemoryStream& S) const;

  void Changed();
  void ItemChanged(TBaseList& Item);
  TSubstitution& AddSubstitutionItem();
  TGoalList& AddGoalItem();

private:
  template <class TItem>
  void WireItem(TItem& Item);
  void SplitWords(const WideString& Text, TWideWords& Words) const;
  bool IsStopWord(const WideString& Word) const;
  bool LoadStopWords(TMemoryStream& S);
  template <class TItem>
  bool LoadItems(TMemoryStream& S, int Version, TItem& (TLexicon::*AddItem)());

  int32_t FUpdateCount = 0;
  TWideStringList FStopWords{true, TDuplicates::dupError};
  TCollection<TSubstitution> FSubstitutions;
  TCollection<TGoalList> FGoals;
  WideChar FJoinChar = u'-';
};

}  // namespace pel
