// Every test in this program fails when code that needs the plug-in mutex runs without it;
// processing through the host interfaces takes it for the whole call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_plug.h"
#include "tests/framework/lock_breach_fails.h"

using lock_rule::gSeen;
using lock_rule::Record;

TEST(LockRule, ProcessingHoldsTheMutexAndABareBlockIsCaught) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), Steinberg::kResultOk);
  ASSERT_EQ(h.Setup(48000.0, 64), Steinberg::kResultOk);
  const long before = IPlugBase::LockBreaches();
  Block b(64);
  caldrith_host::ParamChanges changes;
  changes.Add(kGain, 0.25);
  b.data.inputParameterChanges = &changes;
  EXPECT_EQ(h.processor->process(b.data), Steinberg::kResultOk);
  EXPECT_EQ(before, IPlugBase::LockBreaches());
  EXPECT_EQ(1, h.plug->blocks);

  // The same block run straight on the base without the mutex is reported.
  auto previous = IPlugBase::SetLockBreachHandler(&Record);
  gSeen.clear();
  h.plug->ProcessBlock(64);
  IPlugBase::SetLockBreachHandler(previous);
  ASSERT_EQ(1u, gSeen.size());
  EXPECT_EQ("IPlugBase::RunBlock", gSeen[0]);
  EXPECT_EQ(before + 1, IPlugBase::LockBreaches());
}
