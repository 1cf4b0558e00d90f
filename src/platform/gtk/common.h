// What the parts of the GTK layer share: handle conversion, the guard at every callback GTK
// calls us through, and the records kept on our widgets.
#pragma once

#include <gtk/gtk.h>

#include <vector>

#include "platform/gtk/x11_frame.h"
#include "platform/platform.h"

namespace quorvel::platform::gtk {

// Runs `body` and swallows any exception, so none crosses a GTK callback into C frames.
template <class Result, class Body>
Result Guarded(Result fallback, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}
template <class Body>
void Guarded(Body&& body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

// Set by main once gtk_init_check has answered; InitOle reports it to the core.
void SetToolkitReady(bool ready);
bool ToolkitReady();

// A top-level window of ours: the GtkWindow, the GtkLayout that holds the controls at fixed
// places (and cuts them off at the content edge), and the outer frame the core asked for.
struct TopWindow {
  GtkWidget* window = nullptr;
  GtkWidget* layout = nullptr;
  Rect frame{};
  Colour background{};
  FrameExtents extents;           // the window manager's frame, as last reported
  std::vector<GtkWidget*> stack;  // control wrappers, topmost first
  bool destroyed = false;
};
TopWindow* TopOf(GtkWidget* widget);  // the record of a GtkWindow of ours, else nullptr

// Every control is a wrapper with its own GdkWindow (so stacking works for all kinds alike),
// holding the toolkit widget that does the work. The core's handle is the wrapper.
enum class ControlKind { EditBox, Button, PicBox, WebView };
struct ControlRecord {
  ControlKind kind;
  ControlIdentity id;
  GtkWidget* wrapper = nullptr;
  GtkWidget* inner = nullptr;  // the entry, button or web view; the wrapper itself for a picture
  Handle parent = nullptr;
};
ControlRecord* ControlOf(GtkWidget* widget);  // the record of a wrapper, else nullptr

// Makes the wrapper for `inner` (nullptr: the wrapper paints itself) and puts it, hidden, at
// `place` in the parent window's layout. The wrapper owns the returned record.
ControlRecord* MakeControl(ControlKind kind, Handle parent, ControlIdentity id, Rect place,
                           ControlStyle style, GtkWidget* inner);

inline GtkWidget* AsWidget(Handle handle) {
  return reinterpret_cast<GtkWidget*>(handle);
}
inline Handle AsHandle(GtkWidget* widget) {
  return reinterpret_cast<Handle>(widget);
}

// The page inside a web view counts as a window of its own below the engine's widget, so the
// core can tell "focus on the view" (Tab leaves) from "focus inside the page" (Tab stays).
// A click into the page puts the focus there; the core giving the view the focus takes it
// back to the view itself.
Handle PageHandle(GtkWidget* view);    // nullptr when `view` is no web view of ours
GtkWidget* ViewOfPage(Handle handle);  // the WebKitWebView for a page handle, else nullptr
bool PageHoldsFocus(GtkWidget* view);
void SetPageHoldsFocus(GtkWidget* view, bool holds);

}  // namespace quorvel::platform::gtk
