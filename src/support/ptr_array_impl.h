#pragma once
// Template definitions for ptr_array.h; included from there only.

#include <type_traits>
#include <utility>

namespace sondrel {

template <class T>
PtrArray<T>::PtrArray(int initialCapacity, int growBy)
    : capacity_(std::clamp(initialCapacity, 1, kMaxItems)), growBy_(std::max(growBy, 1)) {
  items_.reserve(static_cast<std::size_t>(capacity_));
}

template <class T>
int PtrArray<T>::Insert(int index, std::unique_ptr<T> item) {
  const int count = Count();
  if (index < 0 || index > count || count >= kMaxItems) return -1;
  if (count + 1 >= capacity_) {
    // The reported capacity grows by the fixed step; the storage behind it grows geometrically,
    // so filling a long list does not copy the whole array every few items.
    const int grown = std::min(capacity_ + growBy_, kMaxItems);
    if (grown != capacity_) {
      capacity_ = grown;
      const std::size_t wanted = static_cast<std::size_t>(capacity_);
      if (items_.capacity() < wanted) {
        items_.reserve(std::min(std::max(wanted, 2 * items_.capacity()),
                                static_cast<std::size_t>(kMaxItems)));
      }
    }
  }
  items_.insert(items_.begin() + index, std::move(item));
  return index;
}

template <class T>
std::unique_ptr<T> PtrArray<T>::RemoveAt(int index) {
  if (index < 0 || index >= Count()) return nullptr;
  std::unique_ptr<T> item = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  return item;
}

template <class T>
T* PtrArray<T>::Get(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<std::size_t>(index)].get();
}

template <class T>
int PtrArray<T>::SetAt(int index, std::unique_ptr<T> item) {
  if (index < 0 || index >= Count()) return 0;
  items_[static_cast<std::size_t>(index)] = std::move(item);
  return 1;
}

namespace detail {
// Comparators may take the items by reference or by pointer.
template <class T, class Compare>
int CompareItems(Compare& compare, const T* a, const T* b) {
  if constexpr (std::is_invocable_v<Compare&, const T&, const T&>) {
    return compare(*a, *b);
  } else {
    return compare(a, b);
  }
}
}  // namespace detail

template <class T, class Compare>
void ShellSortPtrArray(PtrArray<T>& array, Compare compare) {
  static constexpr int kGaps[] = {9, 5, 3, 2, 1};
  const int count = array.Count();
  for (int gap : kGaps) {
    for (int i = gap; i < count; ++i) {
      // Swapping down the gap chain is the same walk as shifting and dropping the item in.
      for (int j = i; j >= gap; j -= gap) {
        if (detail::CompareItems(compare, array.Get(j), array.Get(j - gap)) >= 0) break;
        array.Swap(j, j - gap);
      }
    }
  }
}

template <class T, class Key>
SortedList<T, Key>::SortedList(bool allowDuplicates, CompareKeys compare, KeyOf keyOf,
                               int initialCapacity, int growBy)
    : items_(initialCapacity, growBy),
      allowDuplicates_(allowDuplicates),
      compare_(std::move(compare)),
      keyOf_(std::move(keyOf)) {}

template <class T, class Key>
bool SortedList<T, Key>::Find(const Key& key, int& pos) const {
  int low = 0;
  int high = items_.Count() - 1;
  bool found = false;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = compare_(keyOf_(*items_.Get(mid)), key);
    if (c < 0) {
      low = mid + 1;
    } else {
      high = mid - 1;
      if (c == 0) found = true;
    }
  }
  pos = low;
  return found;
}

template <class T, class Key>
int SortedList<T, Key>::Insert(std::unique_ptr<T> item) {
  if (!item) return -1;
  int pos = 0;
  const bool found = Find(keyOf_(*item), pos);
  if (found && !allowDuplicates_) return -1;
  return items_.Insert(pos, std::move(item));
}

template <class T, class Key>
int SortedList<T, Key>::IndexOf(const Key& key) const {
  int pos = 0;
  return Find(key, pos) ? pos : -1;
}

}  // namespace sondrel
