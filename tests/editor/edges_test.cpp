// Editor arithmetic where rounding and truncation part ways, and its edges: frames of a
// strip, offsets into it, wheel and drag steps, list placement at the borders, the index
// bookkeeping when a list closes, values that are not numbers.
#include <cmath>
#include <limits>
#include <vector>

#include "editor_fixture.h"

namespace {

// The knob's drag arithmetic with nothing drawn.
class TestKnob : public IKnobControl {
 public:
  using IKnobControl::IKnobControl;
  bool Paint(IGraphics*) override { return true; }
};

// A strip whose every row has its own colour: row y is (255, y, 255 - y, 0).
std::vector<unsigned char> RowCodedPng(int w, int h) {
  raster::Bitmap b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.Set(x, y, raster::Argb(255, y, 255 - y, 0));
  std::vector<uint8_t> png;
  raster::EncodePng(b, &png);
  return std::vector<unsigned char>(png.begin(), png.end());
}

}  // namespace

TEST(FrameArithmetic, TheValuePicksTheNearestFrame) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(920, RowCodedPng(4, 70));
  const IImage strip = gui.FetchImage(920, "strip", 7);
  auto* c = new IBitmapControl(&plug, 0, 0, -1, strip);
  gui.AddControl(c);
  // Seven frames: frame = round(6 * value) + 1. Values where 6 * value ends in .5 or just
  // below or above it tell rounding from truncation.
  const struct {
    double value;
    int frame;
  } cases[] = {{0.25, 3},       {0.24, 2}, {0.5 / 6.0, 2}, {0.49 / 6.0, 1}, {5.5 / 6.0, 7},
               {5.49 / 6.0, 6}, {0.0, 1},  {1.0, 7},       {-0.3, 1},       {1.7, 7}};
  for (const auto& k : cases) {
    c->SetValue(k.value);
    EXPECT_EQ(k.frame, c->CurrentFrame()) << k.value;
  }
  // One frame only: always the first.
  IImage single = strip;
  single.N = 1;
  auto* s = new IBitmapControl(&plug, 0, 0, -1, single);
  gui.AddControl(s);
  s->SetValue(0.9);
  EXPECT_EQ(1, s->CurrentFrame());
}

TEST(FrameArithmetic, FrameOffsetsRoundToTheNearestRow) {
  // 50 rows in 7 frames: frame k starts at round(50 (k - 1) / 7): 0, 7, 14, 21, 29, 36, 43.
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(921, RowCodedPng(4, 50));
  gui.CreateDrawSurfaces();
  const IImage strip = gui.FetchImage(921, "strip", 7);
  ASSERT_TRUE(strip.Valid());
  gui.SetDirtyArea(IBox(0, 0, 60, 60));
  raster::Bitmap& d = *gui.DrawBitmap();
  const int starts[] = {0, 7, 14, 21, 29, 36, 43};
  for (int k = 1; k <= 7; ++k) {
    d.Clear(0);
    ASSERT_TRUE(gui.BlitImageFrame(strip, IBox(10, 10, 14, 17), k));
    EXPECT_EQ(raster::Argb(255, starts[k - 1], 255 - starts[k - 1], 0), d.At(11, 10)) << k;
  }
  // Sideways strips the same way: 50 columns, frame 5 starts at column 29.
  raster::Bitmap wide(50, 2);
  for (int x = 0; x < 50; ++x) wide.Set(x, 0, raster::Argb(255, x, 0, 0)), wide.Set(x, 1, 0);
  std::vector<uint8_t> png;
  raster::EncodePng(wide, &png);
  gui.SetImageOverride(922, std::vector<unsigned char>(png.begin(), png.end()));
  const IImage sideways = gui.FetchImage(922, "wide", 7);
  d.Clear(0);
  ASSERT_TRUE(gui.BlitImageFrame(sideways, IBox(0, 0, 7, 1), 5, nullptr, false));
  EXPECT_EQ(raster::Argb(255, 29, 0, 0), d.At(0, 0));
}

TEST(SplitArithmetic, AnOddWidthLosesNoLeftColumn) {
  // 21 columns split at a half: the left part is int(10.5) = 10 columns, the right one
  // int(10.5) = 10 columns starting at column 10.
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  raster::Bitmap b(21, 1);
  for (int x = 0; x < 21; ++x) b.Set(x, 0, raster::Argb(255, x, 0, 0));
  std::vector<uint8_t> png;
  raster::EncodePng(b, &png);
  gui.SetImageOverride(923, std::vector<unsigned char>(png.begin(), png.end()));
  IImage img = gui.FetchImage(923, "odd", 1);
  IImage left = gui.SplitImage(&img, 0.5);
  ASSERT_TRUE(left.Valid());
  EXPECT_EQ(10, left.W);
  EXPECT_EQ(10, img.W);
  EXPECT_EQ(raster::Argb(255, 9, 0, 0), left.bitmap->At(9, 0));
  EXPECT_EQ(raster::Argb(255, 10, 0, 0), img.bitmap->At(0, 0));
  // Nothing to split at the ends.
  IImage again = gui.FetchImage(923, "odd", 1);
  EXPECT_FALSE(gui.SplitImage(&again, 1.0).Valid());
  EXPECT_FALSE(gui.SplitImage(&again, 0.0).Valid());
  EXPECT_FALSE(gui.SplitImage(&again, std::nan("")).Valid());
  EXPECT_EQ(21, again.W);
}

TEST(InputSteps, WheelAndDragStepsByKindAndModifier) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 200, 100);  // not installed: the controls talk to the plug-in
  auto* gain = new ProbeControl(&plug, IBox(0, 0, 10, 10), kGain);
  auto* mode = new ProbeControl(&plug, IBox(10, 0, 20, 10), kMode);
  auto* choice = new ProbeControl(&plug, IBox(20, 0, 30, 10), kChoice);
  auto* knob = new TestKnob(&plug, IBox(30, 0, 40, 100), kGain);  // 100 tall, gearing 4
  for (IControl* c : std::vector<IControl*>{gain, mode, choice, knob}) gui.AddControl(c);
  const IInputMods none, ctrl(false, false, false, true), shift(false, false, true);
  struct Case {
    IControl* c;
    IInputMods mods;
    double step;
  } cases[] = {
      {gain, none, 0.01},           {gain, ctrl, 0.001}, {gain, shift, 0.001},
      {mode, none, 0.25},           {mode, ctrl, 0.025}, {choice, none, 0.5 / 12.0},
      {choice, shift, 0.05 / 12.0},
  };
  for (const Case& k : cases) {
    k.c->SetValue(0.5);
    k.c->MouseWheel(0, 0, k.mods, 2);
    EXPECT_NEAR(0.5 + 2 * k.step, k.c->Value(), 1e-12) << k.c->ParamIdx();
  }
  // Dragging the knob up its whole height moves it 1 / gearing; with Ctrl or Shift ten times
  // less.
  const struct {
    IInputMods mods;
    double moved;
  } drags[] = {{none, 0.25}, {ctrl, 0.025}, {shift, 0.025}};
  for (const auto& k : drags) {
    knob->SetValue(0.5);
    knob->MouseDrag(35, 0, 0, -100, k.mods);
    EXPECT_NEAR(0.5 + k.moved, knob->Value(), 1e-12);
  }
}

TEST(ValueEdges, NotANumberBecomesTheLowEnd) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 100, 100);
  auto* c = new ProbeControl(&plug, IBox(0, 0, 10, 10), kGain);
  gui.AddControl(c);
  c->SetValue(0.7);
  c->TakeUserValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_EQ(0.0, c->Value());
  EXPECT_EQ(0.0, plug.ParamAt(kGain)->Value());
  c->TakeUserValue(1.5);
  EXPECT_EQ(1.0, c->Value());
  c->TakeUserValue(-0.5);
  EXPECT_EQ(0.0, c->Value());
  // Controls by index: the last one and none past it.
  EXPECT_EQ(c, gui.GetControl(gui.NControls() - 1));
  EXPECT_EQ(nullptr, gui.GetControl(gui.NControls()));
  EXPECT_EQ(nullptr, gui.GetControl(-1));
}

namespace {

// A 600 x 475 editor whose two-entry lists are 74 x 42.
class ListEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    gui = new IGraphicsHeadless(&plug, 600, 475);
    gui->AddControl(new ProbeControl(&plug, IBox(0, 0, 600, 475)));
  }
  void Install() {
    plug.InstallEditor(gui);
    gui->CreateEditorWindow(nullptr);
  }
  IBox ListFor(const IBox& owner) {
    auto* c = new ProbeControl(&plug, owner, kMode);
    gui->AddControl(c);
    gui->MouseDown(owner.L + 1, owner.T + 1, kRight);
    PromptPopup* p = gui->OpenPopup();
    EXPECT_NE(p, nullptr);
    const IBox r = p ? p->Rect() : IBox();
    gui->MouseDown(300, 2, kLeft);  // elsewhere: closes
    gui->MouseUp(300, 2, kLeft);
    return r;
  }
  RecordingPlug plug;
  IGraphicsHeadless* gui = nullptr;
};

}  // namespace

TEST_F(ListEdges, ListsKeepSixPixelsFromEveryBorder) {
  Install();
  // Owners as large as the list, so the list would sit exactly on them.
  EXPECT_EQ(IBox(6, 6, 80, 48), ListFor(IBox(5, 5, 79, 47)));  // 5: moved in
  EXPECT_EQ(IBox(6, 6, 80, 48), ListFor(IBox(6, 6, 80, 48)));  // 6: stays
  EXPECT_EQ(IBox(7, 7, 81, 49), ListFor(IBox(7, 7, 81, 49)));
  EXPECT_EQ(IBox(520, 427, 594, 469), ListFor(IBox(520, 427, 594, 469)));  // ends at 594
  EXPECT_EQ(IBox(520, 427, 594, 469), ListFor(IBox(521, 428, 595, 470)));  // 595: moved in
  EXPECT_EQ(IBox(519, 426, 593, 468), ListFor(IBox(519, 426, 593, 468)));
}

TEST_F(ListEdges, ClickingAnotherControlWhileAListIsOpenCapturesThatControl) {
  auto* first = new ProbeControl(&plug, IBox(10, 10, 50, 50), kGain);
  auto* second = new ProbeControl(&plug, IBox(60, 10, 100, 50), kGain);
  auto* owner = new ProbeControl(&plug, IBox(300, 300, 340, 340), kMode);
  gui->AddControl(first);
  gui->AddControl(second);
  gui->AddControl(owner);
  Install();
  const int base = gui->NControls();
  gui->MouseDown(310, 310, kRight);
  ASSERT_NE(gui->OpenPopup(), nullptr);
  ASSERT_EQ(base + 1, gui->NControls());
  // The list closes and the drag goes to the control that was clicked.
  gui->MouseDown(70, 20, kLeft);
  EXPECT_EQ(nullptr, gui->OpenPopup());
  EXPECT_EQ(base, gui->NControls());
  gui->MouseDrag(72, 25, kLeft);
  gui->MouseUp(72, 25, kLeft);
  EXPECT_EQ(1, second->downs);
  EXPECT_EQ(1u, second->drags.size());
  EXPECT_EQ(1, second->ups);
  EXPECT_EQ(0, first->downs);
  EXPECT_TRUE(first->drags.empty());
}

namespace {

class OneChoicePlug : public IPlugBase {
 public:
  OneChoicePlug()
      : IPlugBase(1, "0-2", 1, "One", "", "Maker", 0x10000, 1, 2, 0, false, false, true, kAPIVST3) {
    ParamAt(0)->DefineEnum("Only", 0, 1);
    ParamAt(0)->AddValueText(0, "The one");
  }
};

}  // namespace

TEST(ResetAndPrompt, DoubleClickReturnsToADefaultOfZeroAfterHostChanges) {
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 100, 100);
  auto* mode = new ProbeControl(&plug, IBox(0, 0, 10, 10), kMode);  // default 0
  gui->AddControl(mode);
  plug.InstallEditor(gui);
  gui->TakePostedValues();
  EXPECT_EQ(0.0, mode->ResetValue());
  gui->PushParamToControls(kMode, 1.0, true);  // the host moves it
  gui->TakePostedValues();
  EXPECT_EQ(1.0, mode->Value());
  EXPECT_EQ(0.0, mode->ResetValue());
  mode->MouseDoubleClick(1, 1, IInputMods());
  EXPECT_EQ(0.0, mode->Value());
  EXPECT_EQ(0.0, plug.ParamAt(kMode)->Value());
}

TEST(ResetAndPrompt, AnEnumeratedParameterWithOneTextStillGetsAList) {
  OneChoicePlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 300, 300);
  gui->AddControl(new ProbeControl(&plug, IBox(100, 100, 140, 140), 0));
  plug.InstallEditor(gui);
  gui->CreateEditorWindow(nullptr);
  gui->MouseDown(110, 110, kRight);
  ASSERT_NE(nullptr, gui->OpenPopup());
  EXPECT_EQ(21, gui->OpenPopup()->Rect().H());  // one row
}

TEST(RotatedImages, SourceOffsetsMoveTheImageTheOtherWay) {
  // Unturned, the image's top-left lands at (cx - W/2 - srcX, cy - H/2 - srcY).
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(924, RowCodedPng(4, 4));
  gui.CreateDrawSurfaces();
  const IImage img = gui.FetchImage(924, "rows", 1);
  raster::Bitmap& d = *gui.DrawBitmap();
  const struct {
    int srcX, srcY, left, top;
  } cases[] = {{0, 0, 18, 18}, {1, 2, 17, 16}, {-3, 0, 21, 18}};
  for (const auto& c : cases) {
    d.Clear(0);
    ASSERT_TRUE(gui.BlitRotatedImage(img, 20, 20, 0.0, nullptr, c.srcX, c.srcY));
    EXPECT_EQ(raster::Argb(255, 0, 255, 0), d.At(c.left, c.top)) << c.srcX << "," << c.srcY;
    EXPECT_EQ(0u, d.At(c.left - 1, c.top)) << c.srcX << "," << c.srcY;
    EXPECT_EQ(0u, d.At(c.left, c.top - 1)) << c.srcX << "," << c.srcY;
    EXPECT_EQ(raster::Argb(255, 3, 252, 0), d.At(c.left + 3, c.top + 3));
  }
}

TEST(CaptureAndBackground, ABackgroundAddedMidDragKeepsTheDragOnItsControl) {
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 100, 100);
  gui->SetImageOverride(925, RowCodedPng(100, 100));
  auto* first = new ProbeControl(&plug, IBox(0, 0, 20, 20));
  auto* second = new ProbeControl(&plug, IBox(30, 0, 50, 20));
  gui->AddControl(first);
  gui->AddControl(second);
  plug.InstallEditor(gui);
  gui->CreateEditorWindow(nullptr);
  gui->MouseDown(40, 10, kLeft);
  ASSERT_TRUE(gui->SetBackground(925, "background"));
  EXPECT_EQ(3, gui->NControls());
  gui->MouseDrag(45, 12, kLeft);
  gui->MouseUp(45, 12, kLeft);
  EXPECT_EQ(1u, second->drags.size());
  EXPECT_TRUE(first->drags.empty());
}

TEST(TextEdges, SecureTextIsDrawnAsStars) {
  // A secure field showing "abc" draws exactly what a plain field showing "***" draws.
  const ITextStyle style("Arial", 14, IRgba(255, 255, 255, 255));
  const IRgba clear(0, 0, 0, 0);
  raster::Bitmap pictures[2];
  for (int secure = 0; secure < 2; ++secure) {
    RecordingPlug plug;
    auto* gui = new IGraphicsHeadless(&plug, 80, 30);
    gui->AddControl(new IEditableTextControl(&plug, IBox(5, 5, 75, 25), style,
                                             secure ? "abc" : "***", clear, true, secure == 1));
    plug.InstallEditor(gui);
    gui->CreateEditorWindow(nullptr);
    for (int i = 0; i < 3; ++i) gui->Tick();
    pictures[secure].CopyFrom(gui->Screen());
  }
  ASSERT_EQ(80, pictures[0].Width());
  int inked = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 80; ++x) {
      ASSERT_EQ(pictures[0].At(x, y), pictures[1].At(x, y)) << x << "," << y;
      inked += raster::RedOf(pictures[0].At(x, y)) > 128;
    }
  EXPECT_GT(inked, 5);
}

TEST(RedrawEdges, AUserValueIsDrawnOnTwoTicksThenNoMore) {
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 100, 100);
  auto* c = new ProbeControl(&plug, IBox(10, 10, 20, 20), kGain);
  gui->AddControl(c);
  plug.InstallEditor(gui);
  gui->CreateEditorWindow(nullptr);
  for (int i = 0; i < 4; ++i) gui->Tick();
  const int before = c->paints;
  c->TakeUserValue(0.9);
  gui->Tick();
  gui->Tick();
  gui->Tick();
  EXPECT_EQ(before + 2, c->paints);
}

TEST(HoverEdges, HoverSurvivesAListClosingBelowIt) {
  // A control added while a list is open lies above it; when the list goes, the hover must
  // stay on that control, so that it and only it is told the mouse has left.
  RecordingPlug plug;
  auto* gui = new IGraphicsHeadless(&plug, 300, 300);
  gui->AddControl(new ProbeControl(&plug, IBox(0, 0, 300, 300)));
  auto* owner = new ProbeControl(&plug, IBox(100, 100, 140, 140), kMode);
  gui->AddControl(owner);
  plug.InstallEditor(gui);
  gui->CreateEditorWindow(nullptr);
  gui->HandleMouseOver(true);
  gui->MouseDown(110, 110, kRight);
  gui->MouseUp(110, 110, kRight);
  ASSERT_NE(nullptr, gui->OpenPopup());
  auto* late = new ProbeControl(&plug, IBox(250, 250, 280, 280));
  gui->AddControl(late);
  gui->MouseOver(260, 260, IInputMods());
  EXPECT_EQ(1, late->overs);
  gui->ClearOpenPopup();
  ASSERT_EQ(nullptr, gui->OpenPopup());
  gui->MouseOver(10, 290, IInputMods());  // onto the background
  EXPECT_EQ(1, late->outs);
  EXPECT_EQ(0, owner->outs);
}
