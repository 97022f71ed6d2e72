#include "Lexicon.h"

#include <algorithm>
#include <vector>

#include "Common/Trace.h"
#include "Common/TransitForms.h"
#include "platform/Exceptions.h"
#include "platform/Services.h"

namespace pel {

namespace {

// Space, the ASCII punctuation and no-break space. The order is fixed: GetDelimiters hands it out.
constexpr WideChar Delimiters[] = u" ~`!@#$%^&*()_-+=|\\}]{[:;\"'?/.,><\u00A0";

WideString Trim(const WideString& Text) {
  size_t First = 0, Last = Text.size();
  while (First < Last && Text[First] <= u' ') ++First;
  while (Last > First && Text[Last - 1] <= u' ') --Last;
  return Text.substr(First, Last - First);
}

// Runs Body with List unsorted and sorts it again afterwards, also when Body raises: a list left
// unsorted would silently break every later binary search on it.
template <class TBody>
void WithUnsorted(TWideStringList& List, TBody&& Body) {
  List.SetSorted(false);
  try {
    Body();
  } catch (...) {
    List.SetSorted(true);
    throw;
  }
  List.SetSorted(true);
}

// A string that cannot be read whole is not stored: its partial text would only pass for data.
bool ReadString(TMemoryStream& S, WideString& Text) {
  WideString Read;
  if (!ReadWideString(S, Read)) return false;
  Text = std::move(Read);
  return true;
}

// A stored list: its count, then its entries, appended unsorted and sorted once at the end.
bool ReadSortedList(TMemoryStream& S, TWideStringList& List) {
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) return false;
  bool Complete = true;
  WithUnsorted(List, [&] {
    // Every entry takes at least its four length bytes, so the data left bounds what a corrupt
    // count may reserve.
    List.SetCapacity(static_cast<int>(std::min<int64_t>(Count, S.Remaining() / 4)));
    for (int32_t I = 0; I < Count; ++I) {
      WideString Text;
      if (!ReadWideString(S, Text)) {
        Complete = false;
        return;
      }
      List.Add(Text);
    }
  });
  return Complete;
}

bool HasMarker(const WideString& Text) { return Text.find(LexiconMarker) != WideString::npos; }

}  // namespace

// ---- TBaseList

TBaseList::TBaseList(TCollectionBase* Collection, int ID) : TCollectionItem(Collection, ID) {}

void TBaseList::Normalize(const WideString& Text, WideString& Joined, WideString& Spaced) const {
  if (!Normalizer) throw Exception("Lexicon item has no normalizer");
  Normalizer(Text, Joined, Spaced);
}

void TBaseList::Changed() {
  if (OnChange) OnChange(*this);
}

void TBaseList::Add(const WideString& Text) {
  if (FValues.IndexOf(Text) >= 0) return;
  WideString Joined, Spaced;
  Normalize(Text, Joined, Spaced);
  if (FPhrases.IndexOf(Spaced) >= 0) return;
  FValues.Add(Joined);
  FPhrases.Add(Spaced);
}

void TBaseList::SetValues(const TWideStringList& List) {
  const TWideStringList Entries = List;  // List may be one of this item's own lists
  for (int I = 0; I < Entries.Count(); ++I) Add(Entries[I]);
  Changed();
}

void TBaseList::Clear() {
  FPhrases.Clear();
  FValues.Clear();
  Key.clear();
  Name.clear();
}

void TBaseList::Rebuild() {
  Traced(1602, [&] {
    WideString Joined, Spaced;
    Normalize(Name, Joined, Spaced);
    Key = Spaced;
    Name = Joined;
    FPhrases.Clear();
    WithUnsorted(FValues, [&] {
      int I = 0;
      while (I < FValues.Count()) {
        Normalize(FValues[I], Joined, Spaced);
        if (FPhrases.IndexOf(Spaced) >= 0) {
          FValues.Delete(I);
          continue;
        }
        FValues.SetString(I, Joined);
        FPhrases.Add(Spaced);
        ++I;
      }
    });
  });
}

bool TBaseList::LoadFromStream(TMemoryStream& S, int Version) {
  return Version >= 12 ? LoadFormatB(S) : LoadFormatA(S);
}

// Name and raw values; Key and the phrases are derived by a rebuild once the item is complete.
bool TBaseList::LoadFormatA(TMemoryStream& S) {
  if (!ReadString(S, Name)) return false;
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) return false;
  for (int32_t I = 0; I < Count; ++I) {
    WideString Text;
    if (!ReadWideString(S, Text)) return false;
    FValues.Add(Text);
  }
  Rebuild();
  return true;
}

// Everything as stored, already normalised by whoever wrote it: no rebuild.
bool TBaseList::LoadFormatB(TMemoryStream& S) {
  return ReadString(S, Name) && ReadString(S, Key) && ReadSortedList(S, FValues) && ReadSortedList(S, FPhrases);
}

namespace {

void WriteList(TMemoryStream& S, const TWideStringList& List) {
  S.WriteInt32(List.Count());
  for (int I = 0; I < List.Count(); ++I) WriteWideString(S, List[I]);
}

}  // namespace

void TBaseList::SaveToStream(TMemoryStream& S) const {
  WriteWideString(S, Name);
  WriteWideString(S, Key);
  WriteList(S, FValues);
  WriteList(S, FPhrases);
}

void TBaseList::Assign(const TBaseList& Source) {
  if (&Source != this) {
    Name = Source.Name;
    Key = Source.Key;
    FPhrases.Assign(Source.FPhrases);
    FValues.Assign(Source.FValues);
  }
  Changed();
}

// ---- TLexicon

TLexicon::TLexicon() {
  TWideStringList Words;
  Words.Add(u"or");
  Words.Add(u"and");
  SetStopWords(Words);

  TWideStringList Values;
  Values.Add(u"plug-ins");
  Values.Add(u"plug-in's");
  AddSubstitution(u"plugins", Values);

  Values.Clear();
  Values.Add(u"add-ons");
  Values.Add(u"add-on's");
  AddSubstitution(u"addons", Values);
}

void TLexicon::Clear() {
  FStopWords.Clear();
  FSubstitutions.Clear();
  FGoals.Clear();
}

void TLexicon::Assign(TLexicon& Source) {
  // Clearing first would leave nothing to copy from.
  if (&Source == this) return;
  Clear();
  FJoinChar = Source.FJoinChar;
  FStopWords.Assign(Source.FStopWords);
  for (const TSubstitution& Item : Source.FSubstitutions) AddSubstitutionItem().Assign(Item);
  for (const TGoalList& Item : Source.FGoals) AddGoalItem().Assign(Item);
  Source.Changed();
}

WideString TLexicon::GetDelimiters() { return WideString(Delimiters); }

void TLexicon::SplitWords(const WideString& Text, TWideWords& Words) const {
  Words.SetDelimiters(GetDelimiters());
  Words.Split(Locale().LowerCase(Trim(Text)));
}

bool TLexicon::IsStopWord(const WideString& Word) const { return FStopWords.IndexOf(Word) >= 0; }

WideString TLexicon::Normalize(const WideString& Text) const {
  return Traced(1597, [&] {
    TWideWords Words;
    SplitWords(Text, Words);
    WideString Result;
    for (int I = 0; I < Words.Count(); ++I) {
      const WideString& Word = Words[I];
      if (Word.empty() || IsStopWord(Word)) continue;
      if (!Result.empty()) Result += u' ';
      Result += Word;
    }
    return Result;
  });
}

void TLexicon::NormalizePhrase(const WideString& Text, WideString& Joined, WideString& Spaced) const {
  TWideWords Words;
  SplitWords(Text, Words);
  // Built apart from Joined and Spaced, which may be the very string passed as Text.
  WideString J, Sp;
  WideChar Separator = u' ';
  for (int I = 0; I < Words.Count(); ++I) {
    const WideString& Word = Words[I];
    if (!Word.empty() && !IsStopWord(Word)) {
      if (!Sp.empty()) Sp += u' ';
      Sp += Word;
      if (!J.empty()) J += Separator;
      J += Word;
      Separator = u' ';
    }
    // Punctuation after a word joins it to the next kept word, even across dropped stop words.
    if (Words.Objects(I) == 1) Separator = FJoinChar;
  }
  Joined = std::move(J);
  Spaced = std::move(Sp);
}

void TLexicon::SetStopWords(const TWideStringList& List) {
  Traced(1601, [&] {
    // Every entry is normalised before any is added, so no entry loses a word to an earlier one:
    // "the end" stays two words (and is ignored) whether or not "the" came first.
    const TWideStringList Entries = List;  // List may be the stop words themselves
    FStopWords.Clear();
    std::vector<WideString> Normal;
    Normal.reserve(static_cast<size_t>(Entries.Count()));
    for (int I = 0; I < Entries.Count(); ++I) Normal.push_back(Normalize(Entries[I]));
    for (const WideString& Word : Normal)
      if (!Word.empty() && Word.find(u' ') == WideString::npos && FStopWords.IndexOf(Word) < 0) FStopWords.Add(Word);
    RebuildAll();
    Changed();
  });
}

void TLexicon::AddSubstitution(const WideString& Name, const TWideStringList& Values) {
  Traced(1595, [&] {
    const WideString Key = Normalize(Name);
    TSubstitution* Item = nullptr;
    for (TSubstitution& Candidate : FSubstitutions) {
      if (Locale().CompareStr(Candidate.Key, Key) == 0) {
        Item = &Candidate;
        break;
      }
    }
    if (!Item) {
      Item = &AddSubstitutionItem();
      Item->Name = Name;
      Item->Key = Key;
    }
    Item->SetValues(Values);
    Changed();
  });
}

// Each pass replaces the first reference of every value; a pass that replaced nothing ends the
// expansion. Data whose phrases refer back to their own substitution, directly or through others,
// would never reach such a pass, and with two self-referring phrases the values double with every
// pass. So the expansion is bounded twice:
// - at most MaxExpansionPasses passes: legitimate patterns nest a few levels and hold a few
//   references, far fewer than that;
// - a pass stops expanding once its result holds MaxExpansionEntries values or MaxExpansionUnits
//   characters beyond what Source holds, which caps both memory and the work of every pass. The
//   result is matched against the options of one select box; thousands of variants of a value
//   are already far more than any such list could use.
// Once a bound is reached nothing more is expanded: values without a reference are still kept
// (a cyclic value costs no other value its place), and every value that still holds a reference
// is dropped, as an unresolvable reference is. The result never holds a marker.
void TLexicon::ExpandSubstitutions(const TWideStringList& Source, TWideStringList& Dest) const {
  Traced(1596, [&] {
    // Keys in locale order (stable, so the first of equal keys stays first), for binary search.
    std::vector<const TSubstitution*> ByKey;
    for (const TSubstitution& Item : FSubstitutions) ByKey.push_back(&Item);
    const ILocale& L = Locale();
    std::stable_sort(ByKey.begin(), ByKey.end(),
                     [&](const TSubstitution* A, const TSubstitution* B) { return L.CompareStr(A->Key, B->Key) < 0; });
    auto FindKey = [&](const WideString& Key) -> const TSubstitution* {
      auto It = std::lower_bound(ByKey.begin(), ByKey.end(), Key, [&](const TSubstitution* A, const WideString& K) {
        return L.CompareStr(A->Key, K) < 0;
      });
      return It != ByKey.end() && L.CompareStr((*It)->Key, Key) == 0 ? *It : nullptr;
    };

    TWideStringList Work;
    Work.Assign(Source);  // before Dest is emptied: Source may be Dest
    Dest.Clear();
    int64_t SourceUnits = 0;
    for (int I = 0; I < Work.Count(); ++I) SourceUnits += static_cast<int64_t>(Work[I].size());
    const int64_t EntryLimit = Work.Count() + int64_t{MaxExpansionEntries};
    const int64_t UnitLimit = SourceUnits + MaxExpansionUnits;

    for (int Pass = 1;; ++Pass) {
      bool Done = true, Bounded = false;
      int64_t Units = 0;
      auto Fits = [&](const WideString& Text) {
        return Dest.Count() < EntryLimit && Units + static_cast<int64_t>(Text.size()) <= UnitLimit;
      };
      auto Emit = [&](const WideString& Text) {
        Units += static_cast<int64_t>(Text.size());
        Dest.Add(Text);
      };
      for (int I = 0; I < Work.Count(); ++I) {
        const WideString& S = Work[I];
        const size_t P = S.find(LexiconMarker);
        if (P == WideString::npos) {
          if (!Fits(S)) Bounded = true;
          Emit(S);
          continue;
        }
        if (Bounded) continue;
        const size_t Q = S.find(LexiconMarker, P + 1);
        if (Q == WideString::npos) continue;
        const TSubstitution* Item = FindKey(S.substr(P + 1, Q - P - 1));
        if (!Item) continue;
        Done = false;
        const WideString Prefix = S.substr(0, P), Suffix = S.substr(Q + 1);
        const TWideStringList& Phrases = Item->Phrases();
        for (int J = -1; J < Phrases.Count() && !Bounded; ++J) {
          const WideString Text = Prefix + (J < 0 ? Item->Key : Phrases[J]) + Suffix;
          if (Fits(Text))
            Emit(Text);
          else
            Bounded = true;
        }
      }
      if (Bounded || (!Done && Pass >= MaxExpansionPasses)) {
        // Copied rather than deleted in place, which would move the tail once per dropped value.
        TWideStringList Kept;
        for (int I = 0; I < Dest.Count(); ++I)
          if (!HasMarker(Dest[I])) Kept.AddObject(Dest[I], Dest.Objects(I));
        Dest.Assign(Kept);
        return;
      }
      if (Done) return;
      Work.Assign(Dest);
      Dest.Clear();
    }
  });
}

void TLexicon::RebuildAll() {
  for (TSubstitution& Item : FSubstitutions) Item.Rebuild();
  for (TGoalList& Item : FGoals) Item.Rebuild();
}

bool TLexicon::LoadStopWords(TMemoryStream& S) {
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) return false;
  for (int32_t I = 0; I < Count; ++I) {
    WideString Word;
    if (!ReadWideString(S, Word)) return false;
    FStopWords.Add(Word);
  }
  return true;
}

// An item is appended before its content is read, so a short read keeps the partial item. Every
// item takes at least four bytes or fails, so a corrupt count ends with the data.
template <class TItem>
bool TLexicon::LoadItems(TMemoryStream& S, int Version, TItem& (TLexicon::*AddItem)()) {
  int32_t Count = 0;
  if (!S.TryReadInt32(Count)) return false;
  for (int32_t I = 0; I < Count; ++I)
    if (!(this->*AddItem)().LoadFromStream(S, Version)) return false;
  return true;
}

bool TLexicon::LoadFromStream(TMemoryStream& S, int Version) {
  FJoinChar = u'-';
  Clear();
  if (Version < 13) {
    WideString Header;
    if (!ReadWideString(S, Header)) return false;
  }
  if (Version >= 12) {
    uint16_t Join = 0;
    if (!S.TryReadUInt16(Join)) return false;
    FJoinChar = static_cast<WideChar>(Join);
  }
  if (!LoadStopWords(S)) return false;
  if (!LoadItems(S, Version, &TLexicon::AddSubstitutionItem)) return false;
  if (Version < 10) return true;
  return LoadItems(S, Version, &TLexicon::AddGoalItem);
}

void TLexicon::SaveToStream(TMemoryStream& S) const {
  S.WriteUInt16(static_cast<uint16_t>(FJoinChar));
  WriteList(S, FStopWords);
  S.WriteInt32(FSubstitutions.Count());
  for (const TSubstitution& Item : FSubstitutions) Item.SaveToStream(S);
  S.WriteInt32(FGoals.Count());
  for (const TGoalList& Item : FGoals) Item.SaveToStream(S);
}

void TLexicon::Changed() {
  if (FUpdateCount == 0 && OnChange) OnChange(*this);
}

void TLexicon::ItemChanged(TBaseList&) { Changed(); }

template <class TItem>
void TLexicon::WireItem(TItem& Item) {
  Item.OnChange = [this](TBaseList& Sender) { ItemChanged(Sender); };
  Item.Normalizer = [this](const WideString& Text, WideString& Joined, WideString& Spaced) {
    NormalizePhrase(Text, Joined, Spaced);
  };
}

TSubstitution& TLexicon::AddSubstitutionItem() {
  TSubstitution& Item = FSubstitutions.Add();
  WireItem(Item);
  return Item;
}

TGoalList& TLexicon::AddGoalItem() {
  TGoalList& Item = FGoals.Add();
  WireItem(Item);
  return Item;
}

}  // namespace pel
