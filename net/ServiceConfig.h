// The three service hosts. Each is fixed at build time; in staging and test
// builds an environment variable of the same name (ZK_CONFIG_HOST,
// ZK_REGION_HOST, ZK_CLIENT_IP_HOST) may override it (net/StagingOverrides.h).
// A host may carry a port ("127.0.0.1:8443") where its URL leaves room for
// one; the client-IP URL fixes port 443.
#pragma once

#include <string>

std::u16string ConfigHost();
std::u16string RegionHost();
std::u16string ClientIpHost();

// "https://<config host>/Desktop/ZKZKINI/GameConfig-V1.ini"
std::u16string GameConfigUrl();
// "http://<region host>/CheckData/UserCheck_Get_CN.asp"
std::u16string RegionCheckUrl();
// "https://<client-IP host>:443/api/env/getClientIP.asp"
std::u16string ClientIpUrl();
