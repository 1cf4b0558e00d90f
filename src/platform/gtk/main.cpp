// Process entry: only the toolkit's own setup, then the core runs the program's whole life.
#include <gtk/gtk.h>

#include "platform/gtk/common.h"
#include "shell/native_events.h"

int main(int, char**) {
  // The window is placed at the position the core computes, which only X11 lets a program do.
  gdk_set_allowed_backends("x11");
  g_set_prgname("quorvel");
  // The command line is not read: GTK is not handed argv either.
  quorvel::platform::gtk::SetToolkitReady(gtk_init_check(nullptr, nullptr));
  return quorvel::shell::RunProgram();
}
