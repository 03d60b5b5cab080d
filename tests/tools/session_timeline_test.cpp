// The blocks a session becomes: where they break, what each carries, and the transport.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tools/session_catalog.h"
#include "tools/session_file.h"
#include "tools/session_timeline.h"

using caldrith_session::ParamChange;
using caldrith_session::PlannedBlock;
using caldrith_session::Session;
using caldrith_session::Timeline;
using namespace caldrith_test;

namespace {

Session Parse(const std::string& text) {
  Session s;
  caldrith_session::ParseError e;
  EXPECT_TRUE(caldrith_session::ParseSession(text, TestCatalog(), &s, &e)) << e.message;
  return s;
}

struct Block {
  int64_t start;
  int frames;
  bool playing;
  int64_t projectTime;
  int preset;
  std::vector<ParamChange> changes;
};

class FixedStart : public caldrith_session::StartValueSource {
 public:
  double CurrentValue(int param) override {
    ++asked;
    lastParam = param;
    return value;
  }
  double value = 0.0;
  int asked = 0;
  int lastParam = -1;
};

std::vector<Block> Plan(const Session& s, double rate, int64_t total, int block, int maxFrames,
                        caldrith_session::StartValueSource* source = nullptr) {
  Timeline t(s, TestCatalog().params.size(), rate, total, block);
  std::vector<Block> out;
  PlannedBlock b;
  while (t.Next(maxFrames, source, &b)) {
    out.push_back({b.start, b.frames, b.playing, b.projectTime, b.preset,
                   std::vector<ParamChange>(b.changes, b.changes + b.changeCount)});
    if (out.size() > 100000) break;
  }
  return out;
}

// The value sent for a parameter at the start of a block, or NaN.
double Sent(const Block& b, int param) {
  for (const ParamChange& c : b.changes) {
    if (c.param == param) return c.plain;
  }
  return NAN;
}

}  // namespace

TEST(SessionTimeline, AJumpLandsOnItsSampleAtOffsetZero) {
  // 0.1 s at 48 kHz is sample 4800, inside the tenth 512-frame block (4608 to 5120).
  std::vector<Block> blocks = Plan(Parse("0.1 Volume = 40\n"), 48000, 6000, 512, 512);
  std::vector<int64_t> starts;
  for (const Block& b : blocks) starts.push_back(b.start);
  std::vector<int64_t> expected = {0,    512,  1024, 1536, 2048, 2560, 3072,
                                   3584, 4096, 4608, 4800, 5120, 5632};
  EXPECT_EQ(starts, expected);
  int64_t covered = 0;
  for (const Block& b : blocks) {
    EXPECT_EQ(b.start, covered);
    covered += b.frames;
    EXPECT_EQ(b.changes.empty(), b.start != 4800) << b.start;
  }
  EXPECT_EQ(covered, 6000);
  EXPECT_EQ(Sent(blocks[10], kVolume), 40.0);
  // A host's buffers smaller than the block also split the plan.
  std::vector<Block> small = Plan(Parse("0.1 Volume = 40\n"), 48000, 1000, 512, 300);
  ASSERT_EQ(small.size(), 4u);
  EXPECT_EQ(small[1].start, 300);
  EXPECT_EQ(small[2].start, 512);
  EXPECT_EQ(small[3].start, 812);
}

TEST(SessionTimeline, GlidePointsAtMostFiveMillisecondsApartAndEndsExact) {
  EXPECT_EQ(caldrith_session::GlideStepFrames(48000), 240);
  EXPECT_EQ(caldrith_session::GlideStepFrames(44100), 220);  // 220.5 would exceed 5 ms
  EXPECT_EQ(caldrith_session::GlideStepFrames(100), 1);

  // At 1 kHz the step is 5 samples. Volume glides from 10 (at 0.002 s) to 70 (at 1.0 s);
  // Isochronic from 12 (at 0.4 s) to 4.5 (at 0.7 s), a glide whose fraction is not a binary
  // number, so that only the exact end point gives 4.5.
  Session s = Parse(
      "0.002 Volume = 10\n"
      "0.4 Isochronic = 12\n"
      "0.7 Isochronic -> 4.5\n"
      "1 Volume -> 70\n");
  std::vector<Block> blocks = Plan(s, 1000, 1200, 64, 64);
  int64_t lastVolumePoint = 2, lastIsoPoint = -1;
  for (const Block& b : blocks) {
    double vol = Sent(b, kVolume), iso = Sent(b, kIso);
    if (b.start > 2 && b.start < 1000) {
      // Volume's glide runs: a point at every block start, each block at most 5 samples.
      ASSERT_FALSE(std::isnan(vol)) << b.start;
      EXPECT_LE(b.frames, 5) << b.start;
      EXPECT_NEAR(vol, 10.0 + 60.0 * (b.start - 2) / 998.0, 1e-12) << b.start;
      EXPECT_LE(b.start - lastVolumePoint, 5);
      lastVolumePoint = b.start;
    }
    if (b.start > 400 && b.start < 700) {
      ASSERT_FALSE(std::isnan(iso)) << b.start;
      EXPECT_NEAR(iso, 12.0 - 7.5 * (b.start - 400) / 300.0, 1e-12) << b.start;
      lastIsoPoint = b.start;
    }
    if (b.start == 700) {
      EXPECT_EQ(iso, 4.5);
    }
    if (b.start == 1000) {
      EXPECT_EQ(vol, 70.0);
    }
    if (b.start > 1000) {
      EXPECT_TRUE(b.changes.empty()) << b.start;
      EXPECT_EQ(b.frames, b.start == 1000 ? 24 : std::min<int64_t>(64, 1200 - b.start));
    }
  }
  EXPECT_EQ(lastVolumePoint, 995);
  EXPECT_EQ(lastIsoPoint, 695);
  // Between the set at 0.002 s and the grid, the first block of the glide is 3 samples long.
  ASSERT_GE(blocks.size(), 3u);
  EXPECT_EQ(blocks[1].start, 2);
  EXPECT_EQ(blocks[1].frames, 3);
  EXPECT_EQ(Sent(blocks[1], kVolume), 10.0);
}

TEST(SessionTimeline, AGlideWithoutAnEarlierPointStartsFromTheValueAtTheStart) {
  FixedStart source;
  source.value = 20.0;
  // At 1 kHz: the value is asked for once, when the first point after time 0 is due.
  std::vector<Block> blocks = Plan(Parse("0.1 Volume -> 70\n"), 1000, 200, 64, 64, &source);
  EXPECT_EQ(source.asked, 1);
  EXPECT_EQ(source.lastParam, kVolume);
  ASSERT_GE(blocks.size(), 2u);
  EXPECT_TRUE(blocks[0].changes.empty());
  EXPECT_EQ(blocks[0].frames, 5);
  EXPECT_DOUBLE_EQ(Sent(blocks[1], kVolume), 20.0 + 50.0 * 5 / 100.0);
  for (const Block& b : blocks) {
    if (b.start == 100) {
      EXPECT_EQ(Sent(b, kVolume), 70.0);
    }
  }
}

TEST(SessionTimeline, StopAndPlayMoveTheTransportAndHoldItsPosition) {
  Session s = Parse("0.010 stop\n0.025 play\n0.030 stop\n");
  std::vector<Block> blocks = Plan(s, 1000, 40, 8, 8);
  // Starts: 0 8 10 16 24 25 30 32; the position stands still from 10 to 25 and after 30.
  std::vector<int64_t> starts, positions;
  std::vector<bool> playing;
  for (const Block& b : blocks) {
    starts.push_back(b.start);
    positions.push_back(b.projectTime);
    playing.push_back(b.playing);
  }
  EXPECT_EQ(starts, (std::vector<int64_t>{0, 8, 10, 16, 24, 25, 30, 32}));
  EXPECT_EQ(positions, (std::vector<int64_t>{0, 8, 10, 10, 10, 10, 15, 15}));
  EXPECT_EQ(playing, (std::vector<bool>{true, true, false, false, false, true, false, false}));
}

TEST(SessionTimeline, AStopWhilePlayAnywayIsOnIsReportedWithItsCause) {
  using caldrith_session::SwitchEffect;
  // Preset 2 turns Play Anyway on, preset 1 leaves it, preset 3 turns it off.
  const std::vector<SwitchEffect> presets = {SwitchEffect::kOff, SwitchEffect::kLeaves,
                                             SwitchEffect::kOn, SwitchEffect::kOff,
                                             SwitchEffect::kLeaves};
  const Session s = Parse(
      "0:00 stop\n"               // (1) on from the command line
      "1:00 preset 2\n"           //
      "1:00 Play Anyway = No\n"   // the line wins over the preset at one time
      "1:30 stop\n"               // off: nothing to say
      "2:00 Play Anyway = Yes\n"  //
      "2:00 preset 1\n"           // leaves it
      "2:00 stop\n"               // (2) on, from line 5
      "3:00 preset 3\n"           //
      "3:00 stop\n"               // off
      "4:00 stop\n"               // still off
      "4:00 preset 2\n"           // a preset later on the line but at the stop's time
      "5:00 end\n");
  std::vector<std::string> w = caldrith_session::StopsWithoutEffect(
      s, TestCatalog(), kPlay, {true, "by --param"}, presets, "s.txt");
  EXPECT_EQ(w, (std::vector<std::string>{
                   "s.txt:1: stop has no effect: Play Anyway is Yes (set by --param)",
                   "s.txt:7: stop has no effect: Play Anyway is Yes (set on line 5 at 2:00)",
                   "s.txt:10: stop has no effect: Play Anyway is Yes (set by preset 2 at 4:00)"}));
  // Off at the start and the presets unknown: on from line 5 to the end.
  EXPECT_EQ(caldrith_session::StopsWithoutEffect(s, TestCatalog(), kPlay, {}, {}, "s").size(), 3u);
}

TEST(SessionTimeline, SameSampleLastWordWinsPresetApart) {
  Session s = Parse(
      "0.005 Volume = 10\n"
      "0.005 preset 1\n"
      "0.005 Volume = 20\n"
      "0.005 Wave = Saw\n"
      "0.005 preset 4\n");
  std::vector<Block> blocks = Plan(s, 1000, 10, 64, 64);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].start, 5);
  EXPECT_EQ(blocks[1].preset, 4);
  ASSERT_EQ(blocks[1].changes.size(), 2u);
  EXPECT_EQ(blocks[1].changes[0].param, kVolume);
  EXPECT_EQ(blocks[1].changes[0].plain, 20.0);
  EXPECT_EQ(blocks[1].changes[1].param, kWave);
  EXPECT_EQ(blocks[0].preset, -1);
}

TEST(SessionTimeline, TheEndOfTheSession) {
  // Changes on the very last sample come in a block of no frames; later ones never come.
  Session s = Parse("0.02 Volume -> 40\n0.02 end\n");
  FixedStart source;
  std::vector<Block> blocks = Plan(s, 1000, 20, 64, 64, &source);
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks.back().start, 20);
  EXPECT_EQ(blocks.back().frames, 0);
  EXPECT_EQ(Sent(blocks.back(), kVolume), 40.0);
  std::vector<Block> cut = Plan(Parse("0.5 Volume = 3\n"), 1000, 20, 64, 64);
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].frames, 20);
  EXPECT_TRUE(cut[0].changes.empty());
  // Nothing at all to render: no block, unless something falls on sample 0.
  EXPECT_TRUE(Plan(Parse(""), 1000, 0, 64, 64).empty());
  std::vector<Block> zero = Plan(Parse("0 Volume = 3\n"), 1000, 0, 64, 64);
  ASSERT_EQ(zero.size(), 1u);
  EXPECT_EQ(zero[0].frames, 0);
}
