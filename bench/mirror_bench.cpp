// One setup download over the given URLs in order (the primary, then its
// mirrors) with the real attempts, pauses and silence limit; prints how it
// ended and how long it took.
//   mirror_bench <output-file> <url>...
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Text.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <output-file> <url>...\n", argv[0]);
    return 2;
  }
  std::vector<std::u16string> texts;
  for (int i = 2; i < argc; ++i) texts.push_back(Utf8ToUtf16(argv[i]));
  const std::vector<std::u16string_view> urls(texts.begin(), texts.end());
  const std::atomic<bool> cancel{false};
  DownloadProgress quiet;  // no window: nothing is posted
  const auto start = std::chrono::steady_clock::now();
  const SetupDownloadEnd end =
      DownloadSetup(urls, Utf8ToUtf16(argv[1]), ExpectedSetup{}, quiet, cancel, DownloadRetryTimings{}, nullptr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("urls %zu end %d seconds %.3f\n", urls.size(), static_cast<int>(end), seconds);
  return 0;
}
