// libFuzzer target: see fuzz_app::FuzzListFile.
#include "fuzz/FuzzTargetsApp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_app::FuzzListFile(data, size);
  return 0;
}
