// Every wave at sample rates from 8 kHz to 384 kHz with the parameters at the ends of their
// ranges: both sweep directions, 1 and 16 tones, the slowest and fastest pulse and sweep,
// the strongest curvatures both ways, break positions at both ends, all at full volume with
// every loudness weight at its top. The output stays finite and within full scale, and after
// minutes of silence no number in the engine's state is subnormal.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "instrument_helpers.h"

using caldrith_test::MakeReady;
using caldrith_test::Render;
using caldrith_test::SetParam;
using caldrith_test::SetTransport;

namespace {

const double kRates[] = {8000.0, 11025.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0};

bool Subnormal(double x) {
  return std::fpclassify(x) == FP_SUBNORMAL;
}

// The first subnormal number in the engine's running state, or -1.
int FirstSubnormal(const caldrith::ToneEngine& e) {
  std::vector<double> v = {e.master, e.gate.Value()};
  const caldrith::ToneLanes& L = e.lanes;
  for (int i = 0; i < caldrith::kMaxTones; ++i) {
    v.insert(v.end(), {e.sweep[i].Value(), e.vol[i].Value(), L.swVal[i], L.swInc[i], L.veVal[i],
                       L.veInc[i], L.weight[i], L.curVol[i]});
    for (int c = 0; c < caldrith::kChannels; ++c) {
      v.insert(v.end(),
               {L.phase[c][i], L.curFreq[c][i], L.low[c][i], L.range[c][i], L.fStart[c][i],
                L.fLast[c][i], L.fProg[c][i], L.vStart[c][i], L.vLast[c][i], L.vProg[c][i]});
    }
  }
  for (size_t k = 0; k < v.size(); ++k) {
    if (Subnormal(v[k])) return static_cast<int>(k);
  }
  return -1;
}

struct Ends {
  int wave;
  bool descending;
  int tones;
  double pulse;
  double rate;
  int curvature;
  double breaks;
};

void Apply(CLS_CALDRITH& p, const Ends& s) {
  SetParam(p, kWave, s.wave);
  SetParam(p, kLowFreq, s.descending ? 10000.0 : 5.0);
  SetParam(p, kHighFreq, s.descending ? 5.0 : 10000.0);
  SetParam(p, kTones, s.tones);
  SetParam(p, kIsochronic, s.pulse);
  SetParam(p, kRate, s.rate);
  for (int q = kQfreq; q <= kQvol4; ++q) SetParam(p, q, s.curvature);
  for (int x = kXvol1; x <= kXvol3; ++x) SetParam(p, x, s.breaks);
}

}  // namespace

TEST(ExtremeSettings, EveryWaveAndRateAtTheEndsOfEveryRangeStaysWithinFullScale) {
  int combinations = 0;
  for (double sr : kRates) {
    SCOPED_TRACE(::testing::Message() << sr << " Hz");
    auto p = MakeReady(sr);
    SetParam(*p, kVolume, 100);
    SetParam(*p, kLow, 100);
    SetParam(*p, kMiddle, 100);
    SetParam(*p, kHigh, 100);
    SetParam(*p, kIsochronicMix, 100);
    SetParam(*p, kPlayAnyway, 1);
    Render(*p, 64);
    for (int wave = 0; wave < 7; ++wave) {
      for (int bits = 0; bits < 64; ++bits) {
        const Ends s{wave,
                     (bits & 1) != 0,
                     bits & 2 ? 16 : 1,
                     bits & 4 ? 1000.0 : 0.01,
                     bits & 8 ? 180.0 : 0.1,
                     bits & 16 ? 90 : -90,
                     bits & 32 ? 100.0 : 0.0};
        Apply(*p, s);
        ++combinations;
        for (int block = 0; block < 4; ++block) {
          const caldrith_test::Block b = Render(*p, 512);
          for (size_t i = 0; i < b.left.size(); ++i) {
            ASSERT_TRUE(std::isfinite(b.left[i]) && std::isfinite(b.right[i]))
                << "wave " << wave << " case " << bits << " frame " << i;
            ASSERT_LE(std::fabs(b.left[i]), 1.0) << "wave " << wave << " case " << bits;
            ASSERT_LE(std::fabs(b.right[i]), 1.0) << "wave " << wave << " case " << bits;
          }
        }
      }
    }
    // Transport stopped and Play Anyway off: the sound ramps out, then two minutes of blocks
    // of silence.
    SetParam(*p, kPlayAnyway, 0);
    SetTransport(*p, 0);
    const int block = 8192;
    const int blocks = static_cast<int>(120.0 * sr / block);
    for (int k = 0; k < blocks; ++k) Render(*p, block);
    const caldrith_test::Block last = Render(*p, 256);
    EXPECT_EQ(caldrith_test::Peak(last.left), 0.0);
    EXPECT_EQ(FirstSubnormal(p->Engine()), -1);
  }
  EXPECT_EQ(combinations, 8 * 7 * 64);
}

TEST(ExtremeSettings, TheIssueCaseNoLongerRunsAway) {
  // 8 kHz, band 9 to 10 kHz: twenty seconds of the waves that used to grow without bound.
  for (int wave : {1, 2, 3, 4, 5}) {
    auto p = MakeReady(8000.0);
    SetParam(*p, kPlayAnyway, 1);
    SetParam(*p, kWave, wave);
    SetParam(*p, kLowFreq, 9000.0);
    SetParam(*p, kHighFreq, 10000.0);
    double peak = 0.0;
    for (int k = 0; k < 20 * 8000 / 1000; ++k) {
      const caldrith_test::Block b = Render(*p, 1000);
      peak = std::max({peak, caldrith_test::Peak(b.left), caldrith_test::Peak(b.right)});
    }
    EXPECT_GT(peak, 0.01) << "wave " << wave;
    EXPECT_LE(peak, 1.0) << "wave " << wave;
  }
}

TEST(ExtremeSettings, SilenceAfterTheSlowestDeepestPulseLeavesNoSubnormals) {
  // A 100-second pulse at full depth fades every tone towards zero along curved ramps; the
  // host then stops for minutes.
  for (double sr : {8000.0, 48000.0}) {
    auto p = MakeReady(sr);
    SetParam(*p, kPlayAnyway, 1);
    SetParam(*p, kIsochronic, 0.01);
    SetParam(*p, kIsochronicMix, 100);
    SetParam(*p, kTones, 16);
    for (int q = kQfreq; q <= kQvol4; ++q) SetParam(*p, q, 90);
    const int block = 4096;
    for (int k = 0; k < static_cast<int>(110.0 * sr / block); ++k) Render(*p, block);
    EXPECT_EQ(FirstSubnormal(p->Engine()), -1) << sr;
    SetParam(*p, kPlayAnyway, 0);
    for (int k = 0; k < static_cast<int>(180.0 * sr / block); ++k) Render(*p, block);
    EXPECT_EQ(FirstSubnormal(p->Engine()), -1) << sr;
  }
}
