#pragma once
// The serial transport: TRSComUnit on the GUI thread over the shared reader
// (ReadThread.h); the backend is the port (TRS232Unit), read as bytes come,
// written in 40960-byte pieces with progress.
#include <QObject>

#include "ReadThread.h"
#include "Rs232Unit.h"

class QTimer;

namespace vanta {

class TRSComUnit;

class TSerialBackend : public TLinkBackend {
 public:
  explicit TSerialBackend(const std::atomic<bool>* cancel) { FRSClient.FCancel = cancel; }
  ~TSerialBackend() override;
  QString FPath;
  TRS232Unit FRSClient;
  TOpen Open(TLinkSink& sink, QString& error, bool& authError, QString& local) override;
  bool Read(QByteArray& into) override;
  bool Write(const QByteArray& frame, bool isLua, QString& error, qint64& sent) override;
  void Close() override;
  bool IsConnected() const override { return FRSClient.CheckConnection(); }
  void Purge() override { FRSClient.ClearBuffer(); }
  bool WriteFailureIsFatal() const override { return true; }

 private:
  TLinkSink* FSink = nullptr;
  QTimer* FWatch = nullptr;
};

class TIdReadThreadRS : public TIdReadThread {
  Q_OBJECT
 public:
  explicit TIdReadThreadRS(TRSComUnit* client);
  TSerialBackend& Serial() { return static_cast<TSerialBackend&>(Backend()); }
};

class TRSComUnit : public TLinkComUnit {
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
  void ReadData(TMemoryStream& frame) override;
  void DoDisconnect(bool notify) override;
  // A stalled stream on the serial line is not restarted.
  void StreamErrorsSearch() override {}
  void OnError(QObject* Sender, const QString& text);
  void UploadCallback(int64_t count);

  void OnLinkOpened(const QString& localAddress) override;
  void OnLinkOpenFailed(const QString& why, bool authError) override;
  void OnLinkLost(const QString& why) override;

  QString FRSPort;

 private:
  bool FErrorReported = false;
  bool FWanted = false;
};

inline QString UsbLostText() { return TTr::tr("Die USB Verbindung wurde getrennt!"); }

}  // namespace vanta
