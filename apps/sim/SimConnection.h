#pragma once
// One client connection of the simulated device: cuts request frames from the
// byte stream, answers them as the device does, runs the NTP tunnel and the
// device text stream, and applies the configured faults.
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

#include "Ccci.h"
#include "SimDevice.h"
#include "SimLua.h"

namespace vanta::sim {

class TSimConnection : public QObject {
  Q_OBJECT
 public:
  // Ends the connection (the device side hangs up).
  void Close(const QString& why);
  TSimConnection(TSimDevice& device, QTcpSocket* socket, int id, QObject* parent = nullptr);
  // A serial line: the master side of a pseudo-terminal.
  TSimConnection(TSimDevice& device, int ptyMasterFd, int id, QObject* parent = nullptr);
  ~TSimConnection() override;

 signals:
  void Finished(TSimConnection* self);

 private:
  void OnReadyRead();
  void HandleFrame(const QByteArray& frame);
  void HandleSession(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleIdentity(const ccci::ccc_head_t& h);
  void HandleSetup(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleStream(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleReadout(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleLua(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleScratchpad(const ccci::ccc_head_t& h, const QByteArray& frame);
  void HandleNtp(const ccci::ccc_head_t& h, const QByteArray& frame);

  ccci::THeaderContext Ctx(const ccci::ccc_head_t* request = nullptr);
  void Send(const QByteArray& frame);
  void Nak(const ccci::ccc_head_t& h, uint32_t code, const QString& text);
  void Write(const QByteArray& bytes);
  // The socket or line itself, without faults or pacing.
  void RawWrite(const QByteArray& bytes);
  // Sends what the token bucket allows of the paced bytes and sets the
  // timer for the rest.
  void PumpPaced();
  void Flush();
  void Log(const QString& line) const;
  void SendNtpRequest();
  void SendTextStream();
  bool StartSession(const QString& user, int level, uint16_t ver);
  // The file answer of a setup read, packed as the request's flags ask.
  bool PackSetup(const QString& local, uint16_t flags, QByteArray& out, QString& error);

  TSimDevice& FDevice;
  void Setup();
  void EndSession();
  QPointer<QTcpSocket> FSocket;
  int FPty = -1;  // serial line (master fd) instead of a socket
  class QSocketNotifier* FPtyNotifier = nullptr;
  int FId;
  QByteArray FIn;
  QByteArray FPendingOut;  // coalesced answers
  QTimer FCoalesceTimer;
  QTimer FNtpTimer;
  QTimer FTextTimer;
  int64_t FBytesSent = 0;
  uint32_t FSeq = 0;
  int FRequests = 0;
  bool FSession = false;
  bool FCounted = false;
  uint16_t FVer;
  QString FUser;
  int FLevel = 0;
  std::unique_ptr<TSimLua> FLua;
  QHash<uint32_t, uint32_t> FStreams;  // handle -> object id
  uint32_t FNextHandle = 2;
  bool FNtpOpen = false;
  QByteArray FLastNtpTransmit;
  bool FClosing = false;
  // --rate: a token bucket on the sending side. The bucket holds at most a
  // twentieth of a second's worth, so a long answer leaves at the link's
  // speed; the timer wakes once half a bucket has been earned, never spins.
  QByteArray FPaced;
  QTimer FRateTimer;
  QElapsedTimer FRateClock;
  double FRateTokens = 0;
  bool FCloseWhenPaced = false;  // the close-after fault fires once its bytes are out
};

}  // namespace vanta::sim
