#pragma once
// TFormComplete: every value of one device structure, live, as a table. The
// tree lists per data object its structures and the kinds of values they
// hold; choosing one stops the running stream, rebuilds the columns and
// starts the stream of the entry's data object. The grid is virtual: every
// repaint reads its cells from the latest record, nothing is kept per cell.
#include <QAbstractTableModel>
#include <functional>

#include "FormLayout.h"
#include "StructTable.h"

class QTableView;

namespace vanta {

// The table's cells as a model over the record bytes the client holds.
class TStreamGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  // `record`: the latest record bytes (none without a client).
  TStreamGridModel(const TStructTable& table, std::function<const QByteArray*()> record, QObject* parent)
      : QAbstractTableModel(parent), FTable(table), FRecord(std::move(record)) {}
  int rowCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : FTable.RowCount(); }
  int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : int(FTable.Columns().size()); }
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Rows and columns changed (another entry).
  void Rebuild() {
    beginResetModel();
    endResetModel();
  }
  // New record bytes: every cell is read again when it is painted.
  void Refresh();
  bool FHasRecord = false;  // before the first record the value cells stay empty

 private:
  const TStructTable& FTable;
  std::function<const QByteArray*()> FRecord;
};

class TFormComplete : public TFormLayout {
  Q_OBJECT
 public:
  explicit TFormComplete(QWidget* parent = nullptr);
  void ConnEst(QObject* Sender, bool connected) override;
  void UpdateGrid() override;
  void FillTreeView();
  void ClickTreeView(QTreeWidgetItem* item);
  const TStructTable& Table() const { return FTable; }
  // The shown cell text (what a repaint reads).
  QString CellText(int row, int column) const;
  // "STRUCT/KIND" to choose as soon as the tree is built (a command line's wish).
  QString FPendingEntry;
  TVantaTag FVantaTag;
  bool FHasEntry = false;
  QTableView* GridStream = nullptr;

 private:
  void CreateCols();
  QList<TStructDesc> FStructs;
  TStructTable FTable;
  TStreamGridModel* FModel = nullptr;
};

}  // namespace vanta
