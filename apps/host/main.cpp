// vanta-host: the desktop program that embeds the workspace's device windows.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>

#include "MainWindow.h"

using namespace vanta;
using namespace vanta::host;

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("vanta-host"));
  QCommandLineParser p;
  p.setApplicationDescription(QStringLiteral("Vanta workspace: devices, parameters, live data, readout."));
  p.addHelpOption();
  p.addOptions({
      {"connect", "Device to add (if needed) and open.", "HOST:PORT"},
      {"serial", "Serial device to add and open.", "PATH"},
      {"open", "Window to open for --connect/--serial (para, visu, data, status, ...).", "KIND", "data"},
      {"ssh", "Reach the device through SSH."},
      {"user", "SSH user.", "U"},
      {"password", "SSH password.", "P"},
      {"visibility", "Access level.", "N"},
      {"config", "Device list and settings file.", "FILE"},
      {"screenshot", "Grab the main window into FILE.png and quit.", "FILE"},
      {"after", "Seconds before the screenshot.", "S", "3"},
  });
  p.process(app);

  TDeviceStore store(p.isSet("config") ? p.value("config") : TDeviceStore::DefaultFile());
  store.Load();
  if (p.isSet("visibility")) store.Settings.Visibility = p.value("visibility").toInt();
  TMainWindow main(store);
  main.SshUser = p.value("user");
  main.SshPassword = p.value("password");
  main.show();

  int toOpen = -1;
  if (p.isSet("connect")) {
    const QString target = p.value("connect");
    const QString host = target.section(QLatin1Char(':'), 0, -2);
    const QString port = target.section(QLatin1Char(':'), -1);
    if (host.isEmpty() || port.toInt() <= 0) {
      std::fprintf(stderr, "vanta-host: --connect takes HOST:PORT\n");
      return 1;
    }
    toOpen = store.Find(host, port);
    if (toOpen < 0) {
      TDeviceRec d;
      d.IP = host;
      d.Port = port;
      d.ConType = p.isSet("ssh") ? TConType::ctSSH : TConType::ctCCCI;
      d.Anlage = QStringLiteral("Neu");
      d.Feld = QStringLiteral("Neu");
      d.Geraet = target;
      store.Devices.push_back(d);
      store.Save();
      toOpen = int(store.Devices.size()) - 1;
    }
  } else if (p.isSet("serial")) {
    TDeviceRec d;
    d.IsSerial = true;
    d.Port = p.value("serial");
    d.Geraet = d.Port;
    store.Devices.push_back(d);
    store.Save();
    toOpen = int(store.Devices.size()) - 1;
  }
  main.RebuildTree();
  if (toOpen >= 0) {
    main.SelectDevice(toOpen);
    main.OpenDevice(toOpen, GetDirectKind(p.value("open")));
  }

  if (p.isSet("screenshot")) {
    const QString file = p.value("screenshot");
    const int ms = int(p.value("after").toDouble() * 1000);
    QTimer::singleShot(ms, &app, [&main, &app, file] {
      bool ok = main.grab().save(file, "PNG");
      const auto& windows = main.Windows();
      if (!windows.isEmpty() && windows.last()) {
        QString deviceFile = file;
        deviceFile.replace(QStringLiteral(".png"), QStringLiteral("-device.png"));
        ok = windows.last()->grab().save(deviceFile, "PNG") && ok;
      }
      std::printf("%s %s\n", ok ? "screenshot" : "screenshot failed:", file.toLocal8Bit().constData());
      std::fflush(stdout);
      for (const auto& w : windows)
        if (w) w->close();
      QTimer::singleShot(1500, &app, [&app, ok] { app.exit(ok ? 0 : 1); });
    });
  }
  return app.exec();
}
