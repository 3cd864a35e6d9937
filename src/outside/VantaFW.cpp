#include "VantaFW.h"

#include <QStringList>

namespace vanta {

void TVantaFW::CalcVer() {
  if (IsLegacy()) {
    Gen = 0;
    Version = MakeVersion(1, 0, 0);
    return;
  }
  Gen = uint8_t(Raw >> 24);
  Version = MakeVersion(int((Raw >> 16) & 0xFF), int((Raw >> 8) & 0xFF), int(Raw & 0xFF));
}

bool TVantaFW::IsAtLeastVer(int major, int minor, int patch) const {
  return Version >= MakeVersion(major, minor, patch);
}

QString TVantaFW::VerAsStr() const {
  QString text = QStringLiteral("%1.%2.%3").arg(Major()).arg(Minor()).arg(Patch());
  if (IsLegacy()) text += QStringLiteral(" (Build %1)").arg(Raw);
  return text;
}

bool TVantaFW::ParseVersionText(const QString& text, int& major, int& minor, int& patch) {
  const QStringList parts = text.trimmed().split(QLatin1Char('.'));
  if (parts.size() != 3) return false;
  int v[3];
  for (int i = 0; i < 3; ++i) {
    bool ok = false;
    v[i] = parts[i].toInt(&ok);
    if (!ok || v[i] < 0 || v[i] > 255) return false;
  }
  major = v[0];
  minor = v[1];
  patch = v[2];
  return true;
}

}  // namespace vanta
