#pragma once
// The offline store: what earlier readouts and imports left in the data
// folder, DATA/<serial>/{Recorder,Event}/*.log, browsed, imported, exported
// and deleted without a device.
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace vanta {

// The per-user folder of the workspace's programs, the same for the desktop
// host and the command line whatever the program is called
// (<generic data location>/vanta-host/): what one of them downloads, the
// other finds.
QString DefaultWorkspaceFolder();
// The store of downloaded files by default: DefaultWorkspaceFolder() + "data/".
QString DefaultDataFolder();

// The name rule of stored files: optional class prefix, serial number (8
// digits), start second (10 digits), milliseconds (3 digits), ".log".
struct TStoreName {
  QString Class;        // "" for events
  uint32_t Serial = 0;  // the 8-digit field
  qint64 Start = 0;
  bool Recording = false;  // the prefix is one of the eleven recording classes
};
bool MatchStoreName(const QString& fileName, TStoreName& out);
bool IsRecordingClass(const QString& cls);

struct TStation {
  QString Folder;  // serial number as the folder is named
  QString Path;    // the station folder
  QString Text;    // "<folder>: <device description>"
  QString Plant;   // installation, the group the station is shown under
  int Recordings = 0;
  int Events = 0;
  QString Newest;  // path of the newest file
};

using TStoreLog = std::function<void(const QString&)>;

// Every station folder with files (not "tmp" or "log"), in folder order; the
// texts come from the header of each station's newest file.
QList<TStation> ScanStore(const QString& dataDir, const TStoreLog& log = {},
                          const std::function<void(int done, int total)>& progress = {});

// Tags of the station tree: what the delete actions may take.
enum TStoreTag : int {
  stStation = 0, stRecordings = 1, stEvents = 2, stGroup = 4, stDisturbance = 6, stOsc = 7, stHp = 8,
  stRecordingFile = 10, stEventFile = 12, stNone = -1
};

struct TStoreNode {
  QString Text;
  int Tag = stNone;
  int Image = 4;
  QString Path;
  bool IsAsync = false;
  qint64 Start = 0;  // files: sort key
  QList<TStoreNode> Children;
};
// Levels below a station: "Rekorder Daten" with the class groups and
// "PQ-Ereignisse", the files sorted by start time; captions from headers.
TStoreNode BuildStationTree(const TStation& station);
// Every file path below a node.
QStringList FilesBelow(const TStoreNode& node);

struct TImportResult {
  int Events = 0, Recordings = 0;
  QStringList Failed;   // "<file>: <reason>"
  QStringList Ignored;  // .log files whose name matches no rule
  int Total() const { return Events + Recordings; }
};
// Copies every file of `source` (and its sub-folders, not "scratchpad")
// whose name matches the rule into the store, overwriting; events first.
TImportResult ImportFolder(const QString& source, const QString& dataDir,
                           const std::function<void(int done, int total)>& progress = {});
// Copies `files` into `target` (overwriting, through a temporary name);
// returns how many arrived, failures in `failed`.
int ExportFiles(const QStringList& files, const QString& target, QStringList& failed);
// Deletes a stored file ("Deleting %s"); nothing for a file that is gone.
bool OfflineDelFile(const QString& path, const TStoreLog& log = {});
// The stored file `name` stands for: a path to a file in a station's Recorder
// or Event folder of `dataDir`, or the bare name of one. Empty, with the
// reason in `why`, for anything else: a file elsewhere is never the store's
// to delete, whatever its name.
QString StoredFile(const QString& dataDir, const QString& name, QString& why);
// Deletes a station folder with everything in it.
bool DeleteStation(const QString& dataDir, const QString& folder, const TStoreLog& log = {});

}  // namespace vanta
