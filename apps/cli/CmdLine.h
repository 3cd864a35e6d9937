#pragma once
// Splits a command line into the program's options, the command, the
// command's own options and its arguments. Options may stand before and
// after the command; "--" ends them, so that a Lua statement or a file name
// may start with "-".
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>

namespace vanta::cli {

struct TOptionSpec {
  QStringList Names;  // "h", "help": a letter for -h, a word for --help; the word last
  bool TakesValue = false;
};

struct TCmdLine {
  QString Command;                         // empty: none given
  QStringList Args;                        // the command's arguments, in order
  QHash<QString, QString> CommandOptions;  // by long name; "" for a flag
  QList<QPair<QString, QString>> Options;  // the program's, by long name, in order
  bool Help = false;
  bool Version = false;
  QString Error;  // the first problem, for one line of output

  bool Has(const QString& name) const;  // a program option
};

// `commandOptions` names the options of a command; null for an unknown one.
// Help and version are found even behind a problem: asking for help with a
// broken command line shows the help.
TCmdLine ScanCommandLine(const QStringList& args, const QList<TOptionSpec>& options,
                         const std::function<const QList<TOptionSpec>*(const QString& command)>& commandOptions);

}  // namespace vanta::cli
