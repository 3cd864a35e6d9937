#pragma once
// One serial (USB) port with the fixed settings of the devices: 9600 baud,
// 8 data bits, no parity, 1 stop bit, DTR and RTS on; reads and writes in
// pieces of at most 40960 bytes, writes bounded by 10 ms per byte plus
// 100 ms. Built on Qt SerialPort, which opens the port exclusively (a lock
// file besides the driver's own exclusivity, so even a second window of the
// same user cannot share it) and runs on every platform.
//
// The class works both ways: driven by the reader thread's event loop
// (Port()'s readyRead) and synchronously (ReadData waits up to 100 ms).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

class QSerialPort;

namespace vanta {

inline constexpr int CSerialPiece = 40960;
inline constexpr int CSerialReadTimeoutMs = 100;

class TRS232Unit {
 public:
  TRS232Unit();
  ~TRS232Unit();
  TRS232Unit(const TRS232Unit&) = delete;
  TRS232Unit& operator=(const TRS232Unit&) = delete;

  // The platform's device name of a numbered port ("//./comN/" on Windows).
  static QString DevicePathForNumber(int number);
  // The serial ports this computer has now (USB adapters, ACM modems).
  static QStringList AvailablePorts();
  void SetPort(const QString& path);
  bool OpenPort(QString& error);
  // True while the port is open and the device is still there.
  bool CheckConnection() const;
  void ClearBuffer();
  // Writes in pieces of at most 40960 bytes; `progress` gets the total after each.
  bool WriteData(const QByteArray& data, qint64& count, const std::function<void(qint64)>& progress, QString& error);
  // Reads what arrives within the read time-out (up to 40960 bytes).
  QByteArray ReadData(QString& error, int timeoutMs = CSerialReadTimeoutMs);
  bool Disconnect(QString& error);
  const QString& PortName() const { return FPort; }
  bool IsOpen() const;
  QSerialPort* Port() const { return FComPort.get(); }
  // Set: a write still running gives up (the reader is being stopped).
  const std::atomic<bool>* FCancel = nullptr;
  // Write time-out of a piece: this many ms per byte plus 100 ms.
  int FWriteMsPerByte = 10;

 private:
  std::unique_ptr<QSerialPort> FComPort;
  QString FPort;
};

}  // namespace vanta
