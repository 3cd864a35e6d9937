#pragma once
// The fault matrix's fixture: vanta-cli against the simulator through a
// misbehaving proxy, each run held to a deadline (no hang, no crash).
#include <QElapsedTimer>

#include "CliSupport.h"
#include "FaultProxy.h"

namespace vanta::test::cli {

class FaultTest : public CliTest {
 protected:
  TRun Through(TFaultProxy& proxy, const QStringList& args, int deadlineMs = 25000, int timeoutSec = 8) {
    QElapsedTimer t;
    t.start();
    const TRun r =
        RunCli(QStringList{QStringLiteral("--port"), QString::number(proxy.Port), QStringLiteral("--data-dir"),
                           Data.path(), QStringLiteral("--timeout"), QString::number(timeoutSec)} +
                   args,
               deadlineMs + 5000);
    EXPECT_LT(t.elapsed(), deadlineMs) << "no hang";
    EXPECT_NE(r.Exit, -1) << "no crash";
    return r;
  }
  QString Noise(qsizetype n) {
    QByteArray b(n, '\0');
    for (qsizetype i = 0; i < n; ++i) b[i] = char((i * 7919 + i / 251) & 0xFF);
    return QString::fromLatin1(b.toBase64());
  }
};

}  // namespace vanta::test::cli
