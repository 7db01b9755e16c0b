// One HTTP attempt against the sandbox: what reaches the sink, what goes out,
// and how each way of ending is told apart.
#include <chrono>

#include "net/HttpAttempt.h"
#include "tests/net/NetTestUtil.h"
#include "tests/support/DroppingHost.h"
#include "tests/support/RecordingSink.h"

namespace {

using namespace std::chrono_literals;

const std::string kConfigPath = "/Desktop/ZKZKINI/GameConfig-V1.ini";

using HttpAttemptTest = HttpAttemptFixture<SandboxTest>;

TEST_F(HttpAttemptTest, TheFinalAnswersHeadThenItsBodyReachTheSink) {
  RecordingSink sink;
  const std::string target = sandbox.FilesBase() + "/sandbox/bytes?n=300000";
  ASSERT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/redirect?to=" + target, sink), HttpAttemptEnd::kComplete);
  EXPECT_EQ(sink.heads, 1);
  EXPECT_EQ(sink.head.status, 200) << "not the redirect's";
  EXPECT_EQ(sink.head.contentLength, 300000u);
  EXPECT_EQ(sink.body, std::string(300000, 'x'));
  Sandbox::Request request = sandbox.LastRequest("files");
  EXPECT_EQ(request.headers["cache-control"], "no-cache");
  EXPECT_EQ(request.headers.count("range"), 0u);
  EXPECT_EQ(request.headers.count("accept-encoding"), 0u);

  RecordingSink empty;
  ASSERT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/empty", empty), HttpAttemptEnd::kComplete);
  EXPECT_EQ(empty.heads, 1) << "an answer without a body still shows its head";
}

TEST_F(HttpAttemptTest, RangeAndIfRangeGoOutOnEveryRequestOfTheChain) {
  RecordingSink sink;
  const std::string target = sandbox.FilesBase() + "/sandbox/echo";
  Attempt(sandbox.FilesBase() + "/sandbox/redirect?to=" + target, sink, 1234, "\"v7\"");
  Sandbox::Request request = sandbox.LastRequest("files");
  EXPECT_EQ(request.path, "/sandbox/echo");
  EXPECT_EQ(request.headers["range"], "bytes=1234-");
  EXPECT_EQ(request.headers["if-range"], "\"v7\"");
  EXPECT_EQ(sandbox.Counts("files", "/sandbox/redirect").requests, 1);
  EXPECT_EQ(sandbox.Counts("files", "/sandbox/echo").requests, 1);
}

TEST_F(HttpAttemptTest, AnErrorAnswerIsJudgedByItsHeadAlone) {
  ASSERT_TRUE(sandbox.SetFault("config", "status", {{"code", "503"}, {"retry-after", "7"}}));
  RecordingSink sink;
  sink.acceptHead = false;
  EXPECT_EQ(Attempt(sandbox.ConfigBase() + kConfigPath, sink), HttpAttemptEnd::kDeclined);
  EXPECT_EQ(sink.head.status, 503);
  EXPECT_EQ(sink.head.retryAfter, "7");
  EXPECT_EQ(sink.body, "") << "a refused answer's body is not handed over";
}

TEST_F(HttpAttemptTest, EachWayOfEndingIsToldApart) {
  EXPECT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/reset?n=100000"), HttpAttemptEnd::kReset);
  ASSERT_TRUE(sandbox.SetFault("config", "short"));
  EXPECT_EQ(Attempt(sandbox.ConfigBase() + kConfigPath), HttpAttemptEnd::kShortBody);
  EXPECT_EQ(Attempt("https://127.0.0.1:" + std::to_string(sandbox.FilesPort()) + "/sandbox/echo"),
            HttpAttemptEnd::kTlsHandshake)
      << "TLS to a plain HTTP port";
  EXPECT_EQ(Attempt("http://setup.zkgame.invalid/s.exe"), HttpAttemptEnd::kNameLookup);
  EXPECT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/redirect?to=ftp://127.0.0.1/s.exe"), HttpAttemptEnd::kUnusable);
  EXPECT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/loop"), HttpAttemptEnd::kUnusable);
  // A setup asked over https is never fetched from plain http.
  EXPECT_EQ(Attempt(sandbox.ConfigBase() + "/sandbox/redirect?to=" + sandbox.FilesBase() + "/sandbox/bytes?n=2"),
            HttpAttemptEnd::kUnusable);
  EXPECT_EQ(sandbox.Counts("files", "/sandbox/bytes").requests, 0) << "the plain URL was asked";
  EXPECT_EQ(Attempt("not a url"), HttpAttemptEnd::kUnusable);

  RecordingSink full;
  full.acceptBody = false;
  EXPECT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/bytes?n=10", full), HttpAttemptEnd::kWriteFailed);

  ASSERT_TRUE(sandbox.SetFault("files", "refused"));
  EXPECT_EQ(Attempt(sandbox.FilesBase() + "/sandbox/echo"), HttpAttemptEnd::kRefused);
}

// Through a proxy that wants Basic credentials, plain and tunnelled: the
// credentials of the proxy's URL answer it, and without them the attempt
// ends for good, its 407 never taken for the server's answer.
TEST_F(HttpAttemptTest, AProxysRequestForCredentialsIsAnsweredOrEndsTheAttempt) {
  ASSERT_TRUE(sandbox.SetFault("proxy", "auth"));
  ::unsetenv("no_proxy");
  for (const std::string& url :
       {sandbox.FilesBase() + "/sandbox/bytes?n=5000", sandbox.ConfigBase() + "/sandbox/bytes?n=5000"}) {
    for (const char* credentials : {"zk:wrong@", "zk:secret@"}) {
      SCOPED_TRACE(url + " " + credentials);
      const std::string proxy = sandbox.ProxyUrl(credentials);
      ::setenv("http_proxy", proxy.c_str(), 1);
      ::setenv("https_proxy", proxy.c_str(), 1);
      RecordingSink sink;
      const HttpAttemptEnd end = Attempt(url, sink);
      const bool answered = std::string(credentials) == "zk:secret@";
      EXPECT_EQ(end, answered ? HttpAttemptEnd::kComplete : HttpAttemptEnd::kProxyCredentials);
      EXPECT_EQ(sink.heads, answered ? 1 : 0);
      EXPECT_EQ(sink.body, answered ? std::string(5000, 'x') : "");
    }
  }
  ::unsetenv("http_proxy");
  ::unsetenv("https_proxy");
}

TEST_F(HttpAttemptTest, ACertificateForAnotherNameIsNotABrokenAttempt) {
  ASSERT_TRUE(StartSandbox({"--cert-name", "someone-else.invalid"}));
  const HttpAttemptEnd end = Attempt(sandbox.ConfigBase() + "/sandbox/echo");
  EXPECT_EQ(end, HttpAttemptEnd::kCertificate);
  EXPECT_FALSE(IsBrokenOnTheWay(end));
}

TEST_F(HttpAttemptTest, SilenceEndsTheAttemptBeforeAndDuringTheBody) {
  // A head that drips a line a second never ends: its lines are no arrivals.
  for (const char* mode : {"stalled", "stall-body", "drip-head"}) {
    SCOPED_TRACE(mode);
    ASSERT_TRUE(sandbox.SetFault("config", mode));
    RecordingSink sink;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Attempt(sandbox.ConfigBase() + kConfigPath, sink, 0, {}, 1500ms), HttpAttemptEnd::kStalled);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 4s);
  }
  // Two bytes a second are no silence: the attempt goes on past the limit.
  ASSERT_TRUE(sandbox.SetFault("config", "drip", {{"rate", "2"}}));
  RecordingSink sink;
  std::thread stopper([this] {
    std::this_thread::sleep_for(3s);
    cancel.store(true);
  });
  EXPECT_EQ(Attempt(sandbox.ConfigBase() + kConfigPath, sink, 0, {}, 1500ms), HttpAttemptEnd::kCancelled);
  stopper.join();
  EXPECT_GE(sink.body.size(), 4u);
}

// A host that drops packets: the connect itself hangs.
TEST_F(HttpAttemptTest, SilenceAndCancelAlsoEndAConnectThatHangs) {
  const DroppingHost host;
  ASSERT_NE(host.Port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(host.Port()) + "/s.exe";
  RecordingSink sink;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Attempt(url, sink, 0, {}, 1500ms), HttpAttemptEnd::kStalled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);

  std::thread stopper([this] {
    std::this_thread::sleep_for(500ms);
    cancel.store(true);
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(Attempt(url), HttpAttemptEnd::kCancelled);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms);
}

}  // namespace
