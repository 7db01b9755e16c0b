#include <chrono>
#include <cstdlib>
#include <vector>

#include "net/Files.h"
#include "net/HttpRequest.h"
#include "tests/net/NetTestUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

class HttpRequestTest : public SandboxTest {
 protected:
  std::u16string Get(const std::string& url) { return SendHttpRequest(U16(url), u""); }
};

TEST_F(HttpRequestTest, GetCarriesTheContentTypeLineAndNoBody) {
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/echo?q=1"), u"ok");
  Sandbox::Request r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.path, "/sandbox/echo?q=1");
  EXPECT_EQ(r.headers["content-type"], "application/x-www-form-urlencoded");
  EXPECT_EQ(r.headers.count("content-length"), 0u);
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(U16(r.headers["user-agent"]), GetApplicationName());
  EXPECT_EQ(r.headers["user-agent"], "zk_net_live_tests");
}

TEST_F(HttpRequestTest, FormBodiesTravelAsUtf8Bytes) {
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), u"a=b"), u"ok");
  Sandbox::Request r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.body, "a=b");
  EXPECT_EQ(r.headers["content-length"], "3");
  EXPECT_EQ(r.headers["content-type"], "application/x-www-form-urlencoded");

  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), u"name=\u65E5\u672C\u00E9"), u"ok");
  EXPECT_EQ(sandbox.LastRequest("files").body, "name=\xE6\x97\xA5\xE6\x9C\xAC\xC3\xA9");
}

// The form text ends at its first zero unit, as on Windows: one that starts
// with zero is a GET without a body, one with a zero inside sends the text
// before it.
TEST_F(HttpRequestTest, FormTextEndsAtItsFirstZeroUnit) {
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), std::u16string(u"\0a=b", 4)), u"ok");
  Sandbox::Request r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.body, "");
  EXPECT_EQ(r.headers.count("content-length"), 0u);
  EXPECT_EQ(r.headers["content-type"], "application/x-www-form-urlencoded");

  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), std::u16string(u"a=b\0c=d", 7)), u"ok");
  r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.body, "a=b");
  EXPECT_EQ(r.headers["content-length"], "3");

  // A raw body goes whole; its first unit still picks the verb.
  const std::u16string raw(u"\0\u6362", 2);  // bytes 0 0 'b' 'c'
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), raw, false, nullptr, 4), u"ok");
  r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.body, std::string("\0\0bc", 4));
  EXPECT_EQ(r.headers["content-type"], "multipart/form-data");
}

TEST_F(HttpRequestTest, RawBodyExtraHeadersAndDigest) {
  const std::u16string storage = u"\u6261\u0063\u0000";  // bytes 'a' 'b' 'c' 0 ...
  std::array<char, 33> digest{};
  const std::u16string answer = SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/bytes?n=3"), storage, false,
                                                &digest, 4, u"X-One: 1\r\nX-Two: two");
  EXPECT_EQ(answer, u"xxx");
  EXPECT_STREQ(digest.data(), "f561aaf6ef0bf14d4208bb46a4ccb3ad");  // MD5 of "xxx"
  Sandbox::Request r = sandbox.LastRequest("files");
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.body, std::string("abc\0", 4));
  EXPECT_EQ(r.headers["content-type"], "multipart/form-data");
  EXPECT_EQ(r.headers["x-one"], "1");
  EXPECT_EQ(r.headers["x-two"], "two");
  // A raw length beyond the given storage is refused, not read.
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/echo"), storage, false, nullptr, 7), u"");
}

TEST_F(HttpRequestTest, AnswersAreReadWholeWhateverTheirStatus) {
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/status?code=500&body=server%20trouble"), u"server trouble");
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/bytes?n=3000"), std::u16string(3000, u'x'));
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/zero"), u"");  // text ends at the zero byte
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/empty"), u"");
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/reset?n=2000"), u"");
}

TEST_F(HttpRequestTest, AnswerOverOneMebibyteGivesEmptyText) {
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/bytes?n=" + std::to_string(kMaxHttpAnswerBytes)).size(),
            kMaxHttpAnswerBytes);
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/bytes?n=" + std::to_string(kMaxHttpAnswerBytes + 1)), u"");
}

TEST_F(HttpRequestTest, HttpsOnAnotherPortStillUsesTls) {
  EXPECT_EQ(Get(sandbox.ConfigBase() + "/sandbox/echo"), u"ok");
  EXPECT_EQ(Get("http://127.0.0.1:" + std::to_string(sandbox.ConfigPort()) + "/sandbox/echo"), u"");
}

TEST_F(HttpRequestTest, OtherHostNamesAreAcceptedOnlyOnPort443) {
  ASSERT_TRUE(StartSandbox({"--cert-name", "someone-else.invalid"}));
  SKIP_WITHOUT_CLIENT_IP_PORT();
  EXPECT_EQ(Get("https://" + sandbox.ClientIpAddress() + ":443/sandbox/echo"), u"ok");
  EXPECT_EQ(Get(sandbox.ConfigBase() + "/sandbox/echo"), u"");
  // The leniency stays with the host and port first asked: a redirect there
  // is followed, a redirect to another port (or host) is not.
  const std::string lenient = "https://" + sandbox.ClientIpAddress() + ":443";
  EXPECT_EQ(Get(lenient + "/sandbox/redirect?to=" + lenient + "/sandbox/bytes?n=2"), u"xx");
  EXPECT_EQ(Get(lenient + "/sandbox/redirect?to=" + sandbox.ConfigBase() + "/sandbox/bytes?n=3"), u"");
  EXPECT_EQ(sandbox.Counts("config", "/sandbox/bytes").requests, 0) << "asked under the relaxed check";
}

TEST_F(HttpRequestTest, ChainIsCheckedOnPort443Too) {
  // The client settles on the trusted test CA with its first request ...
  ASSERT_EQ(Get(sandbox.ConfigBase() + "/sandbox/echo"), u"ok");
  // ... then meets a sandbox signed by a CA that it does not trust.
  const std::string otherCa = sandbox.CaPath() + ".other";
  std::filesystem::create_directories(otherCa);
  ASSERT_TRUE(StartSandbox({"--ca-dir", otherCa}));
  SKIP_WITHOUT_CLIENT_IP_PORT();
  EXPECT_EQ(Get(sandbox.ConfigBase() + "/sandbox/echo"), u"");
  EXPECT_EQ(Get("https://" + sandbox.ClientIpAddress() + ":443/sandbox/echo"), u"");
  std::filesystem::remove_all(otherCa);
}

TEST_F(HttpRequestTest, RedirectsFollowOnlyHttpAndHttps) {
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/redirect?to=" + sandbox.ConfigBase() + "/sandbox/bytes?n=2"), u"xx");
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/redirect?to=ftp://127.0.0.1/x"), u"");
  EXPECT_EQ(Get(sandbox.FilesBase() + "/sandbox/loop"), u"");
}

TEST_F(HttpRequestTest, HttpsIsNeverRedirectedToPlainHttp) {
  EXPECT_EQ(Get(sandbox.ConfigBase() + "/sandbox/redirect?to=" + sandbox.FilesBase() + "/sandbox/bytes?n=2"), u"");
  EXPECT_EQ(sandbox.Counts("files", "/sandbox/bytes").requests, 0) << "the plain URL was asked";
}

TEST_F(HttpRequestTest, EnvironmentProxyIsUsed) {
  // The files service stands in for a proxy: it receives the absolute URL.
  ::setenv("http_proxy", sandbox.FilesBase().c_str(), 1);
  ::unsetenv("no_proxy");
  ::unsetenv("NO_PROXY");
  const std::string url = sandbox.RegionBase() + "/via/proxy";
  Get(url);
  ::unsetenv("http_proxy");
  EXPECT_EQ(sandbox.LastRequest("files").path, url);
  EXPECT_FALSE(sandbox.LastRequest("region").received && sandbox.LastRequest("region").path == "/via/proxy");
}

TEST_F(HttpRequestTest, ErrorBoxesAreShownOncePerKind) {
  std::vector<std::u16string> shown;
  SetHttpMessageBoxHandler([&](const std::u16string& text) { shown.push_back(text); });
  const std::string refused = "http://127.0.0.1:1/";

  EXPECT_EQ(SendHttpRequest(u"ftp://127.0.0.1/x", u"", false), u"");  // not allowed to show
  EXPECT_EQ(SendHttpRequest(std::nullopt, u"", true), u"");           // absent: no box
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase()), std::nullopt, true), u"");
  EXPECT_TRUE(shown.empty());

  EXPECT_EQ(SendHttpRequest(u"ftp://127.0.0.1/x", u"", true), u"");
  EXPECT_EQ(SendHttpRequest(u"ftp://127.0.0.1/x", u"", true), u"");
  EXPECT_EQ(SendHttpRequest(u"no url", u"", true), u"");
  EXPECT_EQ(SendHttpRequest(U16(refused), u"", true), u"");
  EXPECT_EQ(SendHttpRequest(U16(sandbox.FilesBase() + "/sandbox/empty"), u"", true), u"");
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"URL Parsing Error!!", u"URL_String Download Fail!!"}));
  SetHttpMessageBoxHandler(nullptr);
}

TEST_F(HttpRequestTest, TimedRequestReturnsAnswersAndRefusesEmptyOnes) {
  std::u16string answer = u"untouched";
  EXPECT_FALSE(SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/empty"), u"", answer));
  EXPECT_FALSE(SendHttpRequestTimed(u"http://127.0.0.1:1/", u"", answer));
  EXPECT_EQ(answer, u"untouched");
  ASSERT_TRUE(SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/echo"), u"k=v", answer));
  EXPECT_EQ(answer, u"ok");
  EXPECT_EQ(sandbox.LastRequest("files").body, "k=v");
}

TEST_F(HttpRequestTest, TimedRequestGivesUpAfterTwoSecondsWithoutBlockingTheNext) {
  std::u16string answer = u"untouched";
  const auto start = Clock::now();
  EXPECT_FALSE(SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/stall"), u"", answer));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1950));
  EXPECT_LT(waited, std::chrono::milliseconds(2500));
  EXPECT_EQ(answer, u"untouched");
  // The abandoned worker still waits on its server; a new request is not held up.
  const auto next = Clock::now();
  EXPECT_TRUE(SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/echo"), u"", answer));
  EXPECT_LT(Clock::now() - next, std::chrono::milliseconds(1000));
  EXPECT_EQ(answer, u"ok");
}

TEST_F(HttpRequestTest, ManyAbandonedWorkersEndSoon) {
  std::u16string answer;
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(
        SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/stall"), u"", answer, std::chrono::milliseconds(50)));
  }
  EXPECT_FALSE(SendHttpRequestTimed(U16(sandbox.FilesBase() + "/sandbox/slow?ms=400"), u"", answer,
                                    std::chrono::milliseconds(100)));
  // Leaving the test ends the process with the workers still attached to
  // stalled connections; they are cancelled and must not crash the exit.
}

}  // namespace
