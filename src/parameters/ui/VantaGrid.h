#pragma once
// TVantaGrid: the rows of one parameter folder in a table view over a model
// (no widget per cell, so a folder of thousands of items scrolls freely).
// The value rules live in GridRules; this class draws them and turns clicks
// and typed text into accepted values that the owner writes into the document.
#include <QAbstractTableModel>
#include <QPixmap>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>
#include <vector>

#include "GridRules.h"
#include "ParaHelper.h"

namespace vanta {

class TVantaGrid;

using TGridRowChange = std::function<void(TVantaGrid* Sen, const pugi::xml_node& Node, const QString& Val, bool Equal,
                                          TGridRowTyp grType)>;

class TVantaGridModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TVantaGridModel(TVantaGrid* grid);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void Reset(int rows);
  void RowChanged(int row);

 private:
  TVantaGrid* FGrid;
  int FRows = 0;
};

class TVantaGrid : public QTableView {
  Q_OBJECT
 public:
  explicit TVantaGrid(QWidget* parent = nullptr);

  // ---- callbacks the owner sets ----
  TCheckErrorCallBack CheckErrorCallBack;
  std::function<void(const QString& caption)> CopyClip;
  std::function<void(int row)> RMBDataPointCB;
  std::function<uint32_t(uint32_t)> MessWatchCB;
  std::function<uint32_t(uint32_t)> ModBusCB;
  std::function<QString(const QString& id)> GetStringFromIDCB;
  std::function<void(const QString& typed, uint32_t id)> InvalidMaskCB;
  std::function<void(const QString& value)> WireguardCB;
  std::function<void(const QString& iedName)> ICDCallBack;
  TGridRowChange OnGridRowChange;
  // Shows the choice pop-up with the captions and returns the index chosen
  // (-1: none). A menu at the pointer by default; tests answer directly.
  std::function<int(const QStringList& captions, const QPoint& globalPos)> ChoosePopup;

  int Visibility() const { return FVisibility; }
  void SetVisibility(int level) { FVisibility = level; }

  // ---- rows ----
  void AddRowVal(const TGridRow& row) { FRowLst.push_back(row); }
  void SetRowCnt();
  void ClearList();
  const std::vector<TGridRow>& Rows() const { return FRowLst; }
  TGridRow& Row(int i) { return FRowLst[size_t(i)]; }

  void HideColumns(int level);
  void FillColumn(int row);
  void CopyToClip();
  // The path of a typed value (also the pop-up, toggles and pickers): check,
  // store, tell the owner. False when a format check rejected it.
  bool SetValue(int row, const QString& typed);
  // A click on a cell as the mouse would give it.
  void ClickCell(int row, int column, Qt::MouseButton button, const QPoint& globalPos);
  int ValDrawNum() const { return FValDrawNum; }
  void CountValueDraw() { ++FValDrawNum; }

  static QPixmap ImgBoolTrue();
  static QPixmap ImgBoolFalse();
  static QPixmap ImgList();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  friend class TVantaGridModel;
  TVantaGridModel* FModel;
  std::vector<TGridRow> FRowLst;
  int FVisibility = 1;
  int FValDrawNum = 0;
  int FChoiceRow = -1;
};

// Editor of the value column: a line edit that drops characters outside
// blank..'z' and hides secrets while typing.
class TVantaGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  explicit TVantaGridDelegate(TVantaGrid* grid) : QStyledItemDelegate(grid), FGrid(grid) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  bool eventFilter(QObject* object, QEvent* event) override;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  TVantaGrid* FGrid;
};

}  // namespace vanta
