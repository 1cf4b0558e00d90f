// The floor for the Linux start-up: a bare GTK window of the program's size with the same
// plain widgets (address box, two buttons on a painted background), no web view, no picture.
#include <gtk/gtk.h>

namespace {

gboolean PaintBackground(GtkWidget*, cairo_t* cr, gpointer) {
  cairo_set_source_rgb(cr, 0, 128 / 255.0, 128 / 255.0);
  cairo_paint(cr);
  return FALSE;
}

void Put(GtkWidget* layout, GtkWidget* widget, int x, int y, int width, int height) {
  gtk_widget_set_size_request(widget, width, height);
  gtk_layout_put(GTK_LAYOUT(layout), widget, x, y);
}

}  // namespace

int main(int argc, char** argv) {
  gdk_set_allowed_backends("x11");
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Quorvel解析播放");
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_move(GTK_WINDOW(window), 50, 50);
  GtkWidget* layout = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_size_request(layout, 1507, 728);
  g_signal_connect(layout, "draw", G_CALLBACK(PaintBackground), nullptr);
  gtk_container_add(GTK_CONTAINER(window), layout);
  Put(layout, gtk_entry_new(), 0, 640, 552, 56);
  Put(layout, gtk_button_new_with_label("TV弹发射"), 576, 648, 192, 48);
  Put(layout, gtk_button_new_with_label("返回机场"), 888, 640, 176, 56);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
