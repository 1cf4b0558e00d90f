// Writing 16-colour Windows icon files: BMP (DIB) images inside an ICO container.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace quorvel::icon {

struct PaletteColor {
  std::uint8_t r, g, b;
};
using Palette = std::array<PaletteColor, 16>;

// One square image of the icon. A pixel is a palette index 0..15, or kTransparent;
// rows run top to bottom here and are stored bottom-up in the file.
struct IconImage {
  static constexpr std::uint8_t kTransparent = 0xFF;
  int size = 0;
  std::vector<std::uint8_t> pixels;  // size * size entries
};

// The .ico bytes: an ICONDIR, one ICONDIRENTRY per image and, for each image, a
// BITMAPINFOHEADER (height doubled for the mask), the palette, the 4-bit colour bitmap and
// the 1-bit transparency mask. Throws std::invalid_argument on an image it cannot store.
std::vector<std::uint8_t> EncodeIco(const Palette& palette, const std::vector<IconImage>& images);

}  // namespace quorvel::icon
