#pragma once
// The one open search: its result entries in list order and the choices it was made with.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "results/result_entry.h"
#include "support/ptr_array.h"

namespace sondrel {

inline constexpr std::size_t kMaxQuery = 199;
inline constexpr std::size_t kMaxPatterns = 999;
inline constexpr std::size_t kMaxSearchVar = 199;
inline constexpr int kEntriesCapacity = 20;
inline constexpr int kEntriesGrowBy = 5;

enum DuplicateRule : std::uint8_t { kKeepDuplicates = 0, kRemoveDuplicateUrls = 1 };
enum FilterRule : std::uint8_t { kFilterNone = 0, kFilterName = 2, kFilterUrl = 3 };

// The URLs already in the document, compared byte by byte; lives for one search. A hash set:
// every extracted link is looked up, and a page can bring thousands of them.
class DuplicateSets {
 public:
  bool Contains(std::string_view url) const;
  void Insert(std::string_view url);  // a URL already present is left alone
  int Count() const { return static_cast<int>(urls_.size()); }

 private:
  struct UrlHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view url) const {
      return std::hash<std::string_view>{}(url);
    }
  };
  std::unordered_set<std::string, UrlHash, std::equal_to<>> urls_;
};

struct SearchDocument {
  PtrArray<ResultEntry> entries{kEntriesCapacity, kEntriesGrowBy};
  std::int16_t currentIndex = 0;  // insertion point kept by Delete and Add Entry
  std::string query;
  std::uint8_t duplicates = kRemoveDuplicateUrls;
  std::uint8_t filter = kFilterNone;
  std::uint8_t merge = 0;
  std::uint8_t matchMode = 0;   // 1 (any word) once a search has started
  std::string includePatterns;  // wildcard patterns separated by single spaces
  std::string excludePatterns;
  std::string var1, var2, var3, var4;  // read by the query placeholders
  std::int16_t daysBack = 0;
  std::unique_ptr<DuplicateSets> duplicateSets;  // only while a search runs
  std::uint16_t reserved = 0;                    // carried through project files
  // Changed since it was created, opened or saved; not stored.
  bool modified = false;
};

// Copies the Find and Filters choices into the document as a search start or a save does.
void SetSearchChoices(SearchDocument& document, std::string_view query, std::uint8_t duplicates,
                      std::uint8_t filter, bool merge);

// A search starts: an empty list unless merging, then the URL set from the kept entries.
void BeginSearch(SearchDocument& document);
void EndSearch(SearchDocument& document);

}  // namespace sondrel
