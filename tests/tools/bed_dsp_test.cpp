// The noise bed and the loudness stage on their own: spectra measured from generated noise,
// peaks measured by the R128 meter on what the limiter lets out.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "tools/loudness.h"
#include "tools/noise.h"

using namespace caldrith_render;

namespace {

constexpr double kPi = 3.14159265358979323846;

void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    std::complex<double> step = std::polar(1.0, -2.0 * kPi / len);
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1.0;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Welch's averaged periodogram (Hann, half overlap), summed into third-octave bands from 40 Hz
// to 12 kHz (or 0.45 x rate): log2 of each band's centre and its level in dB.
void BandLevels(NoiseGenerator& gen, double rate, int segments, std::vector<double>* x,
                std::vector<double>* y) {
  size_t n = 1;
  while (n < rate / 3) n <<= 1;
  std::vector<double> left((segments + 1) * n / 2), right(left.size()), power(n / 2, 0.0);
  gen.Generate(left.data(), right.data(), static_cast<int>(left.size()));
  std::vector<std::complex<double>> buf(n);
  for (int s = 0; s < segments; ++s) {
    for (size_t i = 0; i < n; ++i)
      buf[i] = left[s * n / 2 + i] * (0.5 - 0.5 * std::cos(2 * kPi * i / n));
    Fft(buf);
    for (size_t k = 0; k < n / 2; ++k) power[k] += std::norm(buf[k]);
  }
  const double top = std::min(12000.0, 0.45 * rate);
  for (double lo = 40.0; lo * std::cbrt(2.0) <= top * 1.0001; lo *= std::cbrt(2.0)) {
    double sum = 0.0;
    size_t k0 = static_cast<size_t>(std::ceil(lo * n / rate));
    size_t k1 = static_cast<size_t>(std::ceil(lo * std::cbrt(2.0) * n / rate));
    for (size_t k = k0; k < k1; ++k) sum += power[k];
    x->push_back(std::log2(std::sqrt(k0 * (k1 - 1.0)) * rate / n));
    y->push_back(10.0 * std::log10(sum / (k1 - k0)));
  }
}

double Rms(const std::vector<double>& v) {
  double s = 0.0;
  for (double a : v) s += a * a;
  return std::sqrt(s / v.size());
}

}  // namespace

TEST(NoiseBed, SlopesAreStraightLinesAtTheRMSOfOne) {
  struct Case {
    double rate;
    NoiseColor color;
    double slope;
  } cases[] = {{44100, NoiseColor::kPink, -3.0103},
               {48000, NoiseColor::kBrown, -6.0206},
               {96000, NoiseColor::kPink, -3.0103},
               {96000, NoiseColor::kBrown, -6.0206},
               {8000, NoiseColor::kBrown, -6.0206}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz, slope " << c.slope);
    NoiseGenerator gen(c.rate, 42, false);
    gen.SetColor(c.color);
    std::vector<double> x, y;
    BandLevels(gen, c.rate, 400, &x, &y);
    double mx = 0, my = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); ++i) mx += x[i] / x.size(), my += y[i] / y.size();
    for (size_t i = 0; i < x.size(); ++i) {
      sxx += (x[i] - mx) * (x[i] - mx);
      sxy += (x[i] - mx) * (y[i] - my);
    }
    const double slope = sxy / sxx;
    EXPECT_NEAR(slope, c.slope, 0.05);
    for (size_t i = 0; i < x.size(); ++i) {
      EXPECT_NEAR(y[i], my + slope * (x[i] - mx), 0.5) << "band at " << std::exp2(x[i]) << " Hz";
    }
    // Brown's power sits low: five minutes for an RMS that means something (pink: half one).
    std::vector<double> l(1 << 16), r(l.size());
    double sl = 0, sr = 0;
    const int chunks = static_cast<int>((c.color == NoiseColor::kBrown ? 300 : 30) * c.rate) >> 16;
    for (int k = 0; k < chunks; ++k) {
      gen.Generate(l.data(), r.data(), static_cast<int>(l.size()));
      sl += Rms(l) * Rms(l) / chunks, sr += Rms(r) * Rms(r) / chunks;
    }
    EXPECT_NEAR(10 * std::log10(sl), 0.0, 0.2);
    EXPECT_NEAR(10 * std::log10(sr), 0.0, 0.2);
  }
  // Between the rates measured, and near Nyquist, the fitted filters themselves.
  for (double rate : {8000.0, 11025.0, 22050.0, 32000.0, 88200.0, 192000.0, 384000.0}) {
    NoiseGenerator gen(rate, 1, false);
    for (NoiseColor color : {NoiseColor::kPink, NoiseColor::kBrown}) {
      const double slope = color == NoiseColor::kPink ? -3.0103 : -6.0206;
      const double top = std::min(12000.0, 0.45 * rate);
      const double ref = gen.ResponseDb(color, 1000.0) - slope * std::log2(1000.0);
      for (double hz = 40.0; hz <= top; hz *= 1.1) {
        EXPECT_NEAR(gen.ResponseDb(color, hz) - slope * std::log2(hz), ref, 0.3)
            << rate << " Hz rate, " << hz << " Hz";
      }
    }
  }
}

TEST(NoiseBed, SeededIndependentChannelsMonoAndColourChanges) {
  const int n = 1 << 18;
  std::vector<double> l(n), r(n), l2(n), r2(n);
  NoiseGenerator a(48000, 7, false), b(48000, 7, false), other(48000, 8, false);
  for (NoiseGenerator* g : {&a, &b, &other}) g->SetColor(NoiseColor::kPink);
  a.Generate(l.data(), r.data(), n);
  b.Generate(l2.data(), r2.data(), n);
  EXPECT_EQ(l, l2);
  EXPECT_EQ(r, r2);
  double lr = 0;
  for (int i = 0; i < n; ++i) lr += l[i] * r[i];
  EXPECT_LT(std::fabs(lr / n), 0.05);  // both at an RMS of 1
  other.Generate(l2.data(), r2.data(), n);
  EXPECT_NE(l, l2);

  NoiseGenerator mono(44100, 7, true);
  for (NoiseColor color : {NoiseColor::kWhite, NoiseColor::kBrown, NoiseColor::kOff,
                           NoiseColor::kPink, NoiseColor::kBrown, NoiseColor::kWhite}) {
    mono.SetColor(color);
    mono.Generate(l.data(), r.data(), 44100);
    for (int i = 0; i < 44100; ++i) {
      ASSERT_EQ(l[i], r[i]);
      ASSERT_LT(std::fabs(l[i]), 8.0);
      if (color == NoiseColor::kOff) {
        ASSERT_EQ(l[i], 0.0);
      }
    }
  }
  EXPECT_THROW(NoiseGenerator(4000, 1, false), std::invalid_argument);
}

TEST(LoudnessStage, MeterReadsSineAndSilence) {
  LoudnessMeter meter(48000, 2);
  std::vector<double> sine(2 * 48000 * 3);
  const double amplitude = std::pow(10.0, -23.0 / 20.0);
  for (size_t i = 0; i < sine.size(); ++i) {
    sine[i] = amplitude * std::sin(2 * kPi * 1000.0 * (i / 2) / 48000.0);
  }
  meter.Add(sine.data(), sine.size() / 2);
  EXPECT_NEAR(meter.Integrated(), -23.0, 0.1);
  EXPECT_NEAR(meter.SamplePeakDb(), -23.0, 0.05);
  LoudnessMeter silent(44100, 2);
  std::vector<double> zeros(2 * 44100);
  silent.Add(zeros.data(), 44100);
  EXPECT_LT(silent.Integrated(), -70.0);
  EXPECT_LT(silent.TruePeakDb(), -200.0);
  EXPECT_THROW(LoudnessMeter(48000, 0), std::runtime_error);
}

TEST(LoudnessStage, LimiterHoldsTheCeilingAndPassesWhatIsBelowIt) {
  const int rate = 48000;
  const double ceiling = -1.0;
  NoiseGenerator noise(rate, 3, false);
  noise.SetColor(NoiseColor::kWhite);
  std::vector<double> nl(rate * 5), nr(nl.size());
  noise.Generate(nl.data(), nr.data(), static_cast<int>(nl.size()));
  // Each signal: 1 s quiet noise, then the loud part from 1 s to 3 s, then quiet noise.
  struct Case {
    const char* name;
    double (*loud)(int i, double noise);
  } cases[] = {
      // Sample peaks at +3 dBFS, true peaks at +6: the overs lie between the samples.
      {"quarter-rate sine", [](int i, double) { return 2.0 * std::sin(kPi / 2 * i + kPi / 4); }},
      {"sine near Nyquist", [](int i, double) { return 1.5 * std::sin(2 * kPi * 0.43 * i); }},
      {"noise bursts", [](int i, double n) { return (i / 4800) % 2 ? 3.0 * n : 0.1 * n; }},
      {"broken samples", [](int i, double n) { return i % 997 ? n : std::nan(""); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> in(2 * nl.size());
    for (int i = 0; i < static_cast<int>(nl.size()); ++i) {
      bool loud = i >= rate && i < 3 * rate;
      in[2 * i] = loud ? c.loud(i, nl[i]) : 0.05 * nl[i];
      in[2 * i + 1] = loud ? c.loud(i + 1, nr[i]) : 0.05 * nr[i];
    }
    TruePeakLimiter limiter(rate, ceiling);
    std::vector<double> out = in;
    for (size_t at = 0; at < nl.size(); at += 1000) {
      limiter.Process(&out[2 * at], static_cast<int>(std::min<size_t>(1000, nl.size() - at)));
    }
    const int lag = limiter.Latency();
    LoudnessMeter meter(rate, 2);
    meter.Add(&out[2 * lag], nl.size() - lag);
    EXPECT_LE(meter.TruePeakDb(), ceiling);
    EXPECT_GT(limiter.MaxReductionDb(), 0.5);
    // Before the loud part arrives in the look-ahead, the input bit for bit.
    for (int i = 0; i < rate - lag; ++i) ASSERT_EQ(out[2 * (i + lag)], in[2 * i]) << i;
    // A second after it, back to within 0.1 dB of the input.
    for (int i = 4 * rate; i < 5 * rate - lag; ++i) {
      ASSERT_NEAR(out[2 * (i + lag)], in[2 * i], std::fabs(in[2 * i]) * 0.012) << i;
    }
  }
  // A quiet signal is left alone.
  TruePeakLimiter quiet(44100, -1.0);
  std::vector<double> q(2 * nl.size());
  for (size_t i = 0; i < nl.size(); ++i) q[2 * i] = 0.2 * nl[i], q[2 * i + 1] = 0.2 * nr[i];
  std::vector<double> qo = q;
  quiet.Process(qo.data(), static_cast<int>(nl.size()));
  for (size_t i = 0; i + quiet.Latency() < nl.size(); ++i) {
    ASSERT_EQ(qo[2 * (i + quiet.Latency())], q[2 * i]);
  }
  EXPECT_EQ(quiet.MaxReductionDb(), 0.0);
}
