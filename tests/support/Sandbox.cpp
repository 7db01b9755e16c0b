#include "tests/support/Sandbox.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// One test CA per test process: libcurl reads ZK_EXTRA_CA_BUNDLE once, so
// every sandbox of the process must sign with the same CA.
const std::string& CaDir() {
  struct Dir {
    std::string path;
    Dir() {
      char templ[] = "/tmp/zk-test-ca-XXXXXX";
      if (::mkdtemp(templ) != nullptr) path = templ;
    }
    ~Dir() {
      std::error_code ec;
      if (!path.empty()) fs::remove_all(path, ec);
    }
  };
  static Dir dir;
  return dir.path;
}

std::string RandomLoopback() {
  std::random_device rd;
  std::uniform_int_distribution<int> part(1, 250);
  return "127." + std::to_string(part(rd)) + "." + std::to_string(part(rd)) + "." + std::to_string(part(rd));
}

size_t Collect(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

}  // namespace

bool Sandbox::Start(const std::vector<std::string>& options) {
  Stop();
  char templ[] = "/tmp/zk-sandbox-test-XXXXXX";
  if (::mkdtemp(templ) == nullptr) return false;
  dir_ = templ;
  const std::string portsFile = dir_ + "/ports";
  std::vector<std::string> args = {ZK_PYTHON3, ZK_SANDBOX_SCRIPT, "--bind", "127.0.0.1", "--client-ip-bind",
                                   RandomLoopback(), "--ca-dir", CaDir(), "--ports-file", portsFile,
                                   // the build trusts both; the second signs under the fault sig-key2
                                   "--sign-key", ZK_TEST_KEYS_DIR "/signer-1.pem", "--sign-key",
                                   ZK_TEST_KEYS_DIR "/signer-2.pem"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::ifstream in(portsFile);
    if (in) {
      std::string line;
      while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values_[line.substr(0, eq)] = line.substr(eq + 1);
      }
      if (values_.count("ca") != 0) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Stop();
  return false;
}

void Sandbox::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
      ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
      if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    if (!ended) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    dir_.clear();
  }
  values_.clear();
}

int Sandbox::Port(const std::string& key) const {
  const auto it = values_.find(key);
  return it == values_.end() ? 0 : std::atoi(it->second.c_str());
}

std::string Sandbox::ConfigBase() const { return "https://127.0.0.1:" + std::to_string(ConfigPort()); }
std::string Sandbox::RegionBase() const { return "http://127.0.0.1:" + std::to_string(RegionPort()); }
std::string Sandbox::FilesBase() const { return "http://127.0.0.1:" + std::to_string(FilesPort()); }
std::string Sandbox::MirrorBase() const { return "http://127.0.0.1:" + std::to_string(MirrorPort()); }
std::string Sandbox::ProxyUrl(const std::string& credentials) const {
  return "http://" + credentials + "127.0.0.1:" + std::to_string(ProxyPort());
}

void Sandbox::ExportEnvironment() const {
  ::setenv("ZK_CONFIG_HOST", ("127.0.0.1:" + std::to_string(ConfigPort())).c_str(), 1);
  ::setenv("ZK_REGION_HOST", ("127.0.0.1:" + std::to_string(RegionPort())).c_str(), 1);
  ::setenv("ZK_CLIENT_IP_HOST", ClientIpAddress().c_str(), 1);
  ::setenv("ZK_EXTRA_CA_BUNDLE", CaPath().c_str(), 1);
}

std::string Sandbox::Control(const std::string& pathAndQuery, const std::string* body, bool* ok) const {
  std::string answer;
  *ok = false;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return answer;
  const std::string url = "http://127.0.0.1:" + std::to_string(Port("control")) + pathAndQuery;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body ? body->size() : 0));
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body ? body->data() : "");
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
  long status = 0;
  if (curl_easy_perform(curl) == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    *ok = status == 200;
  }
  curl_easy_cleanup(curl);
  return answer;
}

bool Sandbox::Fault(const std::string& service, const std::string& mode,
                    const std::map<std::string, std::string>& parameters, bool add) const {
  std::string query = "/control/fault?service=" + service + "&mode=" + mode + (add ? "&add=1" : "");
  for (const auto& [name, value] : parameters) query += "&" + name + "=" + value;
  bool ok = false;
  Control(query, nullptr, &ok);
  return ok;
}

bool Sandbox::SetFault(const std::string& service, const std::string& mode,
                       const std::map<std::string, std::string>& parameters) const {
  return Fault(service, mode, parameters, false);
}

bool Sandbox::AddFault(const std::string& service, const std::string& mode,
                       const std::map<std::string, std::string>& parameters) const {
  return Fault(service, mode, parameters, true);
}

Sandbox::Served Sandbox::Counts(const std::string& service, const std::string& path) const {
  bool ok = false;
  std::istringstream lines(Control("/control/counts?service=" + service, nullptr, &ok));
  Served served;
  std::string line;
  while (ok && std::getline(lines, line)) {
    std::istringstream fields(line);
    Served row;
    std::string rowPath;
    if (fields >> row.requests >> row.bodyBytes >> rowPath && rowPath == path) served = row;
  }
  return served;
}

bool Sandbox::SetAnswer(const std::string& service, const std::string& body) const {
  bool ok = false;
  Control("/control/answer?service=" + service, &body, &ok);
  return ok;
}

bool Sandbox::Reset() const {
  bool ok = false;
  const std::string none;
  Control("/control/reset", &none, &ok);
  return ok;
}

Sandbox::Request Sandbox::LastRequest(const std::string& service) const {
  bool ok = false;
  const std::string raw = Control("/control/last?service=" + service, nullptr, &ok);
  Request request;
  const auto split = raw.find("\r\n\r\n");
  if (!ok || split == std::string::npos) return request;
  request.received = true;
  request.body = raw.substr(split + 4);
  std::istringstream head(raw.substr(0, split));
  std::string line;
  std::getline(head, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const auto space = line.find(' ');
  request.method = line.substr(0, space);
  request.path = space == std::string::npos ? "" : line.substr(space + 1);
  while (std::getline(head, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.erase(0, 1);
    request.headers[name] = value;
  }
  return request;
}
