// The plug-in mutex knows its holder, so code that needs it held can notice when it is not.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/plug_base.h"

namespace {

std::vector<std::string> gBreaches;

void Record(const char* where) {
  gBreaches.push_back(where);
}

// Installs the recording handler for one test and restores the previous one.
struct RecordBreaches {
  IPlugBase::LockBreachHandler previous;
  RecordBreaches() : previous(IPlugBase::SetLockBreachHandler(&Record)) { gBreaches.clear(); }
  ~RecordBreaches() { IPlugBase::SetLockBreachHandler(previous); }
};

}  // namespace

TEST(LockRule, TheMutexRecordsItsHolderThroughRecursion) {
  PlugMutex m;
  EXPECT_FALSE(m.HeldByThisThread());
  m.lock();
  EXPECT_TRUE(m.HeldByThisThread());
  ASSERT_TRUE(m.try_lock());  // recursive
  m.unlock();
  EXPECT_TRUE(m.HeldByThisThread());  // still held once
  std::atomic<int> otherSees{-1}, otherGot{-1};
  std::thread other([&] {
    otherSees = m.HeldByThisThread() ? 1 : 0;
    otherGot = m.try_lock() ? 1 : 0;
  });
  other.join();
  EXPECT_EQ(0, otherSees.load());
  EXPECT_EQ(0, otherGot.load());
  m.unlock();
  EXPECT_FALSE(m.HeldByThisThread());
  // Another thread takes it: it is its holder, not us.
  std::atomic<bool> taken{false}, release{false};
  std::thread holder([&] {
    PlugLock lock(m);
    taken = true;
    while (!release.load()) std::this_thread::yield();
  });
  while (!taken.load()) std::this_thread::yield();
  EXPECT_FALSE(m.HeldByThisThread());
  EXPECT_FALSE(m.try_lock());
  release = true;
  holder.join();
  EXPECT_TRUE(m.try_lock());
  EXPECT_TRUE(m.HeldByThisThread());
  m.unlock();
}

TEST(LockRule, RunningABlockWithoutTheMutexIsABreach) {
  RecordBreaches record;
  IPlugBase plug(1, "0-2", 1, "T", "", "M", 0x10000, 1, 2, 0, false, false, true, kAPIVST3);
  plug.SetMaxFrames(8);
  const long before = IPlugBase::LockBreaches();
  plug.ProcessBlock(8);
  plug.PassThroughBlockFloat(8);
  ASSERT_EQ(2u, gBreaches.size());
  EXPECT_EQ("IPlugBase::RunBlock", gBreaches[0]);
  EXPECT_EQ(before + 2, IPlugBase::LockBreaches());
  {
    PlugLock lock(plug.Mutex());
    plug.ProcessBlock(8);
    plug.PassThroughBlock(8);
    plug.RequireLocked("here");
  }
  EXPECT_EQ(2u, gBreaches.size());
  // Held by another thread is no better than not held.
  std::atomic<bool> taken{false}, release{false};
  std::thread holder([&] {
    PlugLock lock(plug.Mutex());
    taken = true;
    while (!release.load()) std::this_thread::yield();
  });
  while (!taken.load()) std::this_thread::yield();
  plug.RequireLocked("while another thread holds it");
  release = true;
  holder.join();
  ASSERT_EQ(3u, gBreaches.size());
  EXPECT_EQ("while another thread holds it", gBreaches[2]);
}
