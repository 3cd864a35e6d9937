#include "Output.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtGlobal>
#include <cstdio>
#include <mutex>

#include "Progress.h"

namespace vanta::cli {

namespace {
// Qt's own warnings (from any thread) would land on stderr; in JSON mode
// they are warnings of the document instead.
std::mutex GQtMessagesLock;
QStringList GQtMessages;
QtMessageHandler GPreviousHandler = nullptr;

void CollectQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    if (GPreviousHandler) GPreviousHandler(type, context, text);
    return;
  }
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  std::lock_guard<std::mutex> lock(GQtMessagesLock);
  GQtMessages << text;
}

void Write(std::FILE* to, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
  std::fflush(to);
}
}  // namespace

TCliOutput::TCliOutput(bool json) : FJson(json) {
  if (FJson) GPreviousHandler = qInstallMessageHandler(CollectQtMessage);
}

TCliOutput::~TCliOutput() {
  if (FJson) qInstallMessageHandler(GPreviousHandler);
}

void TCliOutput::Line(const QString& line) {
  if (FJson) return;
  Text(line + QLatin1Char('\n'), false);
}

void TCliOutput::Text(const QString& text, bool toStderr) {
  if (FJson) return;
  if (FProgress) FProgress->Clear();
  Write(toStderr ? stderr : stdout, text);
}

void TCliOutput::Note(const QString& line) {
  if (FJson) {
    FWarnings << line;
    return;
  }
  Diagnostic(line);
}

void TCliOutput::Error(const QString& text) {
  if (FJson) {
    if (FError.isEmpty()) FError = text;
    return;
  }
  Diagnostic(QStringLiteral("vanta-cli: ") + text);
}

void TCliOutput::Diagnostic(const QString& line) {
  if (FProgress) FProgress->Clear();
  Write(stderr, line + QLatin1Char('\n'));
}

void TCliOutput::FollowLine(const QJsonObject& line) {
  if (!FJson || FFinished) return;
  FFollowed = true;
  QJsonObject doc = line;
  doc.insert(QStringLiteral("schemaVersion"), 1);
  {
    std::lock_guard<std::mutex> lock(GQtMessagesLock);
    FWarnings << GQtMessages;
    GQtMessages.clear();
  }
  if (!FWarnings.isEmpty()) doc.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(FWarnings));
  FWarnings.clear();
  const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Compact) + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
  std::fflush(stdout);
}

void TCliOutput::Finish(int exitCode) {
  if (!FJson || FFinished) return;
  FFinished = true;
  {
    std::lock_guard<std::mutex> lock(GQtMessagesLock);
    FWarnings << GQtMessages;
    GQtMessages.clear();
  }
  // The records went out line by line: nothing is left to say unless it went wrong.
  if (FFollowed && FError.isEmpty() && FWarnings.isEmpty()) return;
  QJsonObject doc = FFollowed ? QJsonObject() : FResult;
  doc.insert(QStringLiteral("schemaVersion"), 1);
  if (!FWarnings.isEmpty()) doc.insert(QStringLiteral("warnings"), QJsonArray::fromStringList(FWarnings));
  if (!FError.isEmpty()) {
    // An error without a failing exit code is still a failure for a script.
    doc.insert(QStringLiteral("error"), QJsonObject{{QStringLiteral("code"), exitCode > 0 ? exitCode : 1},
                                                     {QStringLiteral("message"), FError}});
    Diagnostic(QStringLiteral("vanta-cli: ") + FError);
  }
  // Bytes as they are: the document is UTF-8 whatever the locale says.
  const QByteArray bytes = QJsonDocument(doc).toJson(QJsonDocument::Compact) + '\n';
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
  std::fflush(stdout);
}

}  // namespace vanta::cli
