#include "net/ServiceConfig.h"

#include <cstdlib>

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

// Read on every call, so a test can point the program elsewhere between
// requests.
std::u16string HostFrom(const char* variable, const char* builtIn) {
  const char* value = std::getenv(variable);
  return Utf8ToUtf16(value != nullptr && *value != '\0' ? value : builtIn);
}

}  // namespace

std::u16string ConfigHost() { return HostFrom("ZK_CONFIG_HOST", ZK_CONFIG_HOST_DEFAULT); }
std::u16string RegionHost() { return HostFrom("ZK_REGION_HOST", ZK_REGION_HOST_DEFAULT); }
std::u16string ClientIpHost() { return HostFrom("ZK_CLIENT_IP_HOST", ZK_CLIENT_IP_HOST_DEFAULT); }

std::u16string GameConfigUrl() { return u"https://" + ConfigHost() + u"/Desktop/ZKZKINI/GameConfig-V1.ini"; }
std::u16string RegionCheckUrl() { return u"http://" + RegionHost() + u"/CheckData/UserCheck_Get_CN.asp"; }
std::u16string ClientIpUrl() { return u"https://" + ClientIpHost() + u":443/api/env/getClientIP.asp"; }
