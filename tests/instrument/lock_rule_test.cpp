// Every test in this program fails when code that needs the plug-in mutex runs without it:
// the audio path, parameter changes from any thread and the watchdog's clearing.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "instrument/caldrith.h"
#include "instrument_helpers.h"
#include "tests/framework/lock_breach_fails.h"

using namespace caldrith_test;

using lock_rule::gSeen;
using lock_rule::Record;

TEST(LockRule, ABlockOutsideTheMutexIsCaught) {
  auto p = MakeReady();
  std::vector<double> l(64), r(64);
  double* outs[2] = {l.data(), r.data()};
  p->SetOutputsConnected(0, 2, true);
  p->AttachOutputs(0, 2, outs);
  auto previous = IPlugBase::SetLockBreachHandler(&Record);
  gSeen.clear();
  p->ProcessBlock(64);  // as a binding that forgot the mutex would
  {
    PlugLock lock(p->Mutex());
    p->ProcessBlock(64);
  }
  IPlugBase::SetLockBreachHandler(previous);
  ASSERT_EQ(1u, gSeen.size());
  EXPECT_EQ("IPlugBase::RunBlock", gSeen[0]);
}

TEST(LockRule, TheWatchdogClearsUnderTheMutex) {
  // A pause long enough for the watchdog to clear the voices; the environment fails the
  // test if it does so without the mutex.
  const long before = IPlugBase::LockBreaches();
  auto p = MakeReady();
  Render(*p, 64);
  std::this_thread::sleep_for(std::chrono::milliseconds(450));
  EXPECT_TRUE(p->RestartRequested());
  EXPECT_EQ(before, IPlugBase::LockBreaches());
}
