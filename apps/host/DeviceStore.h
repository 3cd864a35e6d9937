#pragma once
// The host's device list and settings, kept in an ini file that survives
// restarts.
#include <QString>
#include <vector>

#include "Sammler.h"

namespace vanta::host {

// A device entry of the host: the shared record plus how the host opens it.
// The defaults are those of entries written before these settings existed.
struct THostDevice : TDeviceRec {
  bool UseFTP = false;
  bool CheckXMLVersions = true;
  // Serial only: start the session with the login (protocol 5) instead of
  // the protocol-4 start, which needs none.
  bool SerialLogin = false;
  // Empty user: the device's factory login. A password for the user is kept
  // in the desktop's secret store (TSecretStore, under PasswordKey), never
  // in the file; without one it is asked when a connection needs it.
  QString SshUser;
  // In memory only: a password typed in the device dialog on its way to the
  // secret store. Save() never writes it.
  QString SshPassword;
  // A password an older version kept in clear text in the file, until
  // MovePasswordsTo() has moved it into the secret store. It is not used to
  // log in; it only waits there so that nothing is lost while no secret
  // store is available.
  QString OldPassword;
  bool operator==(const THostDevice&) const = default;
};

struct THostSettings {
  QString DataFolder;
  QString IniFolder;
  QString TemplateFolder;
  QString TmpFolder;
  // Protocol traces: every device window records its frames into a pcapng
  // file here when set (empty: no traces).
  QString TraceFolder;
  QString UserName;
  int Visibility = 1;
  // How long the windows wait for a device that works without answering:
  // the update call (it installs meanwhile), one calibration step, and the
  // device coming back after an update's restart. Minutes.
  int UpdateWaitMin = 20;
  int CalibStepWaitMin = 2;
  int ComebackWaitMin = 5;
  TFrmParaSettings Para;
  TFrmOnOfflineSettings OnOffline;
  // Version of the mapping database in IniFolder, so that a device with the
  // same version is not asked for it again.
  uint32_t MappingDbVersion = 0;
  QString Language;  // "de", "en", or empty: the system locale
};

class TSecretStore;

// The key of an entry's login password in the secret store: who logs in
// where. `user` is the effective user (the command line's may replace the
// entry's).
QString PasswordKey(const THostDevice& d, const QString& user);
inline QString PasswordKey(const THostDevice& d) { return PasswordKey(d, d.SshUser); }

// What MovePasswordsTo() did.
struct TPasswordMove {
  int Moved = 0;    // now in the secret store and gone from the file
  int Kept = 0;     // still in the file (no secret store, or it refused)
  QString Message;  // for the log; empty when there was nothing to move
};

class TDeviceStore {
 public:
  explicit TDeviceStore(QString file);
  const QString& File() const { return FFile; }
  bool Load();
  bool Save() const;

  std::vector<THostDevice> Devices;
  THostSettings Settings;

  // Index of a network device with this address and port, -1 if none.
  int Find(const QString& ip, const QString& port) const;
  // Index of a serial device on this port, -1 if none.
  int FindSerial(const QString& port) const;
  // Updates the serial number, names and type of the entries reached the
  // same way (a network device by address and port, a serial one by its
  // port) when a device reports its identity; true when something changed.
  bool UpdateIdentity(const QString& ip, const QString& port, uint32_t sn, TDevType type, const QString& anlage,
                      const QString& feld, const QString& geraet, bool serial = false);

  // Moves the clear-text passwords of an older file (OldPassword) into
  // `secrets` and rewrites the file without them. Without a secret store the
  // file stays as it is and they wait for a later start.
  TPasswordMove MovePasswordsTo(const TSecretStore& secrets);
  int OldPasswordCount() const;

  // The default file: $VANTA_HOST_CONFIG, else the user's config folder.
  static QString DefaultFile();

 private:
  QString FFile;
};

}  // namespace vanta::host
