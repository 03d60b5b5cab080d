#pragma once
// Drives the plug-in through a session block by block, as a host does: changes at offset 0 of
// the block they fall on, the transport in the process context. The same object feeds the file
// writer and the audio callback; after construction, rendering allocates nothing and takes no
// lock of its own.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/plugin_host.h"
#include "tools/session_bed.h"
#include "tools/session_timeline.h"

namespace caldrith_render {

// Sees every rendered stretch of audio (interleaved) and whether the host transport played at
// its end, e.g. to draw a picture of the session.
class RenderObserver {
 public:
  virtual ~RenderObserver() = default;
  virtual void Rendered(int64_t start, int frames, const double* interleaved, int channels,
                        bool playing) = 0;
};

class SessionRenderer : public caldrith_session::StartValueSource {
 public:
  // `plugin` must be started with the same rate, block and sample size. `session` may be null
  // for one fixed setting; `initial` changes go into the first block before the session's own.
  // `catalog` is the plug-in's, followed by the bed's settings when `bed` is given: those go
  // to the bed, which is mixed under the tones in step with their gate.
  SessionRenderer(HostedPlugin& plugin, const caldrith_session::Session* session,
                  const caldrith_session::Catalog& catalog, int rate, int block, bool f64,
                  int64_t totalFrames, std::vector<HostChange> initial, SessionBed* bed = nullptr);
  ~SessionRenderer() override;

  // Whether the plug-in shares its gate (the bed is pulsed only then).
  bool HasGate() const { return mHasGate; }
  // Linear gain on everything rendered from now on (tones and bed), for a loudness target.
  void SetGain(double gain) { mGain = gain; }

  // Renders up to `frames` (at most the block size) frames into Interleaved(). Answers how many
  // it rendered: fewer only at the end of the session, 0 after it.
  int Render(int frames);
  const double* Interleaved() const { return mInterleaved.data(); }
  int Channels() const { return mChannels; }
  int64_t Position() const { return mTimeline.Position(); }
  int64_t TotalFrames() const { return mTimeline.TotalFrames(); }
  void SetObserver(RenderObserver* observer) { mObserver = observer; }

  double Peak(int channel) const { return mPeak[static_cast<size_t>(channel)]; }
  double SumOfSquares(int channel) const { return mSumSq[static_cast<size_t>(channel)]; }

  // What a status line shows, readable from another thread while rendering runs: the values
  // last sent for the parameters the session touches, and the transport.
  const std::vector<int>& TouchedParams() const { return mTimeline.TouchedParams(); }
  double LiveValue(size_t touchedIndex) const {
    return mLive[touchedIndex].load(std::memory_order_relaxed);
  }
  bool LivePlaying() const { return mLivePlaying.load(std::memory_order_relaxed); }

  double CurrentValue(int param) override;

 private:
  HostedPlugin& mPlugin;
  caldrith_session::Session mEmpty;
  std::vector<caldrith_session::ParamEntry> mCatalog;
  caldrith_session::Timeline mTimeline;
  std::vector<HostChange> mInitial;
  bool mFirst = true;
  bool mF64;
  int mChannels;
  int mBlock;
  double mRate;
  caldrith_host::ParamChanges mChanges;
  caldrith_host::EventList mEvents{0};
  std::vector<std::vector<float>> mBuf32;
  std::vector<std::vector<double>> mBuf64;
  std::vector<float*> mPtr32;
  std::vector<double*> mPtr64;
  std::vector<double> mInterleaved;
  std::vector<double> mPeak, mSumSq;
  std::unique_ptr<std::atomic<double>[]> mLive;
  std::atomic<bool> mLivePlaying{true};
  RenderObserver* mObserver = nullptr;
  SessionBed* mBed;
  std::vector<double> mBedL, mBedR;
  std::vector<double> mGate;  // the plug-in's gate value of each frame of a process call
  int mGateUsed = 0;
  double mLastGate = 1.0;
  bool mHasGate = false;
  double mGain = 1.0;
};

}  // namespace caldrith_render
