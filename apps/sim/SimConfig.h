#pragma once
// Start-up configuration of the simulated device: command line, optional ini
// file, users file and fault list.
#include <QString>
#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <cstdint>
#include <vector>

#include "TimeStamps.h"

namespace vanta::sim {

struct TSimUser {
  QString Name;
  QString Password;
  QStringList Rights;  // "*" grants every right
  bool HasRight(const QString& right) const { return Rights.contains(QStringLiteral("*")) || Rights.contains(right); }
};

// Named failure modes for tests of the client's robustness.
struct TSimFaults {
  int64_t CloseAfterBytes = -1;  // close the connection after sending this many bytes
  int StallCmd = -1;             // never answer requests with this CMD (-2: any)
  bool NakSetup = false;         // refuse every setup write
  bool NakScratchpad = false;    // refuse every scratchpad write
  bool SplitWrites = false;      // send answers one byte per write
  bool Coalesce = false;         // hold answers and send several in one write
  int UnknownCmdAfter = -1;      // answer the N-th request (1-based) with an unknown CMD
  uint32_t RecordLengthObj = 0;  // stream records of this object ...
  int RecordLength = -1;         // ... cut or zero-padded to this length
  bool FwKeepVersion = false;     // an update "succeeds" but the device restarts with its old firmware
  int64_t ScratchpadQuota = -1;  // refuse scratchpad writes beyond this many bytes in the folder
};

struct TSimConfig {
  QString Bind = QStringLiteral("127.0.0.1");
  uint16_t Port = 5040;
  QString Root;
  uint32_t SerialNumber = 12345678;
  uint32_t Article = 1197500;
  uint32_t ProdDate = 1609459200;  // 2021-01-01
  int FwMajor = 2, FwMinor = 10, FwPatch = 0;
  int Generation = 1;
  int64_t FirmwareWord = -1;  // explicit raw word (old firmware tests); -1: from version and generation
  int Protocol = 5;
  QString UsersFile;
  int MaxConnections = 2;
  QString ConfigFile;
  QString Plant = QStringLiteral("Umspannwerk Nord");
  QString Field = QStringLiteral("Feld 3");
  QString Device = QStringLiteral("Vanta Sim");
  time_set_t TimeSet;
  QString FtpUser = QStringLiteral("ccci");
  QString FtpPassword = QStringLiteral("ccci-ftp");
  QString CalState = QStringLiteral("Calibration ok");  // every channel's answer (unless "Calibration ok": computed)
  QMap<int, QString> CalChannelState;                  // --cal-state CH:TEXT
  QMap<QString, QString> CalFaults;                    // --cal-fault FUNC=TEXT
  bool CalSource = false;                              // --cal-source U:I:F
  int CalDelayMs = 0;                                  // --cal-delay-ms: each calibration function works this long
  double CalSourceU = 0, CalSourceI = 0, CalSourceF = 0;
  int TextStreamIntervalMs = 30000;
  int NtpIntervalMs = 3000;
  TSimFaults Faults;
  std::vector<TSimUser> Users;
  QStringList ExpiredUsers;
  QList<QPair<QString, QString>> StatusExtra;  // merged into uti.stat()
  int FwFailCode = 0;     // uti.fwUpdate answers this code instead of success
  int FwInstallMs = 0;    // uti.fwUpdate works this long before it answers
  int RebootMs = 3000;    // connections refused while restarting after an update
  bool NoStat = false;                         // firmware without uti.stat
  int BinaryInputs = 8;                        // inputs in a binary-input record (0, 8, 12, ...)
  int BinaryIntervalMs = 1000;                 // states change every this many ms (input i at (i+1) periods)  // must change their password at the next SSH login
  // Bytes per second each connection may send (0: as fast as the socket
  // takes them); a device's link is slow, and clients must cope with that.
  int64_t RateBytesPerSec = 0;
  // 0 is the documented default record set; any other value varies the
  // default events (count, times, values) so that simulated devices serving
  // side by side do not all hold the same content.
  uint32_t ContentSeed = 0;

  uint32_t RawFirmwareWord() const;
  const TSimUser* FindUser(const QString& name) const;
};

// Parses "name[=value]" fault specs; false with a reason for a bad one.
bool ParseFault(const QString& spec, TSimFaults& faults, QString& error);
// Users file: one "name:password:right,right" per line, '#' starts a comment.
bool LoadUsers(const QString& path, std::vector<TSimUser>& users, QString& error);
// "dotted.key=value" lines (blank lines and '#' comments skipped).
bool LoadStatusExtra(const QString& path, QList<QPair<QString, QString>>& extra, QString& error);
// Ini file with [device], [time] and [ntp] sections.
bool LoadConfigFile(const QString& path, TSimConfig& cfg, QString& error);
// Users a fresh device knows: the configured default login with every right,
// an operator and a guest with few rights.
std::vector<TSimUser> DefaultUsers();

}  // namespace vanta::sim
