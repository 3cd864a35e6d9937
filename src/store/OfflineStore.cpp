#include "OfflineStore.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

#include "DeviceTime.h"
#include "Language.h"
#include "Readout.h"
#include "RecordFile.h"

namespace vanta {

namespace {

const char* const CRecordingClassNames[] = {"10T", "150T", "10min", "2h", "1s", "10s", "Ns", "Mmin", "Osc", "Hp", "BinIn"};

struct TNamed {
  QString Path;
  TStoreName Name;
};

// The "*.log" files of a folder with their names read, in start-time order.
QList<TNamed> StoredFiles(const QString& folder) {
  QList<TNamed> out;
  for (const QFileInfo& fi : QDir(folder).entryInfoList({QStringLiteral("*.log")}, QDir::Files)) {
    TNamed n{fi.filePath(), {}};
    MatchStoreName(fi.fileName(), n.Name);  // a stray name sorts first, with start 0
    out << n;
  }
  std::stable_sort(out.begin(), out.end(), [](const TNamed& a, const TNamed& b) { return a.Name.Start < b.Name.Start; });
  return out;
}

// The caption of a stored file from its header; the name when it has none.
// Times are the device's local time by its own rules when the station keeps
// them; else by the file's offset, which the caption then names.
QString Caption(const TNamed& f, const TStationTime& station) {
  TRecordHeader h;
  QString error;
  const qint64 kb = QFileInfo(f.Path).size() / 1024;
  if (!ReadRecordHeader(f.Path, h, error)) return QFileInfo(f.Path).fileName();
  const TDeviceTime time = station.For(h.Env);
  const QString zone = time.ZoneText().isEmpty() ? QString() : QLatin1Char(' ') + time.ZoneText();
  if (h.Kind == TRecordKind::rkOsc || h.Kind == TRecordKind::rkHp || h.Kind == TRecordKind::rkTrigger)
    return QStringLiteral("%1 %2%3 %4Kb").arg(h.Context.Class, time.SecText(h.Context.Start), zone).arg(kb);
  return QStringLiteral("%1 - %2%3 - %4Kb").arg(time.SecText(h.Context.Start), time.SecText(h.Context.End), zone).arg(kb);
}

TStoreNode Group(const QString& text, int tag) {
  TStoreNode n;
  n.Text = text;
  n.Tag = tag;
  n.Image = 4;
  return n;
}

bool CopyOver(const QString& from, const QString& to, QString& error) {
  // Through a temporary name: a failed copy leaves no half file behind.
  const QString part = to + QStringLiteral(".part");
  QFile::remove(part);
  QFile src(from);
  if (!src.copy(part)) {
    error = src.errorString();
    return false;
  }
  QFile::remove(to);
  if (!QFile::rename(part, to)) {
    QFile::remove(part);
    error = TTr::tr("kann nicht umbenannt werden");
    return false;
  }
  return true;
}

void Collect(const QString& folder, QStringList& logs) {
  const QDir d(folder);
  for (const QFileInfo& fi : d.entryInfoList({QStringLiteral("*.log")}, QDir::Files)) logs << fi.filePath();
  for (const QFileInfo& sub : d.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
    if (sub.fileName() != QLatin1String("scratchpad")) Collect(sub.filePath(), logs);
}

}  // namespace

QString DefaultWorkspaceFolder() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/vanta-host/");
}

QString DefaultDataFolder() { return DefaultWorkspaceFolder() + QStringLiteral("data/"); }

bool IsRecordingClass(const QString& cls) {
  return std::any_of(std::begin(CRecordingClassNames), std::end(CRecordingClassNames),
                     [&cls](const char* c) { return cls == QLatin1String(c); });
}

bool MatchStoreName(const QString& fileName, TStoreName& out) {
  static const QRegularExpression rule(QStringLiteral("^([0-9a-zA-Z]*-{1})?([0-9]{8})-([0-9]{10})-([0-9]{3}).log$"));
  const QRegularExpressionMatch m = rule.match(fileName);
  if (!m.hasMatch()) return false;
  out.Class = m.captured(1).chopped(m.captured(1).isEmpty() ? 0 : 1);
  out.Serial = m.captured(2).toUInt();
  out.Start = m.captured(3).toLongLong();
  out.Recording = IsRecordingClass(out.Class);
  return true;
}

QList<TStation> ScanStore(const QString& dataDir, const TStoreLog& log, const std::function<void(int, int)>& progress) {
  QList<TStation> out;
  const QDir data(dataDir);
  QStringList folders = data.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
  folders.removeAll(QStringLiteral("tmp"));
  folders.removeAll(QStringLiteral("log"));
  int done = 0;
  for (const QString& folder : folders) {
    if (progress) progress(done++, int(folders.size()));
    const QString path = data.filePath(folder);
    const QList<TNamed> rec = StoredFiles(path + QStringLiteral("/Recorder"));
    const QList<TNamed> evt = StoredFiles(path + QStringLiteral("/Event"));
    if (log) {
      log(QStringLiteral("Found %1 rekords in %2").arg(rec.size()).arg(path + QStringLiteral("/Recorder")));
      log(QStringLiteral("Found %1 eventfiles in %2").arg(evt.size()).arg(path + QStringLiteral("/Event")));
    }
    if (rec.isEmpty() && evt.isEmpty()) continue;  // no files, no station
    QList<TNamed> all = rec + evt;
    std::stable_sort(all.begin(), all.end(), [](const TNamed& a, const TNamed& b) { return a.Name.Start < b.Name.Start; });
    TStation s;
    s.Folder = folder;
    s.Path = path;
    s.Recordings = int(rec.size());
    s.Events = int(evt.size());
    s.Newest = all.last().Path;
    TSysEnvHeader env;
    QString error;
    if (ReadOfflSysEnvHead(s.Newest, env, error)) {
      s.Text = QStringLiteral("%1: %2").arg(folder, env.Device);
      s.Plant = env.Plant;
    } else {
      if (log) log(QStringLiteral("Offline: %1").arg(error));
      s.Text = QStringLiteral("%1: ?").arg(folder);
    }
    out << s;
  }
  if (progress) progress(done, int(folders.size()));
  return out;
}

TStoreNode BuildStationTree(const TStation& station) {
  TStoreNode root;
  root.Text = station.Text;
  root.Tag = stStation;
  root.Image = 5;
  root.Path = station.Path;
  TStoreNode rec = Group(QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "Rekorder Daten")), stRecordings);
  for (const TRecordingClass& c : CRecordingClasses) rec.Children << Group(QString::fromUtf8(c.Caption), stGroup);
  rec.Children << Group(QStringLiteral("Async"), stGroup) << Group(QStringLiteral("Modbus"), stGroup);
  TStoreNode dist = Group(QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "Störschrieb Rekorder")), stDisturbance);
  dist.Children << Group(QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "Oszilloskop Rekorder")), stOsc)
                << Group(QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "10ms TRMS Rekorder")), stHp);
  rec.Children << dist;
  const int asyncAt = 8, modbusAt = 9, distAt = 10;
  const TStationTime time = TStationTime::Load(station.Path);

  for (const TNamed& f : StoredFiles(station.Path + QStringLiteral("/Recorder"))) {
    TStoreNode leaf;
    leaf.Text = Caption(f, time);
    leaf.Tag = stRecordingFile;
    leaf.Image = 3;
    leaf.Path = f.Path;
    leaf.Start = f.Name.Start;
    const QString cls = f.Name.Class.isEmpty() ? QFileInfo(f.Path).fileName().section(QLatin1Char('-'), 0, 0) : f.Name.Class;
    int at = -1;
    for (int i = 0; i < 8; ++i)
      if (cls == QLatin1String(CRecordingClasses[i].Prefix)) at = i;
    if (at >= 0) {
      rec.Children[at].Children << leaf;
    } else if (cls == QLatin1String("BinIn")) {
      leaf.IsAsync = true;
      rec.Children[asyncAt].Children << leaf;
    } else if (cls == QLatin1String("Osc")) {
      rec.Children[distAt].Children[0].Children << leaf;
    } else if (cls == QLatin1String("Hp")) {
      rec.Children[distAt].Children[1].Children << leaf;
    } else if (cls.contains(QLatin1String("slave"), Qt::CaseInsensitive)) {
      QList<TStoreNode>& slaves = rec.Children[modbusAt].Children;
      auto it = std::find_if(slaves.begin(), slaves.end(), [&](const TStoreNode& g) { return g.Text == cls; });
      if (it == slaves.end()) {
        slaves << Group(cls, stGroup);
        it = slaves.end() - 1;
      }
      it->Children << leaf;
    } else {
      rec.Children[distAt].Children << leaf;  // other records of a disturbance
    }
  }
  TStoreNode evt = Group(QString::fromUtf8(QT_TRANSLATE_NOOP("TReadoutTree", "PQ-Ereignisse")), stEvents);
  for (const TNamed& f : StoredFiles(station.Path + QStringLiteral("/Event"))) {
    TStoreNode leaf;
    leaf.Text = Caption(f, time);
    leaf.Tag = stEventFile;
    leaf.Image = -1;
    leaf.Path = f.Path;
    leaf.Start = f.Name.Start;
    evt.Children << leaf;
  }
  root.Children << rec << evt;
  return root;
}

QStringList FilesBelow(const TStoreNode& node) {
  QStringList out;
  if (!node.Path.isEmpty() && (node.Tag == stRecordingFile || node.Tag == stEventFile)) out << node.Path;
  for (const TStoreNode& c : node.Children) out << FilesBelow(c);
  return out;
}

TImportResult ImportFolder(const QString& source, const QString& dataDir, const std::function<void(int, int)>& progress) {
  TImportResult r;
  QStringList logs;
  Collect(source, logs);
  QList<QPair<QString, TStoreName>> events, recordings;
  for (const QString& p : logs) {
    TStoreName n;
    if (!MatchStoreName(QFileInfo(p).fileName(), n)) {
      r.Ignored << p;
      continue;
    }
    (n.Recording ? recordings : events) << qMakePair(p, n);
  }
  const int total = int(events.size() + recordings.size());
  int done = 0;
  for (const auto& list : {events, recordings})
    for (const auto& [path, name] : list) {
      const QString folder = QDir(dataDir).filePath(QStringLiteral("%1/%2").arg(name.Serial).arg(
          name.Recording ? QStringLiteral("Recorder") : QStringLiteral("Event")));
      QString error;
      // A file whose head cannot be read would only fail later, in the tree
      // and the windows: it stays on the card, named.
      TRecordHeader head;
      if (!ReadRecordHeader(path, head, error))
        r.Failed << error;
      else if (!QDir().mkpath(folder) || !CopyOver(path, QDir(folder).filePath(QFileInfo(path).fileName()), error))
        r.Failed << QStringLiteral("%1: %2").arg(path, error.isEmpty() ? TTr::tr("Ordner nicht anlegbar") : error);
      else
        ++(name.Recording ? r.Recordings : r.Events);
      if (progress) progress(++done, total);
    }
  return r;
}

int ExportFiles(const QStringList& files, const QString& target, QStringList& failed) {
  int n = 0;
  QDir().mkpath(target);  // a folder not there yet is made, as for COMTRADE; a failure shows per file
  for (const QString& f : files) {
    QString error;
    if (CopyOver(f, QDir(target).filePath(QFileInfo(f).fileName()), error))
      ++n;
    else
      failed << QStringLiteral("%1: %2").arg(f, error);
  }
  return n;
}

bool OfflineDelFile(const QString& path, const TStoreLog& log) {
  if (!QFileInfo::exists(path)) return false;
  const bool ok = QFile::remove(path);
  if (log) log(ok ? QStringLiteral("Deleting %1").arg(path) : QStringLiteral("Deleting %1 failed").arg(path));
  return ok;
}

QString StoredFile(const QString& dataDir, const QString& name, QString& why) {
  const QString fileName = QFileInfo(name).fileName();
  TStoreName n;
  if (!MatchStoreName(fileName, n)) {
    why = TTr::tr("%1: kein Name einer gespeicherten Datei").arg(name);
    return {};
  }
  const QString store = QFileInfo(dataDir).canonicalFilePath();
  QStringList candidates;
  if (name.contains(QLatin1Char('/'))) {
    candidates << name;
  } else {
    for (const QString& station : QDir(dataDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
      for (const char* sub : {"Recorder", "Event"})
        candidates << QStringLiteral("%1/%2/%3/%4").arg(dataDir, station, QLatin1String(sub), fileName);
  }
  for (const QString& c : candidates) {
    const QFileInfo info(c);
    if (!info.isFile()) continue;
    // Where the file really is (links followed): <store>/<station>/<Recorder|Event>/<name>.
    const QString real = info.canonicalFilePath();
    const QDir folder = QFileInfo(real).dir();
    QDir station = folder;
    station.cdUp();
    QDir parent = station;
    parent.cdUp();
    const bool inStore = !store.isEmpty() && parent.path() == store &&
                         (folder.dirName() == QLatin1String("Recorder") || folder.dirName() == QLatin1String("Event"));
    if (inStore) return real;
    break;  // there, but not the store's
  }
  why = TTr::tr("%1: nicht im Datenordner %2").arg(name, QDir::toNativeSeparators(dataDir));
  return {};
}

bool DeleteStation(const QString& dataDir, const QString& folder, const TStoreLog& log) {
  if (folder.isEmpty() || folder.contains(QLatin1Char('/')) || folder == QLatin1String("..") || folder == QLatin1String("."))
    return false;  // only a station folder directly in the store
  const QString path = QDir(dataDir).filePath(folder);
  if (!QFileInfo(path).isDir()) return false;
  if (log) log(QStringLiteral("Deleting %1").arg(path));
  return QDir(path).removeRecursively();
}

}  // namespace vanta
