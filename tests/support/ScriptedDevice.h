#pragma once
// A device played by the test over a real socket: it takes one connection
// at a time and answers as the test says; and a TCP client set up against
// it with a hand-driven clock, a log and the messages it would show.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>
#include <utility>
#include <vector>

#include "Ccci.h"
#include "TcpComUnit.h"
#include "TestSupport.h"

namespace vanta::test {

struct TScriptedDevice {
  QTcpServer Server;
  QTcpSocket* Peer = nullptr;
  QByteArray Received;
  TScriptedDevice() {
    Server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&Server, &QTcpServer::newConnection, [this] {
      Peer = Server.nextPendingConnection();
      QObject::connect(Peer, &QTcpSocket::readyRead, [this] { Received += Peer->readAll(); });
    });
  }
  int Requests() const { return int(Received.size() / ccci::CHeadSize); }
};

struct TScriptedClient {
  TFakeClock Clock;
  std::unique_ptr<TTCPComUnit> U;
  QStringList Log, Messages;
  std::vector<std::pair<TWorkStatus, int64_t>> Reads;
  explicit TScriptedClient(uint16_t port) {
    U = std::make_unique<TTCPComUnit>(false, nullptr, Clock.Func());
    U->FAutoSessionStart = false;
    U->FOnLogCallBack = [this](QObject*, const QString& l, bool) { Log << l; };
    U->FDisplayConnMessage = [this](const QString& t, TMsgDlgType, TThreadedMessageCallBack&, TMsgDlgButtons, TMsgDlgBtn) {
      Messages << t;
    };
    U->FOnWorkEvent = [this](TWorkMode m, int64_t n, TWorkStatus s) {
      if (m == TWorkMode::wmRead) Reads.push_back({s, n});
    };
    U->SetIPAndPort(QStringLiteral("127.0.0.1"), port);
    U->DoConnect();
  }
  ~TScriptedClient() {
    if (U) U->FOnLogCallBack = nullptr;
  }
  bool Logged(const QString& l) const { return Log.contains(l); }
  bool LoggedStart(const QString& prefix) const {
    for (const QString& l : Log)
      if (l.startsWith(prefix)) return true;
    return false;
  }
};

// The header of an answer of `size` bytes whose payload the test sends itself.
inline QByteArray BigAnswerHead(uint32_t size) {
  ccci::THeaderContext ctx;
  QByteArray f;
  ccci::EncodeHead(f, ccci::MakeHead(ctx, 3, 0, 1, size));
  return f;
}

// Connects, arms the transfer timer and waits until the device has the
// request, so each case starts with one command in flight.
inline void SendAndAwait(TScriptedDevice& dev, TScriptedClient& c, ccci::TCcci cmd) {
  ASSERT_TRUE(SpinUntil([&] { return c.U->IsConnected() && dev.Peer; }));
  c.U->EnableTimer(true);
  c.U->SendCommand(cmd);
  ASSERT_TRUE(SpinUntil([&] { return dev.Requests() == 1; }));
}

}  // namespace vanta::test
