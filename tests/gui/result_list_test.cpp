// LVResult on the real widgets: the core's row commands drive it through RowView, the keys,
// mouse and header ask the window for commands, and rows arrive from a worker thread.
#include "shell/result_list.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include "shell/display_text.h"
#include "shell/qt_dispatcher.h"
#include "support/modal.h"

namespace sondrel {
namespace {

class ResultListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Rock Anthem", "Jazz Night", "Rock Live", "Blues", "Rock Ballad",
                             "Folk"}) {
      Add(name);
    }
    list.SetDocument(&document);
    list.resize(900, 400);
    list.show();
    list.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
  }

  void Add(const std::string& name) {
    auto entry = std::make_unique<ResultEntry>(NewEntry());
    entry->name = name;
    entry->url = "http://host/" + std::to_string(document.entries.Count()) + ".mp3";
    entry->engine = "Engine";
    document.entries.Append(std::move(entry));
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : document.entries) names.push_back(entry->name);
    return names;
  }

  // What the rows show, top to bottom.
  std::vector<std::string> RowNames() {
    std::vector<std::string> names;
    for (int row = 0; row < list.Model().rowCount(); ++row) {
      names.push_back(StoredText(list.Model().index(row, kColumnName).data().toString()));
    }
    return names;
  }

  QTreeView* Details() { return list.findChild<QTreeView*>(QStringLiteral("LVResultDetails")); }

  SearchDocument document;
  ResultList list;
};

TEST_F(ResultListTest, SelectMatchingKeepsItsSelectionInEveryViewStyle) {
  list.SetSelected(3, true);
  list.SetFocused(3, true);
  QString seen;
  guitest::AnswerNextMessage(QStringLiteral("OK"), &seen);
  SelectMatching(document, list, "rock");
  EXPECT_EQ(seen, DisplayText(FindCountText(3, "rock")));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(list.FocusedRow(), 0);
  EXPECT_EQ(list.FirstSelectedRow(), 0);
  EXPECT_EQ(list.focusWidget(), list.CurrentView());

  for (ViewStyle style : {kViewLargeIcons, kViewSmallIcons, kViewList, kViewDetails}) {
    SCOPED_TRACE(style);
    list.SetViewStyle(style);
    EXPECT_EQ(list.Style(), style);
    EXPECT_TRUE(list.CurrentView()->isVisible());
    EXPECT_EQ(list.focusWidget(), list.CurrentView());
    EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(list.FocusedRow(), 0);
  }

  // A click in the icon view selects the whole row, which the details view then shows.
  list.SetViewStyle(kViewSmallIcons);
  QAbstractItemView* icons = list.CurrentView();
  QTest::qWait(0);  // let the icon view lay its items out
  const QRect item = icons->visualRect(list.Model().index(5, kColumnName));
  ASSERT_FALSE(item.isEmpty());
  QTest::mouseClick(icons->viewport(), Qt::LeftButton, {}, item.center());
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{5}));
  EXPECT_EQ(list.FocusedRow(), 5);
  list.SetViewStyle(kViewDetails);
  EXPECT_TRUE(Details()->selectionModel()->isRowSelected(5, QModelIndex()));

  // No match: the first selected row comes back and the box names the text.
  guitest::AnswerNextMessage(QStringLiteral("OK"), &seen);
  SelectMatching(document, list, "polka");
  EXPECT_EQ(seen, DisplayText(FindNoMatchText("polka")));
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{5}));
  EXPECT_EQ(list.FocusedRow(), 5);
}

TEST_F(ResultListTest, CommandSelectionReachesTheViewsInRuns) {
  SelectAll(document, list);
  list.SetSelected(2, false);
  QCoreApplication::processEvents();
  QItemSelectionModel* shown = Details()->selectionModel();
  EXPECT_EQ(shown->selection().size(), 2);  // rows 0-1 and 3-5, not one range per row
  for (int row = 0; row < 6; ++row) {
    EXPECT_EQ(shown->isRowSelected(row, QModelIndex()), row != 2) << row;
  }

  // What the user does in a view comes back to the commands.
  const QRect third = Details()->visualRect(list.Model().index(2, kColumnName));
  QTest::mouseClick(Details()->viewport(), Qt::LeftButton, Qt::ControlModifier, third.center());
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  InvertSelection(document, list);
  EXPECT_EQ(list.FirstSelectedRow(), -1);
  QTest::mouseClick(Details()->viewport(), Qt::LeftButton, {}, third.center());
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{2}));
  EXPECT_TRUE(list.IsSelected(2));
}

TEST_F(ResultListTest, CopyCutAndDeleteKeyWorkOnTheRows) {
  document.entries.Get(1)->preview = "caf\xe9";      // a Latin-1 page
  document.entries.Get(3)->preview = "caf\xc3\xa9";  // a UTF-8 page
  QSignalSpy counts(&list, &ResultList::countChanged);
  list.SetSelected(3, true);
  list.SetSelected(1, true);

  const QString expected = QStringLiteral(
      "http://host/1.mp3\r\nJazz Night\r\ncaf\u00e9\r\n\r\n"
      "http://host/3.mp3\r\nBlues\r\ncaf\u00e9\r\n\r\n");
  QGuiApplication::clipboard()->clear();
  CopyEntries(document, list);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
  EXPECT_EQ(list.Model().rowCount(), 6);

  QGuiApplication::clipboard()->clear();
  CutEntries(document, list);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Rock Anthem", "Rock Live", "Rock Ballad", "Folk"}));
  EXPECT_EQ(RowNames(), Names());
  ASSERT_FALSE(counts.isEmpty());
  EXPECT_EQ(counts.last().at(0).toInt(), 4);
  EXPECT_TRUE(list.SelectedRows().empty());

  // The Delete key asks for the Delete command, which removes the focused row.
  QObject::connect(&list, &ResultList::deletePressed, &list,
                   [this] { DeleteEntries(document, list); });
  list.SetFocused(1, true);
  list.FocusList();
  QTest::keyClick(list.CurrentView(), Qt::Key_Delete);
  EXPECT_EQ(RowNames(), (std::vector<std::string>{"Rock Anthem", "Rock Ballad", "Folk"}));
  EXPECT_EQ(counts.last().at(0).toInt(), 3);
}

TEST_F(ResultListTest, HeaderClicksSortThroughTheCore) {
  QSignalSpy sorts(&list, &ResultList::sortRequested);
  QHeaderView* header = Details()->header();
  const auto clickColumn = [&](int column) {
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  };
  const std::pair<int, SortKey> columns[] = {
      {kColumnName, SortKey::kName},     {kColumnUrl, SortKey::kUrl},
      {kColumnSize, SortKey::kSize},     {kColumnStatus, SortKey::kStatus},
      {kColumnPos, SortKey::kPosition},  {kColumnEngine, SortKey::kEngine},
  };
  for (const auto& [column, key] : columns) {
    SCOPED_TRACE(column);
    clickColumn(column);
    ASSERT_EQ(sorts.count(), 1);
    EXPECT_EQ(sorts.takeFirst().at(0).toInt(), static_cast<int>(key));
  }

  // The window sorts on the signal.
  QObject::connect(&list, &ResultList::sortRequested, &list, [this](int key) {
    (void)SortRows(document, list, static_cast<SortKey>(key), false);
  });
  list.Model().SetRowIcon(2, 1);
  list.SetSelected(2, true);
  clickColumn(kColumnName);
  const std::vector<std::string> sorted{"Blues",     "Folk",        "Jazz Night",
                                        "Rock Anthem", "Rock Ballad", "Rock Live"};
  EXPECT_EQ(Names(), sorted);
  EXPECT_EQ(RowNames(), sorted);
  for (int row = 0; row < list.Model().rowCount(); ++row) EXPECT_EQ(list.Model().RowIcon(row), 0);
  clickColumn(kColumnName);  // no descending order: the same again
  EXPECT_EQ(RowNames(), sorted);

  // Busy: clicks are ignored.
  list.SetSortingAllowed(false);
  sorts.clear();
  clickColumn(kColumnSize);
  EXPECT_EQ(sorts.count(), 0);
  EXPECT_EQ(RowNames(), sorted);
}

TEST_F(ResultListTest, EnterDoubleClickAndContextMenuAskForCommands) {
  QSignalSpy activated(&list, &ResultList::activated);
  QSignalSpy menus(&list, &ResultList::contextMenuRequested);
  QTreeView* details = Details();
  list.SetFocused(1, true);
  list.FocusList();
  QTest::keyClick(details, Qt::Key_Return);
  EXPECT_EQ(activated.count(), 1);

  const QRect row = details->visualRect(list.Model().index(2, kColumnUrl));
  QTest::mouseClick(details->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(details->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseRelease(details->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(activated.count(), 2);

  QContextMenuEvent event(QContextMenuEvent::Mouse, row.center(),
                          details->viewport()->mapToGlobal(row.center()));
  QApplication::sendEvent(details->viewport(), &event);
  ASSERT_EQ(menus.count(), 1);
  EXPECT_EQ(menus.first().at(0).toPoint(), details->viewport()->mapToGlobal(row.center()));

  list.SetUrlColumnWidth(345);
  EXPECT_EQ(list.UrlColumnWidth(), 345);
}

TEST_F(ResultListTest, AddEntryInsertsAfterTheFocusedRow) {
  QSignalSpy counts(&list, &ResultList::countChanged);
  list.SetFocused(2, true);
  list.SetSelected(0, true);
  guitest::WhenModalOpens([](QWidget* dialog) {
    auto* url = dialog->findChild<QLineEdit*>(QStringLiteral("EdUrl"));
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("EdName"));
    ASSERT_NE(url, nullptr);
    ASSERT_NE(name, nullptr);
    url->setText(QStringLiteral("http://new/x.mp3"));
    name->setText(QStringLiteral("New one"));
    guitest::ClickButton(dialog, QStringLiteral("OK"));
  });
  AddEntry(document, list);
  ASSERT_EQ(list.Model().rowCount(), 7);
  EXPECT_EQ(RowNames()[3], "New one");
  EXPECT_EQ(document.entries.Get(3)->url, "http://new/x.mp3");
  EXPECT_EQ(list.FocusedRow(), 3);
  EXPECT_EQ(list.SelectedRows(), (std::vector<int>{3}));
  ASSERT_FALSE(counts.isEmpty());
  EXPECT_EQ(counts.last().at(0).toInt(), 7);
}

TEST_F(ResultListTest, RowsArriveFromAWorkerThread) {
  document.entries.Clear();
  list.RefillResultList();
  auto dispatcher = QtDispatcher::Create();
  InstallDispatcher(dispatcher);
  QSignalSpy counts(&list, &ResultList::countChanged);

  constexpr int kRows = 100;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < kRows; ++i) {
      Add("song " + std::to_string(i));  // the search thread appends, then hands the row over
      const int index = document.entries.Count() - 1;
      (void)RunInGuiThread([&] { list.AddRow(index); });
    }
    finished = true;
  });
  // Events (painting included) run while the worker appends.
  EXPECT_TRUE(guitest::WaitUntil([&] { return finished.load(); }));
  worker.join();
  RemoveDispatcher();

  // Rows arrive in batches; the count follows each batch.
  EXPECT_TRUE(guitest::WaitUntil([&] {
    return !counts.isEmpty() && counts.last().at(0).toInt() == kRows;
  }));
  EXPECT_EQ(list.Model().rowCount(), kRows);
  EXPECT_EQ(RowNames(), Names());
}

}  // namespace
}  // namespace sondrel
