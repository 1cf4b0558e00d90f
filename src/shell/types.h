// Plain values shared by the core and the platform layers.
#pragma once

#include <cstdint>

namespace quorvel {

struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct ScreenSize {
  int width = 0;
  int height = 0;
};

// A control is addressed by the pair (window number, control number); control number 0, or
// the window's own number, means the window itself.
struct ControlIdentity {
  std::uint32_t window = 0;
  std::uint32_t control = 0;
  friend bool operator==(const ControlIdentity&, const ControlIdentity&) = default;
};

enum class Key { Tab, Enter, Escape, F1, Space, Letter, Other };

struct KeyPress {
  Key key = Key::Other;
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

}  // namespace quorvel
