// The Windows bundle as a host loads it: the editor inside the DLL finds its images and
// cursors among the DLL's own resources.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "raster/raster.h"
#include "bundle_under_test.h"
#include "vst3/host/host_support.h"

#ifdef CALDRITH_TEST_BUNDLE

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

LRESULT CALLBACK BundleHostProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, m, w, l);
}

TEST(BundleEditor, OpensWithTheImagesOfTheModule) {
  caldrith_host::Module module;
  ASSERT_TRUE(module.Load(BundleUnderTest())) << module.Error();
  IPluginFactory* factory = module.Factory();
  ASSERT_NE(factory, nullptr);
  PClassInfo info;
  ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
  IAudioProcessor* processor = nullptr;
  ASSERT_EQ(
      factory->createInstance(info.cid, IAudioProcessor::iid, reinterpret_cast<void**>(&processor)),
      kResultOk);
  IComponent* component = nullptr;
  IEditController* controller = nullptr;
  processor->queryInterface(IComponent::iid, reinterpret_cast<void**>(&component));
  processor->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
  ASSERT_TRUE(component && controller);
  caldrith_host::HostContext host("Wine Host");
  ASSERT_EQ(component->initialize(&host), kResultOk);

  WNDCLASSW wc = {};
  wc.lpfnWndProc = BundleHostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"CaldrithBundleHost";
  RegisterClassW(&wc);
  HWND parent =
      CreateWindowExW(0, L"CaldrithBundleHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60,
                      700, 600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(parent);
  IPlugView* view = controller->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
  HWND wnd = FindWindowExW(parent, nullptr, L"PlugEditorWndClass", nullptr);
  ASSERT_TRUE(wnd);
  // The window class belongs to the DLL.
  EXPECT_EQ(reinterpret_cast<HINSTANCE>(GetClassLongPtrW(wnd, GCLP_HMODULE)),
            GetModuleHandleW(L"Caldrith.vst3"));

  const DWORD end = GetTickCount() + 300;
  MSG msg;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }

  // What the window shows: the background image of the module where no control lies.
  HDC dc = GetDC(wnd);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 600, 475);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, 600, 475, dc, 0, 0, SRCCOPY);
  HRSRC res = FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(100), L"PNG");
  ASSERT_TRUE(res);
  raster::Bitmap bg;
  ASSERT_TRUE(raster::DecodePng(LockResource(LoadResource(nullptr, res)),
                                SizeofResource(nullptr, res), &bg));
  int matching = 0, probes = 0;
  for (int y = 5; y < 470; y += 37) {
    for (int x = 5; x < 130; x += 41) {
      const COLORREF c = GetPixel(mem, x, y);
      const uint32_t p = bg.At(x, y);
      ++probes;
      matching += std::abs(int(GetRValue(c)) - int(raster::RedOf(p))) < 8 &&
                  std::abs(int(GetGValue(c)) - int(raster::GreenOf(p))) < 8 &&
                  std::abs(int(GetBValue(c)) - int(raster::BlueOf(p))) < 8;
    }
  }
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(wnd, dc);
  EXPECT_GT(matching, probes * 3 / 4) << matching << " of " << probes;

  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_FALSE(IsWindow(wnd));
  view->release();
  component->terminate();
  controller->release();
  component->release();
  processor->release();
  factory->release();
  DestroyWindow(parent);
}

}  // namespace

#endif  // CALDRITH_TEST_BUNDLE
