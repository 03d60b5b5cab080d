// The watchdog, parameter changes racing the audio thread, and a render path that never
// allocates.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "instrument/caldrith.h"
#include "instrument_helpers.h"

using namespace caldrith_test;

namespace {

TEST(Watchdog, ClearsTheVoicesAfterAPauseAndTheTonesFadeBackIn) {
  auto p = MakeReady();
  SetParam(*p, kPlayAnyway, 1);
  for (int i = 0; i < 60; ++i) Render(*p, 512);  // past the start-up glides
  const auto& L = p->Engine().lanes;
  ASSERT_EQ(0, L.vAct[0][0]);
  ASSERT_FALSE(p->RestartRequested());
  // Blocks keep coming: nothing is cleared.
  for (int i = 0; i < 6; ++i) {
    Render(*p, 512);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
  EXPECT_FALSE(p->RestartRequested());
  // No block for longer than two check periods.
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  EXPECT_TRUE(p->RestartRequested());
  {
    PlugLock lock(p->Mutex());
    EXPECT_EQ(0.0, L.vStart[0][0]);
  }
  Block b = Render(*p, 512);
  EXPECT_NE(0, L.vAct[0][0]);
  // The volume glides start from silence: the first samples are tiny.
  EXPECT_LT(std::fabs(b.left[0]) * 300.0, Peak(b.left));
}

TEST(Watchdog, DestructionDoesNotWaitForAFullPeriod) {
  // Only the destructions are timed: building the editors is slow under the sanitizers.
  std::vector<std::unique_ptr<CLS_CALDRITH>> plugs;
  for (int i = 0; i < 5; ++i) plugs.push_back(std::make_unique<CLS_CALDRITH>());
  const auto t0 = std::chrono::steady_clock::now();
  plugs.clear();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(400));
}

TEST(Threads, ParameterChangesRaceTheAudioThreadCleanly) {
  const long breaches = IPlugBase::LockBreaches();
  auto p = MakeReady();
  SetParam(*p, kPlayAnyway, 1);
  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0};
  std::thread audio([&] {
    std::vector<double> l(256), r(256);
    double* outs[2] = {l.data(), r.data()};
    while (!stop.load()) {
      PlugLock lock(p->Mutex());
      p->RenderBlock(nullptr, outs, 256);
      for (double x : l) {
        if (!std::isfinite(x)) std::abort();
      }
      blocks.fetch_add(1);
    }
  });
  std::thread editor([&] {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 3000; ++i) {
      const int idx = static_cast<int>(rng() % kNumParams);
      p->SetParamFromEditor(idx, unit(rng));
      if (i % 50 == 0) p->SelectPreset(static_cast<int>(rng() % 131));
      if (i % 97 == 0) p->SwapSweepDirection();
      (void)p->StatusText();
      (void)p->SweepValue(i % 16);
    }
  });
  std::thread host([&] {
    for (int i = 0; i < 300; ++i) {
      StateChunk chunk;
      p->SaveParams(&chunk);
      p->LoadParams(&chunk, 0);
      if (i % 30 == 0) p->Activate(true);
    }
  });
  editor.join();
  host.join();
  while (blocks.load() < 50) std::this_thread::yield();
  stop = true;
  audio.join();
  // Every engine change on the three threads ran under the plug-in mutex.
  EXPECT_EQ(breaches, IPlugBase::LockBreaches());
  // The race leaves a consistent instrument: it still renders finite sound.
  Block b = Render(*p, 512);
  for (double x : b.left) ASSERT_TRUE(std::isfinite(x));
}

TEST(Allocation, RenderingAllocatesNothing) {
  auto p = MakeReady();
  SetParam(*p, kPlayAnyway, 1);
  SetParam(*p, kTones, 16);
  std::vector<double> l(4096), r(4096);
  double* outs[2] = {l.data(), r.data()};
  long before = AllocationCount();
  ::operator delete(::operator new(8));  // the counter works
  ASSERT_EQ(before + 1, AllocationCount());
  before = AllocationCount();
  {
    PlugLock lock(p->Mutex());
    // The first block starts the engine (graphs, reset, re-phase) and must not allocate
    // either; then every wave, glides active and not, silence and resumption.
    for (int wave = 0; wave < 7; ++wave) {
      SetParam(*p, kWave, wave);
      for (int i = 0; i < 8; ++i) p->RenderBlock(nullptr, outs, 4096);
    }
    SetParam(*p, kPlayAnyway, 0);
    for (int i = 0; i < 3; ++i) p->RenderBlock(nullptr, outs, 512);
    SetParam(*p, kPlayAnyway, 1);
    p->RenderBlock(nullptr, outs, 1);
  }
  EXPECT_EQ(before, AllocationCount());
}

}  // namespace
