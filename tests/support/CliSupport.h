#pragma once
// vanta-cli runs against a simulator started per test: the process runner,
// the one-JSON-document check and the fixture the command tests share.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

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

inline const QString CHint = QStringLiteral("Try 'vanta-cli --help' for more information.");

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Sim.Start(SimArgs())); }
  virtual QStringList SimArgs() { return {}; }

  TRun Cli(const QStringList& args, int timeoutMs = 30000) {
    return RunCli(
        QStringList{QStringLiteral("--port"), QString::number(Sim.Port), QStringLiteral("--data-dir"), Data.path()} +
            args,
        timeoutMs);
  }
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
