#pragma once
// Where a run's results, notes and errors go. As text they are printed as
// they come; with --json the run prints one document at its end, and notes
// and errors become part of it, so that a program reading stdout gets a
// single parseable answer and stderr stays quiet.
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace vanta::cli {

class TProgress;

class TCliOutput {
 public:
  explicit TCliOutput(bool json);
  ~TCliOutput();
  TCliOutput(const TCliOutput&) = delete;
  TCliOutput& operator=(const TCliOutput&) = delete;

  bool Json() const { return FJson; }
  // A bar on the terminal is taken away before a line is printed.
  void SetProgress(TProgress* progress) { FProgress = progress; }

  // Text mode: a result line on stdout. JSON mode: nothing; the command puts
  // its result into Result().
  void Line(const QString& line);
  // Text mode: `text` as it is, on stdout or stderr. JSON mode: nothing.
  void Text(const QString& text, bool toStderr);
  // Text mode: the line on stderr as it is. JSON mode: one of "warnings".
  void Note(const QString& line);
  // Text mode: "vanta-cli: TEXT" on stderr. JSON mode: "error"; the first
  // one is the cause, later ones follow from it.
  void Error(const QString& text);
  // A line on stderr in either mode, for what the user asked to see there
  // (--log) or must answer (a password prompt).
  void Diagnostic(const QString& line);

  QJsonObject& Result() { return FResult; }
  // JSON mode: `line` at once as one line of its own with "schemaVersion": 1
  // and the warnings gathered so far (NDJSON of --follow): a reader gets each
  // record as it comes. Finish then prints a last line only for an error or
  // for warnings that came after the last record. Text mode: nothing.
  void FollowLine(const QJsonObject& line);
  // JSON mode: prints the document with "schemaVersion": 1. A run that ended
  // with an error prints {"schemaVersion": 1, "error": {"code": exitCode,
  // "message": …}} (beside its result when it has one) and the message on
  // stderr. Later calls print nothing.
  void Finish(int exitCode = 0);
  // The error text so far (empty: none).
  const QString& ErrorText() const { return FError; }

 private:
  bool FJson;
  bool FFinished = false;
  bool FFollowed = false;
  TProgress* FProgress = nullptr;
  QJsonObject FResult;
  QStringList FWarnings;
  QString FError;
};

}  // namespace vanta::cli
