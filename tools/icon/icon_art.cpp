#include "icon_art.h"

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string_view>

namespace quorvel::icon {
namespace {

// Palette indices.
enum Ink : std::uint8_t {
  kBlack = 0,  // under transparent pixels only
  kOutline = 1,
  kBody = 2,
  kBodyLight = 3,
  kBodyShade = 4,
  kScreenDeep = 5,
  kScreenMid = 6,
  kScreenLight = 7,
  kWhite = 8,
  kYellow = 9,
  kAntenna = 10,
  kPale = 11,
  kSteel = 12,
  kSun = 13,
  kHill = 14,
  kHillShade = 15,
};

constexpr Palette kPalette = {{
    {0, 0, 0},
    {28, 26, 40},
    {204, 76, 44},
    {242, 132, 72},
    {134, 42, 30},
    {22, 44, 104},
    {44, 98, 186},
    {112, 172, 236},
    {255, 255, 255},
    {255, 204, 60},
    {150, 152, 170},
    {218, 224, 236},
    {86, 88, 106},
    {255, 150, 60},
    {92, 178, 84},
    {40, 118, 62},
}};

// 16x16 is drawn pixel by pixel: at this size every pixel is a decision.
IconImage FromArt(std::initializer_list<std::string_view> rows) {
  IconImage im;
  im.size = static_cast<int>(rows.size());
  for (std::string_view row : rows) {
    if (static_cast<int>(row.size()) != im.size) throw std::logic_error("icon art not square");
    for (char ch : row) {
      static constexpr std::string_view kKeys = ".KRLDbmlWYagGoef";
      auto at = kKeys.find(ch);
      if (at == std::string_view::npos) throw std::logic_error("unknown icon art key");
      im.pixels.push_back(at == 0 ? IconImage::kTransparent : static_cast<std::uint8_t>(at));
    }
  }
  return im;
}

IconImage Small() {
  // clang-format off
  return FromArt({
      "...a........a...",
      "....a......a....",
      ".....a....a.....",
      "......aGGa......",
      ".KKKKKKKKKKKKKK.",
      "KLLLLLLLLLLLLLRK",
      "KLKKKKKKKKKRRRDK",
      "KLKgmWmmmmKRYRDK",
      "KLKmmWWmmmKRRRDK",
      "KLKbbWWWbbKRGRDK",
      "KLKbbWWbbbKRRRDK",
      "KLKeeWeeffKRDRDK",
      "KLKKKKKKKKKRRRDK",
      "KRDDDDDDDDDDDDDK",
      ".KKKKKKKKKKKKKK.",
      "..KK........KK..",
  });
  // clang-format on
}

// Geometry of the larger images, chosen per size so lines land on whole pixels.
struct Layout {
  int size;
  double tip_left_x, tip_right_x, tip_y, tip_radius, antenna_width;
  double body_x0, body_y0, body_x1, body_y1, body_radius, rim;
  double screen_x0, screen_y0, screen_x1, screen_y1, screen_radius;
  double knob_x, knob1_y, knob2_y, knob_radius;
  double grille_y0, grille_step;
  int grille_lines;
  double foot_w, foot_h, foot_inset;
  double play_x0, play_y0, play_y1, play_x1;
};

// clang-format off
constexpr Layout kMedium = {
    .size = 32,
    .tip_left_x = 7.5, .tip_right_x = 24.5, .tip_y = 2.5, .tip_radius = 1.6, .antenna_width = 1.1,
    .body_x0 = 1.0, .body_y0 = 9.0, .body_x1 = 31.0, .body_y1 = 28.0, .body_radius = 4.0, .rim = 1.0,
    .screen_x0 = 4.0, .screen_y0 = 12.0, .screen_x1 = 22.0, .screen_y1 = 25.0, .screen_radius = 2.0,
    .knob_x = 26.5, .knob1_y = 15.0, .knob2_y = 20.5, .knob_radius = 2.3,
    .grille_y0 = 23.5, .grille_step = 2.0, .grille_lines = 2,
    .foot_w = 4.0, .foot_h = 3.0, .foot_inset = 4.0,
    .play_x0 = 10.0, .play_y0 = 14.0, .play_y1 = 23.0, .play_x1 = 17.5,
};
constexpr Layout kLarge = {
    .size = 48,
    .tip_left_x = 11.5, .tip_right_x = 36.5, .tip_y = 3.5, .tip_radius = 2.2, .antenna_width = 1.5,
    .body_x0 = 1.0, .body_y0 = 13.0, .body_x1 = 47.0, .body_y1 = 42.0, .body_radius = 6.0, .rim = 2.0,
    .screen_x0 = 5.0, .screen_y0 = 17.0, .screen_x1 = 33.0, .screen_y1 = 38.0, .screen_radius = 3.0,
    .knob_x = 39.5, .knob1_y = 22.0, .knob2_y = 30.0, .knob_radius = 3.4,
    .grille_y0 = 35.0, .grille_step = 2.5, .grille_lines = 3,
    .foot_w = 6.0, .foot_h = 5.0, .foot_inset = 6.0,
    .play_x0 = 14.5, .play_y0 = 21.0, .play_y1 = 34.0, .play_x1 = 26.0,
};
// clang-format on

using Shape = std::function<bool(double, double)>;

Shape RoundRect(double x0, double y0, double x1, double y1, double r) {
  return [=](double x, double y) {
    if (x < x0 || x > x1 || y < y0 || y > y1) return false;
    double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
  };
}

Shape Circle(double cx, double cy, double r) {
  return [=](double x, double y) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; };
}

Shape Segment(double ax, double ay, double bx, double by, double half_width) {
  return [=](double x, double y) {
    double dx = bx - ax, dy = by - ay;
    double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    double px = ax + t * dx - x, py = ay + t * dy - y;
    return px * px + py * py <= half_width * half_width;
  };
}

// A triangle pointing right: the play sign.
Shape Play(double x0, double y0, double y1, double x1) {
  return [=](double x, double y) {
    if (x < x0 || x > x1) return false;
    double half = (y1 - y0) * 0.5 * (x1 - x) / (x1 - x0);
    double mid = (y0 + y1) * 0.5;
    return y >= mid - half && y <= mid + half;
  };
}

class Canvas {
 public:
  explicit Canvas(int size)
      : size_(size), px_(static_cast<std::size_t>(size) * size, IconImage::kTransparent) {}
  // Shapes are sampled at pixel centres; no blending in 16 colours.
  bool In(const Shape& s, int x, int y) const { return s(x + 0.5, y + 0.5); }
  void Fill(const Shape& s, std::uint8_t ink) {
    ForEach([&](int x, int y) {
      if (In(s, x, y)) Set(x, y, ink);
    });
  }
  // Pixels of the shape with a side neighbour outside it.
  void Outline(const Shape& s, std::uint8_t ink) {
    ForEach([&](int x, int y) {
      if (In(s, x, y) &&
          (!In(s, x - 1, y) || !In(s, x + 1, y) || !In(s, x, y - 1) || !In(s, x, y + 1))) {
        Set(x, y, ink);
      }
    });
  }
  void Set(int x, int y, std::uint8_t ink) {
    if (x >= 0 && y >= 0 && x < size_ && y < size_)
      px_[static_cast<std::size_t>(y) * size_ + x] = ink;
  }
  void ForEach(const std::function<void(int, int)>& f) const {
    for (int y = 0; y < size_; ++y)
      for (int x = 0; x < size_; ++x) f(x, y);
  }
  IconImage Image() const { return IconImage{size_, px_}; }

 private:
  int size_;
  std::vector<std::uint8_t> px_;
};

IconImage Draw(const Layout& L) {
  Canvas cv(L.size);
  const double cx = (L.body_x0 + L.body_x1) * 0.5;

  // Antennas, drawn first so the body covers their feet.
  Shape left = Segment(L.tip_left_x, L.tip_y, cx - 0.5, L.body_y0, L.antenna_width * 0.5);
  Shape right = Segment(L.tip_right_x, L.tip_y, cx + 0.5, L.body_y0, L.antenna_width * 0.5);
  cv.Fill(left, kAntenna);
  cv.Fill(right, kAntenna);
  for (double tx : {L.tip_left_x, L.tip_right_x}) {
    Shape tip = Circle(tx, L.tip_y, L.tip_radius);
    cv.Fill(tip, kPale);
    cv.Outline(tip, kOutline);
  }
  Shape dome = Circle(cx, L.body_y0, L.body_radius * 0.8);
  cv.Fill(dome, kSteel);
  cv.Outline(dome, kOutline);

  // Feet, then the cabinet with light from the upper left.
  for (double fx : {L.body_x0 + L.foot_inset, L.body_x1 - L.foot_inset - L.foot_w}) {
    Shape foot = RoundRect(fx, L.body_y1 - 1.0, fx + L.foot_w, L.body_y1 + L.foot_h, 1.0);
    cv.Fill(foot, kSteel);
    cv.Outline(foot, kOutline);
  }
  Shape body = RoundRect(L.body_x0, L.body_y0, L.body_x1, L.body_y1, L.body_radius);
  cv.Fill(body, kBody);
  const double rim = L.rim + 1.0;
  cv.ForEach([&](int x, int y) {
    if (!cv.In(body, x, y)) return;
    if (!cv.In(body, static_cast<int>(x - rim), static_cast<int>(y - rim))) {
      cv.Set(x, y, kBodyLight);
    } else if (!cv.In(body, static_cast<int>(x + rim), static_cast<int>(y + rim))) {
      cv.Set(x, y, kBodyShade);
    }
  });
  cv.Outline(body, kOutline);

  // The screen: a sky over a green hill, as on the splash picture, with the play sign.
  Shape bezel = RoundRect(L.screen_x0 - 1.0, L.screen_y0 - 1.0, L.screen_x1 + 1.0,
                          L.screen_y1 + 1.0, L.screen_radius + 1.0);
  cv.Fill(bezel, kBodyShade);
  Shape screen = RoundRect(L.screen_x0, L.screen_y0, L.screen_x1, L.screen_y1, L.screen_radius);
  const double sh = L.screen_y1 - L.screen_y0, sw = L.screen_x1 - L.screen_x0;
  cv.ForEach([&](int x, int y) {
    if (!cv.In(screen, x, y)) return;
    double t = (y + 0.5 - L.screen_y0) / sh;
    // Two dithered rows soften each step of the sky's gradient.
    bool odd = (x + y) % 2 != 0;
    std::uint8_t sky = t < 0.30   ? kScreenLight
                       : t < 0.36 ? (odd ? kScreenLight : kScreenMid)
                       : t < 0.60 ? kScreenMid
                       : t < 0.66 ? (odd ? kScreenMid : kScreenDeep)
                                  : kScreenDeep;
    double u = (x + 0.5 - L.screen_x0) / sw;
    double hill = 0.70 + 0.30 * (u - 0.3) * (u - 0.3);
    if (t > hill) sky = t > hill + 1.5 / sh ? kHill : kHillShade;
    cv.Set(x, y, sky);
  });
  Shape sun = Circle(L.screen_x1 - sw * 0.2, L.screen_y0 + sh * 0.28, sh * 0.09);
  cv.ForEach([&](int x, int y) {
    if (cv.In(sun, x, y) && cv.In(screen, x, y)) cv.Set(x, y, kSun);
  });
  // A glint across the glass.
  cv.ForEach([&](int x, int y) {
    double d = (x + 0.5 - L.screen_x0) + (y + 0.5 - L.screen_y0);
    if (cv.In(screen, x, y) && d > 2.0 && d < 2.0 + L.size / 24.0 &&
        y + 0.5 < L.screen_y0 + sh * 0.4) {
      cv.Set(x, y, kPale);
    }
  });
  cv.Outline(screen, kOutline);
  Shape play = Play(L.play_x0, L.play_y0, L.play_y1, L.play_x1);
  cv.Fill(play, kWhite);
  cv.Outline(play, kOutline);

  // The control panel: two knobs and a speaker grille.
  Shape knob1 = Circle(L.knob_x, L.knob1_y, L.knob_radius);
  Shape knob2 = Circle(L.knob_x, L.knob2_y, L.knob_radius);
  cv.Fill(knob1, kYellow);
  cv.Fill(knob2, kSteel);
  cv.Outline(knob1, kOutline);
  cv.Outline(knob2, kOutline);
  for (int i = 0; i < L.grille_lines; ++i) {
    int gy = static_cast<int>(L.grille_y0 + i * L.grille_step);
    for (int gx = static_cast<int>(L.knob_x - L.knob_radius);
         gx <= static_cast<int>(L.knob_x + L.knob_radius - 0.5); ++gx) {
      cv.Set(gx, gy, kOutline);
    }
  }
  return cv.Image();
}

}  // namespace

const Palette& IconPalette() {
  return kPalette;
}

std::vector<IconImage> DrawIconImages() {
  return {Small(), Draw(kMedium), Draw(kLarge)};
}

}  // namespace quorvel::icon
