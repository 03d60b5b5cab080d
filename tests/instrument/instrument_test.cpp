// The instrument as the host and the editor see it: applied keys, texts, the ready gate,
// presets and state, transport, silence and resumption, re-timing on rate changes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "editor/graphics.h"
#include "instrument/caldrith.h"
#include "instrument/ready_gate.h"
#include "instrument_helpers.h"

using namespace caldrith_test;

namespace {

int64_t gFakeNow = 1000;
int64_t FakeClock() {
  return gFakeNow;
}

TEST(AppliedKeys, ValuesRoundingToTheSameKeyAreIgnored) {
  auto p = MakeReady();
  p->SetClockForTesting(&FakeClock);
  Render(*p, 64);
  EXPECT_EQ(1100, p->AppliedKey(kIsochronic));
  p->ShowStatus("marker");
  SetParam(*p, kIsochronic, 11.004);
  EXPECT_EQ(1100, p->AppliedKey(kIsochronic));
  EXPECT_EQ("marker", p->StatusText());
  SetParam(*p, kIsochronic, 11.005);
  EXPECT_EQ(1101, p->AppliedKey(kIsochronic));
  EXPECT_EQ("Isochronic: 11.01Hz", p->StatusText());
  // Tenths for frequencies and break positions, whole units for integer parameters.
  SetParam(*p, kLowFreq, 123.45);
  EXPECT_EQ(1235, p->AppliedKey(kLowFreq));
  SetParam(*p, kXvol1, 33.349);
  EXPECT_EQ(333, p->AppliedKey(kXvol1));
  SetParam(*p, kQfreq, -17.5);
  EXPECT_EQ(-18, p->AppliedKey(kQfreq));
}

TEST(AppliedKeys, NonFiniteValuesNeverReachTheEngine) {
  auto p = MakeReady();
  Render(*p, 64);
  for (double bad : {NAN, INFINITY, -INFINITY}) {
    for (int i = 0; i < kNumParams; ++i) SetParam(*p, i, bad);
  }
  SetParam(*p, kTones, 1e300);
  EXPECT_EQ(16, p->AppliedKey(kTones));
  SetParam(*p, kIsochronic, -1e300);
  EXPECT_EQ(1, p->AppliedKey(kIsochronic));
  SetParam(*p, kPlayAnyway, 1);
  Block b = Render(*p, 2048);
  for (double x : b.left) ASSERT_TRUE(std::isfinite(x));
  EXPECT_GT(Peak(b.left), 0.0);
}

TEST(StatusLine, TextsFollowTheEngineValues) {
  auto p = MakeReady();
  Render(*p, 64);
  EXPECT_EQ("Rate: 60.0s", p->StatusText());  // the first block re-applies the rate last
  struct Case {
    int idx;
    double value;
    const char* text;
  } cases[] = {
      {kLowFreq, 20.0, "Low Freq: 20.00Hz"},
      {kHighFreq, 2000.5, "High Freq: 2000.50Hz"},
      {kTones, 9, "Tones: 9"},
      {kSpread, 29, "Spread Frequencies: 29%"},
      {kLow, 30, "Low Frequencies: 30%"},
      {kMiddle, 70, "Middle Frequencies: 70%"},
      {kHigh, 10, "High Frequencies: 10%"},
      {kWave, 4, "Set Wave: Gold. Sine Half"},
      {kRate, 12.3, "Rate: 12.3s"},
      {kIsochronicType, 0, "Isochronic standard"},
      {kIsochronicType, 1, "Isochronic golden"},
      {kIsochronicMix, 45, "Isochronic Mix: 45%"},
      {kPlayAnyway, 1, "Play anyway was activated"},
      {kPlayAnyway, 0, "Play anyway was deactivated"},
      {kVolume, 77, "Volume Amount: 77%"},
      {kFreqGraph, 1, "Freq Graph: Real Freq"},
  };
  for (const Case& c : cases) {
    SetParam(*p, c.idx, c.value);
    EXPECT_EQ(c.text, p->StatusText()) << c.idx;
  }
  // The shape parameters blank the line.
  for (int idx = kQfreq; idx <= kXvol3; ++idx) {
    p->ShowStatus("marker");
    SetParam(*p, idx, 5);
    EXPECT_EQ("", p->StatusText()) << idx;
  }
}

TEST(StatusLine, NoTextBeforeTheEngineHasARate) {
  CLS_CALDRITH p;
  SetParam(p, kTones, 3);
  EXPECT_EQ("", p.StatusText());
}

TEST(StatusLine, DisappearsOnTheFirstBlockNineSecondsAfterTheLastChange) {
  auto p = MakeReady();
  p->SetClockForTesting(&FakeClock);
  gFakeNow = 5000;
  Render(*p, 64);
  SetParam(*p, kTones, 4);
  EXPECT_EQ("Tones: 4", p->StatusText());
  gFakeNow = 5000 + 8999;
  Render(*p, 64);
  EXPECT_EQ("Tones: 4", p->StatusText());
  gFakeNow = 5000 + 9000;
  EXPECT_EQ("Tones: 4", p->StatusText());  // only a block clears it
  Render(*p, 64);
  EXPECT_EQ("", p->StatusText());
}

TEST(BandLabel, BrainwaveBandOfThePulseRate) {
  auto p = MakeReady();
  struct Case {
    double rate;
    const char* band;
  } cases[] = {{0.49, "EPSILON"},  {0.5, "DELTA"},   {3.99, "DELTA"},  {4.0, "THETA"},
               {7.99, "THETA"},    {8.0, "ALPHA"},   {13.99, "ALPHA"}, {14.0, "BETA"},
               {29.99, "BETA"},    {30.0, "GAMMA"},  {99.99, "GAMMA"}, {100.0, "LAMBDA"},
               {1000.0, "LAMBDA"}, {0.01, "EPSILON"}};
  for (const Case& c : cases) {
    SetParam(*p, kIsochronic, c.rate);
    EXPECT_EQ(c.band, p->BandText()) << c.rate;
  }
}

TEST(ReadyGate, OpensOnceEveryParameterWasAppliedAndIsShared) {
  CLS_CALDRITH a;
  EXPECT_FALSE(a.IsReady());
  for (int i = 0; i < kNumParams - 1; ++i) a.HandleParamChangeLocked(i);
  EXPECT_FALSE(a.IsReady());
  // Re-applying an unchanged value is no application.
  a.HandleParamChangeLocked(0);
  EXPECT_FALSE(a.IsReady());
  a.HandleParamChangeLocked(kNumParams - 1);
  EXPECT_TRUE(a.IsReady());

  // A new instance re-arms the shared table...
  CLS_CALDRITH b;
  EXPECT_EQ(caldrith::ReadyGateTable::kSize, caldrith::ReadyGateTable::Countdown());
  for (int i = 0; i < kNumParams; ++i) b.HandleParamChangeLocked(i);
  EXPECT_TRUE(b.IsReady());
  // ...and once it has run out, any closed instance opens at its next applied change.
  CLS_CALDRITH c;
  CLS_CALDRITH d;
  for (int i = 0; i < kNumParams; ++i) c.HandleParamChangeLocked(i);
  EXPECT_FALSE(d.IsReady());
  d.HandleParamChangeLocked(kTones);
  EXPECT_TRUE(d.IsReady());
  EXPECT_TRUE(a.IsReady());  // never closes again
}

TEST(ReadyGate, ProcessingWaitsForTheGate) {
  CLS_CALDRITH p;
  std::vector<double> l(32, 5.0), r(32, 5.0);
  double* outs[2] = {l.data(), r.data()};
  p.SetOutputsConnected(0, 2, true);
  PlugLock lock(p.Mutex());
  p.AttachOutputs(0, 2, outs);
  p.ProcessBlock(32);
  // Nothing rendered yet, but the host hears silence rather than what its buffers held.
  EXPECT_EQ(0.0, l[0]);
  EXPECT_EQ(0.0, r[31]);
  EXPECT_FALSE(p.EngineStarted());
  for (int i = 0; i < kNumParams; ++i) p.HandleParamChangeLocked(i);
  p.ProcessBlock(32);
  EXPECT_TRUE(p.EngineStarted());
  EXPECT_EQ(0.0, l[0]);  // transport stopped: silence
}

TEST(Presets, FactoryListNamesAndPlaceholders) {
  CLS_CALDRITH p;
  EXPECT_EQ(150, p.PresetCount());
  EXPECT_STREQ("---- default ----", p.PresetNameAt(0));
  EXPECT_STREQ("Power of golden waves (lock another params)", p.PresetNameAt(1));
  EXPECT_STREQ("Focus on high frequencies (lock another params)", p.PresetNameAt(11));
  EXPECT_STREQ("Healing - Dental pain (0.2)", p.PresetNameAt(12));
  EXPECT_STREQ("Psychic - Focused alertness (11.0)", p.PresetNameAt(57));
  EXPECT_STREQ("Healing - Circulation  & sex (586)", p.PresetNameAt(120));
  EXPECT_STREQ("Solfeggio - (Pineal Gland Activator) 936 Hz", p.PresetNameAt(130));
  EXPECT_STREQ("- 132 -", p.PresetNameAt(131));
  EXPECT_STREQ("- 150 -", p.PresetNameAt(149));
  EXPECT_FALSE(p.PresetInitialised(131));
}

void ExpectCommonValues(CLS_CALDRITH& p, double isochronic, int wave, int playAnyway) {
  const double common[kNumParams] = {isochronic, 10, 1500, 7,  25, 50,  50, 50,  0,  60, 1, 60,
                                     1,          50, 0,    18, 24, -24, 24, -24, 25, 50, 75};
  for (int i = 0; i < kNumParams; ++i) {
    double want = common[i];
    if (i == kWave) want = wave;
    if (i == kPlayAnyway) want = playAnyway;
    EXPECT_EQ(want, p.ParamAt(i)->Value()) << p.ParamAt(i)->NameText();
  }
}

TEST(Presets, FrequencyPresetsSetEverything) {
  auto p = MakeReady();
  SetParam(*p, kTones, 12);
  SetParam(*p, kXvol2, 40);
  ASSERT_TRUE(p->SelectPreset(57));
  ExpectCommonValues(*p, 11.0, 0, 1);
  ASSERT_TRUE(p->SelectPreset(79));
  ExpectCommonValues(*p, 55.0, 3, 1);
  ASSERT_TRUE(p->SelectPreset(12));
  EXPECT_EQ(0.2, p->ParamAt(kIsochronic)->Value());
  ASSERT_TRUE(p->SelectPreset(127));
  EXPECT_EQ(963.0, p->ParamAt(kIsochronic)->Value());
  EXPECT_EQ(127, p->CurrentPresetIdx());
}

// The pulse rate of every frequency preset is the number its name gives.
TEST(Presets, FrequencyPresetRatesMatchTheirNames) {
  auto p = MakeReady();
  for (int slot = 12; slot <= 130; ++slot) {
    const std::string name = p->PresetNameAt(slot);
    double rate = 0.0;
    if (name.rfind("Solfeggio", 0) == 0) {
      const size_t hz = name.rfind(" Hz");
      const size_t start = name.rfind(' ', hz - 1);
      rate = std::stod(name.substr(start + 1, hz - start - 1));
    } else {
      const size_t open = name.rfind('(');
      rate = std::stod(name.substr(open + 1));
    }
    ASSERT_TRUE(p->SelectPreset(slot)) << slot;
    EXPECT_EQ(rate, p->ParamAt(kIsochronic)->Value()) << name;
    EXPECT_EQ(slot == 79 ? 3.0 : 0.0, p->ParamAt(kWave)->Value()) << name;
  }
}

TEST(Presets, LockPresetsChangeOnlyTheirParameters) {
  auto p = MakeReady();
  ASSERT_TRUE(p->SelectPreset(57));
  SetParam(*p, kVolume, 80);
  ASSERT_TRUE(p->SelectPreset(3));
  EXPECT_EQ(3.0, p->ParamAt(kTones)->Value());
  EXPECT_EQ(0.0, p->ParamAt(kSpread)->Value());
  EXPECT_EQ(80.0, p->ParamAt(kVolume)->Value());
  EXPECT_EQ(11.0, p->ParamAt(kIsochronic)->Value());
  EXPECT_EQ(1.0, p->ParamAt(kPlayAnyway)->Value());

  ASSERT_TRUE(p->SelectPreset(5));
  EXPECT_EQ(1500.0, p->ParamAt(kLowFreq)->Value());
  EXPECT_EQ(10.0, p->ParamAt(kHighFreq)->Value());
  EXPECT_EQ(18.0, p->ParamAt(kQfreq)->Value());
  EXPECT_EQ(1.0, p->ParamAt(kPlayAnyway)->Value());  // stored as 0, but locked
  EXPECT_EQ(3.0, p->ParamAt(kTones)->Value());

  ASSERT_TRUE(p->SelectPreset(8));
  EXPECT_EQ(12.5, p->ParamAt(kXvol1)->Value());
  EXPECT_EQ(37.5, p->ParamAt(kXvol2)->Value());
  EXPECT_EQ(62.5, p->ParamAt(kXvol3)->Value());
  EXPECT_EQ(1500.0, p->ParamAt(kLowFreq)->Value());

  // The default entry stores nothing: selecting it fails and changes nothing.
  EXPECT_FALSE(p->SelectPreset(0));
  EXPECT_EQ(3.0, p->ParamAt(kTones)->Value());
  EXPECT_FALSE(p->SelectPreset(150));
  EXPECT_FALSE(p->SelectPreset(-1));
}

TEST(State, DefaultStateBytes) {
  CLS_CALDRITH p;
  StateChunk chunk;
  ASSERT_TRUE(p.SaveParams(&chunk));
  ASSERT_EQ(184, chunk.Size());
  const uint8_t first[8] = {0, 0, 0, 0, 0, 0, 0x26, 0x40};
  EXPECT_EQ(0, std::memcmp(first, chunk.Data(), 8));
  double v = 0.0;
  chunk.GetDouble(&v, 8 * kQvol2);
  EXPECT_EQ(-24.0, v);
  chunk.GetDouble(&v, 8 * kFreqGraph);
  EXPECT_EQ(0.0, v);
}

TEST(State, RestoreWhileALockPresetIsCurrentAppliesOnlyItsParameters) {
  auto src = MakeReady();
  for (int i = 0; i < kNumParams; ++i) {
    SetParam(*src, i, src->ParamAt(i)->Min() + (i % 3 == 0 ? 1.0 : 0.0));
  }
  StateChunk state;
  src->SaveParams(&state);

  auto dst = MakeReady();
  ASSERT_TRUE(dst->SelectPreset(3));
  EXPECT_EQ(184, dst->LoadParams(&state, 0));
  for (int i = 0; i < kNumParams; ++i) {
    const double want =
        (i == kTones || i == kSpread) ? src->ParamAt(i)->Value() : dst->ParamAt(i)->DefaultValue();
    EXPECT_EQ(want, dst->ParamAt(i)->Value()) << i;
  }
}

TEST(Transport, SilentWhenStoppedAndFrozenUntilPlayResumes) {
  auto p = MakeReady();
  SetTransport(*p, 0);
  Block b = Render(*p, 512);
  EXPECT_EQ(0.0, Peak(b.left));  // master starts at 0: straight into the silence path
  SetTransport(*p, 1, 48000);
  b = Render(*p, 512);
  EXPECT_GT(Peak(b.left), 0.0);
  for (int i = 0; i < 20; ++i) Render(*p, 512);
  SetTransport(*p, 0);
  b = Render(*p, 512);  // ramps down over this block
  EXPECT_GT(Peak(b.left), 0.0);
  EXPECT_LT(std::fabs(b.left[511]), 1e-6);
  const double sweep = p->SweepValue(0);
  const double phase = p->Engine().lanes.phase[0][0];
  for (int i = 0; i < 5; ++i) {
    b = Render(*p, 512);
    EXPECT_EQ(0.0, Peak(b.left));
    EXPECT_EQ(0.0, Peak(b.right));
  }
  EXPECT_EQ(sweep, p->SweepValue(0));
  EXPECT_EQ(phase, p->Engine().lanes.phase[0][0]);
  SetTransport(*p, 2);  // recording sounds too, continuing where it froze
  b = Render(*p, 1);
  EXPECT_NE(sweep, p->SweepValue(0));
  EXPECT_NEAR(sweep, p->SweepValue(0), 1e-4);
}

TEST(Transport, PlayAnywaySoundsWithTheTransportStoppedAndRestartsTheSweeps) {
  auto p = MakeReady();
  SetTransport(*p, 0);
  Render(*p, 512);
  EXPECT_FALSE(p->RestartRequested());
  SetParam(*p, kPlayAnyway, 1);
  EXPECT_TRUE(p->RestartRequested());
  Block b = Render(*p, 4096);
  EXPECT_FALSE(p->RestartRequested());
  EXPECT_GT(Peak(b.left), 0.0);
  // Left and right read the shared envelopes half a step apart: close, not equal.
  double diff = 0.0;
  for (int s = 0; s < 4096; ++s) diff = std::max(diff, std::fabs(b.left[s] - b.right[s]));
  EXPECT_GT(diff, 0.0);
  EXPECT_LT(diff, 0.05);
}

TEST(Rephase, RestartPlacesTonesEvenlyFromTheHostPosition) {
  auto p = MakeReady();
  SetParam(*p, kQfreq, 0);  // straight sweeps: position = value
  SetParam(*p, kTones, 4);
  SetTransport(*p, 1, 0);
  Render(*p, 1);
  // After one frame (two steps) tone i sits at i/4 plus two steps.
  const double len = p->SweepLength();
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(i / 4.0 + 2.0 / len, p->SweepValue(i), 1e-6) << i;
  // A restart at a quarter of the cycle shifts every tone by a quarter.
  SetTransport(*p, 1, static_cast<int64_t>(len / 4));
  p->Activate(true);
  Render(*p, 1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(std::fmod(i / 4.0 + 0.25, 1.0) + 2.0 / len, p->SweepValue(i), 1e-6) << i;
  }
  // Positions before the project start still land inside the cycle.
  SetTransport(*p, 1, -static_cast<int64_t>(len / 4));
  p->Activate(true);
  Render(*p, 1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(std::fmod(i / 4.0 + 0.75, 1.0) + 2.0 / len, p->SweepValue(i), 1e-6) << i;
  }
}

TEST(Rephase, AnEmptyBlockStartsTheEngineAtItsOwnPosition) {
  auto p = MakeReady();
  SetParam(*p, kQfreq, 0);
  SetParam(*p, kTones, 4);
  const double len = 60.0 * 48000.0 * 2.0;
  SetTransport(*p, 1, static_cast<int64_t>(len / 2));
  {
    PlugLock lock(p->Mutex());
    p->RenderBlock(nullptr, nullptr, 0);
  }
  EXPECT_TRUE(p->EngineStarted());
  EXPECT_FALSE(p->RestartRequested());
  EXPECT_NEAR(0.5, p->SweepValue(0), 1e-6);
  SetTransport(*p, 1, 0);
  Render(*p, 1);
  EXPECT_NEAR(0.5 + 2.0 / len, p->SweepValue(0), 1e-6);
}

TEST(Rephase, ChangingTheToneCountKeepsToneZeroAndSpacesTheRest) {
  auto p = MakeReady();
  SetParam(*p, kQfreq, 0);
  SetParam(*p, kPlayAnyway, 1);
  for (int i = 0; i < 10; ++i) Render(*p, 512);
  const double tone0 = p->SweepValue(0);
  SetParam(*p, kTones, 5);
  EXPECT_EQ(tone0, p->SweepValue(0));
  for (int i = 1; i < 5; ++i) {
    EXPECT_NEAR(std::fmod(tone0 + i / 5.0, 1.0), p->SweepValue(i), 1e-5) << i;
  }
}

TEST(Reset, SampleRateChangeRetimesEverything) {
  auto p = MakeReady(44100.0);
  SetParam(*p, kPlayAnyway, 1);
  Render(*p, 64);
  EXPECT_EQ(44100.0, p->StoredSampleRate());
  EXPECT_EQ(60.0f * 44100.0f * 2.0f, p->SweepLength());
  EXPECT_EQ(static_cast<float>(44100.0 / 11.0f), p->Engine().gate.StepsPerCycle());
  p->SetSampleRate(96000.0);
  p->Activate(true);
  EXPECT_EQ(96000.0, p->StoredSampleRate());
  EXPECT_EQ(60.0f * 96000.0f * 2.0f, p->SweepLength());
  EXPECT_EQ(static_cast<float>(96000.0 / 11.0f), p->Engine().gate.StepsPerCycle());
  EXPECT_NEAR(p->Engine().lanes.low[0][0] * 96000.0 / caldrith::kTwoPi, 10.0, 1e-4);
  EXPECT_EQ(1.0 / 48000.0, p->Engine().glideInc);
  // Unusable rates keep the one in use.
  for (double bad : {0.0, -48000.0, std::nan(""), 1e12}) {
    p->SetSampleRate(bad);
    p->Reset();
    EXPECT_EQ(96000.0, p->StoredSampleRate());
  }
}

TEST(Rate, AChangeBeforeTheFirstBlockOnlyStoresTheKey) {
  CLS_CALDRITH p;
  p.SetSampleRate(48000.0);
  SetParam(p, kRate, 10.0);
  EXPECT_EQ(100, p.AppliedKey(kRate));
  EXPECT_EQ(0.0f, p.SweepLength());
  for (int i = 0; i < kNumParams; ++i) p.HandleParamChangeLocked(i);
  Render(p, 16);
  EXPECT_EQ(10.0f * 48000.0f * 2.0f, p.SweepLength());
}

TEST(Glides, DeclickRampsRunHalfASecond) {
  auto p = MakeReady();
  SetParam(*p, kPlayAnyway, 1);
  Render(*p, 512);
  const auto& L = p->Engine().lanes;
  EXPECT_TRUE(L.vAct[0][0] != 0);
  // Volume glides start from silence after the first block's clear.
  for (int i = 0; i < 44; ++i) Render(*p, 512);  // 22528 frames: still gliding
  EXPECT_TRUE(L.vAct[0][0] != 0);
  EXPECT_TRUE(L.fAct[1][6] != 0);
  Render(*p, 2048);  // past 24000 frames
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(0, L.vAct[c][i]);
      EXPECT_EQ(0, L.fAct[c][i]);
      EXPECT_EQ(L.curFreq[c][i], L.fStart[c][i]);  // synced at the block's end
    }
  }
}

TEST(Graphs, ShapeParametersReachEveryEngineEnvelope) {
  auto p = MakeReady();
  Render(*p, 16);
  SetParam(*p, kQfreq, -90);
  SetParam(*p, kQvol3, 12);
  SetParam(*p, kXvol2, 60.0);
  for (int t = 0; t < caldrith::kMaxTones; ++t) {
    EXPECT_EQ(-15.0f, p->Engine().sweep[t].Curvature(0));
    EXPECT_EQ(2.0f, p->Engine().vol[t].Curvature(2));
    EXPECT_EQ(600 * 0.001f, p->Engine().vol[t].Break(1));
  }
  EXPECT_EQ(-1, p->Graph(CLS_CALDRITH::kGraphFrequency).pending);
  EXPECT_EQ(-1, p->Graph(CLS_CALDRITH::kGraphVolume).pending);
  // With the editor open the graph carries the change until it draws.
  PlugGraphics(p.get())->CreateEditorWindow(nullptr);
  p->EditorOpened();
  SetParam(*p, kQfreq, 30);
  EXPECT_EQ(0, p->Graph(CLS_CALDRITH::kGraphFrequency).pending);
  EXPECT_EQ(-15.0f, p->Engine().sweep[3].Curvature(0));
  p->PropagateGraph(CLS_CALDRITH::kGraphFrequency);
  EXPECT_EQ(5.0f, p->Engine().sweep[3].Curvature(0));
  p->EditorClosed();
}

TEST(Graphs, SwapReversesTheSweepAndKeepsKeysInStep) {
  auto p = MakeReady();
  Render(*p, 16);
  p->SwapSweepDirection();
  EXPECT_EQ(1500.0, p->ParamAt(kLowFreq)->Value());
  EXPECT_EQ(10.0, p->ParamAt(kHighFreq)->Value());
  EXPECT_GT(p->Engine().lanes.low[0][0], p->Engine().lanes.high[0][0]);
  // The host setting the old value back is a real change again.
  SetParam(*p, kLowFreq, 10.0);
  EXPECT_EQ(10.0f, p->LowFreqHz());
  EXPECT_EQ(0.0, p->Engine().lanes.range[0][0]);  // both band ends now at 10 Hz
}

}  // namespace
