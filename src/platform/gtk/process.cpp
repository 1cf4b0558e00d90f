// The process: heap, program path, the main loop, the fatal box, the embedded resources.
#include <gio/gio.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cfenv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gtk/common.h"
#include "platform/gtk/owners.h"
#include "platform/platform.h"

namespace quorvel::platform {
namespace {

bool toolkitReady = false;
bool quitRequested = false;
int quitCode = 0;

constexpr const char* kSplashResource = "/org/quorvel/splash.png";

}  // namespace

namespace gtk {
void SetToolkitReady(bool ready) {
  toolkitReady = ready;
}
bool ToolkitReady() {
  return toolkitReady;
}
}  // namespace gtk

void* HeapAllocate(std::size_t size) {
  return std::malloc(size == 0 ? 1 : size);
}
void HeapRelease(void* block) {
  std::free(block);
}

// GTK has no library to start beside the toolkit itself, which main has initialised (or not,
// when there is no display to open).
bool InitOle() {
  return toolkitReady;
}
void UninitOle() {}

std::string ProgramPath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

char PathSeparator() {
  return '/';
}

void SetCurrentFolder(const std::string& folder) {
  // Nothing to do about a folder that cannot be entered: relative paths then stay where they
  // were, as they would on any system.
  if (chdir(folder.c_str()) != 0) return;
}

void SetFpuDefault() {
  std::fesetenv(FE_DFL_ENV);
}

// Windows kept off the taskbar would be owned by this one; it is never shown.
Handle CreateOwnerWindow() {
  if (!toolkitReady) return nullptr;
  GtkWidget* owner = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(owner), TRUE);
  gtk_window_set_type_hint(GTK_WINDOW(owner), GDK_WINDOW_TYPE_HINT_UTILITY);
  return gtk::AsHandle(owner);
}

void DestroyOwnerWindow(Handle owner) {
  if (owner != nullptr) gtk_widget_destroy(gtk::AsWidget(owner));
}

void ProcessPendingMessages() {
  if (!toolkitReady) return;
  // Bounded: a source that is always ready (an animation) must not keep us here.
  for (int i = 0; i < 1000 && g_main_context_pending(nullptr); ++i)
    g_main_context_iteration(nullptr, FALSE);
}

int RunMessageLoop() {
  while (!quitRequested) g_main_context_iteration(nullptr, TRUE);
  return quitCode;
}

void PostQuit(int code) {
  quitRequested = true;
  quitCode = code;
  g_main_context_wakeup(nullptr);
}

void ShowErrorBox(const char* text, const char* title) {
  if (!toolkitReady) {
    // No display to show a box on: the text still reaches whoever started the program.
    std::fprintf(stderr, "%s\n%s\n", title, text);
    std::fflush(stderr);
    return;
  }
  GtkWidget* box = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                          GTK_BUTTONS_OK, "%s", text);
  gtk_window_set_title(GTK_WINDOW(box), title);
  // GTK's message box shows no icon of its own any more: the error icon goes beside the text.
  GtkWidget* area = gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(box));
  if (GtkWidget* row = gtk_widget_get_parent(area); row != nullptr && GTK_IS_BOX(row)) {
    GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error", GTK_ICON_SIZE_DIALOG);
    gtk_widget_set_valign(icon, GTK_ALIGN_START);
    gtk_box_pack_start(GTK_BOX(row), icon, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(row), icon, 0);
    gtk_widget_show(icon);
  }
  gtk_window_set_icon_name(GTK_WINDOW(box), "dialog-error");
  gtk_window_set_position(GTK_WINDOW(box), GTK_WIN_POS_CENTER);
  gtk_window_set_keep_above(GTK_WINDOW(box), TRUE);
  // Shown, then presented again: that asks for the input focus even without a window manager.
  gtk_widget_show(box);
  gtk_window_present(GTK_WINDOW(box));
  gtk_dialog_run(GTK_DIALOG(box));
  gtk_widget_destroy(box);
  ProcessPendingMessages();
}

void ExitProcess(int code) {
  std::fflush(nullptr);
  if (toolkitReady) {
    if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
  }
  // At once, as the name says: no destructors of statics that still refer to GTK objects.
  std::_Exit(code);
}

std::span<const std::uint8_t> SplashPictureBytes() {
  // Looked up once and kept: the span must stay valid for as long as the program runs.
  static gtk::BytesOwner bytes(
      g_resources_lookup_data(kSplashResource, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr));
  if (bytes.get() == nullptr) return {};
  gsize size = 0;
  const auto* data = static_cast<const std::uint8_t*>(g_bytes_get_data(bytes.get(), &size));
  return {data, size};
}

}  // namespace quorvel::platform
