#include "results/row_commands.h"

#include <algorithm>

#include "results/find_expression.h"
#include "results/results_texts.h"
#include "support/text.h"

namespace sondrel {
namespace {

constexpr std::string_view kCrLf = "\r\n";

void RemoveRow(SearchDocument& document, RowView& rows, int row) {
  rows.BeginRemoveRow(row);
  document.entries.RemoveAt(row);
  rows.EndRemoveRow();
  document.modified = true;
}

void ClampCurrentIndex(SearchDocument& document) {
  const int count = document.entries.Count();
  int index = document.currentIndex;
  if (index >= count) index = count - 1;
  if (index < 0) index = 0;
  document.currentIndex = static_cast<std::int16_t>(index);
}

// Drops the first selected row's selection and focus, as the Find and Add commands do.
int ClearFirstSelected(RowView& rows) {
  const int first = rows.FirstSelectedRow();
  if (first >= 0) {
    rows.SetSelected(first, false);
    rows.SetFocused(first, false);
  }
  return first;
}

// Appends the entry's text while keeping the whole under the clipboard cap.
void AppendClipboard(std::string& text, const ResultEntry& entry) {
  StrAppendN(text, ClipboardTextOf(entry), kMaxClipboardText + 1);
}

}  // namespace

std::string ClipboardTextOf(const ResultEntry& entry) {
  std::string text;
  text.reserve(entry.url.size() + entry.name.size() + entry.preview.size() + 16);
  text.append(entry.url).append(kCrLf);
  text.append(DisplayName(entry)).append(kCrLf);
  text.append(entry.preview).append(kCrLf);
  if (!entry.var1.empty()) text.append(entry.var1).append(kCrLf);
  text.append(kCrLf);
  return text;
}

bool EntryMatches(const ResultEntry& entry, std::string_view findText) {
  return FindExpression(entry.name, findText) || FindExpression(entry.preview, findText) ||
         FindExpression(entry.url, findText);
}

std::string FindNoMatchText(std::string_view findText) {
  std::string text(texts::kFindNoMatchBefore);
  text.append(findText).append(texts::kFindNoMatchAfter);
  return text;
}

std::string FindCountText(int count, std::string_view findText) {
  std::string text = std::to_string(count);
  text.append(texts::kFindCountMiddle).append(findText).append(texts::kFindCountAfter);
  return text;
}

void FindNext(SearchDocument& document, RowView& rows, std::string_view findText, bool again) {
  rows.FocusList();
  if (findText.empty()) return;
  const int focused = rows.FocusedRow();
  const int start = focused < 0 ? 0 : focused + (again ? 1 : 0);
  const int count = document.entries.Count();
  for (int i = start; i < count; ++i) {
    if (!EntryMatches(*document.entries.Get(i), findText)) continue;
    rows.SetFocused(i, true);
    ClearFirstSelected(rows);
    rows.SetSelected(i, true);
    rows.SetFocused(i, true);
    rows.ScrollTo(i);
    return;
  }
  rows.ShowInformation(FindNoMatchText(findText));
}

void SelectMatching(SearchDocument& document, RowView& rows, std::string_view findText) {
  if (findText.empty()) return;
  const int first = ClearFirstSelected(rows);
  int matches = 0;
  const int count = document.entries.Count();
  for (int i = 0; i < count; ++i) {
    if (!EntryMatches(*document.entries.Get(i), findText)) continue;
    rows.SetSelected(i, true);
    if (matches == 0) rows.SetFocused(i, true);
    ++matches;
  }
  if (matches == 0) {
    if (first >= 0) {
      rows.SetSelected(first, true);
      rows.SetFocused(first, true);
    }
    rows.ShowInformation(FindNoMatchText(findText));
  } else {
    rows.ShowInformation(FindCountText(matches, findText));
  }
  rows.FocusList();
}

void SelectAll(const SearchDocument& document, RowView& rows) {
  const int count = document.entries.Count();
  for (int i = 0; i < count; ++i) rows.SetSelected(i, true);
}

void InvertSelection(const SearchDocument& document, RowView& rows) {
  const int count = document.entries.Count();
  for (int i = 0; i < count; ++i) rows.SetSelected(i, !rows.IsSelected(i));
}

void DeleteEntries(SearchDocument& document, RowView& rows) {
  if (rows.FirstSelectedRow() < 0) {
    const int focused = rows.FocusedRow();
    if (focused >= 0 && focused < document.entries.Count()) {
      document.currentIndex = static_cast<std::int16_t>(focused);
      RemoveRow(document, rows, focused);
    }
  } else {
    // Walk from the top; a removal moves the next row into the same index.
    for (int i = 0; i < document.entries.Count();) {
      if (rows.IsSelected(i)) {
        RemoveRow(document, rows, i);
      } else {
        ++i;
      }
    }
  }
  ClampCurrentIndex(document);
  rows.CountChanged(document.entries.Count());
}

void CutEntries(SearchDocument& document, RowView& rows) {
  std::string text;
  for (int i = 0; i < document.entries.Count();) {
    if (rows.IsSelected(i)) {
      AppendClipboard(text, *document.entries.Get(i));
      RemoveRow(document, rows, i);
    } else {
      ++i;
    }
  }
  if (!text.empty()) rows.SetClipboardText(text);
  ClampCurrentIndex(document);
  rows.CountChanged(document.entries.Count());
}

void CopyEntries(const SearchDocument& document, RowView& rows) {
  std::string text;
  const int count = document.entries.Count();
  for (int i = 0; i < count && text.size() < kMaxClipboardText; ++i) {
    if (rows.IsSelected(i)) AppendClipboard(text, *document.entries.Get(i));
  }
  if (!text.empty()) rows.SetClipboardText(text);
}

int InsertHandMadeEntry(SearchDocument& document, int afterIndex, std::string_view url,
                        std::string_view name) {
  auto entry = std::make_unique<ResultEntry>(NewEntry());
  entry->url = url;
  entry->name = StrCopyN(name, kMaxEntryName + 1);
  CutToLimits(*entry);
  entry->engine = StrCopyN(texts::kHandMadeEngineLabel, kMaxHandMadeLabel + 1);
  const int count = document.entries.Count();
  int index = 0;
  if (count > 0) {
    index = afterIndex + 1;
    if (index < 1) index = 1;
    if (index > count) index = count;
  }
  if (document.entries.Insert(index, std::move(entry)) < 0) return -1;
  document.currentIndex = static_cast<std::int16_t>(index);
  document.modified = true;
  return index;
}

void AddEntry(SearchDocument& document, RowView& rows) {
  const int focused = rows.FocusedRow();
  document.currentIndex = static_cast<std::int16_t>(focused < 0 ? 0 : focused);
  std::string url;
  std::string name;
  if (!rows.AskEntry(url, name) || url.empty()) return;
  const int count = document.entries.Count();
  // A full list takes nothing; checked first so that no row is announced in vain.
  if (count >= PtrArray<ResultEntry>::kMaxItems) return;
  const int index = count == 0 ? 0 : std::min<int>(document.currentIndex + 1, count);
  rows.BeginInsertRow(index);
  const int inserted = InsertHandMadeEntry(document, document.currentIndex, url, name);
  rows.EndInsertRow();
  ClearFirstSelected(rows);
  rows.SetFocused(inserted, true);
  rows.SetSelected(inserted, true);
  rows.ScrollTo(inserted);
  rows.CountChanged(document.entries.Count());
}

int DeleteInvalidEntries(SearchDocument& document, RowView* rows) {
  int removed = 0;
  for (int i = document.entries.Count() - 1; i >= 0; --i) {
    if (document.entries.Get(i)->status == kStatusInvalid) {
      document.entries.RemoveAt(i);
      ++removed;
    }
  }
  if (removed == 0) return 0;
  document.modified = true;
  ClampCurrentIndex(document);
  if (rows) {
    rows->RowsRebuilt();
    rows->CountChanged(document.entries.Count());
  }
  return removed;
}

bool SortRows(SearchDocument& document, RowView& rows, SortKey key, bool busy) {
  if (busy) return false;
  SortEntries(document, key);
  rows.RowsRebuilt();
  return true;
}

}  // namespace sondrel
