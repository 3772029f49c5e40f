#include "shell/result_list.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QListView>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStyle>
#include <QTimer>
#include <QTreeView>

#include "results/results_texts.h"
#include "shell/dialogs.h"
#include "shell/display_text.h"
#include "shell/message_box.h"
#include "shell/shell_texts.h"

namespace sondrel {
namespace {

constexpr int kColumnWidths[kColumnCount] = {200, 200, 60, 70, 35, 227};
constexpr int kLargeIconSize = 32;
constexpr int kSmallIconSize = 16;
const QSize kLargeIconGrid(100, 72);
const QSize kSmallIconGrid(200, 20);

// Each line decides its own encoding: the entries of one text may come from pages in
// different encodings.
QString ClipboardString(const std::string& text) {
  QString result;
  result.reserve(static_cast<qsizetype>(text.size()));
  std::string_view rest(text);
  for (;;) {
    const std::size_t end = rest.find('\n');
    result += DisplayText(rest.substr(0, end));
    if (end == std::string_view::npos) break;
    result += QLatin1Char('\n');
    rest.remove_prefix(end + 1);
  }
  return result;
}

void Share(QAbstractItemView* view, QAbstractItemModel* model, QItemSelectionModel* selection) {
  view->setModel(model);
  QItemSelectionModel* own = view->selectionModel();
  view->setSelectionModel(selection);
  delete own;
  view->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setDragEnabled(false);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
}

}  // namespace

ResultList::ResultList(QWidget* parent)
    : QWidget(parent),
      model_(nullptr),
      selection_(new QItemSelectionModel(&model_, this)),
      stack_(new QStackedLayout(this)),
      details_(new QTreeView(this)),
      icons_(new QListView(this)) {
  setObjectName(QStringLiteral("LVResult"));
  details_->setObjectName(QStringLiteral("LVResultDetails"));
  icons_->setObjectName(QStringLiteral("LVResultIcons"));
  stack_->setContentsMargins(0, 0, 0, 0);
  stack_->addWidget(details_);
  stack_->addWidget(icons_);

  Share(details_, &model_, selection_);
  details_->setRootIsDecorated(false);
  details_->setItemsExpandable(false);
  details_->setUniformRowHeights(true);
  details_->setAllColumnsShowFocus(true);
  details_->setSortingEnabled(false);
  details_->setIconSize(QSize(kSmallIconSize, kSmallIconSize));
  QHeaderView* header = details_->header();
  header->setStretchLastSection(false);
  header->setSectionsMovable(false);
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(false);
  for (int column = 0; column < kColumnCount; ++column) {
    details_->setColumnWidth(column, kColumnWidths[column]);
  }
  connect(header, &QHeaderView::sectionClicked, this, &ResultList::HeaderClicked);
  connect(header, &QHeaderView::sectionResized, this, [this, header](int column) {
    // Only a drag on the header moves the mouse while a button is down there.
    if (QApplication::mouseButtons() != Qt::NoButton && header->underMouse()) {
      emit columnResized(column);
    }
  });

  Share(icons_, &model_, selection_);
  icons_->setUniformItemSizes(true);
  icons_->setModelColumn(kColumnName);

  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(details_), static_cast<QAbstractItemView*>(icons_)}) {
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
      if (index.isValid()) emit activated();
    });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& pos) {
      emit contextMenuRequested(view->viewport()->mapToGlobal(pos));
    });
  }
  connect(selection_, &QItemSelectionModel::selectionChanged, this,
          &ResultList::SelectionModelChanged);
  // The row flags follow the rows.
  connect(&model_, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) {
            const auto count = static_cast<std::size_t>(last - first + 1);
            selected_.insert(selected_.begin() + first, count, char{0});
          });
  connect(&model_, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first, int last) {
            selected_.erase(selected_.begin() + first, selected_.begin() + last + 1);
          });
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
    // The selection model forgets its selection on a reset, without a signal.
    selected_.assign(static_cast<std::size_t>(model_.rowCount()), 0);
    selectionDirty_ = false;
    emit selectionChanged();
  });
  connect(selection_, &QItemSelectionModel::currentChanged, this,
          [this] { emit selectionChanged(); });

  rowTimer_ = new QTimer(this);
  rowTimer_->setSingleShot(true);
  rowTimer_->setInterval(kRowBatchMs);
  connect(rowTimer_, &QTimer::timeout, this, &ResultList::FlushPendingRows);

  SetViewStyle(kViewDetails);
}

ResultList::~ResultList() {
  // The views and the selection go before the model they watch.
  delete details_;
  delete icons_;
  delete selection_;
}

ResultListModel& ResultList::Model() {
  FlushPendingRows();
  return model_;
}

void ResultList::SetDocument(SearchDocument* document) {
  pendingRows_.clear();
  rowTimer_->stop();
  model_.SetDocument(document);
  emit countChanged(model_.rowCount());
}

void ResultList::SetViewStyle(ViewStyle style) {
  QAbstractItemView* before = CurrentView();
  // The window's focus widget, so that the focus moves along even while a message box is up.
  const bool hadFocus = window()->focusWidget() == before;
  style_ = style;
  if (style == kViewDetails) {
    stack_->setCurrentWidget(details_);
  } else {
    // setViewMode resets flow, wrapping and movement, so it comes first.
    if (style == kViewLargeIcons) {
      icons_->setViewMode(QListView::IconMode);
      icons_->setIconSize(QSize(kLargeIconSize, kLargeIconSize));
      icons_->setGridSize(kLargeIconGrid);
    } else {
      icons_->setViewMode(QListView::ListMode);
      icons_->setIconSize(QSize(kSmallIconSize, kSmallIconSize));
      icons_->setGridSize(kSmallIconGrid);
      icons_->setFlow(style == kViewSmallIcons ? QListView::LeftToRight : QListView::TopToBottom);
    }
    icons_->setMovement(QListView::Static);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setWordWrap(false);
    stack_->setCurrentWidget(icons_);
  }
  QAbstractItemView* now = CurrentView();
  if (hadFocus && now != before) now->setFocus(Qt::OtherFocusReason);
  if (selection_->currentIndex().isValid()) now->scrollTo(selection_->currentIndex());
}

ViewStyle ResultList::Style() const {
  return style_;
}

QAbstractItemView* ResultList::CurrentView() const {
  if (style_ == kViewDetails) return details_;
  return icons_;
}

void ResultList::AddRow(int index) {
  const SearchDocument* document = model_.Document();
  const ResultEntry* entry = document != nullptr ? document->entries.Get(index) : nullptr;
  const std::size_t next = static_cast<std::size_t>(model_.rowCount()) + pendingRows_.size();
  if (entry != nullptr && static_cast<std::size_t>(index) == next) {
    pendingRows_.push_back(entry);
    if (!rowTimer_->isActive()) rowTimer_->start();
    return;
  }
  // Rows and entries disagree (a row was missed): show the entries as they are. The worker
  // waits for this call, so the array holds still.
  RefillResultList();
}

void ResultList::FlushPendingRows() {
  if (pendingRows_.empty()) return;
  rowTimer_->stop();
  std::vector<const ResultEntry*> rows;
  rows.swap(pendingRows_);
  model_.AppendRows(rows);
  emit countChanged(model_.rowCount());
}

void ResultList::RefillResultList() {
  pendingRows_.clear();
  rowTimer_->stop();
  QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  model_.RefillResultList();
  QGuiApplication::restoreOverrideCursor();
  ClearSortIndicator();
  emit countChanged(model_.rowCount());
}

std::vector<int> ResultList::SelectedRows() const {
  std::vector<int> rows;
  for (std::size_t row = 0; row < selected_.size(); ++row) {
    if (selected_[row]) rows.push_back(static_cast<int>(row));
  }
  return rows;
}

void ResultList::SetUrlColumnWidth(int width) {
  details_->setColumnWidth(kColumnUrl, std::max(0, width));
}

int ResultList::UrlColumnWidth() const {
  return details_->columnWidth(kColumnUrl);
}

std::vector<int> ResultList::ColumnWidths() const {
  std::vector<int> widths;
  for (int column = 0; column < kColumnCount; ++column) {
    widths.push_back(details_->columnWidth(column));
  }
  return widths;
}

void ResultList::SetColumnWidths(const std::vector<int>& widths) {
  if (widths.size() != static_cast<std::size_t>(kColumnCount)) return;
  for (int column = 0; column < kColumnCount; ++column) {
    details_->setColumnWidth(column, std::max(0, widths[static_cast<std::size_t>(column)]));
  }
}

void ResultList::FitColumnToContents(int column, int maxWidth) {
  FlushPendingRows();
  details_->resizeColumnToContents(column);
  const int limit = std::max(0, maxWidth);
  if (details_->columnWidth(column) > limit) details_->setColumnWidth(column, limit);
}

int ResultList::ColumnArea() const {
  int width = details_->viewport()->width();
  // Rows that have just arrived bring the vertical scroll bar only at the next layout pass.
  const QScrollBar* bar = details_->verticalScrollBar();
  const int rows = model_.rowCount();
  if (!bar->isVisible() && rows > 0) {
    const int rowHeight = details_->visualRect(model_.index(0, 0)).height();
    if (static_cast<long long>(rows) * rowHeight > details_->viewport()->height()) {
      width -= details_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, bar);
    }
  }
  return width;
}

void ResultList::ShowSortIndicator(SortKey key) {
  for (int column = 0; column < kColumnCount; ++column) {
    if (SortKeyOfColumn(column) != key) continue;
    details_->header()->setSortIndicatorShown(true);
    details_->header()->setSortIndicator(column, Qt::AscendingOrder);
    return;
  }
}

void ResultList::ClearSortIndicator() {
  details_->header()->setSortIndicatorShown(false);
  details_->header()->setSortIndicator(-1, Qt::AscendingOrder);
}

void ResultList::SetSortingAllowed(bool allowed) {
  sortingAllowed_ = allowed;
}

void ResultList::HeaderClicked(int section) {
  if (!sortingAllowed_ || section < 0 || section >= kColumnCount) return;
  emit sortRequested(static_cast<int>(SortKeyOfColumn(section)));
}

void ResultList::MarkSelectionDirty() {
  if (selectionDirty_) return;
  selectionDirty_ = true;
  QMetaObject::invokeMethod(this, &ResultList::FlushSelection, Qt::QueuedConnection);
}

void ResultList::FlushSelection() {
  if (!selectionDirty_) return;
  selectionDirty_ = false;
  QItemSelection runs;
  const int rows = static_cast<int>(selected_.size());
  for (int row = 0; row < rows;) {
    if (!selected_[static_cast<std::size_t>(row)]) {
      ++row;
      continue;
    }
    const int first = row;
    while (row < rows && selected_[static_cast<std::size_t>(row)]) ++row;
    runs.append(
        QItemSelectionRange(model_.index(first, 0), model_.index(row - 1, kColumnCount - 1)));
  }
  applyingSelection_ = true;
  selection_->select(runs, QItemSelectionModel::ClearAndSelect);
  applyingSelection_ = false;
}

void ResultList::SelectionModelChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
  if (!applyingSelection_) {
    const auto mark = [this](const QItemSelection& ranges, char value) {
      for (const QItemSelectionRange& range : ranges) {
        if (range.left() > kColumnName || range.right() < kColumnName) continue;
        const int last = std::min(range.bottom(), static_cast<int>(selected_.size()) - 1);
        for (int row = std::max(range.top(), 0); row <= last; ++row) {
          selected_[static_cast<std::size_t>(row)] = value;
        }
      }
    };
    mark(deselected, 0);
    mark(selected, 1);
  }
  emit selectionChanged();
}

bool ResultList::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::ContextMenu:
      // The views must act on the selection the commands made.
      FlushSelection();
      break;
    default:
      break;
  }
  if (event->type() == QEvent::KeyPress && (watched == details_ || watched == icons_)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::NoModifier) {
      if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        emit activated();
        return true;
      }
      if (key->key() == Qt::Key_Delete) {
        emit deletePressed();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

// RowView

int ResultList::FocusedRow() const {
  const QModelIndex current = selection_->currentIndex();
  return current.isValid() ? current.row() : -1;
}

int ResultList::FirstSelectedRow() const {
  const auto first = std::find(selected_.begin(), selected_.end(), 1);
  return first == selected_.end() ? -1 : static_cast<int>(first - selected_.begin());
}

bool ResultList::IsSelected(int row) const {
  return row >= 0 && static_cast<std::size_t>(row) < selected_.size() &&
         selected_[static_cast<std::size_t>(row)] != 0;
}

void ResultList::SetSelected(int row, bool selected) {
  FlushPendingRows();
  if (row < 0 || static_cast<std::size_t>(row) >= selected_.size()) return;
  char& flag = selected_[static_cast<std::size_t>(row)];
  if ((flag != 0) == selected) return;
  flag = selected ? 1 : 0;
  MarkSelectionDirty();
}

void ResultList::SetFocused(int row, bool focused) {
  FlushPendingRows();
  const QModelIndex cell = model_.index(row, kColumnName);
  if (!cell.isValid()) return;
  if (focused) {
    selection_->setCurrentIndex(cell, QItemSelectionModel::NoUpdate);
  } else if (selection_->currentIndex().row() == row) {
    selection_->clearCurrentIndex();
  }
}

void ResultList::ScrollTo(int row) {
  FlushPendingRows();
  const QModelIndex cell = model_.index(row, kColumnName);
  if (cell.isValid()) CurrentView()->scrollTo(cell);
}

void ResultList::FocusList() {
  CurrentView()->setFocus(Qt::OtherFocusReason);
}

void ResultList::ShowInformation(const std::string& text) {
  MessageBoxFormat(this, kMbInformation, shell_texts::kProgramName, text);
}

void ResultList::SetClipboardText(const std::string& text) {
  QGuiApplication::clipboard()->setText(ClipboardString(text));
}

bool ResultList::AskEntry(std::string& url, std::string& name) {
  return ::sondrel::AskEntry(this, url, name, texts::kAddEntryTitle);
}

void ResultList::BeginRemoveRow(int row) {
  FlushPendingRows();
  model_.BeginRemoveRow(row);
}

void ResultList::EndRemoveRow() {
  model_.EndRemoveRow();
}

void ResultList::BeginInsertRow(int row) {
  FlushPendingRows();
  model_.BeginInsertRow(row);
}

void ResultList::EndInsertRow() {
  model_.EndInsertRow();
}

void ResultList::RowsRebuilt() {
  RefillResultList();
}

void ResultList::CountChanged(int count) {
  emit countChanged(count);
}

}  // namespace sondrel
