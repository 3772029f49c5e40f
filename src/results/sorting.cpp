#include "results/sorting.h"

#include "support/ptr_array.h"

namespace sondrel {
namespace {

int Sign(int c) {
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// Byte by byte, unsigned, case-sensitive.
int CompareBytes(const std::string& a, const std::string& b) {
  return Sign(a.compare(b));
}

template <class N>
int CompareNumbers(N a, N b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

int CompareEntries(const ResultEntry& a, const ResultEntry& b, SortKey key) {
  int c = 0;
  switch (key) {
    case SortKey::kName:
      return CompareBytes(a.name, b.name);
    case SortKey::kUrl:
      return CompareBytes(a.url, b.url);
    case SortKey::kEngine:
      c = CompareBytes(a.engine, b.engine);
      return c != 0 ? c : CompareNumbers(a.position, b.position);
    case SortKey::kPosition:
      c = CompareNumbers(a.position, b.position);
      break;
    case SortKey::kSize:
      c = CompareNumbers(a.size, b.size);
      break;
    case SortKey::kStatus:
      c = CompareNumbers(a.status, b.status);
      break;
  }
  return c != 0 ? c : CompareBytes(a.engine, b.engine);
}

void SortEntries(SearchDocument& document, SortKey key) {
  ShellSortPtrArray(document.entries, [key](const ResultEntry& a, const ResultEntry& b) {
    return CompareEntries(a, b, key);
  });
}

std::optional<SortKey> SortKeyFromName(std::string_view name) {
  if (name == "name") return SortKey::kName;
  if (name == "url") return SortKey::kUrl;
  if (name == "engine") return SortKey::kEngine;
  if (name == "position") return SortKey::kPosition;
  if (name == "size") return SortKey::kSize;
  if (name == "status") return SortKey::kStatus;
  return std::nullopt;
}

}  // namespace sondrel
