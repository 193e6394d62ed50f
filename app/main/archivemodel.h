#pragma once
// The rows of the archive view: one per listed entry, with its cell texts
// and its TItemData, sorted by the rule of the sort column's caption.

#include <QAbstractTableModel>
#include <functional>
#include <vector>

#include "app/main/viewtexts.h"

namespace brevane {

struct TViewRow {
  QString Caption;  // the entry's name without its folder
  // One per shown column after "File Name"; the columns of Data read it.
  std::vector<QString> Cells;
  TItemData Data;
  int IconIndex = -1;
  bool Encrypted = false;
};

class TArchiveViewModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TArchiveViewModel(QObject* Parent = nullptr);

  // Removes every row and sets the columns.
  void SetColumns(const std::vector<TViewColumn>& Columns);
  const std::vector<TViewColumn>& Columns() const { return FColumns; }
  int ColumnOf(TViewColumn Column) const;
  QString Caption(int Column) const;

  // Suspends and resumes the views' updates (counted): rows added in
  // between reach the views at once at the end.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdates > 0; }

  void Clear();
  void AddRow(TViewRow Row);
  // True when a column's text is kept in the row's Cells.
  static bool KeptInCells(TViewColumn Column);
  int RowCount() const { return static_cast<int>(FRows.size()); }
  const TViewRow& Row(int Index) const { return FRows[static_cast<std::size_t>(Index)]; }
  QString CellText(int Row, int Column) const;

  // Stable sort by the rule of the column's caption.
  void sort(int Column, Qt::SortOrder Order = Qt::AscendingOrder) override;
  // The list view's comparison of two rows on a column.
  int CompareRows(int Row1, int Row2, int Column) const;

  // The icon of a row's icon index.
  std::function<QIcon(int IconIndex, bool Encrypted)> IconOf;

  int rowCount(const QModelIndex& Parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& Parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  QVariant headerData(int Section, Qt::Orientation Orientation, int Role = Qt::DisplayRole) const override;

 private:
  std::vector<TViewColumn> FColumns;
  std::vector<TViewRow> FRows;
  int FUpdates = 0;
  bool FHasCells = false;
};

}  // namespace brevane
