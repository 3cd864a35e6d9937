#pragma once
// The device's storage as a folder tree under one root. Every device path is
// mapped into the root and can never leave it.
//
//   /mnt/flashdrive0/...  //mnt/flashdrive0/...  flashdrive0/...   -> ROOT/mnt/flashdrive0/...
//   /ramdrive0/...  ramdrive0/...                                 -> ROOT/ramdrive0/...
//   ~/NAME                                                        -> the scratchpad
#include <QString>

namespace vanta::sim {

class TSimStorage {
 public:
  // Uses `root` (created if missing). With an empty root a temporary copy of
  // `sampleDir` is made and removed again on destruction.
  bool Open(const QString& root, const QString& sampleDir, QString& error);
  ~TSimStorage();

  const QString& Root() const { return FRoot; }
  QString ScratchpadDir() const { return FRoot + QStringLiteral("/mnt/flashdrive0/data/ccci/scratchpad"); }
  QString DataDir() const { return FRoot + QStringLiteral("/mnt/flashdrive0/data"); }
  QString EventDir() const { return DataDir() + QStringLiteral("/events"); }
  QString RecorderDir() const { return DataDir() + QStringLiteral("/recorder"); }
  QString SetupDir() const { return DataDir() + QStringLiteral("/setup"); }
  QString FtpDir() const { return FRoot + QStringLiteral("/ramdrive0/ccci"); }
  QString LogFile() const { return DataDir() + QStringLiteral("/logd.log"); }

  // Maps a device path to a local one; relative paths start at `base` (a
  // local folder inside the root). Empty when the path would leave the root.
  QString Map(const QString& devicePath, const QString& base) const;
  // The device path of a local file inside the root ("/mnt/flashdrive0/...").
  QString DevicePath(const QString& local) const;

 private:
  QString FRoot;
  QString FTempRoot;  // removed on destruction
};

// Copies a folder tree (files and folders only, no links).
bool CopyTree(const QString& from, const QString& to, QString& error);

}  // namespace vanta::sim
