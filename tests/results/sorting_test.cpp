#include "results/sorting.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace sondrel {
namespace {

struct Row {
  const char* name;
  const char* url;
  const char* engine;
  int position;
  int size;
  int status;
};

SearchDocument DocumentOf(const std::vector<Row>& rows) {
  SearchDocument document;
  for (const Row& row : rows) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = row.name;
    entry->url = row.url;
    entry->engine = row.engine;
    entry->position = static_cast<std::int16_t>(row.position);
    entry->size = row.size;
    entry->status = static_cast<std::uint8_t>(row.status);
    document.entries.Append(std::move(entry));
  }
  return document;
}

std::vector<std::string> Names(const SearchDocument& document) {
  std::vector<std::string> names;
  for (const auto& entry : document.entries) names.push_back(entry->name);
  return names;
}

const std::vector<Row> kRows = {
    {"b", "http://z", "Gamma", 2, -1, 2},  {"a", "http://y", "Alpha", 1, 4096, 1},
    {"B", "http://x", "Alpha", 0, -1, 4},  {"\xe9t\xe9", "http://w", "Beta", 1, 100, 1},
    {"c", "http://V", "Gamma", 0, 100, 5},
};

TEST(SortEntriesTest, EveryKeyWithItsTieBreak) {
  struct Case {
    SortKey key;
    std::vector<std::string> order;
  } cases[] = {
      // Unsigned bytes: upper case before lower case, 0xe9 after everything ASCII.
      {SortKey::kName, {"B", "a", "b", "c", "\xe9t\xe9"}},
      {SortKey::kUrl, {"c", "\xe9t\xe9", "B", "a", "b"}},
      // Equal engines by position.
      {SortKey::kEngine, {"B", "a", "\xe9t\xe9", "c", "b"}},
      // Equal positions by engine name.
      {SortKey::kPosition, {"B", "c", "a", "\xe9t\xe9", "b"}},
      // No size first; equal sizes by engine name.
      {SortKey::kSize, {"B", "b", "\xe9t\xe9", "c", "a"}},
      {SortKey::kStatus, {"a", "\xe9t\xe9", "b", "B", "c"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.key));
    SearchDocument document = DocumentOf(kRows);
    SortEntries(document, c.key);
    EXPECT_EQ(Names(document), c.order);
    // There is no descending order: a second click leaves the order as it is.
    SortEntries(document, c.key);
    EXPECT_EQ(Names(document), c.order);
  }
}

TEST(SortEntriesTest, LargeListsEndInOrder) {
  std::mt19937 random(7);
  SearchDocument document;
  for (int i = 0; i < 3000; ++i) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = std::to_string(random() % 1000);
    entry->engine = "E" + std::to_string(random() % 7);
    entry->position = static_cast<std::int16_t>(random() % 50);
    entry->size = static_cast<std::int32_t>(random() % 100) - 10;
    document.entries.Append(std::move(entry));
  }
  for (SortKey key : {SortKey::kName, SortKey::kEngine, SortKey::kPosition, SortKey::kSize}) {
    SCOPED_TRACE(static_cast<int>(key));
    SortEntries(document, key);
    for (int i = 1; i < document.entries.Count(); ++i) {
      ASSERT_LE(CompareEntries(*document.entries.Get(i - 1), *document.entries.Get(i), key), 0);
    }
  }
}

TEST(SortEntriesTest, KeyNames) {
  EXPECT_EQ(SortKeyFromName("size"), SortKey::kSize);
  EXPECT_EQ(SortKeyFromName("engine"), SortKey::kEngine);
  EXPECT_EQ(SortKeyFromName("Size"), std::nullopt);
}

}  // namespace
}  // namespace sondrel
