#include "FormMassFlash.h"

#include "FlashJob.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vanta {

namespace {
enum TCol { colDevice, colState, colProgress, colSerial, colFwBefore, colFwAfter, colMessage, colBackup, colCount };

QWidget* PathRow(QLineEdit* edit, QWidget* parent, std::function<void()> browse) {
  auto* w = new QWidget(parent);
  auto* l = new QHBoxLayout(w);
  l->setContentsMargins(0, 0, 0, 0);
  l->addWidget(edit, 1);
  auto* b = new QToolButton(w);
  b->setText(QStringLiteral("…"));
  QObject::connect(b, &QToolButton::clicked, w, std::move(browse));
  l->addWidget(b);
  return w;
}
}  // namespace

TFormMassFlash::TFormMassFlash(const QList<TMassTarget>& devices, const QString& dataDir, QWidget* parent)
    : QWidget(parent), FDevices(devices), FDataDir(dataDir) {
  setWindowTitle(tr("Firmware-Update mehrerer Geräte"));
  setObjectName(QStringLiteral("FormMassFlash"));
  auto* outer = new QVBoxLayout(this);
  auto* split = new QSplitter(Qt::Horizontal, this);
  outer->addWidget(split, 1);

  // Devices grouped by plant and field; ticking a group ticks its devices.
  tvDevices = new QTreeWidget(split);
  tvDevices->setHeaderLabels({tr("Geräte")});
  QHash<QString, QTreeWidgetItem*> plants, fields;
  for (int i = 0; i < devices.size(); ++i) {
    const TMassTarget& d = devices[i];
    const QString plant = d.Plant.isEmpty() ? QStringLiteral("(ohne Anlage)") : d.Plant;
    QTreeWidgetItem*& p = plants[plant];
    if (!p) {
      p = new QTreeWidgetItem(tvDevices, {plant});
      p->setFlags(p->flags() | Qt::ItemIsAutoTristate | Qt::ItemIsUserCheckable);
      p->setCheckState(0, Qt::Unchecked);
    }
    const QString fieldKey = plant + QLatin1Char('\n') + d.Field;
    QTreeWidgetItem*& f = fields[fieldKey];
    if (!f) {
      f = new QTreeWidgetItem(p, {d.Field.isEmpty() ? QStringLiteral("(ohne Feld)") : d.Field});
      f->setFlags(f->flags() | Qt::ItemIsAutoTristate | Qt::ItemIsUserCheckable);
      f->setCheckState(0, Qt::Unchecked);
    }
    auto* item = new QTreeWidgetItem(f, {QStringLiteral("%1 (%2)").arg(d.Name, d.Host)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
    item->setData(0, Qt::UserRole, i);
  }
  tvDevices->expandAll();

  auto* right = new QWidget(split);
  auto* rl = new QVBoxLayout(right);
  auto* form = new QFormLayout;
  edPackage = new QLineEdit(right);
  edPackage->setPlaceholderText(tr("Updatepaket (.zip)"));
  form->addRow(tr("Updatepaket"), PathRow(edPackage, right, [this] {
                 const QString f = QFileDialog::getOpenFileName(this, tr("Updatepaket"), edPackage->text(),
                                                                tr("Updatepaket (*.zip)"));
                 if (!f.isEmpty()) edPackage->setText(f);
               }));
  edBackupDir = new QLineEdit(QDir(dataDir).filePath(QStringLiteral("Sicherungen")), right);
  form->addRow(tr("Sicherungsordner"), PathRow(edBackupDir, right, [this] {
                 const QString d = QFileDialog::getExistingDirectory(this, tr("Sicherungsordner"), edBackupDir->text());
                 if (!d.isEmpty()) edBackupDir->setText(d);
               }));
  cbNoBackup = new QCheckBox(tr("Ohne Parametersicherung"), right);
  form->addRow(QString(), cbNoBackup);
  connect(cbNoBackup, &QCheckBox::toggled, edBackupDir, &QWidget::setDisabled);
  edRunId = new QLineEdit(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm")), right);
  form->addRow(tr("Lauf-Kennung"), edRunId);
  spParallel = new QSpinBox(right);
  spParallel->setRange(1, 8);
  form->addRow(tr("Gleichzeitig"), spParallel);
  cbStopOnFailure = new QCheckBox(tr("Nach dem ersten Fehler anhalten"), right);
  form->addRow(QString(), cbStopOnFailure);
  cbTrustNewKeys = new QCheckBox(tr("Unbekannten SSH-Schlüsseln vertrauen (und merken)"), right);
  cbTrustNewKeys->setToolTip(tr("Ohne diese Wahl werden nur Geräte erreicht, deren Schlüssel bereits bekannt ist."));
  form->addRow(QString(), cbTrustNewKeys);
  rl->addLayout(form);

  auto* buttons = new QHBoxLayout;
  btnStart = new QPushButton(tr("Update starten"), right);
  btnStop = new QPushButton(tr("Anhalten"), right);
  btnRetry = new QPushButton(tr("Fehlgeschlagene wiederholen"), right);
  btnStop->setEnabled(false);
  btnRetry->setEnabled(false);
  buttons->addWidget(btnStart);
  buttons->addWidget(btnStop);
  buttons->addWidget(btnRetry);
  buttons->addStretch();
  rl->addLayout(buttons);

  tblRows = new QTableWidget(0, colCount, right);
  tblRows->setHorizontalHeaderLabels({tr("Gerät"), QStringLiteral("Status"), tr("Fortschritt"),
                                      tr("Seriennummer"), tr("Firmware vorher"),
                                      tr("Firmware nachher"), tr("Ergebnis"), tr("Sicherung")});
  tblRows->horizontalHeader()->setStretchLastSection(true);
  tblRows->verticalHeader()->setVisible(false);
  tblRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  rl->addWidget(tblRows, 1);
  lblReport = new QLabel(right);
  lblReport->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblReport->setWordWrap(true);
  rl->addWidget(lblReport);
  split->setStretchFactor(1, 3);
  resize(1200, 640);

  auto complain = [this](bool ok, const QString& e) {
    if (!ok) QMessageBox::warning(this, windowTitle(), e);
  };
  connect(btnStart, &QPushButton::clicked, this, [this, complain] {
    QString e;
    complain(StartRun(e), e);
  });
  connect(btnRetry, &QPushButton::clicked, this, [this, complain] {
    QString e;
    complain(RetryFailed(e), e);
  });
  connect(btnStop, &QPushButton::clicked, this, [this] {
    FRun.Stop();
    btnStop->setEnabled(false);
    lblReport->setText(tr("Laufende Geräte werden noch fertig, weitere starten nicht."));
  });
  FRun.OnRow = [this](int row) { ShowRow(row); };
  FRun.OnFinished = [this] { Finished(); };
  FRun.OnLog = [this](int row, const QString& line) {
    if (OnLog) OnLog(QStringLiteral("[%1] %2").arg(row + 1).arg(line));
  };
  Tuning = TMassOptions{};
}

void TFormMassFlash::Select(const QList<int>& indexes) {
  for (QTreeWidgetItemIterator it(tvDevices); *it; ++it) {
    const QVariant v = (*it)->data(0, Qt::UserRole);
    if (v.isValid()) (*it)->setCheckState(0, indexes.contains(v.toInt()) ? Qt::Checked : Qt::Unchecked);
  }
}

QList<TMassTarget> TFormMassFlash::Selected() const {
  QList<TMassTarget> out;
  for (QTreeWidgetItemIterator it(tvDevices); *it; ++it) {
    const QVariant v = (*it)->data(0, Qt::UserRole);
    if (v.isValid() && (*it)->checkState(0) == Qt::Checked) out << FDevices.value(v.toInt());
  }
  return out;
}

bool TFormMassFlash::StartRun(QString& error) { return Launch(Selected(), error); }

bool TFormMassFlash::RetryFailed(QString& error) {
  QList<TMassTarget> failed;
  for (const TMassRow& r : FRun.Rows())
    if (r.Result != QLatin1String("ok")) failed << r.Target;
  return Launch(failed, error);
}

bool TFormMassFlash::Launch(const QList<TMassTarget>& targets, QString& error) {
  TMassOptions o = Tuning;
  o.Package = edPackage->text().trimmed();
  o.BackupDir = cbNoBackup->isChecked() ? QString() : edBackupDir->text().trimmed();
  o.RunId = edRunId->text().trimmed();
  o.Parallel = spParallel->value();
  o.StopOnFailure = cbStopOnFailure->isChecked();
  o.TrustNewHostKey = cbTrustNewKeys->isChecked();
  o.DataDir = QDir(FDataDir).filePath(QStringLiteral("mass"));
  if (!FRun.Start(o, targets, error)) return false;
  tblRows->setRowCount(int(targets.size()));
  for (int i = 0; i < targets.size(); ++i) {
    for (int c = 0; c < colCount; ++c)
      if (c != colProgress) tblRows->setItem(i, c, new QTableWidgetItem);
    auto* bar = new QProgressBar(tblRows);
    bar->setRange(0, 100);
    tblRows->setCellWidget(i, colProgress, bar);
    ShowRow(i);
  }
  btnStart->setEnabled(false);
  btnRetry->setEnabled(false);
  btnStop->setEnabled(true);
  lblReport->setText(tr("Paket %1, Firmware %2").arg(QFileInfo(o.Package).fileName(), FRun.PackageVersion()));
  return true;
}

void TFormMassFlash::ShowRow(int row) {
  if (row < 0 || row >= FRun.Rows().size() || row >= tblRows->rowCount()) return;
  const TMassRow& r = FRun.Rows()[row];
  auto set = [&](int col, const QString& text) {
    if (QTableWidgetItem* it = tblRows->item(row, col)) it->setText(text);
  };
  set(colDevice, r.Target.Name.isEmpty() ? QStringLiteral("%1:%2").arg(r.Target.Host).arg(r.Target.Port) : r.Target.Name);
  set(colState, r.WaitingMs >= 0 ? tr("%1 (seit %2)").arg(MassStateText(r.State), ElapsedText(r.WaitingMs)) : MassStateText(r.State));
  set(colSerial, r.Serial);
  set(colFwBefore, r.FwBefore);
  set(colFwAfter, r.FwAfter);
  set(colMessage, r.Message);
  set(colBackup, r.BackupFile);
  if (auto* bar = qobject_cast<QProgressBar*>(tblRows->cellWidget(row, colProgress))) bar->setValue(r.Percent);
  const QColor tint = r.Result == QLatin1String("ok")        ? QColor(0xd8, 0xf0, 0xd8)
                      : r.Result == QLatin1String("failed")  ? QColor(0xf6, 0xd5, 0xd5)
                      : r.Result == QLatin1String("unknown") ? QColor(0xf8, 0xec, 0xc8)
                                                              : QColor();
  for (int c = 0; c < colCount; ++c)
    if (QTableWidgetItem* it = tblRows->item(row, c)) it->setBackground(tint.isValid() ? QBrush(tint) : QBrush());
}

void TFormMassFlash::Finished() {
  const QString folder = FRun.Options().BackupDir.isEmpty() ? FDataDir : FRun.Options().BackupDir;
  // One report per run: a retry under the same identifier keeps the first.
  const QString base = QDir(folder).filePath(QStringLiteral("Massenupdate_%1_%2")
                                                 .arg(FileNamePart(FRun.Options().RunId),
                                                      QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
  QString error;
  FReportPath = base + QStringLiteral(".json");
  const bool ok = FRun.WriteReport(FReportPath, base + QStringLiteral(".csv"), error);
  lblReport->setText(ok ? tr("%1. Bericht: %2 (und .csv)").arg(FRun.SummaryText(), FReportPath)
                        : tr("%1. Bericht nicht geschrieben: %2").arg(FRun.SummaryText(), error));
  if (!ok) FReportPath.clear();
  btnStart->setEnabled(true);
  btnStop->setEnabled(false);
  bool any = false;
  for (const TMassRow& r : FRun.Rows()) any |= r.Result != QLatin1String("ok");
  btnRetry->setEnabled(any);
}

}  // namespace vanta
