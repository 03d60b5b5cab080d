// The framework at its edges: degenerate parameter ranges, text lookups one past the end,
// channel pairs with and without inputs, long blocks split over host buffers.
#include <gtest/gtest.h>

#include <vector>

#include "framework/plug_base.h"

namespace {

class EdgePlug : public IPlugBase {
 public:
  explicit EdgePlug(const char* io)
      : IPlugBase(1, io, 1, "Edge", "", "Maker", 0x10000, 1, 2, 0, false, false, false, kAPIVST3) {
    ParamAt(0)->DefineDouble("Gain", 1., 0., 2., 0.01, "");
    SetReady(true);
  }
};

}  // namespace

TEST(ParamEdges, RangesNeverCloseBelowOneStep) {
  PlugParam p;
  p.DefineInt("Backwards", 5, 10, 3, "");  // max below min: one step above min
  EXPECT_EQ(10., p.Min());
  EXPECT_EQ(11., p.Max());
  p.SetValue(99.);
  EXPECT_EQ(11., p.Value());
  EXPECT_EQ(1., p.NormalizedValue());

  PlugParam q;
  q.DefineDouble("Equal", 2., 2., 2., 0.5, "");  // max equal to min
  EXPECT_EQ(2.5, q.Max());
  q.SetValue(2.25);
  EXPECT_EQ(0.5, q.NormalizedValue());

  PlugParam r;
  r.DefineDouble("Exactly one step", 0., 1., 1.25, 0.25, "");  // max = min + step: kept
  EXPECT_EQ(1.25, r.Max());
  PlugParam e;
  e.DefineEnum("One", 0, 1, "");  // a single entry still spans one step
  EXPECT_EQ(0., e.Min());
  EXPECT_EQ(1., e.Max());
}

TEST(ParamEdges, ValueTextsByIndexStopAtTheEnd) {
  PlugParam p;
  p.DefineEnum("Mode", 0, 3, "");
  p.AddValueText(0, "A");
  p.AddValueText(1, "B");
  p.AddValueText(2, "C");
  EXPECT_STREQ("A", p.ValueTextAt(0));
  EXPECT_STREQ("C", p.ValueTextAt(2));
  EXPECT_STREQ("", p.ValueTextAt(3));
  EXPECT_STREQ("", p.ValueTextAt(-1));
  EXPECT_STREQ("", p.ValueTextFor(3));
  PlugParam none;
  EXPECT_STREQ("", none.ValueTextAt(0));
}

TEST(ChannelEdges, LookupsJustOutsideTheChannelsAnswerNotConnected) {
  EdgePlug fx("2-2");
  fx.SetInputsConnected(0, 2, true);
  fx.SetOutputsConnected(0, 2, true);
  for (int i : {0, 1}) {
    EXPECT_TRUE(fx.IsInChannelConnected(i));
    EXPECT_TRUE(fx.IsOutChannelConnected(i));
  }
  for (int i : {-1, 2}) {
    EXPECT_FALSE(fx.IsInChannelConnected(i));
    EXPECT_FALSE(fx.IsOutChannelConnected(i));
  }
  EdgePlug inst("0-2");
  EXPECT_FALSE(inst.IsInChannelConnected(0));
}

TEST(ChannelEdges, InputCountsMatchOnlyPairsWithThatManyInputs) {
  EdgePlug plug("1-1 2-2");
  struct Case {
    int in, out;
    bool ok;
  } cases[] = {{1, 1, true},   {2, 2, true},   {0, 2, false},  {0, 1, false},
               {2, 1, false},  {1, 2, false},  {-1, 2, true},  {2, -1, true},
               {0, -1, false}, {-1, 0, false}, {-1, -1, true}, {3, 3, false}};
  for (const Case& c : cases)
    EXPECT_EQ(c.ok, plug.AcceptsChannelCounts(c.in, c.out)) << c.in << "-" << c.out;
  EdgePlug inst("0-2");
  EXPECT_TRUE(inst.AcceptsChannelCounts(0, 2));
  EXPECT_FALSE(inst.AcceptsChannelCounts(1, 2));
  EXPECT_FALSE(inst.AcceptsChannelCounts(0, 1));
}

TEST(BlockEdges, LongBlocksWalkTheHostInputsPieceByPiece) {
  // Double inputs from the host, float outputs through 4-frame scratch: a 10-frame block is
  // rendered in pieces of 4, 4 and 2, each reading its own part of the inputs.
  EdgePlug fx("2-2");
  PlugLock lock(fx.Mutex());
  fx.SetMaxFrames(4);
  fx.SetInputsConnected(0, 2, true);
  fx.SetOutputsConnected(0, 2, true);
  std::vector<double> in0(10), in1(10);
  for (int i = 0; i < 10; ++i) in0[size_t(i)] = i + 1, in1[size_t(i)] = -(i + 1) * 0.5;
  double* ins[] = {in0.data(), in1.data()};
  std::vector<float> out0(10, 99.f), out1(10, 99.f);
  float* outs[] = {out0.data(), out1.data()};
  fx.AttachInputs(0, 2, ins);
  fx.AttachOutputsFloat(0, 2, outs);
  fx.PassThroughBlockFloat(10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(float(i + 1), out0[size_t(i)]) << i;
    EXPECT_EQ(float(-(i + 1) * 0.5), out1[size_t(i)]) << i;
  }
  // Float inputs too, and a block of one frame past a multiple of the piece.
  std::vector<float> f0(9), f1(9);
  for (int i = 0; i < 9; ++i) f0[size_t(i)] = float(10 * i), f1[size_t(i)] = float(i);
  float* fins[] = {f0.data(), f1.data()};
  fx.AttachInputsFloat(0, 2, fins, 9);
  fx.PassThroughBlockFloat(9);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(f0[size_t(i)], out0[size_t(i)]) << i;
    EXPECT_EQ(f1[size_t(i)], out1[size_t(i)]) << i;
  }
  EXPECT_EQ(10.f, out0[9]);  // the frame past this block keeps the earlier block's value

  // All double: inputs straight to outputs, in pieces too.
  std::vector<double> d0(10, 99.), d1(10, 99.);
  double* douts[] = {d0.data(), d1.data()};
  fx.AttachInputs(0, 2, ins);
  fx.AttachOutputs(0, 2, douts);
  fx.PassThroughBlock(10);
  EXPECT_EQ(d0, in0);
  EXPECT_EQ(d1, in1);
}

namespace {

// An editor stand-in that records the countdown the base asks for.
class CountdownEditor : public IPlugEditor {
 public:
  int FrameRate() const override { return 24; }
  void StartEditEndCountdown(int ticks) override { started.push_back(ticks); }
  void StopEditEndCountdown() override { ++stopped; }
  void PushParamToControls(int, double, bool) override {}
  bool CreateDrawSurfaces() override { return true; }
  std::vector<int> started;
  int stopped = 0;
};

class EndRecorder : public EdgePlug {
 public:
  EndRecorder() : EdgePlug("0-2") {}
  void EndParamEdit(int idx) override { ended.push_back(idx); }
  std::vector<int> ended;
};

}  // namespace

TEST(EditEdges, ADeferredEditEndArrivesForEveryParameterIndexZeroIncluded) {
  EndRecorder plug;
  auto* editor = new CountdownEditor();
  plug.InstallEditor(editor);
  plug.DeferParamEditEnd(0);
  ASSERT_EQ(std::vector<int>{12}, editor->started);  // half a second of 24 ticks
  EXPECT_TRUE(plug.ended.empty());
  plug.FlushParamEditEnd();
  EXPECT_EQ(std::vector<int>{0}, plug.ended);
  EXPECT_EQ(1, editor->stopped);
  plug.FlushParamEditEnd();  // already sent
  EXPECT_EQ(std::vector<int>{0}, plug.ended);
}

TEST(BusEdges, SixtyFourOutputLabelsAndNoMore) {
  EdgePlug plug("0-2");
  plug.NameOutputBus(63, "Last");
  EXPECT_STREQ("Last", plug.OutputBusName(63));
  plug.NameOutputBus(64, "Beyond");
  EXPECT_STREQ("", plug.OutputBusName(64));
  plug.NameInputBus(1, "Aux");
  plug.NameInputBus(2, "Third");
  EXPECT_STREQ("Aux", plug.InputBusName(1));
  EXPECT_STREQ("", plug.InputBusName(2));
}

TEST(ChannelEdges, ChannelCountsStopAtSixtyFour) {
  EdgePlug wide("100-2 2-200");
  EXPECT_EQ(64, wide.NInChannels());
  EXPECT_EQ(64, wide.NOutChannels());
  EdgePlug exact("64-64");
  EXPECT_EQ(64, exact.NInChannels());
  EXPECT_EQ(64, exact.NOutChannels());
}

namespace {

// Records what the base pushes to its editor.
class PushRecorder : public CountdownEditor {
 public:
  void PushParamToControls(int idx, double value, bool isNormalized) override {
    pushes.push_back({idx, value, isNormalized});
  }
  struct Push {
    int idx;
    double value;
    bool normalized;
  };
  std::vector<Push> pushes;
};

}  // namespace

TEST(EditEdges, EditorsGetNormalizedValuesWhenInstalledAndPlainOnesAfterAPreset) {
  EdgePlug plug("0-2");  // one parameter 0..2, default 1
  plug.AddFactoryPresetValues("Half", std::vector<double>{0.5}.data(), 1);
  auto* editor = new PushRecorder();
  plug.InstallEditor(editor);
  ASSERT_EQ(1u, editor->pushes.size());
  EXPECT_EQ(0.5, editor->pushes[0].value);  // 1 of 0..2
  EXPECT_TRUE(editor->pushes[0].normalized);
  ASSERT_TRUE(plug.SelectPreset(0));
  ASSERT_EQ(2u, editor->pushes.size());
  EXPECT_EQ(0.5, editor->pushes[1].value);  // the plain value, flagged as such
  EXPECT_FALSE(editor->pushes[1].normalized);
}
