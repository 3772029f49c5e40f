#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/index_ops.h"
#include "support/ptr_array.h"
#include "support/string_list.h"
#include "support/text.h"

namespace sondrel {
namespace {

// Counts destructions, so ownership mistakes show up as wrong counts.
struct Tracked {
  Tracked(int k, int& destroyed) : key(k), id(0), destroyedCount(&destroyed) {}
  Tracked(int k, int i, int& destroyed) : key(k), id(i), destroyedCount(&destroyed) {}
  ~Tracked() { ++*destroyedCount; }
  int key;
  int id;
  int* destroyedCount;
};

std::vector<int> Values(const PtrArray<int>& array) {
  std::vector<int> values;
  for (const auto& item : array) values.push_back(*item);
  return values;
}

TEST(PtrArrayTest, GrowsByTheFixedStepWhenCountPlusOneReachesCapacity) {
  PtrArray<int> array(10, 5);
  for (int i = 0; i < 9; ++i) ASSERT_EQ(array.Append(std::make_unique<int>(i)), i);
  EXPECT_EQ(array.Capacity(), 10);
  array.Append(std::make_unique<int>(9));
  EXPECT_EQ(array.Capacity(), 15);
  EXPECT_EQ(PtrArray<int>(20000, 5).Capacity(), PtrArray<int>::kMaxItems);

  PtrArray<int> nearLimit(16378, 5);
  for (int i = 0; i < 16378; ++i) nearLimit.Append(std::make_unique<int>(i));
  EXPECT_EQ(nearLimit.Capacity(), 16380);  // the growth stops at the limit
}

TEST(PtrArrayTest, HoldsAtMost16380Items) {
  PtrArray<int> array(100, 1000);
  for (int i = 0; i < PtrArray<int>::kMaxItems; ++i) {
    ASSERT_EQ(array.Append(std::make_unique<int>(i)), i);
  }
  EXPECT_EQ(array.Capacity(), PtrArray<int>::kMaxItems);
  EXPECT_EQ(array.Append(std::make_unique<int>(-1)), -1);
  EXPECT_EQ(array.Insert(0, std::make_unique<int>(-1)), -1);
  EXPECT_EQ(array.Count(), PtrArray<int>::kMaxItems);
  EXPECT_EQ(*array.Get(0), 0);
}

TEST(PtrArrayTest, InsertRemoveGetSet) {
  int destroyed = 0;
  PtrArray<Tracked> array(2, 1);
  EXPECT_EQ(array.Get(0), nullptr);  // empty
  EXPECT_EQ(array.Append(std::make_unique<Tracked>(1, destroyed)), 0);
  EXPECT_EQ(array.Append(std::make_unique<Tracked>(3, destroyed)), 1);
  EXPECT_EQ(array.Insert(1, std::make_unique<Tracked>(2, destroyed)), 1);
  EXPECT_EQ(array.Insert(4, std::make_unique<Tracked>(9, destroyed)), -1);
  EXPECT_EQ(array.Insert(-1, std::make_unique<Tracked>(9, destroyed)), -1);
  EXPECT_EQ(destroyed, 2);  // refused items are not kept
  ASSERT_EQ(array.Count(), 3);
  EXPECT_EQ(array.Get(1)->key, 2);
  EXPECT_EQ(array.Get(3), nullptr);
  EXPECT_EQ(array.Get(-1), nullptr);

  std::unique_ptr<Tracked> removed = array.RemoveAt(0);
  ASSERT_NE(removed, nullptr);
  EXPECT_EQ(removed->key, 1);
  EXPECT_EQ(destroyed, 2);  // removing does not destroy
  EXPECT_EQ(array.RemoveAt(2), nullptr);
  EXPECT_EQ(array.Get(0)->key, 2);

  EXPECT_EQ(array.SetAt(1, std::make_unique<Tracked>(7, destroyed)), 1);
  EXPECT_EQ(destroyed, 3);  // the old item went
  EXPECT_EQ(array.Get(1)->key, 7);
  EXPECT_EQ(array.SetAt(2, std::make_unique<Tracked>(8, destroyed)), 0);
  EXPECT_EQ(destroyed, 4);
  array.Clear();
  EXPECT_EQ(array.Count(), 0);
  EXPECT_EQ(destroyed, 6);
}

TEST(ShellSortTest, SortsLikeStdSort) {
  std::mt19937 rng(7);
  for (int n : {0, 1, 2, 9, 10, 11, 57, 300}) {
    SCOPED_TRACE(n);
    PtrArray<int> array(n + 1, 5);
    std::vector<int> want;
    for (int i = 0; i < n; ++i) {
      const int v = static_cast<int>(rng() % 50);
      array.Append(std::make_unique<int>(v));
      want.push_back(v);
    }
    std::sort(want.begin(), want.end());
    ShellSortPtrArray(array, [](const int& a, const int& b) { return a - b; });
    EXPECT_EQ(Values(array), want);
    // Comparators over pointers work too; reverse order here.
    ShellSortPtrArray(array, [](const int* a, const int* b) { return *b - *a; });
    std::reverse(want.begin(), want.end());
    EXPECT_EQ(Values(array), want);
  }
}

TEST(ShellSortTest, EqualItemsNeverMove) {
  PtrArray<std::pair<int, int>> array;
  for (int i = 0; i < 12; ++i) array.Append(std::make_unique<std::pair<int, int>>(1, i));
  ShellSortPtrArray(array, [](const auto& a, const auto& b) { return a.first - b.first; });
  for (int i = 0; i < 12; ++i) EXPECT_EQ(array.Get(i)->second, i);
}

SortedList<Tracked, int> MakeList(bool allowDuplicates) {
  return SortedList<Tracked, int>(
      allowDuplicates, [](const int& a, const int& b) { return a < b ? -1 : (a > b ? 1 : 0); },
      [](const Tracked& t) { return t.key; });
}

TEST(SortedListTest, FindGivesTheFirstPositionNotLess) {
  int destroyed = 0;
  auto list = MakeList(false);
  for (int key : {30, 10, 20}) list.Insert(std::make_unique<Tracked>(key, destroyed));
  struct Case {
    int key;
    bool found;
    int pos;
  };
  for (const Case& c : {Case{20, true, 1}, Case{25, false, 2}, Case{5, false, 0},
                        Case{35, false, 3}, Case{10, true, 0}, Case{30, true, 2}}) {
    SCOPED_TRACE(c.key);
    int pos = -1;
    EXPECT_EQ(list.Find(c.key, pos), c.found);
    EXPECT_EQ(pos, c.pos);
  }
  EXPECT_EQ(list.IndexOf(30), 2);
  EXPECT_EQ(list.IndexOf(31), -1);
  EXPECT_EQ(list.Insert(std::make_unique<Tracked>(20, destroyed)), -1);
  EXPECT_EQ(list.Items().Count(), 3);
  EXPECT_EQ(destroyed, 1);
  int pos = -1;
  auto empty = MakeList(false);
  EXPECT_FALSE(empty.Find(1, pos));
  EXPECT_EQ(pos, 0);
}

TEST(SortedListTest, EqualKeysKeepTheLatestFirst) {
  int destroyed = 0;
  auto list = MakeList(true);
  list.Insert(std::make_unique<Tracked>(9, 0, destroyed));
  list.Insert(std::make_unique<Tracked>(1, 0, destroyed));
  for (int id = 1; id <= 3; ++id) {
    EXPECT_EQ(list.Insert(std::make_unique<Tracked>(5, id, destroyed)), 1);
  }
  std::vector<int> ids;
  for (const auto& item : list.Items()) ids.push_back(item->key * 10 + item->id);
  EXPECT_EQ(ids, (std::vector<int>{10, 53, 52, 51, 90}));
  int pos = -1;
  EXPECT_TRUE(list.Find(5, pos));
  EXPECT_EQ(pos, 1);
}

TEST(StringListTest, IndexOf) {
  StringList list;
  list.Add("Alpha");
  list.Add("beta");
  list.Add("alpha");
  EXPECT_EQ(list.IndexOf("alpha", true), 2);
  EXPECT_EQ(list.IndexOf("ALPHA", false), 0);
  EXPECT_EQ(list.IndexOf("ALPHA", true), -1);
  EXPECT_EQ(list.IndexOf("gamma", false), -1);
}

std::vector<std::string> Entries(const RecentList& list) {
  std::vector<std::string> entries;
  for (int i = 0; i < list.Count(); ++i) entries.push_back(*list.Get(i));
  return entries;
}

TEST(RecentListTest, MostRecentFirstWithoutCaseDuplicates) {
  using V = std::vector<std::string>;
  RecentList list(3);
  for (const char* text : {"X", "Y", "Z"}) EXPECT_EQ(list.Add(text), 1);
  EXPECT_EQ(Entries(list), (V{"Z", "Y", "X"}));
  EXPECT_EQ(list.Add("y"), 1);
  EXPECT_EQ(Entries(list), (V{"y", "Z", "X"}));
  EXPECT_EQ(list.Add("W"), 1);
  EXPECT_EQ(Entries(list), (V{"W", "y", "Z"}));
  EXPECT_EQ(list.Add("w"), 1);  // already first: unchanged, even its case
  EXPECT_EQ(list.Add(""), 1);
  EXPECT_EQ(Entries(list), (V{"W", "y", "Z"}));
  EXPECT_EQ(list.Get(-1), nullptr);
  EXPECT_EQ(list.Get(3), nullptr);
}

TEST(IndexOpsTest, IndexClamp) {
  struct Case {
    int value, low, count;
    bool wrap;
    int want;
  };
  for (const Case& c : {Case{5, 0, 0, false, 0}, Case{5, 3, -1, true, 3}, Case{-1, 0, 10, false, 0},
                        Case{10, 0, 10, false, 9}, Case{-1, 0, 10, true, 9},
                        Case{10, 0, 10, true, 0}, Case{3, 2, 5, false, 3},
                        Case{7, 2, 5, true, 2}, Case{1, 2, 5, true, 6}}) {
    SCOPED_TRACE(std::to_string(c.value) + " " + std::to_string(c.low) + " " +
                 std::to_string(c.count) + " " + std::to_string(c.wrap));
    EXPECT_EQ(IndexClamp(c.value, c.low, c.count, c.wrap), c.want);
  }
}

TEST(IndexOpsTest, IndexMove) {
  int index = 3;
  EXPECT_TRUE(IndexMove(index, 10, IndexFirst, 0));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(IndexMove(index, 10, IndexLast, 0));
  EXPECT_EQ(index, 9);
  EXPECT_FALSE(IndexMove(index, 10, IndexStep, 1));
  EXPECT_EQ(index, 9);
  EXPECT_TRUE(IndexMove(index, 10, IndexStep, -4));
  EXPECT_EQ(index, 5);
  EXPECT_TRUE(IndexMove(index, 10, IndexStep, -2147483647));
  EXPECT_EQ(index, 0);
  index = 4;
  EXPECT_TRUE(IndexMove(index, 0, IndexStep, 1));
  EXPECT_EQ(index, 0);
}

TEST(IndexOpsTest, CircularFind) {
  const auto takenSet = [](std::vector<int> taken) {
    return [taken](int i) { return std::find(taken.begin(), taken.end(), i) != taken.end(); };
  };
  EXPECT_EQ(CircularFind(2, 5, false, takenSet({2, 3, 4})), 0);
  EXPECT_EQ(CircularFind(1, 5, false, takenSet({2, 3, 4})), 1);
  EXPECT_EQ(CircularFind(1, 5, true, takenSet({2, 3, 4})), 0);
  EXPECT_EQ(CircularFind(1, 5, true, takenSet({3, 4})), 2);
  EXPECT_EQ(CircularFind(3, 5, true, takenSet({0, 1, 2, 3, 4})), -1);
  EXPECT_EQ(CircularFind(3, 5, true, takenSet({0, 2, 4})), 1);
  EXPECT_EQ(CircularFind(0, 0, false, takenSet({})), -1);
}

}  // namespace
}  // namespace sondrel
