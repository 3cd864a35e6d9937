// The parameter editor's time page: the time-source frames, the clock and the time zone.
#include "FormPara.h"


#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleValidator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "Captions.h"

#include "GridRules.h"
#include "MessValSetup.h"
#include "ParaExport.h"
#include "FormParaShared.h"

namespace vanta {

using namespace formpara;

namespace {
// The device's offset east of UTC in minutes and its daylight-saving switch.
constexpr uint32_t COffsetId = 0x03000017;
constexpr uint32_t CDaylightId = 0x03000018;
}  // namespace

QWidget* TFormPara::BuildTimePage() {
  auto* page = new QWidget;
  auto* v = new QVBoxLayout(page);
  auto* form = new QFormLayout;
  cmbTimeSource = new QComboBox(page);
  cmbTimeSource->setObjectName(QStringLiteral("cmb_") + QString::number(0x03000001));
  cmbTimeZone = new QComboBox(page);
  chkDaylight = new QCheckBox(tr("Sommerzeit"), page);
  chkDaylight->setObjectName(QStringLiteral("chk_") + QString::number(CDaylightId));
  form->addRow(tr("Zeitquelle"), cmbTimeSource);
  form->addRow(tr("Zeitzone"), cmbTimeZone);
  form->addRow(QString(), chkDaylight);
  v->addLayout(form);
  FTimeFrames = new QStackedWidget(page);
  for (int i = 0; i < 8; ++i) {
    FTimeFrames->addWidget(new QWidget);  // placeholders, the frame is made on first use
    FTimeFrameList << nullptr;
  }
  v->addWidget(FTimeFrames, 1);
  connect(cmbTimeSource, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (i < 0 || i >= 8) return;
    TimeFrame(i);
    FTimeFrames->setCurrentIndex(i);
  });
  // Only a zone the operator picks is written; showing one writes nothing.
  connect(cmbTimeZone, &QComboBox::activated, this, [this](int i) { ApplyTimeZone(cmbTimeZone->itemData(i).toInt()); });
  FTimeZonesList = TimeZoneList(QDate::currentDate().year());
  for (int i = 0; i < FTimeZonesList.size(); ++i) cmbTimeZone->addItem(FTimeZonesList[i].Display, i);
  return page;
}

QWidget* TFormPara::TimeFrame(int index) {
  if (FTimeFrameList[index]) return FTimeFrameList[index];
  static const char* const CNames[] = {"Manuell", "DCF77", "IEEE 1344", "IRIG-B 0..3", "IRIG-B 4..7", "NMEA RMC", "NMEA ZDA", "NTP"};
  auto* frame = new QGroupBox(QString::fromUtf8(CNames[index]));
  auto* form = new QFormLayout(frame);
  if (index == 0) {
    btnSetTime = new QPushButton(tr("Gerätezeit auf PC-Zeit setzen"), frame);
    connect(btnSetTime, &QPushButton::clicked, this, [this] { SendTimeToDevice(); });
    form->addRow(tr("Uhrzeit"), btnSetTime);
  } else if (index == 7) {
    for (int i = 0; i < 4; ++i) {
      auto* server = new QLineEdit(QStringLiteral("255.255.255.255"), frame);
      server->setObjectName(QStringLiteral("edt_") + QString::number(0x03000002 + i));
      auto* port = new QLineEdit(QStringLiteral("123"), frame);
      port->setObjectName(QStringLiteral("edt_") + QString::number(0x0300000C + i));
      form->addRow(QStringLiteral("NTP-Server %1").arg(i + 1), server);
      form->addRow(QStringLiteral("Port %1").arg(i + 1), port);
    }
  } else {
    auto* note = new QLabel(tr("Das Gerät übernimmt die Zeit vom Empfänger am Zeiteingang (%1).")
                                .arg(QString::fromUtf8(CNames[index])),
                            frame);
    note->setWordWrap(true);
    form->addRow(note);
  }
  QWidget* old = FTimeFrames->widget(index);
  FTimeFrames->removeWidget(old);
  old->deleteLater();
  FTimeFrames->insertWidget(index, frame);
  FTimeFrameList[index] = frame;
  if (Fxf.Sys()) {
    const bool was = FFilling;
    FFilling = true;
    BindControls(frame);
    FFilling = was;
  }
  return frame;
}


// ---- clock and time zone ----------------------------------------------------------------------

void TFormPara::SendTimeToDevice() {
  if (btnSetTime) btnSetTime->setEnabled(false);
  const QList<TTimedStatement> statements = ClockStatements(FComUnit ? FComUnit->FRev.Major() : 2, QDateTime::currentDateTime());
  int last = 0;
  for (const TTimedStatement& s : statements) {
    last = qMax(last, s.DelayMs);
    QTimer::singleShot(s.DelayMs, this, [this, lua = s.Lua] {
      LogPrepare(this, QStringLiteral("Uhrzeit: ") + lua, true);
      SendCommandToCom(ccci::TCcci::LUA_COMMAND, lua, true);
    });
  }
  QTimer::singleShot(last + 10, this, [this] {
    if (btnSetTime) btnSetTime->setEnabled(true);
  });
}

void TFormPara::ShowTimeZone() {
  if (!cmbTimeZone) return;
  // An entry standing for an offset no zone has is made anew each time.
  for (int i = cmbTimeZone->count() - 1; i >= 0; --i)
    if (cmbTimeZone->itemData(i).toInt() < 0) cmbTimeZone->removeItem(i);
  const pugi::xml_node offsetNode = Fxf.Sys() ? Fxf.FindFirst(COffsetId) : pugi::xml_node();
  cmbTimeZone->setEnabled(bool(offsetNode));
  if (!offsetNode) {
    cmbTimeZone->setCurrentIndex(-1);
    return;
  }
  bool ok = false;
  const int offset = GetNodeValue(offsetNode, ".//value").trimmed().toInt(&ok);
  const pugi::xml_node dstNode = Fxf.FindFirst(CDaylightId);
  const bool dst = GetNodeValue(dstNode, ".//value").trimmed() == QLatin1String("1");
  // Zones of the offset; among them one whose daylight saving matches the switch.
  int match = -1;
  for (int i = 0; ok && i < FTimeZonesList.size(); ++i) {
    const TTimeZoneSettings& z = FTimeZonesList[i];
    if (-z.Bias != offset) continue;
    if (match < 0) match = i;
    if (!dstNode || (z.DaylightBias != 0) == dst) {
      match = i;
      break;
    }
  }
  if (match >= 0) {
    cmbTimeZone->setCurrentIndex(cmbTimeZone->findData(match));
    return;
  }
  const QString text = !ok ? tr("Versatz \"%1\" (keine Zeitzone)").arg(GetNodeValue(offsetNode, ".//value"))
                           : tr("(UTC%1%2:%3) eingestellter Versatz, keine Zeitzone dieses Rechners")
                                 .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                                 .arg(qAbs(offset) / 60, 2, 10, QLatin1Char('0'))
                                 .arg(qAbs(offset) % 60, 2, 10, QLatin1Char('0'));
  cmbTimeZone->insertItem(0, text, -1);
  cmbTimeZone->setCurrentIndex(0);
}

void TFormPara::ApplyTimeZone(int index) {
  if (index < 0 || index >= FTimeZonesList.size() || !Fxf.Sys()) return;
  const TTimeZoneSettings& z = FTimeZonesList[index];
  // The device keeps the offset east of UTC in minutes and whether daylight saving applies.
  auto set = [this](uint32_t id, const QString& text) {
    const pugi::xml_node n = Fxf.FindFirst(id);
    if (!n) return;
    TGridRow row;
    if (!GetGridRow(2, ParentIdText(n), n, row, FCaptions, Fxf.Changes)) return;
    const TAcceptResult r = AcceptValue(row, text, {}, {});
    if (r.Accepted) ChangeCell(n, r.Stored, row.Equal, row.RowTyp);
  };
  set(COffsetId, QString::number(-z.Bias));
  set(CDaylightId, z.DaylightBias != 0 ? QStringLiteral("1") : QStringLiteral("0"));
  LogPrepare(this, QStringLiteral("Zeitzone: %1").arg(z.Name), true);
  RefreshAfterWrite();
  // The grid levels do not refill the time tab on their own: its switch and box follow here.
  if (FVisibility != 0) ReadEasyPara();
}


}  // namespace vanta
