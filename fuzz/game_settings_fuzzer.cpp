// libFuzzer target: the configuration text parser.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzGameSettings(data, size);
  return 0;
}
