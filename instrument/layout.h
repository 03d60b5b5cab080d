#pragma once
// The instrument's editor: 600 x 475 pixels, a background and 23 controls in drawing order,
// and the link through which the engine's texts and graph data reach them.
#include <atomic>
#include <mutex>

#include "instrument/graphs.h"

class CLS_CALDRITH;
class IGraphics;
class ITextControl;

// Connects one instrument to its editor. The engine posts its status text, band label and
// wave frame here from whatever thread applies a parameter (always under the plug-in's
// mutex); the editor picks them up on its next tick. It also answers the graphs' questions.
class CaldrithEditorLink : public IGraphHost {
 public:
  explicit CaldrithEditorLink(CLS_CALDRITH* plug) : mPlug(plug) {}

  // Engine side (plug-in mutex held).
  void PostStatus(const char* text);
  void PostBand(const char* text);
  void PostWave(int frame);

  // Editor side: moves posted texts and the wave frame into their controls.
  void PullIntoControls(IGraphics* g);

  ITextControl* statusLine = nullptr;
  ITextControl* bandLabel = nullptr;
  int waveControl = -1;
  GRAPH* freqGraph = nullptr;
  GRAPH* volumeGraph = nullptr;
  GPHLFO* lfoGraph = nullptr;

  // IGraphHost
  bool EngineStarted() override;
  caldrith::SegmentEnvelope* GraphEnvelope(bool freq) override;
  int* GraphPending(bool freq) override;
  void PropagateGraph(bool freq) override;
  int ToneCount() override;
  double ToneSweep(int tone) override;
  double ToneVolume(int tone) override;
  int ToneVolumeSegment(int tone) override;
  double ToneFrequency(int tone) override;
  void ToneWindow(int tone, double* start, double* end) override;
  double LowFreq() override;
  double HighFreq() override;
  bool HideToneWindows() override;
  void SwapSweepDirection() override;
  void SetParamFromEngine(int paramIdx, double value, bool quiet) override;
  void SetParamDirect(int paramIdx, double value) override;
  void ShowStatus(const char* text) override;

 private:
  static constexpr int kTextSize = 128;
  CLS_CALDRITH* mPlug;
  // Written under the plug-in's mutex; the version tells the tick whether to look.
  char mStatus[kTextSize] = {};
  char mBand[kTextSize] = {};
  std::atomic<unsigned> mTextVersion{0};
  unsigned mSeenVersion = 0;
  std::atomic<int> mWaveFrame{-1};
  int mSeenWave = -1;
};

// Text styles of the layout.
ITextStyle VersionTextStyle();
ITextStyle StatusTextStyle();
ITextStyle BandTextStyle();
ITextStyle ValueTextStyle();

// Builds the editor description for the instrument. A missing image leaves out the
// controls that need it. The caller installs the result (InstallEditor) and owns the link
// through the editor: the link lives exactly as long as the returned object.
IGraphics* BuildCaldrithEditor(CLS_CALDRITH* plug, CaldrithEditorLink** link);
