#include "tools/session_timeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace caldrith_session {

int GlideStepFrames(double rate) {
  return std::max(1, static_cast<int>(std::floor(rate * 0.005)));
}

int64_t SampleOf(double seconds, double rate) {
  return static_cast<int64_t>(std::llround(seconds * rate));
}

double SessionSeconds(const Session& session, double secondsOption) {
  if (session.endTime >= 0.0 && secondsOption >= 0.0) {
    return std::min(session.endTime, secondsOption);
  }
  if (session.endTime >= 0.0) return session.endTime;
  if (secondsOption >= 0.0) return secondsOption;
  return session.lastTime;
}

std::vector<std::string> StopsWithoutEffect(const Session& session, const Catalog& catalog,
                                            int param, SwitchState state,
                                            const std::vector<SwitchEffect>& presets,
                                            const std::string& file) {
  std::vector<std::string> warnings;
  if (param < 0 || static_cast<size_t>(param) >= catalog.params.size()) return warnings;
  const ParamEntry& p = catalog.params[static_cast<size_t>(param)];
  std::string onText = "on";
  for (const auto& vt : p.valueTexts) {
    if (vt.second > 0.5) onText = vt.first;
  }
  const std::vector<Action>& a = session.actions;
  for (size_t first = 0; first < a.size();) {
    size_t last = first;
    while (last < a.size() && a[last].time == a[first].time) ++last;
    const std::string at = " at " + FormatTime(a[first].time);
    for (size_t i = first; i < last; ++i) {
      if (a[i].kind != ActionKind::kPreset || static_cast<size_t>(a[i].preset) >= presets.size()) {
        continue;
      }
      SwitchEffect effect = presets[static_cast<size_t>(a[i].preset)];
      if (effect == SwitchEffect::kLeaves) continue;
      state.on = effect == SwitchEffect::kOn;
      state.cause = "by preset " + std::to_string(a[i].preset) + at;
    }
    for (size_t i = first; i < last; ++i) {
      if (a[i].kind == ActionKind::kSet && a[i].param == param) {
        state.on = a[i].value > 0.5;
        state.cause = "on line " + std::to_string(a[i].line) + at;
      }
    }
    for (size_t i = first; i < last; ++i) {
      if (a[i].kind == ActionKind::kStop && state.on) {
        warnings.push_back(file + ":" + std::to_string(a[i].line) + ": stop has no effect: " +
                           p.name + " is " + onText + " (set " + state.cause + ")");
      }
    }
    first = last;
  }
  return warnings;
}

Timeline::Timeline(const Session& session, size_t paramCount, double rate, int64_t totalFrames,
                   int block)
    : mTotal(std::max<int64_t>(0, totalFrames)),
      mBlock(std::max(1, block)),
      mGlideStep(GlideStepFrames(rate)) {
  mChangeSlot.assign(paramCount, -1);
  mValues.assign(paramCount, std::numeric_limits<double>::quiet_NaN());
  mChanges.reserve(paramCount);
  std::vector<bool> touched(paramCount, false);
  for (const Action& a : session.actions) {
    mActions.push_back({SampleOf(a.time, rate), &a});
    if (a.param >= 0 && static_cast<size_t>(a.param) < paramCount) {
      touched[static_cast<size_t>(a.param)] = true;
    }
    if (a.kind != ActionKind::kGlide || a.param < 0 || static_cast<size_t>(a.param) >= paramCount) {
      continue;
    }
    Glide g{SampleOf(a.fromTime, rate),
            SampleOf(a.time, rate),
            a.param,
            a.fromValue,
            a.value,
            a.fromStart};
    if (g.to > g.from) mGlides.push_back(g);  // otherwise the action alone is a jump
  }
  for (size_t p = 0; p < paramCount; ++p) {
    if (touched[p]) mTouched.push_back(static_cast<int>(p));
  }
  // A glide starts at its parameter's previous point, which may lie before an earlier line's
  // glide of another parameter; sort by start, keeping file order among equals.
  std::stable_sort(mGlides.begin(), mGlides.end(),
                   [](const Glide& a, const Glide& b) { return a.from < b.from; });
  mActive.reserve(mGlides.size());
}

void Timeline::AddChange(int param, double plain) {
  int& slot = mChangeSlot[static_cast<size_t>(param)];
  if (slot < 0) {
    slot = static_cast<int>(mChanges.size());
    mChanges.push_back({param, plain});
  } else {
    mChanges[static_cast<size_t>(slot)].plain = plain;
  }
  mValues[static_cast<size_t>(param)] = plain;
}

bool Timeline::Next(int maxFrames, StartValueSource* source, PlannedBlock* out) {
  if (mDone) return false;
  for (const ParamChange& c : mChanges) mChangeSlot[static_cast<size_t>(c.param)] = -1;
  mChanges.clear();
  int preset = -1;

  // Actions on this sample, in file order; the last word on a parameter wins.
  while (mNextAction < mActions.size() && mActions[mNextAction].sample <= mPos) {
    const Action& a = *mActions[mNextAction++].action;
    switch (a.kind) {
      case ActionKind::kSet:
      case ActionKind::kGlide:
        if (a.param >= 0 && static_cast<size_t>(a.param) < mChangeSlot.size()) {
          AddChange(a.param, a.value);
        }
        break;
      case ActionKind::kPreset:
        preset = a.preset;
        break;
      case ActionKind::kPlay:
        mPlaying = true;
        break;
      case ActionKind::kStop:
        mPlaying = false;
        break;
      case ActionKind::kEnd:
        break;
    }
  }
  if (mPos >= mTotal) {
    // Changes that fall on the last sample still reach the plug-in, in a block of no frames,
    // so that the state after the session holds them.
    mDone = true;
    if (mChanges.empty() && preset < 0) return false;
  }

  // Glides running at this sample; each sends its value here, except at its own start.
  while (mNextGlide < mGlides.size() && mGlides[mNextGlide].from <= mPos) {
    mActive.push_back(static_cast<int>(mNextGlide++));
  }
  mActive.erase(std::remove_if(mActive.begin(), mActive.end(),
                               [&](int g) { return mGlides[static_cast<size_t>(g)].to <= mPos; }),
                mActive.end());
  for (int gi : mActive) {
    Glide& g = mGlides[static_cast<size_t>(gi)];
    if (g.from >= mPos) continue;
    if (g.fromStart) {
      g.v0 = source ? source->CurrentValue(g.param) : g.v1;
      g.fromStart = false;
    }
    double f = static_cast<double>(mPos - g.from) / static_cast<double>(g.to - g.from);
    AddChange(g.param, g.v0 + (g.v1 - g.v0) * f);
  }

  int64_t end = mDone ? mPos : std::min(mTotal, mPos + std::max(1, maxFrames));
  if (!mDone) {
    end = std::min(end, (mPos / mBlock + 1) * mBlock);
    if (mNextAction < mActions.size()) end = std::min(end, mActions[mNextAction].sample);
    if (!mActive.empty()) end = std::min(end, (mPos / mGlideStep + 1) * mGlideStep);
  }

  out->start = mPos;
  out->frames = static_cast<int>(end - mPos);
  out->playing = mPlaying;
  out->projectTime = mProjectPos;
  out->preset = preset;
  out->changes = mChanges.data();
  out->changeCount = static_cast<int>(mChanges.size());
  if (mPlaying) mProjectPos += end - mPos;
  mPos = end;
  return true;
}

}  // namespace caldrith_session
