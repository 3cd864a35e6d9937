#include "FormDevice.h"

#include "Language.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace vanta::host {

QString DirectKindTitle(TDirectKind kind) {
  switch (kind) {
    case TDirectKind::dkpara: return TTr::tr("Parameter");
    case TDirectKind::dkparaRefresh: return TTr::tr("Parameter neu lesen");
    case TDirectKind::dkvisu: return TTr::tr("Online-Messdaten");
    case TDirectKind::dkdata: return TTr::tr("Datenauslese");
    case TDirectKind::dkoffline: return TTr::tr("Offline-Daten");
    case TDirectKind::dkflash: return TTr::tr("Firmware-Update");
    case TDirectKind::dkmassflash: return TTr::tr("Firmware-Update mehrerer Geräte");
    case TDirectKind::dkstatus: return TTr::tr("Gerätestatus");
    case TDirectKind::dkInitSSH: return TTr::tr("SSH einrichten");
    case TDirectKind::dkUserSetup: return TTr::tr("Benutzer einrichten");
    case TDirectKind::dkcalib: return TTr::tr("Kalibrierung");
  }
  return QString();
}

TFormDevice::TFormDevice(TDirectKind kind, QWidget* parent) : TFormBasic(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  auto* root = new QVBoxLayout(PanelBack);
  // Two sentences, each one a text of its own: a line of the catalogue per sentence.
  Notice = new QLabel(PanelBack);
  Notice->setText(tr("Das Fenster \"%1\" folgt in einer späteren Version.").arg(DirectKindTitle(kind)) +
                  QLatin1Char(' ') +
                  tr("Bis dahin zeigt dieses Gerätefenster die Verbindung, das Gerätepanel und die gespeicherten Daten."));
  Notice->setWordWrap(true);
  Notice->setObjectName(QStringLiteral("Notice"));
  root->addWidget(Notice);

  auto* row = new QHBoxLayout();
  root->addLayout(row, 1);

  auto* panel = new QGroupBox(tr("Gerätepanel"), PanelBack);
  auto* pl = new QVBoxLayout(panel);
  Display = new QLabel(panel);
  Display->setObjectName(QStringLiteral("imgDisp"));
  Display->setMinimumSize(320, 240);
  Display->setAlignment(Qt::AlignCenter);
  Display->setStyleSheet(QStringLiteral("background: #202830; color: #a0a8b0;"));
  Display->setText(QStringLiteral("Display"));
  pl->addWidget(Display);
  auto* keys = new QGridLayout();
  struct Key {
    const char* Text;
    TBtnControlDevice Btn;
    int Row, Col;
  };
  for (const Key& k : {Key{"▲", TBtnControlDevice::BtnTop, 0, 1}, Key{"◀", TBtnControlDevice::BtnLeft, 1, 0},
                       Key{"OK", TBtnControlDevice::BtnEnter, 1, 1}, Key{"▶", TBtnControlDevice::BtnRight, 1, 2},
                       Key{"▼", TBtnControlDevice::BtnDown, 2, 1}}) {
    auto* b = new QToolButton(panel);
    b->setText(QString::fromUtf8(k.Text));
    b->setMinimumSize(36, 28);
    const TBtnControlDevice btn = k.Btn;
    connect(b, &QToolButton::clicked, this, [this, btn] {
      ControlDevice(btn);
      GetNewDisplayImage();
    });
    keys->addWidget(b, k.Row, k.Col);
  }
  auto* refresh = new QPushButton(tr("Display abrufen"), panel);
  connect(refresh, &QPushButton::clicked, this, [this] { GetNewDisplayImage(); });
  keys->addWidget(refresh, 3, 0, 1, 3);
  pl->addLayout(keys);
  row->addWidget(panel);

  auto* data = new QGroupBox(tr("Gespeicherte Daten"), PanelBack);
  auto* dl = new QVBoxLayout(data);
  auto* buttons = new QHBoxLayout();
  auto* evt = new QPushButton(tr("Ereignisse"), data);
  auto* rec = new QPushButton(tr("Aufzeichnungen"), data);
  auto* get = new QPushButton(tr("Herunterladen"), data);
  auto* para = new QPushButton(tr("Parameter lesen"), data);
  for (QPushButton* b : {evt, rec, get, para}) buttons->addWidget(b);
  dl->addLayout(buttons);
  Files = new QListWidget(data);
  Files->setObjectName(QStringLiteral("Files"));
  dl->addWidget(Files, 1);
  row->addWidget(data, 1);
  connect(evt, &QPushButton::clicked, this, [this] { EvtUebClick(); });
  connect(rec, &QPushButton::clicked, this, [this] { RecUebClick(); });
  connect(para, &QPushButton::clicked, this, [this] { GetPara(); });
  connect(get, &QPushButton::clicked, this, [this] {
    QListWidgetItem* item = Files->currentItem();
    if (!item) return;
    const QString name = item->data(Qt::UserRole).toString();
    StartWork(tr("Lade %1").arg(name));
    if (FEvents)
      EvtClick(name);
    else
      RecClick(name);
  });
  SetCapt(QStringLiteral("Vanta - %1").arg(DirectKindTitle(kind)));
}

void TFormDevice::ConnEst(QObject* Sender, bool connected) {
  TFormBasic::ConnEst(Sender, connected);
  if (connected) {
    GetNewDisplayImage();
    EvtUebClick();
  }
}

void TFormDevice::ShowList(const QStringList& lines, bool events) {
  FEvents = events;
  Files->clear();
  for (const QString& line : lines) {
    const QStringList f = line.trimmed().split(QLatin1Char(';'));
    if (f.isEmpty() || f[0].isEmpty()) continue;
    const QString end = QDateTime::fromSecsSinceEpoch(f.value(1).toLongLong()).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    auto* item = new QListWidgetItem(QStringLiteral("%1    %2    %3 Bytes").arg(f[0], end, f.value(2)), Files);
    item->setData(Qt::UserRole, f[0]);
  }
  LabSBar->setText(events ? CountText(Files->count(), tr("1 Ereignis"), tr("%1 Ereignisse"))
                          : CountText(Files->count(), tr("1 Aufzeichnung"), tr("%1 Aufzeichnungen")));
}

void TFormDevice::EvtOverView(const QStringList& lines) { ShowList(lines, true); }
void TFormDevice::RecOverView(const QStringList& lines) { ShowList(lines, false); }

void TFormDevice::EvtToTable(const QString& fileName) {
  EndWork();
  LabSBar->setText(tr("Gespeichert: %1").arg(fileName));
}

void TFormDevice::RecToTable(const QString& fileName) { EvtToTable(fileName); }

void TFormDevice::ParaToTable(const QString& fileName) {
  LabSBar->setText(tr("Parameter gelesen: %1 (%2 Bytes)").arg(fileName).arg(QFileInfo(fileName).size()));
}

void TFormDevice::SetNewDisplayImage(QObject*, TMemoryStream& image) {
  QPixmap p;
  if (p.loadFromData(image.Bytes())) Display->setPixmap(p);
}

}  // namespace vanta::host
