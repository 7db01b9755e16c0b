// The configuration fetch on WinINet: each of its time limits ends a try
// that the server (or the network) would hold, and the configuration's URL
// leaves the WinINet cache.
#include <chrono>
#include <future>
#include <optional>

#include "net/Text.h"
#include "net/UrlFetch.h"
#include "tests/support/DroppingHost.h"
#include "tests/support/TempDir.h"
#include "tests/windows/WinSandbox.h"

#include "platform/win32/WinHandles.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kConfigPath = "/Desktop/ZKZKINI/GameConfig-V1.ini";

struct TimedFetch {
  FetchResult result;
  Clock::duration took;
};

std::future<TimedFetch> FetchInTheBackground(const std::u16string& url, const std::u16string& path) {
  return std::async(std::launch::async, [url, path] {
    const auto start = Clock::now();
    const FetchResult result = FetchUrlToFile(url, path);
    return TimedFetch{result, Clock::now() - start};
  });
}

bool InCache(const std::wstring& url) {
  DWORD size = 0;
  return ::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// An entry such as an earlier program's download leaves in the cache.
bool PlantCacheEntry(const std::wstring& url) {
  wchar_t file[MAX_PATH] = {};
  if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"ini", file, 0)) return false;
  const HANDLE handle = ::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  ::WriteFile(handle, "U_PATH_ZKEN=stale", 17, &put, nullptr);
  ::CloseHandle(handle);
  const FILETIME never{};
  return ::CommitUrlCacheEntryW(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr);
}

class FetchWin32Test : public WinSandboxTest {
 protected:
  TempDir dir_;
};

// Three tries at once, one per limit: a server that drips two bytes a
// second is never silent, so only the try's 30 s end it; a server that
// takes the request and says nothing costs the 10 s silence; a host that
// drops packets costs the 15 s connect limit.
TEST_F(FetchWin32Test, EachTryEndsWithinItsLimitWhateverTheServerDoes) {
  ASSERT_TRUE(SetFault("config", "drip", {{"rate", "2"}}));
  const DroppingHost host;
  ASSERT_NE(host.Port(), 0);
  auto dripping = FetchInTheBackground(config_ + Utf8ToUtf16(kConfigPath), dir_.U16("drip.txt"));
  auto silent = FetchInTheBackground(files_ + u"/sandbox/stall", dir_.U16("silent.txt"));
  auto dropped = FetchInTheBackground(u"http://127.0.0.1:" + Utf8ToUtf16(std::to_string(host.Port())) + u"/x",
                                      dir_.U16("dropped.txt"));

  const TimedFetch drip = dripping.get();
  EXPECT_EQ(drip.result, FetchResult::kBodyReadFailed);
  EXPECT_GE(drip.took, 29s);
  EXPECT_LT(drip.took, 32s);
  EXPECT_GE(Served("config", kConfigPath).bodyBytes, 50) << "it was dripping";

  const TimedFetch stall = silent.get();
  EXPECT_EQ(stall.result, FetchResult::kUrlNotOpened);
  EXPECT_GE(stall.took, 9500ms);
  EXPECT_LT(stall.took, 12s);

  const TimedFetch drop = dropped.get();
  EXPECT_EQ(drop.result, FetchResult::kNotConnected);
  EXPECT_GE(drop.took, 14500ms);
  EXPECT_LT(drop.took, 17s);
}

TEST_F(FetchWin32Test, TheUrlLeavesTheCacheAfterAFetch) {
  const std::u16string url = config_ + Utf8ToUtf16(kConfigPath);
  const std::wstring wide(url.begin(), url.end());
  ASSERT_TRUE(PlantCacheEntry(wide));
  ASSERT_TRUE(InCache(wide));
  ASSERT_EQ(FetchUrlToFile(url, dir_.U16("InfoGlobal.txt")), FetchResult::kComplete);
  EXPECT_NE(ReadFileBytes(dir_.Path() / "InfoGlobal.txt").find("U_PATH_ZKEN=http"), std::string::npos)
      << "from the server, not from the cache";
  EXPECT_FALSE(InCache(wide));
}

// The proxy route takes the proxy that wine's Internet settings name, and
// only that; the direct route never does.
TEST_F(FetchWin32Test, TheProxyRouteTakesTheSystemsProxy) {
  const std::u16string url = config_ + Utf8ToUtf16(kConfigPath);
  const std::string tunnel = "localhost:" + configUtf8_.substr(configUtf8_.rfind(':') + 1);
  const struct {
    const char* name;
    bool proxySet;
    const char* proxyFault;
    FetchRoute route;
    FetchResult result;
    int tunnels;
  } cases[] = {
      {"no proxy named", false, "ok", FetchRoute::kSystemProxy, FetchResult::kNotConnected, 0},
      {"direct whatever is named", true, "ok", FetchRoute::kDirect, FetchResult::kNotConnected, 0},
      {"through the proxy", true, "ok", FetchRoute::kSystemProxy, FetchResult::kComplete, 1},
      {"the proxy is down", true, "refused", FetchRoute::kSystemProxy, FetchResult::kNotConnected, 0},
      // No window to ask the player over: the 407 is the last word.
      {"credentials asked", true, "auth", FetchRoute::kSystemProxy, FetchResult::kProxyCredentials, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(PlainGet(Utf16ToUtf8(control_) + "/control/reset"), "ok");
    ASSERT_TRUE(SetFault("config", "direct-refused"));
    ASSERT_TRUE(SetFault("proxy", c.proxyFault));
    std::optional<SystemProxySetting> setting;
    if (c.proxySet) setting.emplace(proxy_);
    EXPECT_EQ(FetchUrlToFile(url, dir_.U16("InfoGlobal.txt"), kNoBodyLimit, c.route), c.result);
    EXPECT_EQ(Served("proxy", tunnel).requests, c.tunnels);
  }
}

TEST_F(FetchWin32Test, HttpsIsNeverRedirectedToHttp) {
  const std::u16string url = config_ + u"/sandbox/redirect?to=" + files_ + u"/sandbox/echo";
  EXPECT_EQ(FetchUrlToFile(url, dir_.U16("InfoGlobal.txt")), FetchResult::kUrlNotOpened);
  EXPECT_EQ(Served("files", "/sandbox/echo").requests, 0);
}

}  // namespace
