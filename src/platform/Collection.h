#pragma once
// Owning collections with the component framework's semantics: items in index order, each with an
// ID unique within its collection, freed when deleted or when the collection goes.

#include <memory>
#include <utility>
#include <vector>

#include "Exceptions.h"

namespace pel {

class TCollectionItem;

class TCollectionBase {
public:
  virtual ~TCollectionBase() = default;
  virtual int IndexOfItem(const TCollectionItem* Item) const = 0;
};

class TCollectionItem {
public:
  explicit TCollectionItem(TCollectionBase* Collection, int ID = 0) : FCollection(Collection), FID(ID) {}
  virtual ~TCollectionItem() = default;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollectionBase* Collection() const { return FCollection; }
  int ID() const { return FID; }
  // Position in the owning collection; -1 for an item that belongs to none.
  int GetIndex() const { return FCollection ? FCollection->IndexOfItem(this) : -1; }

private:
  TCollectionBase* FCollection;
  int FID;
};

[[noreturn]] void RaiseListIndexError(int Index);

template <class TItem>
class TCollection : public TCollectionBase {
public:
  TCollection() = default;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  int Count() const { return static_cast<int>(FItems.size()); }

  // Appends a new item constructed with this collection as its owner.
  TItem& Add() {
    FItems.push_back(std::make_unique<TItem>(this, FNextID++));
    return *FItems.back();
  }

  TItem& Items(int Index) const {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    return *FItems[static_cast<size_t>(Index)];
  }
  TItem& operator[](int Index) const { return Items(Index); }

  void Delete(int Index) {
    if (Index < 0 || Index >= Count()) RaiseListIndexError(Index);
    FItems.erase(FItems.begin() + Index);
  }
  void Clear() { FItems.clear(); }

  int IndexOfItem(const TCollectionItem* Item) const override {
    for (size_t I = 0; I < FItems.size(); ++I)
      if (FItems[I].get() == Item) return static_cast<int>(I);
    return -1;
  }

  // Range-for over the items as references.
  class TIterator {
  public:
    using Inner = typename std::vector<std::unique_ptr<TItem>>::const_iterator;
    explicit TIterator(Inner It) : FIt(It) {}
    TItem& operator*() const { return **FIt; }
    TIterator& operator++() {
      ++FIt;
      return *this;
    }
    bool operator!=(const TIterator& Other) const { return FIt != Other.FIt; }

  private:
    Inner FIt;
  };
  TIterator begin() const { return TIterator(FItems.begin()); }
  TIterator end() const { return TIterator(FItems.end()); }

private:
  std::vector<std::unique_ptr<TItem>> FItems;
  int FNextID = 0;
};

}  // namespace pel
