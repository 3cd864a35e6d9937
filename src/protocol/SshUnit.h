#pragma once
// SSH to a device through libssh: password login (with the change of an
// expired password), the host-key check against the fingerprint store, a
// direct-tcpip channel to the device's CCCI service and an interactive shell
// for Lua statements. Used by its reader thread only.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>

#include "HashManager.h"

struct ssh_session_struct;
struct ssh_channel_struct;

namespace vanta {

struct TSshParams {
  QString Host;
  int Port = 22;
  QString User;
  QString Password;
  QString ChannelHost = QStringLiteral("127.0.0.1");  // the device's CCCI service, seen from the device
  int ChannelPort = 5040;
  bool WithCCCI = true;
  int TimeoutSec = 60;
  const std::atomic<bool>* Cancel = nullptr;  // set: a connect still running gives up
};

// Host-key algorithms offered to the device: its ECDSA key only.
inline constexpr char CHostKeyAlgorithms[] = "ecdsa-sha2-nistp256,ecdsa-sha2-nistp384,ecdsa-sha2-nistp521";

class TSSHUnit {
 public:
  TSSHUnit() = default;
  ~TSSHUnit();
  TSSHUnit(const TSSHUnit&) = delete;
  TSSHUnit& operator=(const TSSHUnit&) = delete;

  // Connects, checks the host key, logs in and opens the channels. On
  // failure `error` says why and `authError` whether the login was refused.
  bool Connect(const TSshParams& params, QString& error, bool& authError);
  bool isConnected() const;
  int Fd() const;  // the socket, for readiness notifications (-1 when closed)
  void Disconnect();
  QString getLocalIP() const;

  // Non-blocking reads; append what arrived and return the count (-1: the
  // channel is gone). What the device sent before it closed the channel is
  // read first; the end is reported by the read after it.
  int ReadCCCI(QByteArray& out);
  int ReadTerminal(QByteArray& out);
  // Writes all of `bytes` as the device's window allows; `sent` (if given)
  // counts what the channel took, also when it fails. Gives up when
  // cancelled or after FWriteStallMs without room in the window.
  bool WriteChannelData(const QByteArray& bytes, qint64* sent = nullptr);
  bool WriteTerminal(const QByteArray& text);
  int FWriteStallMs = 10000;
  // Frees what the crypto library keeps for the calling thread; a thread
  // that used SSH calls it before it ends.
  static void ReleaseThreadState();
  // Waits up to `ms` for data on either channel.
  void WaitForData(int ms);
  void KeepAlive();
  // The last read ended in an error of the link (not a channel closed in order).
  bool ReadFailed() const { return FReadFailed; }

  // Asked in the reader thread; the owner moves the question to the GUI.
  std::function<TConnectHashAction(TFingerprintState state, const QString& question, const QString& fingerprint)> FOnFingerprint;
  std::function<bool(QString& newPassword)> FOnPasswordExpired;
  std::function<void(const QString& line)> FLogCB;
  THashManager FHashManager;

  // The SHA-256 fingerprint of the server's key, as the store keeps it.
  QString LastFingerprint() const { return FFingerprint; }

 private:
  void WriteLog(const QString& line) const {
    if (FLogCB) FLogCB(line);
  }
  bool CheckHostKey(const TSshParams& p, QString& error);
  // Repeats a non-blocking libssh call while it answers `again`, waiting on
  // the socket; gives up when cancelled or past the time-out (FGaveUp).
  int Await(const std::function<int()>& call, int again);
  QString GaveUpText() const;
  bool Authenticate(const TSshParams& p, QString& error, bool& authError);

  ssh_session_struct* FSSHClient = nullptr;
  ssh_channel_struct* FSSHChannel = nullptr;
  ssh_channel_struct* FSSHShell = nullptr;
  QString FFingerprint;
  bool FReadFailed = false;
  QByteArray FHeldCCCI;  // arrived while a write waited for room
  const std::atomic<bool>* FCancel = nullptr;
  int64_t FDeadline = 0;
  bool FGaveUp = false;
};

}  // namespace vanta
