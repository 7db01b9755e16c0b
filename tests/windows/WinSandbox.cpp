#include "tests/windows/WinSandbox.h"

#include "platform/win32/WinHandles.h"

#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <type_traits>

#include "net/Text.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string Query(const std::map<std::string, std::string>& parameters) {
  std::string query;
  for (const auto& [name, value] : parameters) query += "&" + name + "=" + value;
  return query;
}

}  // namespace

std::string PlainGet(const std::string& url) {
  const InternetHandle internet(
      ::InternetOpenW(L"win_net_tests control", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!internet) return {};
  const std::wstring wide(url.begin(), url.end());
  const InternetHandle request(::InternetOpenUrlW(internet.get(), wide.c_str(), nullptr, 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  if (!request) return {};
  std::string body;
  char buffer[4096];
  DWORD got = 0;
  while (::InternetReadFile(request.get(), buffer, sizeof buffer, &got) && got > 0) body.append(buffer, got);
  return body;
}

namespace {

const wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

void SetProxyValues(DWORD enable, const std::string& server) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
      ERROR_SUCCESS) {
    ADD_FAILURE() << "the Internet settings cannot be written";
    return;
  }
  const RegistryKey key(raw);
  ::RegSetValueExW(key.get(), L"ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof enable);
  const std::wstring wide(server.begin(), server.end());
  if (wide.empty()) {
    ::RegDeleteValueW(key.get(), L"ProxyServer");
  } else {
    ::RegSetValueExW(key.get(), L"ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                     static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
  }
}

}  // namespace

SystemProxySetting::SystemProxySetting(const std::string& server) { SetProxyValues(1, server); }
SystemProxySetting::~SystemProxySetting() { SetProxyValues(0, ""); }

void WinSandboxTest::SetUp() {
  filesUtf8_ = Env("ZK_TEST_FILES_BASE");
  configUtf8_ = Env("ZK_TEST_CONFIG_BASE");
  files_ = Utf8ToUtf16(filesUtf8_);
  config_ = Utf8ToUtf16(configUtf8_);
  region_ = Utf8ToUtf16(Env("ZK_TEST_REGION_BASE"));
  control_ = Utf8ToUtf16(Env("ZK_TEST_CONTROL_BASE"));
  mirror_ = Utf8ToUtf16(Env("ZK_TEST_MIRROR_BASE"));
  servedDir_ = Env("ZK_TEST_FILES_DIR");
  proxy_ = Env("ZK_TEST_PROXY");
  if (files_.empty() || region_.empty() || config_.empty() || control_.empty() || servedDir_.empty() ||
      proxy_.empty() || mirror_.empty()) {
    GTEST_SKIP() << "the sandbox services are not named (run through tests/windows/e2e/run.sh)";
  }
  ASSERT_EQ(PlainGet(Utf16ToUtf8(control_) + "/control/reset"), "ok") << "the control port does not answer";
}

void WinSandboxTest::TearDown() {
  if (!control_.empty()) PlainGet(Utf16ToUtf8(control_) + "/control/reset");
}

bool WinSandboxTest::Fault(const std::string& service, const std::string& mode,
                           const std::map<std::string, std::string>& parameters, bool add) const {
  const std::string url = Utf16ToUtf8(control_) + "/control/fault?service=" + service + "&mode=" + mode +
                          (add ? "&add=1" : "") + Query(parameters);
  return PlainGet(url) == "ok";
}

bool WinSandboxTest::SetFault(const std::string& service, const std::string& mode,
                              const std::map<std::string, std::string>& parameters) const {
  return Fault(service, mode, parameters, false);
}

bool WinSandboxTest::AddFault(const std::string& service, const std::string& mode,
                              const std::map<std::string, std::string>& parameters) const {
  return Fault(service, mode, parameters, true);
}

SandboxServed WinSandboxTest::Served(const std::string& service, const std::string& path) const {
  std::istringstream lines(PlainGet(Utf16ToUtf8(control_) + "/control/counts?service=" + service));
  SandboxServed served;
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    SandboxServed row;
    std::string rowPath;
    if (fields >> row.requests >> row.bodyBytes >> rowPath && rowPath == path) served = row;
  }
  return served;
}

SandboxRequest WinSandboxTest::LastRequest(const std::string& service) const {
  SandboxRequest request;
  request.raw = PlainGet(Utf16ToUtf8(control_) + "/control/last?service=" + service);
  std::istringstream lines(request.raw.substr(0, request.raw.find("\r\n\r\n")));
  std::string line;
  if (std::getline(lines, line)) {
    std::istringstream first(line);
    first >> request.method >> request.path;
  }
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    request.headers.emplace(name, line.substr(colon + 2));
  }
  return request;
}
