#include "editor/x11/graphics_x11.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <xcb/render.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>

#include "editor/controls.h"
#include "editor/embedded_resources.h"
#include "editor/x11/cursor_image.h"
#include "editor/x11/x11_keys.h"
#include "framework/plug_base.h"
#include "framework/plug_param.h"
#include "raster/raster.h"

extern char** environ;

namespace {

// Cursor font glyphs.
constexpr int kGlyphSbDownArrow = 106;
constexpr int kGlyphSbHDoubleArrow = 108;
constexpr int kGlyphSbUpArrow = 114;
constexpr int kGlyphSbVDoubleArrow = 116;

constexpr uint16_t kShiftMask = XCB_MOD_MASK_SHIFT, kLockMask = XCB_MOD_MASK_LOCK,
                   kControlMask = XCB_MOD_MASK_CONTROL, kAltMask = XCB_MOD_MASK_1,
                   kNumLockMask = XCB_MOD_MASK_2;

IInputMods ModsFrom(uint16_t state, bool left, bool right) {
  return IInputMods(left, right, (state & kShiftMask) != 0, (state & kControlMask) != 0,
                    (state & kAltMask) != 0);
}

// Children of OpenWebPage, reaped by whichever editor ticks next, so that none is left a
// zombie for long and nobody waits for a browser.
std::mutex& ChildLock() {
  static std::mutex m;
  return m;
}
std::vector<pid_t>& Children() {
  static std::vector<pid_t> v;
  return v;
}
void ReapChildren() {
  std::lock_guard<std::mutex> lock(ChildLock());
  auto& v = Children();
  v.erase(std::remove_if(v.begin(), v.end(),
                         [](pid_t pid) {
                           int status = 0;
                           const pid_t r = waitpid(pid, &status, WNOHANG);
                           // Reaped, or not ours to wait for (a host that ignores SIGCHLD).
                           return r == pid || (r < 0 && errno == ECHILD);
                         }),
          v.end());
}

int ShiftOf(uint32_t mask) {
  int s = 0;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++s;
  }
  return s;
}
int BitsOf(uint32_t mask) {
  int n = 0;
  for (; mask; mask >>= 1) n += mask & 1;
  return n;
}
uint32_t Channel(uint32_t value8, uint32_t mask) {
  const int bits = BitsOf(mask);
  if (bits == 0) return 0;
  const uint32_t v = bits >= 8 ? value8 << (bits - 8) : value8 >> (8 - bits);
  return (v << ShiftOf(mask)) & mask;
}

// Xft.dpi from the text of the RESOURCE_MANAGER property ("name:\tvalue" lines).
double XftDpi(const char* text, size_t len) {
  const std::string db(text, len);
  size_t pos = 0;
  while (pos < db.size()) {
    size_t end = db.find('\n', pos);
    if (end == std::string::npos) end = db.size();
    const std::string line = db.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, 8, "Xft.dpi:") != 0) continue;
    char* stop = nullptr;
    const double dpi = std::strtod(line.c_str() + 8, &stop);
    if (stop != line.c_str() + 8 && dpi > 0.0 && dpi < 10000.0) return dpi;
  }
  return 0.0;
}

bool HostIsLittleEndian() {
  const uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

}  // namespace

IGraphics* MakePlatformGraphics(IPlugBase* plugin, int width, int height, int fps) {
  return new IGraphicsX11(plugin, width, height, fps);
}

int IGraphicsX11::UnreapedChildren() {
  std::lock_guard<std::mutex> lock(ChildLock());
  return static_cast<int>(Children().size());
}

IGraphicsX11::IGraphicsX11(IPlugBase* plugin, int width, int height, int fps)
    : IGraphicsHeadless(plugin, width, height, fps) {}

IGraphicsX11::~IGraphicsX11() {
  if (mWindow) DestroyEditorWindow();
  // Views hold the plug-in, and the plug-in this editor, so nobody can still hold the
  // descriptor; close regardless.
  mHolders = 0;
  Disconnect();
  ReapChildren();
}

// ---- connection ----

bool IGraphicsX11::Connect() {
  if (mConn) return !mBroken;
  int screen = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screen);
  if (!c) return false;
  if (xcb_connection_has_error(c)) {
    xcb_disconnect(c);
    return false;
  }
  mConn = c;
  mFd = xcb_get_file_descriptor(c);
  mBroken = false;
  mErrors = 0;
  mCursors.clear();
  // Large pictures go in bands that fit one request.
  mMaxRequestBytes = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4;
  if (mMaxRequestBytes < 4096) mMaxRequestBytes = 4096;
  LoadKeyboardMapping();
  return true;
}

void IGraphicsX11::Disconnect() {
  if (!mConn) return;
  if (!mBroken) {
    for (const CursorEntry& e : mCursors) xcb_free_cursor(mConn, e.cursor);
    Flush();
  }
  mCursors.clear();
  xcb_disconnect(mConn);
  mConn = nullptr;
  mFd = -1;
  mBroken = false;
  mKeysyms.clear();
}

void IGraphicsX11::Flush() {
  if (!mConn || mBroken) return;
  if (xcb_flush(mConn) <= 0 || xcb_connection_has_error(mConn)) ConnectionLost();
}

int IGraphicsX11::AcquireEventSource() {
  if (!mConn || mFd < 0) return -1;
  ++mHolders;
  return mFd;
}

void IGraphicsX11::ReleaseEventSource() {
  if (mHolders > 0) --mHolders;
  if (mHolders == 0 && !mWindow) Disconnect();
}

void IGraphicsX11::LoadKeyboardMapping() {
  mKeysyms.clear();
  mKeysymsPerKeycode = 0;
  const xcb_setup_t* setup = xcb_get_setup(mConn);
  if (!setup || setup->max_keycode < setup->min_keycode) return;
  mMinKeycode = setup->min_keycode;
  const uint8_t count = static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1);
  xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
      mConn, xcb_get_keyboard_mapping(mConn, setup->min_keycode, count), nullptr);
  if (!reply) return;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
  const int n = xcb_get_keyboard_mapping_keysyms_length(reply);
  mKeysymsPerKeycode = reply->keysyms_per_keycode;
  mKeysyms.assign(syms, syms + std::max(n, 0));
  free(reply);
}

uint32_t IGraphicsX11::KeysymFor(uint8_t keycode, uint16_t state) const {
  const int per = mKeysymsPerKeycode;
  if (per <= 0 || keycode < mMinKeycode) return 0;
  const size_t base = static_cast<size_t>(keycode - mMinKeycode) * static_cast<size_t>(per);
  if (base >= mKeysyms.size()) return 0;
  const uint32_t plain = mKeysyms[base];
  const uint32_t shifted = per > 1 && base + 1 < mKeysyms.size() ? mKeysyms[base + 1] : 0;
  // The keypad's second level is its digits while Num Lock is on.
  const bool keypad = shifted >= 0xff80 && shifted <= 0xffbd;
  bool useShifted = (state & kShiftMask) != 0;
  if (keypad && (state & kNumLockMask)) useShifted = !useShifted;
  uint32_t sym = useShifted && shifted ? shifted : plain;
  // Caps Lock only changes the case of letters.
  if ((state & kLockMask) && !(state & kShiftMask)) {
    if (sym >= 'a' && sym <= 'z') sym -= 32;
  }
  return sym;
}

// ---- window ----

void* IGraphicsX11::CreateEditorWindow(void* parentWindow) {
  if (!parentWindow) {
    if (mWindow) DestroyEditorWindow();
    return IGraphicsHeadless::CreateEditorWindow(nullptr);
  }
  const uintptr_t parent = reinterpret_cast<uintptr_t>(parentWindow);
  // X ids have 29 bits; anything else is not a window.
  if (parent > 0x1fffffffu) return nullptr;
  if (IGraphicsHeadless::HasWindow()) IGraphicsHeadless::DestroyEditorWindow();
  if (mWindow) {
    // A second parent: the window moves there, as the Windows window does.
    const uint32_t old = mWindow, oldGc = mGc;
    WindowGone();
    if (mConn && !mBroken) {
      xcb_free_gc(mConn, oldGc);
      xcb_destroy_window(mConn, old);
    }
  }
  if (mBroken && mHolders == 0) Disconnect();
  if (!Connect()) {
    if (mHolders == 0) Disconnect();
    return nullptr;
  }
  if (!CreateWindow(static_cast<uint32_t>(parent))) {
    if (mHolders == 0) Disconnect();
    return nullptr;
  }
  DirtyBackground();
  return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
}

bool IGraphicsX11::CreateWindow(uint32_t parent) {
  xcb_generic_error_t* error = nullptr;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(mConn, xcb_get_geometry(mConn, parent), &error);
  free(error);
  if (!geometry) return false;
  const uint32_t root = geometry->root;
  free(geometry);

  const xcb_setup_t* setup = xcb_get_setup(mConn);
  xcb_screen_t* screen = nullptr;
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it)) {
    if (it.data->root == root) screen = it.data;
  }
  if (!screen) return false;

  // How the root visual wants its pixels.
  PixelFormat format;
  format.depth = screen->root_depth;
  format.lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  bool haveVisual = false;
  for (xcb_depth_iterator_t d = xcb_screen_allowed_depths_iterator(screen); d.rem && !haveVisual;
       xcb_depth_next(&d)) {
    for (xcb_visualtype_iterator_t v = xcb_depth_visuals_iterator(d.data); v.rem;
         xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) {
        format.red = v.data->red_mask;
        format.green = v.data->green_mask;
        format.blue = v.data->blue_mask;
        haveVisual = v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR ||
                     v.data->_class == XCB_VISUAL_CLASS_DIRECT_COLOR;
        break;
      }
    }
  }
  if (!haveVisual) return false;
  bool haveFormat = false;
  for (xcb_format_iterator_t f = xcb_setup_pixmap_formats_iterator(setup); f.rem;
       xcb_format_next(&f)) {
    if (f.data->depth == format.depth) {
      format.bitsPerPixel = f.data->bits_per_pixel;
      haveFormat =
          f.data->scanline_pad == 32 &&
          (format.bitsPerPixel == 32 || format.bitsPerPixel == 24 || format.bitsPerPixel == 16);
    }
  }
  if (!haveFormat) return false;
  format.native = format.bitsPerPixel == 32 && format.red == 0xff0000 && format.green == 0xff00 &&
                  format.blue == 0xff && format.lsbFirst == HostIsLittleEndian();
  mFormat = format;

  // Hosts embed with XEmbed: the window says which protocol version it speaks, and does so in
  // the same batch that creates it, since an embedder reads it as soon as it sees the window.
  const uint32_t embedInfo = InternAtom("_XEMBED_INFO");
  InternAtom("_XEMBED");

  const uint32_t window = xcb_generate_id(mConn);
  const uint32_t eventMask = XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_BUTTON_PRESS |
                             XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION |
                             XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_LEAVE_WINDOW |
                             XCB_EVENT_MASK_FOCUS_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
  // No background: every pixel is ours to paint, so nothing flickers in between.
  const uint32_t values[] = {XCB_BACK_PIXMAP_NONE, 0, eventMask, screen->default_colormap};
  xcb_void_cookie_t created = xcb_create_window_checked(
      mConn, screen->root_depth, window, parent, 0, 0, static_cast<uint16_t>(PixelSize().W),
      static_cast<uint16_t>(PixelSize().H), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
      XCB_CW_BACK_PIXMAP | XCB_CW_BORDER_PIXEL | XCB_CW_EVENT_MASK | XCB_CW_COLORMAP, values);
  if (embedInfo) {
    // Version 0, flags 0: the embedder may map the window; it is mapped here all the same,
    // for hosts that just give a parent.
    const uint32_t info[2] = {0, 0};
    xcb_change_property(mConn, XCB_PROP_MODE_REPLACE, window, embedInfo, embedInfo, 32, 2, info);
  }
  const uint32_t gc = xcb_generate_id(mConn);
  const uint32_t gcValues[] = {0};
  xcb_create_gc(mConn, gc, window, XCB_GC_GRAPHICS_EXPOSURES, gcValues);
  xcb_map_window(mConn, window);
  error = xcb_request_check(mConn, created);
  if (error) {
    // The parent went away in between, or the server refused; what followed failed with it.
    free(error);
    return false;
  }

  mWindow = window;
  mParent = parent;
  mGc = gc;
  mRoot = root;
  mCaptured = mPressInBox = mTrackingLeave = mHasFocus = false;
  mLastPressButton = 0;
  mExposed = IBox();
  if (CursorId() != 0) SetPlatformCursor(CursorId());
  // The window takes the keyboard focus, as the Windows one does on creation. The server
  // refuses while the host's window is not yet shown; the first click asks again.
  TakeFocus(XCB_CURRENT_TIME);
  Flush();
  return !mBroken;
}

void IGraphicsX11::DestroyEditorWindow() {
  if (!mWindow) {
    if (IGraphicsHeadless::HasWindow()) IGraphicsHeadless::DestroyEditorWindow();
    if (mHolders == 0) Disconnect();
    return;
  }
  // A pending wheel edit ends before the window goes, as on Windows.
  if (EditEndTicks() != 0) {
    StopEditEndCountdown();
    if (GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
  const uint32_t window = mWindow, gc = mGc;
  WindowGone();
  if (mConn && !mBroken) {
    // Already gone with the host's window is fine: the error is read and dropped.
    xcb_free_gc(mConn, gc);
    xcb_destroy_window(mConn, window);
    Flush();
  }
  if (mHolders == 0) Disconnect();
}

// Bookkeeping for a window that is going away, by our hand, with the host's window or with
// the connection.
void IGraphicsX11::WindowGone() {
  if (!mWindow) return;
  // A drag cut short still ends its edit gesture, so no control stays held for ever.
  if (CapturedControl() >= 0) MouseUp(mLastX, mLastY, IInputMods());
  mCaptured = mPressInBox = false;
  if (EditEndTicks() != 0) {
    StopEditEndCountdown();
    if (GetPlugin()) GetPlugin()->FlushParamEditEnd();
  }
  mBox.Close();
  mEditControl = nullptr;
  mEditParam = nullptr;
  mEditState = kEditNone;
  mBoxPixels.Reset();
  mWindow = 0;
  mGc = 0;
}

void IGraphicsX11::ConnectionLost() {
  if (mBroken) return;
  mBroken = true;
  WindowGone();
}

bool IGraphicsX11::HasWindow() const {
  return mWindow != 0 || IGraphicsHeadless::HasWindow();
}

void* IGraphicsX11::EditorWindowHandle() const {
  if (mWindow) return reinterpret_cast<void*>(static_cast<uintptr_t>(mWindow));
  return IGraphicsHeadless::EditorWindowHandle();
}

uint32_t IGraphicsX11::InternAtom(const char* name) {
  xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
      mConn, xcb_intern_atom(mConn, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const uint32_t atom = reply ? reply->atom : 0;
  free(reply);
  return atom;
}

void IGraphicsX11::TakeFocus(uint32_t time) {
  if (!mConn || mBroken || !mWindow) return;
  xcb_set_input_focus(mConn, XCB_INPUT_FOCUS_PARENT, mWindow, time);
}

double IGraphicsX11::PlatformScaleFactor(void* parentWindow) {
  (void)parentWindow;
  // The editor's own connection when there is one; otherwise a short one of our own, so
  // that a host can learn the size before it makes a window.
  xcb_connection_t* c = mConn && !mBroken ? mConn : nullptr;
  const bool own = !c;
  if (own) {
    c = xcb_connect(nullptr, nullptr);
    if (!c || xcb_connection_has_error(c)) {
      if (c) xcb_disconnect(c);
      return 0.0;
    }
  }
  double dpi = 0.0;
  const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  if (it.rem) {
    // The resource database lives on the first screen's root window.
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, it.data->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0,
                         1 << 20),
        nullptr);
    if (reply && reply->format == 8) {
      dpi = XftDpi(static_cast<const char*>(xcb_get_property_value(reply)),
                   static_cast<size_t>(xcb_get_property_value_length(reply)));
    }
    free(reply);
  }
  if (own) xcb_disconnect(c);
  return dpi > 0.0 ? dpi / 96.0 : 0.0;
}

void IGraphicsX11::ScaleChanged() {
  IGraphicsHeadless::ScaleChanged();
  if (mBox.IsOpen()) {
    // The box was placed for the old scale; the value is kept as it was.
    mEditState = kEditNone;
    CloseEditBox();
  }
  mBoxPixels.Reset();
  if (!mConn || mBroken) return;
  // Cursors are drawn for a scale; the current one is made anew.
  for (const CursorEntry& e : mCursors) xcb_free_cursor(mConn, e.cursor);
  mCursors.clear();
  if (!mWindow) return;
  const IPixelSize size = PixelSize();
  const uint32_t values[] = {static_cast<uint32_t>(size.W), static_cast<uint32_t>(size.H)};
  xcb_configure_window(mConn, mWindow, XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, values);
  if (CursorId() != 0) SetPlatformCursor(CursorId());
  DirtyBackground();
  Flush();
}

// ---- painting ----

void IGraphicsX11::PresentFrame(const IBox& r) {
  IGraphicsHeadless::PresentFrame(r);
  if (mWindow) Upload(r);
}

void IGraphicsX11::Upload(const IBox& area) {
  if (!mConn || mBroken || !mWindow || !mDrawBitmap || mDrawBitmap->Empty()) return;
  const IBox r = area.Intersect(IBox(0, 0, mDrawBitmap->Width(), mDrawBitmap->Height()));
  if (r.W() <= 0 || r.H() <= 0) return;
  const bool box = mBox.IsOpen() && r.Overlaps(mBox.Box());
  if (box) {
    const IBox& b = mBox.Box();
    if (mBoxPixels.Width() != b.W() || mBoxPixels.Height() != b.H())
      mBoxPixels.Create(b.W(), b.H());
    mBox.Paint(mBoxPixels, b.L, b.T);
  }
  const int bytesPerPixel = mFormat.bitsPerPixel / 8;
  const size_t rowBytes = ((static_cast<size_t>(r.W()) * mFormat.bitsPerPixel + 31) / 32) * 4;
  const size_t room = mMaxRequestBytes > 64 ? mMaxRequestBytes - 64 : rowBytes;
  const int band = std::max(1, static_cast<int>(room / rowBytes));
  for (int top = r.T; top < r.B; top += band) {
    const int rows = std::min(band, r.B - top);
    mUploadBuffer.resize((rowBytes * rows + 3) / 4);
    auto* out = reinterpret_cast<unsigned char*>(mUploadBuffer.data());
    for (int y = 0; y < rows; ++y) {
      const uint32_t* src = mDrawBitmap->Row(top + y) + r.L;
      unsigned char* dst = out + rowBytes * y;
      const uint32_t* boxRow = nullptr;
      int boxL = 0, boxR = 0;
      const IBox& b = mBox.Box();
      if (box && top + y >= b.T && top + y < b.B) {
        boxRow = mBoxPixels.Row(top + y - b.T);
        boxL = b.L;
        boxR = b.R;
      }
      for (int x = 0; x < r.W(); ++x) {
        const int ex = r.L + x;
        const uint32_t p = boxRow && ex >= boxL && ex < boxR ? boxRow[ex - boxL] : src[x];
        if (mFormat.native) {
          std::memcpy(dst + static_cast<size_t>(x) * 4, &p, 4);
          continue;
        }
        // The picture is opaque where it is shown; other visuals get the channels packed.
        const uint32_t v = Channel(raster::RedOf(p), mFormat.red) |
                           Channel(raster::GreenOf(p), mFormat.green) |
                           Channel(raster::BlueOf(p), mFormat.blue);
        unsigned char* d = dst + static_cast<size_t>(x) * bytesPerPixel;
        for (int i = 0; i < bytesPerPixel; ++i) {
          const int shift = mFormat.lsbFirst ? 8 * i : 8 * (bytesPerPixel - 1 - i);
          d[i] = static_cast<unsigned char>(v >> shift);
        }
      }
    }
    xcb_put_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, mWindow, mGc, static_cast<uint16_t>(r.W()),
                  static_cast<uint16_t>(rows), static_cast<int16_t>(r.L), static_cast<int16_t>(top),
                  0, static_cast<uint8_t>(mFormat.depth), static_cast<uint32_t>(rowBytes * rows),
                  out);
  }
  Flush();
}

void IGraphicsX11::RepaintBox() {
  if (mBox.IsOpen()) Upload(mBox.Box());
}

// ---- run loop ----

void IGraphicsX11::OnEventSourceReady() {
  if (!mConn || mBroken) return;
  while (xcb_generic_event_t* ev = xcb_poll_for_event(mConn)) {
    Dispatch(ev);
    free(ev);
    if (!mConn || mBroken) return;
  }
  if (xcb_connection_has_error(mConn)) {
    ConnectionLost();
    return;
  }
  Flush();
}

void IGraphicsX11::OnTimer() {
  ReapChildren();
  if (!mConn || mBroken || !mWindow) return;
  if (mBox.IsOpen() && mEditState != kEditNone) {
    if (mEditState == kEditCommit) {
      const std::string text = mBox.Text();
      ApplyPromptText(mEditControl, mEditParam, text.c_str());
      CloseEditBox();
    } else if (mEditState == kEditCancel) {
      CloseEditBox();
    }
    mEditState = kEditNone;
  }
  if (!mWindow) return;

  IBox r;
  if (PaintEnabled() && CollectDirtyArea(&r)) RedrawArea(r);
  const IBox anim = AnimatedPixelArea();
  if (anim.W() > 0) RedrawArea(anim);

  if (mBox.IsOpen() && mBox.Focused() && --mBlinkCountdown <= 0) {
    mBlinkCountdown = kBlinkTicks;
    mBlinkOn = !mBlinkOn;
    mBox.SetBlinkOn(mBlinkOn);
    RepaintBox();
  }
  StepEditEndCountdown();
  // Replies read while waiting may have queued events the descriptor no longer shows.
  OnEventSourceReady();
}

void IGraphicsX11::Dispatch(void* event) {
  auto* ev = static_cast<xcb_generic_event_t*>(event);
  const uint8_t type = ev->response_type & 0x7f;
  switch (type) {
    case 0:
      // Errors of requests sent without waiting: a window the host already destroyed, a
      // focus the server would not give. Nothing depends on them.
      ++mErrors;
      break;
    case XCB_EXPOSE: {
      auto* e = reinterpret_cast<xcb_expose_event_t*>(ev);
      if (e->window != mWindow) break;
      mExposed = mExposed.Union(IBox(e->x, e->y, e->x + e->width, e->y + e->height));
      if (e->count == 0) {
        const IBox r = mExposed;
        mExposed = IBox();
        RedrawArea(r);
        // Without controls nothing is painted; the box still shows.
        if (NControls() == 0) Upload(r);
      }
      break;
    }
    case XCB_BUTTON_PRESS: {
      auto* e = reinterpret_cast<xcb_button_press_event_t*>(ev);
      if (e->event == mWindow)
        HandleButtonPress(e->detail, e->event_x, e->event_y, e->state, e->time);
      break;
    }
    case XCB_BUTTON_RELEASE: {
      auto* e = reinterpret_cast<xcb_button_release_event_t*>(ev);
      if (e->event == mWindow) HandleButtonRelease(e->detail, e->event_x, e->event_y, e->state);
      break;
    }
    case XCB_MOTION_NOTIFY: {
      auto* e = reinterpret_cast<xcb_motion_notify_event_t*>(ev);
      if (e->event == mWindow) HandleMotion(e->event_x, e->event_y, e->state);
      break;
    }
    case XCB_LEAVE_NOTIFY: {
      auto* e = reinterpret_cast<xcb_leave_notify_event_t*>(ev);
      if (e->event != mWindow || e->detail == XCB_NOTIFY_DETAIL_INFERIOR) break;
      if (e->mode == XCB_NOTIFY_MODE_GRAB) break;
      // While a button is held the window keeps the mouse, as a captured Windows window.
      if (e->mode == XCB_NOTIFY_MODE_NORMAL &&
          (e->state & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_3)) && mCaptured)
        break;
      if (mTrackingLeave) {
        mTrackingLeave = false;
        MouseOut();
      }
      break;
    }
    case XCB_KEY_PRESS: {
      auto* e = reinterpret_cast<xcb_key_press_event_t*>(ev);
      if (e->event == mWindow) HandleKey(e->detail, e->state, e->event_x, e->event_y);
      break;
    }
    case XCB_FOCUS_IN:
    case XCB_FOCUS_OUT: {
      auto* e = reinterpret_cast<xcb_focus_in_event_t*>(ev);
      if (e->event != mWindow || e->detail == XCB_NOTIFY_DETAIL_POINTER) break;
      if (e->mode == XCB_NOTIFY_MODE_GRAB || e->mode == XCB_NOTIFY_MODE_UNGRAB) break;
      mHasFocus = type == XCB_FOCUS_IN;
      if (mBox.IsOpen()) {
        // The box stays open without the focus, as the Windows edit box does.
        mBox.SetFocused(mHasFocus);
        mEditState = mHasFocus ? kEditing : kEditNone;
        RepaintBox();
      }
      break;
    }
    case XCB_DESTROY_NOTIFY: {
      auto* e = reinterpret_cast<xcb_destroy_notify_event_t*>(ev);
      if (e->window == mWindow) WindowGone();
      break;
    }
    case XCB_MAPPING_NOTIFY: {
      auto* e = reinterpret_cast<xcb_mapping_notify_event_t*>(ev);
      if (e->request == XCB_MAPPING_KEYBOARD) LoadKeyboardMapping();
      break;
    }
    default:
      break;
  }
}

// ---- mouse ----

void IGraphicsX11::HandleButtonPress(int button, int x, int y, uint16_t state, uint32_t time) {
  mLastX = x;
  mLastY = y;
  TakeFocus(time);
  const bool heldLeft = (state & XCB_BUTTON_MASK_1) != 0,
             heldRight = (state & XCB_BUTTON_MASK_3) != 0;
  if (button == 4 || button == 5) {
    MouseWheel(x, y, ModsFrom(state, heldLeft, heldRight), button == 4 ? 1 : -1);
    return;
  }
  if (button != 1 && button != 3) return;
  const bool left = button == 1;
  // The second press of the same button, soon and close by, is a double click; a third
  // starts counting again.
  const bool isDouble = !mPressWasDouble && button == mLastPressButton &&
                        time - mLastPressTime <= kDoubleClickMs && std::abs(x - mLastPressX) <= 4 &&
                        std::abs(y - mLastPressY) <= 4;
  mPressWasDouble = isDouble;
  mLastPressButton = button;
  mLastPressTime = time;
  mLastPressX = x;
  mLastPressY = y;
  const IInputMods mods = ModsFrom(state, left || heldLeft, !left || heldRight);

  if (mBox.IsOpen() && x >= mBox.Box().L && x < mBox.Box().R && y >= mBox.Box().T &&
      y < mBox.Box().B) {
    // The box takes its own clicks, as the Windows edit control does.
    mPressInBox = true;
    if (left) {
      if (isDouble) {
        mBox.SelectAll();
      } else {
        mBox.PlaceCaretAt(x, (state & kShiftMask) != 0);
      }
      mBox.SetFocused(true);
      mEditState = kEditing;
      mBlinkOn = true;
      mBox.SetBlinkOn(true);
      RepaintBox();
    }
    return;
  }
  if (left && isDouble) {
    mRouted = true;
    if (MouseDoubleClick(x, y, mods)) mCaptured = true;
    return;
  }
  if (!left) {
    // Windows leaves the right button's double click unhandled.
    if (isDouble) return;
    if (mBox.IsOpen()) {
      mEditState = kEditCancel;
      if (!mEditParam && mEditControl) ApplyPromptText(mEditControl, nullptr, "");
      return;
    }
  } else if (mBox.IsOpen()) {
    mEditState = kEditCommit;
  }
  mCaptured = true;
  mRouted = true;
  MouseDown(x, y, mods);
}

void IGraphicsX11::HandleButtonRelease(int button, int x, int y, uint16_t state) {
  if (button != 1 && button != 3) return;
  mLastX = x;
  mLastY = y;
  const uint16_t held =
      state & static_cast<uint16_t>(~(button == 1 ? XCB_BUTTON_MASK_1 : XCB_BUTTON_MASK_3));
  const bool stillHeld = (held & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_3)) != 0;
  if (mPressInBox) {
    if (!stillHeld) mPressInBox = false;
    return;
  }
  if (!stillHeld) mCaptured = false;
  // Only a press that reached the controls has a release for them: an unmatched one would
  // end an edit gesture that never began.
  if (!mRouted) return;
  if (!stillHeld) mRouted = false;
  MouseUp(x, y, ModsFrom(held, (held & XCB_BUTTON_MASK_1) != 0, (held & XCB_BUTTON_MASK_3) != 0));
}

void IGraphicsX11::HandleMotion(int x, int y, uint16_t state) {
  mLastX = x;
  mLastY = y;
  const bool left = (state & XCB_BUTTON_MASK_1) != 0, right = (state & XCB_BUTTON_MASK_3) != 0;
  if (left || right) {
    if (mPressInBox) {
      if (left && mBox.PlaceCaretAt(x, true)) RepaintBox();
      return;
    }
    if (mCaptured) MouseDrag(x, y, ModsFrom(state, left, right));
    return;
  }
  if (MouseOver(x, y, ModsFrom(state, false, false))) mTrackingLeave = true;
}

// ---- keys ----

void IGraphicsX11::HandleKey(uint8_t keycode, uint16_t state, int x, int y) {
  // Two presses with typing in between are no double click.
  mLastPressButton = 0;
  if (mBox.IsOpen() && mBox.Focused()) {
    HandleEditKey(KeysymFor(keycode, state), state);
    return;
  }
  // Controls get the key itself, whatever Shift makes of it (the '1' key is 1, not '!').
  const int key = EditorKeyCode(KeysymFor(keycode, state & static_cast<uint16_t>(~kShiftMask)));
  if (key < 0) return;
  KeyDown(x, y, key);
}

bool IGraphicsX11::HandleEditKey(uint32_t keysym, uint16_t state) {
  const bool shift = (state & kShiftMask) != 0;
  bool changed = false;
  switch (keysym) {
    case xkey::kReturn:
    case xkey::kKpEnter:
      // As on Windows: the selection goes, the caret to the end, the value at the next tick.
      mBox.End(false);
      mEditState = kEditCommit;
      RepaintBox();
      return true;
    case xkey::kEscape:
      mEditState = kEditCancel;
      return true;
    case xkey::kBackSpace:
      changed = mBox.Backspace();
      break;
    case xkey::kDelete:
    case xkey::kKpDelete:
      changed = mBox.Delete();
      break;
    case xkey::kLeft:
    case xkey::kKpLeft:
      changed = mBox.MoveCaret(-1, shift);
      break;
    case xkey::kRight:
    case xkey::kKpRight:
      changed = mBox.MoveCaret(1, shift);
      break;
    case xkey::kHome:
    case xkey::kKpHome:
      changed = mBox.Home(shift);
      break;
    case xkey::kEnd:
    case xkey::kKpEnd:
      changed = mBox.End(shift);
      break;
    default:
      if (state & kControlMask) {
        if (keysym == 'a' || keysym == 'A') {
          mBox.SelectAll();
          changed = true;
        }
        break;
      }
      changed = mBox.Type(TypedCharacter(keysym));
      break;
  }
  mEditState = kEditing;
  if (changed) {
    mBlinkOn = true;
    mBox.SetBlinkOn(true);
    mBlinkCountdown = kBlinkTicks;
    RepaintBox();
  }
  return changed;
}

// ---- text entry ----

void IGraphicsX11::OpenEditBox(const IBox& r, const TextEntry::Options& options, const char* text) {
  mBox.Open(r, text, options);
  mEditState = kEditNone;
  mBlinkOn = true;
  mBox.SetBlinkOn(true);
  mBlinkCountdown = kBlinkTicks;
  if (mHasFocus) {
    mBox.SetFocused(true);
    mEditState = kEditing;
  } else {
    TakeFocus(XCB_CURRENT_TIME);
  }
  RepaintBox();
}

void IGraphicsX11::CloseEditBox() {
  const IBox area = mBox.Box();
  if (mEditControl) {
    mEditControl->MarkDirty(true);
    mEditControl->RequestRepaint();
  }
  mBox.Close();
  mEditControl = nullptr;
  mEditParam = nullptr;
  // The picture under the box shows again.
  Upload(area);
}

void IGraphicsX11::AskParamValue(IControl* control, PlugParam* param, bool centred) {
  if (!mWindow) {
    IGraphicsHeadless::AskParamValue(control, param, centred);
    return;
  }
  if (!control || !param || mBox.IsOpen()) return;
  char current[128], largest[128];
  param->FormatValue(param->Value(), false, current, sizeof(current));
  param->FormatValue(1.0, true, largest, sizeof(largest));
  const IBox& cr = control->Rect();
  IBox box = cr;
  TextEntry::Options options;
  options.align = kAlignNear;
  if (centred) {
    // The Windows box's size and place: wide enough for the largest value, 16 high, its
    // top 8 pixels above the control's middle.
    const int n = static_cast<int>(std::strlen(largest));
    const int w = std::max(7 * n + 6, 32), h = 16;
    const int cx = cr.L + cr.W() / 2, cy = cr.T + cr.H() / 2;
    box = IBox(cx - w / 2, cy - 8, cx - w / 2 + w, cy - 8 + h);
    options.align = kAlignCenter;
  }
  options.size = static_cast<int>(std::lround(options.size * Scale()));
  OpenEditBox(ToPixels(box), options, current);
  mEditControl = control;
  mEditParam = param;
}

void IGraphicsX11::OpenTextEditor(ITextControl* control) {
  if (!mWindow) {
    IGraphicsHeadless::OpenTextEditor(control);
    return;
  }
  if (!control || mBox.IsOpen()) return;
  ITextStyle& ts = control->Style();
  TextEntry::Options options;
  options.align = ts.align == 0 ? kAlignNear : ts.align == 2 ? kAlignFar : kAlignCenter;
  auto* editable = dynamic_cast<IEditableTextControl*>(control);
  options.readOnly = !editable || !editable->Editable();
  options.password = editable && editable->Secure();
  std::snprintf(options.face, sizeof(options.face), "%s", ts.face);
  options.size = static_cast<int>(std::lround(ts.size * Scale()));
  options.style = ts.style == 1 ? 1 : ts.style == 2 ? 2 : 0;
  OpenEditBox(ToPixels(control->Rect()), options, control->Text());
  mEditControl = control;
  mEditParam = nullptr;
}

// ---- web pages ----

bool IGraphicsX11::OpenWebPage(const char* url, const char* title, const char* confirmText,
                               const char* errorText) {
  if (!mWindow) return IGraphicsHeadless::OpenWebPage(url, title, confirmText, errorText);
  // A leading '-' would reach xdg-open as an option.
  if (!url || !*url || url[0] == '-') return false;
  // There is no dialog to ask with here; a page that wants asking is not opened unasked.
  if (confirmText && *confirmText) return false;
  ReapChildren();
  char program[] = "xdg-open";
  std::string target(url);
  char* argv[] = {program, &target[0], nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return false;
  std::lock_guard<std::mutex> lock(ChildLock());
  Children().push_back(pid);
  return true;
}

// ---- cursors ----

void IGraphicsX11::SetPlatformCursor(int id) {
  IGraphics::SetPlatformCursor(id);
  if (!mConn || mBroken || !mWindow) return;
  // The standard arrow is whatever the host shows around us.
  uint32_t cursor = XCB_CURSOR_NONE;
  if (id != 0) {
    cursor = CursorFor(id);
    if (!cursor) return;
  }
  xcb_change_window_attributes(mConn, mWindow, XCB_CW_CURSOR, &cursor);
  Flush();
}

uint32_t IGraphicsX11::CursorFor(int id) {
  for (const CursorEntry& e : mCursors) {
    if (e.id == id) return e.cursor;
  }
  uint32_t cursor = 0;
  if (id == 1) {
    cursor = MakeGlyphCursor(kGlyphSbHDoubleArrow);
  } else if (id == 2) {
    cursor = MakeGlyphCursor(kGlyphSbVDoubleArrow);
  } else {
    cursor = MakeImageCursor(id);
  }
  if (cursor) mCursors.push_back(CursorEntry{id, cursor});
  return cursor;
}

uint32_t IGraphicsX11::MakeGlyphCursor(int glyph) {
  const uint32_t font = xcb_generate_id(mConn);
  xcb_open_font(mConn, font, 6, "cursor");
  const uint32_t cursor = xcb_generate_id(mConn);
  xcb_create_glyph_cursor(mConn, cursor, font, font, static_cast<uint16_t>(glyph),
                          static_cast<uint16_t>(glyph + 1), 0, 0, 0, 0xffff, 0xffff, 0xffff);
  xcb_close_font(mConn, font);
  return cursor;
}

uint32_t IGraphicsX11::MakeImageCursor(int id) {
  // Arrows of the cursor font stand in where the image or the RENDER extension is missing.
  const int fallback = id == 98 ? kGlyphSbUpArrow : id == 99 ? kGlyphSbDownArrow : -1;
  const unsigned char* data = nullptr;
  size_t size = 0;
  CursorImage image;
  // The cursor drawn for the nearest whole scale (id + 1000 at 2x, + 2000 at 3x).
  const int set = std::min(3, std::max(1, static_cast<int>(std::lround(Scale()))));
  const bool found = (set > 1 && FindEmbeddedCursor(id + (set - 1) * 1000, &data, &size)) ||
                     FindEmbeddedCursor(id, &data, &size);
  if (!found || !DecodeCursorFile(data, size, &image))
    return fallback >= 0 ? MakeGlyphCursor(fallback) : 0;

  const xcb_query_extension_reply_t* render = xcb_get_extension_data(mConn, &xcb_render_id);
  xcb_render_pictformat_t argb = 0;
  if (render && render->present) {
    xcb_render_query_version_reply_t* version =
        xcb_render_query_version_reply(mConn, xcb_render_query_version(mConn, 0, 5), nullptr);
    const bool cursors = version && (version->major_version > 0 || version->minor_version >= 5);
    free(version);
    xcb_render_query_pict_formats_reply_t* formats =
        cursors ? xcb_render_query_pict_formats_reply(mConn, xcb_render_query_pict_formats(mConn),
                                                      nullptr)
                : nullptr;
    if (formats) {
      for (xcb_render_pictforminfo_iterator_t it =
               xcb_render_query_pict_formats_formats_iterator(formats);
           it.rem; xcb_render_pictforminfo_next(&it)) {
        const xcb_render_pictforminfo_t* f = it.data;
        const xcb_render_directformat_t& d = f->direct;
        if (f->type == XCB_RENDER_PICT_TYPE_DIRECT && f->depth == 32 && d.alpha_shift == 24 &&
            d.alpha_mask == 0xff && d.red_shift == 16 && d.red_mask == 0xff && d.green_shift == 8 &&
            d.green_mask == 0xff && d.blue_shift == 0 && d.blue_mask == 0xff) {
          argb = f->id;
          break;
        }
      }
      free(formats);
    }
  }
  if (!argb) return fallback >= 0 ? MakeGlyphCursor(fallback) : 0;

  const auto w = static_cast<uint16_t>(image.width), h = static_cast<uint16_t>(image.height);
  std::vector<uint32_t> pixels = image.argb;
  const bool lsb = xcb_get_setup(mConn)->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  if (lsb != HostIsLittleEndian()) {
    for (uint32_t& p : pixels) p = __builtin_bswap32(p);
  }
  const uint32_t pixmap = xcb_generate_id(mConn);
  xcb_create_pixmap(mConn, 32, pixmap, mWindow, w, h);
  const uint32_t gc = xcb_generate_id(mConn);
  xcb_create_gc(mConn, gc, pixmap, 0, nullptr);
  xcb_put_image(mConn, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, w, h, 0, 0, 0, 32,
                static_cast<uint32_t>(pixels.size() * 4),
                reinterpret_cast<const uint8_t*>(pixels.data()));
  const uint32_t picture = xcb_generate_id(mConn);
  xcb_render_create_picture(mConn, picture, pixmap, argb, 0, nullptr);
  const uint32_t cursor = xcb_generate_id(mConn);
  xcb_render_create_cursor(mConn, cursor, picture, static_cast<uint16_t>(image.hotX),
                           static_cast<uint16_t>(image.hotY));
  xcb_render_free_picture(mConn, picture);
  xcb_free_gc(mConn, gc);
  xcb_free_pixmap(mConn, pixmap);
  return cursor;
}
