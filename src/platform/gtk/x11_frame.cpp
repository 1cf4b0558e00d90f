#include "platform/gtk/x11_frame.h"

#include <gdk/gdkx.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace quorvel::platform::gtk {

FrameExtents ReadFrameExtents(GdkWindow* window) {
  FrameExtents extents;
  if (window == nullptr || !GDK_IS_X11_WINDOW(window)) return extents;
  GdkDisplay* display = gdk_window_get_display(window);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display);
  const int status =
      XGetWindowProperty(GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(window),
                         gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS"), 0, 4,
                         False, XA_CARDINAL, &type, &format, &count, &after, &data);
  gdk_x11_display_error_trap_pop_ignored(display);
  if (status == Success && type == XA_CARDINAL && format == 32 && count == 4 && data != nullptr) {
    // Format 32 arrives as longs, whatever their size.
    const auto* values = reinterpret_cast<const long*>(data);
    extents = {static_cast<int>(values[0]), static_cast<int>(values[1]),
               static_cast<int>(values[2]), static_cast<int>(values[3])};
  }
  if (data != nullptr) XFree(data);
  return extents;
}

}  // namespace quorvel::platform::gtk
