// Building a window from its stored description.
#pragma once

#include "shell/types.h"
#include "shell/window_description.h"

namespace quorvel::shell {

// The outer frame on the screen: centred (truncating toward zero, so negative on a screen
// smaller than the window) or at the stored place.
Rect StartFrame(const WindowSettings& settings, ScreenSize screen);

// The child window identifier of the n-th control created (bottom of the stack first).
constexpr int ChildIdentifier(int creationIndex) {
  return 100 + 10 * creationIndex;
}

}  // namespace quorvel::shell
