#include "controls/picture.h"

#include <png.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvel::controls {
namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Owns libpng's decoder state for the length of one decode.
class SimplifiedReader {
 public:
  SimplifiedReader() {
    std::memset(&image_, 0, sizeof image_);
    image_.version = PNG_IMAGE_VERSION;
  }
  ~SimplifiedReader() { png_image_free(&image_); }
  SimplifiedReader(const SimplifiedReader&) = delete;
  SimplifiedReader& operator=(const SimplifiedReader&) = delete;

  png_image& image() { return image_; }

 private:
  png_image image_;
};

std::uint8_t Blend(std::uint8_t colour, std::uint8_t background, float alpha) {
  const float value = colour * alpha + background * (1.0f - alpha);
  const int truncated = static_cast<int>(value);
  return static_cast<std::uint8_t>(std::clamp(truncated, 0, 255));
}

}  // namespace

platform::PixelBuffer DecodePicture(std::span<const std::uint8_t> png) {
  if (png.size() < sizeof kPngSignature ||
      std::memcmp(png.data(), kPngSignature, sizeof kPngSignature) != 0)
    return {};

  SimplifiedReader reader;
  png_image& image = reader.image();
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_BGRA;

  // A header may claim any size; refuse what cannot be addressed rather than overflow.
  const std::uint64_t bytes = std::uint64_t{image.width} * image.height * 4;
  if (image.width == 0 || image.height == 0 ||
      image.width > static_cast<std::uint32_t>(std::numeric_limits<int>::max() / 4) ||
      image.height > static_cast<std::uint32_t>(std::numeric_limits<int>::max()) ||
      bytes > std::numeric_limits<std::size_t>::max() / 2)
    return {};

  platform::PixelBuffer buffer =
      platform::AllocatePixels(static_cast<int>(image.width), static_cast<int>(image.height));
  if (buffer.pixels == nullptr) return {};
  if (!png_image_finish_read(&image, nullptr, buffer.pixels, 0, nullptr)) {
    platform::ReleasePixels(buffer);
    return {};
  }
  return buffer;
}

void ComposeOverBackground(platform::PixelBuffer& picture, Colour background) {
  if (picture.pixels == nullptr) return;
  const std::size_t count = std::size_t(picture.width) * std::size_t(picture.height);
  std::uint8_t* pixel = picture.pixels;
  for (std::size_t i = 0; i < count; ++i, pixel += 4) {
    if (pixel[3] == 255) continue;
    const float alpha = pixel[3] * 0.003921569f;
    pixel[0] = Blend(pixel[0], background.blue, alpha);
    pixel[1] = Blend(pixel[1], background.green, alpha);
    pixel[2] = Blend(pixel[2], background.red, alpha);
    pixel[3] = 255;
  }
}

platform::PixelBuffer PreparePicture(std::span<const std::uint8_t> png, Colour background) {
  platform::PixelBuffer picture = DecodePicture(png);
  ComposeOverBackground(picture, background);
  return picture;
}

}  // namespace quorvel::controls
