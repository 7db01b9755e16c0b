// The sandbox services as the Windows tests see them: e2e/run.sh starts them
// on loopback, names them in ZK_TEST_*_BASE (and the served folder in
// ZK_TEST_FILES_DIR) and makes their test CA trusted in the wine prefix.
// The control port is driven by a plain blocking WinINet client of the test's
// own, so that no code under test carries the test's plumbing.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

struct SandboxRequest {
  std::string method;
  std::string path;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string raw;                             // as the control port reported it
};

struct SandboxServed {
  int requests = 0;
  long long bodyBytes = 0;
};

class WinSandboxTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Switches one fault of a service on, replacing its faults ("ok": none),
  // or adds it to them; parameters as the sandbox's --help lists them.
  bool SetFault(const std::string& service, const std::string& mode,
                const std::map<std::string, std::string>& parameters = {}) const;
  bool AddFault(const std::string& service, const std::string& mode,
                const std::map<std::string, std::string>& parameters = {}) const;
  // What a service served for one path since the last reset.
  SandboxServed Served(const std::string& service, const std::string& path) const;
  SandboxRequest LastRequest(const std::string& service) const;

  std::u16string files_, region_, config_, control_;
  std::u16string mirror_;  // the second files service, serving the same folder
  std::string proxy_;      // the forward proxy's "127.0.0.1:<port>"
  std::string filesUtf8_, configUtf8_;
  std::filesystem::path servedDir_;  // what the files service serves

 private:
  bool Fault(const std::string& service, const std::string& mode, const std::map<std::string, std::string>& parameters,
             bool add) const;
};

// The body of a plain GET (empty when it failed).
std::string PlainGet(const std::string& url);

// The system's proxy, as the Internet settings in the user's registry name
// it ("host:port" for every scheme), for as long as the object lives.
class SystemProxySetting {
 public:
  explicit SystemProxySetting(const std::string& server);
  ~SystemProxySetting();
  SystemProxySetting(const SystemProxySetting&) = delete;
  SystemProxySetting& operator=(const SystemProxySetting&) = delete;
};
