#include "tools/session_bed.h"

#include <algorithm>
#include <cmath>

namespace caldrith_render {

using namespace caldrith_session;

double BedLevelGain(double db) {
  if (!(db > kLowestBedLevel)) return 0.0;
  return std::pow(10.0, db / 20.0);
}

SessionBed::SessionBed(int rate, int maxFrames, uint64_t seed, bool noiseMono,
                       std::vector<std::unique_ptr<MusicStream>> mixes)
    : mRate(rate),
      mRampFrames(std::max(1, rate / 100)),
      mNoise(rate, seed, noiseMono),
      mMixes(std::move(mixes)) {
  for (int p = 0; p < kBedParamCount; ++p) mValue[p] = BedDefault(p);
  const size_t n = static_cast<size_t>(std::max(1, maxFrames));
  mNoiseL.assign(n, 0.0);
  mNoiseR.assign(n, 0.0);
  mMusicL.assign(n, 0.0f);
  mMusicR.assign(n, 0.0f);
  for (auto& m : mMixes) {
    if (m) m->SetLoop(mValue[kBedMixLoop] > 0.5);
  }
  mRead.assign(mMixes.size(), 0);
}

void SessionBed::Set(int bedParam, double value) {
  if (bedParam < 0 || bedParam >= kBedParamCount || !std::isfinite(value)) return;
  const double was = mValue[bedParam];
  mValue[bedParam] = value;
  switch (bedParam) {
    case kBedNoise: {
      const int colour = std::clamp(static_cast<int>(std::lround(value)), 0, 3);
      // Off fades the colour that plays out; Render stops asking for it once it is silent.
      if (colour != 0) mNoise.SetColor(static_cast<NoiseColor>(colour));
      break;
    }
    case kBedMix: {
      const int k = static_cast<int>(std::lround(value));
      // Naming the file that plays leaves it playing; another one, or after off, starts it.
      if (k >= 1 && k <= static_cast<int>(mMixes.size()) && mMixes[static_cast<size_t>(k - 1)] &&
          (k != mMix || was == 0.0)) {
        mMix = k;
        // A stream not read since it was opened is at its start already; restarting one
        // allocates (the resampler), which live play keeps off the audio callback.
        if (mRead[static_cast<size_t>(k - 1)]) mMixes[static_cast<size_t>(k - 1)]->Restart();
        mRead[static_cast<size_t>(k - 1)] = 0;
      }
      break;
    }
    case kBedMixLoop:
      for (auto& m : mMixes) {
        if (m) m->SetLoop(value > 0.5);
      }
      break;
    default:
      break;
  }
  UpdateTargets();
}

void SessionBed::UpdateTargets() {
  auto aim = [&](Ramp& r, double target) {
    if (target == r.target) return;
    r.target = target;
    r.left = mRampFrames;
    r.step = (target - r.current) / mRampFrames;
  };
  aim(mNoiseAmp, mValue[kBedNoise] > 0.5 ? BedLevelGain(mValue[kBedNoiseLevel]) : 0.0);
  aim(mNoiseDepth, std::clamp(mValue[kBedNoiseGate] / 100.0, 0.0, 1.0));
  aim(mMixAmp, mValue[kBedMix] > 0.5 && mMix > 0 ? BedLevelGain(mValue[kBedMixLevel]) : 0.0);
  aim(mMixDepth, std::clamp(mValue[kBedMixGate] / 100.0, 0.0, 1.0));
}

bool SessionBed::Silent() const {
  return mNoiseAmp.current == 0.0 && mNoiseAmp.target == 0.0 && mMixAmp.current == 0.0 &&
         mMixAmp.target == 0.0;
}

std::string SessionBed::MusicFailure() const {
  for (const auto& m : mMixes) {
    if (m && m->ReadFailed()) return m->FailureMessage();
  }
  return "";
}

namespace {

// The value of a ramp at each of the next frames, into out; the ramp moves on.
struct RampRun {
  double value, step;
  int left;
  double target;
  double Next() {
    if (left > 0) {
      value += step;
      if (--left == 0) value = target;
    }
    return value;
  }
};

}  // namespace

void SessionBed::Render(double* left, double* right, const double* gate, int frames) {
  frames = std::min(frames, static_cast<int>(mNoiseL.size()));
  if (frames <= 0 || Silent()) return;
  const bool noise = mNoiseAmp.current != 0.0 || mNoiseAmp.target != 0.0;
  MusicStream* music = mMix > 0 ? mMixes[static_cast<size_t>(mMix - 1)].get() : nullptr;
  const bool playing = music && (mMixAmp.current != 0.0 || mMixAmp.target != 0.0);
  if (noise) mNoise.Generate(mNoiseL.data(), mNoiseR.data(), frames);
  if (playing) {
    music->Read(mMusicL.data(), mMusicR.data(), frames);
    mRead[static_cast<size_t>(mMix - 1)] = 1;
  }

  RampRun na{mNoiseAmp.current, mNoiseAmp.step, mNoiseAmp.left, mNoiseAmp.target};
  RampRun nd{mNoiseDepth.current, mNoiseDepth.step, mNoiseDepth.left, mNoiseDepth.target};
  RampRun ma{mMixAmp.current, mMixAmp.step, mMixAmp.left, mMixAmp.target};
  RampRun md{mMixDepth.current, mMixDepth.step, mMixDepth.left, mMixDepth.target};
  for (int i = 0; i < frames; ++i) {
    // The tones are pulsed as v * (1 + (G - 1) * depth); the bed the same way.
    const double g = gate ? gate[i] - 1.0 : 0.0;
    const double n = na.Next() * (1.0 + g * nd.Next());
    const double m = ma.Next() * (1.0 + g * md.Next());
    double l = 0.0, r = 0.0;
    if (noise) {
      l += n * mNoiseL[static_cast<size_t>(i)];
      r += n * mNoiseR[static_cast<size_t>(i)];
    }
    if (playing) {
      l += m * static_cast<double>(mMusicL[static_cast<size_t>(i)]);
      r += m * static_cast<double>(mMusicR[static_cast<size_t>(i)]);
    }
    left[i] += l;
    right[i] += r;
  }
  auto keep = [](Ramp& r, const RampRun& run) {
    r.current = run.value;
    r.left = run.left;
  };
  keep(mNoiseAmp, na);
  keep(mNoiseDepth, nd);
  keep(mMixAmp, ma);
  keep(mMixDepth, md);
}

}  // namespace caldrith_render
