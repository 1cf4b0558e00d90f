// The picture box kind.
#pragma once

#include <optional>

#include "shell/types.h"

namespace quorvel::controls {

enum class PictureSource { None, SplashPicture };

struct PicBoxSettings {
  int border = 0;                    // none: the whole box is its drawing area
  std::optional<Colour> background;  // none means the system's button-face colour
  PictureSource picture = PictureSource::None;
  int displayMode = 0;  // 0: at the top-left corner, natural size
  bool animation = true;
  const char* dataSource = "";
  const char* dataColumn = "";
};

// Shows or hides the box at once; any nonzero value shows it.
void SetPicBoxVisible(ControlIdentity box, int visible);

}  // namespace quorvel::controls
