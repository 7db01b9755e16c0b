#include "sprite/SpriteJpeg.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>

#include <jpeglib.h>

#include "sprite/PixelFormat.h"
#include "sprite/SpriteRle.h"

namespace {

// libjpeg reports fatal errors through error_exit, which must not return;
// it jumps back to the call that started the work. Everything that has to
// survive the jump lives in this heap record, reached through one pointer
// that is not changed after setjmp.
struct ErrorTrap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1); }
void OnJpegMessage(j_common_ptr) {}  // warnings are not shown anywhere

// A stream may compress well, but not endlessly: refuse images whose RGB
// rows would exceed this many bytes per stream byte before allocating them.
constexpr uint64_t kMaxExpansion = 4096;
// What the decoder itself may allocate (progressive coefficient buffers).
constexpr long kDecoderMemory = 256L * 1024 * 1024;
// A progressive stream may hold any number of tiny scans, each of which
// walks the whole coefficient buffer: a few hundred bytes could then cost
// minutes. Real encoders write at most a dozen or so.
constexpr int kMaxScans = 100;

void OnJpegProgress(j_common_ptr info) {
  if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    OnJpegError(info);
  }
}

struct Decoder {
  ErrorTrap trap;
  jpeg_progress_mgr progress{};
  jpeg_decompress_struct info;
  std::vector<uint8_t> rgb;
  bool created = false;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool DecodeRgb(Decoder& d, std::span<const uint8_t> stream, int width, int height) {
  d.info.err = jpeg_std_error(&d.trap.manager);
  d.trap.manager.error_exit = OnJpegError;
  d.trap.manager.output_message = OnJpegMessage;
  if (setjmp(d.trap.jump)) return false;
  jpeg_create_decompress(&d.info);
  d.created = true;
  d.info.mem->max_memory_to_use = kDecoderMemory;
  d.progress.progress_monitor = OnJpegProgress;
  d.info.progress = &d.progress;
  jpeg_mem_src(&d.info, stream.data(), static_cast<unsigned long>(stream.size()));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
  if (static_cast<int64_t>(d.info.image_width) != width || static_cast<int64_t>(d.info.image_height) != height)
    return false;
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3;
  if (bytes > stream.size() * kMaxExpansion || bytes / 3 > kMaxDecodedPixels) return false;
  d.info.out_color_space = JCS_RGB;  // a greyscale image gives R = G = B
  jpeg_start_decompress(&d.info);
  if (d.info.output_components != 3 || static_cast<int>(d.info.output_width) != width ||
      static_cast<int>(d.info.output_height) != height)
    return false;
  d.rgb.resize(bytes);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  while (d.info.output_scanline < d.info.output_height) {
    JSAMPROW row = d.rgb.data() + d.info.output_scanline * rowBytes;
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return false;
  }
  jpeg_finish_decompress(&d.info);
  return true;
}

// Adds up to `amount` to a channel, saturating at 255; returns what was added.
int AddSaturating(uint8_t& channel, int amount) {
  const int added = std::min(amount, 255 - channel);
  channel = static_cast<uint8_t>(channel + added);
  return added;
}

}  // namespace

bool DecodeJpegSprite(std::span<const uint8_t> stream, int width, int height, bool dither,
                      std::vector<uint16_t>& out) {
  if (width <= 0 || height <= 0 || stream.empty()) return false;
  auto decoder = std::make_unique<Decoder>();
  if (!DecodeRgb(*decoder, stream, width, height)) return false;
  const std::vector<uint8_t>& rgb = decoder->rgb;
  if (dither) {
    out = DitherRgbTo555(rgb, width, height, ChooseDitherNeighbour());
    return true;
  }
  std::vector<uint16_t> pixels(static_cast<size_t>(width) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = Rgb555(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
  out = std::move(pixels);
  return true;
}

int ChooseDitherNeighbour() {
  static std::mutex mutex;
  static std::minstd_rand random{std::random_device{}()};
  std::lock_guard<std::mutex> lock(mutex);
  std::array<int, 4> places = {0, 1, 2, 3};
  std::uniform_int_distribution<int> pick(0, 3);
  for (int i = 0; i < 10; ++i) std::swap(places[pick(random)], places[pick(random)]);
  return places[2];
}

std::vector<uint16_t> DitherRgbTo555(std::span<const uint8_t> source, int width, int height, int neighbour) {
  std::vector<uint8_t> rgb(source.begin(), source.end());
  std::vector<uint16_t> out(static_cast<size_t>(width) * height);
  auto at = [&](int x, int y, int c) -> uint8_t& { return rgb[(static_cast<size_t>(y) * width + x) * 3 + c]; };
  // Neighbour offsets: below-left, below, below-right, right.
  static constexpr int kDx[4] = {-1, 0, 1, 1};
  static constexpr int kDy[4] = {1, 1, 1, 0};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const bool spreads = y + 1 < height;
      for (int c = 0; c < 3 && spreads; ++c) {
        const int residue = at(x, y, c) & 7;
        if (residue == 0) continue;
        int spread = 0;
        auto give = [&](int which, int amount) {
          const int nx = x + kDx[which], ny = y + kDy[which];
          if (nx < 0 || nx >= width || ny >= height || amount <= 0) return;
          spread += AddSaturating(at(nx, ny, c), amount);
        };
        if (x == 0 && width > 1) {
          give(3, residue / 3);
          give(1, residue / 3);
          give(2, residue - spread);
        } else if (x == width - 1) {
          give(1, residue / 2);
          give(0, residue - spread);
        } else {
          give(0, residue / 3);
          give(1, residue / 3);
          give(neighbour, residue - spread);
        }
      }
      const size_t i = static_cast<size_t>(y) * width + x;
      out[i] = static_cast<uint16_t>(0x8000 | ((at(x, y, 0) >> 3) << 10) | ((at(x, y, 1) >> 3) << 5) |
                                     (at(x, y, 2) >> 3));
    }
  }
  return out;
}

namespace {

struct Encoder {
  ErrorTrap trap;
  jpeg_compress_struct info;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  bool created = false;
  ~Encoder() {
    if (created) jpeg_destroy_compress(&info);
    std::free(buffer);  // jpeg_mem_dest allocates with malloc
  }
};

bool EncodeInto(Encoder& e, std::span<const uint8_t> rgb, int width, int height, int quality) {
  e.info.err = jpeg_std_error(&e.trap.manager);
  e.trap.manager.error_exit = OnJpegError;
  e.trap.manager.output_message = OnJpegMessage;
  if (setjmp(e.trap.jump)) return false;
  jpeg_create_compress(&e.info);
  e.created = true;
  jpeg_mem_dest(&e.info, &e.buffer, &e.size);
  e.info.image_width = static_cast<JDIMENSION>(width);
  e.info.image_height = static_cast<JDIMENSION>(height);
  e.info.input_components = 3;
  e.info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e.info);
  jpeg_set_quality(&e.info, std::clamp(quality, 0, 100), TRUE);
  jpeg_start_compress(&e.info, TRUE);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  while (e.info.next_scanline < e.info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data() + e.info.next_scanline * rowBytes);
    jpeg_write_scanlines(&e.info, &row, 1);
  }
  jpeg_finish_compress(&e.info);
  return true;
}

}  // namespace

bool EncodeJpegRgb(std::span<const uint8_t> rgb, int width, int height, int quality, std::vector<uint8_t>& out) {
  if (width <= 0 || height <= 0 || rgb.size() / 3 / static_cast<size_t>(width) < static_cast<size_t>(height))
    return false;
  auto encoder = std::make_unique<Encoder>();
  if (!EncodeInto(*encoder, rgb, width, height, quality)) return false;
  out.assign(encoder->buffer, encoder->buffer + encoder->size);
  return true;
}
