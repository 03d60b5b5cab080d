// Drawing must not allocate once the editor has drawn itself: the timer runs 24 times a
// second for as long as the window is open.

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "editor/headless.h"
#include "editor_fixture.h"
#include "alloc_counter.h"
#include "instrument/caldrith.h"

namespace {

// At 1x and at a scale: a scale's images and fonts are made when first drawn, never per tick.
class EditorAllocations : public ::testing::TestWithParam<double> {};

TEST_P(EditorAllocations, TicksAfterTheFirstDrawingAllocateNothing) {
  CLS_CALDRITH plug;
  auto* gui = dynamic_cast<IGraphicsHeadless*>(plug.GetGUI());
  ASSERT_NE(gui, nullptr);
  for (int i = 0; i < kNumParams; ++i) {
    plug.SetParamFromEditor(i, plug.ParamAt(i)->NormalizedValue());
  }
  plug.SetParamFromEditor(kTones, 1.0);
  plug.SetSampleRate(48000.0);
  plug.SetMaxFrames(256);
  plug.SetOutputsConnected(0, 2, true);
  gui->SetScaleFactor(GetParam());
  gui->CreateEditorWindow(nullptr);
  plug.EditorOpened();
  std::vector<double> l(256), r(256);
  double* bufs[2] = {l.data(), r.data()};
  auto render = [&] {
    PlugLock lock(plug.Mutex());
    plug.AttachOutputs(0, 2, bufs);
    plug.ProcessBlock(256);
  };
  render();
  for (int i = 0; i < 4; ++i) gui->Tick();
  // Hover a graph: highlight and handle drawing.
  gui->MouseOver(static_cast<int>(400 * GetParam()), static_cast<int>(400 * GetParam()),
                 IInputMods());
  for (int i = 0; i < 4; ++i) gui->Tick();

  const long before = AllocationCount();
  ASSERT_GT(before, 0);  // the counter sees this binary's allocations
  for (int i = 0; i < 50; ++i) {
    render();
    gui->Tick();
  }
  EXPECT_EQ(AllocationCount() - before, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, EditorAllocations, ::testing::Values(1.0, 2.0, 1.75));

}  // namespace
