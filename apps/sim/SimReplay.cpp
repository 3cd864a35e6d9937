#include "SimReplay.h"

#include <QTcpSocket>
#include <cstdio>

#include "ByteOrder.h"
#include "Ccci.h"

namespace vanta::sim {

TReplayConnection::TReplayConnection(QTcpSocket* socket, const std::vector<TTracePacket>& trace, int id)
    : QObject(socket), FSocket(socket), FTrace(trace), FId(id) {
  connect(socket, &QTcpSocket::readyRead, this, &TReplayConnection::OnReadyRead);
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  Log(QStringLiteral("replay: connected"));
}

void TReplayConnection::Log(const QString& line) const {
  std::fprintf(stderr, "vanta-sim[%d]: %s\n", FId, line.toUtf8().constData());
}

void TReplayConnection::OnReadyRead() {
  FIn += FSocket->readAll();
  while (FIn.size() >= ccci::CHeadSize) {
    const uint32_t size = GetU32At(FIn, 12);
    if (size < uint32_t(ccci::CHeadSize) || size > (128u << 20)) {
      Log(QStringLiteral("replay: frame with Size %1, connection closed").arg(size));
      FSocket->disconnectFromHost();
      return;
    }
    if (FIn.size() < qsizetype(size)) return;
    const QByteArray frame = FIn.left(size);
    FIn.remove(0, size);
    Answer(frame);
  }
}

void TReplayConnection::Answer(const QByteArray& frame) {
  auto isClient = [](const TTracePacket& p) { return p.Dir == TTraceDir::tdOut && p.Comment.isEmpty(); };
  size_t j = FNext;
  while (j < FTrace.size() && !isClient(FTrace[j])) ++j;
  if (j >= FTrace.size()) {
    Log(QStringLiteral("replay: the trace has no more requests; connection closed"));
    FSocket->disconnectFromHost();
    return;
  }
  ccci::ccc_head_t got, want;
  ccci::DecodeHead(frame, got);
  ccci::DecodeHead(FTrace[j].Bytes, want);
  if (got.CMD != want.CMD || got.ExtCmd != want.ExtCmd)
    Log(QStringLiteral("replay: client sent %1/%2, the trace has %3/%4 here").arg(got.CMD).arg(got.ExtCmd).arg(want.CMD).arg(want.ExtCmd));
  size_t k = j + 1;
  int sent = 0;
  for (; k < FTrace.size() && !isClient(FTrace[k]); ++k) {
    if (FTrace[k].Dir != TTraceDir::tdIn || !FTrace[k].Comment.isEmpty()) continue;
    FSocket->write(FTrace[k].Bytes);
    ++sent;
  }
  FNext = k;
  Log(QStringLiteral("replay: request %1/%2 answered with %3 frame(s)").arg(got.CMD).arg(got.ExtCmd).arg(sent));
}

}  // namespace vanta::sim
