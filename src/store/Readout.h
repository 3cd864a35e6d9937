#pragma once
// The readout of a device's stored files without a window: the device's
// list turned into the tree the readout window shows (groups, captions, item
// texts, on-disk state), the completeness test that gives the resume
// position, and the queued download that works the lists off from the end.
#include <QHash>
#include <QList>
#include <memory>
#include <QString>
#include <QStringList>
#include <functional>

#include "TimeStamps.h"

namespace vanta {

// One line of a device list: "path;end;size".
struct TListLine {
  QString Path;
  int64_t End = 0;    // Unix seconds, UTC
  uint64_t Size = 0;  // 0 when the field does not parse
};
QList<TListLine> ParseListText(const QString& text);

// Image indexes of the tree: not (completely) on disk, on disk, a group.
inline constexpr int CImgMissing = 0;
inline constexpr int CImgOnDisk = 3;
inline constexpr int CImgGroup = 4;

struct TReadoutNode {
  QString Text;
  QString Path;  // device path; empty for groups
  uint64_t FileSize = 0;
  bool IsAsync = false;
  int Image = CImgMissing;
  QList<TReadoutNode> Children;
  bool IsGroup() const { return Image == CImgGroup; }
};

struct TReadoutTree {
  QList<TReadoutNode> Roots;   // groups (recordings) or files (events), in order
  QList<TReadoutNode> Hidden;  // listed files no group takes: invisible, still queued
  QStringList Queue;           // "path=size", in list order
};

// Where the files of one device go and how its times read.
struct TReadoutPlace {
  QString EventDir;     // ends with "/"
  QString RecorderDir;  // ends with "/"
  std::function<tmStamp_t(tmStamp_t utc)> ToLocal;  // the device's time zone; identity when unset
  std::function<void(const QString&)> Log;
  // Sizes of the files in the two folders, read once (TakeSnapshot): a tree
  // of thousands of files then costs one folder listing, not a look per file.
  struct TSnapshot {
    QHash<QString, qint64> Events, Recorder;  // file name -> size
  };
  std::shared_ptr<const TSnapshot> Snapshot;
};
// Lists both folders once into place.Snapshot.
void TakeSnapshot(TReadoutPlace& place);

// The local copy of a device file: events keep their name, recordings lose
// their first path component.
QString GetFileNameOnDisk(const TReadoutPlace& place, const QString& devicePath, bool recording);
// Complete when the local copy is at least as large as the device says;
// `size` becomes the local size (the resume position), `local` the path.
bool DoesFileExist(const TReadoutPlace& place, const QString& devicePath, QString& local, uint64_t& size, bool recording,
                   bool log);

// The recording classes in their tree order, with their captions.
struct TRecordingClass {
  const char* Prefix;
  const char* Caption;
};
extern const TRecordingClass CRecordingClasses[8];

TReadoutTree BuildEventTree(const TReadoutPlace& place, const QList<TListLine>& lines);
TReadoutTree BuildRecordingTree(const TReadoutPlace& place, const QList<TListLine>& lines);
// Leaves of a group, recursively (selected files below a root).
QList<const TReadoutNode*> Leaves(const TReadoutNode& group);
// The files directly in a group: what a class download or delete takes.
QList<const TReadoutNode*> Files(const TReadoutNode& group);

// The queued download: one request in flight, the next step when it has
// arrived. Queues are worked off from their end.
class TReadoutChain {
 public:
  enum class TQueue : uint8_t { qRecordings, qEvents, qClass };
  struct TStep {
    bool Done = true;        // nothing left: re-list (RelistEvents says which list)
    bool RelistEvents = false;
    QString Path;            // the file to request
    uint64_t Position = 0;   // resume position
    bool Recording = false;
    QString Progress;        // "%d / %d"
  };
  explicit TReadoutChain(const TReadoutPlace& place) : FPlace(place) {}
  // Folders and time zone as they are now (the serial number may have come since).
  void SetPlace(const TReadoutPlace& place) { FPlace = place; }
  void Start(TQueue q, const QStringList& queue);
  // The next file that is not complete; files already complete are passed over.
  TStep Next();
  bool Active() const { return FRec || FEvt || FCls; }

 private:
  TReadoutPlace FPlace;
  QStringList FAllRecLst, FAllEvtLst, FClassRecLst;
  bool FRec = false, FEvt = false, FCls = false;
  // Length of each queue at its start: a queue started beside another counts on its own.
  int FCount[3] = {0, 0, 0};
};

}  // namespace vanta
