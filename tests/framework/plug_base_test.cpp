#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/plug_base.h"

namespace {

// A plug-in with three parameters, two outputs and a renderer that writes a ramp.
class TestPlug : public IPlugBase {
 public:
  explicit TestPlug(const char* io = "0-2", int presets = 5)
      : IPlugBase(3, io, presets, "Test", "", "Maker", 0x10200, 1, 2, 0, true, false, true,
                  kAPIVST3) {
    ParamAt(0)->DefineDouble("Freq", 100., 10., 1000., 0.1, "Hz");
    ParamAt(1)->DefineInt("Count", 4, 1, 16, "");
    ParamAt(2)->DefineEnum("Mode", 0, 3, "");
    SetReady(true);
  }
  void HandleParamChange(int idx) override {
    PlugLock lock(Mutex());
    changes.push_back(idx);
  }
  bool PresetAppliesParam(int idx, int preset) override { return preset != 2 || idx == 1; }
  void RenderBlock(double**, double** outputs, int nFrames) override {
    maxFrames = std::max(maxFrames, nFrames);
    for (int c = 0; c < NOutChannels(); ++c)
      for (int s = 0; s < nFrames; ++s) outputs[c][s] = ++counter;
  }
  void BeginParamEdit(int idx) override { events.push_back("begin " + std::to_string(idx)); }
  void ReportParamEdit(int idx, double v) override {
    events.push_back("report " + std::to_string(idx) + " " + std::to_string(v));
  }
  void EndParamEdit(int idx) override { events.push_back("end " + std::to_string(idx)); }
  void Ready(bool r) { SetReady(r); }

  std::vector<int> changes;
  std::vector<std::string> events;
  double counter = 0.;
  int maxFrames = 0;
};

TEST(PlugBase, ChannelConfiguration) {
  TestPlug plug("0-2");
  EXPECT_EQ(plug.NInChannels(), 0);
  EXPECT_EQ(plug.NOutChannels(), 2);
  EXPECT_TRUE(plug.AcceptsChannelCounts(0, 2));
  EXPECT_TRUE(plug.AcceptsChannelCounts(-1, 2));
  EXPECT_FALSE(plug.AcceptsChannelCounts(2, 2));

  TestPlug multi("1-1 2-2 junk");
  EXPECT_EQ(multi.ChannelIOPairs().size(), 3u);
  EXPECT_EQ(multi.NInChannels(), 2);
  EXPECT_TRUE(multi.AcceptsChannelCounts(0, 0));  // the unreadable pair counts as 0-0

  TestPlug empty(nullptr);
  EXPECT_EQ(empty.NOutChannels(), 0);
}

TEST(PlugBase, IdentityTextsAndLabels) {
  TestPlug plug;
  char v[32];
  plug.EffectVersionText(v);
  EXPECT_STREQ(v, "v1.02");
  plug.NameInputBus(2, "nope");
  EXPECT_STREQ(plug.InputBusName(2), "");
  plug.NameInputBus(1, "Aux Input");
  EXPECT_STREQ(plug.InputBusName(1), "Aux Input");
  plug.NameOutputBus(3, "Output 4");
  EXPECT_STREQ(plug.OutputBusName(3), "Output 4");
  EXPECT_STREQ(plug.OutputBusName(-1), "");
  std::string longName(300, 'n');
  IPlugBase big(0, "0-2", 0, longName.c_str(), "", "", 0, 0, 0, 0, false, false, false, 1);
  EXPECT_EQ(std::strlen(big.GetEffectName()), 127u);
}

TEST(PlugBase, DoubleAndFloatPathsRespectTheReadyGate) {
  TestPlug plug;
  PlugLock hold(plug.Mutex());  // as the binding holds it around a block
  plug.Ready(false);
  plug.SetMaxFrames(8);
  plug.SetOutputsConnected(0, 2, true);
  std::vector<double> l(8, -1.), r(8, -1.);
  double* bufs[] = {l.data(), r.data()};
  plug.AttachOutputs(0, 2, bufs);
  plug.ProcessBlock(8);
  // Gate closed: nothing is rendered, and the host hears silence, not what its buffers held.
  EXPECT_EQ(plug.counter, 0);
  for (double x : l) EXPECT_EQ(x, 0.);
  for (double x : r) EXPECT_EQ(x, 0.);

  std::vector<float> fl(8, -1.f), fr(8, -1.f);
  float* fbufs[] = {fl.data(), fr.data()};
  plug.AttachOutputsFloat(0, 2, fbufs);
  plug.ProcessBlockFloat(8);
  for (float x : fl) EXPECT_EQ(x, 0.f);
  for (float x : fr) EXPECT_EQ(x, 0.f);

  plug.Ready(true);
  plug.ProcessBlockFloat(8);
  EXPECT_EQ(fl[0], 1.f);
  EXPECT_EQ(fr[7], 16.f);
}

TEST(PlugBase, LongBlocksAreSplitToScratchSize) {
  TestPlug plug;
  PlugLock hold(plug.Mutex());  // as the binding holds it around a block
  plug.SetMaxFrames(16);
  plug.SetOutputsConnected(0, 2, true);
  std::vector<float> fl(100, -1.f), fr(100, -1.f);
  float* fbufs[] = {fl.data(), fr.data()};
  plug.AttachOutputsFloat(0, 2, fbufs);
  plug.ProcessBlockFloat(100);
  EXPECT_EQ(plug.maxFrames, 16);
  EXPECT_NE(fl[99], -1.f);
  EXPECT_NE(fr[99], -1.f);

  // Double buffers from the host need no splitting.
  std::vector<double> l(100), r(100);
  double* bufs[] = {l.data(), r.data()};
  plug.AttachOutputs(0, 2, bufs);
  plug.ProcessBlock(100);
  EXPECT_EQ(plug.maxFrames, 100);
}

TEST(PlugBase, BadBlocksAndBuffersAreHarmless) {
  TestPlug plug;
  PlugLock hold(plug.Mutex());  // as the binding holds it around a block
  plug.SetOutputsConnected(0, 2, true);
  std::vector<float> fl(32, -1.f);
  float* fbufs[] = {fl.data(), nullptr};
  plug.AttachOutputsFloat(0, 2, fbufs);
  plug.ProcessBlockFloat(32);  // no block size yet: silence, no scratch overrun
  EXPECT_EQ(fl[31], 0.f);
  plug.ProcessBlockFloat(-5);
  plug.ProcessBlock(0);
  plug.AttachOutputs(0, 2, nullptr);
  plug.SetMaxFrames(32);
  plug.ProcessBlock(32);
  plug.SetMaxFrames(-1);
  EXPECT_EQ(plug.GetBlockSize(), 0);
}

TEST(PlugBase, PassThroughSilencesOutputsWithoutInputs) {
  TestPlug plug;
  PlugLock hold(plug.Mutex());  // as the binding holds it around a block
  plug.SetMaxFrames(4);
  plug.SetOutputsConnected(0, 2, true);
  std::vector<double> l(4, 5.), r(4, 5.);
  double* bufs[] = {l.data(), r.data()};
  plug.AttachOutputs(0, 2, bufs);
  plug.PassThroughBlock(4);
  EXPECT_EQ(l, std::vector<double>(4, 0.));
  EXPECT_EQ(r, std::vector<double>(4, 0.));

  TestPlug fx("2-2");
  PlugLock holdFx(fx.Mutex());
  fx.SetMaxFrames(4);
  fx.SetInputsConnected(0, 2, true);
  fx.SetOutputsConnected(0, 2, true);
  std::vector<float> in0 = {1, 2, 3, 4}, in1 = {5, 6, 7, 8}, o0(4), o1(4);
  float* ins[] = {in0.data(), in1.data()};
  float* outs[] = {o0.data(), o1.data()};
  fx.AttachInputsFloat(0, 2, ins, 4);
  fx.AttachOutputsFloat(0, 2, outs);
  fx.PassThroughBlockFloat(4);
  EXPECT_EQ(o0, in0);
  EXPECT_EQ(o1, in1);
}

TEST(PlugBase, SetMaxFramesKeepsScratchWhenUnchanged) {
  TestPlug plug;
  PlugLock hold(plug.Mutex());  // as the binding holds it around a block
  plug.SetMaxFrames(4);
  plug.SetOutputsConnected(0, 2, false);
  plug.ProcessBlock(4);  // renders into scratch
  std::vector<float> fl(4), fr(4);
  float* fbufs[] = {fl.data(), fr.data()};
  plug.SetMaxFrames(4);
  plug.SetOutputsConnected(0, 2, true);
  plug.AttachOutputsFloat(0, 2, fbufs);
  plug.ProcessBlockFloat(4);
  EXPECT_EQ(fl[0], 9.f);  // after the 8 samples of the scratch render
  EXPECT_EQ(fr[3], 16.f);
  // With the gate closed an earlier render left in scratch never reaches the host.
  plug.Ready(false);
  plug.ProcessBlockFloat(4);
  EXPECT_EQ(fl[0], 0.f);
  EXPECT_EQ(fr[3], 0.f);
}

TEST(PlugBase, HostTimelineStandIn) {
  TestPlug plug;
  EXPECT_EQ(plug.HostTransportState(), 0);
  HostTimeline t;
  t.transportState = 2;
  t.samplePosition = int64_t(1) << 40;
  t.tempo = 133.;
  t.numerator = 7;
  t.denominator = 8;
  plug.SetHostTimeline(t);
  EXPECT_EQ(plug.HostTransportState(), 2);
  EXPECT_EQ(plug.HostSamplePosition(), int64_t(1) << 40);
  int n = 0, d = 0;
  plug.HostTimeSignature(&n, &d);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(d, 8);
  HostTimeInfo info;
  plug.FillHostTimeInfo(&info);
  EXPECT_EQ(info.tempo, 133.);
  EXPECT_FALSE(info.transportRunning);
}

TEST(PlugBase, MutexIsRecursiveAcrossHooks) {
  TestPlug plug;
  std::thread other([&] {
    for (int i = 0; i < 1000; ++i) plug.SetParamFromEditor(0, (i % 100) / 100.);
  });
  for (int i = 0; i < 1000; ++i) plug.HandleParamChangeLocked(2);
  other.join();
  EXPECT_EQ(plug.changes.size(), 2000u);
}

}  // namespace

namespace {

TEST(PlugBase, EditorEditsWithoutAnEditor) {
  TestPlug plug;
  plug.SetParamFromEditor(1, 0.5);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 9.);
  ASSERT_EQ(plug.events.size(), 1u);
  EXPECT_EQ(plug.events[0], "report 1 0.500000");
  EXPECT_EQ(plug.changes.back(), 1);
  // Garbage from a control never reaches the host or the instrument.
  plug.SetParamFromEditor(1, std::nan(""));
  plug.SetParamFromEditor(7, 0.5);
  EXPECT_EQ(plug.events.size(), 1u);
  plug.SetParamFromEditor(1, 4.);
  EXPECT_EQ(plug.events.back(), "report 1 1.000000");

  plug.DeferParamEditEnd(1);  // no editor: the edit ends at once
  EXPECT_EQ(plug.events.back(), "end 1");
  plug.events.clear();
  plug.FlushParamEditEnd();  // nothing pending
  EXPECT_TRUE(plug.events.empty());
  plug.InstallEditor(nullptr);
  EXPECT_EQ(plug.GetGUI(), nullptr);
}

}  // namespace
