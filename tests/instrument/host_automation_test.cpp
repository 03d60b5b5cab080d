// Host automation as the editor sees it: values arrive through the processing call as
// normalised positions and are handed to the controls as such, whatever the range.
#include <gtest/gtest.h>

#include "editor/graphics.h"
#include "tests/instrument/hosted_instance.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(HostAutomation, ReachesTheEditorAsNormalisedPositions) {
  caldrith_test::HostedInstance h("Automation Host");
  IGraphics* gui = PlugGraphics(h.plug);
  ASSERT_NE(gui, nullptr);
  // Ranges far from 0..1, so that a plain value taken for a position shows.
  const struct {
    int idx;
    double normalized, plain;
  } cases[] = {{kVolume, 0.25, 25.0}, {kLowFreq, 0.0, 5.0}, {kTones, 1.0, 16.0}};
  caldrith_host::ParamChanges changes;
  for (const auto& c : cases) changes.Add(static_cast<ParamID>(c.idx), c.normalized);
  ASSERT_EQ(h.Process(&changes), kResultOk);
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(h.plug->ParamAt(c.idx)->Value(), c.plain) << c.idx;
    EXPECT_DOUBLE_EQ(gui->ParamNormalized(c.idx), c.normalized) << c.idx;
  }
}
