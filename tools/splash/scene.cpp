#include "scene.h"

#include <algorithm>
#include <cmath>

#include "detmath.h"

namespace quorvel::splash {
namespace {

struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;
};
Rgb operator+(Rgb a, Rgb b) {
  return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator*(Rgb a, double k) {
  return {a.r * k, a.g * k, a.b * k};
}
Rgb operator*(Rgb a, Rgb b) {
  return {a.r * b.r, a.g * b.g, a.b * b.b};
}
using splash::Mix;
Rgb Mix(Rgb a, Rgb b, double t) {
  return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}
// Light added without blowing out: 1 - (1 - a)(1 - b).
Rgb Screen(Rgb a, Rgb b) {
  return {1.0 - (1.0 - a.r) * (1.0 - b.r), 1.0 - (1.0 - a.g) * (1.0 - b.g),
          1.0 - (1.0 - a.b) * (1.0 - b.b)};
}

constexpr double kWaterY = 452.0;  // the far shore line; the lake lies below it
constexpr double kSunX = 905.0;
constexpr double kSunY = 318.0;
constexpr double kSunRadius = 27.0;
constexpr double kPi = 3.14159265358979323846;

class Canvas {
 public:
  Canvas() : px_(static_cast<std::size_t>(kWidth) * kHeight) {}
  Rgb& At(int x, int y) { return px_[static_cast<std::size_t>(y) * kWidth + x]; }
  const Rgb& At(int x, int y) const { return px_[static_cast<std::size_t>(y) * kWidth + x]; }
  void Blend(int x, int y, Rgb c, double alpha) {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight || alpha <= 0.0) return;
    Rgb& p = At(x, y);
    p = Mix(p, c, Clamp01(alpha));
  }
  // Bilinear read with the coordinates held inside the picture.
  Rgb Sample(double x, double y) const {
    x = std::clamp(x, 0.0, kWidth - 1.0);
    y = std::clamp(y, 0.0, kHeight - 1.0);
    int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    int x1 = std::min(x0 + 1, kWidth - 1), y1 = std::min(y0 + 1, kHeight - 1);
    double tx = x - x0, ty = y - y0;
    return Mix(Mix(At(x0, y0), At(x1, y0), tx), Mix(At(x0, y1), At(x1, y1), tx), ty);
  }

 private:
  std::vector<Rgb> px_;
};

// ---- Sky ----------------------------------------------------------------------------------

double SunGlow(double x, double y) {
  double dx = x - kSunX, dy = (y - kSunY) * 1.35;
  double d = std::sqrt(dx * dx + dy * dy);
  return 0.50 * Exp(-d / 60.0) + 0.30 * Exp(-d / 210.0) + 0.16 * Exp(-d / 560.0);
}

Rgb SkyGradient(double y) {
  struct Stop {
    double t;
    Rgb c;
  };
  static constexpr Stop kStops[] = {
      {0.00, {0.17, 0.29, 0.56}}, {0.30, {0.33, 0.52, 0.80}}, {0.58, {0.62, 0.70, 0.85}},
      {0.78, {0.93, 0.78, 0.70}}, {0.92, {0.99, 0.78, 0.58}}, {1.00, {1.00, 0.82, 0.60}},
  };
  double t = Clamp01(y / kWaterY);
  for (std::size_t i = 1; i < std::size(kStops); ++i) {
    if (t <= kStops[i].t) {
      double u = (t - kStops[i - 1].t) / (kStops[i].t - kStops[i - 1].t);
      return Mix(kStops[i - 1].c, kStops[i].c, u * u * (3.0 - 2.0 * u));
    }
  }
  return kStops[std::size(kStops) - 1].c;
}

Rgb SkyAt(double x, double y) {
  Rgb c = SkyGradient(y);
  double g = SunGlow(x, y);
  return Screen(c, Rgb{1.0, 0.80, 0.50} * g);
}

double CloudDensityField(double x, double y, int octaves) {
  double u = x / 360.0, v = y / 62.0;
  double wu = Fbm(u * 0.7, v * 0.5, 3, 11U);
  double wv = Fbm(u * 0.7 + 5.2, v * 0.5 + 1.3, 3, 12U);
  return Fbm(u + 0.9 * wu, v + 0.6 * wv, octaves, 21U, 0.52);
}

void PaintSky(Canvas& cv) {
  for (int y = 0; y < static_cast<int>(kWaterY) + 2; ++y) {
    // Clouds drift in a band across the upper sky, thinning toward the horizon.
    double band = SmoothStep(10.0, 90.0, y) * (1.0 - SmoothStep(250.0, 370.0, y));
    for (int x = 0; x < kWidth; ++x) {
      Rgb c = SkyAt(x, y);
      if (band > 0.0) {
        double n = CloudDensityField(x, y, 6);
        double density = SmoothStep(0.53, 0.74, n - (1.0 - band) * 0.35);
        if (density > 0.0) {
          // Where the cloud thins toward the sun, its face is lit.
          double dx = kSunX - x, dy = kSunY - y;
          double len = std::sqrt(dx * dx + dy * dy) + 1e-9;
          // Only the broad shape decides the light, so fine wisps do not speckle it.
          double n1 = CloudDensityField(x, y, 3);
          double n2 = CloudDensityField(x + dx / len * 12.0, y + dy / len * 12.0, 3);
          double lit = Clamp01(0.5 + (n1 - n2) * 8.0);
          double glow = SunGlow(x, y);
          Rgb shade = Mix(Rgb{0.55, 0.55, 0.74}, Rgb{0.80, 0.62, 0.66}, Clamp01(y / 360.0));
          Rgb light = Mix(Rgb{1.0, 0.93, 0.88}, Rgb{1.0, 0.82, 0.55}, Clamp01(glow * 1.6));
          Rgb cloud = Mix(shade, light, lit * lit * (3.0 - 2.0 * lit));
          // Thin edges near the sun catch a bright rim.
          double rim = (1.0 - density) * density * 4.0 * Clamp01(glow * 2.2);
          cloud = Screen(cloud, Rgb{1.0, 0.86, 0.60} * (rim * 0.7));
          c = Mix(c, cloud, density * 0.92);
        }
      }
      cv.At(x, y) = c;
    }
  }
}

void PaintSun(Canvas& cv) {
  int r = static_cast<int>(kSunRadius) + 60;
  for (int y = static_cast<int>(kSunY) - r; y <= static_cast<int>(kSunY) + r; ++y) {
    for (int x = static_cast<int>(kSunX) - r; x <= static_cast<int>(kSunX) + r; ++x) {
      double dx = x - kSunX, dy = y - kSunY;
      double d = std::sqrt(dx * dx + dy * dy);
      double cover = Clamp01(kSunRadius - d + 0.5);
      Rgb core = Mix(Rgb{1.0, 1.0, 0.96}, Rgb{1.0, 0.93, 0.74}, Pow(Clamp01(d / kSunRadius), 3));
      cv.Blend(x, y, core, cover);
      // A tight bloom, so the disc shines instead of sitting flat on the sky.
      cv.At(x, y) = Screen(cv.At(x, y), Rgb{1.0, 0.90, 0.65} * (0.55 * Exp(-d / 14.0)));
    }
  }
}

void PaintBirds(Canvas& cv) {
  struct Bird {
    double x, y, span;
  };
  static constexpr Bird kBirds[] = {
      {610, 205, 9}, {636, 192, 7}, {652, 214, 6}, {1068, 168, 8}, {1090, 180, 6},
  };
  for (const Bird& b : kBirds) {
    int x0 = static_cast<int>(b.x - b.span) - 2, x1 = static_cast<int>(b.x + b.span) + 2;
    int y0 = static_cast<int>(b.y - b.span) - 2, y1 = static_cast<int>(b.y + b.span) + 2;
    for (int y = y0; y <= y1; ++y) {
      for (int x = x0; x <= x1; ++x) {
        // Distance to the two wing arcs, thinner toward the tips.
        double cover = 0.0;
        for (int i = 0; i <= 60; ++i) {
          double u = -1.0 + i / 30.0, au = std::fabs(u);
          double px = b.x + u * b.span;
          double py = b.y - b.span * 0.42 * Sin(kPi * au) + b.span * 0.18 * au;
          double dx = x - px, dy = y - py;
          double thick = 0.85 * (1.0 - 0.5 * au);
          cover = std::max(cover, Clamp01(thick - std::sqrt(dx * dx + dy * dy) + 0.5));
        }
        cv.Blend(x, y, Rgb{0.24, 0.21, 0.30}, cover * 0.8);
      }
    }
  }
}

// ---- Mountains ----------------------------------------------------------------------------

struct Range {
  double base;   // row of the range's foot
  double amp;    // tallest peaks rise this far above it
  double scale;  // pixels per noise cell
  std::uint32_t seed;
  Rgb color;
  double haze;  // how much of the horizon's light veils it
  double texture;
};

double Envelope(double x, int layer) {
  auto bump = [](double x, double c, double w) {
    double t = (x - c) / w;
    return Exp(-t * t);
  };
  switch (layer) {
    case 0:  // a broad massif on the left, another on the right, a low saddle under the sun
      return 0.35 + 0.75 * bump(x, 430, 300) + 0.55 * bump(x, 1270, 220);
    case 1:
      return 0.40 + 0.65 * bump(x, 250, 260) + 0.50 * bump(x, 1120, 200);
    case 2:
      return 0.55 + 0.45 * bump(x, 620, 240) + 0.45 * bump(x, 1330, 160);
    default:
      return 0.70 + 0.30 * bump(x, 980, 300);
  }
}

double RidgeY(const Range& r, int layer, double x) {
  return r.base - r.amp * Envelope(x, layer) * RidgedFbm(x / r.scale + r.seed * 0.37, 6, r.seed);
}

void PaintRange(Canvas& cv, const Range& r, int layer) {
  // The crest line, with a margin so faces near the picture's edges can look past them.
  constexpr int kMargin = 80;
  std::vector<double> crest(kWidth + 2 * kMargin);
  for (int i = 0; i < static_cast<int>(crest.size()); ++i) {
    crest[i] = RidgeY(r, layer, i - kMargin);
  }
  auto crest_at = [&](double x) {
    double p = std::clamp(x + kMargin, 0.0, crest.size() - 1.001);
    auto i = static_cast<std::size_t>(p);
    return Mix(crest[i], crest[i + 1], p - i);
  };
  for (int x = 0; x < kWidth; ++x) {
    double top = crest_at(x);
    double slope = (crest_at(x + 1.0) - crest_at(x - 1.0)) * 0.5;
    double norm = std::sqrt(1.0 + slope * slope);
    // Which way is toward the sun, eased across it so no seam shows under it.
    double toward_sun = std::clamp((kSunX - x) / 80.0, -1.0, 1.0);
    Rgb haze = SkyAt(x, kWaterY - 6.0);
    for (int y = std::max(0, static_cast<int>(top) - 1); y < static_cast<int>(kWaterY) + 2; ++y) {
      double cover = Clamp01((y - top + 0.5) / norm + 0.5);
      if (cover <= 0.0) continue;
      double depth = y - top;
      // A face below the crest follows the crest's slope over a span that widens with depth,
      // so facets fan out downward from each peak as on a real range.
      double span = std::min(70.0, 1.5 + depth * 0.8);
      double jitter = (Fbm(x / 9.0, y / 22.0, 3, 100U + r.seed) - 0.5) * span * 0.8;
      double face = (crest_at(x + jitter + span) - crest_at(x + jitter - span)) / (2.0 * span);
      double facing = SmoothStep(-0.35, 0.45, face * toward_sun);
      double tex = Fbm(x / 14.0, y / 6.0, 3, 200U + r.seed) - 0.5;
      Rgb shadow = r.color * Rgb{0.70, 0.74, 0.88};
      Rgb lit = Screen(r.color, Rgb{1.0, 0.70, 0.42} * 0.32);
      Rgb c = Mix(shadow, lit, facing * (0.45 + 0.55 * Exp(-depth / 90.0)));
      c = c * (1.0 + tex * r.texture);
      // Snow lingers on the highest far crests.
      if (layer <= 1) {
        double height = (r.base - top) / r.amp;
        double snow = SmoothStep(0.70, 0.92, height) *
                      (1.0 - SmoothStep(3.0, 14.0 + 60.0 * (tex + 0.5) * height, depth));
        c = Mix(c, Mix(Rgb{0.70, 0.72, 0.88}, Rgb{1.0, 0.92, 0.86}, facing), snow * 0.85);
      }
      // Mist gathers in the valley at the range's foot.
      double mist = SmoothStep(top + 12.0, r.base + 14.0, y) * 0.5;
      c = Mix(c, haze, Clamp01(r.haze + (1.0 - r.haze) * mist));
      cv.Blend(x, y, c, cover);
    }
  }
}

void PaintMountains(Canvas& cv) {
  static const Range kRanges[] = {
      {398, 150, 300, 31U, {0.38, 0.40, 0.66}, 0.28, 0.08},
      {422, 105, 210, 47U, {0.25, 0.30, 0.55}, 0.17, 0.12},
      {440, 60, 140, 59U, {0.16, 0.26, 0.40}, 0.10, 0.16},
      {451, 26, 90, 73U, {0.11, 0.21, 0.19}, 0.05, 0.20},
  };
  for (int i = 0; i < 4; ++i) PaintRange(cv, kRanges[i], i);
}

// ---- Trees --------------------------------------------------------------------------------

struct Pine {
  double x, base, height;
  std::uint32_t seed;
  Rgb color;
  double haze;
};

// Where height t (0 at the foot, 1 at the tip) lies within a tier of branches: 0 at the
// tier's lower edge, 1 at its top; -1 on the bare trunk.
double PineTierPosition(const Pine& p, double t) {
  if (t < 0.10) return -1.0;
  double s = (t - 0.10) / 0.90 * std::max(3, static_cast<int>(p.height / 24.0));
  return s - std::floor(s);
}

// Half-width of a pine's silhouette at height t.
double PineHalfWidth(const Pine& p, double t, double y) {
  if (t < 0.0 || t > 1.0) return -1.0;
  double maxw = p.height * 0.21;
  double local = PineTierPosition(p, t);
  if (local < 0.0) return maxw * 0.05 + 0.6;  // trunk
  double u = (t - 0.10) / 0.90;
  double env = maxw * (1.0 - u) * (1.0 - 0.15 * u);
  // Each tier reaches out a little differently, so the tree is not a stack of copies.
  double s = (t - 0.10) / 0.90 * std::max(3, static_cast<int>(p.height / 24.0));
  double reach = 0.80 + 0.35 * Unit(Hash(static_cast<std::uint32_t>(s) * 31U + p.seed));
  double tier = env * reach * (1.0 - 0.55 * local);
  double jag = 0.82 + 0.36 * Noise1(y * 0.45 + p.seed, p.seed);
  return std::max(0.5, tier * jag + 0.4);
}

void PaintPine(Canvas& cv, const Pine& p, bool rim_light) {
  int y0 = static_cast<int>(p.base - p.height) - 1, y1 = static_cast<int>(p.base) + 1;
  double side = kSunX > p.x ? 1.0 : -1.0;
  for (int y = std::max(0, y0); y <= std::min(kHeight - 1, y1); ++y) {
    double t = (p.base - y) / p.height;
    double hw = PineHalfWidth(p, t, y);
    if (hw <= 0.0) continue;
    // The trunk is not ruler-straight: the outline leans with a slow wave.
    double lean = (Noise1(y * 0.02 + p.seed * 0.1, p.seed + 5U) - 0.5) * p.height * 0.02;
    double cx = p.x + lean;
    for (int x = static_cast<int>(cx - hw) - 1; x <= static_cast<int>(cx + hw) + 1; ++x) {
      double dx = x - cx;
      double cover = Clamp01(hw - std::fabs(dx) + 0.5);
      if (cover <= 0.0) continue;
      Rgb c = p.color;
      if (rim_light) {
        double edge = hw - std::fabs(dx);
        // Branch tips at each tier's lower edge catch light; under the next tier is shade.
        double local = std::max(0.0, PineTierPosition(p, t));
        double needles = 0.78 + 0.22 * Noise2(x * 0.35, y * 0.6, p.seed + 9U);
        c = c * (needles * (0.70 + 0.45 * (1.0 - local)) * (0.85 + 0.3 * t));
        if (dx * side > 0.0) {
          double rim = Exp(-edge / 2.2) * Clamp01(0.4 + t);
          c = Screen(c, Rgb{0.95, 0.66, 0.32} * (rim * 0.55));
        }
      }
      c = Mix(c, SkyAt(x, kWaterY - 6.0), p.haze);
      cv.Blend(x, y, c, cover);
    }
  }
}

void PaintFarShore(Canvas& cv) {
  // A dark ribbon of forest along the far shore, denser in some stretches than others.
  Rng rng(901U);
  for (double x = -10.0; x < kWidth + 10.0; x += rng.Range(2.0, 6.5)) {
    double density = 0.55 + 0.45 * Noise1(x / 140.0, 903U);
    if (rng.Next() > density) continue;
    double h = rng.Range(7.0, 15.0) * (0.6 + 0.8 * Noise1(x / 90.0, 905U));
    Pine p{x,
           kWaterY + 2.0,
           h,
           static_cast<std::uint32_t>(rng.Next() * 1e6),
           Mix(Rgb{0.10, 0.18, 0.20}, Rgb{0.14, 0.22, 0.21}, rng.Next()),
           0.16};
    PaintPine(cv, p, false);
  }
  for (int x = 0; x < kWidth; ++x) {
    for (int y = static_cast<int>(kWaterY) - 2; y < static_cast<int>(kWaterY) + 2; ++y) {
      cv.Blend(x, y, Mix(Rgb{0.12, 0.20, 0.21}, SkyAt(x, kWaterY), 0.2), 0.9);
    }
  }
}

// ---- Water --------------------------------------------------------------------------------

void PaintWater(Canvas& cv) {
  const Canvas above = cv;  // the reflection reads the scene as painted so far
  for (int y = static_cast<int>(kWaterY) + 1; y < kHeight; ++y) {
    double dy = y - kWaterY;
    double z = 320.0 / (dy + 1.0);  // distance along the lake surface
    double near = Clamp01(dy / 260.0);
    for (int x = 0; x < kWidth; ++x) {
      double wx = (x - kWidth * 0.5) / (dy + 1.0);
      // Long low swells and short ripples, both stretched across the view.
      double swell = Fbm(wx * 0.8, z * 2.0, 3, 501U) - 0.5;
      double ripple =
          (Noise2(wx * 2.6, z * 11.0, 503U) - 0.5) + 0.5 * (Noise2(wx * 6.5, z * 26.0, 505U) - 0.5);
      double disp = (swell * 0.15 + ripple * 0.30) * (dy + 2.0);
      double ry = 2.0 * kWaterY - y - disp;
      double soft = 0.5 + dy * 0.01;
      Rgb refl = above.Sample(x, ry) * 0.5 + above.Sample(x - soft, ry) * 0.25 +
                 above.Sample(x + soft, ry) * 0.25;
      Rgb deep = Mix(Rgb{0.18, 0.30, 0.40}, Rgb{0.08, 0.19, 0.26}, near);
      double fresnel = Mix(0.94, 0.70, near);
      Rgb c = Mix(deep, refl * Rgb{0.92, 0.95, 0.98}, fresnel);
      // Ripple crests in the sun's path throw back short glints.
      double path = (x - kSunX) / (8.0 + dy * 0.30);
      double column = Exp(-path * path);
      double crest = SmoothStep(0.18, 0.42, ripple + swell * 0.3);
      double glint = crest * column * 0.45;
      // The sun itself, seen in the tilted faces of many ripples: a broken column of light.
      double sy = 2.0 * kWaterY - y - (swell * 0.5 + ripple * 1.7) * (dy + 2.0);
      double sdx = (x - kSunX) * 1.4, sdy = sy - kSunY;
      double sd = std::sqrt(sdx * sdx + sdy * sdy);
      glint += Clamp01((kSunRadius * 1.1 - sd) / 6.0) + 0.35 * Exp(-sd / 20.0);
      c = Screen(c, Rgb{1.0, 0.90, 0.66} * Clamp01(glint * 0.9));
      // Calm patches lie a shade lighter than the rippled water around them.
      double calm = Noise2(wx * 0.3, z * 1.1, 509U);
      c = c * (0.97 + 0.06 * SmoothStep(0.6, 0.9, calm));
      cv.At(x, y) = c;
    }
  }
}

// ---- Foreground banks ---------------------------------------------------------------------

double LeftBankY(double x) {
  double t = x / 390.0;
  return 476.0 + 160.0 * t * t * (0.6 + 0.4 * t) + 10.0 * (Noise1(x / 60.0, 601U) - 0.5);
}
double RightBankY(double x) {
  double t = (kWidth - x) / 230.0;
  return 522.0 + 110.0 * t * t * (0.55 + 0.45 * t) + 8.0 * (Noise1(x / 50.0, 603U) - 0.5);
}
double MeadowY(double x) {
  return 690.0 + 24.0 * (Fbm(x / 220.0, 0.3, 3, 605U) - 0.5);
}
double GroundY(double x) {
  return std::min({LeftBankY(x), RightBankY(x), MeadowY(x)});
}

void PaintGround(Canvas& cv) {
  for (int x = 0; x < kWidth; ++x) {
    double top = GroundY(x);
    double slope = (GroundY(x + 1.0) - GroundY(x - 1.0)) * 0.5;
    double norm = std::sqrt(1.0 + slope * slope);
    for (int y = std::max(0, static_cast<int>(top) - 1); y < kHeight; ++y) {
      double cover = Clamp01((y - top + 0.5) / norm + 0.5);
      if (cover <= 0.0) continue;
      double depth = y - top;
      double tex = Fbm(x / 34.0, y / 11.0, 4, 611U);
      double patches = Fbm(x / 150.0, y / 50.0, 3, 613U);
      Rgb grass = Mix(Rgb{0.15, 0.29, 0.10}, Rgb{0.31, 0.47, 0.16}, patches);
      grass = grass * (0.82 + 0.36 * tex);
      // The crest of each bank catches the low sun.
      double crest = Exp(-depth / 26.0);
      grass = Mix(grass, Screen(grass, Rgb{0.85, 0.62, 0.25} * 0.6), crest * 0.8);
      // Lower and nearer ground is in the shade of the trees.
      grass = grass * (1.0 - 0.35 * SmoothStep(0.0, 160.0, depth));
      cv.Blend(x, y, grass, cover);
    }
  }
}

void PaintBlade(Canvas& cv, double bx, double by, double h, double lean, double w, Rgb base,
                Rgb tip) {
  for (int y = static_cast<int>(by - h); y <= static_cast<int>(by); ++y) {
    double t = (by - y) / h;  // 0 at the root, 1 at the tip
    if (t < 0.0 || t > 1.0) continue;
    double cx = bx + lean * t * t * h;
    double hw = w * (1.0 - t) + 0.25;
    Rgb c = Mix(base, tip, t);
    for (int x = static_cast<int>(cx - hw) - 1; x <= static_cast<int>(cx + hw) + 1; ++x) {
      cv.Blend(x, y, c, Clamp01(hw - std::fabs(x - cx) + 0.5));
    }
  }
}

void PaintTuft(Canvas& cv, Rng& rng, double x, double y, double scale, double shade, int blades) {
  for (int i = 0; i < blades; ++i) {
    double bx = x + rng.Range(-3.0, 3.0) * scale;
    double h = rng.Range(6.0, 17.0) * scale;
    double lean = rng.Range(-0.45, 0.45);
    double w = rng.Range(0.7, 1.3) * scale;
    double s = shade * rng.Range(0.75, 1.1);
    Rgb base = Rgb{0.12, 0.25, 0.09} * s;
    Rgb tip = Mix(Rgb{0.38, 0.54, 0.17}, Rgb{0.80, 0.68, 0.30}, rng.Next()) * s;
    PaintBlade(cv, bx, y + rng.Range(0.0, 2.0), h, lean, w, base, tip);
  }
}

void PaintFlower(Canvas& cv, double fx, double fy, double r, Rgb petal) {
  for (int y = static_cast<int>(fy - r) - 1; y <= static_cast<int>(fy + r) + 1; ++y) {
    for (int x = static_cast<int>(fx - r) - 1; x <= static_cast<int>(fx + r) + 1; ++x) {
      double d = std::sqrt((x - fx) * (x - fx) + (y - fy) * (y - fy));
      Rgb c = d < r * 0.45 ? Rgb{0.95, 0.75, 0.25} : petal;
      cv.Blend(x, y, c, Clamp01(r - d + 0.5));
    }
  }
}

void PaintGrass(Canvas& cv) {
  Rng rng(701U);
  // A fringe of blades along each crest, against the light.
  for (int i = 0; i < 2600; ++i) {
    double x = rng.Range(-5.0, kWidth + 5.0);
    double y = GroundY(x) + rng.Range(1.0, 5.0);
    if (y >= kHeight) continue;
    PaintTuft(cv, rng, x, y, 1.0, 1.0, 1);
  }
  // Tufts and flowers scattered down the banks, larger as they come nearer.
  for (int i = 0; i < 1100; ++i) {
    double x = rng.Range(-5.0, kWidth + 5.0);
    double depth = rng.Range(10.0, 260.0);
    double y = GroundY(x) + depth;
    if (y >= kHeight + 10) continue;
    double scale = 1.0 + depth / 120.0;
    double shade = 1.0 - 0.3 * SmoothStep(0.0, 200.0, depth);
    PaintTuft(cv, rng, x, y, scale, shade, 5);
    if (rng.Next() < 0.16) {
      static constexpr Rgb kPetals[] = {{0.98, 0.96, 0.88}, {0.98, 0.86, 0.40}, {0.95, 0.66, 0.78}};
      Rgb petal = kPetals[static_cast<int>(rng.Next() * 3.0) % 3] * shade;
      PaintFlower(cv, x + rng.Range(-4.0, 4.0), y - rng.Range(4.0, 10.0) * scale, 1.3 * scale,
                  petal);
    }
  }
}

void PaintForegroundPines(Canvas& cv) {
  struct Spot {
    double x, height;
  };
  static constexpr Spot kLeft[] = {{-18, 400}, {62, 452}, {148, 330}, {228, 205}, {290, 120}};
  static constexpr Spot kRight[] = {{1248, 150}, {1300, 270}, {1362, 360}, {1410, 300}};
  std::uint32_t seed = 801U;
  auto paint = [&](const Spot& s) {
    Pine p{s.x, GroundY(s.x) + 6.0, s.height, seed++, Rgb{0.06, 0.15, 0.10}, 0.0};
    PaintPine(cv, p, true);
  };
  for (const Spot& s : kLeft) paint(s);
  for (const Spot& s : kRight) paint(s);
}

void Vignette(Canvas& cv) {
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      double dx = (x - kWidth * 0.5) / (kWidth * 0.5);
      double dy = (y - kVisibleHeight * 0.5) / (kVisibleHeight * 0.5);
      double k = 1.0 - 0.10 * (dx * dx + dy * dy * 0.6);
      cv.At(x, y) = cv.At(x, y) * std::max(0.0, k);
    }
  }
}

std::uint8_t Quantise(double v, double dither) {
  double q = std::floor(Clamp01(v) * 255.0 + 0.5 + dither);
  return static_cast<std::uint8_t>(std::clamp(q, 0.0, 255.0));
}

}  // namespace

std::vector<std::uint8_t> RenderScene() {
  Canvas cv;
  PaintSky(cv);
  PaintBirds(cv);
  PaintMountains(cv);
  PaintFarShore(cv);
  PaintWater(cv);  // mirrors the sky's glow; the sun's own reflection is drawn as glitter
  PaintSun(cv);
  PaintGround(cv);
  PaintForegroundPines(cv);
  PaintGrass(cv);
  Vignette(cv);

  std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * kHeight * 4);
  std::size_t i = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      // Triangular dither of under one step hides banding in the smooth sky.
      auto h = Hash2(x, y, 4242U);
      double d = (Unit(h) + Unit(Hash(h)) - 1.0) * 0.6;
      const Rgb& c = cv.At(x, y);
      out[i++] = Quantise(c.r, d);
      out[i++] = Quantise(c.g, d);
      out[i++] = Quantise(c.b, d);
      out[i++] = 255;
    }
  }
  return out;
}

}  // namespace quorvel::splash
