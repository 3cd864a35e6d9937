#include "MessValSetup.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vanta {

TFormMessUeberwachung::TFormMessUeberwachung(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("MessValSetup"));
  resize(560, 620);
  auto* v = new QVBoxLayout(this);
  popbxClass = new QComboBox(this);
  v->addWidget(popbxClass);
  auto* searchRow = new QHBoxLayout;
  edtID = new QLineEdit(this);
  edtID->setPlaceholderText(tr("ID oder Suchtext"));
  btnSearch = new QPushButton(tr("Suchen"), this);
  btnSearch->setAutoDefault(false);
  searchRow->addWidget(edtID, 1);
  searchRow->addWidget(btnSearch);
  v->addLayout(searchRow);
  TreeView1 = new QTreeWidget(this);
  TreeView1->setHeaderHidden(true);
  v->addWidget(TreeView1, 1);
  txtID = new QLabel(this);
  txtID->setWordWrap(true);
  v->addWidget(txtID);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button2 = new QPushButton(tr("Abbruch"), this);
  Button1->setAutoDefault(false);
  Button2->setAutoDefault(false);
  buttons->addWidget(Button1);
  buttons->addWidget(Button2);
  v->addLayout(buttons);

  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnSearch, &QPushButton::clicked, this, [this] { Search(); });
  connect(edtID, &QLineEdit::returnPressed, this, [this] { Search(); });
  connect(popbxClass, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!FSuspendClassChange) LoadClass(i, QString());
  });
  connect(TreeView1, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
    const QString tag = item->data(0, Qt::UserRole).toString();
    if (tag.isEmpty()) {
      item->setExpanded(!item->isExpanded());
      return;
    }
    edtID->setText(tag);
    txtID->setText(item->text(0));
  });
  connect(TreeView1, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (!item->data(0, Qt::UserRole).toString().isEmpty()) accept();
  });
}

void TFormMessUeberwachung::Fail(const QString& error) {
  LastError = error;
  txtID->setText(tr("Messwert-Datenbank nicht lesbar: ") + error);
  Button1->setEnabled(false);
}

bool TFormMessUeberwachung::Open(const QString& dbPath, const QString& langTable) {
  FLangTable = langTable;
  TreeView1->clear();
  FClassLst.clear();
  FTree = {};
  QString error;
  if (!FDb.Open(dbPath, langTable, error)) {
    Fail(error);
    return false;
  }
  return true;
}

bool TFormMessUeberwachung::FillTV(const QString& dbPath, const QString& langTable, uint32_t startId) {
  setWindowTitle(tr("Setup der Überwachungsgrößen"));
  FSearchFunction = [this] { searchMesswert(); };
  popbxClass->setVisible(true);
  FstartID = startId;
  if (!Open(dbPath, langTable)) return false;
  QList<TDataClass> classes;
  QString error;
  if (!FDb.DataClasses(classes, error)) {
    Fail(error);
    return false;
  }
  {
    QSignalBlocker block(popbxClass);
    popbxClass->clear();
    for (const TDataClass& c : classes) {
      popbxClass->addItem(c.Name);
      FClassLst << c.Number;
    }
    popbxClass->setCurrentIndex(-1);
  }
  if (startId != 0) {
    edtID->setText(QString::number(startId));
    Search();
  } else if (popbxClass->count() > 2) {
    popbxClass->setCurrentIndex(2);  // loads that class through the change handler
  } else if (popbxClass->count() > 0) {
    popbxClass->setCurrentIndex(0);
  }
  return LastError.isEmpty();
}

bool TFormMessUeberwachung::FillTVModbus(const QString& dbPath, const QString& langTable, uint32_t startId) {
  setWindowTitle(tr("Setup der Modbus Slaves"));
  FSearchFunction = [this] { searchModbus(); };
  popbxClass->setVisible(false);
  FstartID = startId;
  if (!Open(dbPath, langTable)) return false;
  QString error;
  FModbusValues = {};
  if (!FDb.ModbusValues(FModbusValues, error)) {
    Fail(error);
    return false;
  }
  if (startId != 0) {
    edtID->setText(QString::number(startId));
    Search();
  }
  ShowTree(FModbusValues, startId ? QString::number(startId) : QString());
  return LastError.isEmpty();
}

void TFormMessUeberwachung::LoadClass(int index, const QString& startId) {
  if (index < 0 || index >= FClassLst.size()) return;
  TDictCollection values;
  QString error;
  if (!FDb.ClassValues(FClassLst[index], values, error)) {
    Fail(error);
    return;
  }
  ShowTree(values, startId);
}

void TFormMessUeberwachung::ShowTree(const TDictCollection& values, const QString& startId) {
  QString error;
  TPickerTree tree;
  if (!FDb.BuildTree(values, startId, tree, error)) {
    Fail(error);
    return;
  }
  FTree = tree;
  TreeView1->setUpdatesEnabled(false);
  TreeView1->clear();
  std::function<void(QTreeWidgetItem*, const TPickerNode&)> add = [&](QTreeWidgetItem* parent, const TPickerNode& n) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TreeView1);
    item->setText(0, n.Text);
    if (n.Kind == TPickerNode::TKind::pnValue) item->setData(0, Qt::UserRole, n.Tag);
    for (const TPickerNode& c : n.Children) add(item, c);
  };
  for (const TPickerNode& n : FTree.Roots) add(nullptr, n);
  TreeView1->setUpdatesEnabled(true);
  SelectPath(FTree.Selected);
}

void TFormMessUeberwachung::SelectPath(const QList<int>& path) {
  if (path.isEmpty() || path[0] >= TreeView1->topLevelItemCount()) return;
  QTreeWidgetItem* item = TreeView1->topLevelItem(path[0]);
  for (int i = 1; i < path.size() && item; ++i) {
    item->setExpanded(true);
    item = item->child(path[i]);
  }
  if (!item) return;
  item->setExpanded(true);
  TreeView1->setCurrentItem(item);
  TreeView1->scrollToItem(item);
  const QString tag = item->data(0, Qt::UserRole).toString();
  if (!tag.isEmpty()) txtID->setText(item->text(0));
}

void TFormMessUeberwachung::Search() {
  if (FSearchFunction) FSearchFunction();
}

void TFormMessUeberwachung::searchMesswert() {
  bool ok = false;
  const uint32_t id = edtID->text().trimmed().toUInt(&ok);
  if (!ok || id == 0) {
    SelectPath(SearchPickerTree(FTree, edtID->text().trimmed()));
    return;
  }
  int dataClass = 0;
  bool found = false;
  QString error;
  if (!FDb.DataClassOf(id, dataClass, found, error)) {
    Fail(error);
    return;
  }
  if (!found) {
    txtID->setText(tr("ID %1 ist nicht bekannt").arg(id));
    return;  // the tree stays as it was
  }
  const int index = int(FClassLst.indexOf(dataClass));
  if (index < 0) return;
  FSuspendClassChange = true;
  popbxClass->setCurrentIndex(index);
  FSuspendClassChange = false;
  LoadClass(index, QString::number(id));
}

void TFormMessUeberwachung::searchModbus() { SelectPath(SearchPickerTree(FTree, edtID->text().trimmed())); }

uint32_t TFormMessUeberwachung::ChosenId() const {
  bool ok = false;
  const uint32_t id = edtID->text().trimmed().toUInt(&ok);
  return ok ? id : 0;
}

QString TFormMessUeberwachung::SelectedText() const { return txtID->text(); }

uint32_t PickMeasurement(QWidget* parent, const QString& dbPath, const QString& langTable, uint32_t startId, bool modbus) {
  TFormMessUeberwachung dlg(parent);
  if (modbus)
    dlg.FillTVModbus(dbPath, langTable, startId);
  else
    dlg.FillTV(dbPath, langTable, startId);
  if (dlg.exec() != QDialog::Accepted) return 0;
  return dlg.ChosenId();
}

}  // namespace vanta
