#include "tools/noise.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace caldrith_render {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The source is uniform in [-1, 1): variance 1/3.
const double kUniformToUnitRms = std::sqrt(3.0);

uint64_t SplitMix(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// One draw makes a frame: each half of it a signed fraction in [-1, 1) in steps of 2^-31 (far
// below a 24-bit file's step), the same on every machine. The lowest few bits, the generator's
// weakest, land at 2^-29 and below.
inline double High(uint64_t bits) {
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(bits >> 32))) * 0x1.0p-31;
}
inline double Low(uint64_t bits) {
  return static_cast<double>(static_cast<int32_t>(static_cast<uint32_t>(bits))) * 0x1.0p-31;
}

// First-order sections (1 - z q^-1) / (1 - p q^-1) in cascade.
double SectionsDb(const double* pole, const double* zero, int count, double cosw) {
  double g = 0.0;
  for (int k = 0; k < count; ++k) {
    g += std::log10((1.0 - 2.0 * zero[k] * cosw + zero[k] * zero[k]) /
                    (1.0 - 2.0 * pole[k] * cosw + pole[k] * pole[k]));
  }
  return 10.0 * g;
}

bool SolveInPlace(std::vector<double>& a, std::vector<double>& b, int n) {
  for (int c = 0; c < n; ++c) {
    int piv = c;
    for (int r = c + 1; r < n; ++r) {
      if (std::fabs(a[r * n + c]) > std::fabs(a[piv * n + c])) piv = r;
    }
    if (!(std::fabs(a[piv * n + c]) > 1e-300)) return false;
    for (int k = 0; k < n; ++k) std::swap(a[c * n + k], a[piv * n + k]);
    std::swap(b[c], b[piv]);
    for (int r = c + 1; r < n; ++r) {
      double f = a[r * n + c] / a[c * n + c];
      for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
      b[r] -= f * b[c];
    }
  }
  for (int c = n - 1; c >= 0; --c) {
    double s = b[c];
    for (int k = c + 1; k < n; ++k) s -= a[c * n + k] * b[k];
    b[c] = s / a[c * n + c];
  }
  return true;
}

// Levenberg-Marquardt on the poles and zeros of sections 1..count-1 (section 0, the DC block,
// stays), least squares in dB against a line of `slope` dB per octave with a free offset, on
// log-spaced points from `lowHz` to `highHz`. Pole/zero pairs placed by the matched z-transform
// bend near Nyquist; this straightens them at every rate.
void FitSlope(double* pole, double* zero, int count, double rate, double slope, double lowHz,
              double highHz) {
  const int n = 200, params = 2 * count + 1;
  const double dbPerNeper = 10.0 / std::log(10.0);
  const double poleMax = std::exp(-2.0 * kPi * 2.0 / rate);  // bounds the impulse response
  std::vector<double> cosw(n), line(n);
  for (int i = 0; i < n; ++i) {
    double hz = lowHz * std::pow(highHz / lowHz, i / (n - 1.0));
    cosw[i] = std::cos(2.0 * kPi * hz / rate);
    line[i] = slope * std::log2(hz);
  }
  std::vector<double> p(pole, pole + count), z(zero, zero + count);
  auto cost = [&](const std::vector<double>& tp, const std::vector<double>& tz, double off) {
    double c = 0.0;
    for (int i = 0; i < n; ++i) {
      double e = SectionsDb(tp.data(), tz.data(), count, cosw[i]) - line[i] - off;
      c += e * e;
    }
    return c;
  };
  double offset = 0.0;
  for (int i = 0; i < n; ++i) offset += SectionsDb(p.data(), z.data(), count, cosw[i]) - line[i];
  offset /= n;
  double current = cost(p, z, offset), lambda = 1e-3;
  std::vector<double> jtj(params * params), jte(params), jac(params), a, d;
  for (int iteration = 0; iteration < 60; ++iteration) {
    std::fill(jtj.begin(), jtj.end(), 0.0);
    std::fill(jte.begin(), jte.end(), 0.0);
    for (int i = 0; i < n; ++i) {
      double c = cosw[i];
      double e = SectionsDb(p.data(), z.data(), count, c) - line[i] - offset;
      jac[0] = jac[1] = 0.0;
      for (int k = 1; k < count; ++k) {
        jac[2 * k] = dbPerNeper * 2.0 * (z[k] - c) / (1.0 - 2.0 * z[k] * c + z[k] * z[k]);
        jac[2 * k + 1] = -dbPerNeper * 2.0 * (p[k] - c) / (1.0 - 2.0 * p[k] * c + p[k] * p[k]);
      }
      jac[params - 1] = -1.0;
      for (int r = 0; r < params; ++r) {
        jte[r] += jac[r] * e;
        for (int s = 0; s < params; ++s) jtj[r * params + s] += jac[r] * jac[s];
      }
    }
    for (;;) {
      a = jtj;
      d = jte;
      for (int r = 0; r < params; ++r)
        a[r * params + r] = a[r * params + r] * (1.0 + lambda) + 1e-9;
      bool solved = SolveInPlace(a, d, params);
      std::vector<double> tp = p, tz = z;
      for (int k = 1; solved && k < count; ++k) {
        tz[k] = std::clamp(z[k] - d[2 * k], -0.95, 0.9999999);
        tp[k] = std::clamp(p[k] - d[2 * k + 1], -0.95, poleMax);
      }
      double tOffset = offset - d[params - 1];
      double next = solved ? cost(tp, tz, tOffset) : current;
      if (next < current) {
        p = tp;
        z = tz;
        offset = tOffset;
        current = next;
        lambda = std::max(lambda * 0.3, 1e-9);
        break;
      }
      lambda *= 10.0;
      if (lambda > 1e8) {
        iteration = 1 << 20;  // converged: no step lowers the error
        break;
      }
    }
  }
  std::copy(p.begin(), p.end(), pole);
  std::copy(z.begin(), z.end(), zero);
}

}  // namespace

uint64_t NoiseGenerator::Rng::Next() {
  const uint64_t result = s[0] + s[3];
  const uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = (s[3] << 45) | (s[3] >> 19);
  return result;
}

NoiseGenerator::NoiseGenerator(double rate, uint64_t seed, bool mono) : mRate(rate), mMono(mono) {
  if (!(rate >= 8000.0 && rate <= 384000.0)) {
    throw std::invalid_argument("noise: sample rate outside 8000..384000 Hz");
  }
  uint64_t sm = seed;
  for (uint64_t& word : mRng.s) word = SplitMix(&sm);
  Design(NoiseColor::kPink, &mPink);
  Design(NoiseColor::kBrown, &mBrown);
}

void NoiseGenerator::Design(NoiseColor color, Filter* out) const {
  // Section 0 blocks DC (brown higher, so that it never wanders); then pole/zero pairs two
  // octaves apart from 5 Hz to Nyquist, the zero half-way for pink and nearly at the next pole
  // for brown, then fitted to the straight line.
  const bool brown = color == NoiseColor::kBrown;
  const double blockHz = brown ? 8.0 : 4.0, zeroAt = brown ? 0.9 : 0.5;
  Filter f;
  f.pole[0] = std::exp(-2.0 * kPi * blockHz / mRate);
  f.zero[0] = 1.0;
  f.count = 1;
  for (double hz = 5.0; hz < 0.5 * mRate && f.count < kMaxSections; hz *= 4.0, ++f.count) {
    f.pole[f.count] = std::exp(-2.0 * kPi * hz / mRate);
    f.zero[f.count] = std::exp(-2.0 * kPi * hz * std::pow(4.0, zeroAt) / mRate);
  }
  FitSlope(f.pole, f.zero, f.count, mRate,
           brown ? -20.0 * std::log10(2.0) : -10.0 * std::log10(2.0), 25.0, 0.47 * mRate);

  // Power gain from the impulse response, run until its tail no longer counts.
  double pmax = 0.0;
  for (int k = 0; k < f.count; ++k) pmax = std::max(pmax, std::fabs(f.pole[k]));
  const long steps = static_cast<long>(std::ceil(40.0 / (-2.0 * std::log(pmax)))) + 64;
  double state[kMaxSections] = {}, energy = 0.0;
  for (long i = 0; i < steps; ++i) {
    double x = i == 0 ? 1.0 : 0.0;
    for (int k = 0; k < f.count; ++k) {
      double y = x + state[k];
      state[k] = f.pole[k] * y - f.zero[k] * x;
      x = y;
    }
    energy += x * x;
  }
  f.gain = kUniformToUnitRms / std::sqrt(energy);
  *out = f;
}

const NoiseGenerator::Filter* NoiseGenerator::Current() const {
  return mColor == NoiseColor::kPink ? &mPink : mColor == NoiseColor::kBrown ? &mBrown : nullptr;
}

void NoiseGenerator::SetColor(NoiseColor color) {
  if (color != NoiseColor::kWhite && color != NoiseColor::kPink && color != NoiseColor::kBrown) {
    color = NoiseColor::kOff;  // a value from nowhere in the enumeration is silence, not noise
  }
  if (color == mColor) return;
  mColor = color;
  for (auto& s : mState) s[0] = s[1] = 0.0;
}

double NoiseGenerator::ResponseDb(NoiseColor color, double hz) const {
  const Filter& f = color == NoiseColor::kBrown ? mBrown : mPink;
  if (color != NoiseColor::kPink && color != NoiseColor::kBrown) return 0.0;
  return SectionsDb(f.pole, f.zero, f.count, std::cos(2.0 * kPi * hz / mRate)) +
         20.0 * std::log10(f.gain / kUniformToUnitRms);
}

void NoiseGenerator::Generate(double* left, double* right, int frames) {
  if (frames <= 0) return;
  if (mColor == NoiseColor::kOff) {
    std::fill(left, left + frames, 0.0);
    std::fill(right, right + frames, 0.0);
    return;
  }
  const Filter* f = Current();
  if (!f) {
    for (int i = 0; i < frames; ++i) {
      const uint64_t bits = mRng.Next();
      left[i] = High(bits) * kUniformToUnitRms;
      right[i] = (mMono ? left[i] : Low(bits) * kUniformToUnitRms);
    }
    return;
  }
  switch (f->count) {
#define CALDRITH_NOISE_CASE(n)               \
  case n:                                    \
    RunSections<n>(*f, left, right, frames); \
    return;
    CALDRITH_NOISE_CASE(1)
    CALDRITH_NOISE_CASE(2)
    CALDRITH_NOISE_CASE(3)
    CALDRITH_NOISE_CASE(4)
    CALDRITH_NOISE_CASE(5)
    CALDRITH_NOISE_CASE(6)
    CALDRITH_NOISE_CASE(7)
    CALDRITH_NOISE_CASE(8)
    CALDRITH_NOISE_CASE(9)
    CALDRITH_NOISE_CASE(10)
    CALDRITH_NOISE_CASE(11)
    CALDRITH_NOISE_CASE(12)
    CALDRITH_NOISE_CASE(13)
    CALDRITH_NOISE_CASE(14)
    CALDRITH_NOISE_CASE(15)
    CALDRITH_NOISE_CASE(16)
#undef CALDRITH_NOISE_CASE
    default:
      return;
  }
}

// The section count fixed at compile time keeps the whole state in registers; both channels
// sit side by side in one vector, so the sections run once for the pair. Direct form I: the
// recursion through each section is one multiply and one add long.
template <int N>
void NoiseGenerator::RunSections(const Filter& f, double* left, double* right, int frames) {
  typedef double Pair __attribute__((vector_size(16)));
  Pair pole[N], zero[N], last[N + 1];
  for (int k = 0; k < N; ++k) {
    pole[k] = Pair{f.pole[k], f.pole[k]};
    zero[k] = Pair{f.zero[k], f.zero[k]};
  }
  for (int k = 0; k <= N; ++k) last[k] = Pair{mState[k][0], mState[k][1]};
  const Pair gain = {f.gain, f.gain};
  Rng rng = mRng;
  for (int i = 0; i < frames; ++i) {
    const uint64_t bits = rng.Next();
    const double l = High(bits);
    Pair x = {l, mMono ? l : Low(bits)};
    for (int k = 0; k < N; ++k) {
      Pair y = pole[k] * last[k + 1] + (x - zero[k] * last[k]);
      last[k] = x;
      x = y;
    }
    last[N] = x;
    x *= gain;
    left[i] = x[0];
    right[i] = x[1];
  }
  for (int k = 0; k <= N; ++k) {
    mState[k][0] = last[k][0];
    mState[k][1] = last[k][1];
  }
  mRng = rng;
}

}  // namespace caldrith_render
