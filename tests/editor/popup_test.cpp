// The popup list of the standard controls: geometry, scrolling and picking.
#include "editor_fixture.h"

namespace {

class PopupTest : public ControlsTest {
 protected:
  void SetUp() override {
    ControlsTest::SetUp();
    choice = new ProbeControl(&plug, IBox(300, 200, 340, 240), kChoice);
    mode = new ProbeControl(&plug, IBox(100, 100, 140, 140), kMode);
    corner = new ProbeControl(&plug, IBox(580, 460, 595, 470), kChoice);
    gui->AddControl(choice);
    gui->AddControl(mode);
    gui->AddControl(corner);
    Install();
    base = gui->NControls();
  }
  ProbeControl *choice, *mode, *corner;
  int base = 0;
};

TEST_F(PopupTest, ListGeometryFollowsEntryCount) {
  gui->MouseDown(110, 110, kRight);
  PromptPopup* two = gui->OpenPopup();
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(two->RowsPerColumn(), 5);
  EXPECT_EQ(two->ThumbLength(), 0);
  EXPECT_EQ(two->Rect().H(), 2 * 21);
  EXPECT_EQ(two->Rect().W(), 70 + 4);
  EXPECT_EQ(two->Rect().L, 100 + (40 - 74) / 2);
  gui->MouseDown(5, 5, kLeft);  // elsewhere: closes
  EXPECT_EQ(gui->NControls(), base);

  gui->MouseDown(310, 210, kRight);
  PromptPopup* twelve = gui->OpenPopup();
  ASSERT_NE(twelve, nullptr);
  EXPECT_EQ(twelve->RowsPerColumn(), 6);
  EXPECT_EQ(twelve->Rect().H(), 6 * 21);
  EXPECT_EQ(twelve->ColumnWidth(), 7 * 7 + 8 + 20);
  EXPECT_EQ(twelve->Rect().W(), 77 + 4 + 11);
  EXPECT_EQ(twelve->ThumbLength(), 94);
  EXPECT_FALSE(twelve->IsHidden());
}

TEST_F(PopupTest, ListNearTheBordersStaysInside) {
  gui->MouseDown(590, 465, kRight);
  PromptPopup* p = gui->OpenPopup();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Rect().R, 600 - 6);
  EXPECT_EQ(p->Rect().B, 475 - 6);
  gui->MouseDown(595, 465, kRight);  // the owner again, beside the list: only closes
  EXPECT_EQ(gui->OpenPopup(), nullptr);
  EXPECT_EQ(gui->NControls(), base);

  auto* topLeft = new ProbeControl(&plug, IBox(0, 0, 4, 4), kChoice);
  gui->AddControl(topLeft);
  gui->MouseDown(1, 1, kRight);
  ASSERT_NE(gui->OpenPopup(), nullptr);
  EXPECT_EQ(gui->OpenPopup()->Rect().L, 6);
  EXPECT_EQ(gui->OpenPopup()->Rect().T, 6);
}

TEST_F(PopupTest, SelectionIsScrolledIntoViewAndPickingSetsTheValue) {
  plug.ParamAt(kChoice)->SetValue(11.0);
  gui->MouseDown(310, 210, kRight);
  PromptPopup* p = gui->OpenPopup();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Selected(), 11);
  EXPECT_EQ(p->ScrollPosition(), p->MaxScroll());
  EXPECT_EQ(p->FirstVisible(), 6);
  const IBox r = p->Rect();
  plug.log.clear();
  gui->MouseDown(r.L + 20, r.T + 2 * 21 + 5, kLeft);  // third visible row
  gui->MouseUp(r.L + 20, r.T + 2 * 21 + 5, kLeft);
  EXPECT_EQ(gui->OpenPopup(), nullptr);
  EXPECT_EQ(gui->NControls(), base);
  EXPECT_DOUBLE_EQ(plug.ParamAt(kChoice)->Value(), 8.0);
  EXPECT_EQ(plug.Count("begin 2"), 1);
  EXPECT_EQ(plug.Count("report 2"), 1);
}

TEST_F(PopupTest, ThumbDragAndWheelScrollWithinLimits) {
  gui->MouseDown(310, 210, kRight);
  PromptPopup* p = gui->OpenPopup();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->ScrollPosition(), 0);
  const IBox r = p->Rect();
  gui->MouseDown(r.R - 5, r.T + 10, kLeft);
  EXPECT_TRUE(p->DraggingThumb());
  gui->MouseDrag(r.R - 5, r.T + 20, kLeft);
  EXPECT_EQ(p->ScrollPosition(), 10);
  gui->MouseDrag(r.R - 5, r.T + 2000, kLeft);
  EXPECT_EQ(p->ScrollPosition(), p->MaxScroll());
  EXPECT_EQ(p->FirstVisible(), 6);
  gui->MouseUp(r.R - 5, r.T + 2000, kLeft);
  EXPECT_FALSE(p->DraggingThumb());
  gui->MouseWheel(r.L + 10, r.T + 10, IInputMods(), 3);
  EXPECT_EQ(p->ScrollPosition(), p->MaxScroll() - 9);
  gui->MouseWheel(r.L + 10, r.T + 10, IInputMods(), 100);
  EXPECT_EQ(p->ScrollPosition(), 0);
  // A click in the bar below the thumb centres the thumb there (clamped).
  gui->MouseDown(r.R - 5, r.B - 1, kLeft);
  EXPECT_EQ(p->ScrollPosition(), p->MaxScroll());
}

TEST_F(PopupTest, RightClickOnAnotherListControlOnlyClosesTheOpenList) {
  gui->MouseDown(310, 210, kRight);
  ASSERT_NE(gui->OpenPopup(), nullptr);
  gui->MouseUp(310, 210, kRight);
  gui->MouseDown(110, 110, kRight);
  EXPECT_EQ(gui->OpenPopup(), nullptr);
  EXPECT_EQ(gui->NControls(), base);
  gui->MouseUp(110, 110, kRight);
  gui->MouseDown(110, 110, kRight);
  EXPECT_NE(gui->OpenPopup(), nullptr);
  EXPECT_TRUE(gui->Prompts().empty());
}

TEST(PopupLayout, RowsGrowWithEntriesAndLongEntriesAreCut) {
  RecordingPlug plug;
  IGraphicsHeadless gui(&plug, 600, 475);
  PromptPopup p(&plug, &gui, 10, 10, 70, 1);
  for (int i = 0; i < 4; ++i) p.AddEntry("abc");
  EXPECT_EQ(p.Rect().H(), 4 * 21);
  EXPECT_EQ(p.ThumbLength(), 0);
  for (int i = 4; i < 9; ++i) p.AddEntry("abc");
  EXPECT_EQ(p.RowsPerColumn(), 5);
  p.AddEntry("0123456789012345678901234567890123456789");
  EXPECT_EQ(p.RowsPerColumn(), 6);
  EXPECT_STREQ(p.Entry(9), "0123456789012345678901234567890");
  EXPECT_EQ(p.ColumnWidth(), 31 * 7 + 8 + 20);
  for (int i = 10; i < 60; ++i) p.AddEntry("x");
  EXPECT_EQ(p.RowsPerColumn(), 9);
  EXPECT_EQ(p.ThumbLength(), static_cast<int>(1.5 * 21));
  EXPECT_EQ(p.Rect().L, 10);
  EXPECT_EQ(p.Rect().T, 10);
}

}  // namespace
