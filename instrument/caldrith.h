#pragma once
// Caldrith: an isochronic tone-stack instrument. Up to 16 tones sweep endlessly through
// staggered frequency windows, faded in and out over each sweep and pulsed in loudness at
// the chosen brainwave rate.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "engine/segment_envelope.h"
#include "engine/tone_engine.h"
#include "framework/plug_base.h"
#include "vst3/plug_vst3.h"

class CaldrithEditorLink;

enum EParams {
  kIsochronic = 0,
  kLowFreq,
  kHighFreq,
  kTones,
  kSpread,
  kLow,
  kMiddle,
  kHigh,
  kWave,
  kRate,
  kIsochronicType,
  kIsochronicMix,
  kPlayAnyway,
  kVolume,
  kFreqGraph,
  kQfreq,
  kQvol1,
  kQvol2,
  kQvol3,
  kQvol4,
  kXvol1,
  kXvol2,
  kXvol3,
  kNumParams
};

// The host binding the instrument sits on. Switching bindings changes this alias and the
// base initialiser in caldrith.cpp (CLS_CALDRITH::CLS_CALDRITH) only.
using CaldrithBase = IPlugVST3;

// Shape data behind one of the editor's two envelope graphs: the frequency graph holds a
// one-segment envelope, the volume graph a four-segment one. The pending code tells the
// next propagation what changed: -1 nothing, 2 x segments the whole envelope, 2k
// curvature k, 2k + 1 break position k.
struct GraphEnvelope {
  explicit GraphEnvelope(int segments) : env(segments), pending(2 * segments) {}
  int WholeCode() const { return 2 * env.Segments(); }
  caldrith::SegmentEnvelope env;
  int pending;
};

class CLS_CALDRITH : public CaldrithBase {
 public:
  enum GraphId { kGraphFrequency = 0, kGraphVolume = 1 };

  CLS_CALDRITH();
  ~CLS_CALDRITH() override;

  // ---- base hooks ----
  void Reset() override;
  void HandleParamChange(int paramIdx) override;
  void RenderBlock(double** inputs, double** outputs, int nFrames) override;
  void Activate(bool active) override;
  void EditorOpened() override;
  void EditorClosed() override;
  void ShowParamStatus(int paramIdx) override;
  bool PresetAppliesParam(int paramIdx, int presetIdx) override;

  // Sets a parameter whose change started in the engine or a graph: begin edit, clamped
  // store, controls updated (unless quiet), end edit. Does not apply the value; callers
  // update the engine themselves.
  void SetParamFromEngine(int paramIdx, double value, bool quiet);

  // ---- texts the editor shows ----
  std::string StatusText() const;
  std::string BandText() const;
  // Writes a status text that stays nine seconds (used by graph and control hovering).
  void ShowStatus(const char* text);
  // The pulse gate's value (0..1) of each frame rendered from now on, appended to
  // tap[*used] while it fits (see ToneEngine::TapGate); null stops it. For caldrith-render.
  void TapGate(double* tap, int capacity, int* used);

  // ---- entry points for the graph controls ----
  // The two graph envelopes. Parameter changes write them on the thread that applies the
  // parameter, under the plug-in mutex, so a control holds Mutex() while it reads or
  // changes one; it then calls PropagateGraph once the engine has started. The functions
  // below take the mutex themselves.
  GraphEnvelope& Graph(int which) { return which == kGraphVolume ? mVolGraph : mFreqGraph; }
  // Copies what the pending code names into the 16 engine envelopes of that kind,
  // re-times them, re-phases the tones and starts declick glides; clears the code.
  void PropagateGraph(int which);
  // Exchanges the band ends (reverses the sweep direction) and tells host and controls.
  void SwapSweepDirection();
  bool EngineStarted() const { return mStarted.load(std::memory_order_acquire); }
  bool EditorIsOpen() const { return mEditorOpen.load(std::memory_order_acquire); }
  // Live values for drawing, read under the mutex.
  int ToneCount() const;
  float LowFreqHz() const;
  float HighFreqHz() const;
  double SweepValue(int tone) const;
  double VolumeValue(int tone) const;
  int VolumeSegment(int tone) const;
  // Tone window and current frequency in Hz (channel 0).
  double ToneWindowLowHz(int tone) const;
  double ToneWindowHighHz(int tone) const;
  double ToneFrequencyHz(int tone) const;
  // The frequency graph shows real frequencies (kFreqGraph = "Real Freq").
  bool GraphShowsRealFreq() const { return mShowRealFreq.load(std::memory_order_acquire); }

  // ---- inspection and test hooks ----
  const caldrith::ToneEngine& Engine() const { return mEngine; }
  int AppliedKey(int paramIdx) const;
  double StoredSampleRate() const { return mStoredSampleRate; }
  double ToneAmplitude() const { return mToneAmp; }
  float SweepLength() const { return mSweepLen; }
  bool RestartRequested() const { return mRestartRequested.load(); }
  // Replaces the millisecond clock behind the status deadline.
  void SetClockForTesting(int64_t (*clock)()) { mClock = clock; }

 private:
  void DefineParams();
  void CreateFactoryPresets();
  void ApplyKey(int paramIdx, int32_t key);
  void RecomputeWindows();
  void RecomputeLoudness();
  void RunGraphUpdate(int which);
  void RequestRestart() { mRestartRequested.store(true, std::memory_order_release); }
  void ClearAllVoices();
  void WatchdogLoop();
  int64_t Now() const { return mClock(); }

  // Editor-facing effects. Without an editor they only keep the texts.
  void UpdateStatusLine(const char* text);
  void UpdateBandLabel(const char* text);
  void UpdateWavePicture(int frame);

  caldrith::ToneEngine mEngine;
  // Owned by the editor (which the base owns); null when the editor could not be built.
  CaldrithEditorLink* mEditorLink = nullptr;
  GraphEnvelope mFreqGraph{1};
  GraphEnvelope mVolGraph{4};

  // Engine values set by the parameters.
  float mPulseRate = 0.0f;
  float mLowFreq = 0.0f;
  float mHighFreq = 0.0f;
  int mTones = 0;
  int mPrevTones = 0;
  float mSpread = 0.0f;
  float mLowW = 0.0f, mMidW = 0.0f, mHighW = 0.0f;
  int mWave = 0;
  float mSweepLen = 0.0f;
  int16_t mPulseType = 0;
  float mMix = 0.0f;
  bool mPlayAnyway = false;
  float mVolume = 0.0f;
  double mToneAmp = 0.0;
  double mStoredSampleRate = 0.0;
  std::atomic<bool> mShowRealFreq{false};

  int32_t mApplied[kNumParams];

  char mStatus[128] = {};
  char mBand[16] = {};
  int64_t mStatusDeadline = 0;
  int64_t (*mClock)();

  std::atomic<bool> mStarted{false};
  std::atomic<bool> mProcessingRan{false};
  std::atomic<bool> mRestartRequested{false};
  std::atomic<bool> mEditorOpen{false};

  std::mutex mWatchdogMutex;
  std::condition_variable mWatchdogWake;
  bool mWatchdogRunning = false;
  std::thread mWatchdog;
};
