// libFuzzer target: see fuzz_app::FuzzSpriteFile.
#include "fuzz/FuzzTargetsApp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_app::FuzzSpriteFile(data, size);
  return 0;
}
