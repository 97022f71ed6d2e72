#pragma once
// Ordered string lists with one object value per entry: the list type of every name list, word
// list and comma text of the system, for 8-bit and wide strings alike.
//
// Rules the callers rely on:
// - Comparisons (lookup, sorting, duplicate checks) ignore case under the user's locale, through
//   the locale port. 8-bit entries are widened through the code-page port first.
// - Duplicates are policed only while the list is sorted: ignored (Add answers the existing
//   index), accepted, or refused with EStringListError "String list does not allow duplicates".
//   An unsorted list appends whatever it is given.
// - A sorted list keeps itself sorted; placing an entry at an index is refused there.

#include <cstdint>
#include <vector>

#include "Exceptions.h"
#include "SysTypes.h"

namespace pel {

enum class TDuplicates { dupIgnore, dupAccept, dupError };

using TObjectValue = intptr_t;

// Comparison and comma-text rules per string kind; defined in StringList.cpp.
int CompareListStrings(const WideString& A, const WideString& B);
int CompareListStrings(const AnsiString& A, const AnsiString& B);

template <class TString>
class TStringListT {
public:
  using TChar = typename TString::value_type;

  TStringListT() = default;
  TStringListT(bool Sorted, TDuplicates Duplicates) : FSorted(Sorted), FDuplicates(Duplicates) {}
  virtual ~TStringListT() = default;
  TStringListT(const TStringListT&) = default;
  TStringListT& operator=(const TStringListT&) = default;

  int Count() const { return static_cast<int>(FItems.size()); }
  bool IsEmpty() const { return FItems.empty(); }
  const TString& Strings(int Index) const { return Item(Index).Text; }
  const TString& operator[](int Index) const { return Strings(Index); }
  TObjectValue Objects(int Index) const { return Item(Index).Object; }
  void SetObject(int Index, TObjectValue Object) { Item(Index).Object = Object; }

  void SetString(int Index, const TString& Text) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted list");
    Item(Index).Text = Text;
  }

  int Add(const TString& Text) { return AddObject(Text, 0); }
  int AddObject(const TString& Text, TObjectValue Object) {
    int Index = Count();
    if (FSorted) {
      if (Find(Text, Index)) {
        if (FDuplicates == TDuplicates::dupIgnore) return Index;
        if (FDuplicates == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
      }
    }
    FItems.insert(FItems.begin() + Index, TEntry{Text, Object});
    return Index;
  }

  void Insert(int Index, const TString& Text) { InsertObject(Index, Text, 0); }
  void InsertObject(int Index, const TString& Text, TObjectValue Object) {
    if (FSorted) throw EStringListError("Operation not allowed on sorted list");
    if (Index < 0 || Index > Count()) RaiseIndex(Index);
    FItems.insert(FItems.begin() + Index, TEntry{Text, Object});
  }

  void Delete(int Index) {
    Item(Index);
    FItems.erase(FItems.begin() + Index);
  }
  void Clear() { FItems.clear(); }
  void SetCapacity(int Capacity) {
    if (Capacity > 0) FItems.reserve(static_cast<size_t>(Capacity));
  }

  // Index of the first entry equal to Text (ignoring case), or -1. Binary search when sorted.
  int IndexOf(const TString& Text) const {
    if (FSorted) {
      int Index;
      return Find(Text, Index) ? Index : -1;
    }
    for (int I = 0; I < Count(); ++I)
      if (CompareListStrings(FItems[static_cast<size_t>(I)].Text, Text) == 0) return I;
    return -1;
  }
  int IndexOfObject(TObjectValue Object) const {
    for (int I = 0; I < Count(); ++I)
      if (FItems[static_cast<size_t>(I)].Object == Object) return I;
    return -1;
  }

  // On a sorted list: true when Text is present; Index is its position, or where it would go.
  // On an unsorted list a linear search; Index is Count() when absent.
  bool Find(const TString& Text, int& Index) const {
    if (!FSorted) {
      Index = IndexOf(Text);
      if (Index >= 0) return true;
      Index = Count();
      return false;
    }
    int L = 0, H = Count();
    while (L < H) {
      const int M = L + (H - L) / 2;
      if (CompareListStrings(FItems[static_cast<size_t>(M)].Text, Text) < 0)
        L = M + 1;
      else
        H = M;
    }
    Index = L;
    return L < Count() && CompareListStrings(FItems[static_cast<size_t>(L)].Text, Text) == 0;
  }

  bool Sorted() const { return FSorted; }
  void SetSorted(bool Value) {
    if (Value && !FSorted) Sort();
    FSorted = Value;
  }
  TDuplicates Duplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

  // Stable, so entries that compare equal keep their order.
  void Sort();

  void AddStrings(const TStringListT& Source) {
    for (const TEntry& E : Source.FItems) AddObject(E.Text, E.Object);
  }
  // Entries and objects of Source; this list keeps its own sorting and duplicate rules.
  void Assign(const TStringListT& Source) {
    if (&Source == this) return;
    Clear();
    AddStrings(Source);
  }

  // Entries joined by ","; an entry holding a character of code 0-32, a double quote or a comma
  // is put in double quotes with inner quotes doubled; a list of one empty entry is two quotes.
  TString CommaText() const;
  // Parses comma text: blanks and control characters around entries are skipped, quoted entries
  // may hold anything, a trailing comma adds an empty entry, an empty text gives no entries.
  // Blanks inside an unquoted entry belong to it ("New York, Paris" is two entries).
  void SetCommaText(const TString& Text);

protected:
  struct TEntry {
    TString Text;
    TObjectValue Object = 0;
  };
  [[noreturn]] static void RaiseIndex(int Index) {
    throw EStringListError("List index out of bounds (" + std::to_string(Index) + ")");
  }
  TEntry& Item(int Index) {
    if (Index < 0 || Index >= Count()) RaiseIndex(Index);
    return FItems[static_cast<size_t>(Index)];
  }
  const TEntry& Item(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseIndex(Index);
    return FItems[static_cast<size_t>(Index)];
  }

  std::vector<TEntry> FItems;
  bool FSorted = false;
  TDuplicates FDuplicates = TDuplicates::dupIgnore;
};

using TStringList = TStringListT<AnsiString>;
using TWideStringList = TStringListT<WideString>;

extern template class TStringListT<AnsiString>;
extern template class TStringListT<WideString>;

}  // namespace pel
