// The setup download against the sandbox's files service, with the pauses
// shortened: a 4 MiB file of varied bytes served as /setup/s.exe, and the
// counts of what the sandbox served to show what went over the wire.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/Messages.h"
#include "SelectLanguage/SetupDownload.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/Text.h"
#include "platform/headless/HeadlessHost.h"
#include "tests/support/QuickRetries.h"
#include "tests/app/RecordingWindow.h"
#include "tests/app/ServedFilesFixture.h"
#include "tests/support/TempDir.h"

namespace setup_download_fixture {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr std::size_t kFileSize = 4 << 20;
inline const std::string kPath = "/setup/s.exe";

inline DownloadRetryTimings Quick() { return QuickRetries(); }

class SetupDownloadTest : public ServedFilesTest {
 protected:
  void SetUp() override {
    ServedFilesTest::SetUp();
    if (HasFatalFailure()) return;
    file_.resize(kFileSize);
    for (std::size_t i = 0; i < file_.size(); ++i) file_[i] = static_cast<char>((i * 131 + i / 4096) % 251);
    Serve(kPath, file_);
    fs::create_directories(Folder());
    host_.Open(window_);
  }

  fs::path Folder() const { return target_.Path() / "program"; }
  fs::path Target() const { return Folder() / "_Set_UpZK.exe"; }
  std::string Url(const std::string& path = kPath) const { return ServedFilesTest::Url(path); }

  bool Download(const DownloadRetryTimings& timings = Quick(), const std::string& url = {}) {
    const bool ok = DownloadUrlToFile(Utf8ToUtf16(url.empty() ? Url() : url), Utf8ToUtf16(Target().string()), progress_,
                                      cancel_, timings);
    host_.PumpPending();
    return ok;
  }
  Sandbox::Served Served() const { return sandbox_.Counts("files", kPath); }
  std::vector<std::string> FolderEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Folder())) names.push_back(entry.path().filename().string());
    return names;
  }
  // The progress posted, as (done, total) pairs.
  std::vector<std::pair<uint64_t, int64_t>> Progress() const {
    std::vector<std::pair<uint64_t, int64_t>> figures;
    for (const auto& m : window_.messages) {
      if (m.id == kMsgDownloadProgress) figures.emplace_back(m.wParam, m.lParam);
    }
    return figures;
  }
  // How often the bar moved back.
  int StepsBack() const {
    int back = 0;
    const auto figures = Progress();
    for (std::size_t i = 1; i < figures.size(); ++i) back += figures[i].first < figures[i - 1].first ? 1 : 0;
    return back;
  }
  void ExpectTheWholeFileInPlace() {
    EXPECT_EQ(ReadFileBytes(Target()), file_);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"_Set_UpZK.exe"}) << "nothing else beside it";
    const auto figures = Progress();
    ASSERT_FALSE(figures.empty());
    EXPECT_EQ(figures.back(), std::make_pair(static_cast<uint64_t>(kFileSize), static_cast<int64_t>(kFileSize)));
    for (const auto& figure : figures)
      EXPECT_EQ(figure.second, static_cast<int64_t>(kFileSize)) << "the whole file's size";
  }

  TempDir target_;
  HeadlessHost host_;
  RecordingWindow window_;
  WorkerLink link_{&host_};  // the progress reaches the window through it
  DownloadProgress progress_{&link_};
  std::atomic<bool> cancel_{false};
  std::string file_;
};

}  // namespace setup_download_fixture

using setup_download_fixture::SetupDownloadTest;
