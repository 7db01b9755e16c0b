#include <cstdlib>

#include "net/StagingOverrides.h"

namespace {

const char* Name(StagingVariable variable) {
  switch (variable) {
    case StagingVariable::kConfigHost: return "ZK_CONFIG_HOST";
    case StagingVariable::kRegionHost: return "ZK_REGION_HOST";
    case StagingVariable::kClientIpHost: return "ZK_CLIENT_IP_HOST";
    case StagingVariable::kExtraCaBundle: return "ZK_EXTRA_CA_BUNDLE";
  }
  return nullptr;
}

}  // namespace

const char* StagingOverride(StagingVariable variable) {
  const char* name = Name(variable);
  const char* value = name != nullptr ? std::getenv(name) : nullptr;
  return value != nullptr && *value != '\0' ? value : nullptr;
}
