#pragma once
// Ascending sort of the result entries by one column; there is no descending order.

#include <optional>
#include <string_view>

#include "results/search_document.h"

namespace sondrel {

enum class SortKey { kName, kUrl, kEngine, kPosition, kSize, kStatus };

// Negative, zero or positive as a sorts before, with or after b under key (with the tie-breaks).
int CompareEntries(const ResultEntry& a, const ResultEntry& b, SortKey key);
// Sorts with the program's shell sort, which is not stable.
void SortEntries(SearchDocument& document, SortKey key);
// "name", "url", "engine", "position", "size", "status".
std::optional<SortKey> SortKeyFromName(std::string_view name);

}  // namespace sondrel
