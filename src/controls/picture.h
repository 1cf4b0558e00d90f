// Decoding a PNG into the picture box's pixels and composing it over a background.
#pragma once

#include <cstdint>
#include <span>

#include "platform/platform.h"
#include "shell/types.h"

namespace quorvel::controls {

// Decodes with libpng's simplified reader into one buffer from platform::AllocatePixels:
// 8-bit BGRA, straight alpha, rows top-down. An empty buffer (pixels == nullptr) when the
// bytes are not a PNG, are damaged, or no memory can be had.
platform::PixelBuffer DecodePicture(std::span<const std::uint8_t> png);

// Blends every pixel that is not fully opaque with the background, in place; the result is
// opaque, so nothing beneath the box can show through it.
void ComposeOverBackground(platform::PixelBuffer& picture, Colour background);

// Decoded and composed once, ready to paint at natural size.
platform::PixelBuffer PreparePicture(std::span<const std::uint8_t> png, Colour background);

}  // namespace quorvel::controls
