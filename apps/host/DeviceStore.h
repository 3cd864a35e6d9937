#pragma once
// The host's device list and settings, kept in an ini file that survives
// restarts.
#include <QString>
#include <vector>

#include "Sammler.h"

namespace vanta::host {

struct THostSettings {
  QString DataFolder;
  QString IniFolder;
  QString TemplateFolder;
  QString TmpFolder;
  QString UserName;
  int Visibility = 1;
  TFrmParaSettings Para;
  TFrmOnOfflineSettings OnOffline;
};

class TDeviceStore {
 public:
  explicit TDeviceStore(QString file);
  const QString& File() const { return FFile; }
  bool Load();
  bool Save() const;

  std::vector<TDeviceRec> Devices;
  THostSettings Settings;

  // Index of a network device with this address and port, -1 if none.
  int Find(const QString& ip, const QString& port) const;
  // Updates the names and type of the entries with this address when a
  // device reports its identity; true when something changed.
  bool UpdateIdentity(const QString& ip, const QString& port, uint32_t sn, TDevType type, const QString& anlage,
                      const QString& feld, const QString& geraet);

  // The default file: $VANTA_HOST_CONFIG, else the user's config folder.
  static QString DefaultFile();

 private:
  QString FFile;
};

}  // namespace vanta::host
