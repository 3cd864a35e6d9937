// A device window under test with its log and connect results captured.
#pragma once

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStringList>
#include <memory>

#include "FormBasic.h"
#include "Language.h"
#include "TestSupport.h"

namespace vanta::test {

struct TWindow {
  // The log outlives the window: it logs its own destruction.
  QStringList Log;
  int Ended = 0;
  bool Connected = false;
  std::unique_ptr<TFormBasic> W = std::make_unique<TFormBasic>();
  explicit TWindow(bool serial = false, bool ssh = false) {
    W->FOnLogCallBack = [this](QObject*, const QString& l) { Log << l; };
    W->FConnectThreadEnd = [this](QObject*, bool ok, bool) {
      ++Ended;
      Connected = ok;
    };
    W->SetComUnit(serial, ssh, TIpVer::ipverV4);
  }
  void Connect(uint16_t port) { W->SetTCPCommUnit(QStringLiteral("127.0.0.1"), port, false, true, false, true, false); }
  int Count(const QString& text) const {
    int n = 0;
    for (const QString& m : W->ShownMessages()) n += m.contains(text) ? 1 : 0;
    return n;
  }
};

// A device window connected to the simulator at `port`, its folders in
// `data`, its log collected into `log` (which must outlive the window).
template <class TWin>
bool ConnectToSim(TWin& w, const QString& data, QStringList& log, uint16_t port) {
  w.FOnLogCallBack = [&log](QObject*, const QString& l) { log << l; };
  w.SetComUnit(false, false, TIpVer::ipverV4);
  w.SetFolders(data + QStringLiteral("/data/"), data + QStringLiteral("/ini/"), data + QStringLiteral("/tmp/"));
  return w.SetTCPCommUnit(QStringLiteral("127.0.0.1"), port, false, true, true, true, false);
}

inline QMessageBox* OpenBox(const QString& name = {}) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && (name.isEmpty() || box->objectName() == name))
      return box;
  return nullptr;
}

// With VANTA_SHOT_DIR set, the widget as shown is saved there under `name`
// for the manual's pictures; without it nothing is shown.
inline void Shot(QWidget& w, const QString& name) {
  if (const QString dir = qEnvironmentVariable("VANTA_SHOT_DIR"); !dir.isEmpty()) {
    w.show();
    SpinFor(100);
    w.grab().save(QDir(dir).filePath(name));
  }
}

// Back to German whatever a test left: the other tests read German texts.
struct TGermanAfterwards {
  ~TGermanAfterwards() { InstallLanguage(QStringLiteral("de"), false); }
};

}  // namespace vanta::test
