// The preset locks and the ready gate, with inputs chosen so that a wrong lock set or a
// gate that counts a parameter twice changes the answer.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "instrument/caldrith.h"
#include "instrument/ready_gate.h"
#include "instrument_helpers.h"

using namespace caldrith_test;

namespace {

// Values no factory preset stores, each inside its parameter's range.
const double kPlanted[kNumParams] = {33.33, 123.4, 4321.0, 12, 77,  11,   22,  33,
                                     6,     99.9,  0,      13, 0,   66,   1,   -60,
                                     -50,   50,    -50,    50, 5.5, 44.4, 95.5};

// What each lock preset stores for the parameters it applies, written out from the preset
// list: the common values with the preset's own changes.
struct Lock {
  int preset;
  std::vector<std::pair<int, double>> applied;
};

const std::vector<Lock>& Locks() {
  static const std::vector<Lock> locks = {
      {1, {{kWave, 3}, {kPlayAnyway, 1}}},
      {2, {{kWave, 4}, {kPlayAnyway, 1}}},
      {3, {{kTones, 3}, {kSpread, 0}}},
      {4, {{kTones, 3}, {kSpread, 0}, {kWave, 3}}},
      {5, {{kLowFreq, 1500.0}, {kHighFreq, 10.0}, {kQfreq, 18}}},
      {6, {{kXvol1, 15.0}, {kXvol2, 50.0}, {kXvol3, 85.0}}},
      {7, {{kXvol1, 35.0}, {kXvol2, 50.0}, {kXvol3, 65.0}}},
      {8, {{kXvol1, 12.5}, {kXvol2, 37.5}, {kXvol3, 62.5}}},
      {9, {{kXvol1, 37.5}, {kXvol2, 62.5}, {kXvol3, 87.5}}},
      {10, {{kQfreq, 36}}},
      {11, {{kQfreq, -36}}},
  };
  return locks;
}

void Plant(CLS_CALDRITH& p) {
  for (int i = 0; i < kNumParams; ++i) {
    SetParam(p, i, kPlanted[i]);
    ASSERT_EQ(kPlanted[i], p.ParamAt(i)->Value()) << i;
  }
}

}  // namespace

TEST(PresetLocks, EachLockPresetSetsExactlyItsParameters) {
  auto p = MakeReady();
  Render(*p, 16);
  for (const Lock& lock : Locks()) {
    Plant(*p);
    ASSERT_TRUE(p->SelectPreset(lock.preset)) << lock.preset;
    EXPECT_EQ(lock.preset, p->CurrentPresetIdx());
    std::vector<double> want(kPlanted, kPlanted + kNumParams);
    for (const auto& a : lock.applied) want[size_t(a.first)] = a.second;
    for (int i = 0; i < kNumParams; ++i) {
      EXPECT_EQ(want[size_t(i)], p->ParamAt(i)->Value())
          << "preset " << lock.preset << ", " << p->ParamAt(i)->NameText();
    }
    // The engine took what the parameters show.
    EXPECT_EQ(int(want[kTones]), p->ToneCount()) << lock.preset;
    EXPECT_FLOAT_EQ(float(want[kLowFreq]), p->LowFreqHz()) << lock.preset;
    EXPECT_FLOAT_EQ(float(want[kHighFreq]), p->HighFreqHz()) << lock.preset;
  }
}

TEST(PresetLocks, StateRestoredUnderALockTakesOnlyTheLockedValues) {
  // A saved state of planted values, restored while each lock preset is current.
  auto src = MakeReady();
  Plant(*src);
  StateChunk state;
  ASSERT_TRUE(src->SaveParams(&state));
  for (const Lock& lock : Locks()) {
    auto dst = MakeReady();
    ASSERT_TRUE(dst->SelectPreset(lock.preset));
    std::vector<double> before(kNumParams);
    for (int i = 0; i < kNumParams; ++i) before[size_t(i)] = dst->ParamAt(i)->Value();
    ASSERT_EQ(8 * kNumParams, dst->LoadParams(&state, 0));
    std::set<int> locked;
    for (const auto& a : lock.applied) locked.insert(a.first);
    for (int i = 0; i < kNumParams; ++i) {
      const double want = locked.count(i) ? kPlanted[i] : before[size_t(i)];
      EXPECT_EQ(want, dst->ParamAt(i)->Value()) << "preset " << lock.preset << ", " << i;
    }
  }
}

TEST(ReadyGateCounting, EachParameterCountsOnceWhateverItsValues) {
  CLS_CALDRITH a;
  ASSERT_EQ(caldrith::ReadyGateTable::kSize, caldrith::ReadyGateTable::Countdown());
  // The first parameter applied again and again with new values: still one mark.
  for (double v : {2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0}) {
    SetParam(a, kTones, v);
    EXPECT_EQ(caldrith::ReadyGateTable::kSize - 1, caldrith::ReadyGateTable::Countdown()) << v;
  }
  int applied = 1;
  for (int i = 0; i < kNumParams; ++i) {
    if (i == kTones) continue;
    EXPECT_FALSE(a.IsReady()) << i;
    SetParam(a, i, kPlanted[i]);
    ++applied;
    EXPECT_EQ(caldrith::ReadyGateTable::kSize - applied, caldrith::ReadyGateTable::Countdown());
    // Changing an applied parameter again neither counts nor opens the gate early.
    if (i == kIsochronic) SetParam(a, i, 44.0);
  }
  EXPECT_TRUE(a.IsReady());
  EXPECT_EQ(0, caldrith::ReadyGateTable::Countdown());
  // Marks outside the table are ignored.
  CLS_CALDRITH b;
  EXPECT_FALSE(caldrith::ReadyGateTable::MarkApplied(-1));
  EXPECT_FALSE(caldrith::ReadyGateTable::MarkApplied(caldrith::ReadyGateTable::kSize));
  EXPECT_EQ(caldrith::ReadyGateTable::kSize, caldrith::ReadyGateTable::Countdown());
  // The last mark opens it: kSize - 1 marks are not enough.
  for (int i = 0; i < caldrith::ReadyGateTable::kSize - 1; ++i)
    EXPECT_FALSE(caldrith::ReadyGateTable::MarkApplied(i)) << i;
  EXPECT_EQ(1, caldrith::ReadyGateTable::Countdown());
  EXPECT_TRUE(caldrith::ReadyGateTable::MarkApplied(caldrith::ReadyGateTable::kSize - 1));
}
