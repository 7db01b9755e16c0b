// One HTTP attempt on WinINet against the sandbox: what reaches the sink,
// what goes out (once per URL), and how each way of ending is told apart.
#include <atomic>
#include <chrono>
#include <thread>

#include "net/HttpAttempt.h"
#include "net/Text.h"
#include "tests/support/DroppingHost.h"
#include "tests/support/RecordingSink.h"
#include "tests/windows/WinSandbox.h"

#include "platform/win32/WinHandles.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kConfigPath = "/Desktop/ZKZKINI/GameConfig-V1.ini";

class HttpAttemptWin32Test : public HttpAttemptFixture<WinSandboxTest> {
 protected:
  // Sets the cancel flag after `after`, from another thread.
  std::thread CancelAfter(std::chrono::milliseconds after) {
    return std::thread([this, after] {
      std::this_thread::sleep_for(after);
      cancel.store(true);
    });
  }
};

TEST_F(HttpAttemptWin32Test, TheFinalAnswersHeadThenItsBodyReachTheSinkAndNothingIsCached) {
  RecordingSink sink;
  const std::string target = filesUtf8_ + "/sandbox/bytes?n=300000";
  ASSERT_EQ(Attempt(filesUtf8_ + "/sandbox/redirect?to=" + target, sink), HttpAttemptEnd::kComplete);
  EXPECT_EQ(sink.heads, 1);
  EXPECT_EQ(sink.head.status, 200) << "not the redirect's";
  EXPECT_EQ(sink.head.contentLength, 300000u);
  EXPECT_EQ(sink.body, std::string(300000, 'x'));
  const SandboxRequest request = LastRequest("files");
  EXPECT_EQ(request.headers.at("cache-control"), "no-cache");
  EXPECT_EQ(request.headers.at("pragma"), "no-cache");
  EXPECT_EQ(request.headers.count("range"), 0u);
  EXPECT_EQ(request.headers.count("accept-encoding"), 0u);
  EXPECT_EQ(request.headers.at("user-agent"), "win_net_tests") << "the application's name";
  EXPECT_EQ(Served("files", "/sandbox/redirect").requests, 1);
  EXPECT_EQ(Served("files", "/sandbox/bytes").requests, 1) << "one request per URL";
  const std::wstring cached(target.begin(), target.end());
  DWORD size = 0;
  EXPECT_FALSE(::GetUrlCacheEntryInfoW(cached.c_str(), nullptr, &size) || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)
      << "the answer went into the cache";

  RecordingSink empty;
  ASSERT_EQ(Attempt(filesUtf8_ + "/sandbox/empty", empty), HttpAttemptEnd::kComplete);
  EXPECT_EQ(empty.heads, 1) << "an answer without a body still shows its head";
}

TEST_F(HttpAttemptWin32Test, RangeAndIfRangeGoOutOnEveryRequestOfTheChain) {
  RecordingSink sink;
  Attempt(filesUtf8_ + "/sandbox/redirect?to=/sandbox/echo", sink, 1234, "\"v7\"");
  const SandboxRequest request = LastRequest("files");
  EXPECT_EQ(request.path, "/sandbox/echo") << "a relative Location is resolved";
  EXPECT_EQ(request.headers.at("range"), "bytes=1234-");
  EXPECT_EQ(request.headers.at("if-range"), "\"v7\"");
  EXPECT_EQ(Served("files", "/sandbox/redirect").requests, 1);
  EXPECT_EQ(Served("files", "/sandbox/echo").requests, 1);
}

TEST_F(HttpAttemptWin32Test, AnErrorAnswerIsJudgedByItsHeadAlone) {
  ASSERT_TRUE(SetFault("config", "status", {{"code", "503"}, {"retry-after", "7"}}));
  RecordingSink sink;
  sink.acceptHead = false;
  EXPECT_EQ(Attempt(configUtf8_ + kConfigPath, sink), HttpAttemptEnd::kDeclined);
  EXPECT_EQ(sink.head.status, 503);
  EXPECT_EQ(sink.head.retryAfter, "7");
  EXPECT_EQ(sink.body, "") << "a refused answer's body is not handed over";
  EXPECT_EQ(Served("config", kConfigPath).requests, 1);
}

TEST_F(HttpAttemptWin32Test, EachWayOfEndingIsToldApart) {
  // Wine reads a reset that lands after the last piece now and then as a
  // clean end: a body short of its length, broken on the way all the same.
  const HttpAttemptEnd reset = Attempt(filesUtf8_ + "/sandbox/reset?n=100000");
  EXPECT_TRUE(reset == HttpAttemptEnd::kReset || reset == HttpAttemptEnd::kShortBody) << static_cast<int>(reset);
  ASSERT_TRUE(SetFault("config", "short"));
  EXPECT_EQ(Attempt(configUtf8_ + kConfigPath), HttpAttemptEnd::kShortBody);
  const std::string plainPort = filesUtf8_.substr(filesUtf8_.rfind(':') + 1);
  EXPECT_EQ(Attempt("https://localhost:" + plainPort + "/sandbox/echo"), HttpAttemptEnd::kTlsHandshake)
      << "TLS to a plain HTTP port";
  EXPECT_EQ(Attempt("http://setup.zkgame.invalid/s.exe"), HttpAttemptEnd::kNameLookup);
  EXPECT_EQ(Attempt(filesUtf8_ + "/sandbox/redirect?to=ftp://127.0.0.1/s.exe"), HttpAttemptEnd::kUnusable);
  EXPECT_EQ(Attempt(filesUtf8_ + "/sandbox/loop"), HttpAttemptEnd::kUnusable);
  EXPECT_EQ(Served("files", "/sandbox/loop").requests, static_cast<int>(kMaxHttpRedirects) + 1);
  EXPECT_EQ(Attempt("not a url"), HttpAttemptEnd::kUnusable);

  RecordingSink full;
  full.acceptBody = false;
  EXPECT_EQ(Attempt(filesUtf8_ + "/sandbox/bytes?n=10", full), HttpAttemptEnd::kWriteFailed);

  ASSERT_TRUE(SetFault("files", "refused"));
  EXPECT_EQ(Attempt(filesUtf8_ + "/sandbox/echo"), HttpAttemptEnd::kRefused);
}

// The configuration service's certificate is issued for "localhost" only.
// Through the system's proxy, plain and tunnelled: a 407 that WinINet
// cannot answer (no credentials held, no window for the dialog) ends the
// attempt for good and never reaches the sink as the server's answer.
TEST_F(HttpAttemptWin32Test, AProxysRequestForCredentialsEndsTheAttemptItCannotAnswer) {
  const SystemProxySetting setting(proxy_);
  for (const std::string& url : {filesUtf8_ + "/sandbox/bytes?n=5000", configUtf8_ + "/sandbox/bytes?n=5000"}) {
    for (const bool wanted : {false, true}) {
      SCOPED_TRACE(url + (wanted ? " credentials wanted" : ""));
      ASSERT_TRUE(SetFault("proxy", wanted ? "auth" : "ok"));
      RecordingSink sink;
      EXPECT_EQ(Attempt(url, sink), wanted ? HttpAttemptEnd::kProxyCredentials : HttpAttemptEnd::kComplete);
      EXPECT_EQ(sink.heads, wanted ? 0 : 1);
      EXPECT_EQ(sink.body, wanted ? "" : std::string(5000, 'x'));
    }
  }
}

TEST_F(HttpAttemptWin32Test, ACertificateForAnotherNameIsNotABrokenAttempt) {
  const std::string byAddress = "https://127.0.0.1:" + configUtf8_.substr(configUtf8_.rfind(':') + 1);
  const HttpAttemptEnd end = Attempt(byAddress + "/sandbox/echo");
  EXPECT_EQ(end, HttpAttemptEnd::kCertificate);
  EXPECT_FALSE(IsBrokenOnTheWay(end));
  EXPECT_EQ(Served("config", "/sandbox/echo").requests, 0) << "nothing is sent to an unverified server";
}

// WinINet under wine follows such a redirect silently.
TEST_F(HttpAttemptWin32Test, HttpsIsNeverRedirectedToHttp) {
  RecordingSink sink;
  EXPECT_EQ(Attempt(configUtf8_ + "/sandbox/redirect?to=" + filesUtf8_ + "/sandbox/echo", sink),
            HttpAttemptEnd::kUnusable);
  EXPECT_EQ(sink.heads, 0);
  EXPECT_EQ(Served("files", "/sandbox/echo").requests, 0);
  EXPECT_EQ(Attempt(filesUtf8_ + "/sandbox/redirect?to=" + configUtf8_ + "/sandbox/echo"), HttpAttemptEnd::kComplete)
      << "from http to https is fine";
}

TEST_F(HttpAttemptWin32Test, SilenceEndsTheAttemptBeforeAndDuringTheBody) {
  for (const char* mode : {"stalled", "stall-body", "drip-head"}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(SetFault("config", mode));
    RecordingSink sink;
    const auto start = Clock::now();
    EXPECT_EQ(Attempt(configUtf8_ + kConfigPath, sink, 0, {}, 1500ms), HttpAttemptEnd::kStalled);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 4s);
  }
  // Two bytes a second are no silence: the attempt goes on past the limit,
  // and ends soon after the cancel.
  ASSERT_TRUE(SetFault("config", "drip", {{"rate", "2"}}));
  RecordingSink sink;
  std::thread stopper = CancelAfter(3s);
  const auto start = Clock::now();
  EXPECT_EQ(Attempt(configUtf8_ + kConfigPath, sink, 0, {}, 1500ms), HttpAttemptEnd::kCancelled);
  stopper.join();
  EXPECT_LT(Clock::now() - start, 4500ms);
  EXPECT_GE(sink.body.size(), 4u);
}

// A host that drops packets: the connect itself hangs, and WinINet under
// wine has no limit of its own for it.
TEST_F(HttpAttemptWin32Test, SilenceAndCancelAlsoEndAConnectThatHangs) {
  const DroppingHost host;
  ASSERT_NE(host.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(host.Port()) + "/s.exe";
  RecordingSink sink;
  auto start = Clock::now();
  EXPECT_EQ(Attempt(url, sink, 0, {}, 1500ms), HttpAttemptEnd::kStalled);
  EXPECT_LT(Clock::now() - start, 3s);

  std::thread stopper = CancelAfter(500ms);
  start = Clock::now();
  EXPECT_EQ(Attempt(url), HttpAttemptEnd::kCancelled);
  stopper.join();
  EXPECT_LT(Clock::now() - start, 1500ms) << "a cancel is honoured within about a second";
}

}  // namespace
