// The push button kind.
#pragma once

#include "shell/types.h"

namespace quorvel::controls {

// The Button kind's own settings (numbers 8 to 13).
struct ButtonSettings {
  const void* picture = nullptr;  // 8: none, the caption shows
  int type = 0;                   // 9: 0 ordinary, 1 default push button
  const char* caption = "";       // 10
  int captionAcross = 1;          // 11: centred
  int captionUpDown = 1;          // 12: centred
  const void* font = nullptr;     // 13: none means the default UI font
};

inline constexpr int kDefaultPushButton = 1;

}  // namespace quorvel::controls
