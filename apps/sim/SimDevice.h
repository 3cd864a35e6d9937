#pragma once
// State of the simulated device shared by all its connections: identity,
// users and tickets, clock, device log, front panel, calibration, NTP
// statistics and the connection count.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <cstdint>

#include "Ccci.h"
#include "SimConfig.h"
#include "SimSignals.h"
#include "SimStorage.h"

namespace vanta::sim {

class TSimDevice {
 public:
  TSimDevice(TSimConfig& cfg, TSimStorage& storage);

  TSimConfig& Config;
  TSimStorage& Storage;
  TSimNetwork Network;

  // Device clock (Unix seconds, UTC): the computer's clock plus the offset
  // that uti.setTime and friends apply.
  int64_t ClockOffsetSec = 0;
  uint32_t NowSec() const;
  tmStamp_t Now() const;

  ccci::TIdentityBasic IdentityBasic() const;
  ccci::TIdentityFull IdentityFull() const;

  // Users and tickets.
  bool CheckPassword(const QString& user, const QString& password) const;
  QByteArray IssueTicket(const QString& user);
  bool CheckTicket(const QString& user, const QByteArray& ticket) const;
  QString TicketFile() const;
  void ChangePassword(const QString& user, const QString& password);

  // Device log (logd.log in the data folder).
  void Log(const QString& line);

  // Connections with a session.
  int ActiveSessions = 0;
  int Connections = 0;

  // Front panel and display.
  QString LastKey;
  int KeyPresses = 0;

  // Calibration.
  bool CalOpen = false;
  double CalFreq = 0;
  bool CalZeroU = false, CalZeroI = false, CalUDone = false, CalIDone = false, CalKept = false;
  double CalU = 0, CalI = 0;
  int CalStatements = 0;

  // NTP tunnel statistics (what the device saw in the replies).
  int NtpRequests = 0;
  int NtpGoodReplies = 0;
  int NtpBadReplies = 0;
  QString NtpLastVerdict;

  // Firmware update: the device restarts after a successful update call.
  // The main program closes every connection, refuses new ones for the
  // configured time and comes back with the new firmware.
  void RequestReboot(const QString& version);
  std::function<void(const QString& version)> OnReboot;
  std::atomic<bool> Rebooting{false};
  std::atomic<int> RebootEpoch{0};  // SSH sessions end when it changes
  int FwUpdates = 0;

  // Event counter for pq.triggerRec / pq.getEvtOscHpCnt.
  int TriggeredEvents = 0;
  bool FtpOpen = false;
  int64_t StartedAt = 0;

 private:
  QHash<QString, QByteArray> FTickets;
};

}  // namespace vanta::sim
