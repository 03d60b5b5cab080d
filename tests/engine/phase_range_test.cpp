// Tones whose increment is a period or more per sample (above the sample rate) and phases
// that went bad: every implementation of the sample loop keeps the phase within a period,
// so every wave stays inside its range, and all of them still agree bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/tone_engine.h"

using caldrith::ToneEngine;

namespace {

using KernelFn = void (*)(ToneEngine&, double*, double*, int, double);

struct Kernel {
  const char* name;
  KernelFn fn;
  bool available;
};

std::vector<Kernel> Kernels() {
  return {{"base", &caldrith::kernel_base::RenderFrames, true},
          {"avx2", &caldrith::kernel_avx2::RenderFrames, caldrith::CpuHasAvx2()},
          {"avx512", &caldrith::kernel_avx512::RenderFrames, caldrith::CpuHasAvx512()}};
}

std::unique_ptr<ToneEngine> Build(int tones, int wave, float lo, float hi, double sr) {
  auto e = std::make_unique<ToneEngine>();
  e->tones = tones;
  e->mix = 0.0f;
  e->master = 0.5;
  e->SetGlideIncrement(1.0 / (sr * 0.5));
  e->SelectWave(wave);
  e->ComputeWindows(lo, hi, 0.0f, tones, sr);
  e->ComputeLoudness(1.0f, 1.0f, 1.0f, tones);
  const float sweepLen = static_cast<float>(sr * 2.0 * 3.0);
  for (int i = 0; i < caldrith::kMaxTones; ++i) {
    e->sweep[i].Retime(sweepLen);
    e->vol[i].Retime(sweepLen);
  }
  e->gate.Retime(static_cast<float>(sr / 11.0));
  e->Rephase(0, 0, sweepLen);
  return e;
}

// Sign changes of a signal, ignoring exact zeros.
int SignChanges(const std::vector<double>& x) {
  int n = 0;
  double last = 0.0;
  for (double v : x) {
    if (v == 0.0) continue;
    if (last != 0.0 && (v > 0.0) != (last > 0.0)) ++n;
    last = v;
  }
  return n;
}

}  // namespace

TEST(PhaseRange, TonesAboveTheSampleRateStayInRangeInEveryImplementation) {
  // 8 kHz with a band of 9 to 10 kHz: every increment is more than a period.
  const double sr = 8000.0;
  for (int wave = 0; wave < caldrith::kWaveCount; ++wave) {
    for (int tones : {1, 5, 16}) {
      SCOPED_TRACE(::testing::Message() << "wave " << wave << " tones " << tones);
      std::vector<double> first0, first1;
      for (const Kernel& k : Kernels()) {
        if (!k.available) continue;
        auto e = Build(tones, wave, 9000.0f, 10000.0f, sr);
        std::vector<double> all0, all1;
        for (int block : {1000, 1, 4096, 333}) {
          std::vector<double> o0(block), o1(block);
          k.fn(*e, o0.data(), o1.data(), block, 0.0);
          e->EndOfBlockSync();
          all0.insert(all0.end(), o0.begin(), o0.end());
          all1.insert(all1.end(), o1.begin(), o1.end());
          for (int c = 0; c < 2; ++c) {
            for (int i = 0; i < tones; ++i) {
              // Stored after the increment: at most one increment past the period.
              const double ph = e->lanes.phase[c][i];
              ASSERT_GE(ph, 0.0) << k.name;
              ASSERT_LT(ph, caldrith::kTwoPi + e->lanes.curFreq[c][i] + 1e-9) << k.name;
            }
          }
        }
        // Each tone's wave is within [-1, 1] and its weight is 1, so the sum is within
        // tones * master.
        for (size_t s = 0; s < all0.size(); ++s) {
          ASSERT_LE(std::fabs(all0[s]), tones * 0.5 + 1e-9) << k.name << " frame " << s;
          ASSERT_LE(std::fabs(all1[s]), tones * 0.5 + 1e-9) << k.name << " frame " << s;
        }
        if (first0.empty()) {
          first0 = all0;
          first1 = all1;
        } else {
          ASSERT_EQ(first0, all0) << k.name << " differs from base";
          ASSERT_EQ(first1, all1) << k.name << " differs from base";
        }
      }
    }
  }
}

TEST(PhaseRange, AToneAboveTheSampleRateSoundsAtItsAlias) {
  // 9 kHz sampled at 8 kHz is heard at 1 kHz: 2000 sign changes a second.
  for (int wave : {caldrith::kWaveSine, caldrith::kWaveTriangle, caldrith::kWaveSaw}) {
    for (const Kernel& k : Kernels()) {
      if (!k.available) continue;
      SCOPED_TRACE(::testing::Message() << "wave " << wave << " " << k.name);
      auto e = Build(1, wave, 9000.0f, 9000.0f, 8000.0);
      std::vector<double> o0(8000), o1(8000);
      k.fn(*e, o0.data(), o1.data(), 8000, 0.0);
      EXPECT_NEAR(SignChanges(o0), 2000, 4);
      EXPECT_NEAR(SignChanges(o1), 2000, 4);
    }
  }
}

TEST(PhaseRange, APhaseThatWentBadRestartsInRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double bad[] = {nan, inf, -inf, 1e300, -3.0, 7.0 * caldrith::kTwoPi + 0.25};
  for (int wave = 0; wave < caldrith::kWaveCount; ++wave) {
    for (const Kernel& k : Kernels()) {
      if (!k.available) continue;
      SCOPED_TRACE(::testing::Message() << "wave " << wave << " " << k.name);
      auto e = Build(6, wave, 100.0f, 200.0f, 48000.0);
      for (int i = 0; i < 6; ++i) e->lanes.phase[i & 1][i] = bad[i];
      std::vector<double> o0(64), o1(64);
      k.fn(*e, o0.data(), o1.data(), 64, 0.0);
      for (int s = 0; s < 64; ++s) {
        ASSERT_TRUE(std::isfinite(o0[s]) && std::fabs(o0[s]) <= 3.0 + 1e-9) << s << " " << o0[s];
        ASSERT_TRUE(std::isfinite(o1[s]) && std::fabs(o1[s]) <= 3.0 + 1e-9) << s << " " << o1[s];
      }
      for (int i = 0; i < 6; ++i) {
        const double ph = e->lanes.phase[i & 1][i];
        ASSERT_TRUE(ph >= 0.0 && ph < caldrith::kTwoPi + e->lanes.curFreq[i & 1][i])
            << i << " " << ph;
      }
    }
  }
  // 7 periods and a quarter reduce to the quarter, exactly as far as the period allows.
  EXPECT_NEAR(caldrith::WrapPhase(7.0 * caldrith::kTwoPi + 0.25), 0.25, 1e-12);
  EXPECT_EQ(caldrith::WrapPhase(-0.0), 0.0);
  EXPECT_EQ(caldrith::WrapPhase(caldrith::kTwoPi), 0.0);
  EXPECT_NEAR(caldrith::WrapPhase(-1.0), caldrith::kTwoPi - 1.0, 1e-15);
}

TEST(FullScale, SixteenCoherentTonesUnderAHighMasterStopAtFullScale) {
  // Every tone at the top of its volume envelope with the square wave's +1 at phase 0: the
  // sum is about 16 times the master level, which the output holds at exactly 1.
  for (const Kernel& k : Kernels()) {
    if (!k.available) continue;
    SCOPED_TRACE(k.name);
    auto e = Build(16, caldrith::kWaveGoldenSquare, 5.0f, 5.0f, 48000.0);
    for (int i = 0; i < caldrith::kMaxTones; ++i) {
      e->vol[i].Retime(1e7f);
      e->vol[i].SetPosition(0.5f);
      e->lanes.phase[0][i] = e->lanes.phase[1][i] = 0.0;
    }
    e->master = 0.8;
    std::vector<double> o0(32), o1(32);
    k.fn(*e, o0.data(), o1.data(), 32, 0.0);
    for (int s = 0; s < 32; ++s) {
      ASSERT_EQ(o0[s], 1.0) << s;
      ASSERT_EQ(o1[s], 1.0) << s;
    }
    // The negative half of the square, and a quiet master that needs no limit.
    for (int i = 0; i < caldrith::kMaxTones; ++i) e->lanes.phase[0][i] = e->lanes.phase[1][i] = 5.0;
    k.fn(*e, o0.data(), o1.data(), 1, 0.0);
    EXPECT_EQ(o0[0], -1.0);
    e->master = 0.01;
    k.fn(*e, o0.data(), o1.data(), 1, 0.0);
    EXPECT_GT(o0[0], -0.5);
    EXPECT_LT(o0[0], -0.05);
  }
}
