#pragma once
// LVResult: the result list in its four view styles, with the RowView interface the core's row
// commands drive. One model and one selection model serve a details view and an icon view, so
// a change of view style keeps the selection and the focus.
//
// The row commands select one row at a time (Select All, Invert Selection over 16,000 rows),
// which a QItemSelectionModel answers with one range per row and quadratic time. So the list
// keeps the selection as one flag per row, answers RowView from it, and hands the whole
// selection to the selection model in merged runs once control returns to the event loop (or
// before the next mouse or key event reaches a view). Changes made by the user in the views come
// back through selectionChanged.

#include <string>
#include <vector>

#include <QWidget>

#include "results/row_commands.h"
#include "shell/result_list_model.h"

class QItemSelection;
class QItemSelectionModel;
class QListView;
class QStackedLayout;
class QTimer;
class QTreeView;
class QAbstractItemView;

namespace sondrel {

enum ViewStyle { kViewLargeIcons, kViewSmallIcons, kViewList, kViewDetails };

class ResultList : public QWidget, public RowView {
  Q_OBJECT

 public:
  explicit ResultList(QWidget* parent = nullptr);
  ~ResultList() override;

  ResultListModel& Model();
  void SetDocument(SearchDocument* document);
  void SetViewStyle(ViewStyle style);
  ViewStyle Style() const;
  // A search appended entry index (the worker waits meanwhile): its row. Rows that arrive one
  // by one are shown together every kRowBatchMs, so the views lay out and paint a few times a
  // second instead of once per row. Model() and every call that changes rows, selection or
  // focus show the waiting rows first; new rows are never selected, so the reads need not.
  void AddRow(int index);
  void FlushPendingRows();
  static constexpr int kRowBatchMs = 100;
  void RefillResultList();
  std::vector<int> SelectedRows() const;  // row order
  void SetUrlColumnWidth(int width);
  int UrlColumnWidth() const;
  // Every column's width in column order; SetColumnWidths ignores a list of another length.
  std::vector<int> ColumnWidths() const;
  void SetColumnWidths(const std::vector<int>& widths);
  // Fits column to its title and the widest of its rows, at most maxWidth.
  void FitColumnToContents(int column, int maxWidth);
  // The width inside the details view's frame that the columns share.
  int ColumnArea() const;
  // The header's arrow on the column sorted by key; ClearSortIndicator when the rows are no
  // longer in that order.
  void ShowSortIndicator(SortKey key);
  void ClearSortIndicator();
  void SetSortingAllowed(bool allowed);  // header clicks ignored while busy
  // The view showing the rows now (details or icon view).
  QAbstractItemView* CurrentView() const;

  // RowView
  int FocusedRow() const override;
  int FirstSelectedRow() const override;
  bool IsSelected(int row) const override;
  void SetSelected(int row, bool selected) override;
  void SetFocused(int row, bool focused) override;
  void ScrollTo(int row) override;
  void FocusList() override;
  void ShowInformation(const std::string& text) override;
  void SetClipboardText(const std::string& text) override;
  bool AskEntry(std::string& url, std::string& name) override;
  void BeginRemoveRow(int row) override;
  void EndRemoveRow() override;
  void BeginInsertRow(int row) override;
  void EndInsertRow() override;
  void RowsRebuilt() override;
  void CountChanged(int count) override;

 signals:
  void countChanged(int count);  // count label, UpdateCommands
  void activated();              // double click or Enter on a row: Download File
  void deletePressed();          // the Delete key: Delete command
  void sortRequested(int key);   // header click, SortKey of the column; the window sorts
  void contextMenuRequested(const QPoint& globalPos);  // the window shows PopupLV
  void columnResized(int column);                      // by the user, dragging a header edge
  void selectionChanged();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void HeaderClicked(int section);
  void MarkSelectionDirty();
  void FlushSelection();  // the row flags -> the selection model, when they changed
  void SelectionModelChanged(const QItemSelection& selected, const QItemSelection& deselected);

  ResultListModel model_;
  QItemSelectionModel* selection_;
  QStackedLayout* stack_;
  QTreeView* details_;
  QListView* icons_;
  ViewStyle style_ = kViewDetails;
  bool sortingAllowed_ = true;
  std::vector<const ResultEntry*> pendingRows_;  // AddRow's entries not yet in the model
  QTimer* rowTimer_ = nullptr;
  std::vector<char> selected_;      // one flag per row: what the user sees as selected
  bool selectionDirty_ = false;     // selected_ not yet handed to the selection model
  bool applyingSelection_ = false;  // FlushSelection is writing the selection model
};

}  // namespace sondrel
