// Values cross from the audio thread into the controls while the user-interface thread
// draws and handles the mouse. Run under ThreadSanitizer (-DCALDRITH_TSAN=ON) this proves
// the hand-over race-free; in a normal build it checks that the last value wins.
#include <atomic>
#include <thread>
#include <vector>

#include "editor/headless.h"
#include "instrument/product_controls.h"
#include "editor_fixture.h"
#include "instrument/caldrith.h"

namespace {

TEST(EditorThreads, AudioThreadPushesWhileTheEditorDraws) {
  CLS_CALDRITH plug;
  auto* gui = dynamic_cast<IGraphicsHeadless*>(plug.GetGUI());
  ASSERT_NE(gui, nullptr);
  for (int i = 0; i < kNumParams; ++i) {
    plug.SetParamFromEditor(i, plug.ParamAt(i)->NormalizedValue());
  }
  constexpr int kBlock = 256;
  plug.SetSampleRate(48000.0);
  plug.SetMaxFrames(kBlock);
  plug.SetOutputsConnected(0, 2, true);
  gui->CreateEditorWindow(nullptr);
  plug.EditorOpened();

  std::atomic<bool> stop{false}, quiet{false}, mouseResting{false};
  std::atomic<int> uiTicks{0};
  std::thread audio([&] {
    std::vector<double> l(kBlock), r(kBlock);
    double* bufs[2] = {l.data(), r.data()};
    for (int block = 0; block < 300; ++block) {
      // Keep both threads busy at the same time.
      while (uiTicks.load() < block / 3) std::this_thread::yield();
      PlugLock lock(plug.Mutex());
      // What the processing call does with a parameter queue's last point.
      const int idx = block % kNumParams;
      const double n = (block % 7) / 6.0;
      plug.ParamAt(idx)->AssignNormalized(n);
      plug.GetGUI()->PushParamToControls(idx, n, true);
      plug.HandleParamChangeLocked(idx);
      plug.AttachOutputs(0, 2, bufs);
      plug.ProcessBlock(kBlock);
    }
    // Let the mouse rest, then send one last value that must reach the knob.
    quiet = true;
    while (!mouseResting.load()) std::this_thread::yield();
    PlugLock lock(plug.Mutex());
    plug.ParamAt(kVolume)->AssignNormalized(0.3);
    plug.GetGUI()->PushParamToControls(kVolume, 0.3, true);
    plug.HandleParamChangeLocked(kVolume);
    stop = true;
  });

  int ticks = 0;
  while (!stop.load()) {
    gui->Tick();
    if (quiet.load()) {
      mouseResting = true;
      continue;
    }
    gui->MouseOver(100 + ticks % 400, 120 + ticks % 300, IInputMods());
    if (ticks % 5 == 0) {
      gui->MouseDown(537, 263, kLeft);  // the volume knob
      gui->MouseDrag(537, 250 - ticks % 40, kLeft);
      gui->MouseUp(537, 250, kLeft);
    }
    if (ticks % 11 == 0) {
      gui->MouseDown(297, 115, kLeft);  // the LFO graph swaps direction on its next drawing
      gui->MouseUp(297, 115, kLeft);
    }
    ++ticks;
    uiTicks = ticks;
  }
  audio.join();
  gui->Tick();
  EXPECT_GT(ticks, 0);
  EXPECT_DOUBLE_EQ(gui->GetControl(9)->Value(), 0.3);
  EXPECT_DOUBLE_EQ(gui->ParamNormalized(kVolume), 0.3);
  plug.EditorClosed();
  gui->DestroyEditorWindow();
}

}  // namespace
