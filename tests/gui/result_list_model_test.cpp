// The result list's model: the cells of each column, and a consistent model through inserts,
// removals, refills and sorting (checked by Qt's own model tester).
#include "shell/result_list_model.h"

#include <memory>
#include <string>
#include <vector>

#include <QAbstractItemModelTester>
#include <QIcon>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "results/results_texts.h"

namespace sondrel {
namespace {

ResultEntry Entry(std::string name, std::string engine, std::int16_t position, std::int32_t size,
                  std::uint8_t status = kStatusNotVerified) {
  ResultEntry entry = NewEntry();
  entry.url = "http://host/" + name + ".mp3";
  entry.name = std::move(name);
  entry.engine = std::move(engine);
  entry.position = position;
  entry.size = size;
  entry.status = status;
  return entry;
}

void Append(SearchDocument& document, ResultEntry entry) {
  ASSERT_GE(document.entries.Append(std::make_unique<ResultEntry>(std::move(entry))), 0);
}

QString Cell(const ResultListModel& model, int row, int column, int role = Qt::DisplayRole) {
  return model.data(model.index(row, column), role).toString();
}

std::vector<QString> NameColumn(const ResultListModel& model) {
  std::vector<QString> names;
  for (int row = 0; row < model.rowCount(); ++row) names.push_back(Cell(model, row, kColumnName));
  return names;
}

TEST(ResultListModelTest, CellsOfEachColumn) {
  SearchDocument document;
  Append(document, Entry("Caf\xc3\xa9 song", "EngineA", 0, 1023));       // UTF-8 from a page
  Append(document, Entry("Caf\xe9 live", "EngineB", 4, 2048, kStatusValid));  // Latin-1 page
  Append(document, Entry("", "EngineC", 9, -1, kStatusInvalid));
  ResultListModel model(&document);
  ASSERT_EQ(model.rowCount(), 3);
  ASSERT_EQ(model.columnCount(), kColumnCount);

  struct Case {
    int row;
    std::vector<QString> texts;  // Name, URL, Size, Status, Pos, Engine
  };
  const Case cases[] = {
      {0, {QStringLiteral("Caf\u00e9 song"), QStringLiteral("http://host/Caf\u00e9 song.mp3"),
           QStringLiteral("0 KB"), QString::fromUtf8(texts::kStatusNotVerified),
           QStringLiteral("1"), QStringLiteral("EngineA")}},
      {1, {QStringLiteral("Caf\u00e9 live"), QStringLiteral("http://host/Caf\u00e9 live.mp3"),
           QStringLiteral("2 KB"), QString::fromUtf8(texts::kStatusValid), QStringLiteral("5"),
           QStringLiteral("EngineB")}},
      {2, {QString::fromUtf8(texts::kEmptyNamePlaceholder), QStringLiteral("http://host/.mp3"),
           QStringLiteral("???"), QString::fromUtf8(texts::kStatusInvalid), QStringLiteral("10"),
           QStringLiteral("EngineC")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    for (int column = 0; column < kColumnCount; ++column) {
      EXPECT_EQ(Cell(model, c.row, column), c.texts[static_cast<std::size_t>(column)]) << column;
    }
  }

  // Raw sort values: bytes for texts, numbers for numbers (position as stored, not + 1).
  EXPECT_EQ(model.data(model.index(1, kColumnName), Qt::UserRole).toByteArray(),
            QByteArray("Caf\xe9 live"));
  EXPECT_EQ(model.data(model.index(2, kColumnSize), Qt::UserRole).toInt(), -1);
  EXPECT_EQ(model.data(model.index(1, kColumnPos), Qt::UserRole).toInt(), 4);
  EXPECT_EQ(model.data(model.index(1, kColumnStatus), Qt::UserRole).toInt(), kStatusValid);

  // The icon sits in the first column only; the two icons differ.
  const QIcon icon0 = model.data(model.index(0, kColumnName), Qt::DecorationRole).value<QIcon>();
  EXPECT_FALSE(icon0.isNull());
  EXPECT_FALSE(model.data(model.index(0, kColumnUrl), Qt::DecorationRole).isValid());
  model.SetRowIcon(0, 1);
  const QIcon icon1 = model.data(model.index(0, kColumnName), Qt::DecorationRole).value<QIcon>();
  EXPECT_NE(icon0.pixmap(16).toImage(), icon1.pixmap(16).toImage());

  const char* titles[] = {"Name", "URL", "Size", "Status", "Pos", "Engine"};
  for (int column = 0; column < kColumnCount; ++column) {
    EXPECT_EQ(model.headerData(column, Qt::Horizontal).toString(), QLatin1String(titles[column]));
  }
  EXPECT_FALSE(model.data(model.index(3, 0)).isValid());
}

TEST(ResultListModelTest, StaysConsistentThroughRowChanges) {
  SearchDocument document;
  for (int i = 0; i < 5; ++i) Append(document, Entry("n" + std::to_string(i), "E", 0, i * 1024));
  ResultListModel model(&document);
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

  // A search appends an entry and then hands its row over: until then the model is unchanged,
  // so painting meanwhile never reads the growing array.
  Append(document, Entry("n5", "E", 0, 0));
  EXPECT_EQ(model.rowCount(), 5);
  model.BeginInsertRow(5);
  model.EndInsertRow();
  ASSERT_EQ(model.rowCount(), 6);
  EXPECT_EQ(Cell(model, 5, kColumnName), QStringLiteral("n5"));
  // A batch of rows collected while the worker waited.
  Append(document, Entry("n6", "E", 0, 7 * 1024));
  Append(document, Entry("n7", "E", 0, 8 * 1024));
  model.AppendRows({document.entries.Get(6), document.entries.Get(7)});
  model.AppendRows({});
  ASSERT_EQ(model.rowCount(), 8);
  EXPECT_EQ(Cell(model, 7, kColumnSize), QStringLiteral("8 KB"));

  // Icons belong to rows and move with them.
  model.SetRowIcon(3, 1);
  document.entries.Insert(1, std::make_unique<ResultEntry>(Entry("x", "E", 0, 0)));
  model.BeginInsertRow(1);  // after the fact is fine too: the model reads the entry at End
  model.EndInsertRow();
  EXPECT_EQ(model.RowIcon(4), 1);
  EXPECT_EQ(Cell(model, 1, kColumnName), QStringLiteral("x"));

  model.BeginRemoveRow(0);
  document.entries.RemoveAt(0);
  model.EndRemoveRow();
  EXPECT_EQ(model.RowIcon(3), 1);
  EXPECT_EQ(NameColumn(model),
            (std::vector<QString>{"x", "n1", "n2", "n3", "n4", "n5", "n6", "n7"}));

  // Out of range brackets change nothing.
  model.BeginRemoveRow(99);
  model.EndRemoveRow();
  model.BeginInsertRow(-1);
  model.EndInsertRow();
  EXPECT_EQ(model.rowCount(), 8);

  // Verification changed an entry: one row repainted.
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  document.entries.Get(2)->size = 5 * 1024;
  model.RowChanged(2);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(Cell(model, 2, kColumnSize), QStringLiteral("5 KB"));

  // Sorting: the core reorders the entries, one reset shows them; icons go back to 0.
  SortEntries(document, SortKey::kSize);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  model.RefillResultList();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(inserted.count(), 0);
  EXPECT_EQ(NameColumn(model),
            (std::vector<QString>{"x", "n5", "n1", "n3", "n4", "n2", "n6", "n7"}));
  EXPECT_EQ(model.RowIcon(3), 0);

  // Entries removed wholesale (Delete Invalid, a search without merge), then refilled.
  document.entries.Clear();
  model.RefillResultList();
  EXPECT_EQ(model.rowCount(), 0);

  // A new document.
  SearchDocument other;
  Append(other, Entry("only", "E", 0, 0));
  model.SetDocument(&other);
  EXPECT_EQ(model.Document(), &other);
  EXPECT_EQ(NameColumn(model), (std::vector<QString>{"only"}));
  model.SetDocument(nullptr);
  EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace sondrel
