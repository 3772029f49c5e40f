#include "shell/result_list_model.h"

#include <QByteArray>
#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "shell/display_text.h"
#include "shell/shell_texts.h"

namespace sondrel {
namespace {

static_assert(std::size(shell_texts::kColumnTitles) == kColumnCount);

// A page with a note on it; an opened entry (icon 1) has a filled page and a tick.
QPixmap PaintRowIcon(int size, bool opened) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  QPainterPath page;
  page.moveTo(0.18 * s, 0.06 * s);
  page.lineTo(0.62 * s, 0.06 * s);
  page.lineTo(0.82 * s, 0.26 * s);
  page.lineTo(0.82 * s, 0.94 * s);
  page.lineTo(0.18 * s, 0.94 * s);
  page.closeSubpath();
  painter.setPen(QPen(QColor(80, 80, 80), s / 16.0));
  painter.setBrush(opened ? QColor(255, 236, 160) : QColor(250, 250, 250));
  painter.drawPath(page);
  // The note: a head and a stem with a flag.
  const QColor ink = opened ? QColor(150, 60, 0) : QColor(30, 60, 160);
  painter.setPen(QPen(ink, s / 14.0));
  painter.setBrush(ink);
  painter.drawEllipse(QRectF(0.30 * s, 0.62 * s, 0.20 * s, 0.15 * s));
  painter.drawLine(QPointF(0.49 * s, 0.69 * s), QPointF(0.49 * s, 0.30 * s));
  painter.drawLine(QPointF(0.49 * s, 0.30 * s), QPointF(0.66 * s, 0.40 * s));
  if (opened) {
    painter.setPen(QPen(QColor(0, 140, 40), s / 9.0, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0.56 * s, 0.80 * s), QPointF(0.68 * s, 0.90 * s));
    painter.drawLine(QPointF(0.68 * s, 0.90 * s), QPointF(0.92 * s, 0.58 * s));
  }
  return pixmap;
}

QIcon MakeRowIcon(bool opened) {
  QIcon icon;
  icon.addPixmap(PaintRowIcon(16, opened));
  icon.addPixmap(PaintRowIcon(32, opened));
  return icon;
}

QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant DisplayOf(const ResultEntry& entry, int column) {
  switch (column) {
    case kColumnName:
      return DisplayText(DisplayName(entry));
    case kColumnUrl:
      return DisplayText(entry.url);
    case kColumnSize:
      return DisplayText(SizeText(entry.size));
    case kColumnStatus:
      return DisplayText(StatusText(entry.status));
    case kColumnPos:
      return DisplayText(PositionText(entry.position));
    case kColumnEngine:
      return DisplayText(entry.engine);
    default:
      return {};
  }
}

// What the column sorts by: the texts as bytes (the sort compares bytes), numbers as numbers.
QVariant SortValueOf(const ResultEntry& entry, int column) {
  switch (column) {
    case kColumnName:
      return Bytes(entry.name);
    case kColumnUrl:
      return Bytes(entry.url);
    case kColumnSize:
      return static_cast<int>(entry.size);
    case kColumnStatus:
      return static_cast<int>(entry.status);
    case kColumnPos:
      return static_cast<int>(entry.position);
    case kColumnEngine:
      return Bytes(entry.engine);
    default:
      return {};
  }
}

}  // namespace

SortKey SortKeyOfColumn(int column) {
  switch (column) {
    case kColumnUrl:
      return SortKey::kUrl;
    case kColumnSize:
      return SortKey::kSize;
    case kColumnStatus:
      return SortKey::kStatus;
    case kColumnPos:
      return SortKey::kPosition;
    case kColumnEngine:
      return SortKey::kEngine;
    default:
      return SortKey::kName;
  }
}

ResultListModel::ResultListModel(SearchDocument* document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {
  rowIcons_[0] = MakeRowIcon(false);
  rowIcons_[1] = MakeRowIcon(true);
  FillRows();
}

void ResultListModel::SetDocument(SearchDocument* document) {
  beginResetModel();
  document_ = document;
  FillRows();
  endResetModel();
}

SearchDocument* ResultListModel::Document() const {
  return document_;
}

void ResultListModel::FillRows() {
  rows_.clear();
  pendingRow_ = -1;
  if (document_ != nullptr) {
    rows_.reserve(static_cast<std::size_t>(document_->entries.Count()));
    for (const auto& entry : document_->entries) rows_.push_back(entry.get());
  }
  icons_.assign(rows_.size(), 0);
}

const ResultEntry* ResultListModel::EntryAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return nullptr;
  return rows_[static_cast<std::size_t>(row)];
}

void ResultListModel::SetRowIcon(int row, int icon) {
  if (EntryAt(row) == nullptr) return;
  const unsigned char value = icon == 1 ? 1 : 0;
  if (icons_[static_cast<std::size_t>(row)] == value) return;
  icons_[static_cast<std::size_t>(row)] = value;
  const QModelIndex cell = index(row, kColumnName);
  emit dataChanged(cell, cell, {Qt::DecorationRole});
}

int ResultListModel::RowIcon(int row) const {
  return EntryAt(row) == nullptr ? 0 : icons_[static_cast<std::size_t>(row)];
}

void ResultListModel::BeginRemoveRow(int row) {
  if (EntryAt(row) == nullptr) {
    pendingRow_ = -1;
    return;
  }
  pendingRow_ = row;
  beginRemoveRows(QModelIndex(), row, row);
}

void ResultListModel::EndRemoveRow() {
  if (pendingRow_ < 0) return;
  rows_.erase(rows_.begin() + pendingRow_);
  icons_.erase(icons_.begin() + pendingRow_);
  pendingRow_ = -1;
  endRemoveRows();
}

void ResultListModel::BeginInsertRow(int row) {
  if (row < 0 || static_cast<std::size_t>(row) > rows_.size()) {
    pendingRow_ = -1;
    return;
  }
  pendingRow_ = row;
  beginInsertRows(QModelIndex(), row, row);
}

void ResultListModel::EndInsertRow() {
  if (pendingRow_ < 0) return;
  // A refused insert leaves the document as it was; the row then shows nothing.
  const ResultEntry* entry = document_ ? document_->entries.Get(pendingRow_) : nullptr;
  rows_.insert(rows_.begin() + pendingRow_, entry);
  icons_.insert(icons_.begin() + pendingRow_, 0);
  pendingRow_ = -1;
  endInsertRows();
}

void ResultListModel::AppendRows(const std::vector<const ResultEntry*>& entries) {
  if (entries.empty()) return;
  const int first = static_cast<int>(rows_.size());
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(entries.size()) - 1);
  rows_.insert(rows_.end(), entries.begin(), entries.end());
  icons_.resize(rows_.size(), 0);
  endInsertRows();
}

void ResultListModel::RefillResultList() {
  beginResetModel();
  FillRows();
  endResetModel();
}

void ResultListModel::RowChanged(int row) {
  if (EntryAt(row) == nullptr) return;
  emit dataChanged(index(row, 0), index(row, kColumnCount - 1), {Qt::DisplayRole, Qt::UserRole});
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.model() != this) return {};
  const ResultEntry* entry = EntryAt(index.row());
  if (entry == nullptr) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return DisplayOf(*entry, column);
    case Qt::UserRole:
      return SortValueOf(*entry, column);
    case Qt::DecorationRole:
      if (column != kColumnName) return {};
      return rowIcons_[icons_[static_cast<std::size_t>(index.row())]];
    case Qt::TextAlignmentRole:
      if (column != kColumnPos) return {};
      return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::DisplayRole) return DisplayText(shell_texts::kColumnTitles[section]);
  if (role == Qt::TextAlignmentRole && section == kColumnPos) {
    return static_cast<int>(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace sondrel
