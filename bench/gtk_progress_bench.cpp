// The setup download with the progress path on (the worker posting 2025 to a
// real GTK window) against off (no window to post to), alternating runs in
// one process. The window invalidates itself from a 100 ms timer, so its
// paint count during the download shows whether posts starve the painting.
//   gtk_progress_bench <url> <output-folder> <runs>
#include <gtk/gtk.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "bench/BenchStats.h"
#include "SelectLanguage/SetupDownload.h"
#include "SelectLanguage/WorkerThread.h"
#include "net/Text.h"
#include "platform/gtk/GtkDialogHost.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kRepaintTimer = 7;

struct Result {
  bool ok = false;
  double seconds = 0;
  long long bytes = 0;
  int posts = 0;
  bool lastWasTotal = false;
  int paintsDuring = 0;
  double longestPaintGap = 0;  // seconds, during the download
  double cpuSeconds = 0;       // the whole process: window, worker and libcurl
};

class BenchWindow : public DialogWindow {
 public:
  BenchWindow(DialogHost& host, std::string url, std::string path, bool progressOn)
      : host_(host), url_(std::move(url)), path_(std::move(path)), progressOn_(progressOn) {}
  ~BenchWindow() override {
    if (worker_.joinable()) worker_.join();
  }

  int OnInitDialog() override {
    host_.SetClientSize(330, 170);
    host_.StartTimer(kRepaintTimer, 100);
    worker_ = std::thread([this] {
      const std::atomic<bool> cancel{false};
      start_ = Clock::now();
      started_.store(true);
      const bool ok = DownloadUrlToFile(Utf8ToUtf16(url_), Utf8ToUtf16(path_), progress_, cancel);
      end_ = Clock::now();
      result_.seconds = std::chrono::duration<double>(end_ - start_).count();
      host_.Post(ok ? kMsgSetupDownloaded : kMsgSetupDownloadFailed, 0, 0);
    });
    return 1;
  }
  bool PreTranslateMessage(const DialogMessage&) override { return false; }
  ControlColors OnCtlColor(int) override { return {}; }

  int64_t Dispatch(const DialogMessage& m) override {
    switch (m.id) {
      case kMsgDownloadProgress:
        ++result_.posts;
        result_.lastWasTotal = m.wParam == static_cast<uint64_t>(m.lParam);
        host_.ProgressShow(true);
        host_.ProgressSetRange(static_cast<uint64_t>(m.lParam));
        host_.ProgressSetPosition(m.wParam);
        return 0;
      case kWmTimer: host_.Invalidate(); return 0;
      case kWmPaint:
        if (started_.load()) {
          const auto now = Clock::now();
          if (lastPaint_ != Clock::time_point{})
            result_.longestPaintGap =
                std::max(result_.longestPaintGap, std::chrono::duration<double>(now - lastPaint_).count());
          lastPaint_ = now;
          ++result_.paintsDuring;
        }
        return 0;
      case kMsgSetupDownloaded:
      case kMsgSetupDownloadFailed:
        worker_.join();
        result_.ok = m.id == kMsgSetupDownloaded;
        host_.StopTimer(kRepaintTimer);
        host_.EndDialog();
        return 0;
      default: return 0;
    }
  }
  Result& result() { return result_; }

 private:
  DialogHost& host_;
  std::string url_, path_;
  bool progressOn_;
  WorkerLink link_{&host_};
  DownloadProgress progress_{progressOn_ ? &link_ : nullptr};
  std::thread worker_;
  std::atomic<bool> started_{false};
  Clock::time_point start_{}, end_{}, lastPaint_{};
  Result result_;
};

Result RunOnce(const std::string& url, const std::string& path, bool on) {
  const double cpuBefore = ProcessCpuSeconds();
  const std::unique_ptr<DialogHost> host = CreateGtkDialogHost();
  BenchWindow window(*host, url, path, on);
  host->RunModal(window);
  Result r = window.result();
  r.cpuSeconds = ProcessCpuSeconds() - cpuBefore;
  r.bytes = FileSize(path);
  ::unlink(path.c_str());
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || !gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "usage: %s <url> <output-folder> <runs> (needs a display)\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1], path = std::string(argv[2]) + "/gtk_progress.bin";
  const int runs = std::atoi(argv[3]);
  std::vector<double> onRate, offRate, onCpu, offCpu, postRate, paintRate, gap;
  bool allLast = true;
  for (int i = 0; i < runs; ++i) {
    Result on, off;
    if (i % 2 == 0) {
      on = RunOnce(url, path, true);
      off = RunOnce(url, path, false);
    } else {
      off = RunOnce(url, path, false);
      on = RunOnce(url, path, true);
    }
    if (!on.ok || !off.ok || on.bytes != off.bytes || on.bytes <= 0) {
      std::fprintf(stderr, "run %d: a download failed\n", i);
      return 1;
    }
    const double mib = static_cast<double>(on.bytes) / (1 << 20);
    onRate.push_back(mib / on.seconds);
    offRate.push_back(mib / off.seconds);
    onCpu.push_back(on.cpuSeconds);
    offCpu.push_back(off.cpuSeconds);
    postRate.push_back(on.posts / on.seconds);
    paintRate.push_back(on.paintsDuring / on.seconds);
    gap.push_back(on.longestPaintGap);
    allLast = allLast && on.lastWasTotal && off.posts == 0;
    std::printf(
        "run %d: on %.0f MiB/s, cpu %.3f s (%d posts, %.1f/s, last=total %s, %d paints, longest gap %.0f ms) | off "
        "%.0f "
        "MiB/s, cpu %.3f s\n",
        i, onRate.back(), on.cpuSeconds, on.posts, postRate.back(), on.lastWasTotal ? "yes" : "NO", on.paintsDuring,
        on.longestPaintGap * 1000, offRate.back(), off.cpuSeconds);
  }
  const double ratio = Median(onRate) / Median(offRate);
  std::printf("median throughput: on %.0f MiB/s, off %.0f MiB/s, ratio %.3f (budget >= 0.97) %s\n", Median(onRate),
              Median(offRate), ratio, ratio >= 0.97 ? "MET" : "NOT MET");
  std::printf("median cpu of the whole process: on %.3f s, off %.3f s, ratio %.3f\n", Median(onCpu), Median(offCpu),
              Median(onCpu) / Median(offCpu));
  const double posts = *std::max_element(postRate.begin(), postRate.end());
  std::printf("posts per second: median %.1f, max %.1f (budget about 30); last post = total in every run: %s\n",
              Median(postRate), posts, allLast ? "yes" : "NO");
  std::printf("paints per second during the download: median %.1f (timer asks for 10); longest gap median %.0f ms\n",
              Median(paintRate), Median(gap) * 1000);
  return 0;
}
