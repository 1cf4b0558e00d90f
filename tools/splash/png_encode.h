// A small PNG writer for the splash picture. libpng's writer cannot give the chunk order the
// program's picture has (it puts gAMA before sRGB), so the chunks are written here directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel::splash {

enum class RowFilter : std::uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

struct EncodeOptions {
  RowFilter filter = RowFilter::kNone;  // one filter type for every row
  int zlib_level = 6;
  int zlib_strategy = 0;          // Z_DEFAULT_STRATEGY
  std::size_t idat_size = 65524;  // data bytes per IDAT chunk, the last one smaller
};

// Encodes width * height RGBA pixels (8 bits per channel, rows top to bottom) as a PNG with
// the chunks IHDR, sRGB, gAMA, pHYs, IDAT..., IEND. Throws std::runtime_error when zlib fails.
std::vector<std::uint8_t> EncodePng(const std::vector<std::uint8_t>& rgba, int width, int height,
                                    const EncodeOptions& options);

// Writes all bytes to path; false (with errno left by the C library) when any step fails.
bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace quorvel::splash
