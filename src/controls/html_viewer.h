// The web view kind.
#pragma once

#include "shell/types.h"

namespace quorvel::controls {

inline constexpr int kFontSizeSmallest = 0;
inline constexpr int kFontSizeMedium = 2;  // 中等
inline constexpr int kFontSizeLargest = 4;

struct HtmlViewerSettings {
  int fontSize = kFontSizeMedium;  // 字体大小
  bool offline = false;            // 离线浏览
  bool silent = false;             // 静默
  const char* url = "";            // 地址
};

// Stores a copy of `address` (none counts as empty) as the view's 地址 and navigates there.
void SetHtmlAddress(ControlIdentity view, const char* address);

}  // namespace quorvel::controls
