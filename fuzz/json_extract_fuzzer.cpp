// libFuzzer target: null normalisation and marker extraction.
#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzJsonExtract(data, size);
  return 0;
}
