// Applied keys on each parameter's own scale, and the stepped rotating knob's snapping.
#include <gtest/gtest.h>

#include "editor_fixture.h"
#include "instrument/caldrith.h"
#include "instrument/product_controls.h"
#include "instrument_helpers.h"

using namespace caldrith_test;

TEST(AppliedKeyScales, EachParameterKeysOnItsOwnScale) {
  // Hundredths for the pulse rate; tenths for the frequencies, the rate and the three break
  // positions; whole units for the rest. Each value lies just past a half of its unit, so a
  // wrong scale gives a different key.
  const struct {
    int idx;
    double value;
    int key;
  } cases[] = {
      {kIsochronic, 7.836, 784}, {kLowFreq, 123.46, 1235},   {kHighFreq, 2000.06, 20001},
      {kRate, 12.36, 124},       {kXvol1, 33.36, 334},       {kXvol2, 44.46, 445},
      {kXvol3, 62.56, 626},      {kTones, 3.6, 4},           {kSpread, 29.6, 30},
      {kLow, 10.6, 11},          {kVolume, 77.6, 78},        {kQfreq, -17.6, -18},
      {kQvol4, 20.6, 21},        {kIsochronicMix, 45.6, 46},
  };
  auto p = MakeReady();
  Render(*p, 16);
  for (const auto& c : cases) {
    SetParam(*p, c.idx, c.value);
    EXPECT_EQ(c.key, p->AppliedKey(c.idx)) << p->ParamAt(c.idx)->NameText();
  }
}

TEST(SteppedKnob, ButtonUpSnapsToTheNearestStep) {
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 200, 200);
  gui->SetImageOverride(911, StripPng(20, 14, 2));
  IImage img = gui->FetchImage(911, "knob", 1);
  gui->SplitImage(&img, 0.5);
  ITextStyle none("Arial", 0, IRgba());
  // Five positions: 0, 0.25, 0.5, 0.75, 1.
  auto* knob = new IKnobRotVal(&plug, kGain, 100, 100, img, none, 2, 300, 4.0, 0, 0, 0.1f, true, 5);
  gui->AddControl(knob);
  plug.InstallEditor(gui);
  const struct {
    double value, snapped;
  } cases[] = {{0.375, 0.5}, {0.37, 0.25}, {0.125, 0.25}, {0.12, 0.0}, {0.9, 1.0}, {0.87, 0.75}};
  for (const auto& c : cases) {
    knob->SetValue(c.value);
    knob->MouseUp(0, 0, kLeft);
    EXPECT_DOUBLE_EQ(c.snapped, knob->Value()) << c.value;
    EXPECT_DOUBLE_EQ(c.snapped * 100.0, plug.ParamAt(kGain)->Value()) << c.value;
  }
}

TEST(EngineFollowsParameters, ToneLevelIsTheVolumeOverTheRootOfTheToneCount) {
  // Volume v% gives 0.008 v + 0.0001 for all tones together; each of n tones gets that over
  // sqrt(n). The master ramp reaches it within one block.
  const struct {
    int tones, volume;
    double level;
  } cases[] = {
      {4, 50, 0.4001 / 2.0}, {9, 50, 0.4001 / 3.0}, {1, 100, 0.8001}, {16, 25, 0.2001 / 4.0}};
  for (const auto& c : cases) {
    auto p = MakeReady();
    SetParam(*p, kPlayAnyway, 1);
    SetParam(*p, kVolume, c.volume);
    Render(*p, 64);
    SetParam(*p, kTones, c.tones);
    Render(*p, 64);
    Render(*p, 64);
    EXPECT_NEAR(c.level, p->Engine().master, 1e-6) << c.tones << " tones at " << c.volume;
  }
}

TEST(EngineFollowsParameters, BandEndsReachTheToneWindowsAtOnce) {
  auto p = MakeReady();
  Render(*p, 16);
  SetParam(*p, kSpread, 100);
  SetParam(*p, kHighFreq, 2000.0);
  const int last = p->ToneCount() - 1;
  EXPECT_NEAR(2000.0, p->ToneWindowHighHz(last), 1e-3);
  SetParam(*p, kLowFreq, 100.0);
  EXPECT_NEAR(100.0, p->ToneWindowLowHz(0), 1e-3);
  // Seven tones tile 100..2000 Hz: each window is 1900 / 7 Hz wide.
  for (int i = 0; i <= last; ++i)
    EXPECT_NEAR(1900.0 / 7.0, p->ToneWindowHighHz(i) - p->ToneWindowLowHz(i), 1e-3) << i;
}

TEST(SwitchCycle, TenStatesAreAllVisitedBeforeTheWrap) {
  // Nine steps of 1/9 add up to a hair above 1: still the last state, not the first.
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 200, 200);
  gui->SetImageOverride(930, StripPng(20, 100, 10));
  const IImage ten = gui->FetchImage(930, "ten", 10);
  ITextStyle none("Arial", 0, IRgba());
  auto* sw = new ISwitchLbl(&plug, -1, 10, 10, ten, none);
  gui->AddControl(sw);
  plug.InstallEditor(gui);
  sw->SetValue(0.0);
  for (int i = 1; i <= 9; ++i) {
    sw->MouseDown(12, 12, kLeft);
    EXPECT_EQ(i + 1, sw->CurrentFrame()) << i;
  }
  EXPECT_DOUBLE_EQ(1.0, sw->Value());
  sw->MouseDown(12, 12, kLeft);
  EXPECT_EQ(0.0, sw->Value());
  EXPECT_EQ(1, sw->CurrentFrame());
}
