// The setup download's order over the primary and its mirrors, against the
// sandbox's two files services ("files" the primary, "mirror" serving the
// same folder): which server served the file, and how many bytes each sent.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "net/HeldFile.h"
#include "tests/app/SetupDownloadFixture.h"

namespace {

using setup_download_fixture::kFileSize;
using setup_download_fixture::kPath;
using setup_download_fixture::Quick;

constexpr long long kWhole = kFileSize, kMiB = 1 << 20, kPage = -1;  // kPage: an error page, not counted
const std::string kChanged = "/changed/s.exe";                       // the same size, one byte flipped
constexpr SetupDownloadEnd kOk = SetupDownloadEnd::kDownloaded;

// "files" or "mirror" and a path (kPath when none); "config" is a server
// whose certificate does not verify here.
std::pair<std::string, std::string> Split(const std::string& where) {
  const std::size_t slash = std::min(where.find('/'), where.size());
  return {where.substr(0, slash), slash < where.size() ? where.substr(slash) : kPath};
}

// Each case tries every URL it names: one move fewer than URLs.
TEST_F(SetupDownloadTest, TheMirrorsAreTriedInOrder) {
  using Fault = std::tuple<std::string, std::string, std::map<std::string, std::string>>;
  const Fault drops = {"files", "drop", {{"after", std::to_string(kMiB)}, {"times", "2"}}};
  const struct {
    const char* name;
    std::vector<Fault> faults;
    std::vector<std::string> urls;
    SetupDownloadEnd end;
    std::vector<std::tuple<std::string, int, long long>> served;  // where, requests, bytes
  } cases[] = {
      // one case a line
      // clang-format off
      {"primary refused", {{"files", "refused", {}}}, {"files", "mirror"}, kOk, {{"files", 0, 0}, {"mirror", 1, kWhole}}},
      {"primary 404", {{"files", "404", {}}}, {"files", "mirror"}, kOk, {{"files", 1, kPage}, {"mirror", 1, kWhole}}},
      {"primary's certificate", {}, {"config", "mirror"}, kOk, {{"mirror", 1, kWhole}}},
      {"primary's hash", {}, {"files" + kChanged, "mirror"}, kOk, {{"files" + kChanged, 1, kWhole}, {"mirror", 1, kWhole}}},
      {"primary down, same ETag", {drops}, {"files", "mirror"}, kOk, {{"files", 2, 2 * kMiB}, {"mirror", 1, 2 * kMiB}}},
      {"primary down, weak ETag", {drops, {"files", "weak-etag", {}}}, {"files", "mirror"}, kOk, {{"mirror", 1, kWhole}}},
      {"every URL failing", {{"files", "refused", {}}, {"mirror", "500", {}}}, {"files", "mirror", "files"},
       SetupDownloadEnd::kFailed, {{"files", 0, 0}, {"mirror", 1, kPage}}},
      // clang-format on
  };
  std::string changed = file_;
  changed[kFileSize / 2] ^= 0x20;
  Serve(kChanged, changed);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sandbox_.Reset());
    for (const auto& [service, mode, parameters] : c.faults) ASSERT_TRUE(sandbox_.AddFault(service, mode, parameters));
    window_.messages.clear();
    std::vector<std::u16string> texts;
    for (const auto& url : c.urls) {
      const auto [service, path] = Split(url);
      const int port = service == "files"    ? sandbox_.FilesPort()
                       : service == "mirror" ? sandbox_.MirrorPort()
                                             : sandbox_.ConfigPort();
      texts.push_back(Utf8ToUtf16((service == "config" ? "https" : "http") + std::string("://127.0.0.1:") +
                                  std::to_string(port) + path));
    }
    const std::vector<std::u16string_view> urls(texts.begin(), texts.end());
    HeldFile held;
    EXPECT_EQ(DownloadSetup(urls, Utf8ToUtf16(Target().string()), {Sha256(file_), file_.size()}, progress_, cancel_,
                            Quick(), &held),
              c.end);
    host_.PumpPending();
    EXPECT_EQ(window_.Count(kMsgDownloadServer), static_cast<int>(urls.size()) - 1);
    for (const auto& [where, requests, bytes] : c.served) {
      const auto [service, path] = Split(where);
      const auto counted = sandbox_.Counts(service, path);
      EXPECT_EQ(counted.requests, requests) << where;
      EXPECT_TRUE(bytes == kPage || counted.bodyBytes == bytes) << where << " sent " << counted.bodyBytes;
    }
    EXPECT_EQ(FolderEntries().size(), c.end == kOk ? 1u : 0u);
    EXPECT_EQ(held.IsHeld() && ReadFileBytes(Target()) == file_, c.end == kOk);
    held.Release();
    std::filesystem::remove(Target());
  }
}

}  // namespace
