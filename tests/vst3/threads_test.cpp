// The host's threads meeting in the plug-in: blocks on the audio thread while the user-interface
// thread moves parameters, bypass and presets and transfers state. Run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "test_plug.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(Threads, StateAndControllerCallsDuringProcessing) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  ASSERT_EQ(h.Setup(48000.0, 256), kResultOk);
  h.component->activateBus(kAudio, kOutput, 0, true);
  h.component->setActive(true);

  std::atomic<bool> stop{false};
  std::thread audio([&] {
    Block b(256);
    caldrith_host::ParamChanges changes;
    b.data.inputParameterChanges = &changes;
    for (int i = 0; !stop.load() && i < 20000; ++i) {
      changes.Clear();
      changes.Add(kGain, (i % 10) / 10.0);
      if (i % 7 == 0) changes.Add(kPresetParamTag, (i % 6) / 5.0);
      b.context.projectTimeSamples = static_cast<int64>(i) * 256;
      h.processor->process(b.data);
    }
  });

  std::vector<uint8_t> bytes = DoublesLE({25.0, 880.0, 2.0, 8.0});
  for (int i = 0; i < 300; ++i) {
    h.controller->setParamNormalized(kFreq, (i % 5) / 5.0);
    h.controller->setParamNormalized(kBypassParamTag, i % 2);
    h.controller->setParamNormalized(kPresetParamTag, (i % 3) / 5.0);
    EXPECT_GE(h.controller->getParamNormalized(kPresetParamTag), 0.0);
    MemoryStream out;
    EXPECT_EQ(h.component->getState(&out), kResultOk);
    // Every saved state is whole: a block never lands in the middle of it.
    EXPECT_EQ(out.getSize(), 32);
    MemoryStream in(bytes.data(), static_cast<TSize>(bytes.size()));
    EXPECT_EQ(h.component->setState(&in), kResultOk);
  }
  stop = true;
  audio.join();
  h.component->setActive(false);
}
