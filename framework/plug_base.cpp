#include "framework/plug_base.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// A channel configuration such as "0-2 2-2" never needs more than this many channels.
constexpr int kMaxChannels = 64;
// Scratch arrays are sized by the host's maximum block; longer blocks are split.

// Host float buffers never alias the plug-in's double arrays; saying so lets the loop vectorise.
void ConvertToFloat(const double* __restrict src, float* __restrict dst, int n) {
  for (int s = 0; s < n; ++s) dst[s] = static_cast<float>(src[s]);
}

std::atomic<long> gLockBreaches{0};
std::atomic<IPlugBase::LockBreachHandler> gLockBreachHandler{nullptr};

}  // namespace

IPlugBase::LockBreachHandler IPlugBase::SetLockBreachHandler(LockBreachHandler handler) {
  return gLockBreachHandler.exchange(handler);
}

long IPlugBase::LockBreaches() {
  return gLockBreaches.load();
}

void IPlugBase::ReportLockBreach(const char* where) {
  gLockBreaches.fetch_add(1);
  if (LockBreachHandler handler = gLockBreachHandler.load()) {
    handler(where);
    return;
  }
  (void)where;
  assert(!"the plug-in mutex must be held here");
}

IPlugBase::IPlugBase(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                     int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                     bool plugIsInst, int plugAPI)
    : mIsInst(plugIsInst),
      mLatency(latency),
      mUniqueID(uniqueID),
      mMfrID(mfrID),
      mVersion(vendorVersion),
      mAPI(plugAPI),
      mDoesChunks(plugDoesChunks),
      mDoesMIDI(plugDoesMidi ? 1 : 0) {
  for (int i = 0; i < nParams; ++i) mParams.push_back(std::make_unique<PlugParam>());
  if (nPresets > 0) {
    mPresets.resize(static_cast<size_t>(nPresets));
    for (int i = 0; i < nPresets; ++i) {
      std::snprintf(mPresets[static_cast<size_t>(i)].name, kPresetNameSize, "- %d -", i + 1);
    }
  }
  CopyText(mEffectName, effectName, kPlugNameSize);
  CopyText(mProductName, productName, kPlugNameSize);
  CopyText(mMfrName, mfrName, kPlugNameSize);
  ParseChannelIO(channelIOStr);
}

IPlugBase::~IPlugBase() {
  delete mGraphics;
  mGraphics = nullptr;
}

void IPlugBase::ParseChannelIO(const char* text) {
  int maxIn = 0, maxOut = 0;
  const char* p = text ? text : "";
  while (true) {
    int nIn = 0, nOut = 0;
    std::sscanf(p, "%d-%d", &nIn, &nOut);
    mChannelIO.push_back({nIn, nOut});
    maxIn = std::max(maxIn, nIn);
    maxOut = std::max(maxOut, nOut);
    const char* space = std::strchr(p, ' ');
    if (!space) break;
    p = space + 1;
  }
  maxIn = std::min(maxIn, kMaxChannels);
  maxOut = std::min(maxOut, kMaxChannels);
  mInData.assign(static_cast<size_t>(maxIn), nullptr);
  mOutData.assign(static_cast<size_t>(maxOut), nullptr);
  mInBound.assign(static_cast<size_t>(maxIn), nullptr);
  mOutBound.assign(static_cast<size_t>(maxOut), nullptr);
  for (int i = 0; i < maxIn; ++i) {
    auto ch = std::make_unique<InputChannel>();
    ch->dataSlot = &mInBound[static_cast<size_t>(i)];
    mInChannels.push_back(std::move(ch));
  }
  for (int i = 0; i < maxOut; ++i) {
    auto ch = std::make_unique<OutputChannel>();
    ch->dataSlot = &mOutBound[static_cast<size_t>(i)];
    mOutChannels.push_back(std::move(ch));
  }
}

// ---- hooks ----

void IPlugBase::Reset() {
  PlugLock lock(mMutex);
}
void IPlugBase::HandleParamChange(int) {
  PlugLock lock(mMutex);
}

void IPlugBase::HandleParamChangeLocked(int paramIdx) {
  PlugLock lock(mMutex);
  HandleParamChange(paramIdx);
}

void IPlugBase::RenderBlock(double** inputs, double** outputs, int nFrames) {
  PassThroughRender(inputs, outputs, nFrames);
}

void IPlugBase::Activate(bool) {
  PlugLock lock(mMutex);
}
void IPlugBase::ProcessMidiMessage(const MidiMessage&) {}
bool IPlugBase::SaveState(StateChunk* chunk) {
  return SaveParams(chunk);
}
int IPlugBase::LoadState(const StateChunk* chunk, int pos) {
  return LoadParams(chunk, pos);
}
void IPlugBase::ShowParamStatus(int) {
  PlugLock lock(mMutex);
}

bool IPlugBase::PresetAppliesParam(int, int) {
  PlugLock lock(mMutex);
  return true;
}

// ---- host queries ----

int64_t IPlugBase::HostSamplePosition() {
  return mTimeline.samplePosition;
}
double IPlugBase::HostTempo() {
  return mTimeline.tempo;
}

void IPlugBase::HostTimeSignature(int* numerator, int* denominator) {
  if (numerator) *numerator = mTimeline.numerator;
  if (denominator) *denominator = mTimeline.denominator;
}

int IPlugBase::HostTransportState() {
  return mTimeline.transportState;
}

void IPlugBase::FillHostTimeInfo(HostTimeInfo* info) {
  if (!info) return;
  *info = HostTimeInfo();
  info->tempo = mTimeline.tempo;
  info->samplePos = static_cast<double>(mTimeline.samplePosition);
  info->numerator = mTimeline.numerator;
  info->denominator = mTimeline.denominator;
  info->transportRunning = mTimeline.transportState == 1;
}

void IPlugBase::SetHostTimeline(const HostTimeline& timeline) {
  mTimeline = timeline;
}

void IPlugBase::SetHostInfo(int hostId, int hostVersion) {
  mHost = hostId;
  mHostVersion = hostVersion;
}

bool IPlugBase::SendMidiListToHost(const std::vector<MidiMessage>& msgs) {
  bool ok = true;
  for (const MidiMessage& m : msgs) ok = SendMidiToHost(m) && ok;
  return ok;
}

// ---- parameters ----

PlugParam* IPlugBase::ParamAt(int idx) {
  if (idx < 0 || idx >= ParamCount()) return nullptr;
  return mParams[static_cast<size_t>(idx)].get();
}

const PlugParam* IPlugBase::ParamAt(int idx) const {
  if (idx < 0 || idx >= ParamCount()) return nullptr;
  return mParams[static_cast<size_t>(idx)].get();
}

void IPlugBase::SetParamFromEditor(int idx, double normalized) {
  PlugLock lock(mMutex);
  PlugParam* param = ParamAt(idx);
  if (!param || std::isnan(normalized)) return;
  normalized = std::min(1.0, std::max(0.0, normalized));
  param->AssignNormalized(normalized);
  ReportParamEdit(idx, normalized);
  HandleParamChange(idx);
}

void IPlugBase::DeferParamEditEnd(int idx) {
  PlugLock lock(mMutex);
  if (mGraphics) {
    mPendingEditEnd = idx;
    mGraphics->StartEditEndCountdown(std::max(1, mGraphics->FrameRate() / 2));
  } else {
    EndParamEdit(idx);
  }
}

void IPlugBase::FlushParamEditEnd() {
  PlugLock lock(mMutex);
  if (mGraphics) mGraphics->StopEditEndCountdown();
  if (mPendingEditEnd >= 0) {
    int idx = mPendingEditEnd;
    mPendingEditEnd = -1;
    EndParamEdit(idx);
  }
}

// ---- editor ----

void IPlugBase::InstallEditor(IPlugEditor* graphics) {
  if (!graphics) return;
  PlugLock lock(mMutex);
  for (int i = 0; i < ParamCount(); ++i) {
    graphics->PushParamToControls(i, mParams[static_cast<size_t>(i)]->NormalizedValue(), true);
  }
  graphics->CreateDrawSurfaces();
  if (mGraphics && mGraphics != graphics) delete mGraphics;
  mGraphics = graphics;
}

void IPlugBase::SendParamsToEditor() {
  if (!mGraphics) return;
  for (int i = 0; i < ParamCount(); ++i) {
    mGraphics->PushParamToControls(i, mParams[static_cast<size_t>(i)]->Value(), false);
  }
}

void IPlugBase::EffectVersionText(char* out, int size) const {
  if (!out || size <= 0) return;
  std::snprintf(out, static_cast<size_t>(size), "v%d.%02d", mVersion >> 16, (mVersion >> 8) & 0xff);
}

// ---- state and presets ----

bool IPlugBase::SaveParams(StateChunk* chunk) {
  if (!chunk) return false;
  PlugLock lock(mMutex);
  for (const auto& param : mParams) chunk->PutDouble(param->Value());
  return mParams.empty() || chunk->Size() > 0;
}

int IPlugBase::LoadParams(const StateChunk* chunk, int pos) {
  if (!chunk) return -1;
  PlugLock lock(mMutex);
  for (int i = 0; i < ParamCount(); ++i) {
    double v = 0.0;
    pos = chunk->GetDouble(&v, pos);
    if (pos < 0) return -1;
    if (!PresetAppliesParam(i, mCurrentPresetIdx)) continue;
    // A damaged state may hold NaN or infinities: those values are not restored.
    if (!std::isfinite(v)) continue;
    PlugParam* param = mParams[static_cast<size_t>(i)].get();
    param->SetValue(v);
    HandleParamChange(i);
  }
  return pos;
}

void IPlugBase::AddDefaultPreset(const char* name, int count) {
  for (int c = 0; c < count; ++c) {
    auto slot = std::find_if(mPresets.begin(), mPresets.end(),
                             [](const PresetRecord& p) { return !p.initialised; });
    if (slot == mPresets.end()) return;
    slot->initialised = true;
    CopyText(slot->name, name && name[0] ? name : "Default", kPresetNameSize);
  }
}

void IPlugBase::AddFactoryPreset(const char* name, ...) {
  auto slot = std::find_if(mPresets.begin(), mPresets.end(),
                           [](const PresetRecord& p) { return !p.initialised; });
  if (slot == mPresets.end()) return;
  slot->initialised = true;
  CopyText(slot->name, name, kPresetNameSize);
  va_list args;
  va_start(args, name);
  for (const auto& param : mParams) {
    double v =
        param->IsIntegerKind() ? static_cast<double>(va_arg(args, int)) : va_arg(args, double);
    slot->state.PutDouble(v);
  }
  va_end(args);
}

void IPlugBase::AddFactoryPresetValues(const char* name, const double* values, int count) {
  auto slot = std::find_if(mPresets.begin(), mPresets.end(),
                           [](const PresetRecord& p) { return !p.initialised; });
  if (slot == mPresets.end()) return;
  slot->initialised = true;
  CopyText(slot->name, name, kPresetNameSize);
  for (int i = 0; i < ParamCount() && values && i < count; ++i) slot->state.PutDouble(values[i]);
}

int IPlugBase::NextUserPresetNumber() const {
  int n = 0;
  for (const PresetRecord& p : mPresets) {
    if (std::strstr(p.name, "user preset")) ++n;
  }
  return n + 1;
}

bool IPlugBase::SelectPreset(int idx) {
  PlugLock lock(mMutex);
  if (idx < 0 || idx >= PresetCount()) return false;
  PresetRecord& slot = mPresets[static_cast<size_t>(idx)];
  bool ok = true;
  if (!slot.initialised) {
    // First selection of an empty slot names it; the parameters keep their values.
    char name[kPresetNameSize];
    std::snprintf(name, sizeof name, "%s %d", "user preset", NextUserPresetNumber());
    slot.initialised = true;
    CopyText(slot.name, name, kPresetNameSize);
  } else {
    mCurrentPresetIdx = idx;  // before restoring, so the instrument's locks see the new preset
    ok = LoadParams(&slot.state, 0) > 0;
  }
  if (ok) {
    mCurrentPresetIdx = idx;
    SendParamsToEditor();
  }
  return ok;
}

const char* IPlugBase::PresetNameAt(int idx) const {
  if (idx < 0 || idx >= PresetCount()) return "";
  return mPresets[static_cast<size_t>(idx)].name;
}

bool IPlugBase::PresetInitialised(int idx) const {
  return idx >= 0 && idx < PresetCount() && mPresets[static_cast<size_t>(idx)].initialised;
}

// ---- audio path ----

bool IPlugBase::AcceptsChannelCounts(int nIn, int nOut) const {
  for (const ChannelIOPair& pair : mChannelIO) {
    if ((nIn < 0 || nIn == pair.inputs) && (nOut < 0 || nOut == pair.outputs)) return true;
  }
  return false;
}

void IPlugBase::SetInputsConnected(int first, int count, bool connected) {
  for (int i = std::max(0, first); i < first + count && i < NInChannels(); ++i) {
    InputChannel* ch = mInChannels[static_cast<size_t>(i)].get();
    ch->connected = connected;
    if (!connected) {
      *ch->dataSlot = ch->scratch.data();
      ch->floatSrc = nullptr;
    }
  }
}

void IPlugBase::SetOutputsConnected(int first, int count, bool connected) {
  for (int i = std::max(0, first); i < first + count && i < NOutChannels(); ++i) {
    OutputChannel* ch = mOutChannels[static_cast<size_t>(i)].get();
    ch->connected = connected;
    if (!connected) {
      *ch->dataSlot = ch->scratch.data();
      ch->floatDest = nullptr;
    }
  }
}

void IPlugBase::AttachInputs(int first, int count, double** buffers) {
  int b = 0;
  for (int i = std::max(0, first); i < first + count && i < NInChannels(); ++i) {
    InputChannel* ch = mInChannels[static_cast<size_t>(i)].get();
    if (!ch->connected) continue;
    double* buf = buffers ? buffers[b++] : nullptr;
    ch->floatSrc = nullptr;
    *ch->dataSlot = buf ? buf : ch->scratch.data();
  }
}

void IPlugBase::AttachOutputs(int first, int count, double** buffers) {
  int b = 0;
  for (int i = std::max(0, first); i < first + count && i < NOutChannels(); ++i) {
    OutputChannel* ch = mOutChannels[static_cast<size_t>(i)].get();
    if (!ch->connected) continue;
    double* buf = buffers ? buffers[b++] : nullptr;
    ch->floatDest = nullptr;
    *ch->dataSlot = buf ? buf : ch->scratch.data();
  }
}

void IPlugBase::AttachInputsFloat(int first, int count, float** buffers, int nFrames) {
  (void)nFrames;  // converted block by block in RunBlock, so a long block cannot overrun scratch
  int b = 0;
  for (int i = std::max(0, first); i < first + count && i < NInChannels(); ++i) {
    InputChannel* ch = mInChannels[static_cast<size_t>(i)].get();
    if (!ch->connected) continue;
    ch->floatSrc = buffers ? buffers[b++] : nullptr;
    *ch->dataSlot = ch->scratch.data();
  }
}

void IPlugBase::AttachOutputsFloat(int first, int count, float** buffers) {
  int b = 0;
  for (int i = std::max(0, first); i < first + count && i < NOutChannels(); ++i) {
    OutputChannel* ch = mOutChannels[static_cast<size_t>(i)].get();
    if (!ch->connected) continue;
    ch->floatDest = buffers ? buffers[b++] : nullptr;
    *ch->dataSlot = ch->scratch.data();
  }
}

// Runs one host block. Channels bound to the plug-in's own scratch arrays hold only
// block-size frames, so a longer block is rendered in pieces of at most that size.
void IPlugBase::RunBlock(int nFrames, BlockKind kind, bool floatPath) {
  RequireLocked("IPlugBase::RunBlock");
  if (nFrames <= 0) return;

  bool usesScratch = false;
  for (const auto& ch : mInChannels) usesScratch |= *ch->dataSlot == ch->scratch.data();
  for (const auto& ch : mOutChannels) usesScratch |= *ch->dataSlot == ch->scratch.data();
  int chunk = usesScratch ? mBlockSize : nFrames;

  if (chunk <= 0) {
    // Nothing to render into: give the host silence rather than stale or foreign memory.
    for (const auto& ch : mOutChannels) {
      if (!ch->connected) continue;
      if (floatPath) {
        if (ch->floatDest) std::fill(ch->floatDest, ch->floatDest + nFrames, 0.f);
      } else if (*ch->dataSlot != ch->scratch.data()) {
        std::fill(*ch->dataSlot, *ch->dataSlot + nFrames, 0.0);
      }
    }
    return;
  }

  for (int offset = 0; offset < nFrames; offset += chunk) {
    int n = std::min(chunk, nFrames - offset);
    for (size_t i = 0; i < mInChannels.size(); ++i) {
      InputChannel* ch = mInChannels[i].get();
      double* bound = *ch->dataSlot;
      bool scratch = bound == ch->scratch.data();
      mInData[i] = scratch ? bound : bound + offset;
      if (scratch && ch->connected && ch->floatSrc) {
        for (int s = 0; s < n; ++s) ch->scratch[static_cast<size_t>(s)] = ch->floatSrc[offset + s];
      }
    }
    for (size_t i = 0; i < mOutChannels.size(); ++i) {
      OutputChannel* ch = mOutChannels[i].get();
      double* bound = *ch->dataSlot;
      mOutData[i] = bound == ch->scratch.data() ? bound : bound + offset;
    }
    if (kind == BlockKind::kPassThrough) {
      PassThroughRender(mInData.data(), mOutData.data(), n);
    } else if (mReady) {
      RenderBlock(mInData.data(), mOutData.data(), n);
    } else {
      // Until every parameter has been applied the instrument renders nothing: silence.
      for (size_t i = 0; i < mOutChannels.size(); ++i) std::fill(mOutData[i], mOutData[i] + n, 0.0);
    }
    if (floatPath) {
      for (size_t i = 0; i < mOutChannels.size(); ++i) {
        OutputChannel* ch = mOutChannels[i].get();
        if (!ch->connected || !ch->floatDest) continue;
        ConvertToFloat(mOutData[i], ch->floatDest + offset, n);
      }
    }
  }
}

void IPlugBase::ProcessBlock(int nFrames) {
  RunBlock(nFrames, BlockKind::kRender, false);
}
void IPlugBase::ProcessBlockFloat(int nFrames) {
  RunBlock(nFrames, BlockKind::kRender, true);
}
void IPlugBase::PassThroughBlock(int nFrames) {
  RunBlock(nFrames, BlockKind::kPassThrough, false);
}
void IPlugBase::PassThroughBlockFloat(int nFrames) {
  RunBlock(nFrames, BlockKind::kPassThrough, true);
}

void IPlugBase::PassThroughRender(double** inputs, double** outputs, int nFrames) {
  int n = std::min(NInChannels(), NOutChannels());
  for (int c = 0; c < NOutChannels(); ++c) {
    double* out = outputs[c];
    if (!out) continue;
    if (c < n && inputs[c]) {
      if (inputs[c] != out)
        std::memmove(out, inputs[c], sizeof(double) * static_cast<size_t>(nFrames));
    } else {
      std::fill(out, out + nFrames, 0.0);
    }
  }
}

void IPlugBase::SetMaxFrames(int frames) {
  frames = std::max(0, std::min(frames, kMaxBlockFrames));
  if (frames == mBlockSize) return;
  for (auto& ch : mInChannels) {
    bool wasScratch = *ch->dataSlot == ch->scratch.data();
    ch->scratch.assign(static_cast<size_t>(frames), 0.0);
    if (wasScratch) *ch->dataSlot = ch->scratch.data();
  }
  for (auto& ch : mOutChannels) {
    bool wasScratch = *ch->dataSlot == ch->scratch.data();
    ch->scratch.assign(static_cast<size_t>(frames), 0.0);
    if (wasScratch) *ch->dataSlot = ch->scratch.data();
  }
  mBlockSize = frames;
}

void IPlugBase::ZeroScratchBuffers() {
  for (auto& ch : mInChannels) std::fill(ch->scratch.begin(), ch->scratch.end(), 0.0);
  for (auto& ch : mOutChannels) std::fill(ch->scratch.begin(), ch->scratch.end(), 0.0);
}

namespace {
constexpr int kMaxBusLabels = 64;
}

void IPlugBase::NameInputBus(int idx, const char* label) {
  if (idx < 0 || idx > 1) return;
  if (static_cast<int>(mInputBusLabels.size()) <= idx)
    mInputBusLabels.resize(static_cast<size_t>(idx) + 1);
  char buf[kPlugNameSize];
  CopyText(buf, label, kPlugNameSize);
  mInputBusLabels[static_cast<size_t>(idx)] = buf;
}

void IPlugBase::NameOutputBus(int idx, const char* label) {
  if (idx < 0 || idx >= kMaxBusLabels) return;
  if (static_cast<int>(mOutputBusLabels.size()) <= idx)
    mOutputBusLabels.resize(static_cast<size_t>(idx) + 1);
  char buf[kPlugNameSize];
  CopyText(buf, label, kPlugNameSize);
  mOutputBusLabels[static_cast<size_t>(idx)] = buf;
}

const char* IPlugBase::InputBusName(int idx) const {
  if (idx < 0 || idx >= static_cast<int>(mInputBusLabels.size())) return "";
  return mInputBusLabels[static_cast<size_t>(idx)].c_str();
}

const char* IPlugBase::OutputBusName(int idx) const {
  if (idx < 0 || idx >= static_cast<int>(mOutputBusLabels.size())) return "";
  return mOutputBusLabels[static_cast<size_t>(idx)].c_str();
}

bool IPlugBase::IsInChannelConnected(int idx) const {
  return idx >= 0 && idx < NInChannels() && mInChannels[static_cast<size_t>(idx)]->connected;
}

bool IPlugBase::IsOutChannelConnected(int idx) const {
  return idx >= 0 && idx < NOutChannels() && mOutChannels[static_cast<size_t>(idx)]->connected;
}
