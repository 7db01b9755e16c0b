// libFuzzer target: the configuration's signature line (split, base64, DER)
// and its expiry time.
#include "fuzz/FuzzTargetsSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::FuzzConfigSignature(data, size);
  return 0;
}
