// Starts tools/sandbox/sandbox.py for a test, reads its ports, switches its
// faults and reads back what a service received. Stops it on destruction.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

class Sandbox {
 public:
  struct Request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    bool received = false;
  };

  Sandbox() = default;
  ~Sandbox() { Stop(); }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Starts the program with these further options; true once it is ready.
  // The client-IP service gets a random 127.x.y.z address on port 443. The
  // configuration is signed with the build's first test key (the fault
  // "sig-key2" signs with its second).
  bool Start(const std::vector<std::string>& options = {});
  void Stop();

  // Points the program under test at this sandbox: ZK_CONFIG_HOST,
  // ZK_REGION_HOST, ZK_CLIENT_IP_HOST and ZK_EXTRA_CA_BUNDLE.
  void ExportEnvironment() const;

  int ConfigPort() const { return Port("config"); }
  int RegionPort() const { return Port("region"); }
  int ClientIpPort() const { return Port("clientip"); }  // 0: not bound
  int FilesPort() const { return Port("files"); }
  int MirrorPort() const { return Port("mirror"); }
  int ProxyPort() const { return Port("proxy"); }
  const std::string& ClientIpAddress() const { return values_.at("clientip_bind"); }
  const std::string& CaPath() const { return values_.at("ca"); }

  // "https://127.0.0.1:<config port>" and so on.
  std::string ConfigBase() const;
  std::string RegionBase() const;
  std::string FilesBase() const;
  std::string MirrorBase() const;
  // The forward proxy's URL, with "user:password@" when given.
  std::string ProxyUrl(const std::string& credentials = "") const;

  // Switches one fault on, replacing the service's faults ("ok": none), or
  // adding it to them. Parameters as the sandbox's --help lists them, for
  // example {{"after", "1000"}, {"times", "1"}} for "drop".
  bool SetFault(const std::string& service, const std::string& mode,
                const std::map<std::string, std::string>& parameters = {}) const;
  bool AddFault(const std::string& service, const std::string& mode,
                const std::map<std::string, std::string>& parameters = {}) const;
  // What a service served for one path (the query left out) since the start.
  struct Served {
    int requests = 0;
    long long bodyBytes = 0;
  };
  Served Counts(const std::string& service, const std::string& path) const;
  bool SetAnswer(const std::string& service, const std::string& body) const;
  // Faults off, default answers, counts cleared.
  bool Reset() const;
  Request LastRequest(const std::string& service) const;

 private:
  int Port(const std::string& key) const;
  bool Fault(const std::string& service, const std::string& mode, const std::map<std::string, std::string>& parameters,
             bool add) const;
  std::string Control(const std::string& pathAndQuery, const std::string* body, bool* ok) const;

  pid_t pid_ = -1;
  std::string dir_;
  std::map<std::string, std::string> values_;
};
