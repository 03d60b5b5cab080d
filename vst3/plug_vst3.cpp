#include "vst3/plug_vst3.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "editor/graphics.h"
#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/vst/ivstcontextmenu.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

// A state is a handful of doubles; anything beyond this is not ours and is not buffered.
constexpr int kMaxStateBytes = 1 << 20;
constexpr double kMaxSampleRate = 10.0e6;
constexpr int kHostWaveLab = 28;

SpeakerArrangement ArrangementFor(int channels) {
  switch (channels) {
    case 1:
      return SpeakerArr::kMono;
    case 2:
      return SpeakerArr::kStereo;
    case 3:
      return SpeakerArr::k30Music;
    case 4:
      return 0xF00000;  // W, X, Y, Z
    case 5:
      return SpeakerArr::k50;
    case 6:
      return SpeakerArr::k51;
    default:
      return SpeakerArr::kEmpty;
  }
}

int CountBits(SpeakerArrangement arr) {
  int n = 0;
  for (uint64 a = static_cast<uint64>(arr); a; a &= a - 1) ++n;
  return n;
}

double Clamp01(double v) {
  return v < 0.0 ? 0.0 : v > 1.0 ? 1.0 : v;
}

struct WideText {
  String128 text;
  explicit WideText(const char* s) { WidenText(s, text); }
};

}  // namespace

void WidenText(const char* src, String128 dst) {
  if (!dst) return;
  int i = 0;
  if (src) {
    for (; i < 127 && src[i]; ++i) dst[i] = static_cast<TChar>(static_cast<unsigned char>(src[i]));
  }
  dst[i] = 0;
}

void NarrowText(const TChar* src, char* dst, int dstSize) {
  if (!dst || dstSize <= 0) return;
  int i = 0;
  if (src) {
    for (; i < dstSize - 1 && i < 128 && src[i]; ++i) dst[i] = static_cast<char>(src[i] & 0xFF);
  }
  dst[i] = 0;
}

IPlugVST3::IPlugVST3(int nParams, const char* channelIOStr, int nPresets, const char* effectName,
                     const char* productName, const char* mfrName, int vendorVersion, int uniqueID,
                     int mfrID, int latency, bool plugDoesMidi, bool plugDoesChunks,
                     bool plugIsInst, int nSidechainChannels)
    : IPlugBase(nParams, channelIOStr, nPresets, effectName, productName, mfrName, vendorVersion,
                uniqueID, mfrID, latency, plugDoesMidi, plugDoesChunks, plugIsInst, kAPIVST3),
      mSidechainChannels(std::max(0, nSidechainChannels)) {
  mViews.reserve(10);
  SetInputsConnected(0, NInChannels(), true);
  SetOutputsConnected(0, NOutChannels(), true);
  NameInputBus(0, "Main Input");
  if (mSidechainChannels) NameInputBus(1, "Aux Input");
  if (plugIsInst) {
    char label[32];
    for (int k = 0; 2 * k < NOutChannels(); ++k) {
      std::snprintf(label, sizeof(label), "Output %i", k + 1);
      NameOutputBus(k, label);
    }
  } else {
    NameOutputBus(0, "Output");
  }
}

IPlugVST3::~IPlugVST3() {
  mViews.clear();
}

tresult PLUGIN_API IPlugVST3::queryInterface(const TUID iid, void** obj) {
  QUERY_INTERFACE(iid, obj, IUnitInfo::iid, IUnitInfo)
  return SingleComponentEffect::queryInterface(iid, obj);
}

// ---- set-up ----

int IPlugVST3::LookUpHostId(const char* hostName) {
  static const struct {
    const char* text;
    int id;
  } kHosts[] = {
      {"bitwig", 29},    {"cubase", 3},      {"reaper", 1},   {"nuendo", 4},      {"cakewalk", 5},
      {"samplitude", 8}, {"fruity", 7},      {"live", 9},     {"melodyne", 12},   {"vstmanlib", 13},
      {"aulab", 14},     {"forte", 15},      {"chainer", 16}, {"audition", 17},   {"orion", 18},
      {"sawstudio", 20}, {"logic", 21},      {"digital", 22}, {"audiomulch", 23}, {"presonus", 24},
      {"acoustica", 25}, {"garageband", 26}, {"ardour", 27},  {"wavelab", 28},    {"renoise", 30},
  };
  if (!hostName) return 0;
  char lower[128];
  int i = 0;
  for (; i < 127 && hostName[i]; ++i) {
    lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(hostName[i])));
  }
  lower[i] = 0;
  for (const auto& h : kHosts) {
    if (std::strstr(lower, h.text)) return h.id;
  }
  return 0;
}

tresult PLUGIN_API IPlugVST3::initialize(FUnknown* context) {
  // A second initialize would register every bus and parameter twice.
  if (mInitialized) return kResultFalse;
  tresult result = SingleComponentEffect::initialize(context);

  IHostApplication* app = nullptr;
  if (context &&
      context->queryInterface(IHostApplication::iid, reinterpret_cast<void**>(&app)) == kResultOk &&
      app) {
    String128 name = {};
    if (app->getName(name) == kResultOk) {
      char narrow[128];
      NarrowText(name, narrow, sizeof(narrow));
      SetHostInfo(LookUpHostId(narrow), 0);
    }
  }

  if (result == kResultOk) {
    mInitialized = true;
    int mainIn = NInChannels() - mSidechainChannels;
    if (mainIn >= 1 && mainIn <= 6) {
      addAudioInput(WideText(InputBusName(0)).text, ArrangementFor(mainIn));
    }
    if (IsInstrument()) {
      for (int k = 0; 2 * k < NOutChannels(); ++k) {
        addAudioOutput(WideText(OutputBusName(k)).text, SpeakerArr::kStereo);
      }
    } else {
      addAudioOutput(WideText(OutputBusName(0)).text, ArrangementFor(NOutChannels()));
    }
    if (mSidechainChannels) {
      mSidechainChannels = std::min(mSidechainChannels, 2);
      addAudioInput(WideText(InputBusName(1)).text, ArrangementFor(mSidechainChannels), kAux, 0);
    }
    if (DoesMIDI()) addEventInput(STR16("MIDI Input"), 1);
    RegisterParameters();
  }

  PostInitialized();
  if (app) app->release();
  return result;
}

tresult PLUGIN_API IPlugVST3::terminate() {
  mViews.clear();
  mInitialized = false;
  return SingleComponentEffect::terminate();
}

tresult PLUGIN_API IPlugVST3::setActive(TBool state) {
  Activate(state != 0);
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                                 SpeakerArrangement* outputs, int32 numOuts) {
  if (numIns < 0 || numOuts < 0 || (numIns > 0 && !inputs) || (numOuts > 0 && !outputs)) {
    return kInvalidArgument;
  }
  SetInputsConnected(0, NInChannels(), false);
  SetOutputsConnected(0, NOutChannels(), false);

  int in = numIns > 0 ? CountBits(inputs[0]) : 0;
  int out = numOuts > 0 ? CountBits(outputs[0]) : 0;
  if (!AcceptsChannelCounts(in, out)) return kResultFalse;

  auto replaceFirst = [this](BusList& list, int channels, const TChar* name, bool output) {
    if (list.empty()) return;
    auto* bus = FCast<AudioBus>(list.front().get());
    if (!bus || CountBits(bus->getArrangement()) == channels) return;
    list.erase(list.begin());
    if (output) {
      addAudioOutput(name, ArrangementFor(channels));
    } else {
      addAudioInput(name, ArrangementFor(channels));
    }
  };
  replaceFirst(audioInputs, in, STR16("Input"), false);
  replaceFirst(audioOutputs, out, STR16("Output"), true);

  if (!mSidechainChannels) {
    // A host proposing no input bus at all is offering an instrument its own layout.
    return numIns <= 1 ? kResultOk : kResultFalse;
  }
  if (numIns != 2) return kResultFalse;
  int sc = CountBits(inputs[1]);
  if (audioInputs.size() > 1) {
    auto* bus = FCast<AudioBus>(audioInputs[1].get());
    if (bus && CountBits(bus->getArrangement()) != sc) {
      audioInputs.erase(audioInputs.begin() + 1);
      addAudioInput(STR16("Sidechain Input"), ArrangementFor(sc), kAux, 0);
    }
  }
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::canProcessSampleSize(int32 size) {
  return size == kSample32 || size == kSample64 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API IPlugVST3::getLatencySamples() {
  return static_cast<uint32>(std::max(0, GetLatency()));
}

uint32 PLUGIN_API IPlugVST3::getTailSamples() {
  return static_cast<uint32>(std::max(0, GetTailSize()));
}

tresult PLUGIN_API IPlugVST3::setupProcessing(ProcessSetup& setup) {
  if (setup.symbolicSampleSize != kSample32 && setup.symbolicSampleSize != kSample64) {
    return kResultFalse;
  }
  // The engine divides by the rate and sizes buffers by the block: refuse what it cannot use
  // and keep the previous set-up.
  if (!(setup.sampleRate > 0.0) || !(setup.sampleRate <= kMaxSampleRate) ||
      setup.maxSamplesPerBlock <= 0) {
    return kResultFalse;
  }
  PlugLock lock(Mutex());
  SetBypassed(false);
  SetSampleRate(setup.sampleRate);
  SetMaxFrames(std::min(setup.maxSamplesPerBlock, kMaxBlockFrames));
  Reset();
  processSetup = setup;
  mSetUp = true;
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setProcessing(TBool) {
  return kNotImplemented;
}

bool IPlugVST3::RenderingOffline() {
  return processSetup.processMode == kOffline;
}

// ---- state ----

tresult IPlugVST3::getComponentStateData(IBStream* state) {
  if (!state) return kInvalidArgument;
  PlugLock lock(Mutex());
  StateChunk chunk;
  int32 written = 0;
  if (SaveState(&chunk)) {
    tresult r = state->write(chunk.Size() ? const_cast<uint8_t*>(chunk.Data()) : nullptr,
                             chunk.Size(), &written);
    // A stream that could not take the bytes must not be told the state was saved.
    return r == kResultOk && written == chunk.Size() ? kResultOk : kResultFalse;
  }
  int32 bypassed = IsBypassed() ? 1 : 0;
  state->write(&bypassed, sizeof(bypassed), &written);
  return kResultFalse;
}

tresult IPlugVST3::setComponentStateData(IBStream* state) {
  if (!state) return kInvalidArgument;
  PlugLock lock(Mutex());
  StateChunk chunk;
  char piece[128];
  int32 count = 0;
  tresult r = state->read(piece, sizeof(piece), &count);
  while (count > 0) {
    // Streams that answer a short final read with an error still delivered those bytes.
    chunk.PutBytes(piece, std::min<int32>(count, sizeof(piece)));
    if (r != kResultOk && HostId() != kHostWaveLab) break;
    if (chunk.Size() >= kMaxStateBytes) break;
    count = 0;
    r = state->read(piece, sizeof(piece), &count);
  }
  int pos = LoadState(&chunk, 0);
  SendParamsToEditor();
  // Leave the stream just past what was used, for hosts that store more after it.
  if (pos > 0) state->seek(pos, IBStream::kIBSeekSet, nullptr);
  // Success means every value was there; extra bytes after them do not matter.
  return pos >= 0 ? kResultOk : kResultFalse;
}

tresult IPlugVST3::setControllerState(IBStream*) {
  PlugLock lock(Mutex());
  return kResultOk;
}

tresult IPlugVST3::getControllerState(IBStream*) {
  PlugLock lock(Mutex());
  return kResultOk;
}

tresult PLUGIN_API IPlugVST3::setComponentState(IBStream*) {
  return kNotImplemented;
}

// ---- processing ----

tresult PLUGIN_API IPlugVST3::process(ProcessData& data) {
  PlugLock lock(Mutex());
  if (data.processContext) {
    mProcessContext = *data.processContext;
    HostTimeline timeline;
    uint32 st = mProcessContext.state;
    timeline.transportState = (st & ProcessContext::kPlaying)     ? 1
                              : (st & ProcessContext::kRecording) ? 2
                                                                  : 0;
    timeline.samplePosition = mProcessContext.projectTimeSamples;
    timeline.tempo = mProcessContext.tempo;
    timeline.numerator = mProcessContext.timeSigNumerator;
    timeline.denominator = mProcessContext.timeSigDenominator;
    SetHostTimeline(timeline);
  }
  if (data.inputParameterChanges) ApplyParameterChanges(data.inputParameterChanges);
  if (DoesMIDI() && data.inputEvents) ForwardNoteEvents(data.inputEvents);
  ProcessAudio(data);
  return kResultOk;
}

int IPlugVST3::PresetIndexFor(double normalized) const {
  return static_cast<int>(static_cast<double>(PresetCount() - 1) * normalized + 0.5);
}

void IPlugVST3::ApplyParameterChanges(IParameterChanges* changes) {
  RequireLocked("IPlugVST3::ApplyParameterChanges");
  int32 queues = changes->getParameterCount();
  for (int32 i = 0; i < queues; ++i) {
    IParamValueQueue* queue = changes->getParameterData(i);
    if (!queue) continue;
    int32 points = queue->getPointCount();
    if (points <= 0) continue;
    int32 offset = 0;
    ParamValue value = 0.0;
    if (queue->getPoint(points - 1, offset, value) != kResultOk) continue;
    if (std::isnan(value)) continue;
    value = Clamp01(value);
    ParamID tag = queue->getParameterId();
    if (tag == kBypassParamTag) {
      SetBypassed(value > 0.5);
    } else if (tag == kPresetParamTag) {
      // Automated preset selection restores the preset here, on the audio thread: values and
      // status text only, no allocation, under the mutex this call already holds.
      if (PresetCount() > 0) SelectPreset(PresetIndexFor(value));
    } else if (IsFrameworkTag(tag)) {
      int idx = static_cast<int>(tag);
      ParamAt(idx)->AssignNormalized(value);
      if (IPlugEditor* gui = GetGUI()) gui->PushParamToControls(idx, value, true);
      HandleParamChange(idx);
    }
  }
}

void IPlugVST3::ForwardNoteEvents(IEventList* events) {
  int32 count = events->getEventCount();
  for (int32 i = 0; i < count; ++i) {
    Event e = {};
    if (events->getEvent(i, e) != kResultOk) continue;
    MidiMessage msg;
    msg.offset = e.sampleOffset;
    if (e.type == Event::kNoteOnEvent) {
      float velocity = e.noteOn.velocity;
      velocity = std::isnan(velocity) ? 0.f : std::min(1.f, std::max(0.f, velocity));
      msg.status = static_cast<uint8_t>(0x90 | (e.noteOn.channel & 0x0F));
      msg.data1 = static_cast<uint8_t>(e.noteOn.pitch & 0x7F);
      msg.data2 = static_cast<uint8_t>(static_cast<int>(velocity * 127.f));
    } else if (e.type == Event::kNoteOffEvent) {
      msg.status = static_cast<uint8_t>(0x80 | (e.noteOff.channel & 0x0F));
      msg.data1 = static_cast<uint8_t>(e.noteOff.pitch & 0x7F);
      msg.data2 = 0;
    } else {
      continue;
    }
    ProcessMidiMessage(msg);
  }
}

void IPlugVST3::ProcessAudio(ProcessData& data) {
  RequireLocked("IPlugVST3::ProcessAudio");
  const int32 size = processSetup.symbolicSampleSize;
  if (size != kSample32 && size != kSample64) return;
  const bool f32 = size == kSample32;
  const int n = data.numSamples;
  if (n <= 0) return;
  const int32 numOutputs = data.outputs ? std::max<int32>(0, data.numOutputs) : 0;

  auto zeroHostBuffer = [&](AudioBusBuffers& bus, int ch, bool asFloat) {
    if (asFloat) {
      if (bus.channelBuffers32 && bus.channelBuffers32[ch]) {
        std::memset(bus.channelBuffers32[ch], 0, sizeof(float) * static_cast<size_t>(n));
      }
    } else if (bus.channelBuffers64 && bus.channelBuffers64[ch]) {
      std::memset(bus.channelBuffers64[ch], 0, sizeof(double) * static_cast<size_t>(n));
    }
  };

  if (!mSetUp) {
    // Nothing to render with before the host has told us rate and block size. No set-up
    // says what the buffers hold either (a refused one stored nothing), so the block's own
    // sample size does: zeroing doubles as floats would leave half of every buffer as it was.
    const bool blockF32 = data.symbolicSampleSize == kSample64   ? false
                          : data.symbolicSampleSize == kSample32 ? true
                                                                 : f32;
    for (int32 j = 0; j < numOutputs; ++j) {
      for (int ch = 0; ch < data.outputs[j].numChannels; ++ch)
        zeroHostBuffer(data.outputs[j], ch, blockF32);
    }
    return;
  }

  if (data.inputs && data.numInputs > 0 && NInChannels() > 0) {
    AudioBusBuffers& main = data.inputs[0];
    int mainCount = NInChannels() - mSidechainChannels;
    int nMain = std::min(std::max(0, main.numChannels), mainCount);
    SetInputsConnected(0, nMain, true);
    SetInputsConnected(nMain, NInChannels() - nMain, false);
    if (f32) {
      AttachInputsFloat(0, mainCount, main.channelBuffers32, n);
    } else {
      AttachInputs(0, mainCount, main.channelBuffers64);
    }
    if (mSidechainChannels) {
      Bus* scBus = getBus(kAudio, kInput, 1);
      if (scBus && scBus->isActive() && data.numInputs > 1) {
        AudioBusBuffers& sc = data.inputs[1];
        int nSc = std::min(std::max(0, sc.numChannels), mSidechainChannels);
        mSidechainActive = true;
        SetInputsConnected(mainCount, nSc, true);
        if (f32) {
          AttachInputsFloat(mainCount, nSc, sc.channelBuffers32, n);
        } else {
          AttachInputs(mainCount, nSc, sc.channelBuffers64);
        }
      } else if (mSidechainActive) {
        ZeroScratchBuffers();
        mSidechainActive = false;
      }
    }
  }

  // Start from nothing connected so that no host pointer of an earlier block survives.
  SetOutputsConnected(0, NOutChannels(), false);
  int c = 0;
  for (int32 j = 0; j < numOutputs; ++j) {
    AudioBusBuffers& bus = data.outputs[j];
    int nch = std::max(0, bus.numChannels);
    Bus* ours = getBus(kAudio, kOutput, j);
    bool hasBuffers = f32 ? bus.channelBuffers32 != nullptr : bus.channelBuffers64 != nullptr;
    bool connected = ours && ours->isActive() && hasBuffers;
    if (connected && c < NOutChannels()) {
      SetOutputsConnected(c, nch, true);
      if (f32) {
        AttachOutputsFloat(c, nch, bus.channelBuffers32);
      } else {
        AttachOutputs(c, nch, bus.channelBuffers64);
      }
    }
    // Channels we do not render into get silence rather than whatever they held.
    for (int ch = connected ? std::max(0, NOutChannels() - c) : 0; ch < nch; ++ch) {
      zeroHostBuffer(bus, ch, f32);
    }
    c += nch;
  }

  if (IsBypassed()) {
    if (f32) {
      PassThroughBlockFloat(n);
    } else {
      PassThroughBlock(n);
    }
  } else if (f32) {
    ProcessBlockFloat(n);
  } else {
    ProcessBlock(n);
  }
}

// ---- services ----

void IPlugVST3::FillHostTimeInfo(HostTimeInfo* info) {
  if (!info) return;
  const ProcessContext& pc = mProcessContext;
  info->tempo = pc.tempo;
  info->samplePos = static_cast<double>(pc.projectTimeSamples);
  info->ppqPos = pc.projectTimeMusic;
  info->lastBar = pc.barPositionMusic;
  info->cycleStart = pc.cycleStartMusic;
  info->cycleEnd = pc.cycleEndMusic;
  info->numerator = pc.timeSigNumerator;
  info->denominator = pc.timeSigDenominator;
  info->transportRunning = (pc.state & ProcessContext::kPlaying) != 0;
  info->loopEnabled = (pc.state & ProcessContext::kCycleActive) != 0;
}

// The instrument object is also what the CLAP and LV2 bindings wrap: their link hears the same
// edits (without a VST 3 host the SDK calls below do nothing).
void IPlugVST3::BeginParamEdit(int paramIdx) {
  IPlugBase::BeginParamEdit(paramIdx);
  if (paramIdx >= 0) beginEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::ReportParamEdit(int paramIdx, double normalized) {
  IPlugBase::ReportParamEdit(paramIdx, normalized);
  if (paramIdx >= 0) performEdit(static_cast<ParamID>(paramIdx), normalized);
}

void IPlugVST3::EndParamEdit(int paramIdx) {
  IPlugBase::EndParamEdit(paramIdx);
  if (paramIdx >= 0) endEdit(static_cast<ParamID>(paramIdx));
}

void IPlugVST3::ShowParamContextMenu(int paramIdx, int x, int y) {
  if (!componentHandler || mViews.empty() || paramIdx < 0) return;
  IComponentHandler3* handler3 = nullptr;
  if (componentHandler->queryInterface(IComponentHandler3::iid,
                                       reinterpret_cast<void**>(&handler3)) != kResultOk ||
      !handler3) {
    return;
  }
  ParamID tag = static_cast<ParamID>(paramIdx);
  if (IContextMenu* menu = handler3->createContextMenu(mViews.front(), &tag)) {
    menu->popup(x, y);
    menu->release();
  }
  handler3->release();
}

void IPlugVST3::ResizeEditor(int width, int height) {
  IPlugBase::ResizeEditor(width, height);
  if (!GetGUI() || mViews.empty()) return;
  mViews.front()->RequestResize(width, height);
}

void IPlugVST3::ChangeLatency(int samples) {
  IPlugBase::ChangeLatency(samples);
  if (!componentHandler) return;
  IComponentHandler* handler = nullptr;
  if (componentHandler->queryInterface(IComponentHandler::iid,
                                       reinterpret_cast<void**>(&handler)) == kResultOk &&
      handler) {
    handler->restartComponent(kLatencyChanged);
    handler->release();
  }
}

bool IPlugVST3::SendMidiToHost(const MidiMessage&) {
  return false;
}

// ---- views ----

IPlugView* PLUGIN_API IPlugVST3::createView(FIDString name) {
  if (!name || std::strcmp(name, ViewType::kEditor) != 0) return nullptr;
  auto* view = new IPlugVST3View(this);
  AddOpenView(view);
  return view;
}

void IPlugVST3::AddOpenView(IPlugVST3View* view) {
  mViews.push_back(view);
}

void IPlugVST3::RemoveOpenView(IPlugVST3View* view) {
  auto it = std::find(mViews.begin(), mViews.end(), view);
  if (it != mViews.end()) mViews.erase(it);
}

IPlugVST3View* IPlugVST3::FirstOpenView() const {
  return mViews.empty() ? nullptr : mViews.front();
}
