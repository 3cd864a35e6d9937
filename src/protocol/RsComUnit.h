#pragma once
// The serial transport: TRSComUnit on the GUI thread and its reader thread,
// which alone touches the port: it reads in 40960-byte pieces, cuts frames,
// writes one queued frame at a time and notices when the device is gone.
#include <QThread>
#include <atomic>
#include <deque>
#include <mutex>

#include "ComUnit.h"
#include "FrameCutter.h"
#include "Rs232Unit.h"

namespace vanta {

class TRSComUnit;

class TIdReadThreadRS : public QThread {
 public:
  explicit TIdReadThreadRS(TRSComUnit* client);
  ~TIdReadThreadRS() override;

  void SetPort(const QString& path);
  void Begin();  // (re)starts the loop
  void Enqueue(QByteArray frame);
  void ClearQueue();
  void Stop();  // bounded: asks the loop to end and waits for it

  std::atomic<bool> FConnected{false};
  std::atomic<bool> FDoClearBuffer{false};

 protected:
  void run() override;

 private:
  void Log(const QString& line, bool toMemo = false);
  void Clearbuffer();
  void ReadData(const QByteArray& first);
  bool SendCommandStream();

  TRSComUnit* FClient;
  TRS232Unit FRSClient;
  QString FPath;
  TFrameCutter FreadStream;
  std::mutex FQueueLock;
  std::deque<QByteArray> FSendQueue;
  std::atomic<bool> FStop{false};
  bool FWasConnected = false;
};

class TRSComUnit : public TComUnit {
  Q_OBJECT
 public:
  explicit TRSComUnit(QObject* parent = nullptr, TNowFunc now = {},
                      const TDeviceDefaults& defaults = TDeviceDefaults::FromEnvironment());
  ~TRSComUnit() override;

  // A numbered port or a device path.
  void SetComPort(int number);
  void SetPortPath(const QString& path);
  void DoConnect();
  // Starts the session as the serial set-up does: the protocol-5 start with
  // the stored login, or the protocol-4 start.
  void StartSession(bool withLogin);

  void CreateThread(bool IsSSH) override;
  bool IsConnected() const override;
  bool SendCommandStream(const QByteArray& frame, bool IsLua) override;
  void ReadData(TMemoryStream& frame) override;
  void DoDisconnect(bool notify) override;
  void WorkEvent(TWorkMode mode, int64_t count, TWorkStatus status) override;
  void OnError(QObject* Sender, const QString& text);
  void UploadCallback(int64_t count);
  void DeliverFrame(const QByteArray& frame);

  QString FRSPort;
  std::function<void(TWorkMode mode, int64_t count, TWorkStatus status)> FOnWorkEvent;

 private:
  TIdReadThreadRS* FReadThread = nullptr;
  bool FErrorReported = false;
};

inline const QString CUsbLostText = QStringLiteral("Die USB Verbindung wurde getrennt!");

}  // namespace vanta
