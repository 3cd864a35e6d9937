#pragma once
// vanta-cli runs against a simulator started per test: the process runner,
// the one-JSON-document check and the fixture the command tests share.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <functional>

#include "SimProcess.h"

namespace vanta::test::cli {

struct TRun {
  int Exit = -1;
  QString Out;
  QString Err;
};

inline QByteArray ReadAll(const QString& p) {
  QFile f(p);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void WriteAll(const QString& p, const QByteArray& b) {
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(b);
}

inline TRun RunCli(const QStringList& args, int timeoutMs = 30000,
                   const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(VANTA_CLI_PATH), args);
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished();
  }
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

// A local FTP server (python3-pyftpdlib) started with `args`, where "{port}"
// stands for a free port: that port once it answers, 0 when it never does.
inline uint16_t StartFtp(QProcess& ftp, QStringList args) {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost)) return 0;
  const uint16_t port = probe.serverPort();
  probe.close();
  args.replaceInStrings(QStringLiteral("{port}"), QString::number(port));
  ftp.setProcessChannelMode(QProcess::MergedChannels);
  ftp.start(QStringLiteral("/usr/bin/python3"), args);
  if (!ftp.waitForStarted(5000)) {
    ADD_FAILURE() << "python3 does not start";
    return 0;
  }
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < 5000) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (s.waitForConnected(100)) return port;
    if (ftp.waitForFinished(50)) return 0;  // it gave up; its output says why
  }
  return 0;
}

// The operator's Ctrl-C: vanta-cli runs with `args` until `ready` holds for
// its stdout so far (30 s at most), then gets SIGINT. `wasReady` tells whether
// it held while the run went on; Exit is -1 for a crash or a run that did not end.
inline TRun InterruptWhen(const QStringList& args, const std::function<bool(const QByteArray&)>& ready, bool& wasReady) {
  QProcess p;
  p.start(QStringLiteral(VANTA_CLI_PATH), args);
  wasReady = false;
  if (!p.waitForStarted()) return {};
  QByteArray out;
  QElapsedTimer t;
  t.start();
  while (!(wasReady = ready(out)) && t.elapsed() < 30000 && p.state() == QProcess::Running) {
    p.waitForReadyRead(20);
    out += p.readAllStandardOutput();
  }
  // A run that ended by itself was never interrupted.
  wasReady = wasReady && p.state() == QProcess::Running;
  if (p.state() == QProcess::Running) ::kill(pid_t(p.processId()), SIGINT);
  if (!p.waitForFinished(20000)) {
    p.kill();
    p.waitForFinished();
    return {-1, QString::fromUtf8(out), QString()};
  }
  out += p.readAllStandardOutput();
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(out),
          QString::fromUtf8(p.readAllStandardError())};
}

// All of stdout as one JSON object: a second document, a line per item or
// any text around it fails the parse.
inline ::testing::AssertionResult OneDocument(const TRun& r, QJsonObject& object) {
  QJsonParseError e;
  const QJsonDocument d = QJsonDocument::fromJson(r.Out.toUtf8(), &e);
  if (e.error != QJsonParseError::NoError)
    return ::testing::AssertionFailure() << e.errorString().toStdString() << " in: " << r.Out.toStdString();
  if (!d.isObject()) return ::testing::AssertionFailure() << "not an object: " << r.Out.toStdString();
  if (r.Out.count(QLatin1Char('\n')) != 1 || !r.Out.endsWith(QLatin1Char('\n')))
    return ::testing::AssertionFailure() << "not one line: " << r.Out.toStdString();
  object = d.object();
  return ::testing::AssertionSuccess();
}

// The output validates against docs/cli-json/<name>.schema.json (with
// python3-jsonschema); `lines`: one document per line (--follow).
inline ::testing::AssertionResult MatchesSchema(const QString& output, const QString& name, bool lines = false) {
#ifdef VANTA_SOURCE_DIR
  QProcess p;
  QStringList args{QStringLiteral(VANTA_SOURCE_DIR "/tests/tools/check_schema.py"),
                   QStringLiteral(VANTA_SOURCE_DIR "/docs/cli-json/") + name + QStringLiteral(".schema.json")};
  if (lines) args << QStringLiteral("--lines");
  p.start(QStringLiteral("python3"), args);
  if (!p.waitForStarted(10000)) return ::testing::AssertionFailure() << "python3 does not start";
  p.write(output.toUtf8());
  p.closeWriteChannel();
  p.waitForFinished(60000);
  if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) return ::testing::AssertionSuccess();
  // An unusable validator or schema is a failure of its own: a check that a
  // document does NOT match must not pass because nothing could be checked.
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 1)
    ADD_FAILURE() << "the schema check could not run (" << name.toStdString() << "): " << p.readAllStandardError().toStdString();
  return ::testing::AssertionFailure() << name.toStdString() << ".schema.json: " << p.readAllStandardError().toStdString()
                                       << "\nin: " << output.left(2000).toStdString();
#else
  (void)output, (void)name, (void)lines;
  return ::testing::AssertionFailure() << "VANTA_SOURCE_DIR is not set for this test";
#endif
}

// The run ended with `exit` and printed one JSON object that matches
// docs/cli-json/<schema>.schema.json; the object goes to `object`.
inline ::testing::AssertionResult Document(const TRun& r, int exit, const QString& schema, QJsonObject& object) {
  if (r.Exit != exit)
    return ::testing::AssertionFailure() << "exit " << r.Exit << ", not " << exit << ": " << r.Err.toStdString()
                                         << r.Out.toStdString();
  if (::testing::AssertionResult one = OneDocument(r, object); !one) return one << "\nstderr: " << r.Err.toStdString();
  return MatchesSchema(r.Out, schema);
}

// The files below <root>/<serial>/{Event,Recorder}, relative, with their bytes.
inline QMap<QString, QByteArray> StoreFiles(const QString& root, qint64 serial) {
  QMap<QString, QByteArray> out;
  for (const char* sub : {"Event", "Recorder"}) {
    QDirIterator it(root + QStringLiteral("/%1/").arg(serial) + QLatin1String(sub), QDir::Files);
    while (it.hasNext()) {
      const QString p = it.next();
      out.insert(QLatin1String(sub) + QLatin1Char('/') + QFileInfo(p).fileName(), ReadAll(p));
    }
  }
  return out;
}

// The downloads under way below `root`.
inline QStringList PartFiles(const QString& root) {
  QStringList parts;
  QDirIterator it(root, {QStringLiteral("*.part")}, QDir::Files, QDirIterator::Subdirectories);
  while (it.hasNext()) parts << it.next();
  return parts;
}

// The device read by the command line into a folder of its own: the store at
// `root` must hold the same files byte for byte. Gives the direct download's files.
inline QMap<QString, QByteArray> ExpectAsDirectDownload(quint16 port, qint64 serial, const QString& root) {
  QTemporaryDir direct;
  const TRun cli = RunCli({QStringLiteral("--port"), QString::number(port), QStringLiteral("--data-dir"), direct.path(),
                           QStringLiteral("--quiet"), QStringLiteral("readout"), QStringLiteral("download"), QStringLiteral("all")},
                          300000);
  EXPECT_EQ(cli.Exit, 0) << cli.Err.toStdString();
  const QMap<QString, QByteArray> want = StoreFiles(direct.path(), serial), got = StoreFiles(root, serial);
  EXPECT_GT(want.size(), 10);
  EXPECT_EQ(got.keys(), want.keys());
  for (auto it = want.begin(); it != want.end(); ++it) EXPECT_TRUE(got.value(it.key()) == it.value()) << it.key().toStdString();
  return want;
}

inline const QString CHint = QStringLiteral("Try 'vanta-cli --help' for more information.");

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Sim.Start(SimArgs())); }
  virtual QStringList SimArgs() { return {}; }

  // The simulator's port and the test's data folder, before any command.
  QStringList At() const {
    return {QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"), Data.path()};
  }
  TRun Cli(const QStringList& args, int timeoutMs = 30000) { return RunCli(At() + args, timeoutMs); }
  QString Device(const QString& rel) const { return Sim.Root() + QStringLiteral("/mnt/flashdrive0/data/") + rel; }
  // Logged in through the simulator's SSH port (started with --ssh-port 0).
  QStringList Ssh(const QString& user, const QString& password) const {
    return {"--ssh",
            "--ssh-port",
            QString::number(Sim.SshPort),
            "--ccci-port",
            QString::number(Sim.Port),
            "--user",
            user,
            "--password",
            password,
            "--trust-new-host-key"};
  }

  TSimProcess Sim;
  QTemporaryDir Data;
};

}  // namespace vanta::test::cli
