#include "editor/win32/graphics_win.h"

#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "editor/controls.h"
#include "editor/win32/resource_module.h"
#include "framework/plug_base.h"
#include "framework/plug_param.h"
#include "raster/raster.h"

namespace {

int gWindowCount = 0;
int gCreationFps = 24;  // handed from CreateEditorWindow to the creation handler

// Editors alive in the process. Window user data is only trusted when it names one of
// them, so a stray message after an editor is gone cannot reach freed memory.
std::mutex& LiveLock() {
  static std::mutex m;
  return m;
}
std::vector<IGraphicsWin*>& LiveEditors() {
  static std::vector<IGraphicsWin*> v;
  return v;
}
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr UINT kWmDpiChangedAfterParent = 0x02E3;

bool IsLive(const IGraphicsWin* g) {
  std::lock_guard<std::mutex> lock(LiveLock());
  const auto& v = LiveEditors();
  return std::find(v.begin(), v.end(), g) != v.end();
}

std::wstring Widen(const char* s) {
  std::wstring w;
  if (!s) return w;
  for (; *s; ++s) w.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*s)));
  return w;
}

std::string Narrow(const wchar_t* s, size_t n) {
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n && s[i]; ++i) out.push_back(static_cast<char>(s[i] & 0xFF));
  return out;
}

IInputMods ModsFrom(WPARAM wParam) {
  return IInputMods((wParam & MK_LBUTTON) != 0, (wParam & MK_RBUTTON) != 0,
                    (wParam & MK_SHIFT) != 0, (wParam & MK_CONTROL) != 0, GetKeyState(VK_MENU) < 0);
}

int TranslateKey(WPARAM vk) {
  switch (vk) {
    case VK_SPACE:
      return kKeySpace;
    case VK_UP:
      return kKeyUp;
    case VK_DOWN:
      return kKeyDown;
    case VK_LEFT:
      return kKeyLeft;
    case VK_RIGHT:
      return kKeyRight;
    default:
      break;
  }
  if (vk >= '0' && vk <= '9') return kKeyDigit0 + static_cast<int>(vk - '0');
  if (vk >= 'A' && vk <= 'Z') return kKeyLetterA + static_cast<int>(vk - 'A');
  if (vk >= 0x61 && vk <= 0x7A) return kKeyLetterA + static_cast<int>(vk - 0x61);
  return -1;
}

RECT ToRect(const IBox& b) {
  return RECT{b.L, b.T, b.R, b.B};
}

void FolderOf(const wchar_t* path, DWORD n, std::string* out) {
  out->clear();
  if (!path || n == 0) return;
  std::wstring p(path, n);
  size_t slash = p.find_last_of(L'\\');
  if (slash == std::wstring::npos) return;
  *out = Narrow(p.c_str(), slash + 1);
}

}  // namespace

IGraphics* MakePlatformGraphics(IPlugBase* plugin, int width, int height, int fps) {
  return new IGraphicsWin(plugin, width, height, fps);
}

int IGraphicsWin::WindowCount() {
  return gWindowCount;
}

IGraphicsWin::IGraphicsWin(IPlugBase* plugin, int width, int height, int fps)
    : IGraphics(plugin, width, height, fps), mHInstance(EditorResourceModule()) {
  std::lock_guard<std::mutex> lock(LiveLock());
  LiveEditors().push_back(this);
}

IGraphicsWin::~IGraphicsWin() {
  if (mWnd) DestroyEditorWindow();
  {
    std::lock_guard<std::mutex> lock(LiveLock());
    auto& v = LiveEditors();
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  delete[] mCustomColours;
  mCustomColours = nullptr;
  // The draw bitmap wraps the DIB's memory: let go of it before the DIB goes.
  if (mDib && mDrawBitmap) mDrawBitmap->Reset();
  FreeDib();
}

IGraphicsWin* IGraphicsWin::LiveEditorOf(HWND hWnd) {
  auto* g = reinterpret_cast<IGraphicsWin*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  if (!g || !IsLive(g) || g->mWnd != hWnd) return nullptr;
  return g;
}

// ---- draw surfaces ----

bool IGraphicsWin::CreateDib(int width, int height) {
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO bmi = {};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // top-down, like the raster bitmaps
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!dib || !bits) {
    if (dib) DeleteObject(dib);
    return false;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) {
    DeleteObject(dib);
    return false;
  }
  FreeDib();
  mDib = dib;
  mDrawDC = dc;
  mOldDibObject = SelectObject(mDrawDC, mDib);
  return true;
}

void IGraphicsWin::FreeDib() {
  if (mDrawDC) {
    if (mOldDibObject) SelectObject(mDrawDC, mOldDibObject);
    DeleteDC(mDrawDC);
  }
  if (mDib) DeleteObject(mDib);
  mDrawDC = nullptr;
  mDib = nullptr;
  mOldDibObject = nullptr;
}

bool IGraphicsWin::CreateDrawSurfaces() {
  if (!IGraphics::CreateDrawSurfaces()) return false;
  if (!mDrawBitmap) return false;
  const int w = PixelSize().W, h = PixelSize().H;
  // Without a DIB the owned bitmap stays and PresentFrame copies it with SetDIBitsToDevice.
  if (!CreateDib(w, h)) return true;
  BITMAP info = {};
  GetObject(mDib, sizeof(info), &info);
  raster::Bitmap old;
  old.CopyFrom(*mDrawBitmap);
  mDrawBitmap->Wrap(static_cast<uint32_t*>(info.bmBits), w, h, w);
  if (!old.Empty())
    raster::Blit(*mDrawBitmap, 0, 0, old, 0, 0, w, h, 1.f, raster::BlendMode::kCopy);
  return true;
}

void IGraphicsWin::PresentFrame(const IBox& r) {
  if (!mWnd) return;
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(mWnd, &ps);
  if (dc) {
    if (mDrawDC) {
      BitBlt(dc, r.L, r.T, r.W(), r.H(), mDrawDC, r.L, r.T, SRCCOPY);
    } else if (mDrawBitmap && !mDrawBitmap->Empty()) {
      BITMAPINFO bmi = {};
      bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      bmi.bmiHeader.biWidth = static_cast<LONG>(mDrawBitmap->StridePixels());
      bmi.bmiHeader.biHeight = -mDrawBitmap->Height();
      bmi.bmiHeader.biPlanes = 1;
      bmi.bmiHeader.biBitCount = 32;
      bmi.bmiHeader.biCompression = BI_RGB;
      SetDIBitsToDevice(dc, 0, 0, mDrawBitmap->Width(), mDrawBitmap->Height(), 0, 0, 0,
                        mDrawBitmap->Height(), mDrawBitmap->Pixels(), &bmi, DIB_RGB_COLORS);
    }
  }
  EndPaint(mWnd, &ps);
}

void IGraphicsWin::SetEditorSize(int width, int height) {
  const int oldW = Width(), oldH = Height();
  IGraphics::SetEditorSize(width, height);
  if (mDrawBitmap) {
    if (mDib) mDrawBitmap->Reset();
    FreeDib();
    const IPixelSize px = PixelSize();
    if (CreateDib(px.W, px.H)) {
      BITMAP info = {};
      GetObject(mDib, sizeof(info), &info);
      mDrawBitmap->Wrap(static_cast<uint32_t*>(info.bmBits), px.W, px.H, px.W);
    } else {
      mDrawBitmap->Create(px.W, px.H);
    }
  }
  if (!mWnd) return;
  const int dw = Width() - oldW, dh = Height() - oldH;
  // The editor window and up to two enclosing child windows grow with it.
  HWND wnd = mWnd;
  for (int i = 0; i < 3 && wnd; ++i) {
    RECT r;
    GetWindowRect(wnd, &r);
    SetWindowPos(wnd, nullptr, 0, 0, r.right - r.left + dw, r.bottom - r.top + dh,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!(GetWindowLongPtrW(wnd, GWL_STYLE) & WS_CHILD)) break;
    wnd = GetParent(wnd);
  }
  InvalidateRect(mWnd, nullptr, FALSE);
}

// ---- window ----

void* IGraphicsWin::CreateEditorWindow(void* parentWindow) {
  mParentWnd = static_cast<HWND>(parentWindow);
  int x = 0, y = 0, w = PixelSize().W, h = PixelSize().H;
  if (mWnd) {
    RECT r;
    GetWindowRect(mWnd, &r);
    POINT tl = {r.left, r.top};
    if (mParentWnd) ScreenToClient(mParentWnd, &tl);
    x = tl.x;
    y = tl.y;
    w = r.right - r.left;
    h = r.bottom - r.top;
    DestroyEditorWindow();
  }

  if (gWindowCount == 0) {
    WNDCLASSW wc = {};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = mHInstance;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = WindowClassName();
    // A window destroyed by its parent may have left the class registered; that is fine.
    if (!RegisterClassW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  }

  gCreationFps = FPS();
  HWND wnd = CreateWindowExW(0, WindowClassName(), L"PlugEditor", WS_CHILD | WS_VISIBLE, x, y, w, h,
                             mParentWnd, nullptr, mHInstance, this);
  if (!wnd) {
    mWnd = nullptr;
    if (gWindowCount == 0) UnregisterClassW(WindowClassName(), mHInstance);
    return nullptr;
  }
  // The creation handler already stored mWnd; a window destroyed during creation clears it.
  if (mWnd == wnd) DirtyBackground();
  return mWnd;
}

void IGraphicsWin::DestroyEditorWindow() {
  if (!mWnd) return;
  if (mParamChangeTicks != 0) {
    mParamChangeTicks = 0;
    if (GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
  DestroyWindow(mWnd);  // WM_NCDESTROY does the bookkeeping
  if (gWindowCount == 0) UnregisterClassW(WindowClassName(), mHInstance);
}

// Bookkeeping for a window that is going away, by our own hand or with its parent.
void IGraphicsWin::WindowGone() {
  // A drag cut short by the window going away still ends its edit gesture, so that neither
  // the host nor the next opening sees a control that is held forever.
  if (CapturedControl() >= 0) MouseUp(mLastMouseX, mLastMouseY, IInputMods());
  if (mParamChangeTicks != 0) {
    mParamChangeTicks = 0;
    if (GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
  if (mEditWnd) {
    if (mDefEditProc && IsWindow(mEditWnd))
      SetWindowLongPtrW(mEditWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mDefEditProc));
    mEditWnd = nullptr;  // destroyed with its parent
  }
  mEditControl = nullptr;
  mEditParam = nullptr;
  mDefEditProc = nullptr;
  mEditState = kEditNone;
  if (mEditFont) {
    DeleteObject(mEditFont);
    mEditFont = nullptr;
  }
  if (mCountedWindow) {
    mCountedWindow = false;
    --gWindowCount;
  }
  mWnd = nullptr;
}

LRESULT CALLBACK IGraphicsWin::WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_CREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* g = static_cast<IGraphicsWin*>(cs->lpCreateParams);
    if (!g || !IsLive(g)) return -1;
    SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(g));
    g->mWnd = hWnd;
    g->mCountedWindow = true;
    ++gWindowCount;
    SetTimer(hWnd, kTimerId, static_cast<UINT>(TimerInterval(gCreationFps)), nullptr);
    SetFocus(hWnd);
    return 0;
  }
  IGraphicsWin* g = LiveEditorOf(hWnd);
  if (!g) return DefWindowProcW(hWnd, msg, wParam, lParam);
  return g->HandleMessage(hWnd, msg, wParam, lParam);
}

LRESULT IGraphicsWin::HandleMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam), y = GET_Y_LPARAM(lParam);
  if (msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST && msg != WM_MOUSEWHEEL) {
    mLastMouseX = x;
    mLastMouseY = y;
  }
  switch (msg) {
    case WM_PAINT: {
      RECT r;
      if (GetUpdateRect(hWnd, &r, FALSE)) {
        RedrawArea(IBox(r.left, r.top, r.right, r.bottom));
        // An editor without controls paints nothing; validate anyway or the window would
        // ask to be painted again for ever.
        ValidateRect(hWnd, &r);
      }
      return 0;
    }
    case WM_CLOSE:
      DestroyEditorWindow();
      return 0;
    case WM_MOUSEACTIVATE:
      SetFocus(hWnd);
      return MA_ACTIVATE;
    case WM_KEYDOWN: {
      const int key = TranslateKey(wParam);
      if (key < 0) return 0;
      POINT p;
      GetCursorPos(&p);
      ScreenToClient(hWnd, &p);
      KeyDown(p.x, p.y, key);
      return 0;
    }
    case WM_TIMER:
      if (wParam == kTimerId) {
        Tick();
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      if (GetPlugin())
        return GetPlugin()->EditorColourHook(static_cast<uintptr_t>(wParam),
                                             static_cast<intptr_t>(lParam), msg);
      return 0;
    case WM_MOUSEMOVE:
      if (wParam & (MK_LBUTTON | MK_RBUTTON)) {
        if (GetCapture() == hWnd) MouseDrag(x, y, ModsFrom(wParam));
      } else if (MouseOver(x, y, ModsFrom(wParam))) {
        TRACKMOUSEEVENT tme = {};
        tme.cbSize = sizeof(tme);
        tme.dwFlags = TME_LEAVE;
        tme.hwndTrack = hWnd;
        TrackMouseEvent(&tme);
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      ::ReleaseCapture();  // the window system's, not IGraphics::ReleaseCapture
      MouseUp(x, y, ModsFrom(wParam));
      return 0;
    case WM_LBUTTONDBLCLK:
      if (MouseDoubleClick(x, y, ModsFrom(wParam))) ::SetCapture(hWnd);
      return 0;
    case WM_RBUTTONDOWN:
      if (mEditWnd) {
        mEditState = kEditCancel;
        if (!mEditParam && mEditControl) ApplyPromptText(mEditControl, nullptr, "");
        return 0;
      }
      ::SetCapture(hWnd);
      MouseDown(x, y, ModsFrom(wParam));
      return 0;
    case WM_LBUTTONDOWN:
      if (mEditWnd) mEditState = kEditCommit;
      ::SetCapture(hWnd);
      MouseDown(x, y, ModsFrom(wParam));
      return 0;
    case WM_MOUSEWHEEL: {
      RECT r;
      GetWindowRect(hWnd, &r);
      const int detents = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
      MouseWheel(x - r.left, y - r.top, ModsFrom(GET_KEYSTATE_WPARAM(wParam)), detents);
      return 0;
    }
    case WM_MOUSELEAVE:
      MouseOut();
      return 0;
    case WM_SETCURSOR:
      // Keep the cursor a control chose instead of the class arrow.
      if (LOWORD(lParam) == HTCLIENT && mCursor) {
        SetCursor(mCursor);
        return TRUE;
      }
      break;
    case kWmDpiChanged:
    case kWmDpiChangedAfterParent:
      // Top-level windows get the first, children (ours) the second, when the window moves
      // to a screen of another scale; a host that tells the scale itself sends it anew.
      PlatformScaleChanged(PlatformScaleFactor(nullptr));
      break;
    case WM_NCDESTROY: {
      KillTimer(hWnd, kTimerId);
      SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
      WindowGone();
      return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
    default:
      break;
  }
  return DefWindowProcW(hWnd, msg, wParam, lParam);
}

// ---- the tick ----

void IGraphicsWin::RepaintNow(const IBox& r) {
  RECT rc = ToRect(r);
  InvalidateRect(mWnd, &rc, FALSE);
  if (mEditWnd) {
    RECT er;
    GetWindowRect(mEditWnd, &er);
    MapWindowPoints(nullptr, mWnd, reinterpret_cast<POINT*>(&er), 2);
    ValidateRect(mWnd, &er);
  }
  UpdateWindow(mWnd);
}

void IGraphicsWin::Tick() {
  if (!mWnd) return;
  if (mEditWnd && mEditState != kEditNone) {
    if (mEditState == kEditCommit) {
      wchar_t buf[1001] = {};
      int n = GetWindowTextW(mEditWnd, buf, 1001);
      std::string text = Narrow(buf, n > 0 ? static_cast<size_t>(n) : 0);
      ApplyPromptText(mEditControl, mEditParam, text.c_str());
      CloseEditBox();
    } else if (mEditState == kEditCancel) {
      CloseEditBox();
    }
    mEditState = kEditNone;
  }
  if (!mWnd) return;

  IBox r;
  if (PaintEnabled() && CollectDirtyArea(&r)) RepaintNow(r);
  if (!mWnd) return;
  const IBox anim = AnimatedPixelArea();
  if (anim.W() > 0) RepaintNow(anim);

  if (mParamChangeTicks != 0 && --mParamChangeTicks == 0) {
    if (GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
}

// ---- edit box ----

void IGraphicsWin::OpenEditBox(const IBox& r, DWORD style, const char* text, HFONT font) {
  std::wstring w = Widen(text);
  HWND edit = CreateWindowExW(
      0, L"EDIT", w.c_str(), WS_CHILD | WS_VISIBLE | style, r.L, r.T, r.W(), r.H(), mWnd,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditControlId)), mHInstance, nullptr);
  if (!edit) {
    if (font) DeleteObject(font);
    return;
  }
  mEditWnd = edit;
  mEditState = kEditNone;
  SendMessageW(edit, EM_SETSEL, 0, -1);
  SetFocus(edit);
  mDefEditProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  if (mEditFont) DeleteObject(mEditFont);
  mEditFont = font;
  if (font) SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  // A focus change before the procedure was replaced went unseen.
  if (GetFocus() == edit) mEditState = kEditing;
}

void IGraphicsWin::AskParamValue(IControl* control, PlugParam* param, bool centred) {
  if (!control || !param || mEditWnd || !mWnd) return;
  char current[128], largest[128];
  param->FormatValue(param->Value(), false, current, sizeof(current));
  param->FormatValue(1.0, true, largest, sizeof(largest));
  const IBox& cr = control->Rect();
  IBox box = cr;
  DWORD style = ES_MULTILINE;
  if (centred) {
    const int n = static_cast<int>(std::strlen(largest));
    const int w = std::max(7 * n + 6, 32), h = 16;
    const int cx = cr.L + cr.W() / 2, cy = cr.T + cr.H() / 2;
    box = IBox(cx - w / 2, cy - 8, cx - w / 2 + w, cy - 8 + h);
    style |= ES_CENTER;
  } else {
    style |= ES_LEFT;
  }
  HFONT font = CreateFontW(static_cast<int>(std::lround(14 * Scale())), 0, 0, 0, 0, FALSE, FALSE,
                           FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
  OpenEditBox(ToPixels(box), style, current, font);
  if (!mEditWnd) return;
  mEditControl = control;
  mEditParam = param;
}

void IGraphicsWin::OpenTextEditor(ITextControl* control) {
  if (!control || mEditWnd || !mWnd) return;
  ITextStyle& ts = control->Style();
  DWORD style = ts.align == 0 ? ES_LEFT : ts.align == 2 ? ES_RIGHT : ES_CENTER;
  auto* editable = dynamic_cast<IEditableTextControl*>(control);
  if (!editable || !editable->Editable()) style |= ES_READONLY;
  style |= (editable && editable->Secure()) ? ES_PASSWORD : ES_MULTILINE;
  std::wstring face = Widen(ts.face);
  HFONT font = CreateFontW(static_cast<int>(std::lround(ts.size * Scale())), 0, 0, 0,
                           ts.style == 1 ? FW_BOLD : 0, ts.style == 2, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                           DEFAULT_QUALITY, DEFAULT_PITCH, face.c_str());
  OpenEditBox(ToPixels(control->Rect()), style, control->Text(), font);
  if (!mEditWnd) return;
  mEditControl = control;
  mEditParam = nullptr;
}

void IGraphicsWin::CloseEditBox() {
  if (mEditControl) {
    mEditControl->MarkDirty(true);
    mEditControl->RequestRepaint();
  }
  if (mEditWnd) {
    if (mDefEditProc)
      SetWindowLongPtrW(mEditWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mDefEditProc));
    DestroyWindow(mEditWnd);
  }
  mEditWnd = nullptr;
  mEditControl = nullptr;
  mEditParam = nullptr;
  mDefEditProc = nullptr;
  if (mEditFont) {
    DeleteObject(mEditFont);
    mEditFont = nullptr;
  }
}

LRESULT CALLBACK IGraphicsWin::EditProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND parent = GetParent(hWnd);
  IGraphicsWin* g = parent ? LiveEditorOf(parent) : nullptr;
  if (!g || g->mEditWnd != hWnd || !g->mDefEditProc) {
    // Not (or no longer) our box; hand the message to the edit class itself.
    WNDCLASSW wc;
    if (GetClassInfoW(nullptr, L"EDIT", &wc) && wc.lpfnWndProc != EditProc)
      return CallWindowProcW(wc.lpfnWndProc, hWnd, msg, wParam, lParam);
    return DefWindowProcW(hWnd, msg, wParam, lParam);
  }
  return g->HandleEditMessage(hWnd, msg, wParam, lParam);
}

LRESULT IGraphicsWin::HandleEditMessage(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC def = mDefEditProc;
  switch (msg) {
    case WM_SETFOCUS:
      mEditState = kEditing;
      break;
    case WM_KILLFOCUS:
      mEditState = kEditNone;
      break;
    case WM_KEYDOWN:
      if (wParam == VK_RETURN) {
        wchar_t cls[16] = {};
        GetClassNameW(hWnd, cls, 16);
        if (lstrcmpiW(cls, L"EDIT") == 0) {
          const LRESULT len = CallWindowProcW(def, hWnd, WM_GETTEXTLENGTH, 0, 0);
          CallWindowProcW(def, hWnd, EM_SETSEL, static_cast<WPARAM>(len), len);
        }
        mEditState = kEditCommit;
        return 0;
      }
      mEditState = kEditing;
      break;
    case WM_CHAR:
      // The character that Enter's key-down produces would put a line break into the value.
      if (wParam == '\r' || wParam == '\n') return 0;
      break;
    case WM_GETDLGCODE:
      if (!mEditParam) {
        LRESULT code = CallWindowProcW(def, hWnd, msg, wParam, lParam);
        auto* m = reinterpret_cast<MSG*>(lParam);
        if (m && m->message == WM_KEYDOWN && m->wParam == VK_RETURN) code |= DLGC_WANTMESSAGE;
        return code;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == 1) {
        mEditState = kEditCommit;
        return 0;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(def, hWnd, msg, wParam, lParam);
}

// ---- shell, folders, dialogs ----

void IGraphicsWin::HostFolder(std::string* out) {
  if (!out) return;
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  FolderOf(path, n, out);
}

void IGraphicsWin::ModuleFolder(std::string* out) {
  if (!out) return;
  wchar_t path[MAX_PATH + 1] = {};
  DWORD n = GetModuleFileNameW(mHInstance, path, MAX_PATH);
  FolderOf(path, n, out);
}

bool IGraphicsWin::AskForColour(IRgba* colour, const char* prompt) {
  (void)prompt;
  if (!colour || !mWnd) return false;
  if (!mCustomColours) {
    mCustomColours = new COLORREF[16];
    for (int i = 0; i < 16; ++i) mCustomColours[i] = RGB(255, 255, 255);
  }
  CHOOSECOLORW cc = {};
  cc.lStructSize = sizeof(cc);
  cc.hwndOwner = mWnd;
  cc.rgbResult = RGB(colour->R & 255, colour->G & 255, colour->B & 255);
  cc.lpCustColors = mCustomColours;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&cc)) return false;
  colour->R = GetRValue(cc.rgbResult);
  colour->G = GetGValue(cc.rgbResult);
  colour->B = GetBValue(cc.rgbResult);
  return true;
}

bool IGraphicsWin::OpenWebPage(const char* url, const char* title, const char* confirmText,
                               const char* errorText) {
  if (!url) return false;
  std::wstring wTitle = Widen(title);
  if (confirmText && *confirmText) {
    std::wstring wConfirm = Widen(confirmText);
    if (MessageBoxW(mWnd, wConfirm.c_str(), wTitle.c_str(), MB_YESNO) != IDYES) return false;
  }
  std::wstring wUrl = Widen(url);
  HINSTANCE r = ShellExecuteW(mWnd, L"open", wUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (reinterpret_cast<INT_PTR>(r) > 32) return true;
  if (errorText && *errorText) {
    std::wstring wError = Widen(errorText);
    MessageBoxW(mWnd, wError.c_str(), wTitle.c_str(), MB_OK);
  }
  return false;
}

bool IGraphicsWin::ForwardWheel(int detents) {
  (void)detents;
  return false;
}

// ---- resources ----

raster::Bitmap* IGraphicsWin::DecodeImageResource(int resourceId, const char* name) {
  (void)name;
  HRSRC res = FindResourceW(mHInstance, MAKEINTRESOURCEW(resourceId), L"PNG");
  if (!res) return nullptr;
  const DWORD size = SizeofResource(mHInstance, res);
  if (size <= 7) return nullptr;
  HGLOBAL handle = LoadResource(mHInstance, res);
  const void* data = handle ? LockResource(handle) : nullptr;
  if (!data) return nullptr;
  auto* bmp = new raster::Bitmap();
  if (!raster::DecodePng(data, size, bmp)) {
    delete bmp;
    return nullptr;
  }
  return bmp;
}

void IGraphicsWin::SetPlatformCursor(int id) {
  IGraphics::SetPlatformCursor(id);
  HCURSOR cursor = nullptr;
  switch (id) {
    case 0:
      cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      break;
    case 1:
      cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZEWE));
      break;
    case 2:
      cursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_SIZENS));
      break;
    default: {
      // The cursor drawn for the nearest whole scale (id + 1000 at 2x, + 2000 at 3x).
      const int set = std::min(3, std::max(1, static_cast<int>(std::lround(Scale()))));
      if (set > 1) cursor = LoadCursorW(mHInstance, MAKEINTRESOURCEW(id + (set - 1) * 1000));
      if (!cursor) cursor = LoadCursorW(mHInstance, MAKEINTRESOURCEW(id));
      break;
    }
  }
  if (!cursor) return;
  mCursor = cursor;
  SetCursor(cursor);
}

double IGraphicsWin::PlatformScaleFactor(void* parentWindow) {
  // Loaded by name: Windows before 10 (1607) and older Wine do not have them.
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  using DpiForWindow = UINT(WINAPI*)(HWND);
  using DpiForSystem = UINT(WINAPI*)();
  auto forWindow = user32 ? reinterpret_cast<DpiForWindow>(
                                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForWindow")))
                          : nullptr;
  auto forSystem = user32 ? reinterpret_cast<DpiForSystem>(
                                reinterpret_cast<void*>(GetProcAddress(user32, "GetDpiForSystem")))
                          : nullptr;
  HWND wnd = mWnd ? mWnd : static_cast<HWND>(parentWindow);
  UINT dpi = 0;
  if (forWindow && wnd) dpi = forWindow(wnd);
  if (dpi == 0 && forSystem) dpi = forSystem();
  if (dpi == 0) {
    HDC screen = GetDC(nullptr);
    if (screen) {
      dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX));
      ReleaseDC(nullptr, screen);
    }
  }
  return dpi > 0 ? dpi / 96.0 : 0.0;
}

void IGraphicsWin::ScaleChanged() {
  // A box placed for the old scale closes; the value stays as it was.
  if (mEditWnd) {
    mEditState = kEditNone;
    CloseEditBox();
  }
  if (mCursor && CursorId() != 0) SetPlatformCursor(CursorId());
  if (!mWnd) return;
  const IPixelSize size = PixelSize();
  SetWindowPos(mWnd, nullptr, 0, 0, size.W, size.H, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(mWnd, nullptr, FALSE);
}
