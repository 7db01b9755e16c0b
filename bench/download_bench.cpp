// The setup download through our POSIX download layer against the curl
// command line: same loopback server, same file, alternating runs. Prints
// each run and the medians, and the ratios the budgets are stated in.
//   download_bench <url> <output-folder> <runs> [curl-program]
// With 0 runs it downloads once through our layer only and keeps the file
// (for strace, and for the resume benchmark, which compares it).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "bench/BenchStats.h"
#include "SelectLanguage/SetupDownload.h"
#include "net/Text.h"

extern char** environ;

namespace {

struct Sample {
  double seconds = 0;  // wall
  double cpu = 0;      // user + system
  long long bytes = 0;
};

Sample RunOurs(const std::string& url, const std::string& path, bool keep = false) {
  const std::atomic<bool> cancel{false};
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  DownloadProgress quiet;  // the program's own progress object with no window: nothing is posted
  const bool ok = DownloadUrlToFile(Utf8ToUtf16(url), Utf8ToUtf16(path), quiet, cancel);
  const auto end = std::chrono::steady_clock::now();
  ::getrusage(RUSAGE_SELF, &after);
  Sample s{std::chrono::duration<double>(end - start).count(), CpuSeconds(after) - CpuSeconds(before),
           ok ? FileSize(path) : -1};
  if (!keep) ::unlink(path.c_str());
  return s;
}

Sample RunCurl(const std::string& curl, const std::string& url, const std::string& path) {
  std::vector<std::string> args = {curl, "-s", "-f", "-o", path, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (::posix_spawnp(&pid, curl.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return {0, 0, -1};
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  Sample s{std::chrono::duration<double>(end - start).count(), CpuSeconds(usage), ok ? FileSize(path) : -1};
  ::unlink(path.c_str());
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s <url> <output-folder> <runs> [curl-program]\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const std::string folder = argv[2];
  const int runs = std::atoi(argv[3]);
  const std::string curl = argc > 4 ? argv[4] : "curl";
  if (runs == 0) {  // one download through our layer only, for tracing
    const Sample s = RunOurs(url, folder + "/ours.bin", true);
    std::printf("ours: %lld bytes in %.3f s, cpu %.3f s\n", s.bytes, s.seconds, s.cpu);
    return s.bytes > 0 ? 0 : 1;
  }
  std::vector<double> oursRate, curlRate, oursCpu, curlCpu;
  long long expected = -1;
  for (int i = 0; i < runs; ++i) {
    Sample ours, theirs;
    // Alternate which goes first, so neither always meets a cold cache.
    if (i % 2 == 0) {
      ours = RunOurs(url, folder + "/ours.bin");
      theirs = RunCurl(curl, url, folder + "/curl.bin");
    } else {
      theirs = RunCurl(curl, url, folder + "/curl.bin");
      ours = RunOurs(url, folder + "/ours.bin");
    }
    if (ours.bytes < 0 || theirs.bytes < 0 || ours.bytes != theirs.bytes || (expected >= 0 && ours.bytes != expected)) {
      std::fprintf(stderr, "run %d: a download failed (ours %lld bytes, curl %lld bytes)\n", i, ours.bytes,
                   theirs.bytes);
      return 1;
    }
    expected = ours.bytes;
    const double mib = static_cast<double>(ours.bytes) / (1 << 20);
    oursRate.push_back(mib / ours.seconds);
    curlRate.push_back(mib / theirs.seconds);
    oursCpu.push_back(ours.cpu);
    curlCpu.push_back(theirs.cpu);
    std::printf("run %d: ours %.0f MiB/s cpu %.3f s | curl %.0f MiB/s cpu %.3f s\n", i, oursRate.back(), ours.cpu,
                curlRate.back(), theirs.cpu);
  }
  const double rate = Median(oursRate) / Median(curlRate);
  const double cpu = Median(oursCpu) / Median(curlCpu);
  std::printf("bytes %lld, runs %d\n", expected, runs);
  std::printf("median throughput: ours %.0f MiB/s, curl %.0f MiB/s, ratio %.3f (budget >= 0.90) %s\n", Median(oursRate),
              Median(curlRate), rate, rate >= 0.9 ? "MET" : "NOT MET");
  std::printf("median cpu: ours %.3f s, curl %.3f s, ratio %.3f (budget <= 1.25) %s\n", Median(oursCpu),
              Median(curlCpu), cpu, cpu <= 1.25 ? "MET" : "NOT MET");
  return 0;
}
