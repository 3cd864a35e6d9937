#include "fuzz_status.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)vanta::fuzz::FuzzStatusOneInput(data, size);
  return 0;
}
