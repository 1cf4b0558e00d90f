// In-process figures of the core, against the recording fake platform:
//
//   corebench decode SPLASH.png    the splash decoded and prepared for painting, beside bare
//                                  libpng on the same bytes and on the same pixels written
//                                  with libpng's default settings, and the floors (memcpy of
//                                  the pixels, raw inflate of the IDAT stream); the pixel
//                                  buffers the prepared picture holds
//   corebench points SPLASH.png    three opaque, distinctive pixels of the picture's visible
//                                  part, as X,Y,R,G,B for the start-up probe
//   corebench commands             LaunchCommand + ReturnCommand on the built main window
//
// Output: "figure NAME MEDIAN MIN MAX" lines (ms, or µs for commands) and "value NAME N" lines.
#include <malloc.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "commands/playback_commands.h"
#include "controls/picture.h"
#include "fake_platform.h"
#include "shell/main_window_description.h"
#include "shell/shell.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kWarmUp = 3;
constexpr int kRuns = 50;

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "corebench: %s\n", why.c_str());
  std::exit(2);
}

Bytes ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail(std::string("cannot read ") + path);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Median, min and max of `runs` timings of `body` after a warm-up, in `unit` seconds.
void Figure(const char* name, int runs, double unit, const std::function<void()>& body) {
  for (int i = 0; i < kWarmUp; ++i) body();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto from = Clock::now();
    body();
    times.push_back(std::chrono::duration<double>(Clock::now() - from).count() / unit);
  }
  std::sort(times.begin(), times.end());
  std::printf("figure %s %.4f %.4f %.4f\n", name, times[times.size() / 2], times.front(),
              times.back());
  std::fflush(stdout);
}

struct Decoded {
  png_uint_32 width = 0, height = 0;
  Bytes pixels;
};

Decoded BareDecode(const Bytes& png, png_uint_32 format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) Fail("not a PNG");
  image.format = format;
  Decoded out{image.width, image.height, {}};
  out.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.pixels.data(), 0, nullptr))
    Fail(std::string("libpng: ") + image.message);
  return out;
}

// Decodes into memory that is not touched beforehand, as the program's own buffer is not.
void BareDecodeFresh(const Bytes& png, png_uint_32 format) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) Fail("not a PNG");
  image.format = format;
  auto* pixels = new std::uint8_t[PNG_IMAGE_SIZE(image)];
  if (!png_image_finish_read(&image, nullptr, pixels, 0, nullptr)) Fail("libpng failed");
  delete[] pixels;
}

Bytes EncodeWithDefaults(const Decoded& rgba) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = rgba.width;
  image.height = rgba.height;
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.pixels.data(), 0, nullptr))
    Fail("cannot size the re-encoding");
  Bytes out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, rgba.pixels.data(), 0, nullptr))
    Fail("cannot re-encode");
  out.resize(size);
  return out;
}

Bytes IdatStream(const Bytes& png) {
  Bytes idat;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::uint32_t length = std::uint32_t(png[at]) << 24 | std::uint32_t(png[at + 1]) << 16 |
                                 std::uint32_t(png[at + 2]) << 8 | png[at + 3];
    if (std::memcmp(&png[at + 4], "IDAT", 4) == 0)
      idat.insert(idat.end(), png.begin() + long(at + 8), png.begin() + long(at + 8 + length));
    at += 12 + length;
  }
  return idat;
}

std::size_t Inflate(const Bytes& stream, Bytes& out) {
  uLongf size = out.size();
  if (uncompress(out.data(), &size, stream.data(), stream.size()) != Z_OK) Fail("inflate failed");
  return size;
}

std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

int Decode(const char* path) {
  using namespace quorvel;
  const Bytes splash = ReadFile(path);
  const Decoded rgba = BareDecode(splash, PNG_FORMAT_RGBA);
  const Bytes defaults = EncodeWithDefaults(rgba);
  const Bytes idat = IdatStream(splash);
  const std::size_t raw = std::size_t(rgba.height) * (1 + 4 * std::size_t(rgba.width));
  Bytes inflated(raw);
  if (Inflate(idat, inflated) != raw) Fail("IDAT holds the wrong amount of data");
  int filters[5] = {};
  for (std::size_t row = 0; row < rgba.height; ++row) {
    const std::uint8_t filter = inflated[row * (1 + 4 * std::size_t(rgba.width))];
    if (filter < 5) ++filters[filter];
  }
  std::printf("value picture_bytes %zu\n", rgba.pixels.size());
  std::printf("value splash_file_bytes %zu\n", splash.size());
  std::printf("value default_file_bytes %zu\n", defaults.size());
  std::printf("value splash_rows_by_filter none=%d,sub=%d,up=%d,average=%d,paeth=%d\n", filters[0],
              filters[1], filters[2], filters[3], filters[4]);

  const std::span<const std::uint8_t> bytes(splash);
  const Colour face{0xF0, 0xF0, 0xF0};

  // What the prepared picture keeps: buffers from AllocatePixels and heap bytes in all.
  const std::size_t before = HeapInUse();
  platform::PixelBuffer held = controls::PreparePicture(bytes, face);
  if (held.pixels == nullptr) Fail("the core cannot decode the splash");
  std::printf("value pixel_buffers_held %d\n", fake::Fake().livePixelBuffers);
  std::printf("value heap_bytes_held %zu\n", HeapInUse() - before);
  platform::ReleasePixels(held);

  Figure("decode_ours", kRuns, 1e-3, [&] {
    platform::PixelBuffer picture = controls::PreparePicture(bytes, face);
    platform::ReleasePixels(picture);
  });
  Figure("decode_libpng_same_bytes", kRuns, 1e-3,
         [&] { BareDecodeFresh(splash, PNG_FORMAT_BGRA); });
  Figure("decode_libpng_default_encoding", kRuns, 1e-3,
         [&] { BareDecodeFresh(defaults, PNG_FORMAT_BGRA); });
  Bytes target(rgba.pixels.size());
  Figure("memcpy_pixels", kRuns, 1e-3, [&] {
    std::memcpy(target.data(), rgba.pixels.data(), rgba.pixels.size());
    asm volatile("" ::"r"(target.data()) : "memory");
  });
  Figure("inflate_idat", kRuns, 1e-3, [&] { Inflate(idat, inflated); });
  return 0;
}

int Points(const char* path) {
  const Decoded rgba = BareDecode(ReadFile(path), PNG_FORMAT_RGBA);
  // Inside the box's visible part (632 rows of it), away from its edges.
  const int width = int(rgba.width), height = std::min<int>(int(rgba.height), 632);
  const int wanted[3][2] = {{width / 4, height / 3}, {width / 2, height / 2},
                            {3 * width / 4, 2 * height / 3}};
  auto distinctive = [](const std::uint8_t* p) {
    auto far = [&](int r, int g, int b) {
      return std::abs(p[0] - r) + std::abs(p[1] - g) + std::abs(p[2] - b) > 60;
    };
    return p[3] == 255 && far(0, 128, 128) && far(255, 255, 255) && far(240, 240, 240) &&
           far(0, 0, 0);
  };
  for (const auto& want : wanted) {
    bool found = false;
    for (int dy = 0; dy < 60 && !found; ++dy) {
      for (int dx = 0; dx < 200 && !found; ++dx) {
        const int x = want[0] + dx, y = want[1] + dy;
        if (x >= width || y >= height) continue;
        const std::uint8_t* p = &rgba.pixels[(std::size_t(y) * rgba.width + std::size_t(x)) * 4];
        if (!distinctive(p)) continue;
        std::printf("%d,%d,%d,%d,%d\n", x, y, p[0], p[1], p[2]);
        found = true;
      }
    }
    if (!found) Fail("no distinctive pixel near the wanted place");
  }
  return 0;
}

int Commands() {
  using namespace quorvel;
  shell::InitShell();
  shell::LoadWindow(MainWindow);
  auto& fake = fake::Fake();
  if (fake.navigations.size() != 0) Fail("the start navigated");
  constexpr int kPairs = 1000;
  // One sample is the mean of a batch of pairs; the fake's records are cleared between them.
  for (int i = 0; i < kWarmUp; ++i) {
    commands::LaunchCommand();
    commands::ReturnCommand();
  }
  std::vector<double> samples;
  for (int run = 0; run < kRuns; ++run) {
    fake.calls.clear();
    fake.navigations.clear();
    fake.liveBlocksAtNavigation.clear();
    fake.calls.reserve(4 * kPairs + 16);
    fake.navigations.reserve(2 * kPairs);
    fake.liveBlocksAtNavigation.reserve(2 * kPairs);
    const auto from = Clock::now();
    for (int i = 0; i < kPairs; ++i) {
      commands::LaunchCommand();
      commands::ReturnCommand();
    }
    samples.push_back(std::chrono::duration<double>(Clock::now() - from).count() * 1e6 / kPairs);
  }
  if (fake.navigations.size() != 2 * kPairs || !fake.liveBlocks.empty())
    Fail("the commands did not do their work");
  std::sort(samples.begin(), samples.end());
  std::printf("figure command_pair_us %.4f %.4f %.4f\n", samples[samples.size() / 2],
              samples.front(), samples.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "decode" && argc == 3) return Decode(argv[2]);
  if (mode == "points" && argc == 3) return Points(argv[2]);
  if (mode == "commands") return Commands();
  std::fprintf(stderr, "usage: corebench decode|points SPLASH.png | corebench commands\n");
  return 2;
}
