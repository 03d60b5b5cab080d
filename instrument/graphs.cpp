#include "instrument/graphs.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "editor/graphics.h"
#include "framework/plug_base.h"

namespace {

int RoundInt(double v) {
  return static_cast<int>(std::lround(v));
}

// The plug-in's lock, when there is a plug-in (tests may run graphs without one).
class PlugLockIfAny {
 public:
  explicit PlugLockIfAny(IPlugBase* p) : mPlugin(p) {
    if (mPlugin) mPlugin->Mutex().lock();
  }
  ~PlugLockIfAny() {
    if (mPlugin) mPlugin->Mutex().unlock();
  }
  PlugLockIfAny(const PlugLockIfAny&) = delete;
  PlugLockIfAny& operator=(const PlugLockIfAny&) = delete;

 private:
  IPlugBase* mPlugin;
};

const char* const kFreqPointText = "Change freq envelope point";
const char* const kVolumePointText = "Change volume envelope points";
const char* const kFreqPresetText = "Freq envelope preset";
const char* const kVolumePresetText = "Volume envelope preset";

// Two changes before one drawing: anything but the same part becomes the whole envelope, so
// that neither change is lost when the drawing propagates.
void MergePending(int* pending, int code, int whole) {
  *pending = (*pending == -1 || *pending == code) ? code : whole;
}

const float kFreqPresets[5] = {-6.0f, -3.0f, 0.0f, 3.0f, 6.0f};
const float kVolumePresets[5][2] = {
    {0.35f, 0.65f}, {0.3f, 0.7f}, {0.25f, 0.75f}, {0.2f, 0.8f}, {0.15f, 0.85f}};

}  // namespace

// ---- GRAPH ----

GRAPH::GRAPH(IPlugBase* plugin, IGraphHost* host, const IBox& rect, bool isFreqGraph)
    : IControl(plugin, rect), mHost(host), mIsFreq(isFreqGraph) {
  mPlot = IBox(rect.L + 6, rect.T + 7, rect.R - 36, rect.B - 7);
  for (int k = 0; k < 5; ++k) {
    mZones[k] = IBox(rect.R - 30, rect.T + 1 + 30 * k, rect.R, rect.T + 31 + 30 * k);
  }
  mW = std::max(1, mPlot.W());
  mCurveY.assign(static_cast<size_t>(mW), static_cast<float>(mPlot.B));
  mCurveValue.assign(static_cast<size_t>(mW), 0.0f);
  mCurveSeg.assign(static_cast<size_t>(mW), 0);
}

float GRAPH::CurveY(int c) const {
  if (c <= 0) return static_cast<float>((mIsFreq && !mAscending) ? mPlot.T : mPlot.B);
  if (c > mW) c = mW;
  return mCurveY[static_cast<size_t>(c - 1)];
}

int GRAPH::SegmentEndColumn(int k) const {
  if (k >= mSegments - 1) return mW;
  return RoundInt(mW * static_cast<double>(mBreaks[k]));
}

void GRAPH::Recompute(int code) {
  caldrith::SegmentEnvelope* env = mHost->GraphEnvelope(mIsFreq);
  const int segs = env->Segments();
  const bool whole = code < 0 || code >= 2 * segs;
  const int first = whole ? 0 : code / 2;
  const int last = whole ? segs - 1 : ((code & 1) ? std::min(segs - 1, code / 2 + 1) : code / 2);
  env->Retime(static_cast<float>(mW));
  env->SetRunningState(env->StartValue(), 0);
  const bool flip = mIsFreq && !mAscending;
  const double span = mPlot.B - mPlot.T;
  for (int c = 0; c < mW; ++c) {
    const int seg = env->Segment();
    const double v = env->Step();
    if (!whole && (seg < first || seg > last)) continue;
    const double drawn = flip ? 1.0 - v : v;
    mCurveValue[static_cast<size_t>(c)] = static_cast<float>(v);
    mCurveY[static_cast<size_t>(c)] = static_cast<float>(mPlot.B - span * drawn);
    mCurveSeg[static_cast<size_t>(c)] = static_cast<signed char>(seg);
  }
}

void GRAPH::Update() {
  if (!mHost) return;
  PlugLockIfAny lock(mPlugin);
  if (!mHost->EngineStarted()) return;
  caldrith::SegmentEnvelope* env = mHost->GraphEnvelope(mIsFreq);
  int* pending = mHost->GraphPending(mIsFreq);
  if (!env || !pending) return;
  mSegments = std::min(4, env->Segments());
  if (mIsFreq) {
    const bool ascending = mHost->LowFreq() <= mHost->HighFreq();
    if (ascending != mAscending) {
      mAscending = ascending;
      *pending = 2 * env->Segments();
    }
  }
  // A shape that changed while nobody drew (the engine propagates by itself while the
  // window is closed) still needs a fresh curve, but no second propagation.
  bool shapeChanged = !mComputed;
  for (int k = 0; k < mSegments; ++k) {
    if (env->Curvature(k) != mShapeQ[k] || env->Break(k) != mShapeX[k]) shapeChanged = true;
  }
  bool recomputed = false;
  if (*pending == -1 && shapeChanged) {
    Recompute(-1);
    recomputed = true;
  }
  if (*pending != -1) {
    Recompute(*pending);
    mHost->PropagateGraph(mIsFreq);
    *pending = -1;
    recomputed = true;
  }
  // The chain wraps to its start on the last step; the drawn sweep ends at the far edge.
  if (recomputed && mIsFreq) {
    mCurveY[static_cast<size_t>(mW - 1)] = static_cast<float>(mAscending ? mPlot.T : mPlot.B);
  }
  mComputed = true;
  for (int k = 0; k < mSegments; ++k) {
    mShapeQ[k] = env->Curvature(k);
    mShapeX[k] = env->Break(k);
    mBreaks[k] = env->Break(k);
    mTargets[k] = env->Target(k);
    mRising[k] = env->Rising(k);
  }
  mStartValue = env->StartValue();

  // Tone positions for the dots.
  mTones = std::min(IGraphHost::kMaxTones, std::max(0, mHost->ToneCount()));
  mShowWindows = mIsFreq && !mHost->HideToneWindows();
  double fmin = 0.0, fmax = 0.0;
  if (mShowWindows) {
    for (int i = 0; i < mTones; ++i) {
      mHost->ToneWindow(i, &mWinStart[i], &mWinEnd[i]);
      const double lo = std::min(mWinStart[i], mWinEnd[i]);
      const double hi = std::max(mWinStart[i], mWinEnd[i]);
      if (i == 0 || lo < fmin) fmin = lo;
      if (i == 0 || hi > fmax) fmax = hi;
    }
  }
  for (int i = 0; i < mTones; ++i) {
    if (mIsFreq) {
      if (mShowWindows) {
        const double f = mHost->ToneFrequency(i);
        mToneA[i] = fmax > fmin ? (f - fmin) / (fmax - fmin) : 0.0;
        // Window edges as x offsets into the plot.
        const double s = fmax > fmin ? (mWinStart[i] - fmin) / (fmax - fmin) : 0.0;
        const double e = fmax > fmin ? (mWinEnd[i] - fmin) / (fmax - fmin) : 0.0;
        mWinStart[i] = s * mW;
        mWinEnd[i] = e * mW;
      } else {
        mToneA[i] = mHost->ToneSweep(i);
      }
      mToneSeg[i] = -1;
    } else {
      mToneA[i] = mHost->ToneVolume(i);
      mToneSeg[i] = mHost->ToneVolumeSegment(i);
    }
  }
}

int GRAPH::ColumnReaching(double a, int segment) const {
  for (int c = 0; c < mW; ++c) {
    const int seg = mCurveSeg[static_cast<size_t>(c)];
    if (segment >= 0 && seg != segment) continue;
    const double v = mCurveValue[static_cast<size_t>(c)];
    const bool rising = seg >= 0 && seg < 4 ? mRising[seg] : true;
    if (rising ? v >= a : v <= a) return c + 1;
  }
  return -1;
}

bool GRAPH::HandleCentre(int code, int* x, int* y) const {
  if (code < 0 || code >= 2 * mSegments) return false;
  const int k = code / 2;
  const int xk = SegmentEndColumn(k);
  const int xprev = k == 0 ? 0 : SegmentEndColumn(k - 1);
  if ((code & 1) == 0) {
    const int mid = RoundInt((xk + xprev) / 2.0);
    *x = mPlot.L + mid;
    *y = RoundInt(CurveY(mid));
  } else {
    if (k >= mSegments - 1) return false;
    *x = mPlot.L + xk;
    *y = RoundInt(mPlot.B - (mPlot.B - mPlot.T) * static_cast<double>(mTargets[k]));
  }
  return true;
}

bool GRAPH::Paint(IGraphics* g) {
  if (!mHost) return false;
  {
    PlugLockIfAny lock(mPlugin);
    if (!mHost->EngineStarted()) return false;
  }
  if (!mPresetLoaded) {
    mPresetImage = g->FetchImage(106, "img/preset.png", 1);
    mPresetLoaded = true;
  }
  Update();

  const bool flip = mIsFreq && !mAscending;
  const float plotL = static_cast<float>(mPlot.L);
  const double span = mPlot.B - mPlot.T;

  if (mShowWindows && mTones > 0) {
    const int alpha = RoundInt(150.0 / mTones);
    const IBlendSpec fill(kBlendNone, static_cast<float>(alpha) * 0.003921569f);
    const IRgba band(alpha, 180, 180, 180);
    const IRgba edge(std::min(255, 4 * alpha), 180, 180, 180);
    for (int i = 0; i < mTones; ++i) {
      const int x0 = mPlot.L + RoundInt(std::min(mWinStart[i], mWinEnd[i]));
      const int x1 = mPlot.L + RoundInt(std::max(mWinStart[i], mWinEnd[i]));
      g->FillBox(band, IBox(x0, mPlot.B, x1, mRect.B), &fill);
      for (int x : {x0, x1}) {
        if (x > mPlot.L && x < mPlot.R) {
          g->StrokeLine(edge, static_cast<float>(x), static_cast<float>(mPlot.B),
                        static_cast<float>(x), static_cast<float>(mRect.B - 1));
        }
      }
    }
  }

  for (int c = 1; c <= mW; ++c) {
    g->StrokeThickLine(mCurveColour, plotL + c - 1, CurveY(c - 1), plotL + c, CurveY(c), 2.2f,
                       nullptr, true);
  }
  const float startY = flip ? static_cast<float>(mPlot.T)
                            : static_cast<float>(mPlot.B - RoundInt(span * mStartValue));
  g->FillDisc(mCurveColour, plotL, startY, 5.0f, nullptr, true);

  for (int k = 0; k < mSegments; ++k) {
    const int xk = SegmentEndColumn(k);
    const int xprev = k == 0 ? 0 : SegmentEndColumn(k - 1);
    if (xk > xprev + 11) {
      const int mid = RoundInt((xk + xprev) / 2.0);
      const float hx = plotL + mid, hy = CurveY(mid);
      if (mHovered == 2 * k) {
        g->StrokeCircle(mHandleColour, hx, hy, 3.0f, nullptr, true);
      } else {
        g->FillDisc(mHandleColour, hx, hy, 3.0f, nullptr, true);
      }
    }
    if (k < mSegments - 1) {
      const float bx = plotL + xk - 1;
      const float by = static_cast<float>(mPlot.B - span * mTargets[k]);
      if (mHovered == 2 * k + 1) {
        g->StrokeCircle(mHandleColour, bx, by, 5.0f, nullptr, true);
      } else {
        g->FillDisc(mHandleColour, bx, by, 5.0f, nullptr, true);
      }
    }
  }
  const double lastTarget = mTargets[std::max(0, mSegments - 1)];
  const float endY = flip ? static_cast<float>(mPlot.T + RoundInt(span * lastTarget))
                          : static_cast<float>(mPlot.B - RoundInt(span * lastTarget));
  g->FillDisc(mCurveColour, static_cast<float>(mPlot.R), endY, 5.0f, nullptr, true);

  for (int i = 0; i < mTones; ++i) {
    const double a = mToneA[i];
    const int c = ColumnReaching(a, mToneSeg[i]);
    if (c < 0) continue;
    const float y =
        flip ? static_cast<float>(mPlot.T + span * a) : static_cast<float>(mPlot.B - span * a);
    g->FillDisc(mDotColour, plotL + c, y, 3.0f, nullptr, true);
  }

  if (mHoverZone >= 0 && mPresetImage.Valid()) {
    const IBox& z = mZones[mHoverZone];
    g->BlitImage(mPresetImage,
                 IBox(z.L + 3, z.T - 1, z.L + 3 + mPresetImage.W, z.T - 1 + mPresetImage.H), 0, 0);
  }
  return true;
}

void GRAPH::MouseOver(int x, int y, const IInputMods& mods) {
  (void)mods;
  mHovered = -1;
  mHoverZone = -1;
  // Until the first drawing there are no handles or zones on screen to point at.
  for (int k = 0, n = 0; mComputed && k < mSegments; ++k, n += 2) {
    int hx, hy;
    if (HandleCentre(n, &hx, &hy) && std::abs(x - hx) <= mHitTolerance &&
        std::abs(y - hy) <= mHitTolerance) {
      mHovered = n;
      break;
    }
    if (k < mSegments - 1 && HandleCentre(n + 1, &hx, &hy) && std::abs(x - hx) <= mHitTolerance &&
        std::abs(y - hy) <= mHitTolerance) {
      mHovered = n + 1;
      break;
    }
  }
  const IBox& z0 = mZones[0];
  const char* text;
  if (mHovered >= 0 || x < z0.L || x > z0.R || !mComputed) {
    text = mIsFreq ? kFreqPointText : kVolumePointText;
  } else {
    const int zone = static_cast<int>(
        std::floor(static_cast<double>(y - z0.T) / static_cast<double>(z0.B - z0.T)));
    mHoverZone = zone < 0 ? -1 : std::min(zone, 4);
    text = mIsFreq ? kFreqPresetText : kVolumePresetText;
  }
  if (mHost) {
    PlugLockIfAny lock(mPlugin);
    mHost->ShowStatus(text);
  }
}

void GRAPH::MouseOut() {
  mHovered = -1;
  mHoverZone = -1;
}

void GRAPH::MouseDown(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  mDragged = mHovered;
  if (mDragged >= 0) {
    if (mGraphics) mGraphics->SetPlatformCursor((mDragged & 1) ? 1 : 2);
    return;
  }
  if (mHoverZone < 0 || !mHost) return;
  PlugLockIfAny lock(mPlugin);
  caldrith::SegmentEnvelope* env = mHost->GraphEnvelope(mIsFreq);
  int* pending = mHost->GraphPending(mIsFreq);
  if (!env || !pending) return;
  if (mIsFreq) {
    float q = kFreqPresets[mHoverZone];
    if (!(mHost->LowFreq() <= mHost->HighFreq())) q = -q;
    env->SetCurvature(0, q);
    mHost->SetParamFromEngine(kQfreqParam, q * 6.0, false);
    MergePending(pending, 0, 2 * env->Segments());
    mHoverZone = -1;
  } else {
    const float b0 = kVolumePresets[mHoverZone][0], b2 = kVolumePresets[mHoverZone][1];
    env->SetBreak(0, b0);
    env->SetBreak(2, b2);
    const float q[4] = {4.0f, -4.0f, 4.0f, -4.0f};
    for (int k = 0; k < 4; ++k) env->SetCurvature(k, q[k]);
    mHost->SetParamFromEngine(kXvol1Param, 100.0 * b0, false);
    mHost->SetParamFromEngine(kXvol1Param + 2, 100.0 * b2, false);
    mHoverZone = -1;
    *pending = 2 * env->Segments();
  }
}

void GRAPH::MouseDrag(int x, int y, int dx, int dy, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (mDragged < 0 || !mHost) return;
  PlugLockIfAny lock(mPlugin);
  caldrith::SegmentEnvelope* env = mHost->GraphEnvelope(mIsFreq);
  int* pending = mHost->GraphPending(mIsFreq);
  if (!env || !pending) return;
  const int segs = env->Segments();
  const int k = mDragged / 2;
  if (mDragged & 1) {
    if (k >= segs - 1) return;
    const double w = mW;
    double nx = w * env->Break(k) + dx;
    const double lo = k == 0 ? mMinGap : w * env->Break(k - 1) + mMinGap;
    const double hi = k + 1 < segs - 1 ? w * env->Break(k + 1) - mMinGap : w - mMinGap;
    nx = std::min(hi, std::max(lo, nx));
    const float pos = static_cast<float>(nx / w);
    env->SetBreak(k, pos);
    mHost->SetParamDirect(kXvol1Param + k, 100.0 * pos);
  } else {
    if (k >= segs) return;
    const double m = k > 0 ? env->Break(k - 1) : 0.0;
    const double l = k < segs - 1 ? env->Break(k) : 1.0;
    if (!(l - m > 0.0)) return;
    const float q = env->Curvature(k);
    double step = dy * (std::fabs(q) * 0.25 * 0.06666667 + 0.05) / std::sqrt(l - m);
    if (!env->Rising(k)) step = -step;
    if (!std::isfinite(step) || std::fabs(q + step) >= 15.0) return;
    const bool subtract = mIsFreq && !mAscending;
    const float nq = static_cast<float>(subtract ? q - step : q + step);
    env->SetCurvature(k, nq);
    mHost->SetParamFromEngine(mIsFreq ? kQfreqParam : kQvol1Param + k, nq * 6.0, false);
  }
  MergePending(pending, mDragged, 2 * segs);
  env->Retime(0.0f);
}

void GRAPH::MouseUp(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  mDragged = -1;
  if (mGraphics) mGraphics->SetPlatformCursor(0);
}

// ---- GPHLFO ----

GPHLFO::GPHLFO(IPlugBase* plugin, IGraphHost* host, const IBox& rect)
    : IControl(plugin, rect), mHost(host) {
  mCx = static_cast<int>((rect.L + rect.R) * 0.5);
  mTravel = rect.H() - 4;
}

bool GPHLFO::Paint(IGraphics* g) {
  if (!mHost) return false;
  double pos[IGraphHost::kMaxTones];
  int tones;
  {
    PlugLockIfAny lock(mPlugin);
    tones = std::min(IGraphHost::kMaxTones, std::max(0, mHost->ToneCount()));
    const bool descending = mHost->LowFreq() >= mHost->HighFreq();
    for (int i = 0; i < tones; ++i) {
      const double p = mHost->ToneSweep(i);
      pos[i] = descending ? 1.0 - p : p;
    }
  }
  for (int i = 0; i < tones; ++i) {
    const double p = pos[i];
    IBlendSpec blend = mDotBlend;
    blend.weight = p < 0.2 ? static_cast<float>(0.6 * p * 5.0) : 0.6f;
    g->FillDisc(mDotColour, static_cast<float>(mCx), static_cast<float>(mRect.B - 2 - mTravel * p),
                static_cast<float>(mDotRadius), &blend, true);
  }
  if (mClicked) {
    PlugLockIfAny lock(mPlugin);
    mHost->SwapSweepDirection();
    mClicked = false;
  }
  return true;
}

void GPHLFO::MouseDown(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (mGraphics) mGraphics->SetPlatformCursor(0);
  mClicked = true;
}

void GPHLFO::MouseOver(int x, int y, const IInputMods& mods) {
  (void)x;
  (void)y;
  (void)mods;
  if (!mHost) return;
  PlugLockIfAny lock(mPlugin);
  const bool descending = mHost->LowFreq() >= mHost->HighFreq();
  if (mGraphics) mGraphics->SetPlatformCursor(descending ? 98 : 99);
  mHost->ShowStatus(descending ? "Change to ascendent frequencies"
                               : "Change to descendent frequencies");
}

void GPHLFO::MouseOut() {
  if (mGraphics) mGraphics->SetPlatformCursor(0);
}
