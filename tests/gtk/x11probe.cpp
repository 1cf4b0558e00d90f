// Reads pixels off an X display for the end-to-end tests, the way a person looks at the screen:
// from outside the program, through the X server.
//
//   x11probe shot FILE.png [X Y W H]       saves the screen (or a part of it) as PNG
//   x11probe pixel X Y                     prints "R G B"
//   x11probe colours X Y W H               prints each distinct colour of the area with its count
//   x11probe compare X Y FILE.png SX SY W H
//        compares the screen at X,Y with the picture's area SX,SY,W,H; prints the number of
//        differing pixels and the first few; exit 0 only when none differ
//   x11probe close WINDOW                  asks the window manager to close the window
//                                          (_NET_CLOSE_WINDOW), as its close button does
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Rgb {
  std::uint8_t r, g, b;
  auto operator<=>(const Rgb&) const = default;
};

struct Area {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
struct ImageDestroyer {
  void operator()(XImage* i) const { XDestroyImage(i); }
};

[[noreturn]] void Fail(const std::string& why) {
  std::fprintf(stderr, "x11probe: %s\n", why.c_str());
  std::exit(2);
}

int Shift(unsigned long mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}

Area Grab(int x, int y, int w, int h) {
  std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
  if (!display) Fail("cannot open the display");
  Window root = DefaultRootWindow(display.get());
  XWindowAttributes attrs;
  XGetWindowAttributes(display.get(), root, &attrs);
  if (w <= 0) w = attrs.width;
  if (h <= 0) h = attrs.height;
  if (x < 0 || y < 0 || x + w > attrs.width || y + h > attrs.height) Fail("area off the screen");
  std::unique_ptr<XImage, ImageDestroyer> image(
      XGetImage(display.get(), root, x, y, w, h, AllPlanes, ZPixmap));
  if (!image) Fail("cannot read the screen");
  Area area{w, h, {}};
  area.pixels.reserve(static_cast<std::size_t>(w) * h);
  const int rs = Shift(image->red_mask), gs = Shift(image->green_mask),
            bs = Shift(image->blue_mask);
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      unsigned long p = XGetPixel(image.get(), i, j);
      area.pixels.push_back({static_cast<std::uint8_t>((p & image->red_mask) >> rs),
                             static_cast<std::uint8_t>((p & image->green_mask) >> gs),
                             static_cast<std::uint8_t>((p & image->blue_mask) >> bs)});
    }
  }
  return area;
}

Area ReadPng(const char* file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file)) Fail(std::string("cannot read ") + file);
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> bytes(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr))
    Fail(std::string("cannot decode ") + file + ": " + image.message);
  Area area{static_cast<int>(image.width), static_cast<int>(image.height), {}};
  area.pixels.resize(static_cast<std::size_t>(area.width) * area.height);
  for (std::size_t i = 0; i < area.pixels.size(); ++i)
    area.pixels[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
  return area;
}

void WritePng(const Area& area, const char* file) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(area.width);
  image.height = static_cast<png_uint_32>(area.height);
  image.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&image, file, 0, area.pixels.data(), 0, nullptr))
    Fail(std::string("cannot write ") + file);
}

int Arg(char** argv, int i) {
  return std::atoi(argv[i]);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "shot" && (argc == 3 || argc == 7)) {
    Area area =
        argc == 7 ? Grab(Arg(argv, 3), Arg(argv, 4), Arg(argv, 5), Arg(argv, 6)) : Grab(0, 0, 0, 0);
    WritePng(area, argv[2]);
    return 0;
  }
  if (command == "pixel" && argc == 4) {
    Rgb p = Grab(Arg(argv, 2), Arg(argv, 3), 1, 1).at(0, 0);
    std::printf("%d %d %d\n", p.r, p.g, p.b);
    return 0;
  }
  if (command == "colours" && argc == 6) {
    Area area = Grab(Arg(argv, 2), Arg(argv, 3), Arg(argv, 4), Arg(argv, 5));
    std::map<Rgb, long> counts;
    for (const Rgb& p : area.pixels) ++counts[p];
    for (const auto& [p, n] : counts) std::printf("%d %d %d %ld\n", p.r, p.g, p.b, n);
    return 0;
  }
  if (command == "compare" && argc == 9) {
    const int x = Arg(argv, 2), y = Arg(argv, 3);
    Area picture = ReadPng(argv[4]);
    const int sx = Arg(argv, 5), sy = Arg(argv, 6), w = Arg(argv, 7), h = Arg(argv, 8);
    if (sx < 0 || sy < 0 || sx + w > picture.width || sy + h > picture.height)
      Fail("area outside the picture");
    Area screen = Grab(x, y, w, h);
    long differing = 0;
    for (int j = 0; j < h; ++j) {
      for (int i = 0; i < w; ++i) {
        const Rgb& s = screen.at(i, j);
        const Rgb& p = picture.at(sx + i, sy + j);
        if (s == p) continue;
        if (++differing <= 5)
          std::printf("at %d,%d screen %d %d %d picture %d %d %d\n", i, j, s.r, s.g, s.b, p.r, p.g,
                      p.b);
      }
    }
    std::printf("%ld differing of %ld\n", differing, static_cast<long>(w) * h);
    return differing == 0 ? 0 : 1;
  }
  if (command == "close" && argc == 3) {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) Fail("cannot open the display");
    Window root = DefaultRootWindow(display.get());
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::strtoul(argv[2], nullptr, 0);
    event.xclient.message_type = XInternAtom(display.get(), "_NET_CLOSE_WINDOW", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = CurrentTime;
    event.xclient.data.l[1] = 2;  // from a pager or taskbar: the user's own request
    if (!XSendEvent(display.get(), root, False, SubstructureRedirectMask | SubstructureNotifyMask,
                    &event))
      Fail("cannot send the close request");
    XFlush(display.get());
    return 0;
  }
  std::fprintf(stderr,
               "usage: x11probe shot FILE.png [X Y W H] | pixel X Y | colours X Y W H |"
               " compare X Y FILE.png SX SY W H | close WINDOW\n");
  return 2;
}
