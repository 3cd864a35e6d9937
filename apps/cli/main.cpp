// vanta-cli: headless client of the workspace's protocol core.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "CliSession.h"

using namespace vanta::cli;

namespace {
int Usage(const QCommandLineParser& p, const std::vector<TCliCommand>& commands, const QString& why = {}) {
  if (!why.isEmpty()) std::fprintf(stderr, "vanta-cli: %s\n", why.toLocal8Bit().constData());
  std::fprintf(stderr, "%s\nCommands:\n", p.helpText().toLocal8Bit().constData());
  for (const TCliCommand& c : commands) std::fprintf(stderr, "  %s\n", c.Usage.toLocal8Bit().constData());
  return ecUsage;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-cli"));
  const std::vector<TCliCommand> commands = AllCommands();

  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Talks to a Vanta device over CCCI."));
  p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  const QCommandLineOption help({"h", "help"}, "Show this help.");
  p.addOption(help);
  p.addOptions({
      {"host", "Device address.", "H", "127.0.0.1"},
      {"port", "CCCI port.", "P", "5040"},
      {"visibility", "Access level (1: advanced start, 2 and more: support start).", "N", "1"},
      {"user", "User name for a protocol-5 session start.", "U"},
      {"password", "Password for --user.", "P"},
      {"timeout", "Seconds to wait for the device.", "S", "30"},
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
  });
  p.addPositionalArgument("command", "one of the commands below");
  if (!p.parse(QCoreApplication::arguments())) return Usage(p, commands, p.errorText());
  if (p.isSet(help)) return Usage(p, commands);
  const QStringList pos = p.positionalArguments();
  if (pos.isEmpty()) return Usage(p, commands, QStringLiteral("no command given"));

  const TCliCommand* command = nullptr;
  for (const TCliCommand& c : commands)
    if (c.Name == pos[0]) command = &c;
  if (!command) return Usage(p, commands, QStringLiteral("unknown command \"%1\"").arg(pos[0]));

  TCliOptions o;
  bool ok = true;
  o.Host = p.value("host");
  o.Port = p.value("port").toInt(&ok);
  if (!ok || o.Port < 1 || o.Port > 65535) return Usage(p, commands, QStringLiteral("bad --port"));
  o.Visibility = p.value("visibility").toInt(&ok);
  if (!ok) return Usage(p, commands, QStringLiteral("bad --visibility"));
  o.TimeoutSec = p.value("timeout").toInt(&ok);
  if (!ok || o.TimeoutSec < 1) return Usage(p, commands, QStringLiteral("bad --timeout"));
  o.User = p.value("user");
  o.Password = p.value("password");
  o.Json = p.isSet("json");
  o.Log = p.isSet("log");
  o.Ftp = p.isSet("ftp");
  o.FtpPort = p.value("ftp-port").toInt(&ok);
  if (!ok || o.FtpPort < 1 || o.FtpPort > 65535) return Usage(p, commands, QStringLiteral("bad --ftp-port"));
  if (int(p.isSet("gz")) + int(p.isSet("tgz")) + int(p.isSet("plain")) > 1)
    return Usage(p, commands, QStringLiteral("--gz, --tgz and --plain exclude each other"));
  o.Packing = p.isSet("tgz") ? QStringLiteral("tgz") : p.isSet("plain") ? QStringLiteral("plain") : QStringLiteral("gz");
  o.DataDir = p.value("data-dir");
  o.Serial = p.value("serial");
  o.Ssh = p.isSet("ssh");
  o.SshPort = p.value("ssh-port").toInt();
  o.CcciPort = p.value("ccci-port").toInt();
  o.TrustNewHostKey = p.isSet("trust-new-host-key");
  o.AcceptChangedHostKey = p.isSet("accept-changed-host-key");
  o.NewPassword = p.value("new-password");
  if (o.Ssh && o.User.isEmpty()) return Usage(p, commands, QStringLiteral("--ssh needs --user and --password"));

  TCliSession session(o);
  QString error;
  if (!session.Open(error)) {
    std::fprintf(stderr, "vanta-cli: %s\n", error.toLocal8Bit().constData());
    session.Close();
    return session.Refusals().isEmpty() ? ecNoConnection : ecRefused;
  }
  const int rc = command->Run(session, pos.mid(1));
  if (rc == ecUsage) {
    session.Close();
    return Usage(p, commands, QStringLiteral("usage: %1").arg(command->Usage));
  }
  session.Close();
  return rc;
}
