// The program's icon, embedded as a GResource in the Windows icon format. GdkPixbuf's loader
// picks only one image from an icon file, so each wanted size is cut out into a one-image
// icon of its own and loaded from there.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gtk/common.h"
#include "platform/gtk/owners.h"
#include "platform/platform.h"

namespace quorvel::platform {
namespace {

constexpr const char* kIconResource = "/org/quorvel/quorvel.ico";
constexpr std::size_t kHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;

std::uint32_t Read16(const std::uint8_t* p) {
  return p[0] | (p[1] << 8);
}
std::uint32_t Read32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Write32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

GdkPixbuf* LoadIconBytes(const std::uint8_t* data, std::size_t size) {
  gtk::ErrorOwner error;
  gtk::GObjectOwner<GdkPixbufLoader> loader(gdk_pixbuf_loader_new_with_type("ico", error.out()));
  if (!loader) return nullptr;
  const bool written = gdk_pixbuf_loader_write(loader.get(), data, size, nullptr);
  const bool closed = gdk_pixbuf_loader_close(loader.get(), nullptr);
  if (!written || !closed) return nullptr;
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader.get());
  return pixbuf == nullptr ? nullptr : GDK_PIXBUF(g_object_ref(pixbuf));
}

// The image of exactly `side` pixels from the icon file, else the nearest one scaled to it.
GdkPixbuf* IconOfSize(const std::uint8_t* file, std::size_t size, int side) {
  if (size < kHeaderSize || Read16(file) != 0 || Read16(file + 2) != 1) return nullptr;
  const std::size_t count = Read16(file + 4);
  if (size < kHeaderSize + count * kEntrySize) return nullptr;
  std::size_t best = count;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = file + kHeaderSize + i * kEntrySize;
    const int width = entry[0] == 0 ? 256 : entry[0];
    const std::uint32_t length = Read32(entry + 8), offset = Read32(entry + 12);
    if (offset > size || length > size - offset) continue;
    const int distance = width >= side ? width - side : 2 * (side - width);  // prefer larger
    if (distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  if (best == count) return nullptr;
  const std::uint8_t* entry = file + kHeaderSize + best * kEntrySize;
  const std::uint32_t length = Read32(entry + 8), offset = Read32(entry + 12);
  std::vector<std::uint8_t> single(kHeaderSize + kEntrySize + length);
  std::memcpy(single.data(), file, 4);
  single[4] = 1;
  single[5] = 0;
  std::memcpy(single.data() + kHeaderSize, entry, kEntrySize);
  Write32(single.data() + kHeaderSize + 12, kHeaderSize + kEntrySize);
  std::memcpy(single.data() + kHeaderSize + kEntrySize, file + offset, length);
  GdkPixbuf* pixbuf = LoadIconBytes(single.data(), single.size());
  if (pixbuf != nullptr &&
      (gdk_pixbuf_get_width(pixbuf) != side || gdk_pixbuf_get_height(pixbuf) != side)) {
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(pixbuf, side, side, GDK_INTERP_BILINEAR);
    g_object_unref(pixbuf);
    pixbuf = scaled;
  }
  return pixbuf;
}

}  // namespace

IconPair LoadProgramIcons() {
  gtk::BytesOwner bytes(
      g_resources_lookup_data(kIconResource, G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr));
  if (bytes.get() == nullptr) return {};
  gsize size = 0;
  const auto* data = static_cast<const std::uint8_t*>(g_bytes_get_data(bytes.get(), &size));
  return {reinterpret_cast<IconHandle>(IconOfSize(data, size, 32)),
          reinterpret_cast<IconHandle>(IconOfSize(data, size, 16))};
}

void DestroyIcons(IconPair icons) {
  if (icons.big != nullptr) g_object_unref(reinterpret_cast<GdkPixbuf*>(icons.big));
  if (icons.small != nullptr) g_object_unref(reinterpret_cast<GdkPixbuf*>(icons.small));
}

}  // namespace quorvel::platform
