#pragma once
// The bed under the tones: a noise and a music file, each at its level and pulsed as deeply as
// asked by the tones' own gate, so that its pulses keep step with theirs. Settings arrive at
// block starts from the session's timeline; levels and depths move to them in a straight line
// over at most 10 ms, so a jump never clicks and a glide's 5 ms steps join into one line.
#include <cstdint>
#include <memory>
#include <vector>

#include "tools/music_stream.h"
#include "tools/noise.h"
#include "tools/session_file.h"

namespace caldrith_render {

class SessionBed {
 public:
  // `mixes` holds one stream per Session::mixFiles entry (any may be null when unused).
  // Nothing after construction allocates: the bed may run in an audio callback.
  SessionBed(int rate, int maxFrames, uint64_t seed, bool noiseMono,
             std::vector<std::unique_ptr<MusicStream>> mixes);

  // A setting, by BedParam, from the next Render on.
  void Set(int bedParam, double value);
  double Value(int bedParam) const { return mValue[bedParam]; }

  // Adds `frames` frames of the bed into left and right. gate: the tones' gate value (0..1)
  // of each frame; null counts as 1 (no pulse).
  void Render(double* left, double* right, const double* gate, int frames);

  // Whether anything is, or may become, audible: with nothing set the tones pass untouched.
  bool Silent() const;
  // A music read that failed mid-file ends that music; its message, or "" while all went well.
  std::string MusicFailure() const;

 private:
  struct Ramp {
    double current = 0.0, target = 0.0;
    // Per-frame step and the frames it still runs, set at the start of a Render.
    double step = 0.0;
    int left = 0;
  };
  void StartRamp(Ramp& r, int frames) const;
  void UpdateTargets();

  int mRate;
  int mRampFrames;
  NoiseGenerator mNoise;
  std::vector<std::unique_ptr<MusicStream>> mMixes;
  int mMix = 0;  // 1-based stream playing, 0 none
  double mValue[caldrith_session::kBedParamCount];
  Ramp mNoiseAmp, mNoiseDepth, mMixAmp, mMixDepth;
  std::vector<double> mNoiseL, mNoiseR;
  std::vector<float> mMusicL, mMusicR;
  std::vector<char> mRead;  // per stream: read from since opened or restarted
};

// Linear gain of a level in dB; the lowest level and below is silence.
double BedLevelGain(double db);

}  // namespace caldrith_render
