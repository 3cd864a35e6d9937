#include "fuzz_params.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)vanta::fuzz::FuzzParamsOneInput(data, size);
  return 0;
}
