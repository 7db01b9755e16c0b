// The files service of the sandbox as the download tests rely on it: byte
// ranges with their validators, and faults that leave exact counts behind.
#include <curl/curl.h>

#include "tests/net/NetTestUtil.h"

namespace {

struct Reply {
  long status = 0;
  CURLcode code = CURLE_OK;
  std::string head;
  std::string body;
  std::string Header(const std::string& name) const {
    const auto at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    const auto start = at + name.size() + 4;
    return head.substr(start, head.find("\r\n", start) - start);
  }
};

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

Reply Get(const std::string& url, const std::vector<std::string>& headers = {}, long timeoutMs = 20000) {
  Reply reply;
  CURL* curl = curl_easy_init();
  curl_slist* list = nullptr;
  for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMs);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.head);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
  reply.code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  curl_slist_free_all(list);
  curl_easy_cleanup(curl);
  return reply;
}

class SandboxFilesTest : public SandboxTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(cwd.Path() / "files" / "setup");
    for (std::size_t i = 0; i < file_.size(); ++i) file_[i] = static_cast<char>(i * 7 % 253);
    WriteBytes((cwd.Path() / "files" / "setup" / "s.exe").string(), file_);
    ASSERT_TRUE(StartSandbox({"--files", (cwd.Path() / "files").string()}));
  }
  std::string Url() const { return sandbox.FilesBase() + "/setup/s.exe"; }
  std::string file_ = std::string(100000, '\0');
};

TEST_F(SandboxFilesTest, RangesAreServedWithTheirValidators) {
  const Reply whole = Get(Url());
  ASSERT_EQ(whole.status, 200);
  EXPECT_EQ(whole.body, file_);
  const std::string etag = whole.Header("ETag");
  const std::string modified = whole.Header("Last-Modified");
  ASSERT_TRUE(etag.starts_with("\"")) << "a strong ETag";
  ASSERT_FALSE(modified.empty());

  const Reply tail = Get(Url(), {"Range: bytes=60000-", "If-Range: " + etag});
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.Header("Content-Range"), "bytes 60000-99999/100000");
  EXPECT_EQ(tail.body, file_.substr(60000));
  EXPECT_EQ(Get(Url(), {"Range: bytes=10-19", "If-Range: " + modified}).body, file_.substr(10, 10));
  // A validator that no longer names the file gets the whole file.
  EXPECT_EQ(Get(Url(), {"Range: bytes=10-", "If-Range: \"other\""}).status, 200);
  EXPECT_EQ(Get(Url(), {"Range: bytes=10-", "If-Range: W/" + etag}).status, 200);
  const Reply beyond = Get(Url(), {"Range: bytes=100000-"});
  EXPECT_EQ(beyond.status, 416);
  EXPECT_EQ(beyond.Header("Content-Range"), "bytes */100000");
  // Several ranges are not served as ranges.
  EXPECT_EQ(Get(Url(), {"Range: bytes=0-1,5-6"}).status, 200);
}

TEST_F(SandboxFilesTest, ValidatorFaultsChangeWhatIsAnnounced) {
  ASSERT_TRUE(sandbox.SetFault("files", "etag-changes"));
  const Reply first = Get(Url());
  EXPECT_EQ(Get(Url(), {"Range: bytes=10-", "If-Range: " + first.Header("ETag")}).status, 200);
  EXPECT_NE(Get(Url()).Header("ETag"), first.Header("ETag"));

  ASSERT_TRUE(sandbox.SetFault("files", "weak-etag"));
  ASSERT_TRUE(sandbox.AddFault("files", "no-last-modified"));
  const Reply weak = Get(Url());
  EXPECT_TRUE(weak.Header("ETag").starts_with("W/\""));
  EXPECT_EQ(weak.Header("Last-Modified"), "");

  ASSERT_TRUE(sandbox.SetFault("files", "no-range"));
  const Reply ignored = Get(Url(), {"Range: bytes=10-"});
  EXPECT_EQ(ignored.status, 200);
  EXPECT_EQ(ignored.body, file_);
}

TEST_F(SandboxFilesTest, DropsAndRefusalsAreCountedExactly) {
  ASSERT_TRUE(sandbox.SetFault("files", "drop", {{"after", "30000,50000"}, {"times", "2"}}));
  const Reply first = Get(Url());
  EXPECT_EQ(first.code, CURLE_RECV_ERROR);
  EXPECT_EQ(first.body, file_.substr(0, 30000)) << "the peer holds every byte sent before the reset";
  EXPECT_EQ(Get(Url()).body.size(), 50000u);
  EXPECT_EQ(Get(Url()).body, file_) << "the fault is spent";
  Sandbox::Served served = sandbox.Counts("files", "/setup/s.exe");
  EXPECT_EQ(served.requests, 3);
  EXPECT_EQ(served.bodyBytes, 180000);

  ASSERT_TRUE(sandbox.SetFault("files", "drop", {{"after", "100"}, {"how", "close"}}));
  EXPECT_EQ(Get(Url()).code, CURLE_PARTIAL_FILE);
  EXPECT_EQ(Get(Url()).code, CURLE_PARTIAL_FILE) << "without times, every answer drops";

  ASSERT_TRUE(sandbox.SetFault("files", "once", {{"status", "403"}}));
  EXPECT_EQ(Get(Url()).status, 200);
  EXPECT_EQ(Get(Url()).status, 403);
  EXPECT_EQ(Get(Url() + "?other").status, 403) << "the query is not part of the path";

  ASSERT_TRUE(sandbox.SetFault("files", "status", {{"code", "503"}, {"retry-after", "4"}, {"times", "1"}}));
  const Reply busy = Get(Url());
  EXPECT_EQ(busy.status, 503);
  EXPECT_EQ(busy.Header("Retry-After"), "4");
  EXPECT_EQ(Get(Url()).status, 200);
}

// The mirror: a second download host over a folder of its own, with the
// same ranges and faults, switched apart from the files service's.
TEST_F(SandboxFilesTest, TheMirrorServesItsOwnFolderWithItsOwnFaults) {
  std::filesystem::create_directories(cwd.Path() / "mirror" / "setup");
  WriteBytes((cwd.Path() / "mirror" / "setup" / "s.exe").string(), "the mirror's copy");
  ASSERT_TRUE(StartSandbox({"--files", (cwd.Path() / "files").string(), "--mirror-files",
                            (cwd.Path() / "mirror").string(), "--fault", "mirror=drop:after=4"}));
  EXPECT_EQ(Get(sandbox.MirrorBase() + "/setup/s.exe").body, "the ");
  EXPECT_EQ(Get(Url()).body, file_);
  ASSERT_TRUE(sandbox.SetFault("mirror", "ok"));
  EXPECT_EQ(Get(sandbox.MirrorBase() + "/setup/s.exe", {"Range: bytes=4-"}).body, "mirror's copy");
}

TEST_F(SandboxFilesTest, BodyFaultsShapeWhatIsAnnouncedAndSent) {
  ASSERT_TRUE(sandbox.SetFault("files", "no-length", {{"times", "1"}}));
  const Reply unannounced = Get(Url());
  EXPECT_EQ(unannounced.code, CURLE_OK) << "the body ends with the connection";
  EXPECT_EQ(unannounced.Header("Content-Length"), "");
  EXPECT_EQ(unannounced.body, file_);
  EXPECT_EQ(Get(Url()).Header("Content-Length"), "100000") << "the fault is spent";

  // A stalled body: the head and the bytes asked for, then silence until the
  // client gives up.
  for (const int after : {0, 30000}) {
    SCOPED_TRACE(after);
    ASSERT_TRUE(sandbox.SetFault("files", "stall-body", {{"after", std::to_string(after)}}));
    const Reply stalled = Get(Url(), {}, 1000);
    EXPECT_EQ(stalled.code, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(stalled.status, 200);
    EXPECT_EQ(stalled.Header("Content-Length"), "100000");
    EXPECT_EQ(stalled.body, file_.substr(0, after));
  }
  ASSERT_TRUE(sandbox.SetFault("files", "stall-body"));
  EXPECT_EQ(Get(Url(), {}, 1000).body, file_.substr(0, 50000)) << "half by default";
}

}  // namespace
