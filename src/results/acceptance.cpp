#include "results/acceptance.h"

#include "results/query_words.h"
#include "support/text.h"
#include "support/wildcard.h"

namespace sondrel {

bool TextMatch(std::string_view query, std::string_view text) {
  bool found = false;
  ForEachWord(query, [&](std::string_view word) {
    if (!found && BufFind(text, word, false) >= 0) found = true;
  });
  return found;
}

namespace {

// Outside a search there is no URL set; the entries themselves answer.
bool UrlPresent(const SearchDocument& document, std::string_view url) {
  if (document.duplicateSets) return document.duplicateSets->Contains(url);
  for (const auto& entry : document.entries) {
    if (entry->url == url) return true;
  }
  return false;
}

}  // namespace

bool AcceptResult(const SearchDocument& document, const ResultEntry& entry) {
  // Judged as it will be stored.
  const std::string url = SafeEntryUrl(entry.url);
  switch (document.filter) {
    case kFilterName:
      if (!TextMatch(document.query, entry.name)) return false;
      break;
    case kFilterUrl:
      if (!TextMatch(document.query, url)) return false;
      break;
    default:
      break;
  }
  if (document.duplicates == kRemoveDuplicateUrls && UrlPresent(document, url)) {
    return false;
  }
  if (!document.includePatterns.empty() && !WildMatchAny(entry.name, document.includePatterns) &&
      !WildMatchAny(entry.preview, document.includePatterns)) {
    return false;
  }
  if (!document.excludePatterns.empty() &&
      (WildMatchAny(entry.name, document.excludePatterns) ||
       WildMatchAny(entry.preview, document.excludePatterns))) {
    return false;
  }
  return true;
}

bool AppendResult(SearchDocument& document, const ResultEntry& scratch, EngineRun& run) {
  const int index = document.entries.Append(std::make_unique<ResultEntry>(CompactCopy(scratch)));
  if (index < 0) return false;
  ResultEntry& stored = *document.entries.Get(index);
  stored.position = static_cast<std::int16_t>(run.nextPosition);
  ++run.nextPosition;
  ++run.foundCount;
  document.modified = true;
  if (document.duplicateSets) document.duplicateSets->Insert(stored.url);
  return true;
}

}  // namespace sondrel
