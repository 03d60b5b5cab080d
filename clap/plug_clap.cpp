#include "clap/plug_clap.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "editor/graphics.h"
#include "framework/state_chunk.h"

namespace clap_binding {

namespace {

// As the VST 3 binding: scratch is sized by the host's largest block, longer blocks are
// rendered in pieces, so a larger scratch buys nothing but memory.
constexpr uint32_t kMaxScratchFrames = 1 << 16;
constexpr double kMaxSampleRate = 10.0e6;

template <typename T>
const T* HostExtension(const clap_host_t* host, const char* id, const char* compat = nullptr) {
  if (!host || !host->get_extension) return nullptr;
  const void* ext = host->get_extension(host, id);
  if (!ext && compat) ext = host->get_extension(host, compat);
  return static_cast<const T*>(ext);
}

// Silence in every output channel the host gave us, whatever the sample size.
void ZeroOutputs(const clap_process_t* p, uint32_t firstPort = 0, uint32_t firstChannel = 0) {
  if (!p->audio_outputs || p->frames_count == 0) return;
  const size_t n = p->frames_count;
  for (uint32_t port = firstPort; port < p->audio_outputs_count; ++port) {
    const clap_audio_buffer_t& b = p->audio_outputs[port];
    for (uint32_t ch = port == firstPort ? firstChannel : 0; ch < b.channel_count; ++ch) {
      if (b.data32 && b.data32[ch]) std::memset(b.data32[ch], 0, n * sizeof(float));
      if (b.data64 && b.data64[ch]) std::memset(b.data64[ch], 0, n * sizeof(double));
    }
  }
}

// ---- clap_plugin_t trampolines ----

bool CLAP_ABI PluginInit(const clap_plugin_t* plugin);
void CLAP_ABI PluginDestroy(const clap_plugin_t* plugin);
bool CLAP_ABI PluginActivate(const clap_plugin_t* plugin, double rate, uint32_t minFrames,
                             uint32_t maxFrames);
void CLAP_ABI PluginDeactivate(const clap_plugin_t* plugin);
bool CLAP_ABI PluginStartProcessing(const clap_plugin_t* plugin);
void CLAP_ABI PluginStopProcessing(const clap_plugin_t* plugin);
void CLAP_ABI PluginReset(const clap_plugin_t* plugin);
clap_process_status CLAP_ABI PluginProcess(const clap_plugin_t* plugin,
                                           const clap_process_t* process);
const void* CLAP_ABI PluginExtension(const clap_plugin_t* plugin, const char* id);
void CLAP_ABI PluginOnMainThread(const clap_plugin_t*) {}

}  // namespace

ClapPlugin::ClapPlugin(const clap_host_t* host, const ClapPluginRegistration& registration,
                       const clap_plugin_descriptor_t* descriptor)
    : mHost(host), mRegistration(registration) {
  mPlugin.desc = descriptor;
  mPlugin.plugin_data = this;
  mPlugin.init = PluginInit;
  mPlugin.destroy = PluginDestroy;
  mPlugin.activate = PluginActivate;
  mPlugin.deactivate = PluginDeactivate;
  mPlugin.start_processing = PluginStartProcessing;
  mPlugin.stop_processing = PluginStopProcessing;
  mPlugin.reset = PluginReset;
  mPlugin.process = PluginProcess;
  mPlugin.get_extension = PluginExtension;
  mPlugin.on_main_thread = PluginOnMainThread;
}

ClapPlugin::~ClapPlugin() = default;

ClapPlugin* ClapPlugin::From(const clap_plugin_t* plugin) {
  return plugin ? static_cast<ClapPlugin*>(plugin->plugin_data) : nullptr;
}

bool ClapPlugin::OnMainThread() const {
  const auto* tc = mHostExt.threadCheck;
  return !tc || !tc->is_main_thread || tc->is_main_thread(mHost);
}

bool ClapPlugin::OnAudioThread() const {
  const auto* tc = mHostExt.threadCheck;
  return !tc || !tc->is_audio_thread || tc->is_audio_thread(mHost);
}

// ---- life cycle ----

bool ClapPlugin::Init() {
  if (mInitialised || !OnMainThread()) return false;
  mHostExt.params = HostExtension<clap_host_params_t>(mHost, CLAP_EXT_PARAMS);
  mHostExt.threadCheck = HostExtension<clap_host_thread_check_t>(mHost, CLAP_EXT_THREAD_CHECK);
  mHostExt.gui = HostExtension<clap_host_gui_t>(mHost, CLAP_EXT_GUI);
  mHostExt.posixFd = HostExtension<clap_host_posix_fd_support_t>(mHost, CLAP_EXT_POSIX_FD_SUPPORT);
  mHostExt.timer = HostExtension<clap_host_timer_support_t>(mHost, CLAP_EXT_TIMER_SUPPORT);
  mHostExt.presetLoad = HostExtension<clap_host_preset_load_t>(mHost, CLAP_EXT_PRESET_LOAD,
                                                               CLAP_EXT_PRESET_LOAD_COMPAT);
  mHostExt.latency = HostExtension<clap_host_latency_t>(mHost, CLAP_EXT_LATENCY);
  {
    // Constructors of plug-in objects run one at a time in the process.
    static std::mutex creation;
    std::lock_guard<std::mutex> lock(creation);
    mPlug = mRegistration.create ? mRegistration.create() : nullptr;
  }
  if (!mPlug) return false;
  mPlug->SetHostLink(this, kAPICLAP);
  const size_t n = static_cast<size_t>(mPlug->ParamCount());
  mBlockValue.assign(n, 0.0);
  mBlockHas.assign(n, 0);
  mBlockOrder.reserve(n);
  {
    // Every parameter applied once, as the VST 3 binding does when it registers them: the
    // instrument starts its engine only then.
    PlugLock lock(mPlug->Mutex());
    for (int i = 0; i < mPlug->ParamCount(); ++i) mPlug->HandleParamChange(i);
  }
  mPlug->PostInitialized();
  mInitialised = true;
  return true;
}

void ClapPlugin::Destroy() {
  if (mPlug) {
    CloseEditor(*this);
    if (mActive) Deactivate();
    mPlug->SetHostLink(nullptr, kAPICLAP);
    if (mRegistration.destroy) mRegistration.destroy(mPlug);
    mPlug = nullptr;
  }
  delete this;
}

bool ClapPlugin::Activate(double sampleRate, uint32_t minFrames, uint32_t maxFrames) {
  (void)minFrames;
  if (!mPlug || mActive || !OnMainThread()) return false;
  // The engine divides by the rate and sizes its buffers by the block.
  if (!(sampleRate > 0.0) || !(sampleRate <= kMaxSampleRate) || maxFrames == 0) return false;
  {
    PlugLock lock(mPlug->Mutex());
    mPlug->SetBypassed(false);
    mPlug->SetSampleRate(sampleRate);
    mPlug->SetMaxFrames(static_cast<int>(std::min(maxFrames, kMaxScratchFrames)));
    mPlug->Reset();
  }
  mPlug->Activate(true);
  mActive = true;
  return true;
}

void ClapPlugin::Deactivate() {
  if (!mPlug || !mActive || !OnMainThread()) return;
  mProcessing.store(false, std::memory_order_release);
  mPlug->Activate(false);
  mActive = false;
}

bool ClapPlugin::StartProcessing() {
  if (!mActive) return false;
  mProcessing.store(true, std::memory_order_release);
  return true;
}

void ClapPlugin::StopProcessing() {
  mProcessing.store(false, std::memory_order_release);
}

void ClapPlugin::ResetProcessing() {
  if (!mActive) return;
  mPlug->Reset();
}

// ---- processing ----

void ClapPlugin::ApplyTransport(const clap_event_transport_t* t) {
  // A host without a transport gives none: the timeline stays as it was, as with a VST 3 host
  // that sends no process context.
  if (!t) return;
  HostTimeline timeline;
  timeline.transportState = (t->flags & CLAP_TRANSPORT_IS_PLAYING)     ? 1
                            : (t->flags & CLAP_TRANSPORT_IS_RECORDING) ? 2
                                                                       : 0;
  if (t->flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE) {
    const double seconds = static_cast<double>(t->song_pos_seconds) / CLAP_SECTIME_FACTOR;
    const double samples = std::floor(seconds * mPlug->GetSampleRate() + 0.5);
    if (std::isfinite(samples) && std::fabs(samples) < 9.0e18)
      timeline.samplePosition = static_cast<int64_t>(samples);
  }
  if ((t->flags & CLAP_TRANSPORT_HAS_TEMPO) && std::isfinite(t->tempo)) timeline.tempo = t->tempo;
  if (t->flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) {
    timeline.numerator = t->tsig_num;
    timeline.denominator = t->tsig_denom;
  }
  mPlug->SetHostTimeline(timeline);
}

void ClapPlugin::ApplyHostValue(int idx, double value) {
  PlugParam* p = mPlug->ParamAt(idx);
  if (!p || std::isnan(value)) return;
  value = std::min(p->Max(), std::max(p->Min(), value));
  // The value a VST 3 host's normalized value stands for, stepped the same way.
  if (p->Kind() != kTypeDouble) value = std::floor(value / p->Step() + 0.5) * p->Step();
  if (value >= p->Max()) value = p->Max();
  p->SetValue(value);
  if (IPlugEditor* gui = mPlug->GetGUI()) gui->PushParamToControls(idx, p->NormalizedValue(), true);
  mPlug->HandleParamChange(idx);
}

void ClapPlugin::ApplyInputEvents(const clap_input_events_t* in) {
  mPlug->RequireLocked("ClapPlugin::ApplyInputEvents");
  if (!in || !in->size || !in->get) return;
  const uint32_t count = in->size(in);
  const int nParams = mPlug->ParamCount();
  mBlockOrder.clear();
  for (uint32_t i = 0; i < count; ++i) {
    const clap_event_header_t* h = in->get(in, i);
    if (!h || h->space_id != CLAP_CORE_EVENT_SPACE_ID) continue;
    switch (h->type) {
      case CLAP_EVENT_PARAM_VALUE: {
        if (h->size < sizeof(clap_event_param_value_t)) break;
        const auto* e = reinterpret_cast<const clap_event_param_value_t*>(h);
        if (e->param_id >= static_cast<clap_id>(nParams) || std::isnan(e->value)) break;
        const size_t idx = e->param_id;
        if (!mBlockHas[idx]) {
          mBlockHas[idx] = 1;
          mBlockOrder.push_back(static_cast<int>(idx));  // reserved for every parameter
        }
        mBlockValue[idx] = e->value;
        break;
      }
      case CLAP_EVENT_NOTE_ON:
      case CLAP_EVENT_NOTE_OFF: {
        if (h->size < sizeof(clap_event_note_t)) break;
        const auto* e = reinterpret_cast<const clap_event_note_t*>(h);
        const bool on = h->type == CLAP_EVENT_NOTE_ON;
        double velocity = std::isnan(e->velocity) ? 0.0 : std::min(1.0, std::max(0.0, e->velocity));
        MidiMessage msg;
        msg.offset = static_cast<int32_t>(std::min<uint32_t>(h->time, INT32_MAX));
        msg.status = static_cast<uint8_t>((on ? 0x90 : 0x80) | (e->channel & 0x0F));
        msg.data1 = static_cast<uint8_t>(e->key & 0x7F);
        msg.data2 = on ? static_cast<uint8_t>(static_cast<int>(velocity * 127.0)) : 0;
        if (mPlug->DoesMIDI()) mPlug->ProcessMidiMessage(msg);
        break;
      }
      case CLAP_EVENT_MIDI: {
        if (h->size < sizeof(clap_event_midi_t)) break;
        const auto* e = reinterpret_cast<const clap_event_midi_t*>(h);
        const uint8_t kind = e->data[0] & 0xF0;
        if (kind != 0x80 && kind != 0x90) break;
        MidiMessage msg;
        msg.offset = static_cast<int32_t>(std::min<uint32_t>(h->time, INT32_MAX));
        msg.status = e->data[0];
        msg.data1 = e->data[1] & 0x7F;
        msg.data2 = e->data[2] & 0x7F;
        if (mPlug->DoesMIDI()) mPlug->ProcessMidiMessage(msg);
        break;
      }
      default:
        // Modulation, expressions, gestures, transport events and others change nothing.
        break;
    }
  }
  for (int idx : mBlockOrder) {
    mBlockHas[static_cast<size_t>(idx)] = 0;
    ApplyHostValue(idx, mBlockValue[static_cast<size_t>(idx)]);
  }
}

void ClapPlugin::RenderOutputs(const clap_process_t* p) {
  mPlug->RequireLocked("ClapPlugin::RenderOutputs");
  const uint32_t n = p->frames_count;
  if (n == 0 || !p->audio_outputs || p->audio_outputs_count == 0) return;
  const int nOut = mPlug->NOutChannels();
  // Start from nothing connected so that no host pointer of an earlier block survives.
  mPlug->SetOutputsConnected(0, nOut, false);
  const clap_audio_buffer_t& main = p->audio_outputs[0];
  const bool f32 = main.data32 != nullptr || main.data64 == nullptr;
  const bool hasBuffers = f32 ? main.data32 != nullptr : main.data64 != nullptr;
  const int nch = hasBuffers ? static_cast<int>(std::min<uint32_t>(main.channel_count, nOut)) : 0;
  if (nch > 0) {
    mPlug->SetOutputsConnected(0, nch, true);
    if (f32) {
      mPlug->AttachOutputsFloat(0, nch, main.data32);
    } else {
      mPlug->AttachOutputs(0, nch, main.data64);
    }
  }
  // Channels and ports we do not render into get silence rather than whatever they held.
  ZeroOutputs(p, 0, static_cast<uint32_t>(nch));
  if (nch == 0) return;
  if (f32) {
    mPlug->ProcessBlockFloat(static_cast<int>(n));
  } else {
    mPlug->ProcessBlock(static_cast<int>(n));
  }
}

clap_process_status ClapPlugin::Process(const clap_process_t* p) {
  if (!p) return CLAP_PROCESS_ERROR;
  if (!mActive) {
    ZeroOutputs(p);
    return CLAP_PROCESS_ERROR;
  }
  PlugLock lock(mPlug->Mutex());
  ApplyTransport(p->transport);
  ApplyInputEvents(p->in_events);
  RenderOutputs(p);
  SendPendingEdits(p->out_events);
  return CLAP_PROCESS_CONTINUE;
}

// ---- editor edits towards the host ----

void ClapPlugin::QueueEdit(uint16_t type, int paramIdx, double value) {
  if (!mPlug || paramIdx < 0 || paramIdx >= mPlug->ParamCount()) return;
  PlugLock lock(mPlug->Mutex());
  if (type == CLAP_EVENT_PARAM_VALUE) {
    // A drag faster than the host asks for its events keeps only the newest value.
    for (int i = mPendingCount - 1; i >= 0; --i) {
      PendingEdit& e = mPending[i];
      if (e.param != static_cast<clap_id>(paramIdx)) continue;
      if (e.type == CLAP_EVENT_PARAM_VALUE) {
        e.value = value;
        return;
      }
      break;
    }
  }
  if (mPendingCount >= kMaxPendingEdits) return;
  mPending[mPendingCount++] = {type, static_cast<clap_id>(paramIdx), value};
  if (!Processing() && mHostExt.params && mHostExt.params->request_flush &&
      !mFlushRequested.exchange(true)) {
    mHostExt.params->request_flush(mHost);
  }
}

void ClapPlugin::SendPendingEdits(const clap_output_events_t* out) {
  mPlug->RequireLocked("ClapPlugin::SendPendingEdits");
  mFlushRequested.store(false);
  if (!out || !out->try_push) return;
  int sent = 0;
  for (; sent < mPendingCount; ++sent) {
    const PendingEdit& e = mPending[sent];
    bool ok;
    if (e.type == CLAP_EVENT_PARAM_VALUE) {
      clap_event_param_value_t ev{};
      ev.header = {sizeof(ev), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      ev.param_id = e.param;
      ev.note_id = -1;
      ev.port_index = -1;
      ev.channel = -1;
      ev.key = -1;
      ev.value = e.value;
      ok = out->try_push(out, &ev.header);
    } else {
      clap_event_param_gesture_t ev{};
      ev.header = {sizeof(ev), 0, CLAP_CORE_EVENT_SPACE_ID, e.type, 0};
      ev.param_id = e.param;
      ok = out->try_push(out, &ev.header);
    }
    if (!ok) break;
  }
  // What the host could not take waits for its next call.
  std::memmove(mPending, mPending + sent,
               sizeof(PendingEdit) * static_cast<size_t>(mPendingCount - sent));
  mPendingCount -= sent;
}

void ClapPlugin::BeginEdit(int paramIdx) {
  QueueEdit(CLAP_EVENT_PARAM_GESTURE_BEGIN, paramIdx, 0.0);
}

void ClapPlugin::PerformEdit(int paramIdx, double normalized) {
  const PlugParam* p = mPlug ? mPlug->ParamAt(paramIdx) : nullptr;
  if (!p) return;
  // The value the editor stores for it, stepped as the parameter steps.
  double value = p->DenormalizeValue(std::min(1.0, std::max(0.0, normalized)));
  if (p->Kind() != kTypeDouble) value = std::floor(value / p->Step() + 0.5) * p->Step();
  QueueEdit(CLAP_EVENT_PARAM_VALUE, paramIdx, std::min(value, p->Max()));
}

void ClapPlugin::EndEdit(int paramIdx) {
  QueueEdit(CLAP_EVENT_PARAM_GESTURE_END, paramIdx, 0.0);
}

void ClapPlugin::ResizeEditor(int width, int height) {
  if (mHostExt.gui && mHostExt.gui->request_resize && width > 0 && height > 0)
    mHostExt.gui->request_resize(mHost, static_cast<uint32_t>(width),
                                 static_cast<uint32_t>(height));
}

void ClapPlugin::ValuesChangedByPlugin() {
  mPlug->SendParamsToEditor();
  if (mHostExt.params && mHostExt.params->rescan && OnMainThread())
    mHostExt.params->rescan(mHost, CLAP_PARAM_RESCAN_VALUES);
}

bool ClapPlugin::LoadPreset(int index) {
  if (!mPlug || !OnMainThread() || !mPlug->PresetInitialised(index)) return false;
  {
    PlugLock lock(mPlug->Mutex());
    // The default preset stores no values: selecting it changes nothing, which for a host
    // that listed it is a load all the same.
    mPlug->SelectPreset(index);
  }
  ValuesChangedByPlugin();
  return true;
}

// ---- small extensions ----

namespace {

uint32_t CLAP_ABI AudioPortsCount(const clap_plugin_t* plugin, bool isInput) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug() || isInput) return 0;
  return self->Plug()->NOutChannels() >= 2 ? 1 : 0;
}

bool CLAP_ABI AudioPortsGet(const clap_plugin_t* plugin, uint32_t index, bool isInput,
                            clap_audio_port_info_t* info) {
  if (!info || index != 0 || AudioPortsCount(plugin, isInput) == 0) return false;
  ClapPlugin* self = ClapPlugin::From(plugin);
  std::memset(info, 0, sizeof(*info));
  info->id = 0;
  const char* name = self->Plug()->OutputBusName(0);
  std::snprintf(info->name, sizeof(info->name), "%s", name[0] ? name : "Output");
  info->flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS;
  info->channel_count = 2;
  info->port_type = CLAP_PORT_STEREO;
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}

const clap_plugin_audio_ports_t kAudioPorts = {AudioPortsCount, AudioPortsGet};

uint32_t CLAP_ABI NotePortsCount(const clap_plugin_t* plugin, bool isInput) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Plug() && isInput ? 1 : 0;
}

bool CLAP_ABI NotePortsGet(const clap_plugin_t* plugin, uint32_t index, bool isInput,
                           clap_note_port_info_t* info) {
  if (!info || index != 0 || NotePortsCount(plugin, isInput) == 0) return false;
  std::memset(info, 0, sizeof(*info));
  info->id = 0;
  info->supported_dialects = CLAP_NOTE_DIALECT_CLAP | CLAP_NOTE_DIALECT_MIDI;
  info->preferred_dialect = CLAP_NOTE_DIALECT_CLAP;
  std::snprintf(info->name, sizeof(info->name), "%s", "Note Input");
  return true;
}

const clap_plugin_note_ports_t kNotePorts = {NotePortsCount, NotePortsGet};

uint32_t CLAP_ABI LatencyGet(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Plug() ? static_cast<uint32_t>(std::max(0, self->Plug()->GetLatency())) : 0;
}

const clap_plugin_latency_t kLatency = {LatencyGet};

uint32_t CLAP_ABI TailGet(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Plug() ? static_cast<uint32_t>(std::max(0, self->Plug()->GetTailSize())) : 0;
}

const clap_plugin_tail_t kTail = {TailGet};

bool CLAP_ABI RenderHasHardRealtime(const clap_plugin_t*) {
  return false;
}

bool CLAP_ABI RenderSet(const clap_plugin_t* plugin, clap_plugin_render_mode mode) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || (mode != CLAP_RENDER_REALTIME && mode != CLAP_RENDER_OFFLINE)) return false;
  self->SetOffline(mode == CLAP_RENDER_OFFLINE);
  return true;
}

const clap_plugin_render_t kRender = {RenderHasHardRealtime, RenderSet};

// ---- state: the parameter values as little-endian doubles, exactly as the VST 3 component ----

bool CLAP_ABI StateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug() || !stream || !stream->write || !self->OnMainThread()) return false;
  StateChunk chunk;
  {
    PlugLock lock(self->Plug()->Mutex());
    if (!self->Plug()->SaveState(&chunk)) return false;
  }
  const uint8_t* data = chunk.Data();
  int64_t left = chunk.Size();
  while (left > 0) {
    const int64_t wrote = stream->write(stream, data, static_cast<uint64_t>(left));
    // A stream that takes nothing more will never take the rest.
    if (wrote <= 0 || wrote > left) return false;
    data += wrote;
    left -= wrote;
  }
  return true;
}

bool CLAP_ABI StateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug() || !stream || !stream->read || !self->OnMainThread()) return false;
  IPlugBase* plug = self->Plug();
  const int expected = plug->ParamCount() * 8;
  // One byte more than a state holds tells a longer stream apart; the rest is not read.
  const int want = expected + 1;
  std::vector<uint8_t> bytes(static_cast<size_t>(want));
  int have = 0;
  while (have < want) {
    const int64_t got =
        stream->read(stream, bytes.data() + have, static_cast<uint64_t>(want - have));
    if (got < 0) return false;
    if (got == 0) break;
    have += static_cast<int>(std::min<int64_t>(got, want - have));
  }
  if (have != expected) return false;
  StateChunk chunk;
  chunk.PutBytes(bytes.data(), have);
  // Every value must be one the parameter can hold; otherwise nothing is changed.
  int pos = 0;
  for (int i = 0; i < plug->ParamCount(); ++i) {
    double v = 0.0;
    pos = chunk.GetDouble(&v, pos);
    const PlugParam* p = plug->ParamAt(i);
    if (pos < 0 || !std::isfinite(v) || v < p->Min() || v > p->Max()) return false;
  }
  {
    PlugLock lock(plug->Mutex());
    if (plug->LoadState(&chunk, 0) < 0) return false;
  }
  plug->SendParamsToEditor();
  return true;
}

const clap_plugin_state_t kState = {StateSave, StateLoad};

// ---- preset-load: the factory presets the discovery factory lists ----

bool CLAP_ABI PresetLoadFromLocation(const clap_plugin_t* plugin, uint32_t kind,
                                     const char* location, const char* loadKey) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  if (!self || !self->Plug()) return false;
  int index = -1;
  if (kind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN && !location && loadKey && *loadKey) {
    char* end = nullptr;
    const long v = std::strtol(loadKey, &end, 10);
    if (end && *end == 0 && v >= 0 && v < self->Plug()->PresetCount()) index = static_cast<int>(v);
  }
  const auto* host = self->HostExt().presetLoad;
  if (index < 0 || !self->LoadPreset(index)) {
    if (host && host->on_error)
      host->on_error(self->Host(), kind, location, loadKey, 0, "no such factory preset");
    return false;
  }
  if (host && host->loaded) host->loaded(self->Host(), kind, location, loadKey);
  return true;
}

const clap_plugin_preset_load_t kPresetLoad = {PresetLoadFromLocation};

// ---- trampolines ----

bool CLAP_ABI PluginInit(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Init();
}

void CLAP_ABI PluginDestroy(const clap_plugin_t* plugin) {
  if (ClapPlugin* self = ClapPlugin::From(plugin)) self->Destroy();
}

bool CLAP_ABI PluginActivate(const clap_plugin_t* plugin, double rate, uint32_t minFrames,
                             uint32_t maxFrames) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Activate(rate, minFrames, maxFrames);
}

void CLAP_ABI PluginDeactivate(const clap_plugin_t* plugin) {
  if (ClapPlugin* self = ClapPlugin::From(plugin)) self->Deactivate();
}

bool CLAP_ABI PluginStartProcessing(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->StartProcessing();
}

void CLAP_ABI PluginStopProcessing(const clap_plugin_t* plugin) {
  if (ClapPlugin* self = ClapPlugin::From(plugin)) self->StopProcessing();
}

void CLAP_ABI PluginReset(const clap_plugin_t* plugin) {
  if (ClapPlugin* self = ClapPlugin::From(plugin)) self->ResetProcessing();
}

clap_process_status CLAP_ABI PluginProcess(const clap_plugin_t* plugin,
                                           const clap_process_t* process) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self ? self->Process(process) : CLAP_PROCESS_ERROR;
}

const void* CLAP_ABI PluginExtension(const clap_plugin_t* plugin, const char* id) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && id ? self->Extension(id) : nullptr;
}

}  // namespace

const void* ClapPlugin::Extension(const char* id) const {
  auto is = [id](const char* name) { return std::strcmp(id, name) == 0; };
  if (is(CLAP_EXT_PARAMS)) return ParamsExtension();
  if (is(CLAP_EXT_STATE)) return &kState;
  if (is(CLAP_EXT_AUDIO_PORTS)) return &kAudioPorts;
  if (is(CLAP_EXT_NOTE_PORTS)) return &kNotePorts;
  if (is(CLAP_EXT_LATENCY)) return &kLatency;
  if (is(CLAP_EXT_TAIL)) return &kTail;
  if (is(CLAP_EXT_RENDER)) return &kRender;
  if (is(CLAP_EXT_PRESET_LOAD) || is(CLAP_EXT_PRESET_LOAD_COMPAT)) return &kPresetLoad;
  if (is(CLAP_EXT_GUI)) return GuiExtension();
#if !defined(_WIN32) && !defined(__APPLE__)
  if (is(CLAP_EXT_POSIX_FD_SUPPORT)) return PosixFdExtension();
  if (is(CLAP_EXT_TIMER_SUPPORT)) return TimerExtension();
#endif
  return nullptr;
}

}  // namespace clap_binding
