#pragma once
// Turns a parsed session into the blocks a host hands to the plug-in: a block starts at every
// sample where something changes, so a jump lands on its exact sample at offset 0 of a new
// block, and while a glide runs no block is longer than the glide step, each starting with
// the glide's value at its first sample. Pure arithmetic over preallocated arrays: planning a
// block allocates nothing, so it can run on an audio callback.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/session_file.h"

namespace caldrith_session {

// Longest distance between two glide points: 5 ms, in whole samples.
int GlideStepFrames(double rate);
// The sample a time falls on (round to nearest).
int64_t SampleOf(double seconds, double rate);
// Length of a session: its `end`, shortened by the --seconds given (secondsOption >= 0), else
// those seconds, else the time of its last action.
double SessionSeconds(const Session& session, double secondsOption);

// What selecting a preset does to a switch parameter (such as Play Anyway).
enum class SwitchEffect { kLeaves, kOff, kOn };

struct SwitchState {
  bool on = false;
  std::string cause;  // what set it, as "by --param" or "by the state in FILE"
};

// A warning "FILE:LINE: stop has no effect: NAME is Yes (set by preset 40 at 1:00)" for each
// `stop` met while the switch `param` is on, as the transport then changes nothing. Changes at
// one time count as the timeline applies them: presets first, then the parameter lines.
// `presets` holds the effect of each preset index (kLeaves where unknown).
std::vector<std::string> StopsWithoutEffect(const Session& session, const Catalog& catalog,
                                            int param, SwitchState initial,
                                            const std::vector<SwitchEffect>& presets,
                                            const std::string& file);

struct ParamChange {
  int param;     // index into Catalog::params
  double plain;  // real value
};

struct PlannedBlock {
  int64_t start = 0;        // first sample
  int frames = 0;           // 0 only for a last block carrying the changes at the very end
  bool playing = true;      // the host transport
  int64_t projectTime = 0;  // transport position in samples; it stands still while stopped
  int preset = -1;          // preset selected at the block's start, or -1
  const ParamChange* changes = nullptr;  // applied at the block's start (offset 0)
  int changeCount = 0;
};

// Where a glide that starts "from the value at the start" takes that value from: asked once,
// when the glide sends its first point, i.e. after everything at time 0 has been applied.
class StartValueSource {
 public:
  virtual ~StartValueSource() = default;
  virtual double CurrentValue(int param) = 0;
};

class Timeline {
 public:
  // `paramCount` is the size of the catalog the session was parsed with; `block` the longest
  // block (blocks also break at its multiples, as a host's fixed buffers do).
  Timeline(const Session& session, size_t paramCount, double rate, int64_t totalFrames, int block);

  // Plans the next block of at most maxFrames (>= 1) frames. False once the session is over.
  bool Next(int maxFrames, StartValueSource* source, PlannedBlock* out);

  int64_t Position() const { return mPos; }
  int64_t TotalFrames() const { return mTotal; }
  int GlideStep() const { return mGlideStep; }
  bool Playing() const { return mPlaying; }
  // Last value sent for the parameter; NaN until one has been sent.
  double Value(int param) const { return mValues[static_cast<size_t>(param)]; }
  // Parameters that the session sets or glides, in catalog order.
  const std::vector<int>& TouchedParams() const { return mTouched; }

 private:
  struct Timed {
    int64_t sample;
    const Action* action;
  };
  struct Glide {
    int64_t from, to;  // samples; points are sent strictly between them
    int param;
    double v0, v1;
    bool fromStart;
  };
  void AddChange(int param, double plain);

  std::vector<Timed> mActions;
  std::vector<Glide> mGlides;  // by starting sample
  std::vector<int> mActive;    // indices into mGlides, at most one per parameter
  std::vector<ParamChange> mChanges;
  std::vector<int> mChangeSlot;  // per parameter: index into mChanges, or -1
  std::vector<double> mValues;
  std::vector<int> mTouched;
  size_t mNextAction = 0;
  size_t mNextGlide = 0;
  int64_t mPos = 0;
  int64_t mTotal = 0;
  int64_t mProjectPos = 0;
  int mBlock = 512;
  int mGlideStep = 240;
  bool mPlaying = true;
  bool mDone = false;
};

}  // namespace caldrith_session
