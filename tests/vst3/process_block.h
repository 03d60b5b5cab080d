#pragma once
// One process call's data for a stereo instrument: its own output buffers in either sample
// size, a playing transport at 120 BPM, shared by the tests that drive a VST 3 processor.
#include <algorithm>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

// A block with its own output buffers, in either sample size.
struct Block {
  int frames;
  std::vector<float> f32[2];
  std::vector<double> f64[2];
  float* ptr32[2];
  double* ptr64[2];
  Steinberg::Vst::AudioBusBuffers out{};
  Steinberg::Vst::ProcessContext context{};
  Steinberg::Vst::ProcessData data{};

  explicit Block(int n, bool doublePrecision = false, float fill = 7.f) : frames(n) {
    for (int c = 0; c < 2; ++c) {
      f32[c].assign(static_cast<size_t>(std::max(n, 1)), fill);
      f64[c].assign(static_cast<size_t>(std::max(n, 1)), fill);
      ptr32[c] = f32[c].data();
      ptr64[c] = f64[c].data();
    }
    out.numChannels = 2;
    if (doublePrecision) {
      out.channelBuffers64 = ptr64;
    } else {
      out.channelBuffers32 = ptr32;
    }
    context.state = Steinberg::Vst::ProcessContext::kPlaying;
    context.sampleRate = 48000.0;
    context.tempo = 120.0;
    data.processMode = Steinberg::Vst::kRealtime;
    data.symbolicSampleSize =
        doublePrecision ? Steinberg::Vst::kSample64 : Steinberg::Vst::kSample32;
    data.numSamples = n;
    data.numOutputs = 1;
    data.outputs = &out;
    data.processContext = &context;
  }

  double At(int channel, int frame) const {
    // The bus holds its 32- and 64-bit pointers in one union: the sample size tells.
    return data.symbolicSampleSize == Steinberg::Vst::kSample64
               ? f64[channel][static_cast<size_t>(frame)]
               : f32[channel][static_cast<size_t>(frame)];
  }
};
