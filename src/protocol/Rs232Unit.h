#pragma once
// One serial (USB) port with the fixed settings of the devices: 9600 baud,
// 8 data bits, no parity, 1 stop bit, DTR and RTS on, 100 ms read time-out,
// 40960-byte pieces. POSIX terminal interface; the class is the one place a
// Windows build replaces.
#include <QByteArray>
#include <QString>
#include <functional>

namespace vanta {

inline constexpr int CSerialPiece = 40960;

class TRS232Unit {
 public:
  TRS232Unit() = default;
  ~TRS232Unit();
  TRS232Unit(const TRS232Unit&) = delete;
  TRS232Unit& operator=(const TRS232Unit&) = delete;

  // The platform's device name of a numbered port ("//./comN/" on Windows).
  static QString DevicePathForNumber(int number);
  void SetPort(const QString& path);
  bool OpenPort(QString& error);
  // True while the port is open and the device is still there.
  bool CheckConnection() const;
  void ClearBuffer();
  // Writes in pieces of at most 40960 bytes; `progress` gets the total after each.
  bool WriteData(const QByteArray& data, qint64& count, const std::function<void(qint64)>& progress, QString& error);
  // Reads what arrives within the read time-out (up to 40960 bytes).
  QByteArray ReadData(QString& error);
  bool Disconnect(QString& error);
  const QString& Port() const { return FPort; }
  bool IsOpen() const { return FHandle >= 0; }

 private:
  int FHandle = -1;
  QString FPort;
};

}  // namespace vanta
