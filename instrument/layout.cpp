#include "instrument/layout.h"

#include <cstring>
#include <memory>

#include "editor/controls.h"
#include "editor/graphics.h"
#include "editor/headless.h"
#include "editor/user_settings.h"
#include "instrument/product_controls.h"
#include "instrument/caldrith.h"

// ---- link: engine side ----

void CaldrithEditorLink::PostStatus(const char* text) {
  CopyText(mStatus, text ? text : "", kTextSize);
  mTextVersion.fetch_add(1, std::memory_order_release);
}

void CaldrithEditorLink::PostBand(const char* text) {
  CopyText(mBand, text ? text : "", kTextSize);
  mTextVersion.fetch_add(1, std::memory_order_release);
}

void CaldrithEditorLink::PostWave(int frame) {
  mWaveFrame.store(frame, std::memory_order_release);
}

// ---- link: editor side ----

void CaldrithEditorLink::PullIntoControls(IGraphics* g) {
  const unsigned version = mTextVersion.load(std::memory_order_acquire);
  if (version != mSeenVersion) {
    char status[kTextSize], band[kTextSize];
    {
      PlugLock lock(mPlug->Mutex());
      std::memcpy(status, mStatus, kTextSize);
      std::memcpy(band, mBand, kTextSize);
      mSeenVersion = mTextVersion.load(std::memory_order_acquire);
    }
    if (statusLine) statusLine->TakeHostText(status);
    if (bandLabel) bandLabel->TakeHostText(band);
  }
  const int wave = mWaveFrame.load(std::memory_order_acquire);
  if (wave != mSeenWave && wave >= 0) {
    mSeenWave = wave;
    g->PushValueToControl(waveControl, wave / 6.0);
  }
}

// ---- link: graph host ----

bool CaldrithEditorLink::EngineStarted() {
  return mPlug->EngineStarted();
}

caldrith::SegmentEnvelope* CaldrithEditorLink::GraphEnvelope(bool freq) {
  return &mPlug->Graph(freq ? CLS_CALDRITH::kGraphFrequency : CLS_CALDRITH::kGraphVolume).env;
}

int* CaldrithEditorLink::GraphPending(bool freq) {
  return &mPlug->Graph(freq ? CLS_CALDRITH::kGraphFrequency : CLS_CALDRITH::kGraphVolume).pending;
}

void CaldrithEditorLink::PropagateGraph(bool freq) {
  mPlug->PropagateGraph(freq ? CLS_CALDRITH::kGraphFrequency : CLS_CALDRITH::kGraphVolume);
}

int CaldrithEditorLink::ToneCount() {
  return mPlug->ToneCount();
}
double CaldrithEditorLink::ToneSweep(int tone) {
  return mPlug->SweepValue(tone);
}
double CaldrithEditorLink::ToneVolume(int tone) {
  return mPlug->VolumeValue(tone);
}
int CaldrithEditorLink::ToneVolumeSegment(int tone) {
  return mPlug->VolumeSegment(tone);
}
double CaldrithEditorLink::ToneFrequency(int tone) {
  return mPlug->ToneFrequencyHz(tone);
}

void CaldrithEditorLink::ToneWindow(int tone, double* start, double* end) {
  *start = mPlug->ToneWindowLowHz(tone);
  *end = mPlug->ToneWindowHighHz(tone);
}

double CaldrithEditorLink::LowFreq() {
  return mPlug->LowFreqHz();
}
double CaldrithEditorLink::HighFreq() {
  return mPlug->HighFreqHz();
}
bool CaldrithEditorLink::HideToneWindows() {
  return !mPlug->GraphShowsRealFreq();
}
void CaldrithEditorLink::SwapSweepDirection() {
  mPlug->SwapSweepDirection();
}

void CaldrithEditorLink::SetParamFromEngine(int paramIdx, double value, bool quiet) {
  mPlug->SetParamFromEngine(paramIdx, value, quiet);
}

void CaldrithEditorLink::SetParamDirect(int paramIdx, double value) {
  PlugParam* p = mPlug->ParamAt(paramIdx);
  if (!p) return;
  PlugLock lock(mPlug->Mutex());
  mPlug->BeginParamEdit(paramIdx);
  p->SetValue(value);
  if (IGraphics* g = PlugGraphics(mPlug)) g->MirrorParam(paramIdx, p->NormalizedValue());
  mPlug->EndParamEdit(paramIdx);
}

void CaldrithEditorLink::ShowStatus(const char* text) {
  mPlug->ShowStatus(text);
}

// ---- styles ----

ITextStyle VersionTextStyle() {
  return ITextStyle("Verdana", 13, IRgba(100, 255, 255, 255), 0, kAlignNear);
}
ITextStyle StatusTextStyle() {
  return ITextStyle("Arial", 14, IRgba(160, 255, 255, 255), 0, kAlignCenter);
}
ITextStyle BandTextStyle() {
  return ITextStyle("Arial", 15, IRgba(200, 255, 255, 255), 0, kAlignFar);
}
ITextStyle ValueTextStyle() {
  return ITextStyle("Arial", 0, IRgba(255, 0, 0, 0), 0, kAlignCenter);
}

// ---- the layout ----

namespace {

struct KnobSpec {
  int param, x, y, image;
  float hoverAlpha;
};

struct SliderSpec {
  int param;
  IBox rect;
  int handle;
  bool horizontal;
  int length, thickness, startOffset;
  bool bipolar;
};

}  // namespace

IGraphics* BuildCaldrithEditor(CLS_CALDRITH* plug, CaldrithEditorLink** linkOut) {
  IGraphics* g = MakePlatformGraphics(plug, 600, 475, 0);
  if (!g) return nullptr;
  auto link = std::make_shared<CaldrithEditorLink>(plug);
  CaldrithEditorLink* l = link.get();
  // The hook owns the link, so it lives exactly as long as the editor.
  g->SetTickHook([link, g]() { link->PullIntoControls(g); });
  if (linkOut) *linkOut = l;

  g->UseSettingsFile(UserSettingsPath("Caldrith", "editor.conf"));
  g->SetBackground(100, "img/bg.png");

  char version[32];
  plug->EffectVersionText(version, static_cast<int>(sizeof(version)));
  if (plug->NInChannels() != 2)
    std::strncat(version, " i", sizeof(version) - std::strlen(version) - 1);
  g->AddControl(new ITextControl(plug, IBox(50, 12, 95, 30), VersionTextStyle(), version));
  g->AddControl(new IURLOpen(plug, IBox(151, 6, 343, 53)));

  IImage knobs[3];
  const char* knobNames[3] = {"img/knob.png", "img/knob2.png", "img/knob3.png"};
  for (int i = 0; i < 3; ++i) {
    knobs[i] = g->FetchImage(103 + i, knobNames[i], 1);
    if (knobs[i].Valid()) g->SplitImage(&knobs[i], 0.5);
  }

  l->statusLine = new ITextControl(plug, IBox(200, 58, 400, 76), StatusTextStyle(), "");
  l->bandLabel = new ITextControl(plug, IBox(204, 172, 268, 190), BandTextStyle(), "");
  g->AddControl(l->statusLine);
  g->AddControl(l->bandLabel);

  const ITextStyle value = ValueTextStyle();
  const KnobSpec knobSpecs[5] = {{kIsochronic, 300, 242, 0, 0.1f},
                                 {kLowFreq, 165, 155, 1, 0.15f},
                                 {kHighFreq, 435, 155, 1, 0.15f},
                                 {kRate, 111, 263, 2, 0.15f},
                                 {kVolume, 537, 263, 2, 0.15f}};
  for (const KnobSpec& k : knobSpecs) {
    const IImage& img = knobs[k.image];
    if (!img.Valid() || img.linkedId == 0) continue;
    g->AddControl(new IKnobRotVal(plug, k.param, k.x, k.y, img, value, 2, 300, 4.0, 0, 0,
                                  k.hoverAlpha, true, 0));
  }

  const IImage hHandle = g->FetchImage(107, "img/slider.png", 1);
  const IImage vHandle = g->FetchImage(108, "img/slider_vert.png", 1);
  const IRgba fill(255, 66, 110, 170);
  const SliderSpec sliders[6] = {
      {kLow, IBox(29, 135, 45, 193), 108, false, 58, 2, 1, true},
      {kMiddle, IBox(55, 135, 71, 193), 108, false, 58, 2, 1, true},
      {kHigh, IBox(81, 135, 97, 193), 108, false, 58, 2, 1, true},
      {kSpread, IBox(32, 198, 94, 214), 107, true, 62, 0, 1, false},
      {kIsochronicMix, IBox(435, 225, 497, 241), 107, true, 62, 0, 1, false},
      {kTones, IBox(435, 258, 497, 274), 107, true, 62, 0, 1, false}};
  for (const SliderSpec& s : sliders) {
    const IImage& h = s.handle == 107 ? hHandle : vHandle;
    if (!h.Valid()) continue;
    g->AddControl(new ISlider(plug, s.param, s.rect, h, value, fill, s.length, s.thickness,
                              s.horizontal, s.startOffset, s.bipolar, 0.2f));
  }

  const IImage waves = g->FetchImage(109, "img/waves.png", 7);
  if (waves.Valid()) {
    l->waveControl = g->AddControl(new IBitmapControl(plug, 498, 145, -1, waves, kBlendNone));
  }
  if (vHandle.Valid()) {
    g->AddControl(
        new ISliderImg(plug, kWave, IBox(556, 135, 572, 193), vHandle, value, 58, false, 0.2f));
  }

  const IImage play = g->FetchImage(101, "img/but_play.png", 1);
  if (play.Valid()) g->AddControl(new IButton(plug, kPlayAnyway, 144, 223, play, 0.1f));
  const IImage pulse = g->FetchImage(110, "img/but_ig.png", 1);
  if (pulse.Valid()) g->AddControl(new IButton(plug, kIsochronicType, 496, 185, pulse, 0.1f));

  l->freqGraph = new GRAPH(plug, l, IBox(13, 294, 299, 442), true);
  l->volumeGraph = new GRAPH(plug, l, IBox(303, 294, 589, 442), false);
  g->AddControl(l->freqGraph);
  g->AddControl(l->volumeGraph);
  g->SetAnimatedArea(IBox(13, 294, 589, 442));

  l->lfoGraph = new GPHLFO(plug, l, IBox(274, 92, 320, 138));
  g->AddControl(l->lfoGraph);

  const IImage graphSwitch = g->FetchImage(102, "img/gph_show.png", 2);
  if (graphSwitch.Valid()) {
    g->AddControl(
        new ISwitchLbl(plug, kFreqGraph, 202, 445, graphSwitch, value, 0, 78, false, 0.2f));
  }

  g->HandleMouseOver(true);
  return g;
}
