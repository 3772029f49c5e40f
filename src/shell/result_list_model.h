#pragma once
// LVResult's data: a table model over the SearchDocument. Row i shows entry i; cells are
// formatted only when a view asks for them, so a list of many thousand rows costs no more
// than the entries themselves plus a pointer and an icon number per row.
//
// The model keeps its own row -> entry table, changed only on the interface thread: while a
// search runs, the worker appends to the document's array and then hands the row over, so
// painting never reads the array the worker is writing. Whoever changes the entries outside
// the row brackets (a search without merge emptying the list, New, Open) calls
// RefillResultList before control returns to the event loop.

#include <vector>

#include <QAbstractTableModel>
#include <QIcon>

#include "results/search_document.h"
#include "results/sorting.h"

namespace sondrel {

enum ResultColumn {
  kColumnName,
  kColumnUrl,
  kColumnSize,
  kColumnStatus,
  kColumnPos,
  kColumnEngine,
  kColumnCount
};

// The sort key a click on column's header asks for.
SortKey SortKeyOfColumn(int column);

class ResultListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit ResultListModel(SearchDocument* document, QObject* parent = nullptr);

  void SetDocument(SearchDocument* document);  // a new document (New, Open): resets the model
  SearchDocument* Document() const;
  void SetRowIcon(int row, int icon);  // 0 or 1
  int RowIcon(int row) const;

  // Row bracketing used by ResultList's RowView implementation.
  void BeginRemoveRow(int row);
  void EndRemoveRow();
  void BeginInsertRow(int row);
  void EndInsertRow();
  // Rows for entries a search appended, at the end in one insertion. The pointers were taken
  // while the worker waited; the document's array is not read here.
  void AppendRows(const std::vector<const ResultEntry*>& entries);
  void RefillResultList();  // every row anew from the entries, icons back to 0 (a reset)
  void RowChanged(int row);  // status/size changed (verification)

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const ResultEntry* EntryAt(int row) const;  // null when out of range
  void FillRows();

  SearchDocument* document_;
  std::vector<const ResultEntry*> rows_;  // the entry each row shows
  std::vector<unsigned char> icons_;      // one per row
  int pendingRow_ = -1;                   // between Begin...Row and End...Row
  QIcon rowIcons_[2];
};

}  // namespace sondrel
