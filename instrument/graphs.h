#pragma once
// The frequency and volume graphs (GRAPH) and the sweep-direction dot display (GPHLFO).
// They read and shape the instrument's movement through IGraphHost, which the instrument's
// editor binding implements; tests implement it with a small fake.
#include <vector>

#include "editor/controls.h"
#include "engine/segment_envelope.h"

class IGraphHost {
 public:
  static constexpr int kMaxTones = 16;

  virtual ~IGraphHost() {}
  // Every call below is made with the plug-in's mutex held by the caller.
  virtual bool EngineStarted() = 0;
  // The graph-side envelope and its pending-change code (-1 none).
  virtual caldrith::SegmentEnvelope* GraphEnvelope(bool freq) = 0;
  virtual int* GraphPending(bool freq) = 0;
  // Copies the graph envelope into the engine's envelopes by its pending code.
  virtual void PropagateGraph(bool freq) = 0;
  virtual int ToneCount() = 0;
  virtual double ToneSweep(int tone) = 0;
  virtual double ToneVolume(int tone) = 0;
  virtual int ToneVolumeSegment(int tone) = 0;
  virtual double ToneFrequency(int tone) = 0;
  // Start and end frequency of the tone's sweep window, Hz.
  virtual void ToneWindow(int tone, double* start, double* end) = 0;
  virtual double LowFreq() = 0;
  virtual double HighFreq() = 0;
  // Whether the frequency graph hides the tone windows (it shows sweep positions).
  virtual bool HideToneWindows() = 0;
  // Exchanges the low and high frequency (engine and parameters) and recomputes windows.
  virtual void SwapSweepDirection() = 0;
  virtual void SetParamFromEngine(int paramIdx, double value, bool quiet) = 0;
  // Sets a parameter's value without applying it, bracketed by the host edit notifications.
  virtual void SetParamDirect(int paramIdx, double value) = 0;
  // Status line text with the usual nine-second deadline.
  virtual void ShowStatus(const char* text) = 0;
};

class GRAPH : public IControl {
 public:
  static constexpr int kQfreqParam = 15;
  static constexpr int kQvol1Param = 16;
  static constexpr int kXvol1Param = 20;

  GRAPH(IPlugBase* plugin, IGraphHost* host, const IBox& rect, bool isFreqGraph);
  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  void MouseUp(int x, int y, const IInputMods& mods) override;
  void MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) override;
  void MouseOver(int x, int y, const IInputMods& mods) override;
  void MouseOut() override;

  const IBox& PlotArea() const { return mPlot; }
  const IBox& PresetZone(int k) const { return mZones[k < 0 ? 0 : (k > 4 ? 4 : k)]; }
  int PlotWidth() const { return mW; }
  int HoveredHandle() const { return mHovered; }
  int DraggedHandle() const { return mDragged; }
  int HoveredZone() const { return mHoverZone; }
  bool Ascending() const { return mAscending; }
  bool IsFreqGraph() const { return mIsFreq; }
  // Curve point at column c (0 = start point, W = end point), pixels.
  float CurveY(int c) const;
  // Column (0-based, columns 1..W) of the first curve point reaching value a within the
  // given segment (-1: any); -1 when none.
  int ColumnReaching(double a, int segment) const;
  // Handle centres in editor pixels (as drawn), by handle code.
  bool HandleCentre(int code, int* x, int* y) const;
  // Updates the curve and the engine if a change is pending (what Paint does first).
  void Update();

 private:
  void Recompute(int code);
  int SegmentEndColumn(int k) const;

  IGraphHost* mHost;
  std::vector<float> mCurveY;
  std::vector<float> mCurveValue;
  std::vector<signed char> mCurveSeg;
  int mHitTolerance = 5;
  int mMinGap = 10;
  int mHovered = -1;
  int mDragged = -1;
  int mHoverZone = -1;
  bool mIsFreq;
  bool mAscending = true;
  bool mPresetLoaded = false;
  IRgba mCurveColour{255, 180, 180, 180};
  IRgba mHandleColour{255, 0, 230, 90};
  IRgba mDotColour{255, 0, 100, 230};
  IBox mPlot;
  IBox mZones[5];
  IImage mPresetImage;
  int mW;
  int mSegments = 1;
  // Copy of the shape and tone positions taken under the plug-in's lock for drawing.
  float mBreaks[4] = {};
  float mTargets[4] = {};
  bool mRising[4] = {};
  double mStartValue = 0.0;
  bool mComputed = false;
  float mShapeQ[4] = {};
  float mShapeX[4] = {};
  int mTones = 0;
  double mToneA[IGraphHost::kMaxTones] = {};
  int mToneSeg[IGraphHost::kMaxTones] = {};
  double mWinStart[IGraphHost::kMaxTones] = {};
  double mWinEnd[IGraphHost::kMaxTones] = {};
  bool mShowWindows = false;
};

class GPHLFO : public IControl {
 public:
  GPHLFO(IPlugBase* plugin, IGraphHost* host, const IBox& rect);
  bool Paint(IGraphics* g) override;
  void MouseDown(int x, int y, const IInputMods& mods) override;
  void MouseOver(int x, int y, const IInputMods& mods) override;
  void MouseOut() override;
  bool NeedsRedraw() const override { return true; }
  bool Clicked() const { return mClicked; }

 private:
  IGraphHost* mHost;
  IRgba mDotColour{255, 255, 255, 255};
  IBlendSpec mDotBlend{kBlendNone, 0.6f};
  int mCx;
  int mDotRadius = 2;
  int mTravel;
  bool mClicked = false;
};
