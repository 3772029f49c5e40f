#pragma once
// Whether an extracted result joins the document (query filter, duplicates, include and
// exclude patterns) and how an accepted result is appended.

#include <string_view>

#include "results/result_entry.h"
#include "results/search_document.h"

namespace sondrel {

// The counters of one engine in the running search; the search driver fills this from its
// engine definition, so this layer needs nothing of the engines.
struct EngineRun {
  std::string_view name;
  int& nextPosition;  // results this engine added; becomes the next entry's position
  int& foundCount;    // results of this engine accepted in this search
};

// True when at least one word of the trimmed query occurs in text, ignoring case; a query
// without words matches nothing.
bool TextMatch(std::string_view query, std::string_view text);

// The filter, duplicate and pattern test for the scratch entry.
bool AcceptResult(const SearchDocument& document, const ResultEntry& entry);

// Appends a compact copy of an accepted result with its engine position, counts it, sets the
// modified flag and records its URL. False when the entry array is full; the caller then
// shows nothing. On true the new entry is the last one and its row is to be added.
bool AppendResult(SearchDocument& document, const ResultEntry& scratch, EngineRun& run);

}  // namespace sondrel
