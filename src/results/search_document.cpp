#include "results/search_document.h"

#include "support/text.h"

namespace sondrel {

DuplicateSets::DuplicateSets()
    : urls_(
          false,
          [](const std::string_view& a, const std::string_view& b) {
            // Byte-wise and case-sensitive: URLs that differ in case are different results.
            int c = a.compare(b);
            return c < 0 ? -1 : (c > 0 ? 1 : 0);
          },
          [](const std::string& url) { return std::string_view(url); }, kEntriesCapacity,
          kEntriesGrowBy) {}

bool DuplicateSets::Contains(std::string_view url) const {
  return urls_.IndexOf(url) >= 0;
}

void DuplicateSets::Insert(std::string_view url) {
  (void)urls_.Insert(std::make_unique<std::string>(url));
}

void SetSearchChoices(SearchDocument& document, std::string_view query, std::uint8_t duplicates,
                      std::uint8_t filter, bool merge) {
  document.query = StrCopyN(query, kMaxQuery + 1);
  document.duplicates = duplicates;
  document.filter = filter;
  document.merge = merge ? 1 : 0;
  document.matchMode = 1;
}

void BeginSearch(SearchDocument& document) {
  if (!document.merge) document.entries.Clear();
  document.modified = true;
  document.duplicateSets = std::make_unique<DuplicateSets>();
  for (const auto& entry : document.entries) document.duplicateSets->Insert(entry->url);
}

void EndSearch(SearchDocument& document) {
  document.duplicateSets.reset();
}

}  // namespace sondrel
