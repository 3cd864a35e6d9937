#include "Readout.h"

#include "Language.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>
#include <functional>

namespace vanta {

const TRecordingClass CRecordingClasses[8] = {
    {"10T", "200ms TRMS"}, {"150T", "3s TRMS"}, {"10min", "10min TRMS"},
    {"2h", "2h TRMS"},     {"1s", "1s TRMS"},   {"10s", "10s TRMS"},
    {"Ns", QT_TRANSLATE_NOOP("TReadoutTree", "Variables Sekundenintervall TRMS")},
    {"Mmin", QT_TRANSLATE_NOOP("TReadoutTree", "Variables Minutenintervall TRMS")}};

namespace {

const QString CAsync = QStringLiteral("Async");
const QString CModbus = QStringLiteral("Modbus");
// Group names stay German in the tree (the command line finds groups by
// them); the windows translate them under "TReadoutTree" when showing them.
const QString CDisturbance = QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "Störschrieb Rekorder"));
const QString COsc = QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "Oszilloskop Rekorder"));
const QString CHp = QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "10ms TRMS Rekorder"));

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
  const QString part = name + QStringLiteral(".part");
  qint64 localSize = -1, partSize = -1;
  if (place.Snapshot) {
    const QHash<QString, qint64>& files = recording ? place.Snapshot->Recorder : place.Snapshot->Events;
    localSize = files.value(name, -1);
    partSize = files.value(part, -1);
  } else {
    if (const QFileInfo fi(local); fi.isFile()) localSize = fi.size();
    if (const QFileInfo fi(local + QStringLiteral(".part")); fi.isFile()) partSize = fi.size();
  }
  // Only the final name counts as a copy: a download writes NAME.part and
  // renames it once it is whole. A shorter file under the final name was
  // left by an older version, which appended in place: it is resumed.
  if (localSize >= 0 && uint64_t(localSize) >= size) {
    if (log && place.Log) place.Log(QStringLiteral("File %1 Exists %2/%3").arg(local).arg(localSize).arg(size));
    size = uint64_t(localSize);
    return true;
  }
  const qint64 have = localSize >= 0 ? localSize : partSize;
  if (have < 0) {
    if (log && place.Log) place.Log(QStringLiteral("File %1 does not exist - Downloading").arg(local));
    size = 0;
    return false;
  }
  // A part larger than the device's file belongs to another file of that name.
  const uint64_t resume = uint64_t(have) <= size ? uint64_t(have) : 0;
  if (log && place.Log)
    place.Log(QStringLiteral("File %1 Exists %2/%3 - Resuming").arg(local).arg(have).arg(size));
  size = resume;
  return false;
}

uint64_t PrepareResume(const TReadoutPlace& place, const QString& devicePath, uint64_t deviceSize, bool recording) {
  const QString local = GetFileNameOnDisk(place, devicePath, recording);
  const QString part = local + QStringLiteral(".part");
  const QFileInfo fi(local);
  if (fi.isFile() && uint64_t(fi.size()) < deviceSize && !QFileInfo(part).exists()) QFile::rename(local, part);
  const QFileInfo pi(part);
  if (!pi.isFile()) return 0;
  if (uint64_t(pi.size()) > deviceSize || pi.size() > qint64(UINT32_MAX)) {
    QFile::remove(part);
    return 0;
  }
  return uint64_t(pi.size());
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

namespace {
struct TQueueEntry {
  QString Path;
  uint64_t Size = 0;
};
TQueueEntry SplitEntry(const QString& entry) {
  const qsizetype eq = entry.lastIndexOf(QLatin1Char('='));
  return {entry.left(eq), entry.mid(eq + 1).toULongLong()};
}
}  // namespace

void TReadoutChain::Start(TQueue q, const QStringList& queue) {
  // A queue started anew replaces what an earlier chain left of it.
  QStringList* list = q == TQueue::qRecordings ? &FAllRecLst : q == TQueue::qEvents ? &FAllEvtLst : &FClassRecLst;
  const bool recording = q != TQueue::qEvents;
  if (!Active()) {
    // A new chain: its own counts and failures.
    FFailures.clear();
    FBytesTotal = FBytesDone = FInFlight = FInFlightSize = 0;
    FFilesTotal = FFilesDone = 0;
    FInFlightPath.clear();
  }
  *list = queue;
  FCancel = false;
  switch (q) {
    case TQueue::qRecordings: FRec = true; FCount[0] = int(queue.size()); break;
    case TQueue::qEvents: FEvt = true; FCount[1] = int(queue.size()); break;
    case TQueue::qClass: FCls = true; FCount[2] = int(queue.size()); break;
  }
  for (const QString& e : queue) {
    const TQueueEntry en = SplitEntry(e);
    QString local;
    uint64_t have = en.Size;
    if (en.Size == 0 || DoesFileExist(FPlace, en.Path, local, have, recording, false)) continue;
    ++FFilesTotal;
    FBytesTotal += en.Size - qMin(have, en.Size);
  }
}

QStringList* TReadoutChain::CurrentQueue(bool& recording, int& which) {
  recording = true;
  which = 0;
  if (FRec && !FAllRecLst.isEmpty()) return &FAllRecLst;
  if (FEvt && !FAllEvtLst.isEmpty()) {
    recording = false;
    which = 1;
    return &FAllEvtLst;
  }
  if (FCls && !FClassRecLst.isEmpty()) {
    which = 2;
    return &FClassRecLst;
  }
  return nullptr;
}

void TReadoutChain::NoteFailure(const QString& path, const QString& reason) {
  for (const TFailure& f : FFailures)
    if (f.Path == path) return;
  FFailures << TFailure{path, reason};
  if (path == FInFlightPath) {
    // What did not come is no longer to be fetched in this chain.
    FInFlightPath.clear();
    FBytesTotal -= qMin(FBytesTotal, FInFlightSize);
    FInFlightSize = 0;
    FInFlight = 0;
    ++FFilesDone;
  }
}

QStringList TReadoutChain::Remaining() const {
  QStringList out;
  if (!FInFlightPath.isEmpty()) out << FInFlightPath;
  for (const QStringList* q : {&FAllRecLst, &FAllEvtLst, &FClassRecLst})
    for (auto it = q->crbegin(); it != q->crend(); ++it) {
      const TQueueEntry en = SplitEntry(*it);
      QString local;
      uint64_t have = en.Size;
      const bool recording = q != &FAllEvtLst;
      if (en.Size != 0 && !DoesFileExist(FPlace, en.Path, local, have, recording, false)) out << en.Path;
    }
  return out;
}

uint64_t TReadoutChain::BytesToFetch() const {
  return FBytesTotal > FBytesDone + FInFlight ? FBytesTotal - FBytesDone - FInFlight : 0;
}

QString SizeText(uint64_t bytes) {
  if (bytes >= 1024ull * 1024 * 1024) return QStringLiteral("%1 GiB").arg(double(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 2);
  if (bytes >= 1024ull * 1024) return QStringLiteral("%1 MiB").arg(double(bytes) / (1024.0 * 1024), 0, 'f', 1);
  if (bytes >= 1024) return QStringLiteral("%1 KiB").arg(double(bytes) / 1024.0, 0, 'f', 0);
  return QStringLiteral("%1 B").arg(bytes);
}

QString TReadoutChain::ProgressText(int64_t elapsedMs) const {
  const uint64_t done = FBytesDone + FInFlight;
  QString text = TTr::tr("%1 / %2 Dateien – %3 / %4").arg(FFilesDone).arg(FFilesTotal).arg(SizeText(done), SizeText(FBytesTotal));
  // The time left from the rate so far, once there is a rate to speak of.
  if (done > 0 && elapsedMs >= 1000 && FBytesTotal > done) {
    const int64_t left = int64_t(double(FBytesTotal - done) * double(elapsedMs) / double(done) / 1000.0 + 0.5);
    text += TTr::tr(" – noch %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  }
  return text;
}

TReadoutChain::TStep TReadoutChain::Next() {
  // The file in flight has ended and is stored (a failure was counted when noted).
  if (!FInFlightPath.isEmpty()) {
    FBytesDone += FInFlightSize;
    ++FFilesDone;
  }
  FInFlightPath.clear();
  FInFlightSize = 0;
  FInFlight = 0;
  for (;;) {
    bool recording = true;
    int which = 0;
    QStringList* q = FCancel ? nullptr : CurrentQueue(recording, which);
    if (!q) {
      TStep done;
      done.RelistEvents = !FRec && !FCls;
      done.Cancelled = FCancel && (CurrentQueue(recording, which) != nullptr);
      if (!done.Cancelled) FRec = FEvt = FCls = false;
      return done;
    }
    const TQueueEntry en = SplitEntry(q->takeLast());
    TStep s;
    s.Done = false;
    s.Progress = QStringLiteral("%1 / %2").arg(FCount[which] - int(q->size())).arg(FCount[which]);
    QString local;
    uint64_t size = en.Size;
    if (en.Size != 0 && !DoesFileExist(FPlace, en.Path, local, size, recording, true)) {
      s.Path = en.Path;
      s.Size = en.Size;
      s.Position = PrepareResume(FPlace, en.Path, en.Size, recording);
      s.Recording = recording;
      FInFlightPath = en.Path;
      FInFlightSize = en.Size - qMin(s.Position, en.Size);
      return s;
    }
  }
}

qint64 FreeBytes(const QString& folder) {
  QString f = folder;
  // The folder may not exist yet: ask for the nearest one that does.
  while (!f.isEmpty() && !QFileInfo(f).exists()) {
    const QString up = QFileInfo(f).absolutePath();
    if (up == f) break;
    f = up;
  }
  const QStorageInfo info(f.isEmpty() ? QDir::currentPath() : f);
  return info.isValid() ? info.bytesAvailable() : -1;
}

}  // namespace vanta
