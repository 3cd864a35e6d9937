#include "Rs232Unit.h"
#include "Language.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSerialPortInfo>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace vanta {

TRS232Unit::TRS232Unit() = default;

TRS232Unit::~TRS232Unit() {
  QString ignored;
  Disconnect(ignored);
}

QString TRS232Unit::DevicePathForNumber(int number) {
#ifdef Q_OS_WIN
  return QStringLiteral("//./com%1/").arg(number);
#else
  return QStringLiteral("/dev/ttyUSB%1").arg(number);
#endif
}

QStringList TRS232Unit::AvailablePorts() {
  QStringList out;
  for (const QSerialPortInfo& p : QSerialPortInfo::availablePorts()) out << p.systemLocation();
  out.sort();
  return out;
}

void TRS232Unit::SetPort(const QString& path) { FPort = path; }

bool TRS232Unit::IsOpen() const { return FComPort && FComPort->isOpen(); }

bool TRS232Unit::OpenPort(QString& error) {
  if (IsOpen()) return true;
  FComPort = std::make_unique<QSerialPort>();
  FComPort->setPortName(FPort);
  FComPort->setReadBufferSize(0);  // the reader takes bytes as they come
  if (!FComPort->open(QIODevice::ReadWrite)) {
    error = FComPort->errorString();
    if (FComPort->error() == QSerialPort::PermissionError)
      error += TTr::tr(" (belegt oder keine Berechtigung)");
    FComPort.reset();
    return false;
  }
  FComPort->setBaudRate(QSerialPort::Baud9600);
  FComPort->setDataBits(QSerialPort::Data8);
  FComPort->setParity(QSerialPort::NoParity);
  FComPort->setStopBits(QSerialPort::OneStop);
  FComPort->setFlowControl(QSerialPort::NoFlowControl);
  // Not every device (a pseudo-terminal, say) has the modem lines.
  FComPort->setDataTerminalReady(true);
  FComPort->setRequestToSend(true);
  FComPort->clearError();
  ClearBuffer();
  return true;
}

bool TRS232Unit::CheckConnection() const {
  if (!IsOpen()) return false;
  const QSerialPort::SerialPortError e = FComPort->error();
  if (e == QSerialPort::ResourceError || e == QSerialPort::DeviceNotFoundError) return false;
#ifdef Q_OS_UNIX
  // A pulled adapter (or the other end of a pseudo-terminal) shows as a
  // hang-up on the handle before any read fails.
  pollfd p{int(FComPort->handle()), POLLIN, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
#endif
  return true;
}

void TRS232Unit::ClearBuffer() {
  if (IsOpen()) FComPort->clear(QSerialPort::AllDirections);
}

bool TRS232Unit::WriteData(const QByteArray& data, qint64& count, const std::function<void(qint64)>& progress,
                           QString& error) {
  count = 0;
  if (!IsOpen()) {
    error = TTr::tr("Port nicht offen");
    return false;
  }
  while (count < data.size()) {
    const qint64 piece = qMin<qint64>(CSerialPiece, data.size() - count);
    if (FComPort->write(data.constData() + count, piece) != piece) {
      error = FComPort->errorString();
      return false;
    }
    // 10 ms per byte plus 100 ms, as the port's write time-out; waited for
    // in short steps so that a stop request is seen.
    const qint64 limit = piece * FWriteMsPerByte + 100;
    QElapsedTimer waited;
    waited.start();
    while (FComPort->bytesToWrite() > 0) {
      if (FCancel && FCancel->load()) {
        error = TTr::tr("abgebrochen");
        return false;
      }
      if (!FComPort->waitForBytesWritten(100)) {
        const QSerialPort::SerialPortError e = FComPort->error();
        if (e != QSerialPort::TimeoutError && e != QSerialPort::NoError) {
          error = FComPort->errorString();
          return false;
        }
        FComPort->clearError();
        if (waited.elapsed() > limit) {
          error = TTr::tr("Zeitüberschreitung beim Schreiben");
          return false;
        }
      }
    }
    count += piece;
    if (progress) progress(count);
  }
  return true;
}

QByteArray TRS232Unit::ReadData(QString& error, int timeoutMs) {
  if (!IsOpen()) return {};
  if (FComPort->bytesAvailable() == 0 && timeoutMs > 0) FComPort->waitForReadyRead(timeoutMs);
  const QByteArray got = FComPort->read(CSerialPiece);
  const QSerialPort::SerialPortError e = FComPort->error();
  if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError) error = FComPort->errorString();
  if (e == QSerialPort::TimeoutError) FComPort->clearError();
  return got;
}

bool TRS232Unit::Disconnect(QString& error) {
  if (!FComPort) return true;
  if (FComPort->isOpen()) FComPort->close();
  const bool ok = FComPort->error() == QSerialPort::NoError || FComPort->error() == QSerialPort::ResourceError;
  if (!ok) error = FComPort->errorString();
  FComPort.reset();
  return ok;
}

}  // namespace vanta
