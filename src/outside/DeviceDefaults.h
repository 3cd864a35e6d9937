#pragma once
// The device's factory login. It is configuration, not code: it is read from
// an ini file so that sites with other defaults need no rebuild.
//
// Lookup order: the file named by VANTA_DEVICE_DEFAULTS, then
// "device-defaults.ini" in the program's folder, "../share/vanta/" and the
// source tree's "data/" folder. Keys: [device] user=..., password=...
#include <QString>

namespace vanta {

struct TDeviceDefaults {
  QString User;
  QString Password;
  QString SourceFile;  // where the values came from (empty: none found)

  // Reads one ini file; false (and the object untouched) when unreadable.
  bool LoadFile(const QString& path);
  // Applies the lookup order above.
  static TDeviceDefaults FromEnvironment();
};

// Convenience wrappers for code that needs only the values.
QString CVantaDefUser();
QString CVantaDefPassword();

}  // namespace vanta
