// The graphics host: redraw bookkeeping, mouse routing and capture, parameter binding, the
// wheel's deferred end of edit, typed values and frame offsets.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <utility>

#include "editor/user_settings.h"
#include "editor_fixture.h"

namespace {

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    gui = new IGraphicsHeadless(&plug, 200, 100);
    background = new ProbeControl(&plug, IBox(0, 0, 200, 100));
    a = new ProbeControl(&plug, IBox(10, 10, 50, 60), kGain);
    b = new ProbeControl(&plug, IBox(50, 10, 90, 60), kGain);  // shares a's right edge
    gui->AddControl(background);
    gui->AddControl(a);
    gui->AddControl(b);
    plug.InstallEditor(gui);
    gui->CreateEditorWindow(nullptr);
    gui->HandleMouseOver(true);
    Settle();
    plug.log.clear();
  }

  // Ticks until nothing is dirty.
  void Settle() {
    for (int i = 0; i < 4; ++i) gui->Tick();
  }

  RecordingPlug plug;
  IGraphicsHeadless* gui = nullptr;  // owned by plug
  ProbeControl* background = nullptr;
  ProbeControl* a = nullptr;
  ProbeControl* b = nullptr;
};

TEST(IRgbaTest, PackedHoldsAlphaRedGreenBlueByteByByte) {
  EXPECT_EQ(IRgba(0x12, 0x34, 0x56, 0x78).Packed(), 0x12345678u);
  EXPECT_EQ(IRgba(255, 1, 2, 3).Packed(), 0xFF010203u);
  EXPECT_EQ(IRgba(0x1FF, 0x100, 0x2FF, 0x180).Packed(), 0xFF00FF80u);  // each cut to a byte
}

TEST(IBoxTest, IntersectionAndUnionFollowStrictOverlap) {
  const IBox r(0, 0, 10, 10);
  EXPECT_EQ(r.Intersect(IBox(5, 5, 20, 20)), IBox(5, 5, 10, 10));
  EXPECT_TRUE(r.Intersect(IBox(10, 0, 20, 10)).Empty());  // touching edges do not overlap
  EXPECT_TRUE(r.Intersect(IBox()).Empty());
  EXPECT_EQ(r.Union(IBox()), r);
  EXPECT_EQ(IBox().Union(r), r);
  EXPECT_EQ(r.Union(IBox(20, 30, 25, 35)), IBox(0, 0, 25, 35));
}

TEST_F(HostTest, InstallGivesEveryBoundControlItsDefault) {
  EXPECT_DOUBLE_EQ(a->Value(), 0.5);
  EXPECT_DOUBLE_EQ(a->ResetValue(), 0.5);
  EXPECT_DOUBLE_EQ(b->ResetValue(), 0.5);
  EXPECT_LT(background->ResetValue(), 0.0);
}

TEST_F(HostTest, ChangedControlIsDrawnOnTwoTicksThenNoMore) {
  const int before = a->paints;
  gui->PushParamToControls(kGain, 0.75, true);
  IBox r = gui->Tick();
  EXPECT_EQ(r, a->Rect().Union(b->Rect()));
  EXPECT_EQ(a->paints, before + 1);
  gui->Tick();
  EXPECT_EQ(a->paints, before + 2);
  r = gui->Tick();
  EXPECT_TRUE(r.Empty());
  EXPECT_EQ(a->paints, before + 2);
  EXPECT_EQ(gui->LastPresented(), a->Rect().Union(b->Rect()));
}

TEST_F(HostTest, HostValuesReachAllBoundControlsAndUnchangedValuesDoNothing) {
  plug.ParamAt(kGain)->SetValue(25.0);
  plug.SendParamsToEditor();
  gui->Tick();
  EXPECT_DOUBLE_EQ(a->Value(), 0.25);
  EXPECT_DOUBLE_EQ(b->Value(), 0.25);
  Settle();
  const int paints = a->paints;
  gui->PushParamToControls(kGain, 0.25, true);
  EXPECT_TRUE(gui->Tick().Empty());
  EXPECT_EQ(a->paints, paints);
  // Only the latest of several posts in one tick is applied.
  gui->PushParamToControls(kGain, 0.1, true);
  gui->PushParamToControls(kGain, 0.9, true);
  gui->Tick();
  EXPECT_DOUBLE_EQ(a->Value(), 0.9);
  EXPECT_DOUBLE_EQ(gui->ParamNormalized(kGain), 0.9);
}

TEST_F(HostTest, UserValueGoesToPluginOnlyFromTheEditedControl) {
  a->TakeUserValue(0.25);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kGain)->Value(), 25.0);
  EXPECT_EQ(plug.Count("report 0"), 1);
  EXPECT_DOUBLE_EQ(b->Value(), 0.5);  // not until the plug-in echoes it
  a->TakeUserValue(0.25);             // unchanged, still pushed
  EXPECT_EQ(plug.Count("report 0"), 2);
  gui->ApplyUserValueToControls(kGain, 0.4);
  EXPECT_DOUBLE_EQ(b->Value(), 0.4);
}

TEST_F(HostTest, HitTestingIncludesEdgesAndLaterControlsWin) {
  EXPECT_EQ(gui->ControlAtPoint(10, 10), 1);
  EXPECT_EQ(gui->ControlAtPoint(50, 60), 2);  // shared edge: the later control
  EXPECT_EQ(gui->ControlAtPoint(49, 60), 1);
  EXPECT_EQ(gui->ControlAtPoint(150, 90), 0);
  EXPECT_EQ(gui->ControlAtPoint(-5, 500), -1);
  b->SetHidden(true);
  EXPECT_EQ(gui->ControlAtPoint(50, 60), 1);
  a->Dim(true);
  EXPECT_EQ(gui->ControlAtPoint(30, 30), 0);
  EXPECT_FLOAT_EQ(a->Blend().weight, 0.25f);
}

TEST_F(HostTest, CaptureKeepsDragsAndButtonUpOnTheClickedControl) {
  gui->MouseDown(20, 20, kLeft);
  EXPECT_EQ(plug.log, std::vector<std::string>({"begin 0"}));
  gui->MouseDrag(20, 20, kLeft);  // same place: nothing
  gui->MouseDrag(400, -50, kLeft);
  gui->MouseDrag(70, 30, kLeft);  // over b, still a's
  ASSERT_EQ(a->drags.size(), 2u);
  EXPECT_EQ(a->drags[0].dx, 380);
  EXPECT_EQ(a->drags[0].dy, -70);
  EXPECT_EQ(a->drags[1].dx, -330);
  EXPECT_TRUE(b->drags.empty());
  gui->MouseUp(70, 30, kLeft);
  EXPECT_EQ(a->ups, 1);
  EXPECT_EQ(b->ups, 0);
  EXPECT_EQ(plug.log.back(), "end 0");
  EXPECT_EQ(gui->CapturedControl(), -1);
  gui->MouseDrag(75, 35, kLeft);  // no capture: ignored
  EXPECT_TRUE(b->drags.empty());
}

TEST_F(HostTest, EventsOutsideEveryControlAreIgnored) {
  IGraphicsHeadless* bare = new IGraphicsHeadless(&plug, 100, 100);
  std::unique_ptr<IGraphicsHeadless> owner(bare);
  auto* c = new ProbeControl(&plug, IBox(10, 10, 20, 20), kGain);
  bare->AddControl(c);
  bare->HandleMouseOver(true);
  bare->MouseDown(80, 80, kLeft);
  bare->MouseUp(80, 80, kLeft);
  bare->MouseWheel(80, 80, IInputMods(), 3);
  EXPECT_FALSE(bare->MouseDoubleClick(80, 80, kLeft));
  EXPECT_TRUE(bare->MouseOver(80, 80, IInputMods()));
  bare->KeyDown(80, 80, kKeySpace);
  EXPECT_TRUE(plug.log.empty());
  EXPECT_EQ(c->downs + c->ups, 0);
}

TEST_F(HostTest, DoubleClickResetsToDefaultWithEditBracket) {
  a->TakeUserValue(0.9);
  plug.log.clear();
  EXPECT_FALSE(gui->MouseDoubleClick(20, 20, kLeft));
  EXPECT_DOUBLE_EQ(a->Value(), 0.5);
  EXPECT_EQ(plug.log.front(), "begin 0");
  EXPECT_EQ(plug.Count("end 0"), 0);
  gui->MouseUp(20, 20, kLeft);
  EXPECT_EQ(plug.log.back(), "end 0");

  b->SetDoubleAsSingle(true);
  EXPECT_TRUE(gui->MouseDoubleClick(60, 20, kLeft));
  EXPECT_EQ(b->downs, 1);
  EXPECT_EQ(gui->CapturedControl(), 2);
}

TEST_F(HostTest, WheelStepsEndTheEditOnceAfterHalfASecondOfTicks) {
  for (int i = 0; i < 10; ++i) gui->MouseWheel(20, 20, IInputMods(), 1);
  EXPECT_NEAR(a->Value(), 0.6, 1e-9);
  EXPECT_EQ(plug.Count("end 0"), 0);
  const int ticks = std::max(1, gui->FPS() / 2);
  for (int i = 0; i < ticks - 1; ++i) gui->Tick();
  EXPECT_EQ(plug.Count("end 0"), 0);
  gui->Tick();
  EXPECT_EQ(plug.Count("end 0"), 1);
  for (int i = 0; i < 30; ++i) gui->Tick();
  EXPECT_EQ(plug.Count("end 0"), 1);
}

TEST_F(HostTest, ClosingTheWindowSendsAPendingWheelEditEnd) {
  gui->MouseWheel(20, 20, IInputMods(false, false, true), -2);
  EXPECT_NEAR(a->Value(), 0.498, 1e-9);  // Shift: ten times finer
  gui->DestroyEditorWindow();
  EXPECT_EQ(plug.Count("end 0"), 1);
}

TEST_F(HostTest, HoverMovesBetweenControlsAndShowsStatus) {
  gui->MouseOver(20, 20, IInputMods());
  gui->MouseOver(21, 20, IInputMods());
  EXPECT_EQ(a->overs, 2);
  EXPECT_EQ(plug.Count("status 0"), 2);
  gui->MouseOver(70, 20, IInputMods());
  EXPECT_EQ(a->outs, 1);
  EXPECT_EQ(b->overs, 1);
  EXPECT_EQ(gui->HoverControl(), 2);
  gui->MouseOut();
  EXPECT_EQ(gui->HoverControl(), -1);
  gui->HandleMouseOver(false);
  EXPECT_FALSE(gui->MouseOver(20, 20, IInputMods()));
}

TEST_F(HostTest, TypedValuesHaveDefinedResults) {
  PlugParam* gain = plug.ParamAt(kGain);
  struct Case {
    const char* text;
    double expected;
  } cases[] = {{"40", 40.0},  {"abc", 0.0},   {"", 0.0},  {"1e999", 100.0},
               {"-inf", 0.0}, {"250", 100.0}, {"-3", 0.0}};
  for (const Case& c : cases) {
    gui->ApplyPromptText(a, gain, c.text);
    EXPECT_DOUBLE_EQ(gain->Value(), c.expected) << c.text;
    EXPECT_FALSE(std::isnan(a->Value())) << c.text;
  }
  gui->ApplyPromptText(a, gain, "60");
  gui->ApplyPromptText(a, gain, "nan");
  EXPECT_DOUBLE_EQ(gain->Value(), 60.0);
  gui->ApplyPromptText(a, gain, nullptr);
  EXPECT_DOUBLE_EQ(gain->Value(), 60.0);
  EXPECT_EQ(plug.Count("begin 0"), plug.Count("end 0"));
}

TEST_F(HostTest, RightClickAsksForTypedValueOnContinuousParameters) {
  gui->MouseDown(20, 20, kRight);
  gui->MouseUp(20, 20, kRight);
  ASSERT_EQ(gui->Prompts().size(), 1u);
  EXPECT_TRUE(gui->Prompts()[0].centred);
  EXPECT_TRUE(gui->AnswerPrompt("12.5"));
  EXPECT_DOUBLE_EQ(plug.ParamAt(kGain)->Value(), 12.5);
  EXPECT_DOUBLE_EQ(a->Value(), 0.125);
  // No parameter: no prompt.
  gui->MouseDown(150, 90, kRight);
  EXPECT_TRUE(gui->Prompts().empty());
}

TEST(BitmapFrames, FrameOffsetsFollowTheStrip) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(901, StripPng(10, 35, 7));
  gui.SetImageOverride(902, StripPng(30, 10, 3, false));
  gui.SetImageOverride(903, {1, 2, 3});                                // too short
  gui.SetImageOverride(904, {137, 80, 78, 71, 13, 10, 26, 10, 0, 0});  // corrupt
  gui.CreateDrawSurfaces();
  const IImage strip = gui.FetchImage(901, "strip", 7);
  ASSERT_TRUE(strip.Valid());
  EXPECT_EQ(strip.H, 35);
  EXPECT_FALSE(gui.FetchImage(903, "short", 1).Valid());
  EXPECT_FALSE(gui.FetchImage(904, "corrupt", 1).Valid());
  EXPECT_FALSE(gui.FetchImage(999, "missing", 1).Valid());
  EXPECT_FALSE(gui.SetBackground(999, "missing"));
  EXPECT_EQ(gui.NControls(), 0);

  gui.SetDirtyArea(IBox(0, 0, 60, 60));
  raster::Bitmap& d = *gui.DrawBitmap();
  for (int k : {1, 2, 4, 7}) {
    gui.BlitImageFrame(strip, IBox(0, 0, 10, 5), k);
    // Frame k starts at int(35 * (k - 1) / 7 + 0.5) = 5 (k - 1).
    EXPECT_EQ(d.At(3, 0), strip.bitmap->At(3, 5 * (k - 1))) << k;
  }
  // The smallest strip: two frames, the second half for frame 2.
  gui.SetImageOverride(907, StripPng(10, 20, 2));
  const IImage two = gui.FetchImage(907, "two", 2);
  gui.BlitImageFrame(two, IBox(40, 0, 50, 10), 2);
  EXPECT_EQ(d.At(43, 0), two.bitmap->At(3, 10));
  EXPECT_NE(two.bitmap->At(3, 10), two.bitmap->At(3, 0));
  IImage single = strip;
  single.N = 1;
  gui.BlitImageFrame(single, IBox(0, 0, 10, 5), 5);
  EXPECT_EQ(d.At(3, 0), strip.bitmap->At(3, 0));
  const IImage wide = gui.FetchImage(902, "wide", 3);
  gui.BlitImageFrame(wide, IBox(20, 20, 30, 30), 3, nullptr, false);
  EXPECT_EQ(d.At(20, 20), wide.bitmap->At(20, 0));

  // Clipping to the dirty area shifts the source by what was cut off.
  d.Clear(0);
  gui.SetDirtyArea(IBox(0, 2, 60, 60));
  gui.BlitImage(strip, IBox(0, 0, 10, 35), 0, 0);
  EXPECT_EQ(d.At(0, 1), 0u);
  EXPECT_EQ(d.At(0, 2), strip.bitmap->At(0, 2));
  EXPECT_EQ(d.At(0, 30), strip.bitmap->At(0, 30));
}

// The columns of a box that hold any ink (alpha) in the bitmap.
struct Ink {
  int first, last;
};
Ink InkColumns(const raster::Bitmap& b, const IBox& box) {
  int first = -1, last = -1;
  for (int x = box.L; x < box.R; ++x)
    for (int y = box.T; y < box.B; ++y)
      if (b.At(x, y) >> 24) {
        if (first < 0) first = x;
        last = x;
        break;
      }
  return {first, last};
}

TEST(TextDrawing, AlignmentPutsTheInkAtTheNearEndTheMiddleOrTheFarEnd) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 300, 40);
  gui.CreateDrawSurfaces();
  raster::Bitmap& d = *gui.DrawBitmap();
  const IBox box(0, 0, 300, 40);
  Ink ink[3];
  const int aligns[3] = {kAlignNear, kAlignCenter, kAlignFar};
  for (int i = 0; i < 3; ++i) {
    d.Clear(0);
    ITextStyle style("Arial", 14, IRgba(255, 0, 0, 0), 0, aligns[i]);
    ASSERT_TRUE(gui.RenderText(&style, "MMMM", box));
    ink[i] = InkColumns(d, box);
    ASSERT_GE(ink[i].first, 0) << i;
  }
  EXPECT_LT(ink[0].first, 5);   // near: against the left edge
  EXPECT_GT(ink[2].last, 294);  // far: against the right edge
  EXPECT_GT(ink[2].first, 200);
  // Centred: as much room on either side, to a pixel.
  EXPECT_LE(std::abs(ink[1].first - (299 - ink[1].last)), 2);
  EXPECT_EQ(ink[0].last - ink[0].first, ink[2].last - ink[2].first);  // same text, moved
}

TEST(BitmapFrames, FrameFollowsValue) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(905, StripPng(10, 70, 7));
  const IImage strip = gui.FetchImage(905, "strip", 7);
  auto* c = new IBitmapControl(&plug, 5, 5, -1, strip);
  gui.AddControl(c);
  EXPECT_EQ(c->Rect(), IBox(5, 5, 15, 15));
  const double values[] = {0.0, 0.5, 1.0, 4.0 / 6.0, 2.0};
  const int frames[] = {1, 4, 7, 5, 7};
  for (int i = 0; i < 5; ++i) {
    c->SetValue(values[i]);
    EXPECT_EQ(c->CurrentFrame(), frames[i]) << values[i];
  }
}

TEST(SplitImages, HalvesAreCachedAndLinked) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 60, 60);
  gui.SetImageOverride(906, StripPng(20, 10, 2, false));
  IImage img = gui.FetchImage(906, "knob", 1);
  const uint32_t leftPixel = img.bitmap->At(2, 2), rightPixel = img.bitmap->At(12, 2);
  IImage left = gui.SplitImage(&img, 0.5);
  EXPECT_EQ(left.W, 10);
  EXPECT_EQ(img.W, 10);
  EXPECT_LT(img.linkedId, -1);
  EXPECT_EQ(left.bitmap->At(2, 2), leftPixel);
  EXPECT_EQ(img.bitmap->At(2, 2), rightPixel);
  EXPECT_EQ(gui.CachedImage(img.linkedId).bitmap, left.bitmap);
  IImage again = gui.FetchImage(906, "knob", 1);
  EXPECT_EQ(gui.SplitImage(&again, 0.5).bitmap != nullptr, true);
  EXPECT_LT(again.linkedId, img.linkedId);
  IImage none;
  EXPECT_FALSE(gui.SplitImage(&none, 0.5).Valid());
}

}  // namespace

namespace {

TEST(TextControls, FreeTextEntryGoesBackIntoTheControl) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 100, 100);
  auto* label = new ITextControl(&plug, IBox(0, 0, 50, 20), ITextStyle("Arial", 12, IRgba()));
  auto* field =
      new IEditableTextControl(&plug, IBox(0, 30, 50, 50), ITextStyle("Arial", 12, IRgba()), "old");
  gui.AddControl(label);
  gui.AddControl(field);
  gui.MouseDown(10, 40, kLeft);
  ASSERT_EQ(gui.TextEditors().size(), 1u);
  EXPECT_EQ(gui.TextEditors()[0], field);
  gui.ApplyPromptText(field, nullptr, "typed");
  EXPECT_STREQ(field->Text(), "typed");
  gui.ApplyPromptText(label, nullptr, "ignored");  // not editable
  EXPECT_STREQ(label->Text(), "");
  // A text change marks the control dirty; the same text does not.
  label->MarkClean();
  label->TakeHostText("x");
  EXPECT_TRUE(label->IsDirty());
  label->MarkClean();
  label->TakeHostText("x");
  EXPECT_FALSE(label->IsDirty());
  label->TakeHostText(nullptr);
  EXPECT_STREQ(label->Text(), "");
}

}  // namespace

namespace {

// The zoom the user picks from the background's menu: the editor and the host follow it,
// and the next editor of this user opens with it; a bad settings file means the default.
TEST(ZoomMenu, IsRememberedPerUser) {
  struct SizingPlug : RecordingPlug {
    void ResizeEditor(int w, int h) override { asked.emplace_back(w, h); }
    std::vector<std::pair<int, int>> asked;
  };
  const std::string dir = ::testing::TempDir() + "zoom-" + std::to_string(::getpid());
  const std::string path = dir + "/Product/editor.conf";
  SizingPlug sizing;
  auto* g = new IGraphicsHeadless(&sizing, 600, 475);
  g->AddControl(new ProbeControl(&sizing, IBox(0, 0, 600, 475)));
  g->UseSettingsFile(path);  // missing: follow the screen
  EXPECT_EQ(g->UserZoom(), 0.0);
  sizing.InstallEditor(g);
  g->CreateEditorWindow(nullptr);
  g->SetScaleFactor(1.25);
  EXPECT_EQ(g->PixelSize(), (IPixelSize{750, 594}));

  g->MouseDown(375, 250, kRight);
  PromptPopup* menu = g->OpenPopup();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->Count(), 7);
  EXPECT_EQ(menu->Selected(), 0);
  EXPECT_STREQ(menu->Entry(4), "200 %");
  const IBox row = g->ToPixels(IBox(menu->Rect().L, menu->Rect().T + 4 * menu->RowHeight(),
                                    menu->Rect().R, menu->Rect().T + 5 * menu->RowHeight()));
  g->MouseDown(row.L + 10, (row.T + row.B) / 2, kLeft);
  g->MouseUp(row.L + 10, (row.T + row.B) / 2, kLeft);
  EXPECT_EQ(g->OpenPopup(), nullptr);
  EXPECT_EQ(g->Scale(), 2.0);
  EXPECT_EQ(g->PixelSize(), (IPixelSize{1200, 950}));
  ASSERT_EQ(sizing.asked.size(), 1u);
  EXPECT_EQ(sizing.asked[0], std::make_pair(1200, 950));
  g->Tick();
  EXPECT_EQ(g->Screen().Width(), 1200);

  // The next editor opens at the user's zoom, whatever the host says.
  RecordingPlug plug;
  IGraphicsHeadless next(&plug, 600, 475);
  next.UseSettingsFile(path);
  next.SetScaleFactor(1.5);
  EXPECT_EQ(next.PixelSize(), (IPixelSize{1200, 950}));
  next.SetUserZoom(0.0);
  EXPECT_EQ(next.PixelSize(), (IPixelSize{900, 713}));

  // Only whole, sane zooms count; anything else is "follow the screen". No temporary file
  // is left beside the settings.
  const struct {
    const char* text;
    double zoom;
  } files[] = {{"zoom-percent=150\n", 1.5},        {"other=1\r\nzoom-percent=300\r\n", 3.0},
               {"zoom-percent=50\n", 0.0},         {"zoom-percent=1e9\n", 0.0},
               {"zoom-percent=abc\n", 0.0},        {"zoom-percent=\n", 0.0},
               {"\x89PNG\r\n\x1a\n\x01\x02", 0.0}, {"", 0.0}};
  for (const auto& f : files) {
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs(f.text, out);
    std::fclose(out);
    EXPECT_EQ(ReadZoomSetting(path.c_str()), f.zoom) << f.text;
  }
  EXPECT_TRUE(WriteZoomSetting(path.c_str(), 1.25));
  EXPECT_EQ(ReadZoomSetting(path.c_str()), 1.25);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir + "/Product")) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  // A folder that cannot be made: refused, nothing breaks.
  EXPECT_FALSE(WriteZoomSetting((path + "/below-a-file.conf").c_str(), 2.0));
  EXPECT_EQ(ReadZoomSetting((dir + "/missing.conf").c_str()), 0.0);
  std::filesystem::remove_all(dir);
}

}  // namespace
