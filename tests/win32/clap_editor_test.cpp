// The CLAP module's editor through its gui extension in a host's HWND: the same pixels as the
// VST 3 bundle's view of an instance in the same state, and the window gone on destroy.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "bundle_under_test.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/clap/clap_host.h"
#include "vst3/host/host_support.h"

#if defined(CALDRITH_TEST_BUNDLE) && defined(CALDRITH_TEST_CLAP)

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

LRESULT CALLBACK ClapHostProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, m, w, l);
}

HWND MakeParent(int x) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = ClapHostProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"CaldrithClapHost";
  RegisterClassW(&wc);
  return CreateWindowExW(0, L"CaldrithClapHost", L"host", WS_POPUP | WS_VISIBLE, x, 0, 600, 475,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

void PumpMessages(int ms) {
  const DWORD end = GetTickCount() + ms;
  MSG msg;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
}

std::vector<COLORREF> Pixels(HWND wnd) {
  HDC dc = GetDC(wnd);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, 600, 475);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, 600, 475, dc, 0, 0, SRCCOPY);
  std::vector<COLORREF> out;
  for (int y = 0; y < 475; y += 3)
    for (int x = 0; x < 600; x += 3) out.push_back(GetPixel(mem, x, y));
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(wnd, dc);
  return out;
}

TEST(ClapEditorWin32, ShowsWhatTheVst3ViewShows) {
  caldrith_host::Module vst3;
  ASSERT_TRUE(vst3.Load(BundleUnderTest())) << vst3.Error();
  IPluginFactory* factory = vst3.Factory();
  PClassInfo info;
  ASSERT_EQ(factory->getClassInfo(0, &info), kResultOk);
  IComponent* component = nullptr;
  ASSERT_EQ(
      factory->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&component)),
      kResultOk);
  IEditController* controller = nullptr;
  component->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
  caldrith_host::HostContext context("Wine Host");
  ASSERT_EQ(component->initialize(&context), kResultOk);
  // One window after the other, at the same place on the (small) virtual screen.
  HWND vst3Parent = MakeParent(0);
  IPlugView* view = controller->createView(ViewType::kEditor);
  ASSERT_EQ(view->attached(vst3Parent, kPlatformTypeHWND), kResultOk);
  PumpMessages(400);
  HWND vst3Editor = GetWindow(vst3Parent, GW_CHILD);
  ASSERT_TRUE(vst3Editor);
  const std::vector<COLORREF> a = Pixels(vst3Editor);
  view->removed();
  view->release();
  DestroyWindow(vst3Parent);

  clap_test::Module clap;
  ASSERT_TRUE(clap.Load(CALDRITH_TEST_CLAP));
  clap_test::Host host;
  clap_test::Instance inst(clap, host);
  ASSERT_NE(inst.plugin, nullptr);
  const clap_plugin_gui_t* gui = inst.Gui();
  ASSERT_TRUE(gui->is_api_supported(inst.plugin, CLAP_WINDOW_API_WIN32, false));
  ASSERT_TRUE(gui->create(inst.plugin, CLAP_WINDOW_API_WIN32, false));
  HWND clapParent = MakeParent(0);
  clap_window_t window{};
  window.api = CLAP_WINDOW_API_WIN32;
  window.win32 = clapParent;
  ASSERT_TRUE(gui->set_parent(inst.plugin, &window));
  EXPECT_TRUE(gui->show(inst.plugin));
  PumpMessages(400);

  HWND clapEditor = GetWindow(clapParent, GW_CHILD);
  ASSERT_TRUE(clapEditor);
  RECT r{};
  GetClientRect(clapEditor, &r);
  EXPECT_EQ(r.right - r.left, 600);
  EXPECT_EQ(r.bottom - r.top, 475);
  const std::vector<COLORREF> b = Pixels(clapEditor);
  int differing = 0;
  for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
  EXPECT_EQ(differing, 0) << "of " << a.size() << " probed pixels";

  gui->destroy(inst.plugin);
  EXPECT_FALSE(IsWindow(clapEditor));
  component->terminate();
  controller->release();
  component->release();
  factory->release();
  DestroyWindow(clapParent);
}

}  // namespace

#endif
