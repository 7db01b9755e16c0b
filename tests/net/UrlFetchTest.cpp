#include <cstdlib>

#include "net/Files.h"
#include "net/UrlFetch.h"
#include "tests/net/NetTestUtil.h"
#include "tests/support/DroppingHost.h"

namespace {

class UrlFetchTest : public SandboxTest {
 protected:
  FetchResult Fetch(const std::string& url, const std::string& file = "out.bin", uint64_t limit = kNoBodyLimit) {
    return FetchUrlToFile(U16(url), U16(file), limit);
  }
};

TEST_F(UrlFetchTest, BodiesAroundTheReadSizeAreStoredWhole) {
  for (int size : {0, 1, 1023, 1024, 1025, 3000, 200000}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=" + std::to_string(size)), FetchResult::kComplete);
    EXPECT_EQ(ReadBytes("out.bin"), std::string(static_cast<std::size_t>(size), 'x'));
  }
}

TEST_F(UrlFetchTest, LongerOldFileIsTruncatedFirst) {
  WriteBytes("out.bin", std::string(5000, 'o'));
  ASSERT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=10"), FetchResult::kComplete);
  EXPECT_EQ(ReadBytes("out.bin"), std::string(10, 'x'));
}

TEST_F(UrlFetchTest, ErrorPagesAreStoredAsBodies) {
  ASSERT_EQ(Fetch(sandbox.FilesBase() + "/no/such/file"), FetchResult::kComplete);
  EXPECT_NE(ReadBytes("out.bin").find("404 Not Found"), std::string::npos);
  ASSERT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/status?code=500&body=broken"), FetchResult::kComplete);
  EXPECT_EQ(ReadBytes("out.bin"), "broken");
}

// Only a way that never connected is kNotConnected: the configuration then
// tries the system's proxy.
TEST_F(UrlFetchTest, UnreachableHostLeavesAnEmptyFile) {
  const DroppingHost dropping;
  ASSERT_NE(dropping.Port(), 0);
  ASSERT_TRUE(sandbox.SetFault("region", "refused"));
  const struct {
    std::string url;
    FetchResult result;
  } cases[] = {
      {sandbox.RegionBase() + "/anything", FetchResult::kNotConnected},
      {"https://config.zkgame.invalid/x", FetchResult::kNotConnected},
      {"http://127.0.0.1:" + std::to_string(dropping.Port()) + "/x", FetchResult::kNotConnected},  // the connect limit
      {"https://127.0.0.1:" + std::to_string(sandbox.FilesPort()) + "/x", FetchResult::kUrlNotOpened},  // no TLS there
      {"not a url at all", FetchResult::kUrlNotOpened},
      {"ftp://127.0.0.1/file", FetchResult::kUrlNotOpened},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    WriteBytes("out.bin", "old contents");
    EXPECT_EQ(Fetch(c.url), c.result);
    EXPECT_TRUE(std::filesystem::exists("out.bin"));
    EXPECT_EQ(ReadBytes("out.bin"), "");
  }
}

TEST_F(UrlFetchTest, LocalFileThatCannotBeCreatedIsReported) {
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=5", "missing-dir/out.bin"), FetchResult::kFileNotCreated);
  EXPECT_FALSE(std::filesystem::exists("missing-dir"));

  // A file held open without sharing keeps its bytes.
  WriteBytes("held.bin", "held");
  FileHandle holder;
  ASSERT_GE(holder.OpenForRead(u"held.bin"), 0);
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=5", "held.bin"), FetchResult::kFileNotCreated);
  holder.Close();
  EXPECT_EQ(ReadBytes("held.bin"), "held");
}

TEST_F(UrlFetchTest, BodyBrokenOffIsAReadFailureWithThePartKept) {
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/reset?n=3000"), FetchResult::kBodyReadFailed);
  const std::string kept = ReadBytes("out.bin");
  EXPECT_GT(kept.size(), 0u);
  EXPECT_LT(kept.size(), 6000u);
  EXPECT_EQ(kept, std::string(kept.size(), 'r'));
}

TEST_F(UrlFetchTest, BodyOverTheLimitStops) {
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=5000", "out.bin", 4096), FetchResult::kBodyTooLarge);
  EXPECT_LE(ReadBytes("out.bin").size(), 4096u);
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/bytes?n=4096", "out.bin", 4096), FetchResult::kComplete);
}

TEST_F(UrlFetchTest, RequestIsDirectUncachedAndRaw) {
  // A proxy in the environment must not be used.
  ::setenv("http_proxy", "http://127.0.0.1:1", 1);
  ::setenv("https_proxy", "http://127.0.0.1:1", 1);
  const FetchResult result = Fetch(sandbox.FilesBase() + "/sandbox/echo");
  ::unsetenv("http_proxy");
  ::unsetenv("https_proxy");
  ASSERT_EQ(result, FetchResult::kComplete);
  Sandbox::Request r = sandbox.LastRequest("files");
  ASSERT_TRUE(r.received);
  EXPECT_EQ(r.method, "GET");
  EXPECT_EQ(r.path, "/sandbox/echo");
  EXPECT_EQ(r.headers["user-agent"], "MyTest agent");
  EXPECT_EQ(r.headers["accept"], "*/*");
  EXPECT_EQ(r.headers["cache-control"], "no-cache");
  EXPECT_EQ(r.headers["pragma"], "no-cache");
  EXPECT_EQ(r.headers.count("accept-encoding"), 0u);
}

TEST_F(UrlFetchTest, HttpsUsesTheTrustedTestCa) {
  ASSERT_EQ(Fetch(sandbox.ConfigBase() + "/sandbox/bytes?n=1500"), FetchResult::kComplete);
  EXPECT_EQ(ReadBytes("out.bin").size(), 1500u);
  // The same port without TLS is no HTTPS server: no answer.
  EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(sandbox.ConfigPort()) + "/sandbox/echo"),
            FetchResult::kUrlNotOpened);
}

TEST_F(UrlFetchTest, CertificateForAnotherNameIsRefused) {
  ASSERT_TRUE(StartSandbox({"--cert-name", "someone-else.invalid"}));
  EXPECT_EQ(Fetch(sandbox.ConfigBase() + "/sandbox/echo"), FetchResult::kUrlNotOpened);
}

TEST_F(UrlFetchTest, RedirectsStayOnHttpAndEnd) {
  const std::string target = sandbox.ConfigBase() + "/sandbox/bytes?n=7";
  ASSERT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/redirect?to=" + target), FetchResult::kComplete);
  EXPECT_EQ(ReadBytes("out.bin"), "xxxxxxx");
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/redirect?to=ftp://127.0.0.1/x"), FetchResult::kUrlNotOpened);
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/redirect?to=file:///etc/hostname"), FetchResult::kUrlNotOpened);
  EXPECT_EQ(Fetch(sandbox.FilesBase() + "/sandbox/loop"), FetchResult::kUrlNotOpened);
}

TEST_F(UrlFetchTest, HttpsIsNeverRedirectedToPlainHttp) {
  const std::string plain = sandbox.FilesBase() + "/sandbox/bytes?n=7";
  EXPECT_EQ(Fetch(sandbox.ConfigBase() + "/sandbox/redirect?to=" + plain), FetchResult::kUrlNotOpened);
  EXPECT_EQ(sandbox.Counts("files", "/sandbox/bytes").requests, 0) << "the plain URL was asked";
}

}  // namespace
