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
  bool tooManyScans = false;  // why the last jump came, when it was the scan limit
};

void OnJpegError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1); }
void OnJpegMessage(j_common_ptr) {}  // warnings are not shown anywhere

// What the decoder itself may allocate (progressive coefficient buffers).
constexpr long kDecoderMemory = 256L * 1024 * 1024;
// A progressive stream may hold any number of tiny scans, each of which
// walks the whole coefficient buffer: a few hundred bytes could then cost
// minutes. Real encoders write at most a dozen or so.
constexpr int kMaxScans = 100;

void OnJpegProgress(j_common_ptr info) {
  if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) {
    reinterpret_cast<ErrorTrap*>(info->err)->tooManyScans = true;
    OnJpegError(info);
  }
}

struct Decoder {
  ErrorTrap trap;
  jpeg_progress_mgr progress{};
  jpeg_decompress_struct info;
  std::vector<uint8_t> row;  // one decoded row
  bool created = false;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

constexpr int kRowChannels = 4;  // R, G, B and one unused byte

// What receives the decoded rows: each row in turn, in order.
using RowSink = void (*)(void* context, int y, const uint8_t* rgbx);

SpriteLoadError DecodeRows(Decoder& d, std::span<const uint8_t> stream, int width, int height, RowSink sink,
                           void* context) {
  d.info.err = jpeg_std_error(&d.trap.manager);
  d.trap.manager.error_exit = OnJpegError;
  d.trap.manager.output_message = OnJpegMessage;
  if (setjmp(d.trap.jump)) {
    return d.trap.tooManyScans ? SpriteLoadError::kJpegTooManyScans : SpriteLoadError::kJpegUndecodable;
  }
  jpeg_create_decompress(&d.info);
  d.created = true;
  d.info.mem->max_memory_to_use = kDecoderMemory;
  d.progress.progress_monitor = OnJpegProgress;
  d.info.progress = &d.progress;
  jpeg_mem_src(&d.info, stream.data(), static_cast<unsigned long>(stream.size()));
  if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return SpriteLoadError::kJpegUndecodable;
  if (static_cast<int64_t>(d.info.image_width) != width || static_cast<int64_t>(d.info.image_height) != height)
    return SpriteLoadError::kJpegSizeMismatch;
  // Four bytes a pixel: libjpeg-turbo converts to them as fast as to three,
  // and our conversion to 555 then runs as whole vectors. A greyscale image
  // gives R = G = B.
  d.info.out_color_space = JCS_EXT_RGBX;
  jpeg_start_decompress(&d.info);
  if (d.info.output_components != kRowChannels) return SpriteLoadError::kJpegUndecodable;
  if (static_cast<int>(d.info.output_width) != width || static_cast<int>(d.info.output_height) != height)
    return SpriteLoadError::kJpegSizeMismatch;
  // One row at a time through a buffer that stays in cache.
  d.row.resize(static_cast<size_t>(width) * kRowChannels);
  JSAMPROW row = d.row.data();
  while (d.info.output_scanline < d.info.output_height) {
    const int y = static_cast<int>(d.info.output_scanline);
    if (jpeg_read_scanlines(&d.info, &row, 1) != 1) return SpriteLoadError::kJpegUndecodable;
    sink(context, y, row);
  }
  jpeg_finish_decompress(&d.info);
  return SpriteLoadError::kNone;
}

struct RowTarget {
  int width;
  uint8_t* rgb;      // the whole image, when the rows are kept for dithering
  uint16_t* pixels;  // 555 output, when the rows are converted as they come
};

void KeepRow(void* context, int y, const uint8_t* rgbx) {
  const auto& t = *static_cast<RowTarget*>(context);
  uint8_t* out = t.rgb + static_cast<size_t>(y) * t.width * 3;
  for (int x = 0; x < t.width; ++x, rgbx += kRowChannels, out += 3) std::copy_n(rgbx, 3, out);
}

void ConvertRow(void* context, int y, const uint8_t* rgbx) {
  const auto& t = *static_cast<RowTarget*>(context);
  uint16_t* out = t.pixels + static_cast<size_t>(y) * t.width;
  for (int x = 0; x < t.width; ++x, rgbx += kRowChannels) out[x] = Rgb555(rgbx[0], rgbx[1], rgbx[2]);
}

// Adds up to `amount` to a channel, saturating at 255; returns what was added.
int AddSaturating(uint8_t& channel, int amount) {
  const int added = std::min(amount, 255 - channel);
  channel = static_cast<uint8_t>(channel + added);
  return added;
}

}  // namespace

SpriteLoadError DecodeJpegSprite(std::span<const uint8_t> stream, int width, int height, bool dither,
                                 std::vector<uint16_t>& out) {
  if (width <= 0 || height <= 0 || stream.empty()) return SpriteLoadError::kJpegNoPixels;
  // No ratio of image to stream size is asked for: arithmetic coding packs a
  // flat megapixel into a few hundred bytes. The pixel cap here and the
  // scan cap bound the work instead.
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3;
  if (bytes / 3 > kMaxDecodedPixels) return SpriteLoadError::kJpegSpriteTooLarge;
  auto decoder = std::make_unique<Decoder>();
  RowTarget target{width, nullptr, nullptr};
  if (dither) {
    // Error diffusion reaches into the next row: keep the whole image.
    std::vector<uint8_t> rgb(bytes);
    target.rgb = rgb.data();
    const SpriteLoadError refused = DecodeRows(*decoder, stream, width, height, KeepRow, &target);
    if (refused != SpriteLoadError::kNone) return refused;
    out = DitherRgbTo555(rgb, width, height, ChooseDitherNeighbour());
    return SpriteLoadError::kNone;
  }
  std::vector<uint16_t> pixels(static_cast<size_t>(width) * height);
  target.pixels = pixels.data();
  const SpriteLoadError refused = DecodeRows(*decoder, stream, width, height, ConvertRow, &target);
  if (refused != SpriteLoadError::kNone) return refused;
  out = std::move(pixels);
  return SpriteLoadError::kNone;
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
  const ptrdiff_t below = static_cast<ptrdiff_t>(width) * 3;
  // Offsets of the neighbours in bytes: below-left, below, below-right, right.
  const ptrdiff_t offsets[4] = {below - 3, below, below + 3, 3};
  const ptrdiff_t chosen = offsets[neighbour & 3];
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgb.data() + static_cast<size_t>(y) * below;
    uint16_t* outRow = out.data() + static_cast<size_t>(y) * width;
    const bool spreads = y + 1 < height;
    for (int x = 0; x < width; ++x) {
      uint8_t* pixel = row + static_cast<ptrdiff_t>(x) * 3;
      // A share of zero adds nothing, so nothing here branches on the
      // residue; only the columns at the edges take other paths.
      for (int c = 0; c < 3 && spreads; ++c) {
        uint8_t* channel = pixel + c;
        const int residue = *channel & 7;
        if (x > 0 && x < width - 1) {
          int spread = AddSaturating(channel[below - 3], residue / 3);
          spread += AddSaturating(channel[below], residue / 3);
          AddSaturating(channel[chosen], residue - spread);
        } else if (x == 0 && width > 1) {
          int spread = AddSaturating(channel[3], residue / 3);
          spread += AddSaturating(channel[below], residue / 3);
          AddSaturating(channel[below + 3], residue - spread);
        } else {  // the last column (also the only one)
          const int spread = AddSaturating(channel[below], residue / 2);
          if (x > 0) AddSaturating(channel[below - 3], residue - spread);
        }
      }
      outRow[x] = static_cast<uint16_t>(0x8000 | ((pixel[0] >> 3) << 10) | ((pixel[1] >> 3) << 5) | (pixel[2] >> 3));
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
