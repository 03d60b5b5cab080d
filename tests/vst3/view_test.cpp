// The editor view object as the host handles it.
#include <gtest/gtest.h>

#include "test_plug.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

TEST(Views, CreatedOnlyForTheEditorName) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  EXPECT_EQ(h.controller->createView(nullptr), nullptr);
  EXPECT_EQ(h.controller->createView("editorx"), nullptr);
  EXPECT_EQ(h.controller->createView("edito"), nullptr);
  EXPECT_EQ(h.plug->OpenViewCount(), 0);

  IPlugView* a = h.controller->createView("editor");
  IPlugView* b = h.controller->createView("editor");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_EQ(h.plug->OpenViewCount(), 2);
  EXPECT_EQ(static_cast<IPlugView*>(h.plug->FirstOpenView()), a);
  // Releasing the first makes the second the one used for resizing and menus.
  a->release();
  EXPECT_EQ(h.plug->OpenViewCount(), 1);
  EXPECT_EQ(static_cast<IPlugView*>(h.plug->FirstOpenView()), b);
  b->release();
  EXPECT_EQ(h.plug->OpenViewCount(), 0);
}

TEST(Views, WithoutAnEditor) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IPlugView* v = h.controller->createView("editor");
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->isPlatformTypeSupported(kPlatformTypeHWND), kResultFalse);
  EXPECT_EQ(v->attached(nullptr, kPlatformTypeHWND), kResultFalse);
  ViewRect r;
  EXPECT_EQ(v->getSize(&r), kResultFalse);
  EXPECT_EQ(v->removed(), kResultOk);
  EXPECT_EQ(v->canResize(), kResultFalse);
  EXPECT_EQ(v->checkSizeConstraint(&r), kResultFalse);
  EXPECT_EQ(v->onWheel(1.f), kResultFalse);
  EXPECT_EQ(v->onFocus(true), kResultFalse);
  ViewRect size(0, 0, 320, 200);
  EXPECT_EQ(v->onSize(&size), kResultOk);
  EXPECT_EQ(v->onSize(nullptr), kResultOk);
  EXPECT_EQ(h.plug->FirstOpenView()->Rect().right, 320);
  // A resize request without an editor asks nothing of anybody.
  h.plug->ResizeEditor(100, 100);
  EXPECT_FALSE(h.plug->FirstOpenView()->ExpectingNewSize());
  v->release();
}

TEST(Views, TerminateForgetsViewsWithoutDestroyingThem) {
  HostedSynth h;
  ASSERT_EQ(h.Initialize(), kResultOk);
  IPlugView* v = h.controller->createView("editor");
  ASSERT_NE(v, nullptr);
  h.component->terminate();
  EXPECT_EQ(h.plug->OpenViewCount(), 0);
  ViewRect size(0, 0, 10, 10);
  EXPECT_EQ(v->onSize(&size), kResultOk);
  // The view still holds the plug-in, so releasing it last is safe.
  v->release();
}
