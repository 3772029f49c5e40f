#pragma once
// The containers of the whole program: an owning pointer array with a fixed growth step and
// a hard limit of 16380 items, a sorted list over it, and the shell sort used for the result list.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace sondrel {

template <class T>
class PtrArray {
 public:
  static constexpr int kMaxItems = 16380;

  explicit PtrArray(int initialCapacity = 10, int growBy = 5);

  // Inserts at 0 <= index <= Count(); the index, or -1 when out of range or full.
  int Insert(int index, std::unique_ptr<T> item);
  int Append(std::unique_ptr<T> item) { return Insert(Count(), std::move(item)); }
  // Takes the item out without destroying it; null when index is out of range.
  std::unique_ptr<T> RemoveAt(int index);
  T* Get(int index) const;  // null when out of range
  // Destroys the old item and stores the new one; 0 when index >= Count().
  int SetAt(int index, std::unique_ptr<T> item);
  int Count() const { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  void Clear() { items_.clear(); }
  void Swap(int a, int b) { std::swap(items_[a], items_[b]); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<T>> items_;
  int capacity_;
  int growBy_;
};

// Gap insertion sort with the gaps 9, 5, 3, 2, 1; an item moves before another while
// compare(item, other) < 0, so equal items keep their order within a gap chain.
template <class T, class Compare>
void ShellSortPtrArray(PtrArray<T>& array, Compare compare);

template <class T, class Key>
class SortedList {
 public:
  using CompareKeys = std::function<int(const Key&, const Key&)>;
  using KeyOf = std::function<Key(const T&)>;

  SortedList(bool allowDuplicates, CompareKeys compare, KeyOf keyOf, int initialCapacity = 10,
             int growBy = 5);

  // Binary search; pos becomes the first item whose key is not less than key.
  bool Find(const Key& key, int& pos) const;
  // Inserts before equal keys; -1 when an equal key exists and duplicates are not allowed.
  int Insert(std::unique_ptr<T> item);
  int IndexOf(const Key& key) const;
  const PtrArray<T>& Items() const { return items_; }
  PtrArray<T>& Items() { return items_; }

 private:
  PtrArray<T> items_;
  bool allowDuplicates_;
  CompareKeys compare_;
  KeyOf keyOf_;
};

}  // namespace sondrel

#include "support/ptr_array_impl.h"
