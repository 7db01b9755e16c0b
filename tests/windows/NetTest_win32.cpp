// WinINet against the sandbox services on loopback (started by e2e/run.sh,
// which names them in ZK_TEST_*_BASE and makes the sandbox's test CA trusted
// in the wine prefix).
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/GameSettings.h"
#include "net/HttpRequest.h"
#include "net/Text.h"
#include "net/UrlFetch.h"
#include "tests/net/SignedFixtures.h"
#include "tests/support/TempDir.h"
#include "tests/windows/WinSandbox.h"

namespace fs = std::filesystem;

namespace {

class SandboxTest : public WinSandboxTest {
 protected:
  // The last request a service received: "METHOD PATH", headers, blank line, body.
  std::string LastRequestText(const char* service) { return LastRequest(service).raw; }
};

}  // namespace

TEST_F(SandboxTest, SetupDownloadOfAnErrorPageFailsAndKeepsNothing) {
  TempDir dir;
  const std::u16string path = dir.U16("_Set_UpZK.exe");
  const std::atomic<bool> cancel{false};
  DownloadProgress quiet;
  EXPECT_FALSE(DownloadUrlToFile(files_ + u"/sandbox/status?code=404", path, quiet, cancel));
  EXPECT_FALSE(DownloadUrlToFile(files_ + u"/setup/missing.exe", path, quiet, cancel));
  DownloadRetryTimings quickRetries;  // a 500 is tried five times
  quickRetries.pauses = {std::chrono::milliseconds(20), std::chrono::milliseconds(20), std::chrono::milliseconds(20),
                         std::chrono::milliseconds(20)};
  EXPECT_FALSE(DownloadUrlToFile(files_ + u"/sandbox/status?code=500", path, quiet, cancel, quickRetries));
  EXPECT_TRUE(fs::is_empty(dir.Path()));  // neither the file nor a partial one
}

TEST_F(SandboxTest, SetupDownloadStoresTheWholeBody) {
  TempDir dir;
  const std::u16string path = dir.U16("_Set_UpZK.exe");
  WriteFileBytes(dir.Path() / "_Set_UpZK.exe", std::string(9000, 'o'));  // an older, longer file
  const std::atomic<bool> cancel{false};
  DownloadProgress quiet;
  ASSERT_TRUE(DownloadUrlToFile(files_ + u"/sandbox/bytes?n=5000", path, quiet, cancel));
  EXPECT_EQ(ReadFileBytes(dir.Path() / "_Set_UpZK.exe"), std::string(5000, 'x'));
  EXPECT_FALSE(fs::exists(dir.Path() / "_Set_UpZK.exe.part"));
}

TEST_F(SandboxTest, FetchStoresBodiesByteForByteAndErrorPagesToo) {
  TempDir dir;
  const std::u16string path = dir.U16("InfoGlobal.txt");
  WriteFileBytes(dir.Path() / "InfoGlobal.txt", std::string(3000, 'z'));
  for (const int n : {0, 1023, 1024, 2047}) {
    ASSERT_EQ(FetchUrlToFile(files_ + u"/sandbox/bytes?n=" + Utf8ToUtf16(std::to_string(n)), path),
              FetchResult::kComplete);
    EXPECT_EQ(ReadFileBytes(dir.Path() / "InfoGlobal.txt"), std::string(n, 'x')) << n;
  }
  ASSERT_EQ(FetchUrlToFile(files_ + u"/sandbox/status?code=404", path), FetchResult::kComplete);
  EXPECT_FALSE(ReadFileBytes(dir.Path() / "InfoGlobal.txt").empty());
  const std::string request = LastRequestText("files");
  EXPECT_NE(request.find("User-Agent: MyTest agent"), std::string::npos) << request;
  EXPECT_NE(request.find("Accept: */*"), std::string::npos) << request;
}

TEST_F(SandboxTest, FetchOfAnUnreachableHostLeavesAnEmptyFile) {
  TempDir dir;
  WriteFileBytes(dir.Path() / "InfoGlobal.txt", "old");
  EXPECT_EQ(FetchUrlToFile(u"http://127.0.0.1:1/x", dir.U16("InfoGlobal.txt")), FetchResult::kNotConnected);
  EXPECT_TRUE(fs::exists(dir.Path() / "InfoGlobal.txt"));
  EXPECT_EQ(fs::file_size(dir.Path() / "InfoGlobal.txt"), 0u);
  EXPECT_EQ(FetchUrlToFile(u"http://127.0.0.1:1/x", dir.U16("no\\such\\folder\\f.txt")), FetchResult::kFileNotCreated);
}

TEST_F(SandboxTest, RequestsSendTheFormInUtf8WithTheFormContentType) {
  const std::u16string answer = SendHttpRequest(region_ + u"/CheckData/UserCheck_Get_CN.asp", u"a=b&name=한");
  EXPECT_NE(answer.find(u"CountryId"), std::u16string::npos);
  const std::string request = LastRequestText("region");
  EXPECT_EQ(request.rfind("POST ", 0), 0u) << request;
  EXPECT_NE(request.find("Content-Type: application/x-www-form-urlencoded"), std::string::npos) << request;
  EXPECT_NE(request.find("User-Agent: win_net_tests"), std::string::npos) << request;
  EXPECT_EQ(request.substr(request.size() - 12), "a=b&name=\xED\x95\x9C") << request;
}

TEST_F(SandboxTest, TheFormEndsAtItsFirstZeroUnit) {
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/echo", std::u16string(u"\0a=b", 4)), u"ok");
  std::string request = LastRequestText("files");
  EXPECT_EQ(request.rfind("GET ", 0), 0u) << request;
  EXPECT_EQ(request.substr(request.size() - 4), "\r\n\r\n") << request;  // no body
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/echo", std::u16string(u"a=b\0c=d", 7)), u"ok");
  request = LastRequestText("files");
  EXPECT_EQ(request.rfind("POST ", 0), 0u) << request;
  EXPECT_EQ(request.substr(request.size() - 7), "\r\n\r\na=b") << request;
}

TEST_F(SandboxTest, HttpsOnAnotherPortStillTravelsOverTls) {
  // The configuration service speaks only TLS on its own port.
  const std::u16string answer = SendHttpRequest(config_ + u"/Desktop/ZKZKINI/GameConfig-V1.ini", u"");
  EXPECT_NE(answer.find(u"U_PATH_ZKEN="), std::u16string::npos);
  EXPECT_EQ(LastRequestText("config").rfind("GET ", 0), 0u);
}

TEST_F(SandboxTest, ErrorPagesAreAnswersAndTheDigestIsMd5) {
  EXPECT_FALSE(SendHttpRequest(files_ + u"/sandbox/status?code=500", u"").empty());
  std::array<char, 33> digest{};
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/echo", u"", false, &digest), u"ok");
  EXPECT_STREQ(digest.data(), "444bcb3a3fcf8389296c49467f27e1d6");
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/empty", u""), u"");
  EXPECT_EQ(SendHttpRequest(u"ftp://127.0.0.1/x", u""), u"");
}

// Redirects are followed one by one, on http and https only, never from https
// to plain http, and a form is sent again only to the first URL.
TEST_F(SandboxTest, RequestsFollowRedirectsButNeverFromHttpsToHttp) {
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/redirect?to=" + config_ + u"/sandbox/bytes?n=2", u""), u"xx");
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/redirect?to=ftp://127.0.0.1/x", u""), u"");
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/loop", u""), u"");
  EXPECT_EQ(SendHttpRequest(config_ + u"/sandbox/redirect?to=" + files_ + u"/sandbox/bytes?n=3", u""), u"");
  EXPECT_EQ(Served("files", "/sandbox/bytes").requests, 0) << "the plain URL was asked";
  EXPECT_EQ(SendHttpRequest(files_ + u"/sandbox/redirect?to=" + files_ + u"/sandbox/echo", u"a=b"), u"ok");
  EXPECT_EQ(LastRequestText("files").rfind("GET /sandbox/echo", 0), 0u) << LastRequestText("files");
}

// The configuration over WinINet, its signature checked with CNG: the
// sandbox signs with this build's first test key (e2e/run.sh), and each of
// its signature faults is refused with its own outcome.
TEST_F(SandboxTest, OnlyAConfigurationSignedByATrustedKeyIsTaken) {
  const std::u16string host = config_.substr(config_.find(u"://") + 3);
  ASSERT_EQ(_putenv_s("ZK_CONFIG_HOST", Utf16ToUtf8(host).c_str()), 0);
  TempDir dir;
  struct InFolder {  // "InfoGlobal.txt" goes to the current folder
    explicit InFolder(const fs::path& folder) : previous(fs::current_path()) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(previous); }
    fs::path previous;
  } inFolder(dir.Path());
  for (const auto& [mode, outcome] : SignedFixtures::kServedSignatureCases) {
    SCOPED_TRACE(mode);
    ASSERT_FALSE(SendHttpRequest(control_ + u"/control/fault?service=config&mode=" + Utf8ToUtf16(mode), u"").empty());
    GameSettings settings{};
    settings.uPath[0][0] = u'?';
    EXPECT_EQ(LoadGameSettings(settings), outcome);
    EXPECT_EQ(settings.uPath[0][0] == u'?', outcome != SettingsOutcome::kLoaded);
  }
  SendHttpRequest(control_ + u"/control/fault?service=config&mode=ok", u"");
}
