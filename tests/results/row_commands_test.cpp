#include "results/row_commands.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "results/results_texts.h"

namespace sondrel {
namespace {

// A list view in memory: selection, focus and the messages, kept in step with row changes.
class FakeRows : public RowView {
 public:
  int FocusedRow() const override { return focused; }
  int FirstSelectedRow() const override { return selected.empty() ? -1 : *selected.begin(); }
  bool IsSelected(int row) const override { return selected.count(row) > 0; }
  void SetSelected(int row, bool on) override {
    if (on) {
      selected.insert(row);
    } else {
      selected.erase(row);
    }
  }
  void SetFocused(int row, bool on) override {
    if (on) {
      focused = row;
    } else if (focused == row) {
      focused = -1;
    }
  }
  void ScrollTo(int row) override { scrolledTo = row; }
  void FocusList() override { ++listFocused; }
  void ShowInformation(const std::string& text) override { messages.push_back(text); }
  void SetClipboardText(const std::string& text) override { clipboard = text; }
  bool AskEntry(std::string& url, std::string& name) override {
    url = dialogUrl;
    name = dialogName;
    return dialogOk;
  }
  void BeginRemoveRow(int row) override { pending = row; }
  void EndRemoveRow() override { Shift(pending, -1); }
  void BeginInsertRow(int row) override { pending = row; }
  void EndInsertRow() override { Shift(pending, +1); }
  void RowsRebuilt() override {
    ++rebuilt;
    selected.clear();
    focused = -1;
  }
  void CountChanged(int count) override { counts.push_back(count); }

  int focused = -1;
  std::set<int> selected;
  int scrolledTo = -1;
  int listFocused = 0;
  std::vector<std::string> messages;
  std::string clipboard;
  std::string dialogUrl;
  std::string dialogName;
  bool dialogOk = true;
  int rebuilt = 0;
  std::vector<int> counts;

 private:
  // Rows below a removed or inserted row move, as in a real view.
  void Shift(int at, int delta) {
    std::set<int> moved;
    for (int row : selected) {
      if (delta < 0 && row == at) continue;
      moved.insert(row >= at ? row + delta : row);
    }
    selected = moved;
    if (focused == at && delta < 0) {
      focused = -1;
    } else if (focused >= at) {
      focused += delta;
    }
  }
  int pending = -1;
};

SearchDocument Document(const std::vector<std::string>& names) {
  SearchDocument document;
  for (const std::string& name : names) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = name;
    entry->url = "http://host/" + name + ".mp3";
    entry->preview = "preview of " + name;
    document.entries.Append(std::move(entry));
  }
  return document;
}

std::vector<std::string> Names(const SearchDocument& document) {
  std::vector<std::string> names;
  for (const auto& entry : document.entries) names.push_back(entry->name);
  return names;
}

TEST(FindNextTest, FindsFromTheFocusedRowAndMovesSelection) {
  SearchDocument document = Document({"Rock Live", "Jazz", "Rock Anthem", "Rock Ballad"});
  FakeRows rows;
  rows.selected = {1};
  FindNext(document, rows, "rock AND NOT live", false);
  EXPECT_EQ(rows.focused, 2);
  EXPECT_EQ(rows.selected, std::set<int>{2});
  EXPECT_EQ(rows.scrolledTo, 2);
  FindNext(document, rows, "rock AND NOT live", false);  // not again: the focused row itself
  EXPECT_EQ(rows.focused, 2);
  FindNext(document, rows, "rock AND NOT live", true);
  EXPECT_EQ(rows.focused, 3);
  EXPECT_TRUE(rows.messages.empty());
  // Again on the last match: no wrap-around, a message, the focus stays.
  FindNext(document, rows, "rock AND NOT live", true);
  EXPECT_EQ(rows.focused, 3);
  ASSERT_EQ(rows.messages.size(), 1u);
  EXPECT_EQ(rows.messages[0], FindNoMatchText("rock AND NOT live"));
  EXPECT_NE(rows.messages[0].find("rock AND NOT live"), std::string::npos);
}

TEST(FindNextTest, MatchesUrlAndPreviewAndIgnoresAnEmptyText) {
  SearchDocument document = Document({"one", "two"});
  document.entries.Get(1)->preview = "a rare bootleg";
  FakeRows rows;
  FindNext(document, rows, "", false);
  EXPECT_EQ(rows.focused, -1);
  EXPECT_EQ(rows.listFocused, 1);
  FindNext(document, rows, "BOOTLEG", false);
  EXPECT_EQ(rows.focused, 1);
  rows.focused = -1;
  FindNext(document, rows, "two.mp3", false);
  EXPECT_EQ(rows.focused, 1);
}

TEST(SelectMatchingTest, SelectsEveryMatchAndReports) {
  SearchDocument document = Document({"Rock A", "Jazz", "Rock B", "Pop"});
  FakeRows rows;
  rows.selected = {1, 3};
  rows.focused = 1;
  SelectMatching(document, rows, "rock");
  // The first selected row loses its selection; the others keep theirs.
  EXPECT_EQ(rows.selected, (std::set<int>{0, 2, 3}));
  EXPECT_EQ(rows.focused, 0);
  ASSERT_EQ(rows.messages.size(), 1u);
  EXPECT_EQ(rows.messages[0], FindCountText(2, "rock"));
}

TEST(SelectMatchingTest, NoMatchRestoresTheFirstSelectedRow) {
  SearchDocument document = Document({"a", "b", "c"});
  FakeRows rows;
  rows.selected = {1, 2};
  rows.focused = 1;
  SelectMatching(document, rows, "zzz");
  EXPECT_EQ(rows.selected, (std::set<int>{1, 2}));
  EXPECT_EQ(rows.focused, 1);
  ASSERT_EQ(rows.messages.size(), 1u);
  EXPECT_EQ(rows.messages[0], FindNoMatchText("zzz"));
}

TEST(SelectionTest, SelectAllAndInvert) {
  SearchDocument document = Document({"a", "b", "c"});
  FakeRows rows;
  rows.selected = {1};
  InvertSelection(document, rows);
  EXPECT_EQ(rows.selected, (std::set<int>{0, 2}));
  SelectAll(document, rows);
  EXPECT_EQ(rows.selected, (std::set<int>{0, 1, 2}));
}

TEST(DeleteEntriesTest, FocusedLastRowWithoutSelection) {
  SearchDocument document = Document({"a", "b", "c"});
  FakeRows rows;
  rows.focused = 2;
  DeleteEntries(document, rows);
  EXPECT_EQ(Names(document), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(document.currentIndex, 1);
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(rows.counts.back(), 2);
}

TEST(DeleteEntriesTest, SelectedRowsAndTheEmptyList) {
  SearchDocument document = Document({"a", "b", "c", "d"});
  FakeRows rows;
  rows.selected = {0, 1, 3};
  rows.focused = 2;
  DeleteEntries(document, rows);
  EXPECT_EQ(Names(document), std::vector<std::string>{"c"});
  rows.selected.clear();
  rows.focused = 0;
  DeleteEntries(document, rows);
  EXPECT_EQ(document.entries.Count(), 0);
  EXPECT_EQ(document.currentIndex, 0);
  // Nothing focused, nothing selected: nothing happens.
  document = Document({"a"});
  rows = FakeRows{};
  DeleteEntries(document, rows);
  EXPECT_EQ(document.entries.Count(), 1);
  EXPECT_FALSE(document.modified);
}

TEST(ClipboardTest, EntryTextWithAndWithoutVar1) {
  ResultEntry entry = NewEntry();
  entry.url = "http://h/a.mp3";
  entry.preview = "p";
  EXPECT_EQ(ClipboardTextOf(entry),
            "http://h/a.mp3\r\n" + std::string(texts::kEmptyNamePlaceholder) + "\r\np\r\n\r\n");
  entry.name = "n";
  entry.var1 = "v";
  EXPECT_EQ(ClipboardTextOf(entry), "http://h/a.mp3\r\nn\r\np\r\nv\r\n\r\n");
}

TEST(ClipboardTest, CopyTakesSelectedRowsInOrderUpToTheCap) {
  SearchDocument document = Document({"a", "b", "c"});
  FakeRows rows;
  rows.selected = {2, 0};
  CopyEntries(document, rows);
  EXPECT_EQ(rows.clipboard,
            ClipboardTextOf(*document.entries.Get(0)) + ClipboardTextOf(*document.entries.Get(2)));
  EXPECT_EQ(document.entries.Count(), 3);

  SearchDocument big;
  for (int i = 0; i < 100; ++i) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->url = "http://h/" + std::string(1000, 'u');
    entry->preview.assign(1000, 'p');
    big.entries.Append(std::move(entry));
  }
  FakeRows all;
  SelectAll(big, all);
  CopyEntries(big, all);
  EXPECT_EQ(all.clipboard.size(), kMaxClipboardText);
  EXPECT_EQ(all.clipboard.substr(0, 100), ClipboardTextOf(*big.entries.Get(0)).substr(0, 100));

  FakeRows none;
  none.clipboard = "untouched";
  CopyEntries(big, none);
  EXPECT_EQ(none.clipboard, "untouched");
}

TEST(ClipboardTest, CutRemovesOnlySelectedRows) {
  SearchDocument document = Document({"a", "b", "c"});
  const std::string expected = ClipboardTextOf(*document.entries.Get(1));
  FakeRows rows;
  rows.selected = {1};
  rows.focused = 0;
  CutEntries(document, rows);
  EXPECT_EQ(rows.clipboard, expected);
  EXPECT_EQ(Names(document), (std::vector<std::string>{"a", "c"}));
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(rows.counts.back(), 2);
}

TEST(AddEntryTest, InsertsAfterTheFocusedRowAndFocusesIt) {
  SearchDocument document = Document({"r0", "r1", "r2", "r3", "r4"});
  FakeRows rows;
  rows.focused = 3;
  rows.selected = {3};
  rows.dialogUrl = "ftp://host/new.mp3";
  rows.dialogName = "New";
  AddEntry(document, rows);
  ASSERT_EQ(document.entries.Count(), 6);
  const ResultEntry& added = *document.entries.Get(4);
  EXPECT_EQ(added.url, "ftp://host/new.mp3");
  EXPECT_EQ(added.name, "New");
  EXPECT_EQ(added.engine, texts::kHandMadeEngineLabel);
  EXPECT_EQ(added.position, 0);
  EXPECT_EQ(added.status, kStatusNotVerified);
  EXPECT_EQ(added.size, -1);
  EXPECT_EQ(document.currentIndex, 4);
  EXPECT_EQ(rows.focused, 4);
  EXPECT_EQ(rows.selected, std::set<int>{4});
  EXPECT_TRUE(document.modified);
}

TEST(AddEntryTest, EmptyListCancelAndNoFocus) {
  SearchDocument document;
  FakeRows rows;
  rows.dialogUrl = "http://h/x";
  AddEntry(document, rows);
  ASSERT_EQ(document.entries.Count(), 1);
  EXPECT_EQ(rows.focused, 0);

  rows.dialogOk = false;
  AddEntry(document, rows);
  EXPECT_EQ(document.entries.Count(), 1);

  // Without a focused row the insertion point is 0, so the entry goes after entry 0.
  document = Document({"a", "b"});
  rows = FakeRows{};
  rows.dialogUrl = "http://h/y";
  AddEntry(document, rows);
  EXPECT_EQ(document.entries.Get(1)->url, "http://h/y");
}

TEST(AddEntryTest, TextsAreCut) {
  SearchDocument document;
  const int index = InsertHandMadeEntry(document, -1, "http://h/" + std::string(3000, 'x'),
                                        std::string(3000, 'n'));
  ASSERT_EQ(index, 0);
  EXPECT_EQ(document.entries.Get(0)->url.size(), kMaxEntryUrl);
  EXPECT_EQ(document.entries.Get(0)->name.size(), kMaxEntryName);
}

TEST(DeleteInvalidEntriesTest, RemovesStatusFourOnly) {
  SearchDocument document = Document({"a", "b", "c", "d"});
  FakeRows rows;
  EXPECT_EQ(DeleteInvalidEntries(document, &rows), 0);
  EXPECT_FALSE(document.modified);
  EXPECT_EQ(rows.rebuilt, 0);
  document.entries.Get(0)->status = kStatusInvalid;
  document.entries.Get(2)->status = kStatusInvalid;
  document.entries.Get(3)->status = 3;
  EXPECT_EQ(DeleteInvalidEntries(document, &rows), 2);
  EXPECT_EQ(Names(document), (std::vector<std::string>{"b", "d"}));
  EXPECT_TRUE(document.modified);
  EXPECT_EQ(rows.rebuilt, 1);
}

TEST(SortRowsTest, IgnoredWhileBusy) {
  SearchDocument document = Document({"b", "a"});
  FakeRows rows;
  EXPECT_FALSE(SortRows(document, rows, SortKey::kName, true));
  EXPECT_EQ(Names(document), (std::vector<std::string>{"b", "a"}));
  EXPECT_TRUE(SortRows(document, rows, SortKey::kName, false));
  EXPECT_EQ(Names(document), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(rows.rebuilt, 1);
}

}  // namespace
}  // namespace sondrel
