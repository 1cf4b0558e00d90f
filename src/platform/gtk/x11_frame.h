// Kept apart from the rest of the layer: X11's headers define names (KeyPress, None) that
// clash with the core's.
#pragma once

#include <gdk/gdk.h>

namespace quorvel::platform::gtk {

struct FrameExtents {
  int left = 0, right = 0, top = 0, bottom = 0;
  friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

// What the window manager reports as its frame around `window` (_NET_FRAME_EXTENTS); all
// zero when there is no window manager or it reports nothing.
FrameExtents ReadFrameExtents(GdkWindow* window);

}  // namespace quorvel::platform::gtk
