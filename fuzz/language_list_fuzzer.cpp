// libFuzzer target: see fuzz_app::FuzzLanguageList.
#include "fuzz/FuzzTargetsApp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_app::FuzzLanguageList(data, size);
  return 0;
}
