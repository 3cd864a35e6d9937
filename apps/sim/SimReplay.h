#pragma once
// The device side of a recorded session (vanta-cli --trace), played back to
// a client: every frame the client sends is matched to the next frame the
// client sent in the trace, and the device frames that followed it there
// are sent back. So a field problem can be reproduced from a customer's
// trace without the device.
#include <QByteArray>
#include <QObject>
#include <vector>

#include "Pcapng.h"

class QTcpSocket;

namespace vanta::sim {

class TReplayConnection : public QObject {
  Q_OBJECT
 public:
  TReplayConnection(QTcpSocket* socket, const std::vector<TTracePacket>& trace, int id);

 private:
  void OnReadyRead();
  void Answer(const QByteArray& frame);
  void Log(const QString& line) const;
  QTcpSocket* FSocket;
  const std::vector<TTracePacket>& FTrace;
  size_t FNext = 0;
  QByteArray FIn;
  int FId;
};

}  // namespace vanta::sim
