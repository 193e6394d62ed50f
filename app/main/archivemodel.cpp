#include "app/main/archivemodel.h"

#include <QIcon>
#include <algorithm>
#include <numeric>

namespace brevane {

TArchiveViewModel::TArchiveViewModel(QObject* Parent) : QAbstractTableModel(Parent) {}

void TArchiveViewModel::SetColumns(const std::vector<TViewColumn>& Columns) {
  BeginUpdate();
  FRows.clear();
  FColumns = Columns;
  FHasCells = std::any_of(FColumns.begin(), FColumns.end(), KeptInCells);
  EndUpdate();
}

int TArchiveViewModel::ColumnOf(TViewColumn Column) const {
  const auto it = std::find(FColumns.begin(), FColumns.end(), Column);
  return it == FColumns.end() ? -1 : static_cast<int>(it - FColumns.begin());
}

QString TArchiveViewModel::Caption(int Column) const {
  if (Column < 0 || Column >= static_cast<int>(FColumns.size())) return {};
  return QString::fromLatin1(ColumnDef(FColumns[static_cast<std::size_t>(Column)]).Caption);
}

void TArchiveViewModel::BeginUpdate() {
  if (FUpdates++ == 0) beginResetModel();
}

void TArchiveViewModel::EndUpdate() {
  if (FUpdates == 0) return;
  if (--FUpdates == 0) endResetModel();
}

void TArchiveViewModel::Clear() {
  if (FRows.empty()) return;
  if (Updating()) {
    FRows.clear();
    return;
  }
  beginRemoveRows(QModelIndex(), 0, RowCount() - 1);
  FRows.clear();
  endRemoveRows();
}

bool TArchiveViewModel::KeptInCells(TViewColumn Column) {
  switch (Column) {
    case vcFileName:
    case vcDate:
    case vcPacked:
    case vcUnpacked:
    case vcRatio:
    case vcFolder:
      return false;
    default:
      return true;
  }
}

void TArchiveViewModel::AddRow(TViewRow Row) {
  if (FHasCells)
    Row.Cells.resize(FColumns.size() - 1);
  else
    Row.Cells.clear();
  if (Updating()) {
    FRows.push_back(std::move(Row));
    return;
  }
  beginInsertRows(QModelIndex(), RowCount(), RowCount());
  FRows.push_back(std::move(Row));
  endInsertRows();
}

QString TArchiveViewModel::CellText(int Row, int Column) const {
  if (Row < 0 || Row >= RowCount() || Column < 0 || Column >= static_cast<int>(FColumns.size())) return {};
  const TViewRow& r = FRows[static_cast<std::size_t>(Row)];
  switch (FColumns[static_cast<std::size_t>(Column)]) {
    case vcFileName:
      return r.Caption;
    case vcDate:
      return QString::fromStdString(r.Data.Date);
    case vcPacked:
      return QString::fromStdString(r.Data.Packed);
    case vcUnpacked:
      return QString::fromStdString(r.Data.Unpacked);
    case vcRatio:
      return QString::fromStdString(r.Data.Ratio);
    case vcFolder:
      return QString::fromStdString(r.Data.Folder);
    default:
      return r.Cells[static_cast<std::size_t>(Column - 1)];
  }
}

int TArchiveViewModel::CompareRows(int Row1, int Row2, int Column) const {
  const TSortRule rule = SortRuleFor(Caption(Column).toStdString());
  return CompareCells(rule, CellText(Row1, Column).toStdString(), CellText(Row2, Column).toStdString());
}

void TArchiveViewModel::sort(int Column, Qt::SortOrder Order) {
  if (Column < 0 || Column >= static_cast<int>(FColumns.size()) || FRows.size() < 2) return;
  const TSortRule rule = SortRuleFor(Caption(Column).toStdString());
  std::vector<TSortKey> keys;
  keys.reserve(FRows.size());
  for (int i = 0; i < RowCount(); ++i) keys.push_back(MakeSortKey(rule, CellText(i, Column).toStdString()));
  std::vector<int> order(FRows.size());
  std::iota(order.begin(), order.end(), 0);
  const bool descending = Order == Qt::DescendingOrder;
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    const int c = CompareKeys(rule, keys[static_cast<std::size_t>(a)], keys[static_cast<std::size_t>(b)]);
    return descending ? c > 0 : c < 0;
  });

  const bool signal = !Updating();
  if (signal) emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  std::vector<TViewRow> sorted;
  sorted.reserve(FRows.size());
  std::vector<int> newRowOf(FRows.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
    sorted.push_back(std::move(FRows[static_cast<std::size_t>(order[i])]));
  }
  FRows = std::move(sorted);
  if (signal) {
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& i : from) to.append(index(newRowOf[static_cast<std::size_t>(i.row())], i.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
  }
}

int TArchiveViewModel::rowCount(const QModelIndex& Parent) const { return Parent.isValid() ? 0 : RowCount(); }

int TArchiveViewModel::columnCount(const QModelIndex& Parent) const {
  return Parent.isValid() ? 0 : static_cast<int>(FColumns.size());
}

QVariant TArchiveViewModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid() || Index.row() >= RowCount() || Index.column() >= static_cast<int>(FColumns.size())) return {};
  switch (Role) {
    case Qt::DisplayRole:
      return CellText(Index.row(), Index.column());
    case Qt::DecorationRole:
      if (Index.column() == 0 && IconOf) {
        const TViewRow& r = Row(Index.row());
        return IconOf(r.IconIndex, r.Encrypted);
      }
      return {};
    case Qt::TextAlignmentRole: {
      const bool right = ColumnDef(FColumns[static_cast<std::size_t>(Index.column())]).RightAligned;
      return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    default:
      return {};
  }
}

QVariant TArchiveViewModel::headerData(int Section, Qt::Orientation Orientation, int Role) const {
  if (Orientation != Qt::Horizontal) return {};
  if (Role == Qt::DisplayRole) return Caption(Section);
  if (Role == Qt::TextAlignmentRole && Section >= 0 && Section < static_cast<int>(FColumns.size())) {
    const bool right = ColumnDef(FColumns[static_cast<std::size_t>(Section)]).RightAligned;
    return QVariant::fromValue(Qt::Alignment((right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter));
  }
  return {};
}

}  // namespace brevane
