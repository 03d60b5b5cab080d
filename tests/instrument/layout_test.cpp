// The instrument's own editor: its controls in order, texts from the engine, the graphs and
// the LFO graph working on the live engine, and the whole picture against a reference.
#include <cmath>
#include <cstdlib>
#include <string>
#include <typeinfo>
#include <vector>

#include "instrument/graphs.h"
#include "editor/headless.h"
#include "instrument/layout.h"
#include "instrument/product_controls.h"
#include "editor/snapshot.h"
#include "editor_fixture.h"
#include "instrument/caldrith.h"

namespace {

// An instrument with every parameter applied, a sample rate and a few rendered blocks.
class LiveEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    plug = std::make_unique<CLS_CALDRITH>();
    gui = dynamic_cast<IGraphicsHeadless*>(plug->GetGUI());
    ASSERT_NE(gui, nullptr);
    for (int i = 0; i < kNumParams; ++i) {
      plug->SetParamFromEditor(i, plug->ParamAt(i)->NormalizedValue());
    }
    plug->SetSampleRate(48000.0);
    plug->SetMaxFrames(kBlock);
    plug->Reset();
    plug->SetOutputsConnected(0, 2, true);
    left.assign(kBlock, 0.0);
    right.assign(kBlock, 0.0);
    buffers[0] = left.data();
    buffers[1] = right.data();
  }

  void Open() {
    gui->CreateEditorWindow(nullptr);
    plug->EditorOpened();
  }
  void Render(int blocks) {
    for (int i = 0; i < blocks; ++i) {
      PlugLock lock(plug->Mutex());
      plug->AttachOutputs(0, 2, buffers);
      plug->ProcessBlock(kBlock);
    }
  }
  template <class T>
  T* At(int idx) {
    return dynamic_cast<T*>(gui->GetControl(idx));
  }
  std::string Text(int idx) { return At<ITextControl>(idx)->Text(); }
  GRAPH* FreqGraph() { return At<GRAPH>(20); }
  GRAPH* VolumeGraph() { return At<GRAPH>(21); }

  static constexpr int kBlock = 512;
  std::unique_ptr<CLS_CALDRITH> plug;
  IGraphicsHeadless* gui = nullptr;
  std::vector<double> left, right;
  double* buffers[2] = {};
};

TEST_F(LiveEditor, ControlsStandInTheirOrderAndPlaces) {
  ASSERT_EQ(gui->NControls(), 24);
  struct Row {
    int param;
    IBox rect;
  } rows[] = {
      {-1, IBox(0, 0, 600, 475)},
      {-1, IBox(50, 12, 95, 30)},
      {-1, IBox(151, 6, 343, 53)},
      {-1, IBox(200, 58, 400, 76)},
      {-1, IBox(204, 172, 268, 190)},
      {kIsochronic, IBox(254, 196, 346, 290)},
      {kLowFreq, IBox(133, 123, 197, 189)},
      {kHighFreq, IBox(403, 123, 467, 189)},
      {kRate, IBox(87, 239, 135, 289)},
      {kVolume, IBox(513, 239, 561, 289)},
      {kLow, IBox(29, 135, 45, 193)},
      {kMiddle, IBox(55, 135, 71, 193)},
      {kHigh, IBox(81, 135, 97, 193)},
      {kSpread, IBox(32, 198, 94, 214)},
      {kIsochronicMix, IBox(435, 225, 497, 241)},
      {kTones, IBox(435, 258, 497, 274)},
      {-1, IBox(498, 145, 552, 180)},
      {kWave, IBox(556, 135, 572, 193)},
      {kPlayAnyway, IBox(144, 223, 176, 264)},
      {kIsochronicType, IBox(496, 185, 531, 221)},
      {-1, IBox(13, 294, 299, 442)},
      {-1, IBox(303, 294, 589, 442)},
      {-1, IBox(274, 92, 320, 138)},
      {kFreqGraph, IBox(202, 445, 280, 461)},
  };
  for (int i = 0; i < 24; ++i) {
    EXPECT_EQ(gui->GetControl(i)->ParamIdx(), rows[i].param) << i;
    EXPECT_EQ(gui->GetControl(i)->Rect(), rows[i].rect) << i;
  }
  for (int i = 5; i <= 9; ++i) EXPECT_NE(At<IKnobRotVal>(i), nullptr) << i;
  for (int i = 10; i <= 15; ++i) EXPECT_NE(At<ISlider>(i), nullptr) << i;
  EXPECT_NE(At<IButton>(18), nullptr);
  EXPECT_NE(At<ISwitchLbl>(23), nullptr);
  EXPECT_NE(At<GPHLFO>(22), nullptr);
  EXPECT_EQ(Text(1), "v1.00 i");
  EXPECT_EQ(gui->AnimatedArea(), IBox(13, 294, 589, 442));
  EXPECT_TRUE(gui->TrackMouseOver());
  EXPECT_EQ(gui->FPS(), 24);
  EXPECT_EQ(At<IURLOpen>(2)->Url(), std::string(kProductSitePrefix) + "Caldrith");
}

TEST_F(LiveEditor, EngineTextsAndWaveReachTheirControls) {
  Open();
  Render(1);  // status texts need the engine's sample rate
  plug->SetParamFromEditor(kIsochronic, plug->ParamAt(kIsochronic)->NormalizeValue(6.0));
  gui->Tick();
  EXPECT_EQ(Text(4), "THETA");
  EXPECT_EQ(Text(3), "Isochronic: 6.00Hz");
  plug->SetParamFromEditor(kWave, 3.0 / 6.0);
  gui->Tick();
  EXPECT_EQ(At<IBitmapControl>(16)->CurrentFrame(), 4);

  // Hovering a bound control writes its parameter's status; a graph writes its own text.
  gui->MouseOver(537, 263, IInputMods());
  gui->Tick();
  EXPECT_EQ(Text(3), "Volume Amount: 50%");
  gui->MouseOver(100, 400, IInputMods());
  gui->Tick();
  EXPECT_EQ(Text(3), "Change freq envelope point");
  gui->MouseOver(400, 400, IInputMods());
  gui->Tick();
  EXPECT_EQ(Text(3), "Change volume envelope points");
  gui->MouseOver(297, 115, IInputMods());
  gui->Tick();
  EXPECT_EQ(Text(3), "Change to descendent frequencies");
  EXPECT_EQ(gui->CursorId(), 99);
}

TEST_F(LiveEditor, GraphsWaitForTheEngineAndThenPropagateWhenDrawn) {
  Open();
  gui->SetDirtyArea(IBox(0, 0, 600, 475));
  EXPECT_FALSE(FreqGraph()->Paint(gui));
  Render(1);
  ASSERT_TRUE(plug->EngineStarted());
  // The first drawing propagates both whole envelopes.
  gui->Tick();
  EXPECT_EQ(plug->Graph(CLS_CALDRITH::kGraphFrequency).pending, -1);
  EXPECT_EQ(plug->Graph(CLS_CALDRITH::kGraphVolume).pending, -1);
  EXPECT_FLOAT_EQ(plug->Engine().vol[0].Curvature(0), 4.0f);

  // With the window open a shape change waits for the next drawing.
  plug->SetParamFromEditor(kQvol1, plug->ParamAt(kQvol1)->NormalizeValue(-30.0));
  EXPECT_FLOAT_EQ(plug->Engine().vol[3].Curvature(0), 4.0f);
  gui->Tick();
  EXPECT_FLOAT_EQ(plug->Engine().vol[3].Curvature(0), -5.0f);
  // The curve starts at the bottom and ends at the top of an ascending frequency plot.
  const GRAPH* f = FreqGraph();
  EXPECT_FLOAT_EQ(f->CurveY(0), static_cast<float>(f->PlotArea().B));
  EXPECT_FLOAT_EQ(f->CurveY(f->PlotWidth()), static_cast<float>(f->PlotArea().T));
}

TEST_F(LiveEditor, FrequencyPresetZonesFollowTheSweepDirection) {
  Open();
  Render(1);
  gui->Tick();
  GRAPH* f = FreqGraph();
  const IBox zone4 = f->PresetZone(4);
  // A zone starts on its top row; the row above belongs to the zone before.
  gui->MouseOver(zone4.L + 5, zone4.T, IInputMods());
  EXPECT_EQ(f->HoveredZone(), 4);
  gui->MouseOver(zone4.L + 5, zone4.T - 1, IInputMods());
  EXPECT_EQ(f->HoveredZone(), 3);
  gui->MouseOver(zone4.L + 5, zone4.T + 5, IInputMods());
  EXPECT_EQ(f->HoveredZone(), 4);
  gui->MouseDown(zone4.L + 5, zone4.T + 5, kLeft);
  gui->MouseUp(zone4.L + 5, zone4.T + 5, kLeft);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kQfreq)->Value(), 36.0);
  gui->Tick();
  EXPECT_FLOAT_EQ(plug->Engine().sweep[0].Curvature(0), 6.0f);

  // The LFO graph swaps the band ends at its next drawing; twice restores them.
  const double low = plug->ParamAt(kLowFreq)->Value(), high = plug->ParamAt(kHighFreq)->Value();
  gui->MouseDown(297, 115, kLeft);
  gui->MouseUp(297, 115, kLeft);
  gui->Tick();
  EXPECT_DOUBLE_EQ(plug->ParamAt(kLowFreq)->Value(), high);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kHighFreq)->Value(), low);
  gui->Tick();
  EXPECT_FALSE(f->Ascending());
  EXPECT_FLOAT_EQ(f->CurveY(f->PlotWidth()), static_cast<float>(f->PlotArea().B));
  gui->MouseOver(zone4.L + 5, zone4.T + 5, IInputMods());
  gui->MouseDown(zone4.L + 5, zone4.T + 5, kLeft);
  gui->MouseUp(zone4.L + 5, zone4.T + 5, kLeft);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kQfreq)->Value(), -36.0);
  gui->MouseDown(297, 115, kLeft);
  gui->MouseUp(297, 115, kLeft);
  gui->Tick();
  EXPECT_DOUBLE_EQ(plug->ParamAt(kLowFreq)->Value(), low);
  EXPECT_DOUBLE_EQ(plug->ParamAt(kHighFreq)->Value(), high);
}

TEST_F(LiveEditor, VolumePresetsAndHandleDragsStayInBounds) {
  Open();
  Render(1);
  gui->Tick();
  GRAPH* v = VolumeGraph();
  caldrith::SegmentEnvelope& env = plug->Graph(CLS_CALDRITH::kGraphVolume).env;
  const IBox zone0 = v->PresetZone(0);
  gui->MouseOver(zone0.L + 5, zone0.T + 5, IInputMods());
  gui->MouseDown(zone0.L + 5, zone0.T + 5, kLeft);
  gui->MouseUp(zone0.L + 5, zone0.T + 5, kLeft);
  EXPECT_FLOAT_EQ(env.Break(0), 0.35f);
  EXPECT_FLOAT_EQ(env.Break(1), 0.5f);  // the middle break stays
  EXPECT_FLOAT_EQ(env.Break(2), 0.65f);
  EXPECT_NEAR(plug->ParamAt(kXvol1)->Value(), 35.0, 1e-4);
  EXPECT_NEAR(plug->ParamAt(kXvol3)->Value(), 65.0, 1e-4);
  gui->Tick();

  // Drag break 0 far right: it stops 10 pixels before break 1.
  int x, y;
  ASSERT_TRUE(v->HandleCentre(1, &x, &y));
  gui->MouseOver(x, y, IInputMods());
  ASSERT_EQ(v->HoveredHandle(), 1);
  gui->MouseDown(x, y, kLeft);
  gui->MouseDrag(x + 500, y, kLeft);
  gui->MouseUp(x + 500, y, kLeft);
  EXPECT_EQ(v->DraggedHandle(), -1);
  const double w = v->PlotWidth();
  EXPECT_NEAR(env.Break(0) * w, env.Break(1) * w - 10.0, 1e-3);
  EXPECT_NEAR(plug->ParamAt(kXvol1)->Value(), 100.0 * env.Break(0), 1e-4);
  gui->Tick();

  // Far left it stops 10 pixels from the start; the last break 10 pixels before the end.
  ASSERT_TRUE(v->HandleCentre(1, &x, &y));
  gui->MouseOver(x, y, IInputMods());
  gui->MouseDown(x, y, kLeft);
  gui->MouseDrag(x - 500, y, kLeft);
  gui->MouseUp(x - 500, y, kLeft);
  EXPECT_NEAR(env.Break(0) * w, 10.0, 1e-3);
  gui->Tick();
  ASSERT_TRUE(v->HandleCentre(5, &x, &y));
  gui->MouseOver(x, y, IInputMods());
  gui->MouseDown(x, y, kLeft);
  gui->MouseDrag(x + 500, y, kLeft);
  gui->MouseUp(x + 500, y, kLeft);
  EXPECT_NEAR(env.Break(2) * w, w - 10.0, 1e-3);
  EXPECT_NEAR(plug->ParamAt(kXvol3)->Value(), 100.0 * (w - 10.0) / w, 1e-3);
  gui->Tick();

  // A curvature drag that would reach 15 is ignored for that movement.
  ASSERT_TRUE(v->HandleCentre(4, &x, &y));
  gui->MouseOver(x, y, IInputMods());
  ASSERT_EQ(v->HoveredHandle(), 4);
  const float q = env.Curvature(2);
  gui->MouseDown(x, y, kLeft);
  gui->MouseDrag(x, y + 2000, kLeft);
  EXPECT_FLOAT_EQ(env.Curvature(2), q);
  gui->MouseDrag(x, y + 2002, kLeft);
  EXPECT_NE(env.Curvature(2), q);
  EXPECT_LT(std::fabs(env.Curvature(2)), 15.0f);
  gui->MouseUp(x, y, kLeft);
  EXPECT_EQ(gui->CursorId(), 0);
}

// The curvature a drag of the handle by dy pixels should give, worked from the handle's rule:
// step = dy (|q| / 4 / 15 + 0.05) / sqrt(segment width), negated on a falling segment,
// subtracted on a descending frequency graph.
float DraggedCurvature(float q, int dy, double m, double l, bool rising, bool subtract) {
  double step = dy * (std::fabs(q) / 4.0 * 0.06666667 + 0.05) / std::sqrt(l - m);
  if (!rising) step = -step;
  return static_cast<float>(subtract ? q - step : q + step);
}

TEST_F(LiveEditor, CurvatureDragsStepByTheSegmentsWidthAndDirection) {
  Open();
  Render(1);
  gui->Tick();
  int x, y;
  // Volume graph: segment 1 (between breaks 0 and 1) rises to the top, segment 2 falls.
  GRAPH* v = VolumeGraph();
  caldrith::SegmentEnvelope& venv = plug->Graph(CLS_CALDRITH::kGraphVolume).env;
  for (int k : {1, 2}) {
    ASSERT_TRUE(v->HandleCentre(2 * k, &x, &y));
    gui->MouseOver(x, y, IInputMods());
    ASSERT_EQ(v->HoveredHandle(), 2 * k);
    const float q = venv.Curvature(k);
    const float want =
        DraggedCurvature(q, 3, venv.Break(k - 1), venv.Break(k), venv.Rising(k), false);
    gui->MouseDown(x, y, kLeft);
    gui->MouseDrag(x, y + 3, kLeft);
    gui->MouseUp(x, y + 3, kLeft);
    EXPECT_FLOAT_EQ(venv.Curvature(k), want) << "segment " << k;
    EXPECT_NEAR(plug->ParamAt(kQvol1 + k)->Value(), want * 6.0, 1e-4) << "segment " << k;
    gui->Tick();
  }
  EXPECT_TRUE(venv.Rising(1));
  EXPECT_FALSE(venv.Rising(2));

  // Frequency graph, ascending and then descending: one segment over the whole width.
  GRAPH* f = FreqGraph();
  caldrith::SegmentEnvelope& fenv = plug->Graph(CLS_CALDRITH::kGraphFrequency).env;
  for (bool ascending : {true, false}) {
    if (!ascending) {
      gui->MouseDown(297, 115, kLeft);  // the LFO graph swaps the band ends
      gui->MouseUp(297, 115, kLeft);
      gui->Tick();
      gui->Tick();
    }
    ASSERT_EQ(f->Ascending(), ascending);
    ASSERT_TRUE(f->HandleCentre(0, &x, &y));
    gui->MouseOver(x, y, IInputMods());
    ASSERT_EQ(f->HoveredHandle(), 0);
    const float q = fenv.Curvature(0);
    const float want = DraggedCurvature(q, -4, 0.0, 1.0, fenv.Rising(0), !ascending);
    gui->MouseDown(x, y, kLeft);
    gui->MouseDrag(x, y - 4, kLeft);
    gui->MouseUp(x, y - 4, kLeft);
    EXPECT_FLOAT_EQ(fenv.Curvature(0), want) << (ascending ? "ascending" : "descending");
    EXPECT_NEAR(plug->ParamAt(kQfreq)->Value(), want * 6.0, 1e-4);
    gui->Tick();
  }
}

// The same gestures in the same places reach the same values at every scale: the window's
// pixels are the design units times the scale, drag distances included.
TEST_F(LiveEditor, GesturesAtTwiceTheScaleReachTheSameValues) {
  struct Gesture {
    const char* what;
    int x, y, dx, dy;  // design units
    bool doubleClick;
  };
  const Gesture gestures[] = {
      {"volume knob up", 537, 263, 0, -30, false}, {"low freq knob down", 165, 155, 3, 25, false},
      {"spread slider", 50, 206, 20, 0, false},    {"wave slider", 564, 150, 0, 30, false},
      {"play anyway", 160, 243, 0, 0, false},      {"pulse type", 513, 203, 0, 0, false},
      {"graph switch", 240, 452, 0, 0, false},     {"volume knob reset", 537, 263, 0, 0, true},
  };
  std::vector<double> values[2];
  for (int run = 0; run < 2; ++run) {
    const int k = run + 1;
    SetUp();
    gui->SetScaleFactor(k);
    Open();
    Render(2);
    for (const Gesture& g : gestures) {
      SCOPED_TRACE(g.what);
      gui->MouseOver(k * g.x, k * g.y, IInputMods());
      if (g.doubleClick) {
        gui->MouseDoubleClick(k * g.x, k * g.y, kLeft);
      } else {
        gui->MouseDown(k * g.x, k * g.y, kLeft);
      }
      for (int step = 1; step <= 4; ++step)
        gui->MouseDrag(k * (g.x + g.dx * step / 4), k * (g.y + g.dy * step / 4), kLeft);
      gui->MouseUp(k * (g.x + g.dx), k * (g.y + g.dy), kLeft);
      gui->Tick();
    }
    // A frequency-graph handle, dragged as in GraphHandlesFollowTheMouse.
    int hx = 0, hy = 0;
    ASSERT_TRUE(FreqGraph()->HandleCentre(0, &hx, &hy));
    gui->MouseOver(k * hx, k * hy, IInputMods());
    gui->MouseDown(k * hx, k * hy, kLeft);
    gui->MouseDrag(k * hx, k * (hy - 6), kLeft);
    gui->MouseUp(k * hx, k * (hy - 6), kLeft);
    for (int i = 0; i < kNumParams; ++i) values[run].push_back(plug->ParamAt(i)->Value());
  }
  for (int i = 0; i < kNumParams; ++i)
    EXPECT_EQ(values[1][static_cast<size_t>(i)], values[0][static_cast<size_t>(i)])
        << plug->ParamAt(i)->NameText();
  // The gestures did something: everything but the reset knob left its default.
  int moved = 0;
  for (int i = 0; i < kNumParams; ++i)
    moved += values[0][static_cast<size_t>(i)] != plug->ParamAt(i)->DefaultValue();
  EXPECT_GE(moved, 7);
}

// Mean and large differences between two pictures of the same size.
void ComparePictures(const raster::Bitmap& a, const raster::Bitmap& b, double* mean,
                     double* largeShare) {
  double sum = 0.0;
  long large = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const uint32_t p = a.At(x, y), q = b.At(x, y);
      int worst = 0;
      for (int s = 0; s < 32; s += 8) {
        const int d = std::abs(static_cast<int>((p >> s) & 255) - static_cast<int>((q >> s) & 255));
        sum += d;
        if (d > worst) worst = d;
      }
      if (worst > 48) ++large;
    }
  }
  const double n = static_cast<double>(a.Width()) * a.Height();
  *mean = sum / (4.0 * n);
  *largeShare = large / n;
}

// Energy of the differences between horizontal neighbours: a sharp edge puts its whole step
// between two pixels, a blurred one spreads it (and its square) over several.
double Detail(const raster::Bitmap& b) {
  double sum = 0.0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 1; x < b.Width(); ++x) {
      const uint32_t p = b.At(x, y), q = b.At(x - 1, y);
      for (int s = 0; s < 24; s += 8) {
        const double d = static_cast<int>((p >> s) & 255) - static_cast<int>((q >> s) & 255);
        sum += d * d;
      }
    }
  }
  return sum;
}

// The whole editor at the scales hosts send most, each against its own reference picture
// (tests/editor/reference/editor.png, editor@1.5x.png, editor@2x.png).
TEST_F(LiveEditor, WholeEditorMatchesTheReferencePictures) {
  plug->SetParamFromEditor(kPlayAnyway, 1.0);
  Open();
  Render(40);
  raster::Bitmap oneX;
  for (const double scale : {1.0, 1.5, 2.0}) {
    SCOPED_TRACE(scale);
    const IPixelSize size = gui->SetScaleFactor(scale);
    const int w = static_cast<int>(std::lround(600 * scale));
    const int h = static_cast<int>(std::lround(475 * scale));
    ASSERT_EQ(size.W, w);
    ASSERT_EQ(size.H, h);
    for (int i = 0; i < 3; ++i) gui->Tick();
    const raster::Bitmap& screen = gui->Screen();
    ASSERT_EQ(screen.Width(), w);
    ASSERT_EQ(screen.Height(), h);
    const std::string name = scale == 1.0   ? "editor.png"
                             : scale == 1.5 ? "editor@1.5x.png"
                                            : "editor@2x.png";
    const std::string path = std::string(CALDRITH_EDITOR_REFERENCE_DIR) + "/" + name;
    raster::Bitmap reference;
    // Rewriting the reference is a deliberate act; the run that does it never passes.
    if (std::getenv("CALDRITH_UPDATE_REFERENCE")) {
      ASSERT_TRUE(raster::SavePngFile(screen, path.c_str()));
      ADD_FAILURE() << "reference rewritten to " << path << "; check it and run again without "
                    << "CALDRITH_UPDATE_REFERENCE";
      continue;
    }
    ASSERT_TRUE(raster::LoadPngFile(path.c_str(), &reference))
        << "the reference picture " << path << " is missing or unreadable";
    ASSERT_EQ(reference.Width(), w);
    ASSERT_EQ(reference.Height(), h);
    double mean = 0.0, largeShare = 0.0;
    ComparePictures(screen, reference, &mean, &largeShare);
    EXPECT_LT(mean, 2.0);
    EXPECT_LT(largeShare, 0.01);
    if (scale == 1.0) {
      // Something was drawn: the background alone is not the whole picture.
      const IImage bg = gui->CachedImage(100);
      ASSERT_TRUE(bg.Valid());
      double bgMean = 0.0, bgShare = 0.0;
      ComparePictures(screen, *bg.bitmap, &bgMean, &bgShare);
      EXPECT_GT(bgShare, 0.002);
      oneX.CopyFrom(screen);
    } else if (scale == 2.0) {
      // Drawn anew, not enlarged: the same content as today's picture enlarged, with
      // clearly more fine detail.
      raster::Bitmap enlarged(w, h);
      ASSERT_TRUE(raster::Resample(enlarged, enlarged.Bounds(), oneX, oneX.Bounds()));
      ComparePictures(screen, enlarged, &mean, &largeShare);
      EXPECT_LT(mean, 12.0);
      EXPECT_GT(Detail(screen), 1.3 * Detail(enlarged));
    }
  }
}

}  // namespace

namespace {

TEST_F(LiveEditor, PictureToolHoversByNameAndLeavesTheWindowAsItWas) {
  Render(1);
  const std::string path = ::testing::TempDir() + "/caldrith_editor_picture.png";
  EXPECT_EQ(ControlForParamName(plug.get(), "volume"), 9);
  EXPECT_EQ(ControlForParamName(plug.get(), "Freq Graph"), 23);
  EXPECT_EQ(ControlForParamName(plug.get(), "Qvol1"), -1);  // shown by no control
  EXPECT_FALSE(WriteEditorPicture(plug.get(), "No Such Knob", path.c_str()));
  ASSERT_TRUE(WriteEditorPicture(plug.get(), "Volume", path.c_str()));
  EXPECT_FALSE(gui->HasWindow());
  EXPECT_EQ(Text(3), "Volume Amount: 50%");
  raster::Bitmap written;
  ASSERT_TRUE(raster::LoadPngFile(path.c_str(), &written));
  EXPECT_EQ(written.Width(), 600);
  EXPECT_EQ(written.Height(), 475);
}

TEST_F(LiveEditor, ProductPageAreaOpensTheMakersPage) {
  Open();
  gui->MouseDown(200, 30, kLeft);
  gui->MouseUp(200, 30, kLeft);
  ASSERT_EQ(gui->WebRequests().size(), 1u);
  EXPECT_EQ(gui->WebRequests()[0].url, std::string(kProductSitePrefix) + "Caldrith");
  EXPECT_EQ(gui->WebRequests()[0].errorText, "Cannot open url. Check your default browser.");
}

}  // namespace

namespace {

TEST_F(LiveEditor, ShapeChangesAreNeverHeldBackWithoutADrawingEditor) {
  Render(1);
  // A view attached without a window draws nothing, so the engine keeps propagating.
  plug->EditorOpened();
  plug->SetParamFromEditor(kQvol2, plug->ParamAt(kQvol2)->NormalizeValue(30.0));
  EXPECT_FLOAT_EQ(plug->Engine().vol[0].Curvature(1), 5.0f);
  plug->EditorClosed();

  // A change waiting for the next drawing when the window closes reaches the engine then.
  Open();
  gui->Tick();
  plug->SetParamFromEditor(kXvol2, plug->ParamAt(kXvol2)->NormalizeValue(40.0));
  EXPECT_FLOAT_EQ(plug->Engine().vol[0].Break(1), 0.5f);
  plug->EditorClosed();
  gui->DestroyEditorWindow();
  EXPECT_FLOAT_EQ(plug->Engine().vol[0].Break(1), 0.4f);
  EXPECT_EQ(plug->Graph(CLS_CALDRITH::kGraphVolume).pending, -1);
}

}  // namespace

namespace {

// Runs in a fresh process (the images are cached process-wide once decoded).
void BuildWithMissingImagesAndUseIt() {
  IGraphicsHeadless::SetMissingImagesForTesting({103, 108, 106});
  auto plug = std::make_unique<CLS_CALDRITH>();
  auto* gui = dynamic_cast<IGraphicsHeadless*>(plug->GetGUI());
  if (!gui) std::exit(2);
  // Without 103 the pulse-rate knob is left out; without 108 the three vertical sliders and
  // the wave slider. 24 - 1 - 4 = 19 controls remain.
  if (gui->NControls() != 19) std::exit(3);
  for (int i = 0; i < kNumParams; ++i) {
    plug->SetParamFromEditor(i, plug->ParamAt(i)->NormalizedValue());
  }
  plug->SetSampleRate(48000.0);
  plug->SetMaxFrames(256);
  plug->SetOutputsConnected(0, 2, true);
  gui->CreateEditorWindow(nullptr);
  plug->EditorOpened();
  std::vector<double> l(256), r(256);
  double* bufs[2] = {l.data(), r.data()};
  {
    PlugLock lock(plug->Mutex());
    plug->AttachOutputs(0, 2, bufs);
    plug->ProcessBlock(256);
  }
  // Everywhere the mouse can go, including where the missing controls would be and the
  // graphs' preset column without its highlight image.
  for (int y = -10; y < 490; y += 7) {
    for (int x = -10; x < 610; x += 13) {
      gui->MouseOver(x, y, IInputMods());
      gui->MouseDown(x, y, kLeft);
      gui->MouseDrag(x + 3, y - 3, kLeft);
      gui->MouseUp(x + 3, y - 3, kLeft);
    }
    gui->Tick();
  }
  std::exit(0);
}

TEST(EditorImages, MissingImagesLeaveTheirControlsOut) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(BuildWithMissingImagesAndUseIt(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
