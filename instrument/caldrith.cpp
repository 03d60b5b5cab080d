#include "instrument/caldrith.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "editor/embedded_resources.h"
#include "editor/graphics.h"
#include "instrument/identity.h"
#include "instrument/layout.h"
#include "resources/embedded.h"
#include "engine/dsp_math.h"
#include "instrument/ready_gate.h"

using caldrith::kMaxTones;

static_assert(caldrith::ReadyGateTable::kSize == kNumParams,
              "the ready gate marks each parameter once");

namespace {

int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr int64_t kStatusHoldMs = 9000;

// Scale of the applied key: hundredths for the pulse rate, tenths for frequencies, rate
// and break positions, whole units for the rest.
double KeyScale(int idx) {
  switch (idx) {
    case kIsochronic:
      return 100.0;
    case kLowFreq:
    case kHighFreq:
    case kRate:
    case kXvol1:
    case kXvol2:
    case kXvol3:
      return 10.0;
    default:
      return 1.0;
  }
}

const char* BandFor(float r) {
  if (r > 0.0f && r < 0.5f) return "EPSILON";
  if (r < 4.0f) return "DELTA";
  if (r < 8.0f) return "THETA";
  if (r < 14.0f) return "ALPHA";
  if (r < 30.0f) return "BETA";
  if (r >= 100.0f) return "LAMBDA";
  return "GAMMA";
}

}  // namespace

CLS_CALDRITH::CLS_CALDRITH()
    : CaldrithBase(kNumParams, "0-2", 150, kCaldrithIdentity.name, "", kCaldrithIdentity.vendor,
                   PlugVersionCode(kCaldrithIdentity.version),
                   static_cast<int>(kCaldrithIdentity.vst3ClassWords[3]),
                   static_cast<int>(kCaldrithIdentity.vst3ClassWords[2]), 0, true, false, true),
      mClock(&SteadyMilliseconds) {
  for (int i = 0; i < kNumParams; ++i) mApplied[i] = -101;
  if (!IsReady()) caldrith::ReadyGateTable::Rearm();
  {
    std::lock_guard<std::mutex> lock(mWatchdogMutex);
    mWatchdogRunning = true;
  }
  mWatchdog = std::thread(&CLS_CALDRITH::WatchdogLoop, this);
  DefineParams();
  // The headless and X11 editors find the images here; Windows reads the DLL's resources.
  RegisterEmbeddedResources(&CaldrithFindResource, &CaldrithFindCursor);
  if (IGraphics* gui = BuildCaldrithEditor(this, &mEditorLink)) InstallEditor(gui);
  CreateFactoryPresets();
}

CLS_CALDRITH::~CLS_CALDRITH() {
  {
    std::lock_guard<std::mutex> lock(mWatchdogMutex);
    mWatchdogRunning = false;
  }
  mWatchdogWake.notify_all();
  if (mWatchdog.joinable()) mWatchdog.join();
}

void CLS_CALDRITH::DefineParams() {
  ParamAt(kIsochronic)->DefineDouble("Isochronic", 11.0, 0.01, 1000.0, 0.01, "Hz");
  ParamAt(kIsochronic)->SetShapeExponent(2.0);
  ParamAt(kLowFreq)->DefineDouble("Low Freq", 10.0, 5.0, 10000.0, 0.1, "Hz");
  ParamAt(kLowFreq)->SetShapeExponent(2.0);
  ParamAt(kHighFreq)->DefineDouble("High Freq", 1500.0, 5.0, 10000.0, 0.1, "Hz");
  ParamAt(kHighFreq)->SetShapeExponent(2.0);
  ParamAt(kTones)->DefineInt("Tones", 7, 1, 16, "");
  ParamAt(kSpread)->DefineInt("Spread", 25, 0, 100, "%");
  ParamAt(kSpread)->SetShapeExponent(2.0);
  ParamAt(kLow)->DefineInt("Low", 50, 0, 100, "%");
  ParamAt(kMiddle)->DefineInt("Middle", 50, 0, 100, "%");
  ParamAt(kHigh)->DefineInt("High", 50, 0, 100, "%");
  PlugParam* wave = ParamAt(kWave);
  wave->DefineEnum("Wave", 0, 7, "");
  wave->AddValueText(0, "Sine");
  wave->AddValueText(1, "Triangle");
  wave->AddValueText(2, "Saw");
  wave->AddValueText(3, "Golden Sine");
  wave->AddValueText(4, "Gold. Sine Half");
  wave->AddValueText(5, "Gold. Triangle");
  wave->AddValueText(6, "Gold. Square");
  ParamAt(kRate)->DefineDouble("Rate", 60.0, 0.1, 180.0, 0.1, "s");
  PlugParam* type = ParamAt(kIsochronicType);
  type->DefineEnum("Isochronic Type", 1, 2, "");
  type->AddValueText(0, "Half");
  type->AddValueText(1, "Golden");
  ParamAt(kIsochronicMix)->DefineInt("Isochronic Mix", 60, 0, 100, "%");
  PlugParam* play = ParamAt(kPlayAnyway);
  play->DefineEnum("Play Anyway", 0, 2, "");
  play->AddValueText(0, "No");
  play->AddValueText(1, "Yes");
  ParamAt(kVolume)->DefineInt("Volume", 50, 0, 100, "%");
  ParamAt(kQfreq)->DefineInt("Qfreq", 18, -90, 90, "%");
  ParamAt(kQvol1)->DefineInt("Qvol1", 24, -90, 90, "%");
  ParamAt(kQvol2)->DefineInt("Qvol2", -24, -90, 90, "%");
  ParamAt(kQvol3)->DefineInt("Qvol3", 24, -90, 90, "%");
  ParamAt(kQvol4)->DefineInt("Qvol4", -24, -90, 90, "%");
  ParamAt(kXvol1)->DefineDouble("Xvol1", 25.0, 0.0, 100.0, 0.1, "%");
  ParamAt(kXvol2)->DefineDouble("Xvol2", 50.0, 0.0, 100.0, 0.1, "%");
  ParamAt(kXvol3)->DefineDouble("Xvol3", 75.0, 0.0, 100.0, 0.1, "%");
  PlugParam* graph = ParamAt(kFreqGraph);
  graph->DefineEnum("Freq Graph", 0, 2, "");
  graph->AddValueText(0, "LFO Pos");
  graph->AddValueText(1, "Real Freq");
}

// ---------------------------------------------------------------- parameter changes

void CLS_CALDRITH::HandleParamChange(int paramIdx) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  PlugLock lock(Mutex());
  const PlugParam* p = ParamAt(paramIdx);
  if (p == nullptr) return;
  double v = p->Value();
  // The model clamps and refuses NaN; repeat it here so nothing else can reach the engine.
  if (!std::isfinite(v)) return;
  if (v < p->Min()) v = p->Min();
  if (v > p->Max()) v = p->Max();
  const int32_t key = caldrith::TruncRoundKey(v * KeyScale(paramIdx));
  if (key == mApplied[paramIdx]) return;
  mApplied[paramIdx] = key;
  ApplyKey(paramIdx, key);
  ShowParamStatus(paramIdx);
  if (!IsReady() && caldrith::ReadyGateTable::MarkApplied(paramIdx)) SetReady(true);
}

void CLS_CALDRITH::ApplyKey(int idx, int32_t key) {
  RequireLocked("CLS_CALDRITH::ApplyKey");
  const bool started = EngineStarted();
  switch (idx) {
    case kIsochronic:
      mPulseRate = static_cast<float>(key) * 0.01f;
      mEngine.gate.Retime(static_cast<float>(mStoredSampleRate / mPulseRate));
      RecomputeWindows();
      UpdateBandLabel(BandFor(mPulseRate));
      break;
    case kLowFreq:
      mLowFreq = static_cast<float>(key) * 0.1f;
      RecomputeWindows();
      break;
    case kHighFreq:
      mHighFreq = static_cast<float>(key) * 0.1f;
      RecomputeWindows();
      break;
    case kSpread:
      mSpread = static_cast<float>(key) * 0.01f;
      RecomputeWindows();
      break;
    case kTones: {
      const int n = key < 1 ? 1 : (key > kMaxTones ? kMaxTones : key);
      mTones = n;
      mEngine.tones = n;
      mToneAmp = static_cast<double>(mVolume / std::sqrt(static_cast<float>(n)));
      if (started) {
        for (int t = mPrevTones; t < n; ++t) {
          mEngine.sweep[t].Retime(mSweepLen);
          mEngine.vol[t].Retime(mSweepLen);
          mEngine.ClearVoices(t, t + 1);
        }
        if (n != mPrevTones) {
          RecomputeWindows();
          mEngine.Rephase(1, 0, mSweepLen);
          mEngine.StartGlides(n, true, true);
        }
        mPrevTones = n;
      }
      break;
    }
    case kLow:
      mLowW = static_cast<float>(key) * 0.01f;
      RecomputeLoudness();
      break;
    case kMiddle:
      mMidW = static_cast<float>(key) * 0.01f;
      RecomputeLoudness();
      break;
    case kHigh:
      mHighW = static_cast<float>(key) * 0.01f;
      RecomputeLoudness();
      break;
    case kWave:
      mWave = key < 0 ? 0 : (key > 6 ? 6 : key);
      mEngine.SelectWave(mWave);
      UpdateWavePicture(mWave);
      break;
    case kRate:
      if (started) {
        mSweepLen = static_cast<float>(key) * 0.1f * static_cast<float>(mStoredSampleRate) * 2.0f;
        for (int t = 0; t < kMaxTones; ++t) {
          mEngine.sweep[t].Retime(mSweepLen);
          mEngine.vol[t].Retime(mSweepLen);
        }
      }
      break;
    case kIsochronicType:
      mPulseType = static_cast<int16_t>(key);
      mEngine.gate.SetGolden(key > 0);
      mEngine.gate.Retime(0.0f);
      break;
    case kIsochronicMix:
      mMix = static_cast<float>(key) * 0.01f;
      mEngine.mix = mMix;
      break;
    case kPlayAnyway:
      mPlayAnyway = key > 0;
      if (mPlayAnyway) RequestRestart();
      break;
    case kVolume: {
      mVolume = static_cast<float>(static_cast<double>(key) * 0.008 + 0.0001);
      const int n = mTones < 1 ? 1 : mTones;
      mToneAmp = static_cast<double>(mVolume / std::sqrt(static_cast<float>(n)));
      break;
    }
    case kFreqGraph:
      mShowRealFreq.store(key == 1, std::memory_order_release);
      break;
    case kQfreq:
      mFreqGraph.env.SetCurvature(0, static_cast<float>(key) / 6.0f);
      mFreqGraph.pending = 0;
      RunGraphUpdate(kGraphFrequency);
      break;
    case kQvol1:
    case kQvol2:
    case kQvol3:
    case kQvol4:
      mVolGraph.env.SetCurvature(idx - kQvol1, static_cast<float>(key) / 6.0f);
      mVolGraph.pending = mVolGraph.WholeCode();
      RunGraphUpdate(kGraphVolume);
      break;
    case kXvol1:
    case kXvol2:
    case kXvol3:
      mVolGraph.env.SetBreak(idx - kXvol1, static_cast<float>(key) * 0.001f);
      mVolGraph.pending = mVolGraph.WholeCode();
      RunGraphUpdate(kGraphVolume);
      break;
    default:
      break;
  }
}

void CLS_CALDRITH::RecomputeWindows() {
  if (!EngineStarted()) return;
  mEngine.ComputeWindows(mLowFreq, mHighFreq, mSpread, mTones, mStoredSampleRate);
}

void CLS_CALDRITH::RecomputeLoudness() {
  if (mSpread == 0.0f) return;
  mEngine.ComputeLoudness(mLowW, mMidW, mHighW, mTones);
}

void CLS_CALDRITH::RunGraphUpdate(int which) {
  // With the editor open the graph propagates when it next draws. Before the first block
  // the engine envelopes have no cycle yet; the first block propagates both graphs whole.
  if (EditorIsOpen() || !EngineStarted()) return;
  PropagateGraph(which);
}

void CLS_CALDRITH::PropagateGraph(int which) {
  PlugLock lock(Mutex());
  GraphEnvelope& g = Graph(which);
  const int code = g.pending;
  if (code < 0) return;
  const int segs = g.env.Segments();
  caldrith::SegmentEnvelope* targets = which == kGraphVolume ? mEngine.vol : mEngine.sweep;
  for (int t = 0; t < kMaxTones; ++t) {
    caldrith::SegmentEnvelope& e = targets[t];
    if (code >= 2 * segs) {
      for (int k = 0; k < segs; ++k) e.SetCurvature(k, g.env.Curvature(k));
      for (int k = 0; k < segs - 1; ++k) e.SetBreak(k, g.env.Break(k));
    } else if (code & 1) {
      e.SetBreak(code / 2, g.env.Break(code / 2));
    } else {
      e.SetCurvature(code / 2, g.env.Curvature(code / 2));
    }
    e.Retime(0.0f);
  }
  mEngine.Rephase(1, 0, mSweepLen);
  mEngine.StartGlides(mTones, which == kGraphFrequency, true);
  g.pending = -1;
}

void CLS_CALDRITH::SwapSweepDirection() {
  PlugLock lock(Mutex());
  const float low = mHighFreq;
  const float high = mLowFreq;
  mLowFreq = low;
  mHighFreq = high;
  SetParamFromEngine(kLowFreq, low, false);
  SetParamFromEngine(kHighFreq, high, false);
  RecomputeWindows();
}

void CLS_CALDRITH::SetParamFromEngine(int paramIdx, double value, bool quiet) {
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  PlugLock lock(Mutex());
  PlugParam* p = ParamAt(paramIdx);
  if (p == nullptr) return;
  BeginParamEdit(paramIdx);
  p->SetValue(value);
  // The engine already holds this value; record its key so that the host setting the
  // parameter later is compared against what is really applied.
  mApplied[paramIdx] = caldrith::TruncRoundKey(p->Value() * KeyScale(paramIdx));
  if (!quiet && GetGUI() != nullptr)
    GetGUI()->PushParamToControls(paramIdx, p->NormalizedValue(), true);
  EndParamEdit(paramIdx);
}

// ---------------------------------------------------------------- texts

void CLS_CALDRITH::ShowParamStatus(int paramIdx) {
  PlugLock lock(Mutex());
  if (mStoredSampleRate == 0.0) return;
  if (paramIdx < 0 || paramIdx >= kNumParams) return;
  char text[128];
  text[0] = '\0';
  switch (paramIdx) {
    case kIsochronic:
      std::snprintf(text, sizeof(text), "Isochronic: %.2fHz", static_cast<double>(mPulseRate));
      break;
    case kLowFreq:
      std::snprintf(text, sizeof(text), "Low Freq: %.2fHz", static_cast<double>(mLowFreq));
      break;
    case kHighFreq:
      std::snprintf(text, sizeof(text), "High Freq: %.2fHz", static_cast<double>(mHighFreq));
      break;
    case kTones:
      std::snprintf(text, sizeof(text), "Tones: %d", mTones);
      break;
    case kSpread:
      std::snprintf(text, sizeof(text), "Spread Frequencies: %d%%",
                    caldrith::RoundHalfAway(static_cast<double>(mSpread * 100.0f)));
      break;
    case kLow:
      std::snprintf(text, sizeof(text), "Low Frequencies: %d%%",
                    caldrith::RoundHalfAway(static_cast<double>(mLowW * 100.0f)));
      break;
    case kMiddle:
      std::snprintf(text, sizeof(text), "Middle Frequencies: %d%%",
                    caldrith::RoundHalfAway(static_cast<double>(mMidW * 100.0f)));
      break;
    case kHigh:
      std::snprintf(text, sizeof(text), "High Frequencies: %d%%",
                    caldrith::RoundHalfAway(static_cast<double>(mHighW * 100.0f)));
      break;
    case kWave:
      std::snprintf(text, sizeof(text), "Set Wave: %s", ParamAt(kWave)->ValueTextFor(mWave));
      break;
    case kRate:
      std::snprintf(text, sizeof(text), "Rate: %.1fs",
                    static_cast<double>(mSweepLen) * 0.5 / mStoredSampleRate);
      break;
    case kIsochronicType:
      std::snprintf(text, sizeof(text), "%s",
                    mPulseType == 1 ? "Isochronic golden" : "Isochronic standard");
      break;
    case kIsochronicMix:
      std::snprintf(text, sizeof(text), "Isochronic Mix: %d%%",
                    caldrith::RoundHalfAway(ParamAt(kIsochronicMix)->Value()));
      break;
    case kPlayAnyway:
      std::snprintf(text, sizeof(text), "%s",
                    mPlayAnyway ? "Play anyway was activated" : "Play anyway was deactivated");
      break;
    case kVolume:
      std::snprintf(text, sizeof(text), "Volume Amount: %d%%",
                    caldrith::RoundHalfAway(ParamAt(kVolume)->Value()));
      break;
    case kFreqGraph: {
      const PlugParam* g = ParamAt(kFreqGraph);
      std::snprintf(text, sizeof(text), "Freq Graph: %s", g->ValueTextFor(g->IntValue()));
      break;
    }
    default:
      break;
  }
  UpdateStatusLine(text);
  mStatusDeadline = Now() + kStatusHoldMs;
  if (mStatusDeadline == 0) mStatusDeadline = 1;
}

void CLS_CALDRITH::ShowStatus(const char* text) {
  PlugLock lock(Mutex());
  UpdateStatusLine(text == nullptr ? "" : text);
  mStatusDeadline = Now() + kStatusHoldMs;
  if (mStatusDeadline == 0) mStatusDeadline = 1;
}

std::string CLS_CALDRITH::StatusText() const {
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return std::string(mStatus);
}

std::string CLS_CALDRITH::BandText() const {
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return std::string(mBand);
}

void CLS_CALDRITH::UpdateStatusLine(const char* text) {
  std::snprintf(mStatus, sizeof(mStatus), "%s", text);
  if (mEditorLink) mEditorLink->PostStatus(mStatus);
}

void CLS_CALDRITH::UpdateBandLabel(const char* text) {
  std::snprintf(mBand, sizeof(mBand), "%s", text);
  if (mEditorLink) mEditorLink->PostBand(mBand);
}

void CLS_CALDRITH::UpdateWavePicture(int frame) {
  // The wave picture is a control bound to no parameter; it shows frame / 6.
  if (mEditorLink) mEditorLink->PostWave(frame);
}

bool CLS_CALDRITH::PresetAppliesParam(int paramIdx, int presetIdx) {
  switch (presetIdx) {
    case 1:
    case 2:
      return paramIdx == kWave || paramIdx == kPlayAnyway;
    case 3:
      return paramIdx == kTones || paramIdx == kSpread;
    case 4:
      return paramIdx == kTones || paramIdx == kSpread || paramIdx == kWave;
    case 5:
      return paramIdx == kLowFreq || paramIdx == kHighFreq || paramIdx == kQfreq;
    case 6:
    case 7:
    case 8:
    case 9:
      return paramIdx >= kXvol1;
    case 10:
    case 11:
      return paramIdx == kQfreq;
    default:
      return true;
  }
}

// ---------------------------------------------------------------- processing

void CLS_CALDRITH::RenderBlock(double** /*inputs*/, double** outputs, int nFrames) {
  // A block of no frames still counts as processing (start, restart, status deadline).
  if (nFrames < 0) nFrames = 0;
  if (nFrames > 0 && (outputs == nullptr || outputs[0] == nullptr || outputs[1] == nullptr)) return;
  PlugLock lock(Mutex());
  mProcessingRan.store(true, std::memory_order_release);
  if (!EngineStarted()) {
    mStarted.store(true, std::memory_order_release);
    if (!EditorIsOpen()) {
      mFreqGraph.pending = mFreqGraph.WholeCode();
      mVolGraph.pending = mVolGraph.WholeCode();
      PropagateGraph(kGraphFrequency);
      PropagateGraph(kGraphVolume);
    }
    Reset();
  }
  const int transport = HostTransportState();
  const double target = (mPlayAnyway || transport == 1 || transport == 2) ? mToneAmp : 0.0;
  if (mStatusDeadline != 0 && Now() >= mStatusDeadline) {
    UpdateStatusLine("");
    mStatusDeadline = 0;
  }
  if (mRestartRequested.exchange(false, std::memory_order_acq_rel)) {
    mEngine.Rephase(0, static_cast<int32_t>(static_cast<uint32_t>(HostSamplePosition())),
                    mSweepLen);
    mEngine.StartGlides(mTones, true, true);
  }
  mEngine.Render(nFrames > 0 ? outputs[0] : nullptr, nFrames > 0 ? outputs[1] : nullptr, nFrames,
                 target);
}

void CLS_CALDRITH::TapGate(double* tap, int capacity, int* used) {
  PlugLock lock(Mutex());
  mEngine.TapGate(tap, capacity, used);
}

void CLS_CALDRITH::Reset() {
  PlugLock lock(Mutex());
  if (!EngineStarted()) return;
  double sr = GetSampleRate();
  // A rate the engine cannot run at keeps the one it has.
  if (!(sr >= 1.0 && sr <= 10000000.0)) sr = mStoredSampleRate > 0.0 ? mStoredSampleRate : 44100.0;
  if (sr != mStoredSampleRate) {
    mStoredSampleRate = sr;
    mApplied[kLowFreq] = -1;
    mApplied[kIsochronic] = -1;
    mApplied[kRate] = -1;
    HandleParamChange(kLowFreq);
    HandleParamChange(kIsochronic);
    HandleParamChange(kRate);
    mEngine.SetGlideIncrement(1.0 / (sr * 0.5));
  }
  ClearAllVoices();
  RequestRestart();
}

void CLS_CALDRITH::ClearAllVoices() {
  RequireLocked("CLS_CALDRITH::ClearAllVoices");
  mEngine.ClearVoices(0, mTones);
}

void CLS_CALDRITH::Activate(bool active) {
  PlugLock lock(Mutex());
  if (active) Reset();
}

void CLS_CALDRITH::EditorOpened() {
  // Only an editor that draws takes the graphs' propagation over; a view attached without
  // a window (an unsupported platform type) must not hold shape changes back for ever.
  IGraphics* gui = PlugGraphics(this);
  mEditorOpen.store(gui != nullptr && gui->HasWindow(), std::memory_order_release);
}
void CLS_CALDRITH::EditorClosed() {
  PlugLock lock(Mutex());
  mEditorOpen.store(false, std::memory_order_release);
  // Changes still waiting for the graphs' next drawing reach the engine now.
  if (EngineStarted()) {
    if (mFreqGraph.pending != -1) PropagateGraph(kGraphFrequency);
    if (mVolGraph.pending != -1) PropagateGraph(kGraphVolume);
  }
}

void CLS_CALDRITH::WatchdogLoop() {
  bool toggle = true;
  std::unique_lock<std::mutex> lk(mWatchdogMutex);
  while (mWatchdogRunning) {
    if (toggle) {
      toggle = false;
    } else {
      if (!mProcessingRan.exchange(false, std::memory_order_acq_rel)) {
        // No block for a whole check period: fade the tones in again when processing
        // resumes. Done under the plug-in mutex so it never meets a block; the mutex is
        // only tried, so a destructor called with the mutex held cannot deadlock here.
        while (mWatchdogRunning) {
          if (Mutex().try_lock()) {
            ClearAllVoices();
            RequestRestart();
            Mutex().unlock();
            break;
          }
          mWatchdogWake.wait_for(lk, std::chrono::milliseconds(5));
        }
      }
      toggle = true;
    }
    mWatchdogWake.wait_for(lk, std::chrono::milliseconds(100),
                           [this] { return !mWatchdogRunning; });
  }
}

// ---------------------------------------------------------------- accessors

int CLS_CALDRITH::AppliedKey(int paramIdx) const {
  if (paramIdx < 0 || paramIdx >= kNumParams) return -101;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mApplied[paramIdx];
}

int CLS_CALDRITH::ToneCount() const {
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mTones;
}

float CLS_CALDRITH::LowFreqHz() const {
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mLowFreq;
}

float CLS_CALDRITH::HighFreqHz() const {
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mHighFreq;
}

double CLS_CALDRITH::SweepValue(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0.0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mEngine.sweep[tone].Value();
}

double CLS_CALDRITH::VolumeValue(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0.0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mEngine.vol[tone].Value();
}

int CLS_CALDRITH::VolumeSegment(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return mEngine.vol[tone].Segment();
}

namespace {
double RadToHz(double rad, double sr) {
  return sr > 0.0 ? rad * sr / caldrith::kTwoPi : 0.0;
}
}  // namespace

double CLS_CALDRITH::ToneWindowLowHz(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0.0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return RadToHz(mEngine.lanes.low[0][tone], mStoredSampleRate);
}

double CLS_CALDRITH::ToneWindowHighHz(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0.0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return RadToHz(mEngine.lanes.high[0][tone], mStoredSampleRate);
}

double CLS_CALDRITH::ToneFrequencyHz(int tone) const {
  if (tone < 0 || tone >= kMaxTones) return 0.0;
  PlugLock lock(const_cast<CLS_CALDRITH*>(this)->Mutex());
  return RadToHz(mEngine.lanes.curFreq[0][tone], mStoredSampleRate);
}
