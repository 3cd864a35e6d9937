#pragma once
// TFormComplete: every value of one device structure, live, as a table. The
// tree lists per structure the kinds of values it holds; choosing one
// stops the running stream, rebuilds the columns and starts the stream of
// the structure's data object. The cells are read from the latest record.
#include "FormLayout.h"
#include "StructTable.h"

namespace vanta {

class TFormComplete : public TFormLayout {
  Q_OBJECT
 public:
  explicit TFormComplete(QWidget* parent = nullptr);
  void ConnEst(QObject* Sender, bool connected) override;
  void UpdateGrid() override;
  void FillTreeView();
  // An entry of the tree: data object | structure << 8 | kind << 16.
  void ClickTreeView(QTreeWidgetItem* item);
  const TStructTable& Table() const { return FTable; }
  int FVantaTag = -1;

 private:
  void CreateCols();
  QList<TStructDesc> FStructs;
  TStructTable FTable;
};

}  // namespace vanta
