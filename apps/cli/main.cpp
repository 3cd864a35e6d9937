// vanta-cli: headless client of the workspace's protocol core.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstring>
#include <memory>
#include <algorithm>
#include <cstdio>

#include "BuildInfo.h"
#include "Language.h"
#include "CliSession.h"
#include "Download.h"
#include "CmdLine.h"
#include "PasswordFile.h"
#include "Plugins.h"

using namespace vanta::cli;
using vanta::TEn;

namespace {
QString Version() {
  return QStringLiteral("%1.%2.%3")
      .arg(vanta::build::CVersionMajor)
      .arg(vanta::build::CVersionMinor)
      .arg(vanta::build::CVersionPatch);
}

void PrintHelp(const QCommandLineParser& p, const std::vector<TCliCommand>& commands) {
  QString text = p.helpText() + QStringLiteral("\nCommands:\n");
  for (const TCliCommand& c : commands) text += QStringLiteral("  ") + c.Usage + QLatin1Char('\n');
  text += QStringLiteral(
      "\nOptions may also follow the command. After \"--\" every word is an argument, also one that\n"
      "starts with \"-\": vanta-cli lua -- '--[[ note ]] print(1)'\n");
  const QByteArray bytes = text.toLocal8Bit();
  std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// A mistake on the command line is told in one line, not buried in the
// help; the device is not contacted.
int UsageError(TCliOutput& out, const QString& why) {
  if (out.Json()) {
    out.Error(why);  // the document names it, and stderr once
    out.Finish(ecUsage);
    out.Diagnostic(TEn::tr("Try 'vanta-cli --help' for more information."));
    return ecUsage;
  }
  out.Diagnostic(QStringLiteral("vanta-cli: ") + why);
  out.Diagnostic(TEn::tr("Try 'vanta-cli --help' for more information."));
  return ecUsage;
}

bool PortValue(const QString& text, int lowest, int& port) {
  bool ok = false;
  port = text.toInt(&ok);
  return ok && port >= lowest && port <= 65535;
}
}  // namespace

int main(int argc, char** argv) {
  // Reports draw PDFs with fonts: they need a GUI application, and no
  // display, so the offscreen platform unless the caller chose one.
  bool report = false;
  for (int i = 1; i < argc; ++i) report |= std::strcmp(argv[i], "report") == 0 || std::strcmp(argv[i], "calibrate") == 0;
  if (report && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (report) vanta::PrepareRuntimeFolder();
  std::unique_ptr<QCoreApplication> application =
      report ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-cli"));
  QCoreApplication::setApplicationVersion(Version());
  const std::vector<TCliCommand> commands = AllCommands();

  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Talks to a Vanta device over CCCI."));
  const QList<QCommandLineOption> options = {
      {{"h", "help"}, "Show this help."},
      {"version", "Show the program's version."},
      {{"q", "quiet"}, "No progress bar for transfers."},
      {"host", "Device address.", "H", "127.0.0.1"},
      {"port", "CCCI port.", "P", "5040"},
      {"visibility", "Access level (1: advanced start, 2 and more: support start).", "N", "1"},
      {"user", "User name for a protocol-5 session start.", "U"},
      {"password", "Password for --user.", "P"},
      {"password-file", "Password for --user from FILE (its first line; mode 600 or stricter), instead of --password.", "FILE"},
      {"timeout", "Longest silence allowed from the device, in seconds: any progress (a piece of an answer, shell text, FTP data) starts the count again. Firmware updates and calibration keep their own step limits.", "S", "30"},
      {"json", "Machine-readable output."},
      {"log", "Write the client's log lines to stderr."},
      {"ftp", "Files go by FTP (the frames carry device paths)."},
      {"ftp-port", "FTP port of the device.", "P", "21"},
      {"gz", "Setup files gzip-compressed (default)."},
      {"tgz", "Setup files as tar+gzip archives."},
      {"plain", "Setup files unpacked."},
      {"data-dir", "Folder for downloaded and temporary files.", "DIR"},
      {"serial", "Reach the device over this serial line instead of the network.", "PATH"},
      {"ssh", "Reach the device through SSH (needs --user and --password)."},
      {"ssh-port", "SSH port of the device.", "P", "22"},
      {"ccci-port", "CCCI port behind SSH, on the device side (default 5040).", "P", "0"},
      {"trust-new-host-key", "Accept and remember an unknown SSH host key."},
      {"accept-changed-host-key", "Accept and remember a changed SSH host key."},
      {"new-password", "New password when the device says the old one expired.", "PW"},
      {"trace", "Record every frame in both directions into FILE (pcapng, link type USER0; vanta-sim --replay plays it back).", "FILE"},
      {"lang", "Language of the messages: de or en (default: the system locale; de for C and POSIX).", "L"},
  };
  p.addOptions(options);
  p.addPositionalArgument("command", "One of the commands below, with its arguments.", "command [arguments]");

  // What the scan finds wrong is told in the language already: the
  // program's --lang is one before the command word (after it, mdb and para
  // have a --lang of their own); the scan's verdict follows below.
  {
    QStringList early{QStringLiteral("vanta-cli")};
    const QStringList raw = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < raw.size(); ++i) {
      const QString& w = raw[i];
      if (w == QLatin1String("--") || std::any_of(commands.begin(), commands.end(), [&](const TCliCommand& c) { return c.Name == w; }))
        break;
      if (w == QLatin1String("--lang") && i + 1 < raw.size()) early << w << raw[i + 1];
      if (w.startsWith(QLatin1String("--lang="))) early << w;
    }
    QString wrongLangTellsTheScan;
    vanta::SetupLanguage(early, QString(), wrongLangTellsTheScan);
  }
  QList<TOptionSpec> specs;
  for (const QCommandLineOption& o : options) specs.append({o.names(), !o.valueName().isEmpty()});
  const TCmdLine line = ScanCommandLine(QCoreApplication::arguments().mid(1), specs, [&](const QString& name) {
    for (const TCliCommand& c : commands)
      if (c.Name == name) return &c.Options;
    return static_cast<const QList<TOptionSpec>*>(nullptr);
  });
  TCliOutput out(line.Has(QStringLiteral("json")));

  if (line.Help) {
    PrintHelp(p, commands);
    return ecDone;
  }
  if (line.Version) {
    if (out.Json()) {
      out.Result().insert(QStringLiteral("name"), QStringLiteral("vanta-cli"));
      out.Result().insert(QStringLiteral("version"), Version());
      out.Finish();
    } else {
      std::printf("vanta-cli %s\n", Version().toUtf8().constData());
    }
    return ecDone;
  }
  if (!line.Error.isEmpty()) return UsageError(out, line.Error);
  // The program's --lang (the commands mdb and para have their own, for the
  // mapping database's language): as the scan assigned it.
  QStringList langArgs{QStringLiteral("vanta-cli")};
  for (const auto& o : line.Options)
    if (o.first == QLatin1String("lang")) langArgs << QStringLiteral("--lang") << o.second;
  if (QString langError; !vanta::SetupLanguage(langArgs, QString(), langError)) return UsageError(out, langError);

  const TCliCommand* command = nullptr;
  for (const TCliCommand& c : commands)
    if (c.Name == line.Command) command = &c;
  const TCliArgs args{line.Args, line.CommandOptions};
  if (const TArgProblem problem = command->Check(args); !problem.Text.isEmpty()) {
    if (problem.ShowUsage)
      return UsageError(
          out, TEn::tr("%1: %2 (usage: vanta-cli %3)").arg(command->Name, problem.Text, command->Usage));
    out.Error(problem.Text);
    out.Finish(ecUsage);
    return ecUsage;
  }

  // The scan has taken the options apart already; the parser adds the
  // defaults, in the form it cannot misread.
  QStringList tokens{QCoreApplication::arguments().value(0)};
  for (const auto& [name, value] : line.Options) {
    const bool takesValue = std::any_of(specs.cbegin(), specs.cend(), [&](const TOptionSpec& s) {
      return s.TakesValue && s.Names.constLast() == name;
    });
    tokens << (takesValue ? QStringLiteral("--%1=%2").arg(name, value) : QStringLiteral("--") + name);
  }
  if (!p.parse(tokens)) return UsageError(out, p.errorText());

  TCliOptions o;
  bool ok = true;
  o.Host = p.value("host");
  if (!PortValue(p.value("port"), 1, o.Port))
    return UsageError(out, TEn::tr("--port needs a port number from 1 to 65535"));
  o.Visibility = p.value("visibility").toInt(&ok);
  if (!ok) return UsageError(out, TEn::tr("--visibility needs a whole number"));
  o.TimeoutSec = p.value("timeout").toInt(&ok);
  if (!ok || o.TimeoutSec < 1)
    return UsageError(out, TEn::tr("--timeout needs a whole number of seconds, at least 1"));
  o.User = p.value("user");
  o.Password = p.value("password");
  if (p.isSet("password") && p.isSet("password-file"))
    return UsageError(out, TEn::tr("--password and --password-file exclude each other"));
  if (p.isSet("password-file")) {
    QString problem;
    if (!vanta::ReadPasswordFile(p.value("password-file"), o.Password, problem)) {
      // A fact about a local file, not a typo: no usage hint.
      out.Error(problem);
      out.Finish(ecUsage);
      return ecUsage;
    }
  }
  o.Json = out.Json();
  o.Quiet = p.isSet("quiet");
  o.Log = p.isSet("log");
  o.Ftp = p.isSet("ftp");
  if (!PortValue(p.value("ftp-port"), 1, o.FtpPort))
    return UsageError(out, TEn::tr("--ftp-port needs a port number from 1 to 65535"));
  if (int(p.isSet("gz")) + int(p.isSet("tgz")) + int(p.isSet("plain")) > 1)
    return UsageError(out, TEn::tr("--gz, --tgz and --plain exclude each other"));
  o.Packing = p.isSet("tgz") ? QStringLiteral("tgz") : p.isSet("plain") ? QStringLiteral("plain") : QStringLiteral("gz");
  o.DataDir = p.value("data-dir");
  if (p.isSet("data-dir") && o.DataDir.trimmed().isEmpty())
    return UsageError(out, TEn::tr("--data-dir needs a folder"));
  o.Serial = p.value("serial");
  o.Ssh = p.isSet("ssh");
  if (!PortValue(p.value("ssh-port"), 1, o.SshPort))
    return UsageError(out, TEn::tr("--ssh-port needs a port number from 1 to 65535"));
  if (!PortValue(p.value("ccci-port"), 0, o.CcciPort))
    return UsageError(out, TEn::tr("--ccci-port needs a port number from 1 to 65535 (0: the default)"));
  o.TrustNewHostKey = p.isSet("trust-new-host-key");
  o.AcceptChangedHostKey = p.isSet("accept-changed-host-key");
  o.NewPassword = p.value("new-password");
  o.Trace = p.value("trace");
  if (o.Ssh && o.User.isEmpty()) return UsageError(out, TEn::tr("--ssh needs --user and --password"));

  if (command->RunOffline && !(command->Online && command->Online(args))) {
    const int rc = command->RunOffline(out, args, o);
    out.Finish(rc);
    return rc;
  }
  // A password alone would be dropped without a word: the session starts with a user.
  if (!o.Password.isEmpty() && o.User.isEmpty())
    return UsageError(out, TEn::tr("--password needs --user"));
  if (command->BeforeConnect) {
    if (const int rc = command->BeforeConnect(out, args); rc >= 0) {
      out.Finish(rc);
      return rc;
    }
  }
  // Ctrl-C ends a wait at a clean point (a download keeps what it has in
  // its part file) and the session still closes in order; a second one
  // ends the program at once.
  InstallInterruptHandler();
  TCliSession session(o, out);
  QString error;
  if (!session.Open(error)) {
    out.Error(error);
    session.Close();
    const int rc = session.Refusals().isEmpty() ? ecNoConnection : ecRefused;
    out.Finish(rc);
    return rc;
  }
  const int rc = command->Run(session, args);
  session.Close();
  out.Finish(rc);
  return rc;
}
