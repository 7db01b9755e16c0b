// What the program's environment may change for staging and tests: the three
// service hosts and an extra CA bundle to trust. Only builds configured with
// ZK_STAGING_OVERRIDES=ON read these variables; a product build has no such
// knob, so code running as the user cannot point the elevated installer at a
// server of its own. One of two files is built: StagingOverrides_staging.cpp
// or StagingOverrides_product.cpp.
#pragma once

enum class StagingVariable {
  kConfigHost,     // ZK_CONFIG_HOST
  kRegionHost,     // ZK_REGION_HOST
  kClientIpHost,   // ZK_CLIENT_IP_HOST
  kExtraCaBundle,  // ZK_EXTRA_CA_BUNDLE
};

// The variable's value when it is set and not empty, else null; always null
// in a product build. Read on every call, so a test can change it between
// requests.
const char* StagingOverride(StagingVariable variable);
