#include "RsComUnit.h"

#include <QSerialPort>
#include <QTimer>

#include "LogFormat.h"
#include "Language.h"

namespace vanta {

using namespace ccci;

namespace {
constexpr int CWatchMs = 200;  // how often a quiet port is checked for a pulled device
}

// ---- backend ------------------------------------------------------------------------------

TSerialBackend::~TSerialBackend() { Close(); }

TLinkBackend::TOpen TSerialBackend::Open(TLinkSink& sink, QString& error, bool&, QString&) {
  FSink = &sink;
  FRSClient.SetPort(FPath);
  if (!FRSClient.OpenPort(error)) {
    error = TTr::tr("RS232: %1 nicht geöffnet: %2").arg(FPath, error);
    return TOpen::opFailed;
  }
  QSerialPort* port = FRSClient.Port();
  QObject::connect(port, &QSerialPort::readyRead, port, [this] { FSink->Readable(); });
  QObject::connect(port, &QSerialPort::errorOccurred, port, [this](QSerialPort::SerialPortError e) {
    if (e == QSerialPort::ResourceError || e == QSerialPort::DeviceNotFoundError) FSink->Readable();
  });
  FWatch = new QTimer();
  QObject::connect(FWatch, &QTimer::timeout, FWatch, [this] {
    if (!FRSClient.CheckConnection()) FSink->Readable();
  });
  FWatch->start(CWatchMs);
  return TOpen::opOpened;
}

bool TSerialBackend::Read(QByteArray& into) {
  QSerialPort* port = FRSClient.Port();
  if (!port) return false;
  for (;;) {
    const qint64 avail = qMin<qint64>(port->bytesAvailable(), CSerialPiece);
    if (avail <= 0) break;
    const qsizetype old = into.size();
    into.resize(old + qsizetype(avail));
    const qint64 got = port->read(into.data() + old, avail);
    into.resize(old + qsizetype(qMax<qint64>(0, got)));
    if (got <= 0) break;
    FSink->Log(QStringLiteral("ReadCnt: %1").arg(got), false);
  }
  if (FRSClient.CheckConnection()) return true;
  FSink->Log(port->errorString(), true);
  return false;
}

bool TSerialBackend::Write(const QByteArray& frame, bool, QString& error, qint64& sent) {
  qint64 count = 0;
  const bool ok = FRSClient.WriteData(frame, count, [this](qint64 n) { FSink->WriteProgress(n); }, error);
  sent = count;
  FSink->Log(F("Sending %d / %d Bytes - success: %s", int(count), int(frame.size()), ok ? "True" : "False"), false);
  return ok;
}

void TSerialBackend::Close() {
  delete FWatch;
  FWatch = nullptr;
  FRSClient.ClearBuffer();  // purged before it is closed
  QString error;
  if (!FRSClient.Disconnect(error) && FSink) FSink->Log(QStringLiteral("Thread Disconnect success: False Err: ") + error, true);
}

// ---- reader and client -----------------------------------------------------------------------

TIdReadThreadRS::TIdReadThreadRS(TRSComUnit* client)
    : TIdReadThread(client, std::make_unique<TSerialBackend>(&FStop)) {}

TRSComUnit::TRSComUnit(QObject* parent, TNowFunc now, const TDeviceDefaults& defaults)
    : TLinkComUnit(parent, std::move(now), defaults) {
  CreateThread(false);
}

TRSComUnit::~TRSComUnit() {
  FOnLogCallBack = nullptr;
  StopReader();
}

void TRSComUnit::CreateThread(bool) {
  WriteLog(QStringLiteral("Create Thread"));
  StartReader(new TIdReadThreadRS(this));
}

void TRSComUnit::SetComPort(int number) { SetPortPath(TRS232Unit::DevicePathForNumber(number)); }

void TRSComUnit::SetPortPath(const QString& path) {
  FRSPort = path;
  FIP.clear();
}

void TRSComUnit::DoConnect() {
  FErrorReported = false;
  FWanted = false;
  auto* r = static_cast<TIdReadThreadRS*>(FReadThread);
  const QString path = FRSPort;
  QMetaObject::invokeMethod(r, [r, path] { r->Serial().FPath = path; }, Qt::QueuedConnection);
  ConnectReader();
}

void TRSComUnit::StartSession(bool withLogin) {
  if (withLogin) {
    SendStartCommand(0, FSSHUser.toLatin1(), FSSHPassword.toLatin1());
  } else {
    FVer = 4;
    SendCommand(TCcci::SESSION_STR_ADV);
  }
}

void TRSComUnit::ReadData(TMemoryStream& frame) {
  if (frame.Size() < CHeadSize) return;
  WorkEvent(TWorkMode::wmRead, frame.Size(), TWorkStatus::WorkWorking);
  TLinkComUnit::ReadData(frame);
  WorkEvent(TWorkMode::wmRead, frame.Size(), TWorkStatus::WorkWorking);
}

void TRSComUnit::DoDisconnect(bool) {
  WriteLog(QStringLiteral("Do Disconnect"));
  FWanted = true;
  DisconnectReader(true);
  WriteLog(QStringLiteral("Thread Disconnect success: True Err: "));
  if (FShutDownComplete) {
    TShutDownComplete done = std::move(FShutDownComplete);
    FShutDownComplete = nullptr;
    FOnLogCallBack = nullptr;
    done(this);
  }
}

void TRSComUnit::UploadCallback(int64_t count) { WorkEvent(TWorkMode::wmWrite, count, TWorkStatus::WorkWorking); }

void TRSComUnit::OnLinkOpened(const QString&) { WriteLog(QStringLiteral("RS232: %1 geöffnet").arg(FRSPort)); }  // untranslated

void TRSComUnit::OnLinkOpenFailed(const QString& why, bool) { WriteLog(why, true); }

void TRSComUnit::OnLinkLost(const QString& why) {
  ClearStreamAndBuffer();
  FailFileRequest(ConnectionLostText(), false);
  if (FWanted) return;
  if (!why.isEmpty()) WriteLog(why, true);
  OnError(this, ConnectionLostText());
}

void TRSComUnit::OnError(QObject*, const QString& text) {
  WriteLog(QStringLiteral("RSUnit Error: ") + text, true);
  if (FErrorReported) return;  // the loss of the device is told once
  FErrorReported = true;
  ShowMessage(UsbLostText(), TMsgDlgType::mtError, {});
  DisconnectReader(false);
  FTimer->stop();
  if (FClearWork) FClearWork();
  if (FRequestClose) FRequestClose(this);
}

}  // namespace vanta
