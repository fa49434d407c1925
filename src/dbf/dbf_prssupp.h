// The collections of the expression engine: an owning list of object pointers (TOCollection),
// a list that never frees its items (TNoOwnerCollection) and a list kept sorted by a key
// (TSortedCollection). Indexes are 0-based. An owning list frees an item when it is disposed
// of, cleared with DisposeAll or destroyed; Delete and Clear only remove pointers.
#pragma once

#include <cstdint>
#include <vector>

namespace dbf {

template <class T>
class TOCollection {
 public:
  explicit TOCollection(int32_t capacity = 0) { FItems.reserve(capacity > 0 ? capacity : 0); }
  virtual ~TOCollection() { DisposeAll(); }
  TOCollection(const TOCollection&) = delete;
  TOCollection& operator=(const TOCollection&) = delete;

  // Frees one item; a null item is ignored.
  virtual void DisposeItem(T* item) { delete item; }

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  T* Items(int32_t index) const { return FItems[index]; }
  T* operator[](int32_t index) const { return FItems[index]; }

  void Add(T* item) { FItems.push_back(item); }
  void Insert(int32_t index, T* item) { FItems.insert(FItems.begin() + index, item); }
  // Removes the pointer at `index` without freeing the item.
  void Delete(int32_t index) { FItems.erase(FItems.begin() + index); }
  // Removes every pointer without freeing the items.
  void Clear() { FItems.clear(); }

  void DeleteAndDispose(int32_t index) {
    T* item = FItems[index];
    Delete(index);
    DisposeItem(item);
  }
  void DisposeAll() {
    for (T* item : FItems) DisposeItem(item);
    FItems.clear();
  }

 protected:
  std::vector<T*> FItems;
};

// Holds items owned elsewhere.
template <class T>
class TNoOwnerCollection : public TOCollection<T> {
 public:
  using TOCollection<T>::TOCollection;
  // The base destructor would call its own DisposeItem: let it find nothing to free.
  ~TNoOwnerCollection() override { this->Clear(); }
  void DisposeItem(T*) override {}
};

// Items ordered by KeyOfItem under CompareItemKeys. Without duplicates an item whose key is
// present already is not inserted (and not freed: InsertSorted returns false so the caller
// still owns it). With duplicates a new item goes before the items of an equal key.
template <class T, class Key = const T*>
class TSortedCollection : public TOCollection<T> {
 public:
  using TOCollection<T>::TOCollection;

  // <0, 0, >0 as key1 sorts before, equal to or after key2.
  virtual int32_t CompareItemKeys(Key key1, Key key2) const = 0;

  // Position of this very item, or -1.
  virtual int32_t FindItem(const T* item) const {
    int32_t index = 0;
    if (!SearchSorted(KeyOfItem(item), index)) return -1;
    if (!FAllowDuplicates) return index;
    while (index < this->Count() && this->FItems[index] != item) ++index;
    return index < this->Count() ? index : -1;
  }

  virtual bool InsertSorted(T* item) {
    int32_t index = 0;
    if (SearchSorted(KeyOfItem(item), index) && !FAllowDuplicates) return false;
    this->Insert(index, item);
    return true;
  }

  // Removes (without freeing) the entry with the item's key, then inserts the item.
  virtual bool ReplaceSorted(T* item) {
    int32_t index = 0;
    if (SearchSorted(KeyOfItem(item), index)) this->Delete(index);
    return InsertSorted(item);
  }

  // The key an item is sorted by.
  virtual Key KeyOfItem(const T* item) const = 0;

  // Binary search. True when the key is present; `index` is then its position (the leftmost
  // equal key when duplicates are allowed), else the position where it would be inserted.
  virtual bool SearchSorted(Key key, int32_t& index) const {
    int32_t low = 0;
    int32_t high = this->Count() - 1;
    bool found = false;
    while (low <= high) {
      const int32_t mid = low + (high - low) / 2;
      const int32_t cmp = CompareItemKeys(KeyOfItem(this->FItems[mid]), key);
      if (cmp < 0) {
        low = mid + 1;
      } else {
        high = mid - 1;
        if (cmp == 0) {
          found = true;
          if (!FAllowDuplicates) low = mid;
        }
      }
    }
    index = low;
    return found;
  }

  bool FAllowDuplicates = false;
};

}  // namespace dbf
