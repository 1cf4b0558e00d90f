// The splash picture's scene: a lake among mountains with the sun low over it.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvel::splash {

constexpr int kWidth = 1393;
constexpr int kHeight = 860;
// The window cuts the picture off below this row, so the scene's interest lies above it.
constexpr int kVisibleHeight = 632;

// Renders the scene: kWidth * kHeight pixels, rows top to bottom, 4 bytes R, G, B, A per
// pixel, alpha always 255. The same bytes on every run.
std::vector<std::uint8_t> RenderScene();

}  // namespace quorvel::splash
