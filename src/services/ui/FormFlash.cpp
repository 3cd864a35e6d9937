#include "FormFlash.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

namespace vanta {

TFrmChangelog::TFrmChangelog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Changelog"));
  setObjectName(QStringLiteral("FrmChangelog"));
  auto* l = new QVBoxLayout(this);
  mmoChangelog = new QPlainTextEdit(this);
  mmoChangelog->setReadOnly(true);
  mmoChangelog->setObjectName(QStringLiteral("mmoChangelog"));
  l->addWidget(mmoChangelog, 1);
  auto* row = new QHBoxLayout;
  row->addStretch();
  btnAbort = new QPushButton(tr("Abbrechen"), this);
  btnAbort->setObjectName(QStringLiteral("btnAbort"));
  btnok = new QPushButton(tr("Update Starten"), this);
  btnok->setObjectName(QStringLiteral("btnok"));
  btnok->setDefault(true);
  row->addWidget(btnAbort);
  row->addWidget(btnok);
  l->addLayout(row);
  connect(btnAbort, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnok, &QPushButton::clicked, this, &QDialog::accept);
  SetImages(style()->standardIcon(QStyle::SP_DialogOkButton), style()->standardIcon(QStyle::SP_DialogCancelButton));
  resize(560, 420);
}

void TFrmChangelog::SetImages(const QIcon& ok, const QIcon& abort) {
  btnok->setIcon(ok);
  btnAbort->setIcon(abort);
}

void TFrmChangelog::showEvent(QShowEvent* e) {
  QFile f(FFN);
  if (!FFN.isEmpty() && f.open(QIODevice::ReadOnly)) mmoChangelog->setPlainText(QString::fromUtf8(f.readAll()));
  QDialog::showEvent(e);
}

TFormFlash::TFormFlash(QWidget* parent) : TFormBasic(parent) {
  setWindowTitle(QStringLiteral("Flash"));
  auto* l = new QVBoxLayout(PanelBack);
  lblStep = new QLabel(PanelBack);
  lblStep->setObjectName(QStringLiteral("lblStep"));
  QFont big = lblStep->font();
  big.setPointSizeF(big.pointSizeF() * 1.3);
  big.setBold(true);
  lblStep->setFont(big);
  auto* stepRow = new QHBoxLayout;
  stepRow->addWidget(lblStep, 1);
  btnStopWaiting = new QPushButton(tr("Abbrechen"), PanelBack);
  btnStopWaiting->setObjectName(QStringLiteral("btnStopWaiting"));
  btnStopWaiting->setToolTip(tr("Nicht mehr auf die Antwort warten; das Gerät installiert weiter."));
  btnStopWaiting->hide();
  connect(btnStopWaiting, &QPushButton::clicked, this, [this] {
    if (FJob) FJob->StopWaiting();
  });
  stepRow->addWidget(btnStopWaiting);
  l->addLayout(stepRow);
  mmoLog = new QPlainTextEdit(PanelBack);
  mmoLog->setObjectName(QStringLiteral("mmoLog"));
  mmoLog->setReadOnly(true);
  mmoLog->setMaximumBlockCount(20000);
  l->addWidget(mmoLog, 1);
  resize(720, 480);
}

TFormFlash::~TFormFlash() {
  if (mmoLog) mmoLog->clear();
  FJob.reset();  // reports a mass update that never got its result
}

void TFormFlash::MakeJob() {
  FJob = std::make_unique<TFlashJob>(*FComUnit);
  TFlashJob& j = *FJob;
  j.FKind = FKind;
  j.FFN = FFN;
  j.FMassBackupDir = FMassBackupDir;
  j.FDoMassBackup = FDoMassBackup;
  j.FPQStartID = FPQStartID;
  j.FUpdateTimeoutMs = FUpdateTimeoutMs;
  j.OnWaiting = [this](qint64 ms) {
    btnStopWaiting->setVisible(ms >= 0 && FKind == TFlashKind::KndFirmware);
    if (ms < 0) return;
    const QString text = tr("Update läuft seit %1").arg(ElapsedText(ms));
    lblStep->setText(text);
    LabSBar->setText(text);
  };
  j.FMassFlashSucc = [this](bool ok, const QString& text) {
    if (FMassFlashSucc) FMassFlashSucc(ok, text);
  };
  j.FFlashClose = [this](QObject*, int result) {
    if (FFlashClose) FFlashClose(this, result);
  };
  j.OnLog = [this](const QString& line) { LogPrepare(this, line, true); };
  j.OnBusy = [this](const QString& text) {
    if (text.isEmpty())
      EndWork();
    else
      StartWork(text);
  };
  j.OnUpload = [this](int done, int total, const QString& name) {
    lblStep->setText(name.isEmpty() ? QStringLiteral("Update") : tr("Hochladen %1/%2: %3").arg(done + 1).arg(total).arg(name));
  };
  j.GetPara = [this] {
    lblStep->setText(tr("Parametersicherung"));
    GetPara();
  };
  j.AskBackup = [this](const QString& question, std::function<void(bool)> answer) {
    if (FAskBackup) return FAskBackup(question, std::move(answer));
    auto* box = new QMessageBox(QMessageBox::Question, tr("Firmware-Update"), question,
                                QMessageBox::Yes | QMessageBox::No, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [answer](int r) { answer(r == QMessageBox::Yes); });
    box->open();
  };
  j.AskSaveFile = [this](const QString& proposed) {
    if (FAskSaveFile) return FAskSaveFile(proposed);
    return QFileDialog::getSaveFileName(this, tr("Parametersicherung speichern"), proposed,
                                        tr("Parameter (*.xml)"));
  };
  j.ShowChangelog = [this](const QString& readme, std::function<void(bool)> answer) {
    // On the heap: an injected handler may answer after this call returned.
    auto* dlg = new TFrmChangelog(this);
    dlg->FFN = readme;
    FCLfrm = dlg;
    lblStep->setText(QStringLiteral("Changelog"));
    auto done = [this, dlg, answer](bool ok) {
      if (FCLfrm == dlg) FCLfrm = nullptr;
      dlg->deleteLater();
      answer(ok);
    };
    if (FShowChangelog) {
      FShowChangelog(*dlg, done);
      return;
    }
    done(dlg->exec() == QDialog::Accepted);
  };
  j.ShowMessage = [this](const QString& text, TMsgDlgType type, std::function<void()> then) {
    lblStep->setText(text);
    DisplayMessage(text, type, [then](QObject*, int) {
      if (then) then();
    }, mbOK, mbOK);
  };
  j.OnStatusFile = [this](const QString& path) {
    QFile f(path);
    mmoLog->clear();
    if (f.open(QIODevice::ReadOnly)) mmoLog->setPlainText(QString::fromUtf8(f.readAll()));
  };
  j.OnCloseRequest = [this] { close(); };
}

void TFormFlash::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  if (!connected || !FComUnit || FJob) return;
  MakeJob();
  lblStep->setText(FKind == TFlashKind::KndStatus ? QStringLiteral("Status") : tr("Firmware-Update %1").arg(QFileInfo(FFN).fileName()));
  FJob->ConnEst(true);
}

void TFormFlash::ParaToTable(const QString& fileName) {
  if (FJob) FJob->ParaToTable(fileName);
}

void TFormFlash::ThreadExceptCallBack(QObject* Sender) {
  TFormBasic::ThreadExceptCallBack(Sender);
  if (FJob) FJob->ThreadExceptCallBack();
}

void TFormFlash::LogPrepare(QObject* Sender, const QString& text, bool toMemo) {
  if (toMemo && mmoLog) {
    if (QThread::currentThread() == thread())
      mmoLog->appendPlainText(text);
    else
      QMetaObject::invokeMethod(mmoLog, [m = mmoLog, text] { m->appendPlainText(text); }, Qt::QueuedConnection);
  }
  TFormBasic::LogPrepare(Sender, text, toMemo);
}

void TFormFlash::PrepareShutdown() {
  if (FJob) FJob->PrepareShutdown();
  if (FCLfrm) FCLfrm->reject();
  TFormBasic::PrepareShutdown();
}

}  // namespace vanta
