#pragma once
// The commands that work on rows of the result list. Row i always shows entry i, so the
// commands find their entries by row index. The list itself (a Qt view, or a test's stand-in)
// is reached through RowView.

#include <cstddef>
#include <string>
#include <string_view>

#include "results/search_document.h"
#include "results/sorting.h"

namespace sondrel {

inline constexpr std::size_t kMaxClipboardText = 59999;

class RowView {
 public:
  virtual ~RowView() = default;

  virtual int FocusedRow() const = 0;        // -1 when no row has the focus
  virtual int FirstSelectedRow() const = 0;  // -1 when none is selected
  virtual bool IsSelected(int row) const = 0;
  virtual void SetSelected(int row, bool selected) = 0;
  // The focus mark of one row; a row that gets it takes it from any other.
  virtual void SetFocused(int row, bool focused) = 0;
  virtual void ScrollTo(int row) = 0;
  virtual void FocusList() = 0;  // keyboard focus to the list
  virtual void ShowInformation(const std::string& text) = 0;
  virtual void SetClipboardText(const std::string& text) = 0;
  // The entry dialog; true after OK with an HTTP or FTP URL.
  virtual bool AskEntry(std::string& url, std::string& name) = 0;

  // The entries changed under the rows: the model brackets each change.
  virtual void BeginRemoveRow(int row) = 0;
  virtual void EndRemoveRow() = 0;
  virtual void BeginInsertRow(int row) = 0;
  virtual void EndInsertRow() = 0;
  virtual void RowsRebuilt() = 0;  // every row anew from the entries, icons back to 0
  // The entry count changed: count label and command enabling.
  virtual void CountChanged(int count) = 0;
};

// The text of one entry on the clipboard: url, name, preview, var1 when not empty, each with
// CRLF, then an empty line.
std::string ClipboardTextOf(const ResultEntry& entry);
// Whether the find text matches the entry (name or preview, or url).
bool EntryMatches(const ResultEntry& entry, std::string_view findText);

void FindNext(SearchDocument& document, RowView& rows, std::string_view findText, bool again);
void SelectMatching(SearchDocument& document, RowView& rows, std::string_view findText);
void SelectAll(const SearchDocument& document, RowView& rows);
void InvertSelection(const SearchDocument& document, RowView& rows);
void DeleteEntries(SearchDocument& document, RowView& rows);
void CutEntries(SearchDocument& document, RowView& rows);
void CopyEntries(const SearchDocument& document, RowView& rows);
// Asks for the entry through the view and inserts it after the focused row.
void AddEntry(SearchDocument& document, RowView& rows);
// Inserts a hand-made entry after afterIndex (as entry 0 into an empty list); its index.
int InsertHandMadeEntry(SearchDocument& document, int afterIndex, std::string_view url,
                        std::string_view name);
// Removes every entry with status 4; how many went.
int DeleteInvalidEntries(SearchDocument& document, RowView* rows);
// Sorts and rebuilds the rows; ignored (false) while a search or verification runs.
bool SortRows(SearchDocument& document, RowView& rows, SortKey key, bool busy);

// The texts of the Find messages.
std::string FindNoMatchText(std::string_view findText);
std::string FindCountText(int count, std::string_view findText);

}  // namespace sondrel
