#include "Readout.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <functional>

namespace vanta {

const TRecordingClass CRecordingClasses[8] = {
    {"10T", "200ms TRMS"}, {"150T", "3s TRMS"}, {"10min", "10min TRMS"},
    {"2h", "2h TRMS"},     {"1s", "1s TRMS"},   {"10s", "10s TRMS"},
    {"Ns", "Variables Sekundenintervall TRMS"}, {"Mmin", "Variables Minutenintervall TRMS"}};

namespace {

const QString CAsync = QStringLiteral("Async");
const QString CModbus = QStringLiteral("Modbus");
const QString CDisturbance = QStringLiteral("Störschrieb Rekorder");
const QString COsc = QStringLiteral("Oszilloskop Rekorder");
const QString CHp = QStringLiteral("10ms TRMS Rekorder");

QString LocalText(const TReadoutPlace& place, tmStamp_t utc) {
  const tmStamp_t local = place.ToLocal ? place.ToLocal(utc) : utc;
  return QDateTime::fromSecsSinceEpoch(local.Sec, Qt::UTC).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

// "%s - %S - %dKb": start, end (both local) and whole kilobytes.
QString ItemText(const TReadoutPlace& place, tmStamp_t start, const TListLine& l) {
  return QStringLiteral("%1 - %2 - %3Kb")
      .arg(LocalText(place, start), LocalText(place, {uint32_t(l.End), 0}))
      .arg(l.Size / 1024);
}

QString QueueLine(const TListLine& l) { return QStringLiteral("%1=%2").arg(l.Path).arg(l.Size); }

TReadoutNode Group(const QString& caption) {
  TReadoutNode g;
  g.Text = caption;
  g.Image = CImgGroup;
  return g;
}

TReadoutNode Leaf(const TReadoutPlace& place, const TListLine& l, const QString& text, bool recording) {
  TReadoutNode n;
  n.Text = text;
  n.Path = l.Path;
  n.FileSize = l.Size;
  QString local;
  uint64_t size = l.Size;
  n.Image = DoesFileExist(place, l.Path, local, size, recording, false) ? CImgOnDisk : CImgMissing;
  return n;
}

}  // namespace

QList<TListLine> ParseListText(const QString& text) {
  QList<TListLine> out;
  for (const QString& raw : text.split(QLatin1Char('\n'))) {
    const QString line = raw.trimmed();
    if (line.isEmpty()) continue;
    const QStringList f = line.split(QLatin1Char(';'));
    TListLine l;
    l.Path = f.value(0);
    l.End = f.value(1).toLongLong();
    bool ok = false;
    l.Size = f.value(2).toULongLong(&ok);
    if (!ok) l.Size = 0;
    out << l;
  }
  return out;
}

QString GetFileNameOnDisk(const TReadoutPlace& place, const QString& devicePath, bool recording) {
  if (!recording) return place.EventDir + devicePath;
  // The folder goes; a deeper path keeps only its file name, as the client stores it.
  return place.RecorderDir + devicePath.mid(devicePath.lastIndexOf(QLatin1Char('/')) + 1);
}

void TakeSnapshot(TReadoutPlace& place) {
  auto snap = std::make_shared<TReadoutPlace::TSnapshot>();
  for (auto [dir, names] : {std::pair{place.EventDir, &snap->Events}, std::pair{place.RecorderDir, &snap->Recorder}}) {
    const QFileInfoList files = QDir(dir).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    names->reserve(files.size());
    for (const QFileInfo& fi : files) names->insert(fi.fileName(), fi.size());
  }
  place.Snapshot = snap;
}

bool DoesFileExist(const TReadoutPlace& place, const QString& devicePath, QString& local, uint64_t& size, bool recording,
                   bool log) {
  const qsizetype slash = recording ? devicePath.lastIndexOf(QLatin1Char('/')) : -1;
  const QString name = slash < 0 ? devicePath : devicePath.mid(slash + 1);
  local = (recording ? place.RecorderDir : place.EventDir) + name;
  qint64 localSize = -1;
  if (place.Snapshot) {
    localSize = (recording ? place.Snapshot->Recorder : place.Snapshot->Events).value(name, -1);
  } else if (const QFileInfo fi(local); fi.isFile()) {
    localSize = fi.size();
  }
  if (localSize < 0) {
    if (log && place.Log) place.Log(QStringLiteral("File %1 does not exist - Downloading").arg(local));
    size = 0;
    return false;
  }
  // Sizes on this path are 32-bit, as the resume position that goes out.
  const uint32_t have = uint32_t(localSize);
  const bool complete = uint64_t(have) >= size;
  if (log && place.Log)
    place.Log(complete ? QStringLiteral("File %1 Exists %2/%3").arg(local).arg(have).arg(uint32_t(size))
                       : QStringLiteral("File %1 Exists %2/%3 - Resuming").arg(local).arg(have).arg(uint32_t(size)));
  size = have;
  return complete;
}

TReadoutTree BuildEventTree(const TReadoutPlace& place, const QList<TListLine>& lines) {
  TReadoutTree t;
  for (const TListLine& l : lines) {
    // prefix "-" start seconds "-" fraction "." extension
    const QStringList f = QFileInfo(l.Path).completeBaseName().split(QLatin1Char('-'));
    const tmStamp_t start{f.value(1).toUInt(), f.value(2).toUInt()};
    t.Roots << Leaf(place, l, ItemText(place, start, l), false);
    t.Queue << QueueLine(l);
  }
  return t;
}

TReadoutTree BuildRecordingTree(const TReadoutPlace& place, const QList<TListLine>& lines) {
  TReadoutTree t;
  for (const TRecordingClass& c : CRecordingClasses) t.Roots << Group(QString::fromUtf8(c.Caption));
  t.Roots << Group(CAsync) << Group(CModbus);
  TReadoutNode disturbance = Group(CDisturbance);
  disturbance.Children << Group(COsc) << Group(CHp);
  t.Roots << disturbance;
  const int asyncAt = 8, modbusAt = 9, disturbanceAt = 10;

  for (const TListLine& l : lines) {
    const qsizetype slash = l.Path.indexOf(QLatin1Char('/'));
    if (slash < 0) continue;  // no folder: dropped
    const QString folder = l.Path.left(slash);
    const QString name = l.Path.mid(slash + 1);
    const QStringList f = name.split(QLatin1Char('-'));
    const QString cls = f.value(0);
    const tmStamp_t start{f.value(2).toUInt(), 0};
    if (folder.startsWith(QLatin1String("sync"))) {
      TReadoutNode leaf = Leaf(place, l, ItemText(place, start, l), true);
      int at = -1;
      for (int i = 0; i < 8; ++i)
        if (cls == QLatin1String(CRecordingClasses[i].Prefix)) at = i;
      if (at >= 0) {
        t.Roots[at].Children << leaf;
      } else if (cls.contains(QLatin1String("slave"), Qt::CaseInsensitive)) {
        QList<TReadoutNode>& slaves = t.Roots[modbusAt].Children;
        auto it = std::find_if(slaves.begin(), slaves.end(), [&](const TReadoutNode& g) { return g.Text == cls; });
        if (it == slaves.end()) {
          slaves << Group(cls);
          it = slaves.end() - 1;
        }
        it->Children << leaf;
      } else {
        t.Hidden << leaf;  // no group, never shown, still fetched
      }
    } else if (folder.startsWith(QLatin1String("async")) && cls.contains(QLatin1String("BinIn"))) {
      TReadoutNode leaf = Leaf(place, l, ItemText(place, start, l), true);
      leaf.IsAsync = true;
      t.Roots[asyncAt].Children << leaf;
    } else if (folder.startsWith(QLatin1String("rec"))) {
      const TReadoutNode leaf =
          Leaf(place, l, QStringLiteral("%1 %2 %3Kb").arg(cls, LocalText(place, start)).arg(l.Size / 1024), true);
      TReadoutNode& d = t.Roots[disturbanceAt];
      if (cls == QLatin1String("Hp"))
        d.Children[1].Children << leaf;
      else if (cls == QLatin1String("Osc"))
        d.Children[0].Children << leaf;
      else
        d.Children << leaf;
    } else {
      continue;  // any other line is dropped
    }
    t.Queue << QueueLine(l);
  }
  return t;
}

QList<const TReadoutNode*> Leaves(const TReadoutNode& group) {
  QList<const TReadoutNode*> out;
  for (const TReadoutNode& c : group.Children) {
    if (c.IsGroup())
      out << Leaves(c);
    else
      out << &c;
  }
  return out;
}

QList<const TReadoutNode*> Files(const TReadoutNode& group) {
  QList<const TReadoutNode*> out;
  for (const TReadoutNode& c : group.Children)
    if (!c.IsGroup()) out << &c;
  return out;
}

// ---- queued download ----------------------------------------------------------------------

void TReadoutChain::Start(TQueue q, const QStringList& queue) {
  switch (q) {
    case TQueue::qRecordings:
      FAllRecLst = queue;
      FRec = true;
      FCount[0] = int(queue.size());
      break;
    case TQueue::qEvents:
      FAllEvtLst = queue;
      FEvt = true;
      FCount[1] = int(queue.size());
      break;
    case TQueue::qClass:
      FClassRecLst = queue;
      FCls = true;
      FCount[2] = int(queue.size());
      break;
  }
}

TReadoutChain::TStep TReadoutChain::Next() {
  for (;;) {
    QStringList* q = nullptr;
    bool recording = true;
    int which = 0;
    if (FRec && !FAllRecLst.isEmpty()) {
      q = &FAllRecLst;
    } else if (FEvt && !FAllEvtLst.isEmpty()) {
      q = &FAllEvtLst;
      recording = false;
      which = 1;
    } else if (FCls && !FClassRecLst.isEmpty()) {
      q = &FClassRecLst;
      which = 2;
    }
    if (!q) {
      TStep done;
      done.RelistEvents = !FRec && !FCls;
      FRec = FEvt = FCls = false;
      return done;
    }
    const QString entry = q->takeLast();
    const qsizetype eq = entry.lastIndexOf(QLatin1Char('='));
    const QString path = entry.left(eq);
    uint64_t size = entry.mid(eq + 1).toULongLong();
    TStep s;
    s.Done = false;
    s.Progress = QStringLiteral("%1 / %2").arg(FCount[which] - int(q->size())).arg(FCount[which]);
    QString local;
    if (size != 0 && !DoesFileExist(FPlace, path, local, size, recording, true)) {
      s.Path = path;
      s.Position = size;
      s.Recording = recording;
      return s;
    }
  }
}

}  // namespace vanta
