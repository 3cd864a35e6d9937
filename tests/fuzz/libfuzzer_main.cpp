#include <QCoreApplication>

#include "fuzz_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "fuzz_frames";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  vanta::fuzz::FuzzFramesOneInput(data, size);
  return 0;
}
