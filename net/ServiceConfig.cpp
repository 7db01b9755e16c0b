#include "net/ServiceConfig.h"

#include "net/StagingOverrides.h"
#include "net/Text.h"

#ifndef ZK_CONFIG_HOST_DEFAULT
#define ZK_CONFIG_HOST_DEFAULT "config.zkgame.invalid"
#endif
#ifndef ZK_REGION_HOST_DEFAULT
#define ZK_REGION_HOST_DEFAULT "region.zkgame.invalid"
#endif
#ifndef ZK_CLIENT_IP_HOST_DEFAULT
#define ZK_CLIENT_IP_HOST_DEFAULT "clientip.zkgame.invalid"
#endif

namespace {

std::u16string HostFrom(StagingVariable variable, const char* builtIn) {
  const char* value = StagingOverride(variable);
  return Utf8ToUtf16(value != nullptr ? value : builtIn);
}

}  // namespace

std::u16string ConfigHost() { return HostFrom(StagingVariable::kConfigHost, ZK_CONFIG_HOST_DEFAULT); }
std::u16string RegionHost() { return HostFrom(StagingVariable::kRegionHost, ZK_REGION_HOST_DEFAULT); }
std::u16string ClientIpHost() { return HostFrom(StagingVariable::kClientIpHost, ZK_CLIENT_IP_HOST_DEFAULT); }

std::u16string GameConfigUrl() { return u"https://" + ConfigHost() + u"/Desktop/ZKZKINI/GameConfig-V1.ini"; }
std::u16string RegionCheckUrl() { return u"http://" + RegionHost() + u"/CheckData/UserCheck_Get_CN.asp"; }
std::u16string ClientIpUrl() { return u"https://" + ClientIpHost() + u":443/api/env/getClientIP.asp"; }
