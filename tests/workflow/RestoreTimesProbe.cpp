// Runs the list step once in a fresh process whose address space may grow by
// a given number of bytes at most, and exits 0 when the step returned.
// Usage: restore_times_probe <headroom bytes> <root key> <game key> <list name>
// (the registry store from ZK_REGISTRY_ROOT, as the installer reads it).
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "SelectLanguage/ListFile.h"
#include "net/GameSettings.h"
#include "net/Text.h"

namespace {

std::size_t AddressSpaceBytes() {
  std::ifstream status("/proc/self/status");
  for (std::string key; status >> key;) {
    if (key == "VmSize:") {
      std::size_t kib = 0;
      status >> kib;
      return kib * 1024;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  static GameSettings settings;
  std::memset(&settings, 0, sizeof settings);
  if (!StoreInField(settings.rPathRoot, Utf8ToUtf16(argv[2])) ||
      !StoreInField(settings.rPathGame, Utf8ToUtf16(argv[3])) ||
      !StoreInField(settings.fNameLst, Utf8ToUtf16(argv[4]))) {
    return 2;
  }
  const std::size_t limit = AddressSpaceBytes() + std::strtoull(argv[1], nullptr, 10);
  const rlimit space{limit, limit};
  if (limit == 0 || ::setrlimit(RLIMIT_AS, &space) != 0) return 3;
  RestoreFileTimes(settings);
  return 0;
}
