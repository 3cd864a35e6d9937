// vanta-host: the desktop program that embeds the workspace's device windows.
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDialog>
#include <QTimer>
#include <cstdio>

#include "Language.h"
#include "BuildInfo.h"
#include "FormComplete.h"
#include "FormVisu.h"
#include "MainWindow.h"

using namespace vanta;
using namespace vanta::host;

namespace {

constexpr TDirectKind CAllKinds[] = {TDirectKind::dkpara,      TDirectKind::dkparaRefresh, TDirectKind::dkvisu,
                                     TDirectKind::dkdata,      TDirectKind::dkoffline,     TDirectKind::dkflash,
                                     TDirectKind::dkmassflash, TDirectKind::dkstatus,      TDirectKind::dkInitSSH,
                                     TDirectKind::dkUserSetup, TDirectKind::dkcalib};

QString KindNames() {
  QStringList names;
  for (TDirectKind k : CAllKinds) names << DirectKindName(k).mid(2);
  return names.join(QStringLiteral(", "));
}

// "live" is the command line's word for the live view (as in vanta-cli live).
QString KindWord(const QString& text) { return text.compare(QLatin1String("live"), Qt::CaseInsensitive) == 0 ? QStringLiteral("visu") : text; }

bool IsKind(const QString& raw) {
  const QString text = KindWord(raw);
  for (TDirectKind k : CAllKinds)
    if (DirectKindName(k).mid(2).compare(text, Qt::CaseInsensitive) == 0) return true;
  return false;
}

void Describe(QCommandLineParser& p) {
  p.setApplicationDescription(QStringLiteral("Vanta workspace: devices, parameters, live data, readout."));
  p.addHelpOption();
  p.addVersionOption();
  p.addOptions({
      {"connect", "Device to add (if needed) and open.", "HOST:PORT"},
      {"serial", "Serial device to add and open.", "PATH"},
      {"open", "Window to open for --connect/--serial (para, visu, data, status, ...); offline also without a device.", "KIND", "data"},
      {"ssh", "Reach the device through SSH."},
      {"user", "SSH user.", "U"},
      {"password", "SSH password.", "P"},
      {"visibility", "Access level (0 to 3).", "N"},
      {"config", "Device list and settings file.", "FILE"},
      {"trace", "Record every device window's frames into pcapng files in DIR (also a setting).", "DIR"},
      {"package", "Update package for --open flash / massflash (instead of asking).", "FILE"},
      {"screenshot", "Grab the open device window into FILE (PNG; the main window when none is open) and the main window beside it (x.png: x-main.png), and quit.", "FILE"},
      {"after", "Seconds before the screenshot.", "S", "3"},
      {"view", "With --open live: the view to open once connected (panel, osc, spectrum, harmonics, interharmonics, bands, vectors, loadflow, values).", "VIEW"},
      {"entry", "With --view values: the structure and value kind to show (default ssu_s_t/stSingle).", "STRUCT/KIND"},
      {"no-xml-check", "Connect without comparing the device's language files (no question at connect)."},
      {"lang", "Language: de or en (default: the host's setting, else the system locale; de for C and POSIX).", "L"},
  });
}

// The address part of --connect (brackets around an IPv6 address allowed)
// and the port; false when either is missing.
bool SplitTarget(const QString& target, QString& host, QString& port) {
  host = target.section(QLatin1Char(':'), 0, -2);
  port = target.section(QLatin1Char(':'), -1);
  if (host.size() > 2 && host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
    host = host.mid(1, host.size() - 2);
  bool number = false;
  const int p = port.toInt(&number);
  return !host.isEmpty() && number && p >= 1 && p <= 65535;
}

// What is wrong with the values of a parsed command line, empty when nothing.
QString ValueError(const QCommandLineParser& p) {
  QString host, port;
  if (p.isSet("connect") && !SplitTarget(p.value("connect"), host, port))
    return QStringLiteral("--connect takes HOST:PORT with a port from 1 to 65535");
  if (p.isSet("connect") && p.isSet("serial")) return QStringLiteral("--connect and --serial exclude each other");
  if (p.isSet("serial") && p.value("serial").trimmed().isEmpty()) return QStringLiteral("--serial takes a device path");
  if (!IsKind(p.value("open"))) return QStringLiteral("--open takes one of: %1").arg(KindNames());
  if (p.isSet("lang") && p.value("lang") != QLatin1String("de") && p.value("lang") != QLatin1String("en"))
    return QStringLiteral("--lang %1: expected de or en").arg(p.value("lang"));
  static const QStringList CViews{QStringLiteral("panel"), QStringLiteral("osc"), QStringLiteral("spectrum"), QStringLiteral("harmonics"),
                                  QStringLiteral("interharmonics"), QStringLiteral("bands"), QStringLiteral("vectors"), QStringLiteral("loadflow"), QStringLiteral("values")};
  if (p.isSet("view") && !CViews.contains(p.value("view"))) return QStringLiteral("--view takes one of: %1").arg(CViews.join(QStringLiteral(", ")));
  bool ok = true;
  if (p.isSet("visibility")) {
    const int v = p.value("visibility").toInt(&ok);
    if (!ok || v < 0 || v > 3) return QStringLiteral("--visibility takes a number from 0 to 3");
  }
  const double after = p.value("after").toDouble(&ok);
  if (!ok || after < 0 || after > 3600) return QStringLiteral("--after takes seconds from 0 to 3600");
  if (p.isSet("password") && !p.isSet("user")) return QStringLiteral("--password needs --user");
  return QString();
}

// Without a platform to show windows on, QApplication aborts the process;
// saying so is kinder. Options of Qt's own (-platform) are honoured.
bool HasDisplay(const QStringList& args) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY") ||
      !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    return true;
  return args.contains(QStringLiteral("-platform")) || args.contains(QStringLiteral("--platform"));
#else
  Q_UNUSED(args);
  return true;
#endif
}

int Fail(const QString& text) {
  std::fprintf(stderr, "vanta-host: %s\n", text.toLocal8Bit().constData());
  return 1;
}

void Name() {
  QCoreApplication::setApplicationName(QStringLiteral("vanta-host"));
  QCoreApplication::setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(build::CVersionMajor).arg(build::CVersionMinor).arg(build::CVersionPatch));
}

// Answers --help and --version and refuses bad values before any window
// system is touched, so that these work on a machine without a display.
// Returns the exit code when the program is done, -1 to go on.
int CheckCommandLine(int argc, char** argv) {
  int count = argc;
  QCoreApplication pre(count, argv);
  Name();
  QCommandLineParser p;
  // "-platform" is one of Qt's options, not the letters p, l, a, ...
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  Describe(p);
  const bool parsed = p.parse(QCoreApplication::arguments());
  if (p.isSet("help")) p.showHelp(0);  // prints to stdout and exits
  if (p.isSet("version")) p.showVersion();
  if (!parsed) {
    // QApplication takes its own options (-platform, -style); anything else
    // is a mistake.
    static const QStringList qtOptions = {QStringLiteral("platform"),        QStringLiteral("platformpluginpath"),
                                          QStringLiteral("platformtheme"),   QStringLiteral("plugin"),
                                          QStringLiteral("qwindowgeometry"), QStringLiteral("qwindowicon"),
                                          QStringLiteral("qwindowtitle"),    QStringLiteral("reverse"),
                                          QStringLiteral("session"),         QStringLiteral("display"),
                                          QStringLiteral("geometry"),        QStringLiteral("style"),
                                          QStringLiteral("stylesheet"),      QStringLiteral("widgetcount"),
                                          QStringLiteral("qmljsdebugger")};
    const QStringList unknown = p.unknownOptionNames();
    if (unknown.isEmpty()) return Fail(p.errorText() + QStringLiteral(" (see --help)"));
    QStringList ours;
    for (const QString& name : unknown)
      if (!qtOptions.contains(name)) ours << name;
    if (!ours.isEmpty())
      return Fail(QStringLiteral("unknown option%1: %2 (see --help)")
                      .arg(ours.size() > 1 ? QStringLiteral("s") : QString(), ours.join(QStringLiteral(", "))));
  }
  if (const QString error = ValueError(p); !error.isEmpty()) return Fail(error);
  if (!HasDisplay(QCoreApplication::arguments()))
    return Fail(
        QStringLiteral("no display (DISPLAY and WAYLAND_DISPLAY are unset); the host's windows need one. "
                       "For a screenshot without one: QT_QPA_PLATFORM=offscreen"));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const int rc = CheckCommandLine(argc, argv); rc >= 0) return rc;
  QApplication app(argc, argv);
  Name();
  QCommandLineParser p;
  Describe(p);
  p.process(app);
  if (const QString error = ValueError(p); !error.isEmpty()) return Fail(error);

  TDeviceStore store(p.isSet("config") ? p.value("config") : TDeviceStore::DefaultFile());
  store.Load();
  // The windows take their texts when they are made: the language comes first.
  QString langError;
  SetupLanguage(app.arguments(), store.Settings.Language, langError, true);
  if (p.isSet("visibility")) store.Settings.Visibility = p.value("visibility").toInt();
  TSecretStore secrets;
  TMainWindow main(store);
  main.Secrets = &secrets;
  // Passwords of an older file go into the secret store now; without one
  // they stay in the file until a later start (see MovePasswordsTo).
  if (store.OldPasswordCount() > 0) {
    const TPasswordMove moved = store.MovePasswordsTo(secrets);
    main.AddLog(moved.Message);
    std::fprintf(stderr, "vanta-host: %s\n", moved.Message.toLocal8Bit().constData());
  }
  main.SshUser = p.value("user");
  main.SshPassword = p.value("password");
  main.PackageFile = p.value("package");
  if (p.isSet("trace")) store.Settings.TraceFolder = p.value("trace");
  main.show();

  // The screenshot is timed before any window opens: opening one may ask a
  // question first (which package, a password), and that question must end
  // up in the picture rather than hold the program open.
  int shotExit = -1;
  if (p.isSet("screenshot")) {
    const QString file = p.value("screenshot");
    const int ms = int(p.value("after").toDouble() * 1000);
    QTimer::singleShot(ms, &app, [&main, &app, &shotExit, file] {
      // FILE shows the open question, else the open device window (the main
      // window when none is open); the main window goes next to it as
      // FILE-main.png.
      const auto& windows = main.Windows();
      bool ok = true;
      QWidget* question = QApplication::activeModalWidget();
      if (QWidget* shown = question ? question : main.LastOpened()) {
        ok = shown->grab().save(file, "PNG");
        const QString mainFile = (file.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) ? file.chopped(4) : file) + QStringLiteral("-main.png");
        ok = main.grab().save(mainFile, "PNG") && ok;
      } else {
        ok = main.grab().save(file, "PNG");
      }
      std::printf("%s %s\n", ok ? "screenshot" : "screenshot failed:", file.toLocal8Bit().constData());
      if (question) std::printf("question: %s\n", question->windowTitle().toLocal8Bit().constData());
      std::fflush(stdout);
      // Questions are answered "cancel", innermost first, so that whatever
      // waited for them goes on to its end.
      for (int guard = 0; guard < 16; ++guard) {
        QWidget* open = QApplication::activeModalWidget();
        if (!open) break;
        if (auto* dialog = qobject_cast<QDialog*>(open))
          dialog->reject();
        else
          open->close();
        if (QApplication::activeModalWidget() == open) open->hide();
      }
      for (const auto& w : windows)
        if (w) w->close();
      if (QWidget* last = main.LastOpened()) last->close();
      QTimer::singleShot(1500, &app, [&app, &shotExit, ok] {
        shotExit = ok ? 0 : 1;
        app.exit(shotExit);
      });
    });
  }

  int toOpen = -1;
  if (p.isSet("connect")) {
    const QString target = p.value("connect");
    QString host, port;
    SplitTarget(target, host, port);
    toOpen = store.Find(host, port);
    if (toOpen < 0) {
      THostDevice d;
      d.IP = host;
      d.Port = port;
      d.IPver = host.contains(QLatin1Char(':')) ? TIpVer::ipverV6 : TIpVer::ipverV4;
      d.ConType = p.isSet("ssh") ? TConType::ctSSH : TConType::ctCCCI;
      d.SshUser = p.value("user");  // the password stays on the command line
      d.Anlage = TTr::tr("Neu");
      d.Feld = TTr::tr("Neu");
      d.Geraet = target;
      store.Devices.push_back(d);
      store.Save();
      toOpen = int(store.Devices.size()) - 1;
    }
  } else if (p.isSet("serial")) {
    // The entry of this port when there is one: it keeps the serial number
    // learnt at an earlier connection.
    toOpen = store.FindSerial(p.value("serial"));
    if (toOpen < 0) {
      THostDevice d;
      d.IsSerial = true;
      d.Port = p.value("serial");
      d.Geraet = d.Port;
      store.Devices.push_back(d);
      store.Save();
      toOpen = int(store.Devices.size()) - 1;
    }
  }
  if (toOpen >= 0 && p.isSet("no-xml-check")) store.Devices[size_t(toOpen)].CheckXMLVersions = false;
  main.RebuildTree();
  if (toOpen >= 0) {
    main.SelectDevice(toOpen);
    // --view values: the all-values table of the live data.
    const bool allValues = p.value("view") == QLatin1String("values");
    TFormBasic* w = main.OpenDevice(toOpen, GetDirectKind(KindWord(p.value("open"))), allValues);
    if (auto* table = qobject_cast<TFormComplete*>(w)) table->FPendingEntry = p.isSet("entry") ? p.value("entry") : QStringLiteral("ssu_s_t/stSingle");
    if (auto* visu = qobject_cast<TFormVisu*>(w); visu && p.isSet("view")) visu->FPendingView = p.value("view");
  } else if (p.isSet("open") && GetDirectKind(KindWord(p.value("open"))) == TDirectKind::dkoffline) {
    main.OpenOffline(0, QString());  // the store needs no device: every station
  }
  if (p.isSet("open") && GetDirectKind(KindWord(p.value("open"))) == TDirectKind::dkmassflash && toOpen < 0)
    main.OpenMassFlash({});

  // A question asked while opening may have outlasted the screenshot: the
  // program is done then, before its main loop starts.
  if (shotExit >= 0) return shotExit;
  return app.exec();
}
