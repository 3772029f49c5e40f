#include "results/search_document.h"

#include "support/text.h"

namespace sondrel {

// Byte-wise and case-sensitive: URLs that differ in case are different results.
bool DuplicateSets::Contains(std::string_view url) const {
  return urls_.find(url) != urls_.end();
}

void DuplicateSets::Insert(std::string_view url) {
  urls_.emplace(url);
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
