// Any bytes as the splash picture: no crash, no leak, and either no picture or exactly the
// pixels libpng itself decodes, composed opaque.
#include <png.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "controls/picture.h"
#include "fake_platform.h"

namespace {

// libpng's own answer for the same bytes, or an empty vector.
std::vector<std::uint8_t> Reference(const std::uint8_t* data, std::size_t size, png_uint_32& w,
                                    png_uint_32& h) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, data, size)) return {};
  image.format = PNG_FORMAT_BGRA;
  w = image.width;
  h = image.height;
  if (PNG_IMAGE_SIZE(image) > (64u << 20)) {
    png_image_free(&image);
    return {};
  }
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvel;
  fake::ResetFake();
  // Keep the fuzzer to pictures it can afford to hold.
  if (size >= 24 && std::memcmp(data + 12, "IHDR", 4) == 0) {
    const std::uint64_t w =
        (std::uint64_t(data[16]) << 24) | (data[17] << 16) | (data[18] << 8) | data[19];
    const std::uint64_t h =
        (std::uint64_t(data[20]) << 24) | (data[21] << 16) | (data[22] << 8) | data[23];
    if (w * h > (16u << 20)) return -1;
  }

  const Colour background{12, 34, 56};
  platform::PixelBuffer picture = controls::DecodePicture({data, size});
  png_uint_32 w = 0, h = 0;
  const std::vector<std::uint8_t> expected = Reference(data, size, w, h);
  if (picture.pixels != nullptr) {
    if (expected.empty() || std::uint32_t(picture.width) != w ||
        std::uint32_t(picture.height) != h ||
        std::memcmp(picture.pixels, expected.data(), expected.size()) != 0)
      std::abort();
    controls::ComposeOverBackground(picture, background);
    for (std::size_t i = 0; i < expected.size(); i += 4) {
      if (picture.pixels[i + 3] != 255) std::abort();
      if (expected[i + 3] == 255 && std::memcmp(picture.pixels + i, &expected[i], 4) != 0)
        std::abort();
      if (expected[i + 3] == 0 &&
          (picture.pixels[i] != background.blue || picture.pixels[i + 1] != background.green ||
           picture.pixels[i + 2] != background.red))
        std::abort();
    }
  }
  platform::ReleasePixels(picture);
  if (fake::Fake().livePixelBuffers != 0) std::abort();
  return 0;
}
