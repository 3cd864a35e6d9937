#include "fuzz_archives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)vanta::fuzz::FuzzArchivesOneInput(data, size);
  return 0;
}
