// The address box, the push buttons and the picture box.
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gtk/common.h"
#include "platform/gtk/owners.h"
#include "platform/platform.h"
#include "shell/native_events.h"

namespace quorvel::platform {
namespace {

using gtk::AsHandle;
using gtk::AsWidget;
using gtk::ControlKind;
using gtk::ControlRecord;

constexpr int kSunkenEdge = 2;  // pixels, as a sunken three-dimensional edge is drawn

std::string CssColour(Colour c) {
  char text[32];
  std::snprintf(text, sizeof text, "rgb(%d,%d,%d)", c.red, c.green, c.blue);
  return text;
}

void ApplyCss(GtkWidget* widget, const std::string& css) {
  gtk::GObjectOwner<GtkCssProvider> provider(gtk_css_provider_new());
  gtk_css_provider_load_from_data(provider.get(), css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget),
                                 GTK_STYLE_PROVIDER(provider.get()),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

// Height of one text line in the widget's font: the height of "W".
int LineHeight(GtkWidget* widget) {
  gtk::GObjectOwner<PangoLayout> layout(gtk_widget_create_pango_layout(widget, "W"));
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
  return logical.height;
}

void OnClicked(GtkButton*, gpointer data) {
  gtk::Guarded([&] { controls::OnButtonClicked(static_cast<ControlRecord*>(data)->id); });
}

gboolean PaintPicture(GtkWidget* box, cairo_t* cr, gpointer) {
  return gtk::Guarded(FALSE, [&] {
    const auto* background = static_cast<const Colour*>(g_object_get_data(G_OBJECT(box), "bg"));
    if (background != nullptr) {
      cairo_set_source_rgb(cr, background->red / 255.0, background->green / 255.0,
                           background->blue / 255.0);
      cairo_paint(cr);
    }
    if (auto* picture =
            static_cast<cairo_surface_t*>(g_object_get_data(G_OBJECT(box), "picture"))) {
      // One picture pixel to one screen pixel at 0,0; the widget's area cuts off the rest.
      cairo_set_source_surface(cr, picture, 0, 0);
      cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
      cairo_paint(cr);
    }
    return TRUE;
  });
}

void FreeColour(gpointer colour) {
  delete static_cast<Colour*>(colour);
}
void FreeSurface(gpointer surface) {
  cairo_surface_destroy(static_cast<cairo_surface_t*>(surface));
}

}  // namespace

Handle CreateEditBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                     const EditBoxLook& look) {
  GtkWidget* entry = gtk_entry_new();
  gtk_entry_set_has_frame(GTK_ENTRY(entry), TRUE);
  gtk_entry_set_max_length(GTK_ENTRY(entry), std::clamp(look.maxLength, 0, 65535));
  gtk_entry_set_text(GTK_ENTRY(entry), look.initialText == nullptr ? "" : look.initialText);

  // The text line is one line high, centred in the inside; the margins above and below it
  // are frame (padding here), so the entry's text area is exactly that line.
  const int edge = look.sunkenEdge ? kSunkenEdge : 0;
  const int insideHeight = std::max(0, place.height - 2 * edge);
  const int line = LineHeight(entry);
  const controls::EditStrip strip = controls::SingleLineStrip(edge, insideHeight, line);
  const int padTop = std::max(0, strip.top - edge);
  const int padBottom = std::max(0, edge + insideHeight - strip.bottom);

  const std::string text = CssColour(look.text), background = CssColour(look.background);
  std::string css =
      "entry, entry:focus, entry:backdrop, entry:disabled {"
      " min-height: 0; margin: 0; border-radius: 0; box-shadow: none;"
      " outline: none; background-image: none;"
      " background-color: " +
      background + "; color: " + text + "; caret-color: " + text +
      ";"
      " padding: " +
      std::to_string(padTop) + "px 2px " + std::to_string(padBottom) + "px 2px;";
  css += look.sunkenEdge ? " border: 2px inset rgb(160,160,160); }" : " border: none; }";
  if (look.hideSelection) {
    // Shown only while the box has the focus.
    css += " entry:not(:focus) selection { background-color: " + background + "; color: " + text +
           "; }";
  }
  ApplyCss(entry, css);

  ControlRecord* record = gtk::MakeControl(ControlKind::EditBox, parent, id, place, style, entry);
  if (record == nullptr) return nullptr;
  // A click on the frame (border or margins) lands on the wrapper: it places no caret.
  for (const char* signal : {"button-press-event", "button-release-event"})
    g_signal_connect(record->wrapper, signal,
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer) { return gboolean{TRUE}; }),
                     nullptr);
  const int length = gtk_entry_get_text_length(GTK_ENTRY(entry));
  const int start = std::clamp(look.selectionStart, 0, length);
  const int end = std::clamp(look.selectionStart + std::max(0, look.selectionLength), 0, length);
  gtk_editable_select_region(GTK_EDITABLE(entry), start, end);
  return AsHandle(record->wrapper);
}

char* EditBoxText(Handle box) {
  ControlRecord* record = gtk::ControlOf(AsWidget(box));
  if (record == nullptr || !GTK_IS_ENTRY(record->inner)) return nullptr;
  const char* text = gtk_entry_get_text(GTK_ENTRY(record->inner));
  const std::size_t size = text == nullptr ? 0 : std::strlen(text);
  if (size == 0) return nullptr;
  auto* block = static_cast<char*>(shell::AllocBlock(size + 1));
  std::memcpy(block, text, size + 1);
  return block;
}

Handle CreateButton(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    const char* caption) {
  // A plain label: a caption's "_" is text, not a mnemonic.
  GtkWidget* button = gtk_button_new_with_label(caption == nullptr ? "" : caption);
  gtk_widget_set_focus_on_click(button, TRUE);
  ControlRecord* record = gtk::MakeControl(ControlKind::Button, parent, id, place, style, button);
  if (record == nullptr) return nullptr;
  g_signal_connect(button, "clicked", G_CALLBACK(OnClicked), record);
  return AsHandle(record->wrapper);
}

Colour ButtonFaceColour() {
  // The theme's face colour for windows, dialogs and buttons.
  Colour face{0xF0, 0xF0, 0xF0};
  if (!gtk::ToolkitReady()) return face;
  GtkWidget* probe = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GdkRGBA colour;
  if (gtk_style_context_lookup_color(gtk_widget_get_style_context(probe), "theme_bg_color",
                                     &colour)) {
    auto channel = [](double v) {
      return static_cast<std::uint8_t>(std::clamp(v, 0.0, 1.0) * 255 + 0.5);
    };
    face = {channel(colour.red), channel(colour.green), channel(colour.blue)};
  }
  gtk_widget_destroy(probe);
  return face;
}

PixelBuffer AllocatePixels(int width, int height) {
  if (width <= 0 || height <= 0) return {};
  // RGB24: blue, green, red and an unused byte in memory on little-endian machines; the
  // picture arrives composed over its background, so nothing of it is transparent.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
      cairo_image_surface_get_stride(surface) != width * 4) {
    cairo_surface_destroy(surface);
    return {};
  }
  cairo_surface_flush(surface);
  return {surface, cairo_image_surface_get_data(surface), width, height};
}

void ReleasePixels(PixelBuffer buffer) {
  if (buffer.owner != nullptr) cairo_surface_destroy(static_cast<cairo_surface_t*>(buffer.owner));
}

Handle CreatePicBox(Handle parent, ControlIdentity id, Rect place, ControlStyle style,
                    Colour background, PixelBuffer picture) {
  ControlRecord* record = gtk::MakeControl(ControlKind::PicBox, parent, id, place, style, nullptr);
  if (record == nullptr) {
    ReleasePixels(picture);
    return nullptr;
  }
  GtkWidget* box = record->wrapper;
  g_object_set_data_full(G_OBJECT(box), "bg", new Colour(background), FreeColour);
  if (picture.owner != nullptr) {
    auto* surface = static_cast<cairo_surface_t*>(picture.owner);
    cairo_surface_mark_dirty(surface);  // the core wrote the pixels behind cairo's back
    g_object_set_data_full(G_OBJECT(box), "picture", surface, FreeSurface);
  }
  g_signal_connect(box, "draw", G_CALLBACK(PaintPicture), nullptr);
  return AsHandle(box);
}

}  // namespace quorvel::platform
