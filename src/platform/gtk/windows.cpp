// Top-level windows, their frames, the stacking and visibility of controls, the keyboard focus
// and the key path: every key press reaches the core before any widget sees it.
#include <gdk/gdkkeysyms.h>
#include <gtk/gtk.h>

#include <algorithm>

#include "platform/gtk/common.h"
#include "platform/gtk/x11_frame.h"
#include "platform/platform.h"
#include "shell/native_events.h"

namespace quorvel::platform {
namespace gtk {
namespace {

constexpr const char* kTopKey = "quorvel-top";
constexpr const char* kControlKey = "quorvel-control";

std::vector<GtkWidget*> topWindows;  // ours, still alive
GtkWidget* deactivating = nullptr;   // the window being told it lost activation

void DeleteTop(gpointer record) {
  delete static_cast<TopWindow*>(record);
}
void DeleteControl(gpointer record) {
  delete static_cast<ControlRecord*>(record);
}

KeyPress Translate(const GdkEventKey* event) {
  KeyPress key;
  key.shift = (event->state & GDK_SHIFT_MASK) != 0;
  key.ctrl = (event->state & GDK_CONTROL_MASK) != 0;
  key.alt = (event->state & GDK_MOD1_MASK) != 0;
  switch (event->keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab:  // what Shift+Tab arrives as
      key.key = Key::Tab;
      break;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
      key.key = Key::Enter;
      break;
    case GDK_KEY_Escape:
      key.key = Key::Escape;
      break;
    case GDK_KEY_F1:
      key.key = Key::F1;
      break;
    case GDK_KEY_space:
    case GDK_KEY_KP_Space:
      key.key = Key::Space;
      break;
    default: {
      const guint lower = gdk_keyval_to_lower(event->keyval);
      key.key = lower >= GDK_KEY_a && lower <= GDK_KEY_z ? Key::Letter : Key::Other;
    }
  }
  return key;
}

GtkWidget* ActiveTop() {
  if (deactivating != nullptr) return deactivating;
  for (GtkWidget* window : topWindows)
    if (gtk_window_is_active(GTK_WINDOW(window))) return window;
  return nullptr;
}

// Runs before the window's own handler and before any widget: the core decides first. What
// it passes on goes to the focused widget only; GTK's window-level handling (its focus chain,
// mnemonics, accelerators, default activation) is never run, since here the core decides all
// of that.
gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer) {
  return Guarded(TRUE, [&] {
    GtkWindow* window = GTK_WINDOW(widget);
    const KeyPress key = Translate(event);
    Handle target = FocusedWindow();
    if (target == nullptr) target = AsHandle(widget);
    if (shell::OfferKey(target, key)) return TRUE;
    GtkWidget* focus = gtk_window_get_focus(window);
    const bool onButton = focus != nullptr && GTK_IS_BUTTON(focus);
    // A push button is clicked by Space and the mouse; GTK's would also take Enter.
    if (key.key == Key::Enter && onButton) return TRUE;
    if (gtk_window_propagate_key_event(window, event)) return TRUE;
    // GTK binds Space on the focused button at window level; that much of it is kept.
    if (key.key == Key::Space && onButton && !key.ctrl && !key.alt) gtk_widget_activate(focus);
    return TRUE;
  });
}

gboolean OnDelete(GtkWidget* widget, GdkEvent*, gpointer) {
  Guarded([&] { shell::RequestClose(AsHandle(widget)); });
  return TRUE;  // the core destroys the window itself when it agrees
}

void OnDestroy(GtkWidget* widget, gpointer) {
  Guarded([&] {
    if (TopWindow* top = TopOf(widget)) {
      if (top->destroyed) return;
      top->destroyed = true;
    }
    topWindows.erase(std::remove(topWindows.begin(), topWindows.end(), widget), topWindows.end());
    shell::OnWindowDestroying(AsHandle(widget));
  });
}

void OnActiveChanged(GObject* object, GParamSpec*, gpointer) {
  Guarded([&] {
    GtkWidget* widget = GTK_WIDGET(object);
    if (TopWindow* top = TopOf(widget); top == nullptr || top->destroyed) return;
    if (gtk_window_is_active(GTK_WINDOW(widget))) {
      shell::OnWindowActivated(AsHandle(widget));
    } else {
      // GTK keeps the focus widget of an inactive window, so the core still finds it here.
      deactivating = widget;
      shell::OnWindowDeactivated(AsHandle(widget));
      deactivating = nullptr;
    }
  });
}

// Another widget took the focus: a page that held it holds it no longer.
void OnSetFocus(GtkWindow*, GtkWidget* focus, gpointer) {
  Guarded([&] {
    for (GtkWidget* window : topWindows) {
      TopWindow* top = TopOf(window);
      if (top == nullptr) continue;
      for (GtkWidget* wrapper : top->stack) {
        ControlRecord* control = ControlOf(wrapper);
        if (control != nullptr && control->kind == ControlKind::WebView && control->inner != focus)
          SetPageHoldsFocus(control->inner, false);
      }
    }
  });
}

gboolean PaintBackground(GtkWidget*, cairo_t* cr, gpointer data) {
  const auto* top = static_cast<const TopWindow*>(data);
  cairo_set_source_rgb(cr, top->background.red / 255.0, top->background.green / 255.0,
                       top->background.blue / 255.0);
  cairo_paint(cr);
  return FALSE;  // then the layout draws its children
}

// The core sets the outer frame; GTK sizes the content. Whenever the window manager's frame
// changes, the content is resized so that the outer frame keeps the size asked for.
void FitContent(TopWindow& top) {
  const int width = std::max(1, top.frame.width - top.extents.left - top.extents.right);
  const int height = std::max(1, top.frame.height - top.extents.top - top.extents.bottom);
  gtk_widget_set_size_request(top.layout, width, height);
  gtk_window_resize(GTK_WINDOW(top.window), width, height);
}

void RefreshExtents(TopWindow& top) {
  const FrameExtents extents = ReadFrameExtents(gtk_widget_get_window(top.window));
  if (extents == top.extents) return;
  top.extents = extents;
  FitContent(top);
}

gboolean OnPropertyNotify(GtkWidget* widget, GdkEventProperty* event, gpointer) {
  Guarded([&] {
    if (event->atom != gdk_atom_intern_static_string("_NET_FRAME_EXTENTS")) return;
    if (TopWindow* top = TopOf(widget)) RefreshExtents(*top);
  });
  return FALSE;
}

gboolean OnMapped(GtkWidget* widget, GdkEvent*, gpointer) {
  Guarded([&] {
    if (TopWindow* top = TopOf(widget)) RefreshExtents(*top);
  });
  return FALSE;
}

// Raising every control window from the bottom up leaves them in the recorded order. GDK
// raises a window whenever it is shown, so this runs after every show.
void ApplyStacking(TopWindow& top) {
  for (auto at = top.stack.rbegin(); at != top.stack.rend(); ++at) {
    if (GdkWindow* gdk = gtk_widget_get_window(*at); gdk != nullptr && gtk_widget_get_realized(*at))
      gdk_window_raise(gdk);
  }
}

void OnControlMapped(GtkWidget* wrapper, gpointer) {
  Guarded([&] {
    if (TopWindow* top = TopOf(gtk_widget_get_toplevel(wrapper))) ApplyStacking(*top);
  });
}

void OnControlDestroy(GtkWidget* wrapper, gpointer) {
  Guarded([&] {
    ControlRecord* control = ControlOf(wrapper);
    if (control == nullptr) return;
    if (TopWindow* top = TopOf(gtk_widget_get_toplevel(wrapper)))
      top->stack.erase(std::remove(top->stack.begin(), top->stack.end(), wrapper),
                       top->stack.end());
    shell::OnControlDestroyed(control->id);
  });
}

gboolean SwallowMouse(GtkWidget*, GdkEvent*, gpointer) {
  return TRUE;
}

GtkWidget* LayoutOf(Handle parent) {
  TopWindow* top = TopOf(AsWidget(parent));
  return top == nullptr ? nullptr : top->layout;
}

}  // namespace

TopWindow* TopOf(GtkWidget* widget) {
  if (widget == nullptr || !GTK_IS_WINDOW(widget)) return nullptr;
  return static_cast<TopWindow*>(g_object_get_data(G_OBJECT(widget), kTopKey));
}

ControlRecord* ControlOf(GtkWidget* widget) {
  if (widget == nullptr || !GTK_IS_WIDGET(widget)) return nullptr;
  return static_cast<ControlRecord*>(g_object_get_data(G_OBJECT(widget), kControlKey));
}

ControlRecord* MakeControl(ControlKind kind, Handle parent, ControlIdentity id, Rect place,
                           ControlStyle style, GtkWidget* inner) {
  GtkWidget* layout = LayoutOf(parent);
  if (layout == nullptr) {
    if (inner != nullptr) {
      g_object_ref_sink(inner);
      gtk_widget_destroy(inner);
      g_object_unref(inner);
    }
    return nullptr;
  }
  GtkWidget* wrapper = gtk_event_box_new();
  gtk_event_box_set_visible_window(GTK_EVENT_BOX(wrapper), TRUE);
  gtk_widget_set_can_focus(wrapper, FALSE);
  gtk_widget_set_size_request(wrapper, std::max(0, place.width), std::max(0, place.height));
  auto* record = new ControlRecord{kind, id, wrapper, inner == nullptr ? wrapper : inner, parent};
  g_object_set_data_full(G_OBJECT(wrapper), kControlKey, record, DeleteControl);
  if (inner != nullptr) {
    gtk_container_add(GTK_CONTAINER(wrapper), inner);
    gtk_widget_show(inner);
  } else {
    // A control that paints itself takes every mouse event over its area, so nothing beneath
    // it gets one.
    gtk_widget_add_events(wrapper, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                       GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK |
                                       GDK_POINTER_MOTION_MASK);
    for (const char* signal :
         {"button-press-event", "button-release-event", "scroll-event", "motion-notify-event"})
      g_signal_connect(wrapper, signal, G_CALLBACK(SwallowMouse), nullptr);
  }
  gtk_widget_set_sensitive(wrapper, !style.disabled);
  g_signal_connect_after(wrapper, "map", G_CALLBACK(OnControlMapped), nullptr);
  g_signal_connect(wrapper, "destroy", G_CALLBACK(OnControlDestroy), nullptr);
  gtk_layout_put(GTK_LAYOUT(layout), wrapper, place.left, place.top);
  if (TopWindow* top = TopOf(AsWidget(parent))) top->stack.push_back(wrapper);
  return record;
}

}  // namespace gtk

using gtk::AsHandle;
using gtk::AsWidget;
using gtk::ControlOf;
using gtk::TopOf;
using gtk::TopWindow;

ScreenSize PrimaryScreenSize() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return {};
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr && gdk_display_get_n_monitors(display) > 0)
    monitor = gdk_display_get_monitor(display, 0);
  if (monitor == nullptr) return {};
  GdkRectangle area;
  gdk_monitor_get_geometry(monitor, &area);
  return {area.width, area.height};
}

Handle CreateTopWindow(const WindowStyle& style, Rect frame) {
  if (!gtk::ToolkitReady()) return nullptr;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  auto* top = new TopWindow;
  top->window = window;
  top->frame = frame;
  top->background = style.background;
  g_object_set_data_full(G_OBJECT(window), gtk::kTopKey, top, gtk::DeleteTop);

  gtk_window_set_title(GTK_WINDOW(window), style.title);
  gtk_window_set_resizable(GTK_WINDOW(window), style.sizable);
  gtk_window_set_gravity(GTK_WINDOW(window), GDK_GRAVITY_NORTH_WEST);
  gtk_window_set_deletable(GTK_WINDOW(window), style.controlBox);

  top->layout = gtk_layout_new(nullptr, nullptr);
  gtk_widget_set_can_focus(top->layout, FALSE);
  g_signal_connect(top->layout, "draw", G_CALLBACK(gtk::PaintBackground), top);
  gtk_container_add(GTK_CONTAINER(window), top->layout);
  gtk_widget_show(top->layout);
  gtk::FitContent(*top);
  gtk_window_move(GTK_WINDOW(window), frame.left, frame.top);

  g_signal_connect(window, "key-press-event", G_CALLBACK(gtk::OnKeyPress), nullptr);
  g_signal_connect(window, "delete-event", G_CALLBACK(gtk::OnDelete), nullptr);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk::OnDestroy), nullptr);
  g_signal_connect(window, "notify::is-active", G_CALLBACK(gtk::OnActiveChanged), nullptr);
  g_signal_connect(window, "set-focus", G_CALLBACK(gtk::OnSetFocus), nullptr);
  g_signal_connect(window, "property-notify-event", G_CALLBACK(gtk::OnPropertyNotify), nullptr);
  g_signal_connect(window, "map-event", G_CALLBACK(gtk::OnMapped), nullptr);
  gtk_widget_add_events(window, GDK_PROPERTY_CHANGE_MASK);

  // The frame's buttons and functions follow the style; a window manager that reads the
  // Motif hints then offers no maximise (and no sizing) for a fixed window.
  gtk_widget_realize(window);
  if (GdkWindow* gdk = gtk_widget_get_window(window)) {
    int functions = GDK_FUNC_MOVE;
    int decorations = GDK_DECOR_BORDER | GDK_DECOR_TITLE;
    if (style.controlBox) {
      functions |= GDK_FUNC_CLOSE;
      decorations |= GDK_DECOR_MENU;
    }
    if (style.minimiseBox) {
      functions |= GDK_FUNC_MINIMIZE;
      decorations |= GDK_DECOR_MINIMIZE;
    }
    if (style.maximiseBox) {
      functions |= GDK_FUNC_MAXIMIZE;
      decorations |= GDK_DECOR_MAXIMIZE;
    }
    if (style.sizable) {
      functions |= GDK_FUNC_RESIZE;
      decorations |= GDK_DECOR_RESIZEH;
    }
    gdk_window_set_functions(gdk, static_cast<GdkWMFunction>(functions));
    gdk_window_set_decorations(gdk, static_cast<GdkWMDecoration>(decorations));
  }
  gtk::topWindows.push_back(window);
  return AsHandle(window);
}

Rect WindowFrame(Handle window) {
  TopWindow* top = TopOf(AsWidget(window));
  if (top == nullptr) return {};
  GdkWindow* gdk = gtk_widget_get_window(top->window);
  if (gdk == nullptr || !gtk_widget_get_mapped(top->window)) return top->frame;
  GdkRectangle frame;
  gdk_window_get_frame_extents(gdk, &frame);
  return {frame.x, frame.y, frame.width, frame.height};
}

void SetWindowFrame(Handle window, Rect frame) {
  TopWindow* top = TopOf(AsWidget(window));
  if (top == nullptr) return;
  top->frame = frame;
  gtk::FitContent(*top);
  gtk_window_move(GTK_WINDOW(top->window), frame.left, frame.top);
}

void SetWindowIcons(Handle window, IconPair icons) {
  TopWindow* top = TopOf(AsWidget(window));
  if (top == nullptr) return;
  GList* list = nullptr;
  if (icons.small != nullptr) list = g_list_prepend(list, icons.small);
  if (icons.big != nullptr) list = g_list_prepend(list, icons.big);
  gtk_window_set_icon_list(GTK_WINDOW(top->window), list);
  g_list_free(list);
}

void ShowWindowNormal(Handle window) {
  TopWindow* top = TopOf(AsWidget(window));
  if (top == nullptr) return;
  gtk_window_deiconify(GTK_WINDOW(top->window));
  gtk_widget_show(top->window);
  // Once visible, presenting also asks for the input focus, which without a window manager
  // nobody else would give the new window.
  gtk_window_present(GTK_WINDOW(top->window));
  gtk::ApplyStacking(*top);
}

void DestroyWindow(Handle window) {
  GtkWidget* widget = AsWidget(window);
  if (widget == nullptr) return;
  if (TopWindow* top = TopOf(widget)) {
    if (top->destroyed) return;
    g_object_ref(widget);
    gtk_widget_destroy(widget);
    // Destruction is complete when gtk_widget_destroy returns: its last stage.
    shell::OnWindowDestroyed(window);
    g_object_unref(widget);
    return;
  }
  if (ControlOf(widget) != nullptr) gtk_widget_destroy(widget);
}

void AttachToParent(Handle control, Handle parent) {
  gtk::ControlRecord* record = ControlOf(AsWidget(control));
  TopWindow* to = TopOf(AsWidget(parent));
  if (record == nullptr || to == nullptr || record->parent == parent) return;
  GtkWidget* wrapper = record->wrapper;
  int x = 0, y = 0;
  GtkWidget* from = gtk_widget_get_parent(wrapper);
  if (from != nullptr) {
    gtk_container_child_get(GTK_CONTAINER(from), wrapper, "x", &x, "y", &y, nullptr);
    if (TopWindow* old = TopOf(gtk_widget_get_toplevel(from)))
      old->stack.erase(std::remove(old->stack.begin(), old->stack.end(), wrapper),
                       old->stack.end());
    g_object_ref(wrapper);
    gtk_container_remove(GTK_CONTAINER(from), wrapper);
  }
  gtk_layout_put(GTK_LAYOUT(to->layout), wrapper, x, y);
  if (from != nullptr) g_object_unref(wrapper);
  to->stack.push_back(wrapper);
  record->parent = parent;
}

void PlaceBelow(Handle control, Handle above) {
  GtkWidget* wrapper = AsWidget(control);
  if (ControlOf(wrapper) == nullptr) return;
  TopWindow* top = TopOf(gtk_widget_get_toplevel(wrapper));
  if (top == nullptr) return;
  auto& stack = top->stack;
  stack.erase(std::remove(stack.begin(), stack.end(), wrapper), stack.end());
  auto at = stack.begin();
  if (above != nullptr) {
    auto found = std::find(stack.begin(), stack.end(), AsWidget(above));
    if (found != stack.end()) at = found + 1;
  }
  stack.insert(at, wrapper);
  // The windows exist from here on, so the order holds from the first paint.
  for (GtkWidget* each : stack) gtk_widget_realize(each);
  gtk::ApplyStacking(*top);
}

void SetControlVisible(Handle control, bool visible) {
  GtkWidget* wrapper = AsWidget(control);
  if (ControlOf(wrapper) == nullptr) return;
  gtk_widget_set_visible(wrapper, visible);
  if (visible) {
    if (TopWindow* top = TopOf(gtk_widget_get_toplevel(wrapper))) gtk::ApplyStacking(*top);
  }
}

void SetFocus(Handle control) {
  if (GtkWidget* view = gtk::ViewOfPage(control)) {
    gtk_widget_grab_focus(view);
    gtk::SetPageHoldsFocus(view, true);
    return;
  }
  GtkWidget* widget = AsWidget(control);
  if (widget == nullptr) return;
  if (TopWindow* top = TopOf(widget)) {
    gtk_window_set_focus(GTK_WINDOW(top->window), nullptr);
    return;
  }
  GtkWidget* target = widget;
  if (gtk::ControlRecord* record = ControlOf(widget)) target = record->inner;
  if (GTK_IS_ENTRY(target)) {
    // Focus moved by the program selects nothing; GTK would select the whole text.
    gtk_entry_grab_focus_without_selecting(GTK_ENTRY(target));
  } else {
    gtk_widget_grab_focus(target);
  }
  // Given to the view, the focus is on the view itself, not on something inside the page.
  if (gtk::PageHandle(target) != nullptr) gtk::SetPageHoldsFocus(target, false);
}

Handle FocusedWindow() {
  GtkWidget* window = gtk::ActiveTop();
  if (window == nullptr) return nullptr;
  GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
  if (focus == nullptr) return AsHandle(window);
  if (gtk::PageHoldsFocus(focus)) return gtk::PageHandle(focus);
  return AsHandle(focus);
}

Handle ParentOf(Handle window) {
  if (GtkWidget* view = gtk::ViewOfPage(window)) return AsHandle(view);
  GtkWidget* widget = AsWidget(window);
  if (widget == nullptr || TopOf(widget) != nullptr) return nullptr;
  if (gtk::ControlRecord* record = ControlOf(widget)) return record->parent;
  GtkWidget* parent = gtk_widget_get_parent(widget);
  // The layout inside a window is the toolkit's business: controls count as the window's.
  if (parent != nullptr && GTK_IS_LAYOUT(parent)) parent = gtk_widget_get_parent(parent);
  return AsHandle(parent);
}

}  // namespace quorvel::platform
