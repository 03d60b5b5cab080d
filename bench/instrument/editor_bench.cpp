// Drawing cost of the instrument's editor: a full repaint of the whole editor, and one timer
// tick of the animated area (both graphs and the LFO graph) with nothing else dirty; each at
// 100 %, 150 % and 200 % (the argument), where 200 % should cost at most 4 times 100 %.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "editor/headless.h"
#include "instrument/caldrith.h"

namespace {

struct RunningEditor {
  explicit RunningEditor(int percent) : plug(new CLS_CALDRITH()) {
    gui = dynamic_cast<IGraphicsHeadless*>(plug->GetGUI());
    if (!gui) return;
    gui->SetScaleFactor(percent / 100.0);
    for (int i = 0; i < kNumParams; ++i) {
      plug->SetParamFromEditor(i, plug->ParamAt(i)->NormalizedValue());
    }
    plug->SetParamFromEditor(kPlayAnyway, 1.0);
    plug->SetParamFromEditor(kTones, 1.0);  // all 16 tones: the most dots
    plug->SetSampleRate(48000.0);
    plug->SetMaxFrames(512);
    plug->SetOutputsConnected(0, 2, true);
    gui->CreateEditorWindow(nullptr);
    plug->EditorOpened();
    Render();
    for (int i = 0; i < 3; ++i) gui->Tick();
  }
  void Render() {
    std::vector<double> l(512), r(512);
    double* bufs[2] = {l.data(), r.data()};
    PlugLock lock(plug->Mutex());
    plug->AttachOutputs(0, 2, bufs);
    plug->ProcessBlock(512);
  }
  std::unique_ptr<CLS_CALDRITH> plug;
  IGraphicsHeadless* gui = nullptr;
};

void BM_FullRepaint(benchmark::State& state) {
  RunningEditor ed(static_cast<int>(state.range(0)));
  if (!ed.gui) {
    state.SkipWithError("no headless editor");
    return;
  }
  const IBox all = ed.gui->ToPixels(IBox(0, 0, 600, 475));
  for (auto _ : state) {
    ed.gui->RedrawArea(all);
  }
}
BENCHMARK(BM_FullRepaint)->Arg(100)->Arg(150)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_AnimatedTick(benchmark::State& state) {
  RunningEditor ed(static_cast<int>(state.range(0)));
  if (!ed.gui) {
    state.SkipWithError("no headless editor");
    return;
  }
  for (auto _ : state) {
    ed.gui->Tick();
  }
}
BENCHMARK(BM_AnimatedTick)->Arg(100)->Arg(150)->Arg(200)->Unit(benchmark::kMillisecond);

}  // namespace
