// The editor window driven by real window messages under Wine: mouse, wheel, keys, the edit
// box for typed values, closing in awkward moments, several editors at once, and what the
// window shows on screen.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor/headless.h"
#include "editor/win32/graphics_win.h"
#include "framework/plug_base.h"
#include "raster/raster.h"

namespace {

constexpr int kW = 600, kH = 475;
const IBox kKnobBox(100, 100, 164, 164);
const IBox kTextBox(300, 100, 420, 120);

struct Event {
  std::string what;
  int param;
};

// A plug-in with two continuous parameters that records the edit notifications the editor
// produces, as a host binding would forward them.
class RecordingPlug : public IPlugBase {
 public:
  RecordingPlug()
      : IPlugBase(2, "0-2", 1, "WinTest", "WinTest", "Maker", 0x10000, 1, 1, 0, false, false, true,
                  kAPIVST3) {
    ParamAt(0)->DefineDouble("Rate", 100.0, 0.0, 1000.0, 0.01, "Hz");
    ParamAt(1)->DefineDouble("Volume", 0.5, 0.0, 1.0, 0.01);
  }
  void BeginParamEdit(int idx) override { events.push_back({"begin", idx}); }
  void EndParamEdit(int idx) override { events.push_back({"end", idx}); }
  void ReportParamEdit(int idx, double) override { events.push_back({"edit", idx}); }
  void ShowParamStatus(int idx) override { events.push_back({"status", idx}); }
  int Count(const std::string& what, int idx) const {
    int n = 0;
    for (const auto& e : events) n += (e.what == what && e.param == idx);
    return n;
  }
  std::vector<Event> events;
};

// A knob drawn as a bar whose height follows its value; remembers keys and hover.
class BarKnob : public IKnobControl {
 public:
  BarKnob(IPlugBase* plug, const IBox& r, int idx) : IKnobControl(plug, r, idx) {}
  bool Paint(IGraphics* g) override {
    g->FillBox(IRgba(255, 20, 20, 20), mRect);
    const int h = static_cast<int>(mValue * mRect.H());
    g->FillBox(IRgba(255, 230, 120, 40), IBox(mRect.L, mRect.B - h, mRect.R, mRect.B));
    return true;
  }
  void KeyDown(int, int, int key) override { keys.push_back(key); }
  void MouseOut() override { ++outs; }
  std::vector<int> keys;
  int outs = 0;
};

LRESULT CALLBACK ParentProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, m, w, l);
}

HWND MakeParent() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = L"CaldrithTestHost";
    RegisterClassW(&wc);
    registered = true;
  }
  RECT r = {0, 0, kW, kH};
  AdjustWindowRect(&r, WS_OVERLAPPEDWINDOW, FALSE);
  HWND wnd = CreateWindowExW(0, L"CaldrithTestHost", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20,
                             20, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(wnd);
  return wnd;
}

void Pump(int ms) {
  const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
  MSG msg;
  while (static_cast<int>(end - GetTickCount()) > 0) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
}

LPARAM Pos(int x, int y) {
  return MAKELPARAM(x, y);
}

struct Editor {
  std::unique_ptr<RecordingPlug> plug{new RecordingPlug()};
  IGraphicsWin* gui = nullptr;
  BarKnob* knob = nullptr;
  IEditableTextControl* text = nullptr;
  HWND wnd = nullptr;

  explicit Editor(bool withBackground = true) {
    gui = new IGraphicsWin(plug.get(), kW, kH, 24);
    if (withBackground) gui->SetBackground(100, "img/bg.png");
    knob = new BarKnob(plug.get(), kKnobBox, 0);
    gui->AddControl(knob);
    text = new IEditableTextControl(plug.get(), kTextBox,
                                    ITextStyle("Arial", 12, IRgba(255, 255, 255, 255)), "hello");
    gui->AddControl(text);
    gui->HandleMouseOver(true);
    plug->InstallEditor(gui);  // the plug-in owns it from here
  }
  double Rate() const { return plug->ParamAt(0)->Value(); }
  LRESULT Send(UINT msg, WPARAM w, LPARAM l) { return SendMessageW(wnd, msg, w, l); }
  void Click(int x, int y) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, Pos(x, y));
    Send(WM_LBUTTONUP, 0, Pos(x, y));
  }
  void RightClick(int x, int y) {
    Send(WM_RBUTTONDOWN, MK_RBUTTON, Pos(x, y));
    Send(WM_RBUTTONUP, 0, Pos(x, y));
  }
  void Type(const char* s) {
    HWND edit = gui->EditWindow();
    for (; *s; ++s) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*s), 1);
  }
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    parent = MakeParent();
    ASSERT_TRUE(parent);
  }
  void TearDown() override {
    if (IsWindow(parent)) DestroyWindow(parent);
    Pump(20);
  }
  HWND parent = nullptr;
};

TEST_F(WindowTest, OpensAChildWindowOfTheRegisteredClassAndClosesCleanly) {
  Editor e;
  EXPECT_EQ(IGraphicsWin::TimerInterval(24), 41);
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  EXPECT_EQ(e.gui->EditorWindowHandle(), e.wnd);
  EXPECT_EQ(GetParent(e.wnd), parent);
  EXPECT_EQ(IGraphicsWin::WindowCount(), 1);
  wchar_t cls[64] = {}, title[64] = {};
  GetClassNameW(e.wnd, cls, 64);
  GetWindowTextW(e.wnd, title, 64);
  EXPECT_STREQ(cls, L"PlugEditorWndClass");
  EXPECT_STREQ(title, L"PlugEditor");
  EXPECT_TRUE(GetWindowLongPtrW(e.wnd, GWL_STYLE) & WS_CHILD);
  WNDCLASSW wc;
  ASSERT_TRUE(GetClassInfoW(e.gui->Instance(), L"PlugEditorWndClass", &wc));
  EXPECT_TRUE(wc.style & CS_DBLCLKS);
  RECT r;
  GetClientRect(e.wnd, &r);
  EXPECT_EQ(r.right, kW);
  EXPECT_EQ(r.bottom, kH);

  // Messages for a window the editor does not own go to the default procedure.
  auto proc = reinterpret_cast<WNDPROC>(GetClassLongPtrW(e.wnd, GCLP_WNDPROC));
  CallWindowProcW(proc, parent, WM_LBUTTONDOWN, MK_LBUTTON, Pos(130, 130));
  CallWindowProcW(proc, parent, WM_LBUTTONUP, 0, Pos(130, 130));
  EXPECT_TRUE(e.plug->events.empty());

  e.gui->DestroyEditorWindow();
  EXPECT_FALSE(IsWindow(e.wnd));
  EXPECT_FALSE(e.gui->HasWindow());
  EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
  EXPECT_FALSE(GetClassInfoW(e.gui->Instance(), L"PlugEditorWndClass", &wc));
  e.gui->DestroyEditorWindow();  // closing twice is harmless
}

TEST_F(WindowTest, DragWheelDoubleClickAndKeysReachTheControlUnderTheMouse) {
  Editor e;
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  const int cx = 132, cy = 132;

  // A drag upwards raises the knob; the gesture is bracketed by begin and end.
  const double before = e.Rate();
  e.Send(WM_LBUTTONDOWN, MK_LBUTTON, Pos(cx, cy));
  EXPECT_EQ(GetCapture(), e.wnd);
  e.Send(WM_MOUSEMOVE, MK_LBUTTON, Pos(cx, cy - 20));
  // Beyond the editor's edge the captured knob still follows.
  e.Send(WM_MOUSEMOVE, MK_LBUTTON, Pos(cx, -40));
  e.Send(WM_LBUTTONUP, 0, Pos(cx, -40));
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_GT(e.Rate(), before);
  ASSERT_GE(e.plug->events.size(), 3u);
  EXPECT_EQ(e.plug->events.front().what, "begin");
  EXPECT_EQ(e.plug->events.back().what, "end");
  EXPECT_GE(e.plug->Count("edit", 0), 2);

  // The wheel message carries screen coordinates.
  e.plug->events.clear();
  const double beforeWheel = e.Rate();
  POINT p = {cx, cy};
  ClientToScreen(e.wnd, &p);
  e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), Pos(p.x, p.y));
  EXPECT_NEAR(e.Rate(), beforeWheel + 10.0, 1e-6);
  EXPECT_EQ(e.plug->Count("end", 0), 0);
  EXPECT_EQ(e.gui->ParamChangeTicks(), 12);
  e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-2 * WHEEL_DELTA)), Pos(p.x, p.y));
  EXPECT_NEAR(e.Rate(), beforeWheel - 10.0, 1e-6);
  for (int i = 0; i < 11; ++i) e.gui->Tick();
  EXPECT_EQ(e.plug->Count("end", 0), 0);
  e.gui->Tick();
  EXPECT_EQ(e.plug->Count("end", 0), 1);
  e.gui->Tick();
  EXPECT_EQ(e.plug->Count("end", 0), 1);

  // A wheel step outside the editor's controls' reach (screen origin) changes nothing.
  const double still = e.Rate();
  e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), Pos(p.x + 200, p.y + 200));
  EXPECT_EQ(e.Rate(), still);

  // A double click resets to the value the knob had when the editor was installed.
  e.plug->events.clear();
  e.Send(WM_LBUTTONDBLCLK, MK_LBUTTON, Pos(cx, cy));
  e.Send(WM_LBUTTONUP, 0, Pos(cx, cy));
  EXPECT_NEAR(e.Rate(), 100.0, 1e-9);
  EXPECT_EQ(e.plug->Count("begin", 0), 1);
  EXPECT_EQ(e.plug->Count("end", 0), 1);

  // Keys go to the control under the mouse pointer.
  POINT knobScreen = {cx, cy};
  ClientToScreen(e.wnd, &knobScreen);
  SetCursorPos(knobScreen.x, knobScreen.y);
  POINT at;
  GetCursorPos(&at);
  if (at.x == knobScreen.x && at.y == knobScreen.y) {
    e.Send(WM_KEYDOWN, VK_UP, 0);
    e.Send(WM_KEYDOWN, 'A', 0);
    e.Send(WM_KEYDOWN, 0x7A, 0);
    e.Send(WM_KEYDOWN, '7', 0);
    e.Send(WM_KEYDOWN, VK_SPACE, 0);
    e.Send(WM_KEYDOWN, VK_TAB, 0);
    e.Send(WM_KEYDOWN, VK_ESCAPE, 0);
    e.Send(WM_KEYDOWN, VK_F13, 0);
    EXPECT_EQ(e.knob->keys, (std::vector<int>{1, 16, 41, 13, 0}));
  } else {
    ADD_FAILURE() << "the display did not move the pointer";
  }

  // Hover: status text for the bound control, then mouse-out when the mouse leaves.
  e.plug->events.clear();
  e.Send(WM_MOUSEMOVE, 0, Pos(cx, cy));
  e.Send(WM_MOUSEMOVE, 0, Pos(cx + 1, cy));
  EXPECT_EQ(e.plug->Count("status", 0), 2);
  const int outs = e.knob->outs;
  e.Send(WM_MOUSELEAVE, 0, 0);
  EXPECT_GT(e.knob->outs, outs);

  // Closing with a wheel edit pending ends it at once.
  e.plug->events.clear();
  e.Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), Pos(p.x, p.y));
  ASSERT_EQ(e.gui->ParamChangeTicks(), 12);
  e.gui->DestroyEditorWindow();
  EXPECT_EQ(e.plug->Count("end", 0), 1);
  EXPECT_EQ(e.gui->ParamChangeTicks(), 0);
}

TEST_F(WindowTest, TypedValuesAreCommittedOrCancelledOnTheNextTick) {
  Editor e;
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);

  // Right-click opens the box over the knob with the current value selected.
  e.RightClick(132, 132);
  HWND edit = e.gui->EditWindow();
  ASSERT_TRUE(edit);
  wchar_t cls[16] = {};
  GetClassNameW(edit, cls, 16);
  EXPECT_EQ(lstrcmpiW(cls, L"EDIT"), 0);
  EXPECT_EQ(GetDlgCtrlID(edit), IGraphicsWin::kEditControlId);
  EXPECT_EQ(GetParent(edit), e.wnd);
  char largest[128];
  e.plug->ParamAt(0)->FormatValue(1.0, true, largest, 128);
  RECT er;
  GetWindowRect(edit, &er);
  EXPECT_EQ(er.right - er.left, std::max(7 * static_cast<int>(strlen(largest)) + 6, 32));
  EXPECT_EQ(er.bottom - er.top, 16);
  MapWindowPoints(nullptr, e.wnd, reinterpret_cast<POINT*>(&er), 2);
  EXPECT_EQ(er.top, 132 - 8);
  char current[128];
  e.plug->ParamAt(0)->FormatValue(e.Rate(), false, current, 128);
  wchar_t text[64] = {};
  GetWindowTextW(edit, text, 64);
  EXPECT_EQ(std::wstring(text), std::wstring(current, current + strlen(current)));
  DWORD selStart = 0, selEnd = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
               reinterpret_cast<LPARAM>(&selEnd));
  EXPECT_EQ(selStart, 0u);
  EXPECT_EQ(selEnd, static_cast<DWORD>(strlen(current)));

  // A second prompt while one is open changes nothing.
  e.RightClick(132, 132);
  EXPECT_EQ(e.gui->EditWindow(), edit);

  // "440" and Enter: nothing happens until the tick.
  e.plug->events.clear();
  e.Type("440");
  SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
  EXPECT_EQ(e.gui->EditState(), IGraphicsWin::kEditCommit);
  EXPECT_NEAR(e.Rate(), 100.0, 1e-9);
  e.gui->Tick();
  EXPECT_EQ(e.gui->EditWindow(), nullptr);
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_NEAR(e.Rate(), 440.0, 1e-9);
  EXPECT_EQ(e.plug->Count("begin", 0), 1);
  EXPECT_EQ(e.plug->Count("end", 0), 1);

  // A right click cancels: the value stays, the knob pushes its own value once more.
  e.RightClick(132, 132);
  ASSERT_TRUE(e.gui->EditWindow());
  e.Type("123");
  e.plug->events.clear();
  e.Send(WM_RBUTTONDOWN, MK_RBUTTON, Pos(500, 400));
  EXPECT_EQ(e.gui->EditState(), IGraphicsWin::kEditCancel);
  e.Send(WM_RBUTTONUP, 0, Pos(500, 400));
  e.gui->Tick();
  EXPECT_EQ(e.gui->EditWindow(), nullptr);
  EXPECT_NEAR(e.Rate(), 440.0, 1e-9);
  EXPECT_EQ(e.plug->Count("begin", 0), 0);
  EXPECT_EQ(e.plug->Count("edit", 0), 1);

  // A left click elsewhere commits and is handled as a click too.
  e.RightClick(132, 132);
  ASSERT_TRUE(e.gui->EditWindow());
  e.Type("250");
  e.plug->events.clear();
  e.Click(132, 132);
  EXPECT_EQ(e.plug->Count("begin", 0), 1);  // the click on the knob itself
  e.gui->Tick();
  EXPECT_NEAR(e.Rate(), 250.0, 1e-9);

  // Closing with a box open leaves nothing behind, and a tick afterwards does nothing.
  e.RightClick(132, 132);
  edit = e.gui->EditWindow();
  ASSERT_TRUE(edit);
  e.gui->DestroyEditorWindow();
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(e.gui->EditWindow(), nullptr);
  e.gui->Tick();
  EXPECT_NEAR(e.Rate(), 250.0, 1e-9);

  // The box works again after reopening.
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  e.RightClick(132, 132);
  ASSERT_TRUE(e.gui->EditWindow());
  e.Type("12.5");
  SendMessageW(e.gui->EditWindow(), WM_KEYDOWN, VK_RETURN, 1);
  e.gui->Tick();
  EXPECT_NEAR(e.Rate(), 12.5, 1e-9);
  e.gui->DestroyEditorWindow();
}

TEST_F(WindowTest, FreeTextEntryEditsATextControl) {
  Editor e;
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  e.gui->OpenTextEditor(e.text);
  HWND edit = e.gui->EditWindow();
  ASSERT_TRUE(edit);
  RECT er;
  GetWindowRect(edit, &er);
  MapWindowPoints(nullptr, e.wnd, reinterpret_cast<POINT*>(&er), 2);
  EXPECT_EQ(er.left, kTextBox.L);
  EXPECT_EQ(er.top, kTextBox.T);
  SetWindowTextW(edit, L"world");
  // Enter as the keyboard delivers it: the key-down, then its character.
  SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 1);
  SendMessageW(edit, WM_CHAR, '\r', 1);
  e.gui->Tick();
  EXPECT_STREQ(e.text->Text(), "world");

  // A right click empties the text and closes the box.
  e.gui->OpenTextEditor(e.text);
  ASSERT_TRUE(e.gui->EditWindow());
  e.RightClick(500, 400);
  e.gui->Tick();
  EXPECT_EQ(e.gui->EditWindow(), nullptr);
  EXPECT_STREQ(e.text->Text(), "");
  e.gui->DestroyEditorWindow();
}

TEST_F(WindowTest, ClosingDuringADragEndsTheGesture) {
  Editor e;
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  e.Send(WM_LBUTTONDOWN, MK_LBUTTON, Pos(132, 132));
  e.Send(WM_MOUSEMOVE, MK_LBUTTON, Pos(132, 120));
  e.gui->DestroyEditorWindow();
  EXPECT_EQ(e.plug->Count("begin", 0), 1);
  EXPECT_EQ(e.plug->Count("end", 0), 1);
  EXPECT_EQ(e.gui->CapturedControl(), -1);
  EXPECT_NE(GetCapture(), e.wnd);
}

TEST_F(WindowTest, SeveralEditorsOpenAndCloseInAnyOrder) {
  WNDCLASSW wc;
  for (int order = 0; order < 2; ++order) {
    auto a = std::make_unique<Editor>();
    auto b = std::make_unique<Editor>();
    a->wnd = static_cast<HWND>(a->gui->CreateEditorWindow(parent));
    b->wnd = static_cast<HWND>(b->gui->CreateEditorWindow(parent));
    ASSERT_TRUE(a->wnd && b->wnd);
    EXPECT_EQ(IGraphicsWin::WindowCount(), 2);
    Pump(120);  // a few timer ticks with both open
    Editor* first = order == 0 ? a.get() : b.get();
    Editor* second = order == 0 ? b.get() : a.get();
    first->gui->DestroyEditorWindow();
    EXPECT_EQ(IGraphicsWin::WindowCount(), 1);
    EXPECT_TRUE(GetClassInfoW(second->gui->Instance(), L"PlugEditorWndClass", &wc));
    second->Click(132, 132);
    second->gui->DestroyEditorWindow();
    EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
    EXPECT_FALSE(GetClassInfoW(second->gui->Instance(), L"PlugEditorWndClass", &wc));
  }

  // A host that destroys its window before closing the editor, and a plug-in destroyed
  // with its editor still open.
  {
    Editor a;
    auto b = std::make_unique<Editor>();
    a.wnd = static_cast<HWND>(a.gui->CreateEditorWindow(parent));
    b->wnd = static_cast<HWND>(b->gui->CreateEditorWindow(parent));
    ASSERT_TRUE(a.wnd && b->wnd);
    b.reset();
    EXPECT_FALSE(IsWindow(b ? nullptr : a.wnd) && false);
    EXPECT_EQ(IGraphicsWin::WindowCount(), 1);
    DestroyWindow(parent);
    EXPECT_FALSE(a.gui->HasWindow());
    EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
    a.gui->DestroyEditorWindow();
    EXPECT_EQ(IGraphicsWin::WindowCount(), 0);
  }
  parent = MakeParent();
  Editor c;
  ASSERT_TRUE(c.gui->CreateEditorWindow(parent));
  EXPECT_EQ(IGraphicsWin::WindowCount(), 1);
  c.gui->DestroyEditorWindow();
}

// What reaches the screen matches the same editor drawn without a window.
TEST_F(WindowTest, ScreenshotMatchesTheHeadlessPicture) {
  Editor e;
  e.plug->ParamAt(0)->SetValue(700.0);
  e.plug->SendParamsToEditor();
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  Pump(400);

  // The window as the display shows it.
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = kW;
  bmi.bmiHeader.biHeight = -kH;
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  ASSERT_TRUE(dib && bits);
  HGDIOBJ old = SelectObject(mem, dib);
  POINT origin = {0, 0};
  ClientToScreen(e.wnd, &origin);
  BitBlt(mem, 0, 0, kW, kH, screen, origin.x, origin.y, SRCCOPY);
  GdiFlush();
  raster::Bitmap shot;
  shot.Create(kW, kH);
  const auto* px = static_cast<const uint32_t*>(bits);
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) shot.Set(x, y, px[y * kW + x] | 0xFF000000u);
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  raster::SavePngFile(shot, "window_screenshot.png");

  // The same editor, headless.
  RecordingPlug plug2;
  auto* headless = new IGraphicsHeadless(&plug2, kW, kH, 24);
  std::vector<unsigned char> bg;
  {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(100), L"PNG");
    ASSERT_TRUE(res);
    auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(nullptr, res)));
    bg.assign(data, data + SizeofResource(nullptr, res));
  }
  headless->SetImageOverride(100, bg);
  headless->SetBackground(100, "img/bg.png");
  headless->AddControl(new BarKnob(&plug2, kKnobBox, 0));
  headless->AddControl(new IEditableTextControl(
      &plug2, kTextBox, ITextStyle("Arial", 12, IRgba(255, 255, 255, 255)), "hello"));
  plug2.ParamAt(0)->SetValue(700.0);
  plug2.InstallEditor(headless);
  headless->CreateEditorWindow(nullptr);
  headless->Tick();
  raster::SavePngFile(headless->Screen(), "headless_picture.png");

  // Text is drawn by different font back ends; allow for it, but the rest must agree.
  long differing = 0;
  double sum = 0;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      const uint32_t a = shot.At(x, y), b = headless->Screen().At(x, y);
      const int d = std::abs(int(raster::RedOf(a)) - int(raster::RedOf(b))) +
                    std::abs(int(raster::GreenOf(a)) - int(raster::GreenOf(b))) +
                    std::abs(int(raster::BlueOf(a)) - int(raster::BlueOf(b)));
      sum += d;
      if (d > 24) ++differing;
    }
  }
  EXPECT_LT(differing, kW * kH / 100) << "see window_screenshot.png and headless_picture.png";
  EXPECT_LT(sum / (kW * kH), 3.0);
  // The knob shows 70 %: its bar top is lit, the part above is dark.
  const uint32_t lit = shot.At(132, kKnobBox.B - 5), dark = shot.At(132, kKnobBox.T + 5);
  EXPECT_GT(raster::RedOf(lit), 150u);
  EXPECT_LT(raster::RedOf(dark), 60u);
  e.gui->DestroyEditorWindow();
}

}  // namespace

namespace {

TEST_F(WindowTest, FoldersWebPagesAndImageResources) {
  Editor e;
  std::string host, module;
  e.gui->HostFolder(&host);
  e.gui->ModuleFolder(&module);
  wchar_t exe[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::string exePath;
  for (DWORD i = 0; i < n; ++i) exePath.push_back(static_cast<char>(exe[i] & 0xFF));
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(host.back(), '\\');
  EXPECT_EQ(exePath.rfind(host, 0), 0u);
  EXPECT_EQ(exePath.find('\\', host.size()), std::string::npos);
  // The editor is linked into this program, so its module is the program.
  EXPECT_EQ(module, host);

  // A page that cannot be opened answers false (and, without an error text, asks nothing).
  e.wnd = static_cast<HWND>(e.gui->CreateEditorWindow(parent));
  ASSERT_TRUE(e.wnd);
  EXPECT_FALSE(e.gui->OpenWebPage("caldrith-no-such-scheme:nothing", "Caldrith", nullptr, nullptr));
  EXPECT_FALSE(e.gui->OpenWebPage(nullptr, "Caldrith", nullptr, nullptr));

  // Images come from the module's PNG resources; other ids give nothing.
  std::unique_ptr<raster::Bitmap> knob(e.gui->DecodeImageResource(103, "img/knob.png"));
  ASSERT_TRUE(knob);
  EXPECT_EQ(knob->Width(), 184);
  EXPECT_EQ(knob->Height(), 92);
  EXPECT_EQ(e.gui->DecodeImageResource(99, "cursor, not a PNG"), nullptr);
  EXPECT_EQ(e.gui->DecodeImageResource(4242, "missing"), nullptr);
  e.gui->DestroyEditorWindow();
}

}  // namespace
