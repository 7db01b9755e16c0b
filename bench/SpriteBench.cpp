// The window's hot paths against their bare-copy floors: drawing the
// background onto the page (vs memcpy of the same bytes), loading the
// embedded sprite file (vs copying or reading its bytes), and the smooth
// resize of the 2x page to a scale between (vs copying the page).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "resources/ProgramResources.h"
#include "sprite/PageScale.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"

namespace {

std::span<const uint8_t> Artwork() { return FindProgramResource(u"MTO", kResourceSpriteFile); }
constexpr size_t kBackgroundBytes = 320 * 160 * 2;

void BM_PutSprAutoBackground(benchmark::State& state) {
  xSprite set;
  if (!set.LoadFromMemory(Artwork())) return state.SkipWithError("no artwork");
  SpritePage page;
  page.Create(330, 170, 16);
  for (auto _ : state) {
    benchmark::DoNotOptimize(PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBackgroundBytes));
}
BENCHMARK(BM_PutSprAutoBackground);

void BM_MemcpyBackground(benchmark::State& state) {
  std::vector<uint8_t> source(kBackgroundBytes, 0x5A), target(330 * 170 * 2);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), kBackgroundBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBackgroundBytes));
}
BENCHMARK(BM_MemcpyBackground);

// The floor of any row-by-row blit: the same rows copied onto a page like the
// blit's, allocated the same way, from where the encoding keeps them.
void BM_MemcpyBackgroundRows(benchmark::State& state) {
  xSprite set;
  if (!set.LoadFromMemory(Artwork())) return state.SkipWithError("no artwork");
  const SpriteEntry& e = *set.Entry(0);
  SpritePage page;
  page.Create(330, 170, 16);
  uint16_t* const pixels = page.Pixels();
  // A length the compiler cannot see, as in the blit: with a constant one it
  // inlines a string move that is much slower here than the library's copy.
  volatile size_t hiddenRowBytes = 640;
  const size_t rowBytes = hiddenRowBytes;
  for (auto _ : state) {
    for (size_t row = 0; row < 160; ++row)
      std::memcpy(pixels + row * page.Pitch(), e.pixels.data() + 320 + row * 323 + 3, rowBytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBackgroundBytes));
}
BENCHMARK(BM_MemcpyBackgroundRows);

// The 2x page (660 x 340) to 150 % (495 x 255), as a paint at 144 DPI does.
constexpr int kPage2xWidth = 660, kPage2xHeight = 340;
void BM_ScalePage2xTo150(benchmark::State& state) {
  std::vector<uint16_t> page(kPage2xWidth * kPage2xHeight, 0x2A4C), out(495 * 255);
  for (auto _ : state) {
    ScalePixels555(page.data(), kPage2xWidth, kPage2xWidth, kPage2xHeight, out.data(), 495, 495, 255);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ScalePage2xTo150);

void BM_MemcpyPage2x(benchmark::State& state) {
  std::vector<uint16_t> page(kPage2xWidth * kPage2xHeight, 0x2A4C), out(page.size());
  for (auto _ : state) {
    std::memcpy(out.data(), page.data(), page.size() * 2);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyPage2x);

void BM_LoadFromMemory(benchmark::State& state) {
  const auto bytes = Artwork();
  xSprite set;
  for (auto _ : state) benchmark::DoNotOptimize(set.LoadFromMemory(bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_LoadFromMemory);

void BM_CopyEmbeddedBytes(benchmark::State& state) {
  const auto bytes = Artwork();
  for (auto _ : state) {
    std::vector<uint8_t> copy(bytes.begin(), bytes.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CopyEmbeddedBytes);

// The installer's own route: the embedded bytes written to a file and loaded.
std::string ArtworkFile() {
  static const std::string path = [] {
    const auto p = (std::filesystem::temp_directory_path() / "zk_bench_artwork.mto").string();
    const auto bytes = Artwork();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(p.c_str(), "wb"), std::fclose);
    if (f) std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    return p;
  }();
  return path;
}

void BM_LoadFile(benchmark::State& state) {
  const std::string path = ArtworkFile();
  xSprite set;
  for (auto _ : state) benchmark::DoNotOptimize(set.Load(path.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Artwork().size()));
}
BENCHMARK(BM_LoadFile);

void BM_ReadFile(benchmark::State& state) {
  const std::string path = ArtworkFile();
  for (auto _ : state) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    std::vector<uint8_t> bytes(Artwork().size());
    benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Artwork().size()));
}
BENCHMARK(BM_ReadFile);

}  // namespace

BENCHMARK_MAIN();
