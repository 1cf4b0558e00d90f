#include "ico_file.h"

#include <stdexcept>

namespace quorvel::icon {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFFU);
  Put16(out, v >> 16);
}

// DIB rows are padded to whole 32-bit words.
std::size_t RowBytes(int width, int bits) {
  return (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
}

std::vector<std::uint8_t> EncodeDib(const Palette& palette, const IconImage& im) {
  const int n = im.size;
  std::vector<std::uint8_t> out;
  const std::size_t xor_row = RowBytes(n, 4), and_row = RowBytes(n, 1);
  Put32(out, 40);     // biSize
  Put32(out, n);      // biWidth
  Put32(out, 2 * n);  // biHeight: colour bitmap plus mask
  Put16(out, 1);      // biPlanes
  Put16(out, 4);      // biBitCount
  Put32(out, 0);      // biCompression: BI_RGB
  Put32(out, static_cast<std::uint32_t>((xor_row + and_row) * n));  // biSizeImage
  Put32(out, 0);                                                    // biXPelsPerMeter
  Put32(out, 0);                                                    // biYPelsPerMeter
  Put32(out, 16);                                                   // biClrUsed
  Put32(out, 0);                                                    // biClrImportant
  for (const PaletteColor& c : palette) {
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
  for (int y = n - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(xor_row, 0);
    for (int x = 0; x < n; ++x) {
      std::uint8_t p = im.pixels[static_cast<std::size_t>(y) * n + x];
      // Transparent pixels are black under a set mask bit, so they leave the screen as is.
      std::uint8_t index = p == IconImage::kTransparent ? 0 : p;
      row[x / 2] |= static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = n - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(and_row, 0);
    for (int x = 0; x < n; ++x) {
      if (im.pixels[static_cast<std::size_t>(y) * n + x] == IconImage::kTransparent) {
        row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeIco(const Palette& palette, const std::vector<IconImage>& images) {
  if (images.empty() || images.size() > 0xFFFF) throw std::invalid_argument("icon: no images");
  std::vector<std::vector<std::uint8_t>> dibs;
  for (const IconImage& im : images) {
    if (im.size < 1 || im.size > 255 ||
        im.pixels.size() != static_cast<std::size_t>(im.size) * im.size) {
      throw std::invalid_argument("icon: image size does not match its pixels");
    }
    for (std::uint8_t p : im.pixels) {
      if (p > 15 && p != IconImage::kTransparent) {
        throw std::invalid_argument("icon: pixel outside the 16-colour palette");
      }
    }
    dibs.push_back(EncodeDib(palette, im));
  }
  std::vector<std::uint8_t> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // type: icon
  Put16(out, static_cast<std::uint32_t>(images.size()));
  std::size_t offset = 6 + 16 * images.size();
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i].size));  // bWidth
    out.push_back(static_cast<std::uint8_t>(images[i].size));  // bHeight
    out.push_back(16);                                         // bColorCount
    out.push_back(0);                                          // bReserved
    Put16(out, 1);                                             // wPlanes
    Put16(out, 4);                                             // wBitCount
    Put32(out, static_cast<std::uint32_t>(dibs[i].size()));    // dwBytesInRes
    Put32(out, static_cast<std::uint32_t>(offset));            // dwImageOffset
    offset += dibs[i].size();
  }
  for (const auto& dib : dibs) out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

}  // namespace quorvel::icon
