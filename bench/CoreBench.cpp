// The start-up and install-time work against bare floors in the same run:
// a whole window paint, a JPEG sprite's decode against libjpeg-turbo's own,
// restoring 10,000 file times against a bare stat/utimensat loop, and the
// configuration parser over growing inputs (complexity fitted).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "SelectLanguage/ListFile.h"
#include "net/GameSettings.h"
#include "resources/ProgramResources.h"
#include "sprite/SpriteDraw.h"
#include "sprite/SpriteJpeg.h"
#include "sprite/SpritePage.h"
#include "sprite/SpriteSet.h"
#include "widgets/SpriteButton.h"

namespace fs = std::filesystem;

namespace {

struct NoOwner : ButtonOwner {
  bool IsLiveWindow() const override { return true; }
  void PostCommand(uint32_t) override {}
  void SendCommand(uint32_t) override {}
};

// The window's paint: background, both buttons, then the page converted to
// the window's 32-bit pixels as the GTK host does in CopyToWindow.
void BM_WholePaint(benchmark::State& state) {
  xSprite set;
  if (!set.LoadFromMemory(FindProgramResource(u"MTO", kResourceSpriteFile))) return state.SkipWithError("no artwork");
  SpritePage page;
  page.Create(set.GetWidth(0) + 10, set.GetHeight(0) + 10, 16);
  NoOwner owner;
  SpriteButton install, close;
  install.Create(&owner, &page, 121, 109, &set, 1, 2030, 4);
  close.Create(&owner, &page, 219, 109, &set, 5, 2031, 4);
  std::vector<uint32_t> window(static_cast<size_t>(page.Width()) * page.Height());
  for (auto _ : state) {
    PutSprAuto(page, 0, 0, &set, 0, 0, 0, 0);
    install.Draw(0, 0);
    close.Draw(0, 0);
    const uint16_t* pixels = page.Pixels();
    for (int y = 0; y < page.Height(); ++y) {
      const uint16_t* src = pixels + static_cast<size_t>(y) * page.Pitch();
      uint32_t* row = window.data() + static_cast<size_t>(y) * page.Width();
      for (int x = 0; x < page.Width(); ++x) {
        const uint32_t v = src[x];
        const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
        row[x] = ((r << 3 | r >> 2) << 16) | ((g << 3 | g >> 2) << 8) | (b << 3 | b >> 2);
      }
    }
    benchmark::DoNotOptimize(window.data());
    benchmark::ClobberMemory();
  }
  // Share of one 2 s timer period, in percent: 100 * t / 2 s.
  state.counters["period_pct"] = benchmark::Counter(static_cast<double>(state.iterations()) * 100.0 / 2.0,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_WholePaint);

// A photographic 320 x 160 image as the artwork generator would store it.
const std::vector<uint8_t>& JpegStream() {
  static const std::vector<uint8_t> stream = [] {
    constexpr int w = 320, h = 160;
    std::vector<uint8_t> rgb(w * h * 3);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &rgb[(y * w + x) * 3];
        p[0] = static_cast<uint8_t>(x * 255 / w);
        p[1] = static_cast<uint8_t>(y * 255 / h);
        p[2] = static_cast<uint8_t>((x * y + (x ^ y) * 7) & 0xFF);
      }
    std::vector<uint8_t> out;
    EncodeJpegRgb(rgb, w, h, 90, out);
    return out;
  }();
  return stream;
}

void BM_JpegSpriteDecode(benchmark::State& state) {
  std::vector<uint16_t> out;
  for (auto _ : state) {
    if (DecodeJpegSprite(JpegStream(), 320, 160, state.range(0) != 0, out) != SpriteLoadError::kNone) {
      return state.SkipWithError("decode");
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * JpegStream().size()));
}
BENCHMARK(BM_JpegSpriteDecode)->Arg(0)->Arg(1);

// libjpeg-turbo's own decode of the same stream to RGB rows: the floor.
void BM_LibjpegDecode(benchmark::State& state) {
  std::vector<uint8_t> rgb(320 * 160 * 3);
  for (auto _ : state) {
    jpeg_decompress_struct info;
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, JpegStream().data(), JpegStream().size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = rgb.data() + info.output_scanline * 320 * 3;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * JpegStream().size()));
}
BENCHMARK(BM_LibjpegDecode);

// 10,000 installed files, a list file that records them a whole number of
// minutes earlier than they were written, and the registry values that lead
// to it. Each iteration resets every file; the rewind to the later time runs
// outside the timing.
class ListFixture {
 public:
  static constexpr int kFiles = 10000;
  static constexpr int64_t kRecorded = 1600000000;

  ListFixture() : root_(fs::temp_directory_path() / ("zk_bench_list_" + std::to_string(::getpid()))) {
    fs::create_directories(root_ / "game" / "data");
    std::string list;
    for (int i = 0; i < kFiles; ++i) {
      const std::string name = "data/f" + std::to_string(i) + ".bin";
      paths_.push_back((root_ / "game" / name).string());
      std::fclose(std::fopen(paths_.back().c_str(), "w"));
      list += std::to_string(kRecorded) + " 1 \\data\\f" + std::to_string(i) + ".bin\r\n";
    }
    Write(root_ / "game" / "list.lst", list);
    const fs::path reg = root_ / "registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "ZKBench";
    fs::create_directories(reg);
    Write(reg / "Path", root_.string());
    Write(reg / "localfolder", "game");
    ::setenv("ZK_REGISTRY_ROOT", (root_ / "registry").c_str(), 1);
    std::memset(&settings_, 0, sizeof settings_);
    Copy(u"list.lst", settings_.fNameLst);
    Copy(u"SOFTWARE\\ZKBench", settings_.rPathRoot);
    Copy(u"SOFTWARE\\ZKBench", settings_.rPathGame);
    Rewind();
  }
  ~ListFixture() { fs::remove_all(root_); }

  void Rewind() {
    for (const auto& p : paths_) SetTime(p, kRecorded + 120);
  }
  static void SetTime(const std::string& path, int64_t t) {
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = t;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
  bool AllRestored() const {
    for (const auto& p : paths_) {
      struct stat st {};
      if (::stat(p.c_str(), &st) != 0 || st.st_mtim.tv_sec != kRecorded) return false;
    }
    return true;
  }
  const GameSettings& settings() const { return settings_; }
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  static void Write(const fs::path& p, const std::string& text) {
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  template <size_t N>
  static void Copy(std::u16string_view from, char16_t (&to)[N]) {
    from.copy(to, N - 1);
  }
  fs::path root_;
  std::vector<std::string> paths_;
  GameSettings settings_{};
};

void BM_RestoreFileTimes10k(benchmark::State& state) {
  ListFixture list;
  for (auto _ : state) {
    RestoreFileTimes(list.settings());
    state.PauseTiming();
    if (!list.AllRestored()) return state.SkipWithError("times not restored");
    list.Rewind();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * ListFixture::kFiles);
}
BENCHMARK(BM_RestoreFileTimes10k)->Unit(benchmark::kMillisecond);

// The floor: stat and utimensat of the same files, nothing else.
void BM_StatUtimensat10k(benchmark::State& state) {
  ListFixture list;
  for (auto _ : state) {
    for (const auto& p : list.paths()) {
      struct stat st {};
      if (::stat(p.c_str(), &st) == 0 && st.st_mtim.tv_sec != ListFixture::kRecorded)
        ListFixture::SetTime(p, ListFixture::kRecorded);
    }
    state.PauseTiming();
    list.Rewind();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * ListFixture::kFiles);
}
BENCHMARK(BM_StatUtimensat10k)->Unit(benchmark::kMillisecond);

// A configuration of `keys` filler lines with the fifteen real keys last, so
// every key's search crosses the whole text; 1 MiB at the largest size.
std::string Configuration(int keys) {
  std::string text;
  for (int i = 0; i < keys; ++i) text += "FILLER_KEY_" + std::to_string(100000 + i) + "=some value here\r\n";
  for (const char* lang : {"ZKEN", "ZKSC", "ZKTC", "ZKRU", "ZKJP"})
    text += std::string("U_PATH_") + lang + "=http://files.example/setup/\r\n";
  for (const char* lang : {"ZKEN", "ZKSC", "ZKTC", "ZKRU", "ZKJP"})
    text += std::string("F_NAME_") + lang + "=Setup_" + lang + ".exe\r\n";
  text += "F_NAME_Lst=Game.lst\r\nF_NAME_Game=Game.exe\r\nF_NAME_Update=Update.exe\r\n";
  text += "R_PATH_Root=SOFTWARE\\ZK\r\nR_PATH_Game=SOFTWARE\\ZK\\Game\r\n";
  return text;
}

void BM_ParseGameSettings(benchmark::State& state) {
  const std::string text = Configuration(static_cast<int>(state.range(0)));
  if (text.size() > kMaxGameConfigBytes) return state.SkipWithError("over the size limit");
  GameSettings settings{};
  for (auto _ : state) {
    if (!ParseGameSettings(text, settings)) return state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&settings);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["bytes"] = static_cast<double>(text.size());
  state.SetComplexityN(state.range(0));
}
// 29,900 filler lines make about 1,046,800 bytes, just under the 1 MiB limit.
BENCHMARK(BM_ParseGameSettings)
    ->RangeMultiplier(2)
    ->Range(1 << 10, 16 << 10)
    ->Arg(29900)
    ->Complexity()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
