// vanta-sim: a simulated measuring device speaking CCCI over TCP.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>
#include <fcntl.h>
#include <termios.h>
#include <cstdlib>
#include <memory>
#include <vector>

#include "Language.h"
#include "BuildInfo.h"
#include "SimConfig.h"
#include "SimConnection.h"
#include "SimDevice.h"
#include "SimLua.h"
#include "SimReplay.h"
#include "SimSsh.h"
#include "SimRecords.h"
#include "SimStorage.h"
#include "VantaFW.h"

using namespace vanta;
using namespace vanta::sim;

namespace {
int GSignalFd[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  [[maybe_unused]] const ssize_t n = ::write(GSignalFd[1], &c, 1);
}

time_set_t DefaultTimeSet() {
  time_set_t t;
  t.Std = 1;
  t.Stdtz = 2;  // +1 h
  t.tz = 2;
  t.dstmode = 1;
  t.ws = {3, 25, 1, 7};  // last Sunday of March, 01:00 UTC
  t.sw = {10, 25, 1, 7};  // last Sunday of October
  t.ntpcycle = 64;
  t.ntpip[0] = "192.0.2.10";
  t.ntpport[0] = 123;
  return t;
}

QString SampleDir() {
  const QString app = QCoreApplication::applicationDirPath();
  for (const QString& c : {app + QStringLiteral("/../share/vanta/device"),
                           QString::fromUtf8(build::CSourceDir) + QStringLiteral("/data/device")}) {
    if (QFileInfo(c).isDir()) return QDir::cleanPath(c);
  }
  return {};
}

// One served device: its configuration, storage, state and port.
struct TDeviceHost {
  explicit TDeviceHost(const TSimConfig& cfg) : Cfg(cfg), Device(Cfg, Storage) {}
  TSimConfig Cfg;
  TSimStorage Storage;
  TSimDevice Device;
  bool Ready = false;  // root filled (see `prepare` in main)
  QTcpServer Server;
  QList<QPointer<TSimConnection>> Live;
};

int Fail(const QString& text) {
  std::fprintf(stderr, "vanta-sim: %s\n", text.toUtf8().constData());
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("vanta-sim"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(build::CVersion));
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Simulated Vanta measuring device (CCCI over TCP)"));
  p.addHelpOption();
  p.addVersionOption();
  const QList<QCommandLineOption> opts = {
      {"bind", "Address to listen on.", "address", "127.0.0.1"},
      {"port", "TCP port (0 picks a free one).", "port", "5040"},
      {"root", "Device storage folder (default: temporary copy of the sample content).", "dir"},
      {"serial-number", "Serial number.", "n", "12345678"},
      {"populate", "Write N more recordings and events (scale tests).", "n", "0"},
      {"recordings", "Write N more one-second recordings of --recording-mb each (throughput tests).", "n", "0"},
      {"recording-mb", "Size of each recording of --recordings in MB (1 MB = 1048576 bytes; fractions allowed).", "mb", "1"},
      {"events", "Write N more event files (throughput tests).", "n", "0"},
      {"article", "Article number.", "n", "1197500"},
      {"firmware", "Firmware version major.minor.patch.", "version", "2.10.0"},
      {"firmware-word", "Raw firmware word (overrides --firmware and --generation).", "n"},
      {"generation", "Record layout generation 0, 1 or 2.", "g", "1"},
      {"protocol", "Highest CCCI protocol version: 3, 4 or 5.", "v", "5"},
      {"status-extra", "File of dotted.key=value lines merged into uti.stat().", "file"},
      {"no-stat", "Firmware without uti.stat (the status script writes nothing)."},
      {"osc-samples", "Samples per oscilloscope record (0 allowed).", "n", "4096"},
      {"network", "Network profile: ini file with a [network] section (Freq, U1..U3, I1..I3, Lag, UNE, IN, IRCM, FreqDrift).", "file"},
      {"binary-inputs", "Binary inputs in a binary-input record (0 .. 32).", "n", "8"},
      {"binary-interval", "Milliseconds per step of the binary-input pattern.", "ms", "1000"},
      {"osc-rate", "Oscilloscope sample rate per second.", "n", "40960"},
      {"users", "Users file (name:password:right,right).", "file"},
      {"max-connections", "Concurrent sessions before NAK 120.", "n", "2"},
      {"config", "Ini file with [device], [time] and [ntp] settings.", "file"},
      {"fault", "Failure mode: close-after=N, stall[=CMD], nak-setup, nak-scratchpad, scratchpad-quota=BYTES, fw-keep-version, record-length=OBJ:N, split, coalesce, unknown-cmd[=N].", "spec"},
      {"text-interval", "Milliseconds between device text-stream lines (0: off).", "ms", "30000"},
      {"ntp-interval", "Milliseconds between NTP requests in an open tunnel.", "ms", "3000"},
      {"cal-state", "pq.calState answer: TEXT for every channel or CH:TEXT for channel 1..8 (repeatable).", "text"},
      {"cal-fault", "FUNC=TEXT: pq.FUNC (calOpen, calU, calI, calState, calClose) or uti.softreset answers TEXT (repeatable).", "spec"},
      {"cal-source", "U:I:F: what the calibrator feeds (volts, amperes, hertz) instead of a perfect source.", "spec"},
      {"fw-fail", "uti.fwUpdate answers this error code (1 .. 5) instead of installing.", "code"},
      {"cal-delay-ms", "Each calibration function (pq.cal*, uti.softreset) works this many milliseconds before it answers (the device answers nothing else meanwhile).", "ms", "0"},
      {"fw-install-ms", "uti.fwUpdate installs this many milliseconds before it answers (the device answers nothing else meanwhile).", "ms", "0"},
      {"reboot-ms", "Milliseconds the device refuses connections while it restarts after an update.", "ms", "3000"},
      {"serial-pty", "Also speak CCCI on a pseudo-terminal (prints \"serial pty: PATH\")."},
      {"ssh-port", "Also serve SSH on this port (0 picks one; prints \"ssh listening on ...\").", "port"},
      {"expired-user", "A user who must change the password at the next SSH login.", "name"},
      {"replay", "Play the device side of a recorded trace (vanta-cli --trace) back to every client.", "file"},
      {"lua-shell", "Run as the device's Lua shell on stdin/stdout (for a real sshd's ForceCommand)."},
      {"lua-user", "User the Lua shell runs as.", "name"},
      {"devices", "Serve N devices in this process: serial numbers from --serial-number on, ports from --port on (0: free ones); prints \"device K serial SN port P\" per device.", "n", "0"},
      {"rate", "Bytes per second each connection sends at most, like a slow device link (0: unlimited).", "bytes", "0"},
      {"lang", "Accepted like every program's; the device side speaks as a device does, whatever the language.", "L"},
  };
  p.addOptions(opts);
  p.process(app);
  if (QString lang, langError; !vanta::LangArgument(app.arguments(), lang, langError)) {
    std::fprintf(stderr, "vanta-sim: %s\n", qPrintable(langError));
    return 1;
  }

  TSimConfig cfg;
  cfg.TimeSet = DefaultTimeSet();
  cfg.Users = DefaultUsers();
  bool ok = true;
  cfg.Bind = p.value("bind");
  const uint port = p.value("port").toUInt(&ok);
  if (!ok || port > 65535) return Fail(QStringLiteral("bad --port"));
  cfg.Port = uint16_t(port);
  cfg.Root = p.value("root");
  cfg.SerialNumber = p.value("serial-number").toUInt(&ok);
  if (!ok) return Fail(QStringLiteral("bad --serial-number"));
  cfg.Article = p.value("article").toUInt(&ok);
  if (!ok) return Fail(QStringLiteral("bad --article"));
  if (!TVantaFW::ParseVersionText(p.value("firmware"), cfg.FwMajor, cfg.FwMinor, cfg.FwPatch))
    return Fail(QStringLiteral("bad --firmware, expected major.minor.patch"));
  cfg.Generation = p.value("generation").toInt(&ok);
  if (!ok || cfg.Generation < 0 || cfg.Generation > 255) return Fail(QStringLiteral("bad --generation"));
  if (p.isSet("firmware-word")) {
    cfg.FirmwareWord = p.value("firmware-word").toLongLong(&ok);
    if (!ok || cfg.FirmwareWord < 0 || cfg.FirmwareWord > 0xFFFFFFFFLL) return Fail(QStringLiteral("bad --firmware-word"));
    const TVantaFW fw(uint32_t(cfg.FirmwareWord));
    cfg.Generation = fw.Gen;
  }
  cfg.Protocol = p.value("protocol").toInt(&ok);
  if (!ok || cfg.Protocol < 3 || cfg.Protocol > 5) return Fail(QStringLiteral("--protocol takes 3, 4 or 5"));
  cfg.NoStat = p.isSet("no-stat");
  cfg.BinaryInputs = p.value("binary-inputs").toInt(&ok);
  if (!ok || cfg.BinaryInputs < 0 || cfg.BinaryInputs > 32) return Fail(QStringLiteral("bad --binary-inputs (0 .. 32)"));
  cfg.BinaryIntervalMs = p.value("binary-interval").toInt(&ok);
  if (!ok || cfg.BinaryIntervalMs < 1) return Fail(QStringLiteral("bad --binary-interval"));
  cfg.MaxConnections = p.value("max-connections").toInt(&ok);
  if (!ok || cfg.MaxConnections < 1) return Fail(QStringLiteral("bad --max-connections"));
  cfg.TextStreamIntervalMs = p.value("text-interval").toInt(&ok);
  if (!ok || cfg.TextStreamIntervalMs < 0) return Fail(QStringLiteral("bad --text-interval"));
  cfg.NtpIntervalMs = p.value("ntp-interval").toInt(&ok);
  if (!ok || cfg.NtpIntervalMs < 100) return Fail(QStringLiteral("bad --ntp-interval (at least 100)"));
  for (const QString& v : p.values("cal-state")) {
    bool chOk = false;
    const int ch = v.section(QLatin1Char(':'), 0, 0).toInt(&chOk);
    const QString text = chOk ? v.section(QLatin1Char(':'), 1) : v;
    if (!KnownResultText(text)) return Fail(QStringLiteral("--cal-state: \"%1\" is no result text of the device").arg(text));
    if (chOk && (ch < 1 || ch > 8)) return Fail(QStringLiteral("--cal-state: channel 1 .. 8"));
    if (chOk)
      cfg.CalChannelState.insert(ch, text);
    else
      cfg.CalState = text;
  }
  for (const QString& v : p.values("cal-fault")) {
    const QString fn = v.section(QLatin1Char('='), 0, 0), text = v.section(QLatin1Char('='), 1);
    static const QStringList fns{QStringLiteral("calOpen"), QStringLiteral("calU"), QStringLiteral("calI"),
                                 QStringLiteral("calState"), QStringLiteral("calClose"), QStringLiteral("softreset")};
    if (!fns.contains(fn) || !KnownResultText(text))
      return Fail(QStringLiteral("--cal-fault takes FUNC=TEXT with FUNC one of %1 and a result text").arg(fns.join(QLatin1String(", "))));
    cfg.CalFaults.insert(fn, text);
  }
  if (p.isSet("cal-source")) {
    const QStringList parts = p.value("cal-source").split(QLatin1Char(':'));
    bool a = false, b = false, c = false;
    if (parts.size() == 3) {
      cfg.CalSourceU = parts[0].toDouble(&a);
      cfg.CalSourceI = parts[1].toDouble(&b);
      cfg.CalSourceF = parts[2].toDouble(&c);
    }
    if (!a || !b || !c) return Fail(QStringLiteral("--cal-source takes U:I:F (volts:amperes:hertz)"));
    cfg.CalSource = true;
  }
  if (p.isSet("fw-fail")) {
    cfg.FwFailCode = p.value("fw-fail").toInt(&ok);
    if (!ok || cfg.FwFailCode < 1) return Fail(QStringLiteral("bad --fw-fail (an error code from 1)"));
  }
  cfg.CalDelayMs = p.value("cal-delay-ms").toInt(&ok);
  if (!ok || cfg.CalDelayMs < 0 || cfg.CalDelayMs > 600000) return Fail(QStringLiteral("bad --cal-delay-ms (0 .. 600000)"));
  cfg.FwInstallMs = p.value("fw-install-ms").toInt(&ok);
  if (!ok || cfg.FwInstallMs < 0 || cfg.FwInstallMs > 600000) return Fail(QStringLiteral("bad --fw-install-ms (0 .. 600000)"));
  cfg.RebootMs = p.value("reboot-ms").toInt(&ok);
  if (!ok || cfg.RebootMs < 0) return Fail(QStringLiteral("bad --reboot-ms"));
  QString error;
  if (p.isSet("config") && !LoadConfigFile(p.value("config"), cfg, error)) return Fail(error);
  if (p.isSet("status-extra") && !LoadStatusExtra(p.value("status-extra"), cfg.StatusExtra, error)) return Fail(error);
  if (p.isSet("users") && !LoadUsers(p.value("users"), cfg.Users, error)) return Fail(error);
  for (const QString& spec : p.values("fault"))
    if (!ParseFault(spec, cfg.Faults, error)) return Fail(error);

  const int devices = p.value("devices").toInt(&ok);
  if (!ok || devices < 0 || devices > 10000 || (p.isSet("devices") && devices == 0)) return Fail(QStringLiteral("bad --devices (1 .. 10000)"));
  const bool fleet = devices > 0;
  if (fleet && cfg.Port != 0 && int(cfg.Port) + devices - 1 > 65535) return Fail(QStringLiteral("--devices: the ports would run past 65535"));
  if (fleet)
    for (const char* single : {"lua-shell", "serial-pty", "ssh-port", "replay"})
      if (p.isSet(QString::fromLatin1(single))) return Fail(QStringLiteral("--%1 serves one device only, not --devices").arg(QString::fromLatin1(single)));
  cfg.RateBytesPerSec = p.value("rate").toLongLong(&ok);
  if (!ok || cfg.RateBytesPerSec < 0) return Fail(QStringLiteral("bad --rate (bytes per second, 0: unlimited)"));
  TSimNetwork network;
  if (p.isSet("network") && !LoadNetwork(p.value("network"), network, error)) return Fail(error);
  network.OscSamples = p.value("osc-samples").toUInt(&ok);
  if (!ok || network.OscSamples > 200000) return Fail(QStringLiteral("bad --osc-samples (0 .. 200000)"));
  network.OscRate = p.value("osc-rate").toUInt(&ok);
  if (!ok || network.OscRate == 0) return Fail(QStringLiteral("bad --osc-rate"));
  const int populate = p.value("populate").toInt();
  const int moreRecordings = p.value("recordings").toInt(&ok);
  if (!ok || moreRecordings < 0 || moreRecordings > 10000) return Fail(QStringLiteral("bad --recordings (0 .. 10000)"));
  const double recordingMb = p.value("recording-mb").toDouble(&ok);
  if (!ok || recordingMb <= 0 || recordingMb > 1024) return Fail(QStringLiteral("bad --recording-mb (above 0, at most 1024)"));
  const int moreEvents = p.value("events").toInt(&ok);
  if (!ok || moreEvents < 0 || moreEvents > 100000) return Fail(QStringLiteral("bad --events (0 .. 100000)"));
  cfg.ExpiredUsers = p.values("expired-user");
  QHostAddress address;
  if (!address.setAddress(cfg.Bind)) return Fail(QStringLiteral("bad --bind address"));

  // One host per served device. With --devices every device has a serial
  // number, a root, a port and default records of its own; without it the
  // one device is exactly what the options say.
  std::vector<std::unique_ptr<TDeviceHost>> hosts;
  const int count = fleet ? devices : 1;
  hosts.reserve(size_t(count));
  for (int k = 0; k < count; ++k) {
    auto host = std::make_unique<TDeviceHost>(cfg);
    TSimConfig& c = host->Cfg;
    if (fleet) {
      c.SerialNumber = cfg.SerialNumber + uint32_t(k);
      c.ContentSeed = uint32_t(k);
      if (!cfg.Root.isEmpty()) c.Root = cfg.Root + QStringLiteral("/device-%1").arg(k);
      if (cfg.Port != 0) c.Port = uint16_t(cfg.Port + k);
    }
    host->Device.Network = network;
    hosts.push_back(std::move(host));
  }
  // The mapping database of this build tree, else the installed copy beside the other data.
  QString builtDb = QStringLiteral(VANTA_GENERATED_DATA_DIR "/MappingDB.gz");
  if (const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vanta/MappingDB.gz");
      !QFileInfo::exists(builtDb) && QFileInfo::exists(installed))
    builtDb = QDir::cleanPath(installed);
  // The root of a device with its default records, certificate and mapping
  // database. Creating files is what start-up costs (on a busy disk tens of
  // milliseconds a device), so a fleet fills its roots after it listens.
  const auto prepare = [&](TDeviceHost& host, bool withDb, QString& why) {
    if (host.Ready) return true;
    if (!host.Storage.Open(host.Cfg.Root, host.Cfg.Root.isEmpty() ? SampleDir() : QString(), why)) return false;
    // A device without stored records gets the default set; more on request.
    PopulateDefaultRecords(host.Device, why);
    if (why.isEmpty() && populate > 0) PopulateMore(host.Device, populate, why);
    if (why.isEmpty() && (moreRecordings > 0 || moreEvents > 0))
      PopulateSized(host.Device, moreRecordings, qint64(recordingMb * 1048576.0), moreEvents, why);
    if (why.isEmpty()) WriteTestCertificate(host.Device, why);
    if (!why.isEmpty()) return false;
    if (withDb) {
      // A device always carries its mapping database (gzip copy on the scratchpad).
      const QString dbCopy = host.Storage.ScratchpadDir() + QStringLiteral("/MappingDB.gz");
      if (!QFileInfo::exists(dbCopy) && QFileInfo::exists(builtDb)) QFile::copy(builtDb, dbCopy);
    }
    host.Ready = true;
    return true;
  };
  if (!fleet) {
    if (!prepare(*hosts.front(), !p.isSet("lua-shell"), error)) return Fail(error);
    if (p.isSet("lua-shell"))
      return RunLuaShell(hosts.front()->Device, p.isSet("lua-user") ? p.value("lua-user") : cfg.Users.front().Name);
  }
  for (const auto& host : hosts)
    if (!host->Server.listen(address, host->Cfg.Port))
      return Fail(QStringLiteral("cannot listen on %1:%2: %3").arg(cfg.Bind).arg(host->Cfg.Port).arg(host->Server.errorString()));
  // A fleet device whose root is not filled yet fills it before it answers
  // its first client; the rest are filled one per turn of the event loop.
  const auto prepareOrStop = [&](TDeviceHost& host) {
    if (host.Ready) return true;
    QString why;
    if (prepare(host, true, why)) {
      host.Device.Log(QStringLiteral("device started, serial %1").arg(host.Cfg.SerialNumber));
      return true;
    }
    std::fprintf(stderr, "vanta-sim: device with serial %u: %s\n", unsigned(host.Cfg.SerialNumber), why.toUtf8().constData());
    app.exit(1);
    return false;
  };
  size_t nextToFill = 0;
  QElapsedTimer fillClock;
  QTimer filler;
  filler.setInterval(0);
  QObject::connect(&filler, &QTimer::timeout, &app, [&] {
    while (nextToFill < hosts.size() && hosts[nextToFill]->Ready) ++nextToFill;
    if (nextToFill == hosts.size()) {
      filler.stop();
      std::fprintf(stderr, "vanta-sim: %d device roots filled after %lld ms\n", count, static_cast<long long>(fillClock.elapsed()));
      return;
    }
    if (!prepareOrStop(*hosts[nextToFill])) filler.stop();
  });
  int nextId = 1;  // connection numbers in the log, unique over all devices
  std::vector<TTracePacket> replay;
  if (p.isSet("replay")) {
    QFile f(p.value("replay"));
    if (!f.open(QIODevice::ReadOnly)) return Fail(QStringLiteral("--replay: %1: %2").arg(f.fileName(), f.errorString()));
    if (const QString e = ReadPcapng(f.readAll(), replay); !e.isEmpty()) {
      if (replay.empty()) return Fail(QStringLiteral("--replay: %1").arg(e));
      std::fprintf(stderr, "vanta-sim: %s (the %zu packets before it are replayed)\n", e.toUtf8().constData(), replay.size());
    }
  }
  for (const auto& owned : hosts) {
    TDeviceHost& host = *owned;
    QObject::connect(&host.Server, &QTcpServer::newConnection, [&] {
      while (QTcpSocket* s = host.Server.nextPendingConnection()) {
        if (!prepareOrStop(host)) {
          delete s;
          return;
        }
        if (p.isSet("replay")) {
          new TReplayConnection(s, replay, nextId++);
          continue;
        }
        auto* c = new TSimConnection(host.Device, s, nextId++);
        host.Live.removeAll(nullptr);
        host.Live << c;
        QObject::connect(c, &TSimConnection::Finished, c, [](TSimConnection* self) { self->deleteLater(); });
      }
    });
    // Restart after a firmware update: the answer of the update call goes out
    // first, then every session ends and the port stays closed for a while.
    host.Device.OnReboot = [&](const QString& version) {
      QTimer::singleShot(300, &app, [&, version] {
        const quint16 port = host.Server.serverPort();  // the same port again, also after --port 0
        host.Device.Rebooting = true;
        ++host.Device.RebootEpoch;
        host.Server.close();
        for (const QPointer<TSimConnection>& c : host.Live)
          if (c) c->Close(QStringLiteral("restart after firmware update"));
        host.Live.clear();
        std::fprintf(stderr, "vanta-sim: restarting with firmware %s\n", version.toUtf8().constData());
        QTimer::singleShot(host.Cfg.RebootMs, &app, [&, version, port] {
          TSimConfig& c = host.Cfg;
          if (!c.Faults.FwKeepVersion) TVantaFW::ParseVersionText(version, c.FwMajor, c.FwMinor, c.FwPatch);
          c.FirmwareWord = -1;
          if (!host.Server.listen(address, port))
            std::fprintf(stderr, "vanta-sim: cannot listen again: %s\n", host.Server.errorString().toUtf8().constData());
          host.Device.Rebooting = false;
          host.Device.Log(QStringLiteral("device restarted, firmware %1.%2.%3").arg(c.FwMajor).arg(c.FwMinor).arg(c.FwPatch));
        });
      });
    };
  }
  TSimDevice& device = hosts.front()->Device;

  // SIGINT/SIGTERM end the event loop through a socket pair, so the handler
  // does nothing but write one byte.
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, GSignalFd) != 0) return Fail(QStringLiteral("socketpair failed"));
  QSocketNotifier notifier(GSignalFd[0], QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&] {
    char c;
    [[maybe_unused]] const ssize_t n = ::read(GSignalFd[0], &c, 1);
    std::fprintf(stderr, "vanta-sim: stopping\n");
    for (const auto& host : hosts) host->Server.close();
    app.quit();
  });
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);

  if (p.isSet("serial-pty")) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return Fail(QStringLiteral("no pseudo-terminal"));
    const QString slave = QString::fromLocal8Bit(::ptsname(master));
    // Keep one handle on the line ourselves, raw, so it neither echoes what
    // is written to it nor hangs up between clients.
    const int keep = ::open(slave.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    termios t{};
    if (keep >= 0 && ::tcgetattr(keep, &t) == 0) {
      ::cfmakeraw(&t);
      ::tcsetattr(keep, TCSANOW, &t);
    }
    new TSimConnection(device, master, 0, &app);
    std::printf("serial pty: %s\n", slave.toLocal8Bit().constData());
  }
  TSimSshServer ssh(device);
  if (!hosts.empty()) ssh.SetCcciPort(hosts.front()->Server.serverPort());
  if (p.isSet("ssh-port")) {
    const uint sshPort = p.value("ssh-port").toUInt(&ok);
    if (!ok || sshPort > 65535) return Fail(QStringLiteral("bad --ssh-port"));
    if (!ssh.Start(cfg.Bind, uint16_t(sshPort), error)) return Fail(error);
    std::printf("ssh listening on %s:%u\n", cfg.Bind.toUtf8().constData(), unsigned(ssh.Port()));
  }
  if (!fleet) device.Log(QStringLiteral("device started, serial %1").arg(cfg.SerialNumber));
  if (fleet) {
    // One line per device, all of them only once every device listens: a
    // reader that has N lines can connect to any of them.
    for (size_t k = 0; k < hosts.size(); ++k)
      std::printf("device %zu serial %u port %u\n", k, unsigned(hosts[k]->Cfg.SerialNumber), unsigned(hosts[k]->Server.serverPort()));
  } else {
    std::printf("vanta-sim listening on %s:%u\n", hosts.front()->Server.serverAddress().toString().toUtf8().constData(),
                unsigned(hosts.front()->Server.serverPort()));
  }
  std::fflush(stdout);
  if (fleet) {
    fillClock.start();
    filler.start();
  } else {
    std::fprintf(stderr, "vanta-sim: device root %s\n", device.Storage.Root().toUtf8().constData());
  }
  const int rc = app.exec();
  ssh.Stop();
  return rc;
}
