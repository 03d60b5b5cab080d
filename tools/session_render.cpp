#include "tools/session_render.h"

#include <algorithm>
#include <cmath>

#include "pluginterfaces/vst/ivstprocesscontext.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace caldrith_render {

SessionRenderer::SessionRenderer(HostedPlugin& plugin, const caldrith_session::Session* session,
                                 const caldrith_session::Catalog& catalog, int rate, int block,
                                 bool f64, int64_t totalFrames, std::vector<HostChange> initial,
                                 SessionBed* bed)
    : mPlugin(plugin),
      mCatalog(catalog.params),
      mTimeline(session ? *session : mEmpty, catalog.params.size(), rate, totalFrames, block),
      mInitial(std::move(initial)),
      mF64(f64),
      mChannels(plugin.Channels()),
      mBlock(block),
      mRate(rate),
      mChanges(static_cast<int32>(catalog.params.size() + mInitial.size() + 2)) {
  const size_t channels = static_cast<size_t>(mChannels), frames = static_cast<size_t>(block);
  mBuf32.assign(channels, std::vector<float>(frames));
  mBuf64.assign(channels, std::vector<double>(frames));
  mPtr32.resize(channels);
  mPtr64.resize(channels);
  mInterleaved.assign(channels * frames, 0.0);
  mPeak.assign(channels, 0.0);
  mSumSq.assign(channels, 0.0);
  mBed = bed;
  mLive.reset(new std::atomic<double>[TouchedParams().size() + 1]);
  for (size_t i = 0; i < TouchedParams().size(); ++i) {
    mLive[i].store(CurrentValue(TouchedParams()[i]));
  }
  if (mBed) {
    mBedL.assign(frames, 0.0);
    mBedR.assign(frames, 0.0);
    mGate.assign(frames, 1.0);
    using TapGate = bool (*)(FUnknown*, double*, int, int*);
    auto tap = reinterpret_cast<TapGate>(plugin.Symbol("CaldrithTapGate"));
    mHasGate = tap && tap(plugin.Component(), mGate.data(), block, &mGateUsed);
  }
}

SessionRenderer::~SessionRenderer() {
  if (!mHasGate) return;
  using TapGate = bool (*)(FUnknown*, double*, int, int*);
  auto tap = reinterpret_cast<TapGate>(mPlugin.Symbol("CaldrithTapGate"));
  if (tap) tap(mPlugin.Component(), nullptr, 0, nullptr);
}

double SessionRenderer::CurrentValue(int param) {
  const caldrith_session::ParamEntry& p = mCatalog[static_cast<size_t>(param)];
  if (p.bed >= 0) return mBed ? mBed->Value(p.bed) : caldrith_session::BedDefault(p.bed);
  return mPlugin.PlainValue(mPlugin.TagOf(param));
}

int SessionRenderer::Render(int frames) {
  frames = std::min(frames, mBlock);
  IEditController* controller = mPlugin.Controller();
  const int64_t start = mTimeline.Position();
  int done = 0;
  caldrith_session::PlannedBlock plan;
  while (done < frames && mTimeline.Next(frames - done, this, &plan)) {
    mChanges.Clear();
    if (mFirst) {
      for (const HostChange& c : mInitial) mChanges.Add(c.id, c.normalized);
      mFirst = false;
    }
    if (plan.preset >= 0) {
      ParamID tag = mPlugin.PresetTag();
      mChanges.Add(tag, controller->plainParamToNormalized(tag, plan.preset));
    }
    for (int i = 0; i < plan.changeCount; ++i) {
      const int param = plan.changes[i].param;
      const int bedParam = mCatalog[static_cast<size_t>(param)].bed;
      if (bedParam >= 0) {
        if (mBed) mBed->Set(bedParam, plan.changes[i].plain);
        continue;
      }
      ParamID tag = mPlugin.TagOf(param);
      mChanges.Add(tag, controller->plainParamToNormalized(tag, plan.changes[i].plain));
    }

    AudioBusBuffers out{};
    out.numChannels = mChannels;
    for (size_t c = 0; c < static_cast<size_t>(mChannels); ++c) {
      mPtr32[c] = mBuf32[c].data() + done;
      mPtr64[c] = mBuf64[c].data() + done;
    }
    if (mF64) {
      out.channelBuffers64 = mPtr64.data();
    } else {
      out.channelBuffers32 = mPtr32.data();
    }
    ProcessContext ctx{};
    ctx.state = ProcessContext::kTempoValid | ProcessContext::kTimeSigValid |
                ProcessContext::kProjectTimeMusicValid | ProcessContext::kContTimeValid;
    if (plan.playing) ctx.state |= ProcessContext::kPlaying;
    ctx.sampleRate = mRate;
    ctx.tempo = 120.0;
    ctx.timeSigNumerator = 4;
    ctx.timeSigDenominator = 4;
    ctx.projectTimeSamples = plan.projectTime;
    ctx.continousTimeSamples = plan.start;
    ctx.projectTimeMusic = static_cast<double>(plan.projectTime) / mRate * ctx.tempo / 60.0;
    ProcessData data{};
    data.processMode = mPlugin.Realtime() ? kRealtime : kOffline;
    data.symbolicSampleSize = mF64 ? kSample64 : kSample32;
    data.numSamples = plan.frames;
    data.numOutputs = 1;
    data.outputs = &out;
    data.inputEvents = &mEvents;
    data.inputParameterChanges = &mChanges;
    data.processContext = &ctx;
    mGateUsed = 0;
    mPlugin.Processor()->process(data);
    if (mBed && plan.frames > 0) {
      // Frames the plug-in did not pulse (before it is ready) keep the last gate value.
      for (int i = std::max(0, mGateUsed); i < plan.frames; ++i)
        mGate[static_cast<size_t>(i)] = mLastGate;
      mLastGate = mGate[static_cast<size_t>(plan.frames - 1)];
      mBed->Render(mBedL.data() + done, mBedR.data() + done, mHasGate ? mGate.data() : nullptr,
                   plan.frames);
    }
    done += plan.frames;
    mLivePlaying.store(plan.playing, std::memory_order_relaxed);
  }

  const size_t stride = static_cast<size_t>(mChannels);
  for (size_t c = 0; c < stride; ++c) {
    double peak = mPeak[c], sum = mSumSq[c];
    double* dst = mInterleaved.data() + c;
    const double* bed = !mBed ? nullptr : c == 0 ? mBedL.data() : c == 1 ? mBedR.data() : nullptr;
    const double gain = mGain;
    auto take = [&](const auto* src) {
      for (int i = 0; i < done; ++i) {
        double v = src[i];
        if (bed) v += bed[i];
        v *= gain;
        dst[static_cast<size_t>(i) * stride] = v;
        peak = std::max(peak, std::fabs(v));
        sum += v * v;
      }
    };
    if (mF64) {
      take(mBuf64[c].data());
    } else {
      take(mBuf32[c].data());
    }
    mPeak[c] = peak;
    mSumSq[c] = sum;
  }
  if (mBed) {
    std::fill(mBedL.begin(), mBedL.begin() + done, 0.0);
    std::fill(mBedR.begin(), mBedR.begin() + done, 0.0);
  }
  for (size_t i = 0; i < TouchedParams().size(); ++i) {
    double v = mTimeline.Value(TouchedParams()[i]);
    if (!std::isnan(v)) mLive[i].store(v, std::memory_order_relaxed);
  }
  if (mObserver && done > 0) {
    mObserver->Rendered(start, done, mInterleaved.data(), mChannels, plan.playing);
  }
  return done;
}

}  // namespace caldrith_render
