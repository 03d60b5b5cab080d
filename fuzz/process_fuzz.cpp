// The host's processing: set-ups (good and refused), activation, blocks of any size in
// either sample size with parameter queues, note events and transport contexts, between
// state restores and preset changes. Every output sample the host hands over is written,
// finite and within full scale.
#include <cmath>
#include <vector>

#include "fuzz_host.h"
#include "fuzz_input.h"

using caldrith_fuzz::Input;
using caldrith_fuzz::Instance;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

constexpr int kMaxFrames = 2048;
// Never written by the instrument, whose output stops at full scale.
constexpr double kSentinel = 1234.5;
constexpr double kLevelBound = 1.0;

const double kRates[] = {8000.0, 11025.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0};

struct Host {
  caldrith_host::ParamChanges changes{32};
  caldrith_host::EventList events{32};
  ProcessContext context{};
  std::vector<float> f32[3];
  std::vector<double> f64[3];
  float* p32[3] = {};
  double* p64[3] = {};
  AudioBusBuffers bus{};
  ProcessData data{};
  int32 sampleSize = kSample32;  // what the last accepted set-up stored
};

ParamID Tag(Input& in) {
  const uint8_t k = in.Byte();
  if (k < 220) return k % kNumParams;
  if (k < 236) return kPresetParamTag;
  if (k < 250) return kBypassParamTag;
  return in.U32();
}

double Value(Input& in) {
  const uint8_t k = in.Byte();
  if (k < 200) return in.U16() / 65535.0;
  if (k < 230) return k & 1 ? 0.0 : 1.0;
  return in.Double();
}

void Setup(caldrith_fuzz::HostedInstrument& h, Host& host, Input& in) {
  ProcessSetup s{};
  s.processMode = in.Byte() % 3;
  const uint8_t k = in.Byte();
  s.symbolicSampleSize = k < 240 ? (k & 1) : static_cast<int32>(in.U32());
  const uint8_t r = in.Byte();
  s.sampleRate = r < 240 ? kRates[r % 8] : in.Double();
  const uint8_t b = in.Byte();
  s.maxSamplesPerBlock = b < 240 ? 1 << (b % 13) : static_cast<int32>(in.U32());
  if (h.processor->setupProcessing(s) == kResultOk) host.sampleSize = s.symbolicSampleSize;
}

void Block(caldrith_fuzz::HostedInstrument& h, Host& host, Input& in) {
  const int frames = static_cast<int>(in.U16() % (kMaxFrames + 1));
  const int channels = in.Byte() % 4;
  const bool f64 = host.sampleSize == kSample64;
  for (int c = 0; c < 3; ++c) {
    host.f32[c].assign(static_cast<size_t>(frames) + 1, static_cast<float>(kSentinel));
    host.f64[c].assign(static_cast<size_t>(frames) + 1, kSentinel);
    host.p32[c] = host.f32[c].data();
    host.p64[c] = host.f64[c].data();
  }
  const uint8_t holes = in.Byte();
  for (int c = 0; c < 3; ++c) {
    if (holes & (1 << c) && holes >= 0xF0) host.p32[c] = nullptr, host.p64[c] = nullptr;
  }
  host.bus = AudioBusBuffers{};
  host.bus.numChannels = channels;
  if (f64) {
    host.bus.channelBuffers64 = host.p64;
  } else {
    host.bus.channelBuffers32 = host.p32;
  }

  host.changes.Clear();
  const int queues = in.Byte() % 6;
  for (int q = 0; q < queues; ++q) {
    const ParamID tag = Tag(in);
    const int points = 1 + in.Byte() % 3;
    for (int p = 0; p < points; ++p)
      host.changes.Add(tag, Value(in), static_cast<int32>(in.U16()) - 4);
  }
  host.events.Clear();
  const int events = in.Byte() % 4;
  for (int e = 0; e < events; ++e) {
    Event ev{};
    ev.type = static_cast<uint16>(in.Byte() % 4);
    ev.sampleOffset = static_cast<int32>(in.U16()) - 8;
    ev.noteOn.channel = static_cast<int16>(in.U16());
    ev.noteOn.pitch = static_cast<int16>(in.U16());
    ev.noteOn.velocity = in.Bool() ? static_cast<float>(in.Double()) : in.Byte() / 255.f;
    host.events.addEvent(ev);
  }

  const uint8_t c = in.Byte();
  host.context = ProcessContext{};
  host.context.state = c & 1 ? ProcessContext::kPlaying : (c & 2 ? ProcessContext::kRecording : 0);
  host.context.sampleRate = 48000.0;
  host.context.tempo = 120.0;
  host.context.projectTimeSamples = c & 4 ? static_cast<int64>(in.U32()) - (int64{1} << 31)
                                          : static_cast<int64>(in.U32() | uint64{in.U32()} << 32);
  host.data = ProcessData{};
  host.data.processMode = kRealtime;
  host.data.symbolicSampleSize = host.sampleSize;
  host.data.numSamples = frames;
  host.data.numOutputs = c & 8 ? 0 : 1;
  host.data.outputs = &host.bus;
  host.data.inputParameterChanges = c & 16 ? nullptr : &host.changes;
  host.data.inputEvents = c & 32 ? nullptr : &host.events;
  host.data.processContext = c & 64 ? nullptr : &host.context;

  FUZZ_CHECK(h.processor->process(host.data) == kResultOk);

  if (host.data.numOutputs == 0 || channels == 0) return;
  for (int ch = 0; ch < channels; ++ch) {
    if (!host.p64[ch]) continue;
    for (int s = 0; s < frames; ++s) {
      const double x = f64 ? host.f64[ch][static_cast<size_t>(s)]
                           : static_cast<double>(host.f32[ch][static_cast<size_t>(s)]);
      FUZZ_CHECK(x != kSentinel);
      FUZZ_CHECK(std::isfinite(x) && std::fabs(x) <= kLevelBound);
    }
    // Nothing past the block.
    FUZZ_CHECK(f64 ? host.f64[ch][static_cast<size_t>(frames)] == kSentinel
                   : host.f32[ch][static_cast<size_t>(frames)] == static_cast<float>(kSentinel));
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Instance();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  caldrith_fuzz::HostedInstrument& h = Instance();
  static Host host;
  h.Restore();
  h.component->activateBus(kAudio, kOutput, 0, true);
  ProcessSetup s{kRealtime, kSample32, 512, 48000.0};
  FUZZ_CHECK(h.processor->setupProcessing(s) == kResultOk);
  host.sampleSize = kSample32;
  h.component->setActive(true);

  Input in(data, size);
  for (int op = 0; op < 24 && !in.Empty(); ++op) {
    switch (in.Byte() % 8) {
      case 0:
        Setup(h, host, in);
        break;
      case 1:
        h.component->setActive(in.Bool());
        break;
      case 2: {
        // A state of random values, whole or cut short.
        uint8_t bytes[kNumParams * 8];
        const size_t n = in.Bytes(bytes, in.Byte() % (sizeof(bytes) + 1));
        h.SetState(bytes, n);
        break;
      }
      case 3:
        h.plug->SelectPreset(static_cast<int>(in.Byte() % 160) - 5);
        break;
      case 4:
        h.component->activateBus(kAudio, kOutput, static_cast<int32>(in.Byte() % 3), in.Bool());
        break;
      default:
        Block(h, host, in);
        break;
    }
  }
  return 0;
}
