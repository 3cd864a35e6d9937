#pragma once
// TFormMessUeberwachung: the picker for a measurement value by its device id,
// over the mapping database: as the monitoring picker (by data class) or as
// the Modbus picker (every value a slave entry can carry).
#include <QDialog>
#include <functional>

#include "MappingDb.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vanta {

class TFormMessUeberwachung : public QDialog {
  Q_OBJECT
 public:
  explicit TFormMessUeberwachung(QWidget* parent = nullptr);

  // False with LastError when the database cannot be read; the dialog then
  // shows the reason and returns 0.
  bool FillTV(const QString& dbPath, const QString& langTable, uint32_t startId);
  bool FillTVModbus(const QString& dbPath, const QString& langTable, uint32_t startId);
  // The id in the edit as an unsigned number, 0 when it is none.
  uint32_t ChosenId() const;
  // Runs the current search (the search button, Enter in the id edit).
  void Search();
  QString SelectedText() const;
  QString LastError;

  QTreeWidget* TreeView1 = nullptr;
  QComboBox* popbxClass = nullptr;
  QLineEdit* edtID = nullptr;
  QPushButton* btnSearch = nullptr;
  QLabel* txtID = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 private:
  bool Open(const QString& dbPath, const QString& langTable);
  void LoadClass(int index, const QString& startId);
  void ShowTree(const TDictCollection& values, const QString& startId);
  void SelectPath(const QList<int>& path);
  void searchMesswert();
  void searchModbus();
  void Fail(const QString& error);

  QString FLangTable;
  uint32_t FstartID = 0;
  QList<int> FClassLst;
  std::function<void()> FSearchFunction;
  TMappingDb FDb;
  TPickerTree FTree;
  TDictCollection FModbusValues;
  bool FSuspendClassChange = false;
};

// Opens the picker modally; the chosen id or 0 (cancelled, no database).
uint32_t PickMeasurement(QWidget* parent, const QString& dbPath, const QString& langTable, uint32_t startId, bool modbus);

}  // namespace vanta
