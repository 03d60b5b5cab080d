// Control arithmetic of the product controls: knobs, sliders, switch and button.
#include <cmath>
#include <utility>

#include "instrument/product_controls.h"
#include "editor_fixture.h"

namespace {

class ProbeKnob : public IKnobControl {
 public:
  ProbeKnob(IPlugBase* p, const IBox& r, int param, int dir = 0)
      : IKnobControl(p, r, param, dir, 4.0) {}
  bool Paint(IGraphics*) override { return true; }
};

TEST_F(ControlsTest, KnobDragIsGearedOverItsHeight) {
  auto* knob = new ProbeKnob(&plug, IBox(10, 10, 40, 60), kGain);
  auto* wide = new ProbeKnob(&plug, IBox(100, 10, 200, 20), kGain, 1);
  gui->AddControl(knob);
  gui->AddControl(wide);
  Install();
  knob->SetValue(0.25);
  gui->MouseDown(20, 50, kLeft);
  gui->MouseDrag(20, -50, kLeft);  // 100 px up, past the editor's edge
  EXPECT_NEAR(knob->Value(), 0.75, 1e-12);
  gui->MouseDrag(20, 50, kLeftShift);  // back down, ten times finer
  EXPECT_NEAR(knob->Value(), 0.7, 1e-12);
  gui->MouseDrag(20, 5000, kLeft);
  EXPECT_DOUBLE_EQ(knob->Value(), 0.0);  // clamped, and pushed clamped
  EXPECT_DOUBLE_EQ(plug.ParamAt(kGain)->Value(), 0.0);
  gui->MouseUp(20, 5000, kLeft);

  wide->SetValue(0.5);
  gui->MouseDown(150, 15, kLeft);
  gui->MouseDrag(190, 15, kLeft);
  EXPECT_NEAR(wide->Value(), 0.6, 1e-12);
}

TEST_F(ControlsTest, RotatingKnobGeometryAndAngles) {
  IImage img = gui->FetchImage(911, "knob", 1);
  gui->SplitImage(&img, 0.5);
  ITextStyle none("Arial", 0, IRgba());
  auto* knob = new IKnobRotVal(&plug, kGain, 100, 100, img, none, 2, 300, 4.0, 0, 0, 0.1f, true, 0);
  gui->AddControl(knob);
  Install();
  EXPECT_EQ(knob->Rect(), IBox(95, 93, 105, 109));
  knob->SetValue(0.5);
  EXPECT_DOUBLE_EQ(knob->Angle(), 0.0);
  knob->SetValue(0.0);
  EXPECT_NEAR(knob->Angle(), -150.0 * M_PI / 180.0, 1e-12);
  knob->SetValue(1.0);
  EXPECT_NEAR(knob->Angle(), 150.0 * M_PI / 180.0, 1e-12);
  // Without steps the button-up leaves the value but pushes it once more.
  plug.log.clear();
  knob->MouseUp(0, 0, kLeft);
  EXPECT_DOUBLE_EQ(knob->Value(), 1.0);
  EXPECT_EQ(plug.Count("report 0"), 1);
}

TEST_F(ControlsTest, SliderFollowsTheMouseOnlyFromItsTrack) {
  const IImage handle = gui->FetchImage(910, "handle", 1);
  ITextStyle none("Arial", 0, IRgba());
  auto* h = new ISliderImg(&plug, kGain, IBox(0, 0, 100, 20), handle, none, 40, true);
  auto* v = new ISlider(&plug, kCount, IBox(29, 135, 45, 193), handle, none,
                        IRgba(255, 66, 110, 170), 58, 2, false, 1, true);
  gui->AddControl(h);
  gui->AddControl(v);
  Install();
  EXPECT_EQ(h->Track(), IBox(30, 0, 70, 16));
  EXPECT_EQ(h->Travel(), 24);

  // Inside the rectangle, just outside the track on each side: nothing moves.
  for (const auto& at : {std::make_pair(10, 5), std::make_pair(29, 5), std::make_pair(71, 5),
                         std::make_pair(50, 17)}) {
    Click(at.first, at.second);
    EXPECT_DOUBLE_EQ(h->Value(), 0.5) << at.first << "," << at.second;
    EXPECT_FALSE(h->Dragging());
  }
  EXPECT_EQ(plug.Count("report 0"), 0);
  // The track's last column and row still take the mouse.
  gui->MouseDown(70, 16, kLeft);
  EXPECT_TRUE(h->Dragging());
  EXPECT_DOUBLE_EQ(h->Value(), 1.0);
  gui->MouseUp(70, 16, kLeft);
  h->SetValue(0.5);

  gui->MouseDown(50, 5, kLeft);  // handle centre 12 px into the travel
  EXPECT_DOUBLE_EQ(h->Value(), 0.5);
  EXPECT_TRUE(h->Dragging());
  gui->MouseDrag(32, 500, kLeft);
  EXPECT_DOUBLE_EQ(h->Value(), 0.0);
  gui->MouseDrag(80, 5, kLeft);
  EXPECT_DOUBLE_EQ(h->Value(), 1.0);
  gui->MouseUp(80, 5, kLeft);
  EXPECT_FALSE(h->Dragging());
  EXPECT_DOUBLE_EQ(plug.ParamAt(kGain)->Value(), 100.0);

  EXPECT_EQ(v->Track(), IBox(29, 135, 45, 193));
  EXPECT_EQ(v->HandleBox(1.0).T, 135);  // top of the track
  EXPECT_EQ(v->HandleBox(0.0).B, 193);  // bottom of the track
  Click(37, 135 + 8);
  EXPECT_DOUBLE_EQ(v->Value(), 1.0);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kCount)->Value(), 16.0);
  Click(37, 135 + 8 + 42);
  EXPECT_DOUBLE_EQ(v->Value(), 0.0);
  // The fill bar runs from the handle's centre down to the start offset.
  v->SetValue(0.5);
  EXPECT_EQ(v->BarBox(), IBox(36, 135 + 21 + 8, 38, 135 + 42 + 16 - 1));
  v->SetValue(0.0);
  EXPECT_EQ(v->BarBox().T, 135 + 42 + 8);
}

TEST_F(ControlsTest, SwitchCyclesThroughItsStates) {
  const IImage two = gui->FetchImage(911, "two", 2);
  const IImage seven = gui->FetchImage(912, "seven", 7);
  ITextStyle none("Arial", 0, IRgba());
  auto* sw2 = new ISwitchLbl(&plug, kMode, 10, 10, two, none, 0, 78);
  auto* sw7 = new ISwitchLbl(&plug, kCount, 200, 10, seven, none);
  gui->AddControl(sw2);
  gui->AddControl(sw7);
  Install();
  EXPECT_EQ(sw2->Rect(), IBox(10, 10, 88, 17));
  EXPECT_EQ(sw2->FrameBox(), IBox(39, 10, 59, 17));
  Click(15, 12);
  EXPECT_DOUBLE_EQ(sw2->Value(), 1.0);
  EXPECT_EQ(sw2->CurrentFrame(), 2);
  Click(15, 12);
  EXPECT_DOUBLE_EQ(sw2->Value(), 0.0);

  sw7->SetValue(0.0);
  for (int i = 1; i <= 6; ++i) {
    Click(205, 12);
    EXPECT_NEAR(sw7->Value(), i / 6.0, 1e-12);
  }
  EXPECT_EQ(sw7->CurrentFrame(), 7);
  Click(205, 12);
  EXPECT_DOUBLE_EQ(sw7->Value(), 0.0);

  // A right-click opens the list and still pushes the unchanged value once.
  plug.log.clear();
  gui->MouseDown(15, 12, kRight);
  EXPECT_NE(gui->OpenPopup(), nullptr);
  EXPECT_EQ(plug.Count("report 1"), 1);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kMode)->Value(), 0.0);
}

TEST_F(ControlsTest, ButtonTogglesAndShowsOnlyWhenOnOrHovered) {
  const IImage img = gui->FetchImage(913, "button", 1);
  auto* button = new IButton(&plug, kMode, 144, 223, img, 0.1f);
  gui->AddControl(button);
  Install();
  gui->HandleMouseOver(true);
  EXPECT_EQ(button->Rect(), IBox(144, 223, 176, 264));
  EXPECT_FLOAT_EQ(button->OverlayWeight(), 0.0f);
  gui->MouseOver(150, 230, IInputMods());
  EXPECT_FLOAT_EQ(button->OverlayWeight(), 0.1f);
  Click(150, 230);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kMode)->Value(), 1.0);
  EXPECT_FLOAT_EQ(button->OverlayWeight(), 0.9f);
  gui->MouseOut();
  EXPECT_FLOAT_EQ(button->OverlayWeight(), 1.0f);
  Click(150, 230);
  EXPECT_DOUBLE_EQ(button->Value(), 0.0);
}

TEST_F(ControlsTest, WheelOnEnumeratedParameterMovesByHalfOverTextCount) {
  auto* c = new ProbeControl(&plug, IBox(10, 10, 20, 20), kMode);
  gui->AddControl(c);
  Install();
  gui->MouseWheel(15, 15, IInputMods(), 1);
  EXPECT_DOUBLE_EQ(c->Value(), 0.25);
  gui->MouseWheel(15, 15, IInputMods(), 1);
  EXPECT_DOUBLE_EQ(c->Value(), 0.5);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kMode)->Value(), 1.0);
}

}  // namespace
