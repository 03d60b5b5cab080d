// The LV2 plug-in: one wrapped instance per host instance. Control ports are applied at the
// start of each block the way the VST 3 binding applies a block's parameter changes (stored,
// posted to the editor's mailbox, handed to the parameter hook, all under the plug-in mutex);
// the atom input carries the host's transport (time:Position) and notes.
#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "lv2/plug_lv2.h"
#include "lv2/plugin_registration.h"
#include "lv2/turtle.h"

namespace {

const Lv2PluginRegistration* gRegistration = nullptr;

// Blocks longer than the host's announced maximum (or this, without one) are rendered in
// pieces of this size; the scratch arrays are sized for it when the instance is made.
constexpr int kDefaultMaxBlock = 4096;

struct Urids {
  LV2_URID atomBlank, atomObject, atomFloat, atomDouble, atomInt, atomLong;
  LV2_URID atomSequence, midiEvent, timePosition, timeSpeed, timeFrame, timeBpm;
  LV2_URID timeBeatsPerBar, timeBeatUnit, maxBlock, nominalBlock;

  void Map(LV2_URID_Map* m) {
    auto u = [m](const char* uri) { return m->map(m->handle, uri); };
    atomBlank = u(LV2_ATOM__Blank);
    atomObject = u(LV2_ATOM__Object);
    atomFloat = u(LV2_ATOM__Float);
    atomDouble = u(LV2_ATOM__Double);
    atomInt = u(LV2_ATOM__Int);
    atomLong = u(LV2_ATOM__Long);
    atomSequence = u(LV2_ATOM__Sequence);
    midiEvent = u(LV2_MIDI__MidiEvent);
    timePosition = u(LV2_TIME__Position);
    timeSpeed = u(LV2_TIME__speed);
    timeFrame = u(LV2_TIME__frame);
    timeBpm = u(LV2_TIME__beatsPerMinute);
    timeBeatsPerBar = u(LV2_TIME__beatsPerBar);
    timeBeatUnit = u(LV2_TIME__beatUnit);
    maxBlock = u(LV2_BUF_SIZE__maxBlockLength);
    nominalBlock = u(LV2_BUF_SIZE__nominalBlockLength);
  }
};

}  // namespace

void RegisterLv2Plugin(const Lv2PluginRegistration& registration) {
  static Lv2PluginRegistration stored;
  stored = registration;
  gRegistration = &stored;
}

const Lv2PluginRegistration* RegisteredLv2Plugin() {
  return gRegistration;
}

namespace lv2 {

bool AtomNumber(const LV2_Atom* atom, const AtomTypes& types, double* out) {
  if (!atom || !out) return false;
  double v = 0.0;
  if (atom->type == types.atomDouble && atom->size == sizeof(double)) {
    v = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
  } else if (atom->type == types.atomFloat && atom->size == sizeof(float)) {
    v = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
  } else if (atom->type == types.atomInt && atom->size == sizeof(int32_t)) {
    v = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
  } else if (atom->type == types.atomLong && atom->size == sizeof(int64_t)) {
    v = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
  } else {
    return false;
  }
  if (!std::isfinite(v)) return false;
  *out = v;
  return true;
}

bool ReadStateValue(const void* data, size_t size, uint32_t type, const AtomTypes& types,
                    double* out) {
  if (!data || size > 64) return false;
  alignas(8) uint8_t buf[sizeof(LV2_Atom) + 64];
  LV2_Atom header{static_cast<uint32_t>(size), type};
  std::memcpy(buf, &header, sizeof header);
  std::memcpy(buf + sizeof header, data, size);
  return AtomNumber(reinterpret_cast<const LV2_Atom*>(buf), types, out);
}

namespace {

// A host's number brought inside what the integer it becomes can hold.
double Clamped(double v, double limit) {
  return v < -limit ? -limit : v > limit ? limit : v;
}

class Lv2Plugin {
 public:
  Lv2Plugin(IPlugBase* plug, LV2_URID_Map* map, double rate, int maxBlock) : mPlug(plug) {
    mUrids.Map(map);
    mTypes = {mUrids.atomFloat, mUrids.atomDouble, mUrids.atomInt, mUrids.atomLong};
    const int n = plug->ParamCount();
    mControls.assign(static_cast<size_t>(n), nullptr);
    // Not a number: the first block applies every port the host connected.
    mLastSeen.assign(static_cast<size_t>(n), std::numeric_limits<float>::quiet_NaN());
    mRestored.assign(static_cast<size_t>(n), false);
    for (int i = 0; i < n; ++i) {
      const std::string key = StateKeyUri(Identity(), plug->ParamAt(i)->NameText());
      mKeys.push_back(map->map(map->handle, key.c_str()));
    }
    PlugLock lock(plug->Mutex());
    plug->SetSampleRate(rate);
    plug->SetMaxFrames(maxBlock);
    plug->SetOutputsConnected(0, plug->NOutChannels(), true);
    // As a VST 3 host's initialize does: every parameter applied once, so the instrument's
    // ready gate opens with the defaults.
    for (int i = 0; i < n; ++i) plug->HandleParamChange(i);
  }

  ~Lv2Plugin() { gRegistration->destroy(mPlug); }

  static const PlugIdentity& Identity() { return *gRegistration->identity; }

  void Connect(uint32_t port, void* data) {
    const uint32_t n = static_cast<uint32_t>(mControls.size());
    if (port < n) {
      mControls[port] = static_cast<const float*>(data);
    } else if (port == n || port == n + 1) {
      mOutputs[port - n] = static_cast<float*>(data);
    } else if (port == n + 2) {
      mEvents = static_cast<const LV2_Atom_Sequence*>(data);
    }
  }

  void Activate(bool active) {
    PlugLock lock(mPlug->Mutex());
    mActive = active;
    mPlug->Activate(active);
  }

  void Run(uint32_t frames) {
    PlugLock lock(mPlug->Mutex());
    const int n = static_cast<int>(std::min<uint32_t>(frames, INT32_MAX));
    if (!mActive) {
      // Before activation there is nothing to render with: silence, as the VST 3 binding
      // gives before processing is set up.
      for (float* out : mOutputs) {
        if (out) std::fill(out, out + n, 0.0f);
      }
      return;
    }
    ApplyControls();
    ReadEvents();
    HostTimeline timeline;
    timeline.transportState = mSpeed != 0.0 ? 1 : 0;
    timeline.samplePosition = static_cast<int64_t>(Clamped(mFrame, 9.0e18));
    timeline.tempo = mBpm;
    timeline.numerator = mBeatsPerBar;
    timeline.denominator = mBeatUnit;
    mPlug->SetHostTimeline(timeline);
    mPlug->SetOutputsConnected(0, mPlug->NOutChannels(), true);
    mPlug->AttachOutputsFloat(0, 2, mOutputs);
    mPlug->ProcessBlockFloat(n);
    // Hosts send a position when it changes; between them the transport runs on.
    mFrame += mSpeed * static_cast<double>(n);
    if (!std::isfinite(mFrame)) mFrame = 0.0;  // a host's absurd speed
  }

  void Save(LV2_State_Store_Function store, LV2_State_Handle handle) {
    PlugLock lock(mPlug->Mutex());
    for (int i = 0; i < mPlug->ParamCount(); ++i) {
      const double v = mPlug->ParamAt(i)->Value();
      store(handle, mKeys[static_cast<size_t>(i)], &v, sizeof v, mUrids.atomDouble,
            LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    }
  }

  void Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle) {
    PlugLock lock(mPlug->Mutex());
    for (int i = 0; i < mPlug->ParamCount(); ++i) {
      size_t size = 0;
      uint32_t type = 0;
      uint32_t flags = 0;
      const void* data = retrieve(handle, mKeys[static_cast<size_t>(i)], &size, &type, &flags);
      double v = 0.0;
      // A missing or malformed value leaves the parameter as it is.
      if (!data || !ReadStateValue(data, size, type, mTypes, &v)) continue;
      ApplyValue(i, v);
      // The port still holds what it held before the restore; only a later move of it counts.
      mRestored[static_cast<size_t>(i)] = true;
    }
  }

 private:
  // Host's value for parameter i: clamped by the model; NaN never gets here.
  void ApplyValue(int i, double value) {
    PlugParam* p = mPlug->ParamAt(i);
    p->SetValue(value);
    if (IPlugEditor* gui = mPlug->GetGUI()) gui->PushParamToControls(i, p->NormalizedValue(), true);
    mPlug->HandleParamChange(i);
  }

  void ApplyControls() {
    mPlug->RequireLocked("Lv2Plugin::ApplyControls");
    for (size_t i = 0; i < mControls.size(); ++i) {
      if (!mControls[i]) continue;
      const float v = *mControls[i];
      if (std::isnan(v)) continue;
      // Only a port the host moved is applied, so a restored state is not overwritten by
      // ports the host left where they were.
      if (mRestored[i]) {
        mRestored[i] = false;
        mLastSeen[i] = v;
        continue;
      }
      if (v == mLastSeen[i]) continue;
      mLastSeen[i] = v;
      ApplyValue(static_cast<int>(i), static_cast<double>(v));
    }
  }

  void ReadEvents() {
    if (!mEvents || mEvents->atom.type != mUrids.atomSequence ||
        mEvents->atom.size < sizeof(LV2_Atom_Sequence_Body))
      return;
    const auto* end = reinterpret_cast<const uint8_t*>(&mEvents->body) + mEvents->atom.size;
    LV2_ATOM_SEQUENCE_FOREACH(mEvents, ev) {
      const LV2_Atom& body = ev->body;
      // An event that claims more than the sequence holds ends it.
      if (reinterpret_cast<const uint8_t*>(&body + 1) + body.size > end) break;
      if (body.type == mUrids.midiEvent) {
        if (body.size < 1) continue;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&body + 1);
        const uint8_t kind = bytes[0] & 0xF0;
        if ((kind != 0x80 && kind != 0x90) || body.size < 3) continue;
        MidiMessage msg;
        msg.offset = static_cast<int32_t>(std::max<int64_t>(0, ev->time.frames));
        msg.status = bytes[0];
        msg.data1 = bytes[1] & 0x7F;
        msg.data2 = bytes[2] & 0x7F;
        mPlug->ProcessMidiMessage(msg);
      } else if ((body.type == mUrids.atomObject || body.type == mUrids.atomBlank) &&
                 body.size >= sizeof(LV2_Atom_Object_Body)) {
        const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
        if (obj->body.otype == mUrids.timePosition) ReadPosition(obj, ev->time.frames);
      }
    }
  }

  void ReadPosition(const LV2_Atom_Object* obj, int64_t offset) {
    const LV2_Atom* speed = nullptr;
    const LV2_Atom* frame = nullptr;
    const LV2_Atom* bpm = nullptr;
    const LV2_Atom* beatsPerBar = nullptr;
    const LV2_Atom* beatUnit = nullptr;
    lv2_atom_object_get(obj, mUrids.timeSpeed, &speed, mUrids.timeFrame, &frame, mUrids.timeBpm,
                        &bpm, mUrids.timeBeatsPerBar, &beatsPerBar, mUrids.timeBeatUnit, &beatUnit,
                        0);
    double v = 0.0;
    if (AtomNumber(speed, mTypes, &v)) mSpeed = v;
    // The block's position, as the VST 3 binding gets it: where the transport stood at the
    // block's first frame.
    if (AtomNumber(frame, mTypes, &v))
      mFrame = v - mSpeed * static_cast<double>(std::max<int64_t>(0, offset));
    if (!std::isfinite(mFrame)) mFrame = 0.0;
    if (AtomNumber(bpm, mTypes, &v)) mBpm = v;
    if (AtomNumber(beatsPerBar, mTypes, &v)) mBeatsPerBar = static_cast<int32_t>(Clamped(v, 1e9));
    if (AtomNumber(beatUnit, mTypes, &v)) mBeatUnit = static_cast<int32_t>(Clamped(v, 1e9));
  }

  IPlugBase* mPlug;
  Urids mUrids{};
  AtomTypes mTypes{};
  std::vector<const float*> mControls;
  std::vector<float> mLastSeen;
  std::vector<bool> mRestored;
  std::vector<LV2_URID> mKeys;
  float* mOutputs[2] = {nullptr, nullptr};
  const LV2_Atom_Sequence* mEvents = nullptr;
  bool mActive = false;
  double mSpeed = 0.0;
  double mFrame = 0.0;
  double mBpm = 120.0;
  int32_t mBeatsPerBar = 4;
  int32_t mBeatUnit = 4;
};

LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features) {
  if (!gRegistration || !(rate >= 1.0 && rate <= 10.0e6)) return nullptr;
  LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    if (std::strcmp(features[i]->URI, LV2_URID__map) == 0) {
      map = static_cast<LV2_URID_Map*>(features[i]->data);
    } else if (std::strcmp(features[i]->URI, LV2_OPTIONS__options) == 0) {
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
    }
  }
  if (!map) return nullptr;
  Urids u{};
  u.Map(map);
  AtomTypes types{u.atomFloat, u.atomDouble, u.atomInt, u.atomLong};
  int maxBlock = 0, nominal = 0;
  for (const LV2_Options_Option* o = options; o && o->key; ++o) {
    double v = 0.0;
    if (o->context != LV2_OPTIONS_INSTANCE ||
        !ReadStateValue(o->value, o->size, o->type, types, &v))
      continue;
    if (o->key == u.maxBlock) maxBlock = static_cast<int>(std::min(v, double(kMaxBlockFrames)));
    if (o->key == u.nominalBlock) nominal = static_cast<int>(std::min(v, double(kMaxBlockFrames)));
  }
  int block = maxBlock > 0 ? maxBlock : nominal > 0 ? nominal : kDefaultMaxBlock;
  IPlugBase* plug = gRegistration->create();
  if (!plug) return nullptr;
  auto* instance = new (std::nothrow) Lv2Plugin(plug, map, rate, block);
  if (!instance) gRegistration->destroy(plug);
  return instance;
}

void ConnectPort(LV2_Handle h, uint32_t port, void* data) {
  static_cast<Lv2Plugin*>(h)->Connect(port, data);
}
void Activate(LV2_Handle h) {
  static_cast<Lv2Plugin*>(h)->Activate(true);
}
void Deactivate(LV2_Handle h) {
  static_cast<Lv2Plugin*>(h)->Activate(false);
}
void Run(LV2_Handle h, uint32_t frames) {
  static_cast<Lv2Plugin*>(h)->Run(frames);
}
void Cleanup(LV2_Handle h) {
  delete static_cast<Lv2Plugin*>(h);
}

LV2_State_Status SaveState(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                           uint32_t, const LV2_Feature* const*) {
  if (!store) return LV2_STATE_ERR_UNKNOWN;
  static_cast<Lv2Plugin*>(h)->Save(store, handle);
  return LV2_STATE_SUCCESS;
}

LV2_State_Status RestoreState(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                              LV2_State_Handle handle, uint32_t, const LV2_Feature* const*) {
  if (!retrieve) return LV2_STATE_ERR_UNKNOWN;
  static_cast<Lv2Plugin*>(h)->Restore(retrieve, handle);
  return LV2_STATE_SUCCESS;
}

const void* ExtensionData(const char* uri) {
  static const LV2_State_Interface kState = {SaveState, RestoreState};
  if (uri && std::strcmp(uri, LV2_STATE__interface) == 0) return &kState;
  return nullptr;
}

}  // namespace

const LV2_Descriptor* PluginDescriptor() {
  static std::string uri;
  static LV2_Descriptor descriptor;
  if (!gRegistration) return nullptr;
  uri = gRegistration->identity->lv2Uri;
  descriptor = {uri.c_str(), Instantiate, ConnectPort, Activate,
                Run,         Deactivate,  Cleanup,     ExtensionData};
  return &descriptor;
}

}  // namespace lv2
