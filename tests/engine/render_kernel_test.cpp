// The vectorised renderers against the plain reference: identical samples and identical
// state afterwards, over every wave, several tone counts, glides, gate types, curvatures
// and descending sweeps.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/tone_engine.h"
#include "reference_render.h"

using caldrith::ToneEngine;

namespace {

struct Scenario {
  int tones;
  int wave;
  bool golden;
  float sweepCurv;
  float volCurv[4];
  float breaks[3];
  bool descending;
  bool glides;
  float sweepLen;
  float mix;
};

std::unique_ptr<ToneEngine> Build(const Scenario& sc) {
  auto e = std::make_unique<ToneEngine>();
  const double sr = 48000.0;
  e->tones = sc.tones;
  e->mix = sc.mix;
  e->SetGlideIncrement(1.0 / (sr * 0.5));
  e->SelectWave(sc.wave);
  const float lo = sc.descending ? 1500.0f : 10.0f;
  const float hi = sc.descending ? 10.0f : 1500.0f;
  e->ComputeWindows(lo, hi, 0.25f, sc.tones, sr);
  e->ComputeLoudness(0.2f, 0.9f, 0.6f, sc.tones);
  for (int i = 0; i < caldrith::kMaxTones; ++i) {
    e->sweep[i].SetCurvature(0, sc.sweepCurv);
    for (int k = 0; k < 4; ++k) e->vol[i].SetCurvature(k, sc.volCurv[k]);
    for (int k = 0; k < 3; ++k) e->vol[i].SetBreak(k, sc.breaks[k]);
    e->sweep[i].Retime(sc.sweepLen);
    e->vol[i].Retime(sc.sweepLen);
  }
  e->gate.SetGolden(sc.golden);
  e->gate.Retime(static_cast<float>(sr / 11.0));
  e->Rephase(0, 12345, sc.sweepLen);
  if (sc.glides) {
    // Glides from somewhere else, as after a restart following a pause.
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < caldrith::kMaxTones; ++i) {
        e->lanes.fStart[c][i] = 0.01 * (i + 1);
        e->lanes.vStart[c][i] = 0.0;
      }
    }
    e->StartGlides(sc.tones, true, true);
  }
  // Unused slots carry distinctive values that rendering must leave alone.
  for (int i = sc.tones; i < caldrith::kMaxTones; ++i) {
    e->lanes.phase[0][i] = 1.0 + i;
    e->lanes.phase[1][i] = 2.0 + i;
  }
  return e;
}

using KernelFn = void (*)(ToneEngine&, double*, double*, int, double);

void ExpectSameState(const ToneEngine& a, const ToneEngine& b, int n) {
  for (int i = 0; i < caldrith::kMaxTones; ++i) {
    ASSERT_EQ(a.sweep[i].Value(), b.sweep[i].Value()) << "tone " << i;
    ASSERT_EQ(a.sweep[i].Segment(), b.sweep[i].Segment()) << "tone " << i;
    ASSERT_EQ(a.vol[i].Value(), b.vol[i].Value()) << "tone " << i;
    ASSERT_EQ(a.vol[i].Segment(), b.vol[i].Segment()) << "tone " << i;
    for (int c = 0; c < 2; ++c) {
      ASSERT_EQ(a.lanes.phase[c][i], b.lanes.phase[c][i]) << "tone " << i;
      ASSERT_EQ(a.lanes.fAct[c][i], b.lanes.fAct[c][i]);
      ASSERT_EQ(a.lanes.vAct[c][i], b.lanes.vAct[c][i]);
      ASSERT_EQ(a.lanes.fStart[c][i], b.lanes.fStart[c][i]);
      ASSERT_EQ(a.lanes.vStart[c][i], b.lanes.vStart[c][i]);
      if (i < n) {
        ASSERT_EQ(a.lanes.fLast[c][i], b.lanes.fLast[c][i]);
        ASSERT_EQ(a.lanes.vLast[c][i], b.lanes.vLast[c][i]);
        ASSERT_EQ(a.lanes.curFreq[c][i], b.lanes.curFreq[c][i]);
      }
    }
    if (i < n) {
      ASSERT_EQ(a.lanes.curVol[i], b.lanes.curVol[i]);
    }
  }
  ASSERT_EQ(a.master, b.master);
  ASSERT_EQ(a.gate.Value(), b.gate.Value());
}

// Renders several blocks (with a target change in the middle, so the master ramps both
// ways) through the reference and through the kernel, comparing every sample.
void CompareWithReference(const Scenario& sc, KernelFn kernel, const char* label) {
  auto ref = Build(sc);
  auto vec = Build(sc);
  const int blocks[] = {512, 1, 333, 4096, 64};
  const double targets[] = {0.2, 0.2, 0.05, 0.05, 0.3};
  for (int b = 0; b < 5; ++b) {
    const int n = blocks[b];
    std::vector<double> r0(n), r1(n), v0(n), v1(n);
    caldrith_test::ReferenceRender(*ref, r0.data(), r1.data(), n, targets[b]);
    const double diff = targets[b] - vec->master;
    const double d = std::fabs(diff) > 1e-11 ? diff / n : 0.0;
    kernel(*vec, v0.data(), v1.data(), n, d);
    vec->EndOfBlockSync();
    for (int s = 0; s < n; ++s) {
      ASSERT_EQ(0, std::memcmp(&r0[s], &v0[s], sizeof(double)))
          << label << " block " << b << " frame " << s << " left " << r0[s] << " vs " << v0[s];
      ASSERT_EQ(0, std::memcmp(&r1[s], &v1[s], sizeof(double)))
          << label << " block " << b << " frame " << s << " right " << r1[s] << " vs " << v1[s];
    }
    ExpectSameState(*ref, *vec, sc.tones);
  }
}

std::vector<Scenario> Scenarios() {
  std::vector<Scenario> out;
  const int toneCounts[] = {1, 3, 4, 5, 7, 16};
  for (int wave = 0; wave < caldrith::kWaveCount; ++wave) {
    for (int tones : toneCounts) {
      Scenario sc{tones, wave,  (tones & 1) != 0, 3.0f, {4, -4, 4, -4}, {0.25f, 0.5f, 0.75f},
                  false, false, 9600.0f,          0.6f};
      out.push_back(sc);
    }
  }
  // Glides, descending sweeps, straight and strongly curved shapes, short cycles so many
  // segment changes happen inside a block, odd break positions, a deep gate.
  out.push_back(
      {7, 0, true, 3.0f, {4, -4, 4, -4}, {0.25f, 0.5f, 0.75f}, false, true, 9600.0f, 0.6f});
  out.push_back(
      {16, 3, false, -15.0f, {15, -15, 0, 0.00005f}, {0.1f, 0.2f, 0.9f}, true, true, 700.0f, 1.0f});
  out.push_back({5, 4, true, 0.0f, {0, 0, 0, 0}, {0.25f, 0.5f, 0.75f}, true, false, 301.0f, 0.0f});
  out.push_back(
      {9, 5, false, 15.0f, {-3, 3, -3, 3}, {0.5f, 0.5f, 0.5f}, false, true, 1000.0f, 0.3f});
  out.push_back({13, 6, true, -0.5f, {4, -4, 4, -4}, {0.0f, 0.5f, 1.0f}, true, true, 2.0f, 0.6f});
  out.push_back({2, 1, false, 1.0f, {2, -2, 2, -2}, {0.3f, 0.6f, 0.8f}, false, true, 50.0f, 0.6f});
  out.push_back(
      {11, 2, true, 2.0f, {4, -4, 4, -4}, {0.75f, 0.5f, 0.25f}, true, false, 5000.0f, 0.6f});
  return out;
}

TEST(RenderKernel, BaseKernelMatchesReferenceBitForBit) {
  for (const Scenario& sc : Scenarios()) {
    SCOPED_TRACE(::testing::Message() << "wave " << sc.wave << " tones " << sc.tones);
    CompareWithReference(sc, &caldrith::kernel_base::RenderFrames, "base");
  }
}

TEST(RenderKernel, Avx2KernelMatchesReferenceBitForBit) {
  if (!caldrith::CpuHasAvx2()) GTEST_SKIP() << "processor without AVX2";
  for (const Scenario& sc : Scenarios()) {
    SCOPED_TRACE(::testing::Message() << "wave " << sc.wave << " tones " << sc.tones);
    CompareWithReference(sc, &caldrith::kernel_avx2::RenderFrames, "avx2");
  }
}

TEST(RenderKernel, Avx512KernelMatchesReferenceBitForBit) {
  if (!caldrith::CpuHasAvx512()) GTEST_SKIP() << "processor without AVX-512";
  for (const Scenario& sc : Scenarios()) {
    SCOPED_TRACE(::testing::Message() << "wave " << sc.wave << " tones " << sc.tones);
    CompareWithReference(sc, &caldrith::kernel_avx512::RenderFrames, "avx512");
  }
}

TEST(RenderKernel, ToneEngineRenderSilencePathFreezesEverything) {
  Scenario sc{7, 0, true, 3.0f, {4, -4, 4, -4}, {0.25f, 0.5f, 0.75f}, false, false, 9600.0f, 0.6f};
  auto e = Build(sc);
  std::vector<double> l(256, 1.0), r(256, 1.0);
  const double sweep0 = e->sweep[0].Value();
  const double phase0 = e->lanes.phase[0][0];
  const double gate = e->gate.Value();
  e->Render(l.data(), r.data(), 256, 0.0);
  for (int s = 0; s < 256; ++s) {
    ASSERT_EQ(0.0, l[s]);
    ASSERT_EQ(0.0, r[s]);
  }
  EXPECT_EQ(sweep0, e->sweep[0].Value());
  EXPECT_EQ(phase0, e->lanes.phase[0][0]);
  EXPECT_EQ(gate, e->gate.Value());
}

}  // namespace
