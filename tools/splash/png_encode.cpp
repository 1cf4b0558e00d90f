#include "png_encode.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace quorvel::splash {
namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[4], const std::uint8_t* data,
              std::size_t size) {
  PutU32(out, static_cast<std::uint32_t>(size));
  std::size_t crc_start = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  uLong crc = crc32(0L, out.data() + crc_start, static_cast<uInt>(4 + size));
  PutU32(out, static_cast<std::uint32_t>(crc));
}

void PutChunk(std::vector<std::uint8_t>& out, const char type[4],
              const std::vector<std::uint8_t>& data) {
  PutChunk(out, type, data.data(), data.size());
}

std::vector<std::uint8_t> U32(std::uint32_t v) {
  std::vector<std::uint8_t> b;
  PutU32(b, v);
  return b;
}

std::uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c;
  int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  if (pb <= pc) return static_cast<std::uint8_t>(b);
  return static_cast<std::uint8_t>(c);
}

// The filtered scanlines that go into the zlib stream: a filter byte before each row.
std::vector<std::uint8_t> FilterRows(const std::vector<std::uint8_t>& rgba, int width, int height,
                                     RowFilter filter) {
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  std::vector<std::uint8_t> out;
  out.reserve((stride + 1) * height);
  const std::vector<std::uint8_t> zero(stride, 0);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = rgba.data() + stride * y;
    const std::uint8_t* prev = y > 0 ? row - stride : zero.data();
    out.push_back(static_cast<std::uint8_t>(filter));
    for (std::size_t i = 0; i < stride; ++i) {
      int a = i >= 4 ? row[i - 4] : 0;
      int b = prev[i];
      int c = i >= 4 ? prev[i - 4] : 0;
      int predicted = 0;
      switch (filter) {
        case RowFilter::kNone:
          predicted = 0;
          break;
        case RowFilter::kSub:
          predicted = a;
          break;
        case RowFilter::kUp:
          predicted = b;
          break;
        case RowFilter::kAverage:
          predicted = (a + b) / 2;
          break;
        case RowFilter::kPaeth:
          predicted = Paeth(a, b, c);
          break;
      }
      out.push_back(static_cast<std::uint8_t>(row[i] - predicted));
    }
  }
  return out;
}

std::vector<std::uint8_t> Deflate(const std::vector<std::uint8_t>& raw, int level, int strategy) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy) != Z_OK) {
    throw std::runtime_error("zlib: deflateInit2 failed");
  }
  std::vector<std::uint8_t> out(deflateBound(&zs, static_cast<uLong>(raw.size())));
  zs.next_in = const_cast<Bytef*>(raw.data());
  zs.avail_in = static_cast<uInt>(raw.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("zlib: deflate did not finish");
  return out;
}

}  // namespace

std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgba, int width, int height,
                                    const EncodeOptions& options) {
  if (width <= 0 || height <= 0 || rgba.size() != static_cast<std::size_t>(width) * height * 4 ||
      options.idat_size == 0) {
    throw std::invalid_argument("EncodePng: pixel buffer does not match the size");
  }
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

  std::vector<std::uint8_t> ihdr = U32(static_cast<std::uint32_t>(width));
  PutU32(ihdr, static_cast<std::uint32_t>(height));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, filter 0, no interlace
  PutChunk(png, "IHDR", ihdr);
  PutChunk(png, "sRGB", std::vector<std::uint8_t>{0});  // perceptual intent
  PutChunk(png, "gAMA", U32(45455));                    // 1/2.2
  std::vector<std::uint8_t> phys = U32(3779);           // 96 dpi, in pixels per metre
  PutU32(phys, 3779);
  phys.push_back(1);
  PutChunk(png, "pHYs", phys);

  std::vector<std::uint8_t> z = Deflate(FilterRows(rgba, width, height, options.filter),
                                        options.zlib_level, options.zlib_strategy);
  for (std::size_t at = 0; at < z.size(); at += options.idat_size) {
    std::size_t n = std::min(options.idat_size, z.size() - at);
    PutChunk(png, "IDAT", z.data() + at, n);
  }
  PutChunk(png, "IEND", nullptr, 0);
  return png;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  // A full disk may only show when the buffers are flushed.
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::remove(path.c_str());  // never leave a truncated picture behind
  return ok;
}

}  // namespace quorvel::splash
