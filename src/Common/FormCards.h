#pragma once
// The form sets of the current page and the names of their cards, as the store lists them and the
// fill dialog shows them.

#include "platform/Collection.h"
#include "platform/StringList.h"

namespace pel {

class TFormSet : public TCollectionItem {
public:
  explicit TFormSet(TCollectionBase* Collection = nullptr, int ID = 0) : TCollectionItem(Collection, ID) {}

  WideString Name;
  // Card names; the current card's entry carries object value 1.
  TWideStringList Cards;
};

// Not sorted; set names are compared exactly.
class TFormCards : public TCollection<TFormSet> {
public:
  // Appends a set named Name with no cards.
  TFormSet& Add(const WideString& Name) {
    TFormSet& Set = TCollection<TFormSet>::Add();
    Set.Name = Name;
    return Set;
  }
  // The first set named Name, or null.
  TFormSet* Find(const WideString& Name) const {
    for (int I = 0; I < Count(); ++I)
      if (Items(I).Name == Name) return &Items(I);
    return nullptr;
  }
};

}  // namespace pel
