#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "framework/plug_base.h"

namespace {

class PresetPlug : public IPlugBase {
 public:
  PresetPlug()
      : IPlugBase(3, "0-2", 6, "Test", "", "Maker", 0x10000, 1, 2, 0, true, false, true, kAPIVST3) {
    ParamAt(0)->DefineDouble("Freq", 100., 10., 1000., 0.1, "Hz");
    ParamAt(1)->DefineInt("Count", 4, 1, 16, "");
    ParamAt(2)->DefineEnum("Mode", 0, 3, "");
  }
  void HandleParamChange(int idx) override { changes.push_back(idx); }
  // Preset 2 restores only "Count".
  bool PresetAppliesParam(int idx, int preset) override { return preset != 2 || idx == 1; }
  std::vector<int> changes;
};

StateChunk ChunkOf(std::vector<double> values) {
  StateChunk c;
  for (double v : values) c.PutDouble(v);
  return c;
}

TEST(StateChunk, LittleEndianDoubles) {
  StateChunk c;
  EXPECT_EQ(c.PutDouble(11.), 8);
  const uint8_t expected[] = {0, 0, 0, 0, 0, 0, 0x26, 0x40};
  EXPECT_EQ(std::memcmp(c.Data(), expected, 8), 0);
  double v = 0.;
  EXPECT_EQ(c.GetDouble(&v, 0), 8);
  EXPECT_EQ(v, 11.);
  EXPECT_EQ(c.GetDouble(&v, 1), -1);
  EXPECT_EQ(c.GetDouble(&v, -8), -1);
  EXPECT_EQ(c.GetDouble(nullptr, 0), -1);
}

TEST(State, SaveWritesEveryValueInIndexOrder) {
  PresetPlug plug;
  StateChunk c;
  EXPECT_TRUE(plug.SaveParams(&c));
  ASSERT_EQ(c.Size(), 24);
  double v;
  c.GetDouble(&v, 0);
  EXPECT_EQ(v, 100.);
  c.GetDouble(&v, 8);
  EXPECT_EQ(v, 4.);
  EXPECT_FALSE(plug.SaveParams(nullptr));
}

TEST(State, LoadClampsWithoutRoundingAndNotifies) {
  PresetPlug plug;
  StateChunk c = ChunkOf({123.456, 40., -3.});
  EXPECT_EQ(plug.LoadParams(&c, 0), 24);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 123.456);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 16.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 0.);
  EXPECT_EQ(plug.changes, (std::vector<int>{0, 1, 2}));
}

TEST(State, ShortLongAndDamagedStates) {
  PresetPlug plug;
  StateChunk shortState = ChunkOf({200., 5.});
  shortState.PutBytes("abc", 3);
  EXPECT_EQ(plug.LoadParams(&shortState, 0), -1);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 200.);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 5.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 0.);

  StateChunk longState = ChunkOf({300., 6., 2., 99.});
  EXPECT_EQ(plug.LoadParams(&longState, 0), 24);  // points at the first extra byte
  EXPECT_EQ(plug.ParamAt(2)->Value(), 2.);

  plug.changes.clear();
  StateChunk bad = ChunkOf({std::nan(""), std::numeric_limits<double>::infinity(), 1.});
  EXPECT_EQ(plug.LoadParams(&bad, 0), 24);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 300.);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 6.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 1.);
  EXPECT_EQ(plug.changes, std::vector<int>{2});

  StateChunk empty;
  EXPECT_EQ(plug.LoadParams(&empty, 0), -1);
  EXPECT_EQ(plug.LoadParams(nullptr, 0), -1);
}

TEST(Presets, SlotsNamesAndFactoryValues) {
  PresetPlug plug;
  EXPECT_EQ(plug.PresetCount(), 6);
  EXPECT_STREQ(plug.PresetNameAt(0), "- 1 -");
  EXPECT_STREQ(plug.PresetNameAt(5), "- 6 -");
  EXPECT_STREQ(plug.PresetNameAt(6), "");
  EXPECT_STREQ(plug.PresetNameAt(-1), "");
  plug.AddDefaultPreset("---- default ----", 1);
  plug.AddFactoryPreset("Low", 20.5, 3, 1);
  plug.AddFactoryPreset("Locked", 30.5, 12, 2);
  plug.AddDefaultPreset(nullptr, 1);
  EXPECT_STREQ(plug.PresetNameAt(0), "---- default ----");
  EXPECT_STREQ(plug.PresetNameAt(1), "Low");
  EXPECT_STREQ(plug.PresetNameAt(3), "Default");
  EXPECT_EQ(plug.ParamAt(0)->Value(), 100.);  // creation does not touch parameters

  EXPECT_TRUE(plug.SelectPreset(1));
  EXPECT_EQ(plug.CurrentPresetIdx(), 1);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 20.5);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 3.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 1.);

  // The locked preset applies only "Count", and so does a state restore while it is current.
  EXPECT_TRUE(plug.SelectPreset(2));
  EXPECT_EQ(plug.ParamAt(0)->Value(), 20.5);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 12.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 1.);
  StateChunk host = ChunkOf({500., 7., 0.});
  plug.LoadParams(&host, 0);
  EXPECT_EQ(plug.ParamAt(0)->Value(), 20.5);
  EXPECT_EQ(plug.ParamAt(1)->Value(), 7.);

  // The default preset stores nothing: selecting it fails and changes nothing.
  EXPECT_FALSE(plug.SelectPreset(0));
  EXPECT_EQ(plug.ParamAt(1)->Value(), 7.);
  EXPECT_FALSE(plug.SelectPreset(-1));
  EXPECT_FALSE(plug.SelectPreset(6));
}

TEST(Presets, UnfilledSlotsBecomeUserPresets) {
  PresetPlug plug;
  plug.AddDefaultPreset("---- default ----", 1);
  plug.changes.clear();
  EXPECT_TRUE(plug.SelectPreset(4));
  EXPECT_STREQ(plug.PresetNameAt(4), "user preset 1");
  EXPECT_TRUE(plug.changes.empty());
  EXPECT_EQ(plug.CurrentPresetIdx(), 4);
  EXPECT_TRUE(plug.SelectPreset(2));
  EXPECT_STREQ(plug.PresetNameAt(2), "user preset 2");
  EXPECT_FALSE(plug.SelectPreset(4));  // now initialised, but holds no values
}

TEST(Presets, TypedValuesBeyondTheParametersOrMissingAreLeftOut) {
  PresetPlug plug;
  const double five[] = {50., 2., 1., 99., 98.};
  plug.AddFactoryPresetValues("five", five, 5);
  plug.AddFactoryPresetValues("none", nullptr, 3);
  EXPECT_STREQ(plug.PresetNameAt(0), "five");
  EXPECT_STREQ(plug.PresetNameAt(1), "none");
  EXPECT_TRUE(plug.SelectPreset(0));
  EXPECT_EQ(plug.ParamAt(0)->Value(), 50.);
  EXPECT_EQ(plug.ParamAt(2)->Value(), 1.);
  EXPECT_FALSE(plug.SelectPreset(1));  // no values: nothing to apply
  EXPECT_EQ(plug.ParamAt(0)->Value(), 50.);
}

TEST(Presets, FullListIgnoresFurtherPresets) {
  PresetPlug plug;
  plug.AddDefaultPreset("d", 10);
  for (int i = 0; i < 6; ++i) EXPECT_TRUE(plug.PresetInitialised(i));
  plug.AddFactoryPreset("extra", 1., 1, 1);
  for (int i = 0; i < 6; ++i) EXPECT_STREQ(plug.PresetNameAt(i), "d");
  const double values[] = {50., 2., 1.};
  plug.AddFactoryPresetValues("typed", values, 3);
  EXPECT_STREQ(plug.PresetNameAt(5), "d");
}

}  // namespace
