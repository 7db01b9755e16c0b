// The setup download's order over the primary and its mirrors, against the
// sandbox's two files services ("files" the primary, "mirror" a mirror of
// the same folder): which server served the file, and how many bytes each
// served for it.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "SelectLanguage/SetupCheck.h"
#include "net/HeldFile.h"
#include "tests/app/SetupDownloadFixture.h"

namespace {

using setup_download_fixture::kFileSize;
using setup_download_fixture::kPath;
using setup_download_fixture::Quick;

constexpr long long kWhole = kFileSize;
constexpr long long kMiB = 1 << 20;
const std::string kChanged = "/changed/s.exe";  // the same size, one byte flipped

struct ServedBy {
  std::string service;
  std::string path;
  int requests;
  long long bytes;  // -1: not counted (an error page's)
};

struct OrderCase {
  const char* name;
  std::function<bool(Sandbox&)> faults;
  // "files" or "mirror", a path after it for another than kPath; "tls": a
  // server whose certificate does not verify.
  std::vector<std::string> urls;
  SetupDownloadEnd end;
  std::vector<int> moves;  // the URL numbers that message 2039 named
  std::vector<ServedBy> served;
};

class MirrorOrderTest : public SetupDownloadTest {
 protected:
  std::u16string UrlOf(const std::string& name) const {
    if (name == "tls") return Utf8ToUtf16(sandbox_.ConfigBase() + kPath);  // its CA is not trusted here
    const bool mirror = name.starts_with("mirror");
    const std::string path = name.substr(mirror ? 6 : 5);
    return Utf8ToUtf16((mirror ? sandbox_.MirrorBase() : sandbox_.FilesBase()) + (path.empty() ? kPath : path));
  }
  std::vector<int> Moves(std::size_t urls) const {
    std::vector<int> moves;
    for (const auto& m : window_.messages) {
      if (m.id != kMsgDownloadServer) continue;
      EXPECT_EQ(m.lParam, static_cast<int64_t>(urls));
      moves.push_back(static_cast<int>(m.wParam));
    }
    return moves;
  }
};

TEST_F(MirrorOrderTest, EachFailureMovesOnAsItShould) {
  const auto drops = [](Sandbox& s) {
    return s.SetFault("files", "drop", {{"after", std::to_string(kMiB)}, {"times", "2"}});
  };
  const OrderCase cases[] = {
      {"primary refused",
       [](Sandbox& s) { return s.SetFault("files", "refused"); },
       {"files", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kPath, 0, 0}, {"mirror", kPath, 1, kWhole}}},
      {"primary 404",
       [](Sandbox& s) { return s.SetFault("files", "404"); },
       {"files", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kPath, 1, -1}, {"mirror", kPath, 1, kWhole}}},
      {"primary 410, the first mirror's hash wrong",
       [](Sandbox& s) {
         return s.SetFault("files", "status", {{"code", "410"}});
       },
       {"files", "mirror" + kChanged, "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2, 3},
       {{"files", kPath, 1, -1}, {"mirror", kChanged, 1, kWhole}, {"mirror", kPath, 1, kWhole}}},
      {"primary 503, at once",
       [](Sandbox& s) {
         return s.SetFault("files", "status", {{"code", "503"}});
       },
       {"files", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kPath, 1, -1}, {"mirror", kPath, 1, kWhole}}},
      {"primary's certificate does not verify",
       [](Sandbox&) { return true; },
       {"tls", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"mirror", kPath, 1, kWhole}}},
      {"primary's hash wrong",
       [](Sandbox&) { return true; },
       {"files" + kChanged, "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kChanged, 1, kWhole}, {"mirror", kPath, 1, kWhole}}},
      {"primary down mid-download, the same strong ETag resumes",
       drops,
       {"files", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kPath, 2, 2 * kMiB}, {"mirror", kPath, 1, kWhole - 2 * kMiB}}},
      {"primary down mid-download, no strong ETag starts over",
       [&](Sandbox& s) { return drops(s) && s.AddFault("files", "weak-etag"); },
       {"files", "mirror"},
       SetupDownloadEnd::kDownloaded,
       {2},
       {{"files", kPath, 2, 2 * kMiB}, {"mirror", kPath, 1, kWhole}}},
      {"every URL failing",
       [](Sandbox& s) { return s.SetFault("files", "refused") && s.SetFault("mirror", "500"); },
       {"files", "mirror", "files"},
       SetupDownloadEnd::kFailed,
       {2, 3},
       {{"files", kPath, 0, 0}, {"mirror", kPath, 1, -1}}},
      {"every URL failing, the last with the wrong file",
       [](Sandbox& s) { return s.SetFault("mirror", "404"); },
       {"mirror", "files" + kChanged},
       SetupDownloadEnd::kChecksumDiffers,
       {2},
       {{"mirror", kPath, 1, -1}, {"files", kChanged, 1, kWhole}}},
  };
  std::string changed = file_;
  changed[kFileSize / 2] ^= 0x20;
  Serve(kChanged, changed);
  for (const OrderCase& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(sandbox_.Reset());
    ASSERT_TRUE(c.faults(sandbox_));
    window_.messages.clear();
    std::vector<std::u16string> texts;
    for (const auto& name : c.urls) texts.push_back(UrlOf(name));
    const std::vector<std::u16string_view> urls(texts.begin(), texts.end());
    HeldFile held;
    const SetupDownloadEnd end = DownloadSetup(urls, Utf8ToUtf16(Target().string()), {Sha256(file_), file_.size()},
                                               progress_, cancel_, Quick(), &held);
    host_.PumpPending();
    EXPECT_EQ(end, c.end);
    EXPECT_EQ(Moves(urls.size()), c.moves);
    for (const ServedBy& s : c.served) {
      SCOPED_TRACE(s.service + s.path);
      const Sandbox::Served counted = sandbox_.Counts(s.service, s.path);
      EXPECT_EQ(counted.requests, s.requests);
      if (s.bytes >= 0) {
        EXPECT_EQ(counted.bodyBytes, s.bytes);
      }
    }
    if (c.end == SetupDownloadEnd::kDownloaded) {
      EXPECT_EQ(ReadFileBytes(Target()), file_);
      EXPECT_TRUE(held.IsHeld());
    } else {
      EXPECT_TRUE(FolderEntries().empty()) << "nothing is left behind";
    }
    held.Release();
    std::filesystem::remove(Target());
  }
}

}  // namespace
