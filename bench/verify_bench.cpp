// What checking the setup program costs. First SHA-256 alone: CPU seconds
// per GiB through the program's hasher, in the pieces a download delivers.
// Then the download from a loopback server, alternating runs with the
// configuration's size and hash and without, at the server's pace.
//   verify_bench <url> <served-file> <output-folder> <runs>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SelectLanguage/DownloadProgress.h"
#include "SelectLanguage/SetupDownload.h"
#include "bench/BenchStats.h"
#include "net/Sha256.h"
#include "net/Text.h"

namespace {

constexpr std::size_t kPiece = 256 * 1024;  // what one receive hands over at most

double CpuNow() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return CpuSeconds(usage);
}

// CPU seconds to hash one GiB, the best of three.
double HashCpuPerGiB() {
  const std::string piece(kPiece, 'z');
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    Sha256Hasher hasher;
    const double start = CpuNow();
    for (std::size_t done = 0; done < (std::size_t{1} << 30); done += kPiece) hasher.Update(piece);
    if (!hasher.Final()) return -1;
    best = std::min(best, CpuNow() - start);
  }
  return best;
}

// MiB per second of one download; 0 when it failed.
double Download(const std::string& url, const std::string& path, const ExpectedSetup& expected) {
  const std::atomic<bool> cancel{false};
  DownloadProgress quiet;
  const auto start = std::chrono::steady_clock::now();
  const SetupDownloadEnd end = DownloadSetup(Utf8ToUtf16(url), Utf8ToUtf16(path), expected, quiet, cancel, {}, nullptr);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long bytes = FileSize(path);
  ::unlink(path.c_str());
  return end == SetupDownloadEnd::kDownloaded ? bytes / seconds / (1 << 20) : 0;
}

// The served file's size and hash, as its configuration would name them.
ExpectedSetup Checks(const std::string& path) {
  ExpectedSetup expected;
  FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return expected;
  Sha256Hasher hasher;
  std::string piece(kPiece, '\0');
  uint64_t size = 0;
  for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), in)) > 0; size += got) {
    hasher.Update(std::string_view(piece.data(), got));
  }
  std::fclose(in);
  return {hasher.Final(), size};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s <url> <served-file> <output-folder> <runs>\n", argv[0]);
    return 2;
  }
  const std::string url = argv[1];
  const std::string served = argv[2];
  const std::string path = std::string(argv[3]) + "/_Set_UpZK.exe";
  const int runs = std::atoi(argv[4]);
  if (url == "-") {
    std::printf("sha256_cpu_s_per_gib %.3f\n", HashCpuPerGiB());
    return 0;
  }
  const ExpectedSetup checked = Checks(served);
  std::vector<double> plain, hashed;
  for (int run = 0; run < runs; ++run) {
    plain.push_back(Download(url, path, {}));
    hashed.push_back(Download(url, path, checked));
    std::printf("run %d: without %.1f MiB/s, with size and hash %.1f MiB/s\n", run + 1, plain.back(), hashed.back());
  }
  const double without = Median(plain), with = Median(hashed);
  std::printf("median_without %.1f\nmedian_with %.1f\nratio %.3f\n", without, with, without > 0 ? with / without : 0);
  return with > 0 && without > 0 ? 0 : 1;
}
