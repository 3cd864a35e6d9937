#include <QCoreApplication>
#include <QDir>

#include "fuzz_mapping.h"

namespace {
QString Scratch() {
  static const QString dir = [] {
    const QString d = QDir::temp().filePath(QStringLiteral("fuzz_mapping-%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(d);
    return d;
  }();
  return dir;
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);  // the SQL driver is a plug-in
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)vanta::fuzz::FuzzMappingOneInput(QStringLiteral(VANTA_MAPPINGDB), Scratch(), data, size);
  return 0;
}
