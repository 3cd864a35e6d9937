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
// Complete when the local copy under its final name is at least as large
// as the device says; otherwise `size` becomes the resume position (what
// NAME.part, or an older copy under the final name, holds) and `local` the path.
bool DoesFileExist(const TReadoutPlace& place, const QString& devicePath, QString& local, uint64_t& size, bool recording,
                   bool log);

// Right before a file is requested: an older copy under the final name that
// is shorter than the device's becomes NAME.part, a part file that cannot
// belong to this file goes. Returns the position to resume from.
uint64_t PrepareResume(const TReadoutPlace& place, const QString& devicePath, uint64_t deviceSize, bool recording);

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
// arrived. Queues are worked off from their end. A file that could not be
// stored does not stop the chain: it is noted and told at the end, so one
// bad file never keeps the others from coming.
class TReadoutChain {
 public:
  enum class TQueue : uint8_t { qRecordings, qEvents, qClass };
  struct TStep {
    bool Done = true;        // nothing left: re-list (RelistEvents says which list)
    bool RelistEvents = false;
    bool Cancelled = false;  // ended by Cancel(), files left over
    QString Path;            // the file to request
    uint64_t Position = 0;   // resume position
    uint64_t Size = 0;       // the device's size
    bool Recording = false;
    QString Progress;        // "%d / %d"
  };
  struct TFailure {
    QString Path;
    QString Reason;
  };
  explicit TReadoutChain(const TReadoutPlace& place) : FPlace(place) {}
  // Folders and time zone as they are now (the serial number may have come since).
  void SetPlace(const TReadoutPlace& place) { FPlace = place; }
  void Start(TQueue q, const QStringList& queue);
  // The next file that is not complete; files already complete are passed over.
  TStep Next();
  bool Active() const { return FRec || FEvt || FCls; }
  // Stops before the next file: the one in flight still lands (as a part
  // file when cut), everything stays resumable.
  void Cancel() { FCancel = true; }
  bool Cancelled() const { return FCancel; }
  // The file in flight could not be stored.
  void NoteFailure(const QString& path, const QString& reason);
  const QList<TFailure>& Failures() const { return FFailures; }
  // Files the chain did not get to (cancelled or the line was lost).
  QStringList Remaining() const;

  // ---- what a person sees ----
  // Bytes still to fetch over the queues as they stand (device size minus
  // what is on disk already).
  uint64_t BytesToFetch() const;
  // Bytes of the file in flight so far (the transfer's progress).
  void NoteBytes(uint64_t inFlight) { FInFlight = inFlight; }
  // "3 / 51 Dateien – 12.3 / 48.0 MB – noch 0:42"; `elapsedMs` since the start.
  QString ProgressText(int64_t elapsedMs) const;
  int FilesDone() const { return FFilesDone; }
  int FilesTotal() const { return FFilesTotal; }

 private:
  QStringList* CurrentQueue(bool& recording, int& which);
  TReadoutPlace FPlace;
  QStringList FAllRecLst, FAllEvtLst, FClassRecLst;
  bool FRec = false, FEvt = false, FCls = false;
  bool FCancel = false;
  // Length of each queue at its start: a queue started beside another counts on its own.
  int FCount[3] = {0, 0, 0};
  QList<TFailure> FFailures;
  QString FInFlightPath;
  uint64_t FInFlightSize = 0;
  uint64_t FInFlight = 0;
  uint64_t FBytesTotal = 0, FBytesDone = 0;
  int FFilesTotal = 0, FFilesDone = 0;
};

// Free space where `folder` lies, -1 when unknown.
qint64 FreeBytes(const QString& folder);
// "1.5 MB", "820 kB": sizes for people.
QString SizeText(uint64_t bytes);

}  // namespace vanta
