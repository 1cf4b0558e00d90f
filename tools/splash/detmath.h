// Arithmetic for the splash picture that gives the same bits on every build.
// The committed PNG must match the generator byte for byte, so the picture uses only
// +, -, *, / and sqrt (all exactly rounded) plus integer hashing; libm's exp and sin may
// differ in the last bit between library versions, which would move a pixel by one.
#pragma once

#include <cmath>
#include <cstdint>

namespace quorvel::splash {

inline double Clamp01(double v) {
  return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}
inline double Mix(double a, double b, double t) {
  return a + (b - a) * t;
}
inline double SmoothStep(double e0, double e1, double v) {
  double t = Clamp01((v - e0) / (e1 - e0));
  return t * t * (3.0 - 2.0 * t);
}

// e^x for the small ranges the picture needs; range-reduced Taylor series.
inline double Exp(double x) {
  if (x < -700.0) return 0.0;
  if (x > 700.0) x = 700.0;
  constexpr double kLn2 = 0.69314718055994530942;
  double k = std::floor(x / kLn2 + 0.5);
  double r = x - k * kLn2;  // |r| <= ln2 / 2
  double term = 1.0, sum = 1.0;
  for (int i = 1; i <= 13; ++i) {
    term = term * r / i;
    sum += term;
  }
  return std::ldexp(sum, static_cast<int>(k));
}

// sin(x) by reduction to [-pi, pi] and a Taylor series.
inline double Sin(double x) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kTwoPi = 2.0 * kPi;
  x -= kTwoPi * std::floor(x / kTwoPi + 0.5);
  double x2 = x * x, term = x, sum = x;
  for (int i = 1; i <= 11; ++i) {
    term = -term * x2 / ((2 * i) * (2 * i + 1));
    sum += term;
  }
  return sum;
}

inline double Pow(double base, int n) {
  double r = 1.0;
  for (int i = 0; i < n; ++i) r *= base;
  return r;
}

inline std::uint32_t Hash(std::uint32_t x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

inline std::uint32_t Hash2(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  return Hash(static_cast<std::uint32_t>(x) * 0x9E3779B1U ^
              Hash(static_cast<std::uint32_t>(y) ^ (seed * 0x85EBCA77U)));
}

// Uniform in [0, 1).
inline double Unit(std::uint32_t h) {
  return (h >> 8) * (1.0 / 16777216.0);
}

// Small deterministic random stream for placing trees, blades and birds.
class Rng {
 public:
  explicit Rng(std::uint32_t seed) : state_(seed) {}
  double Next() {
    state_ = Hash(state_ + 0x9E3779B9U);
    return Unit(state_);
  }
  double Range(double lo, double hi) { return lo + (hi - lo) * Next(); }

 private:
  std::uint32_t state_;
};

// Value noise in [0, 1] with quintic interpolation.
inline double Noise2(double x, double y, std::uint32_t seed) {
  double fx = std::floor(x), fy = std::floor(y);
  auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
  double tx = x - fx, ty = y - fy;
  double ux = tx * tx * tx * (tx * (tx * 6.0 - 15.0) + 10.0);
  double uy = ty * ty * ty * (ty * (ty * 6.0 - 15.0) + 10.0);
  double a = Unit(Hash2(ix, iy, seed)), b = Unit(Hash2(ix + 1, iy, seed));
  double c = Unit(Hash2(ix, iy + 1, seed)), d = Unit(Hash2(ix + 1, iy + 1, seed));
  return Mix(Mix(a, b, ux), Mix(c, d, ux), uy);
}

inline double Noise1(double x, std::uint32_t seed) {
  return Noise2(x, 0.5, seed);
}

// Fractal sum of octaves, normalised to [0, 1].
inline double Fbm(double x, double y, int octaves, std::uint32_t seed, double gain = 0.5) {
  double sum = 0.0, amp = 1.0, norm = 0.0;
  for (int i = 0; i < octaves; ++i) {
    sum += amp * Noise2(x, y, seed + static_cast<std::uint32_t>(i) * 1013U);
    norm += amp;
    amp *= gain;
    // Rotate-ish shear between octaves keeps the grid from lining up.
    double nx = x * 1.6 + y * 1.2 + 17.3, ny = -x * 1.2 + y * 1.6 + 5.1;
    x = nx;
    y = ny;
  }
  return sum / norm;
}

// Sharp-crested octaves for mountain ridges, in [0, 1].
inline double RidgedFbm(double x, int octaves, std::uint32_t seed) {
  double sum = 0.0, amp = 1.0, norm = 0.0;
  for (int i = 0; i < octaves; ++i) {
    double n = Noise1(x, seed + static_cast<std::uint32_t>(i) * 7919U);
    n = 1.0 - std::fabs(2.0 * n - 1.0);
    sum += amp * n * n;
    norm += amp;
    amp *= 0.5;
    x = x * 2.03 + 3.7;
  }
  return sum / norm;
}

}  // namespace quorvel::splash
