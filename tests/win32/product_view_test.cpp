// The instrument's editor as a Windows host opens it: the "editor" view attached to a host
// window of type "HWND", driven by window messages, with the edit notifications arriving at
// a component handler.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "instrument/caldrith.h"
#include "editor/win32/graphics_win.h"
#include "pluginterfaces/gui/iplugview.h"
#include "raster/raster.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "tests/instrument/hosted_instance.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

LRESULT CALLBACK HostProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, m, w, l);
}

HWND HostWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CaldrithProductHost";
    RegisterClassW(&wc);
    registered = true;
  }
  return CreateWindowExW(0, L"CaldrithProductHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40,
                         40, 700, 600, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

struct Hosted : caldrith_test::HostedInstance {
  Hosted() : HostedInstance("Wine Host") {}
};

LPARAM Pos(int x, int y) {
  return MAKELPARAM(x, y);
}

TEST(ProductEditor, AttachedToAHostWindowAndDrivenByMessages) {
  HWND parent = HostWindow();
  ASSERT_TRUE(parent);
  Hosted h;
  IPlugView* view = h.controller->createView(ViewType::kEditor);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeHWND), kResultTrue);
  EXPECT_EQ(view->isPlatformTypeSupported(kPlatformTypeX11EmbedWindowID), kResultFalse);
  ViewRect size;
  ASSERT_EQ(view->getSize(&size), kResultOk);
  EXPECT_EQ(size.getWidth(), 600);
  EXPECT_EQ(size.getHeight(), 475);
  EXPECT_EQ(view->canResize(), kResultFalse);

  ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
  HWND wnd = FindWindowExW(parent, nullptr, L"PlugEditorWndClass", nullptr);
  ASSERT_TRUE(wnd);
  auto* gui = static_cast<IGraphicsWin*>(h.plug->GetGUI());
  ASSERT_EQ(gui->EditorWindowHandle(), wnd);
  auto send = [&](UINT m, WPARAM w, LPARAM l) { return SendMessageW(wnd, m, w, l); };

  // Hovering the pulse-rate knob shows its status text; the LFO graph offers to turn the
  // sweep.
  send(WM_MOUSEMOVE, 0, Pos(300, 242));
  EXPECT_EQ(h.plug->StatusText().rfind("Isochronic: ", 0), 0u) << h.plug->StatusText();
  send(WM_MOUSEMOVE, 0, Pos(297, 115));
  const bool descending = h.plug->LowFreqHz() >= h.plug->HighFreqHz();
  EXPECT_EQ(h.plug->StatusText(),
            descending ? "Change to ascendent frequencies" : "Change to descendent frequencies");
  // ...with the module's own cursor, which survives the window's cursor request.
  const int cursorId = descending ? 98 : 99;
  EXPECT_EQ(gui->CursorId(), cursorId);
  HCURSOR own = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(cursorId));
  ASSERT_TRUE(own);
  EXPECT_EQ(GetCursor(), own);
  send(WM_SETCURSOR, reinterpret_cast<WPARAM>(wnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), own);

  // A drag on the volume knob reaches the host as one gesture.
  const double volume = h.Value(kVolume);
  send(WM_LBUTTONDOWN, MK_LBUTTON, Pos(537, 263));
  send(WM_MOUSEMOVE, MK_LBUTTON, Pos(537, 240));
  send(WM_LBUTTONUP, 0, Pos(537, 240));
  EXPECT_GT(h.Value(kVolume), volume);
  ASSERT_GE(h.handler.log.size(), 3u);
  EXPECT_EQ(h.handler.log.front().kind, 'b');
  EXPECT_EQ(h.handler.log.front().tag, static_cast<ParamID>(kVolume));
  EXPECT_EQ(h.handler.log.back().kind, 'e');
  EXPECT_GE(h.handler.Count('p', kVolume), 1);
  EXPECT_EQ(h.plug->StatusText().rfind("Volume Amount: ", 0), 0u) << h.plug->StatusText();

  // "440" typed into the pulse-rate knob's box and Enter.
  h.handler.log.clear();
  send(WM_RBUTTONDOWN, MK_RBUTTON, Pos(300, 242));
  send(WM_RBUTTONUP, 0, Pos(300, 242));
  HWND edit = gui->EditWindow();
  ASSERT_TRUE(edit);
  for (const char* c = "440"; *c; ++c) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*c), 1);
  SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
  gui->Tick();
  EXPECT_EQ(gui->EditWindow(), nullptr);
  EXPECT_NEAR(h.Value(kIsochronic), 440.0, 1e-9);
  // The right click itself is a (valueless) gesture; the typed value is a second one.
  EXPECT_EQ(h.handler.Count('b', kIsochronic), 2);
  EXPECT_EQ(h.handler.Count('e', kIsochronic), 2);
  ASSERT_GE(h.handler.Count('p', kIsochronic), 1);
  EXPECT_NEAR(h.handler.log.back().value, h.plug->ParamAt(kIsochronic)->NormalizeValue(440.0),
              1e-12);
  EXPECT_EQ(h.plug->StatusText(), "Isochronic: 440.00Hz");
  EXPECT_EQ(h.plug->BandText(), "LAMBDA");

  // Cancelled with a right click: nothing reaches the host.
  h.handler.log.clear();
  send(WM_RBUTTONDOWN, MK_RBUTTON, Pos(300, 242));
  send(WM_RBUTTONUP, 0, Pos(300, 242));
  ASSERT_TRUE(gui->EditWindow());
  for (const char* c = "7"; *c; ++c)
    SendMessageW(gui->EditWindow(), WM_CHAR, static_cast<WPARAM>(*c), 1);
  send(WM_RBUTTONDOWN, MK_RBUTTON, Pos(20, 20));
  send(WM_RBUTTONUP, 0, Pos(20, 20));
  gui->Tick();
  EXPECT_EQ(gui->EditWindow(), nullptr);
  EXPECT_NEAR(h.Value(kIsochronic), 440.0, 1e-9);
  EXPECT_EQ(h.handler.Count('b', kIsochronic), 1);  // the right click that opened the box
  for (const auto& n : h.handler.log) {
    if (n.kind == 'p') {
      EXPECT_NEAR(n.value, h.plug->ParamAt(kIsochronic)->NormalizeValue(440.0), 1e-12);
    }
  }

  // A wheel step over the rate knob, then the view goes away before its edit has ended.
  h.handler.log.clear();
  POINT p = {111, 263};
  ClientToScreen(wnd, &p);
  const double rate = h.Value(kRate);
  send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), Pos(p.x, p.y));
  EXPECT_NE(h.Value(kRate), rate);
  EXPECT_GE(h.handler.Count('p', kRate), 1);
  EXPECT_EQ(h.handler.Count('e', kRate), 0);
  EXPECT_EQ(view->removed(), kResultOk);
  EXPECT_EQ(h.handler.Count('e', kRate), 1);
  EXPECT_FALSE(IsWindow(wnd));
  EXPECT_EQ(IGraphicsWin::WindowCount(), 0);

  // Attached again, the editor opens with the values it had.
  ASSERT_EQ(view->attached(parent, kPlatformTypeHWND), kResultOk);
  EXPECT_TRUE(gui->HasWindow());
  MSG msg;
  const DWORD end = GetTickCount() + 200;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  EXPECT_EQ(view->removed(), kResultOk);
  view->release();
  DestroyWindow(parent);
}

TEST(ProductEditor, TwoViewsClosedInEitherOrderThenThePlugInGoes) {
  HWND parent = HostWindow();
  for (int order = 0; order < 2; ++order) {
    Hosted h;
    IPlugView* a = h.controller->createView(ViewType::kEditor);
    IPlugView* b = h.controller->createView(ViewType::kEditor);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->attached(parent, kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(a->removed(), kResultOk);
    EXPECT_EQ(b->attached(parent, kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(b->removed(), kResultOk);
    if (order == 0) {
      a->release();
      b->release();
    } else {
      b->release();
      a->release();
    }
  }
  // Both attached at once: the window follows the later view, and removing the earlier one
  // leaves it to the later one.
  for (int order = 0; order < 2; ++order) {
    Hosted h;
    HWND second = HostWindow();
    IPlugView* a = h.controller->createView(ViewType::kEditor);
    IPlugView* b = h.controller->createView(ViewType::kEditor);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->attached(parent, kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(b->attached(second, kPlatformTypeHWND), kResultOk);
    HWND wnd = FindWindowExW(second, nullptr, L"PlugEditorWndClass", nullptr);
    ASSERT_TRUE(wnd);
    EXPECT_FALSE(FindWindowExW(parent, nullptr, L"PlugEditorWndClass", nullptr));
    IPlugView* first = order == 0 ? a : b;
    IPlugView* last = order == 0 ? b : a;
    EXPECT_EQ(first->removed(), kResultOk);
    EXPECT_EQ(IsWindow(wnd) != FALSE, order == 0);
    EXPECT_EQ(last->removed(), kResultOk);
    EXPECT_FALSE(IsWindow(wnd));
    EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
    a->release();
    b->release();
    DestroyWindow(second);
  }
  // A view still attached when the plug-in is destroyed.
  {
    Hosted h;
    IPlugView* v = h.controller->createView(ViewType::kEditor);
    ASSERT_TRUE(v);
    EXPECT_EQ(v->attached(parent, kPlatformTypeHWND), kResultOk);
    EXPECT_EQ(IGraphicsWin::WindowCount(), 1);
    v->removed();
    v->release();
  }
  EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
  DestroyWindow(parent);
}

}  // namespace

namespace {

// The window as the display shows it, read back from the screen.
bool CaptureWindow(HWND wnd, int w, int h, raster::Bitmap* out) {
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = w;
  bmi.bmiHeader.biHeight = -h;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = dib && bits;
  if (ok) {
    HGDIOBJ old = SelectObject(mem, dib);
    POINT origin = {0, 0};
    ClientToScreen(wnd, &origin);
    BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    out->Create(w, h);
    const auto* px = static_cast<const uint32_t*>(bits);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) out->Set(x, y, px[y * w + x] | 0xFF000000u);
    SelectObject(mem, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return ok;
}

void Compare(const raster::Bitmap& a, const raster::Bitmap& b, double* mean, double* largeShare) {
  double sum = 0.0;
  long large = 0;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < a.Width(); ++x) {
      const uint32_t p = a.At(x, y), q = b.At(x, y);
      int worst = 0;
      for (int s = 0; s < 24; s += 8) {
        const int d = std::abs(static_cast<int>((p >> s) & 255) - static_cast<int>((q >> s) & 255));
        sum += d;
        worst = std::max(worst, d);
      }
      if (worst > 48) ++large;
    }
  }
  const double n = static_cast<double>(a.Width()) * a.Height();
  *mean = sum / (3.0 * n);
  *largeShare = large / n;
}

// The same editor state as the headless reference picture of the native build: what the
// window shows must match it but for the fonts.
// At 1x and at 2x (as a host at 200 % asks): the window has the scaled size, shows what the
// headless editor draws at that scale, and takes its clicks in its own pixels.
TEST(ProductEditor, ScreenshotMatchesTheHeadlessReferencePictures) {
  for (const int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    const int w = 600 * scale, h = 475 * scale;
    raster::Bitmap reference;
    const std::string path = std::string(CALDRITH_SOURCE_DIR) + "/tests/editor/reference/" +
                             (scale == 1 ? "editor.png" : "editor@2x.png");
    ASSERT_TRUE(raster::LoadPngFile(path.c_str(), &reference))
        << "the reference picture " << path << " is missing or unreadable";
    ASSERT_EQ(reference.Width(), w);
    ASSERT_EQ(reference.Height(), h);

    // What of the window the virtual screen shows.
    HWND parent = HostWindow();
    ASSERT_TRUE(parent);
    SetWindowPos(parent, nullptr, 0, 0, 1024, 768, SWP_NOZORDER);
    SetForegroundWindow(parent);
    const int cw = std::min(w, 1000), ch = std::min(h, 700);
    constexpr int kBlock = 512;
    auto* plug = new CLS_CALDRITH();
    auto* gui = static_cast<IGraphicsWin*>(plug->GetGUI());
    ASSERT_NE(gui, nullptr);
    for (int i = 0; i < kNumParams; ++i)
      plug->SetParamFromEditor(i, plug->ParamAt(i)->NormalizedValue());
    plug->SetSampleRate(48000.0);
    plug->SetMaxFrames(kBlock);
    plug->Reset();
    plug->SetOutputsConnected(0, 2, true);
    std::vector<double> left(kBlock), right(kBlock);
    double* buffers[2] = {left.data(), right.data()};
    plug->SetParamFromEditor(kPlayAnyway, 1.0);
    const IPixelSize px = gui->SetScaleFactor(scale);
    EXPECT_EQ(px.W, w);
    EXPECT_EQ(px.H, h);
    HWND wnd = static_cast<HWND>(gui->CreateEditorWindow(parent));
    ASSERT_TRUE(wnd);
    RECT client;
    GetClientRect(wnd, &client);
    EXPECT_EQ(client.right - client.left, w);
    EXPECT_EQ(client.bottom - client.top, h);
    plug->EditorOpened();
    for (int i = 0; i < 40; ++i) {
      PlugLock lock(plug->Mutex());
      plug->AttachOutputs(0, 2, buffers);
      plug->ProcessBlock(kBlock);
    }
    for (int i = 0; i < 3; ++i) gui->Tick();

    raster::Bitmap shot, ref, drawn;
    ASSERT_TRUE(CaptureWindow(wnd, cw, ch, &shot));
    raster::SavePngFile(shot, scale == 1 ? "product_window.png" : "product_window@2x.png");
    ref.Create(cw, ch);
    raster::Blit(ref, 0, 0, reference, 0, 0, cw, ch, 1.0f, raster::BlendMode::kCopy);
    double mean = 0.0, largeShare = 0.0;
    Compare(shot, ref, &mean, &largeShare);
    std::printf("window at %dx against reference: mean difference %.3f, large differences %.4f%%\n",
                scale, mean, 100.0 * largeShare);
    EXPECT_LT(mean, 2.0) << "see product_window.png";
    EXPECT_LT(largeShare, 0.01) << "see product_window.png";

    // The draw bitmap reached the screen unchanged.
    drawn.Create(cw, ch);
    raster::Blit(drawn, 0, 0, *gui->DrawBitmap(), 0, 0, cw, ch, 1.0f, raster::BlendMode::kCopy);
    Compare(shot, drawn, &mean, &largeShare);
    EXPECT_LT(largeShare, 0.001);

    // Clicks on "Play Anyway" where this scale draws it switch it, each click the other way.
    double seen[2];
    for (double& v : seen) {
      SendMessageW(wnd, WM_LBUTTONDOWN, MK_LBUTTON, Pos(160 * scale, 243 * scale));
      SendMessageW(wnd, WM_LBUTTONUP, 0, Pos(160 * scale, 243 * scale));
      v = plug->ParamAt(kPlayAnyway)->Value();
    }
    EXPECT_NE(seen[0], seen[1]);

    plug->EditorClosed();
    gui->DestroyEditorWindow();
    plug->release();
    DestroyWindow(parent);
  }
}

}  // namespace
