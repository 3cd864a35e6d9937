#include "fuzz_live.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)vanta::fuzz::FuzzLiveOneInput(data, size);
  return 0;
}
