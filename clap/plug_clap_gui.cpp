// The editor in a CLAP host's window: X11 (the editor's X connection and frame timer run on
// the host's main thread through its posix-fd-support and timer-support) or Win32 (the editor
// window keeps its own timer). One editor per instance. Its size follows the scale the host sets
// (both window APIs use physical pixels) or the user's zoom; the host cannot drag it to another.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "clap/plug_clap.h"
#include "editor/graphics.h"

#if !defined(_WIN32) && !defined(__APPLE__)
#define CLAP_BINDING_X11 1
#include "editor/x11/graphics_x11.h"
#else
#define CLAP_BINDING_X11 0
#endif

namespace clap_binding {

class EditorState {
 public:
  void* window = nullptr;
  int fd = -1;              // registered with the host while >= 0
  bool sourceHeld = false;  // the X connection's descriptor, held for the host
  bool timerRegistered = false;
  clap_id timerId = CLAP_INVALID_ID;
};

namespace {

#if CLAP_BINDING_X11
constexpr const char* kOurApi = CLAP_WINDOW_API_X11;
IGraphicsX11* X11Editor(const ClapPlugin& plug) {
  return dynamic_cast<IGraphicsX11*>(PlugGraphics(plug.Plug()));
}
#else
constexpr const char* kOurApi = CLAP_WINDOW_API_WIN32;
#endif

ClapPlugin* Self(const clap_plugin_t* plugin) {
  ClapPlugin* self = ClapPlugin::From(plugin);
  return self && self->Plug() && self->OnMainThread() ? self : nullptr;
}

// Whether the editor exists for this window API at all. Hosts ask this in a plug-in scan whose
// host may offer none of the services an open editor needs, and remember the answer, so the
// services are checked only when the editor is created.
bool EditorSupports(const ClapPlugin& self, const char* api, bool isFloating) {
  if (!api || isFloating || std::strcmp(api, kOurApi) != 0 || !PlugGraphics(self.Plug()))
    return false;
#if CLAP_BINDING_X11
  return X11Editor(self) != nullptr;
#else
  return true;
#endif
}

bool CLAP_ABI GuiIsApiSupported(const clap_plugin_t* plugin, const char* api, bool isFloating) {
  ClapPlugin* self = Self(plugin);
  return self && EditorSupports(*self, api, isFloating);
}

bool CLAP_ABI GuiPreferredApi(const clap_plugin_t* plugin, const char** api, bool* isFloating) {
  ClapPlugin* self = Self(plugin);
  if (!self || !api || !isFloating || !EditorSupports(*self, kOurApi, false)) return false;
  *api = kOurApi;
  *isFloating = false;
  return true;
}

bool CLAP_ABI GuiCreate(const clap_plugin_t* plugin, const char* api, bool isFloating) {
  ClapPlugin* self = Self(plugin);
  if (!self || self->Editor() || !EditorSupports(*self, api, isFloating) || !GuiPossible(*self))
    return false;
  self->Editor() = new EditorState();
  return true;
}

void CLAP_ABI GuiDestroy(const clap_plugin_t* plugin) {
  if (ClapPlugin* self = Self(plugin)) CloseEditor(*self);
}

// The editor's size in device pixels: before it has a window, at the platform's scale unless
// the host has told one.
IPixelSize PixelSizeOf(const ClapPlugin& self, IGraphics* gui) {
  EditorState* state = const_cast<ClapPlugin&>(self).Editor();
  return state && state->window ? gui->PixelSize() : gui->UsePlatformScale(nullptr);
}

bool CLAP_ABI GuiSetScale(const clap_plugin_t* plugin, double scale) {
  ClapPlugin* self = Self(plugin);
  IGraphics* gui = self ? PlugGraphics(self->Plug()) : nullptr;
  if (!gui || !std::isfinite(scale) || !(scale > 0.0)) return false;
  const IPixelSize before = gui->PixelSize();
  const IPixelSize now = gui->SetScaleFactor(scale);
  // An open window asks the host for its new size; before that the host asks get_size.
  EditorState* state = self->Editor();
  if (state && state->window && now != before) self->ResizeEditor(now.W, now.H);
  return true;
}

bool CLAP_ABI GuiGetSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
  ClapPlugin* self = Self(plugin);
  IGraphics* gui = self ? PlugGraphics(self->Plug()) : nullptr;
  if (!gui || !width || !height) return false;
  const IPixelSize px = PixelSizeOf(*self, gui);
  *width = static_cast<uint32_t>(px.W);
  *height = static_cast<uint32_t>(px.H);
  return true;
}

bool CLAP_ABI GuiCanResize(const clap_plugin_t*) {
  return false;
}

// Hosts ask for these whatever can_resize says, and some log a failure each time the editor
// opens: the answer is that the user cannot drag the editor to another size.
bool CLAP_ABI GuiResizeHints(const clap_plugin_t*, clap_gui_resize_hints_t* hints) {
  if (!hints) return false;
  *hints = {};
  return true;
}

// Any size the host proposes becomes the editor's own: the only one it can take.
bool CLAP_ABI GuiAdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
  return GuiGetSize(plugin, width, height);
}

bool CLAP_ABI GuiSetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
  uint32_t w = 0, h = 0;
  if (!GuiGetSize(plugin, &w, &h) || w != width || h != height) return false;
  // The host gave the window the size the editor asked for.
  ClapPlugin::From(plugin)->Plug()->EditorResized();
  return true;
}

bool CLAP_ABI GuiSetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
  ClapPlugin* self = Self(plugin);
  if (!self || !window || !window->api || std::strcmp(window->api, kOurApi) != 0) return false;
  EditorState* state = self->Editor();
  IGraphics* gui = PlugGraphics(self->Plug());
  // Before create, or a second parent without destroy: the first window stays.
  if (!state || state->window || !gui) return false;
#if CLAP_BINDING_X11
  IGraphicsX11* x11 = X11Editor(*self);
  const HostExtensions& host = self->HostExt();
  if (!x11 || !window->x11 || !GuiPossible(*self)) return false;
  void* const parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
  gui->UsePlatformScale(parent);
  void* created = gui->CreateEditorWindow(parent);
  const int fd = created ? x11->AcquireEventSource() : -1;
  state->sourceHeld = fd >= 0;
  bool ok = fd >= 0 && host.posixFd->register_fd(self->Host(), fd, CLAP_POSIX_FD_READ);
  if (ok) state->fd = fd;
  ok = ok && host.timer->register_timer(self->Host(), static_cast<uint32_t>(x11->TimerIntervalMs()),
                                        &state->timerId);
  state->timerRegistered = ok;
  state->window = created;
  if (!ok) {
    // Nothing stays registered with the host, and no window without its events.
    CloseEditor(*self);
    self->Editor() = new EditorState();
    return false;
  }
#else
  if (!window->win32) return false;
  gui->UsePlatformScale(window->win32);
  state->window = gui->CreateEditorWindow(window->win32);
  if (!state->window) return false;
#endif
  self->Plug()->EditorOpened();
  return true;
}

bool CLAP_ABI GuiSetTransient(const clap_plugin_t*, const clap_window_t*) {
  return false;
}

void CLAP_ABI GuiSuggestTitle(const clap_plugin_t*, const char*) {}

bool CLAP_ABI GuiShow(const clap_plugin_t* plugin) {
  ClapPlugin* self = Self(plugin);
  return self && self->Editor();
}

bool CLAP_ABI GuiHide(const clap_plugin_t* plugin) {
  ClapPlugin* self = Self(plugin);
  return self && self->Editor();
}

const clap_plugin_gui_t kGui = {
    GuiIsApiSupported, GuiPreferredApi, GuiCreate,       GuiDestroy,    GuiSetScale,
    GuiGetSize,        GuiCanResize,    GuiResizeHints,  GuiAdjustSize, GuiSetSize,
    GuiSetParent,      GuiSetTransient, GuiSuggestTitle, GuiShow,       GuiHide,
};

#if CLAP_BINDING_X11
void CLAP_ABI OnFd(const clap_plugin_t* plugin, int fd, clap_posix_fd_flags_t) {
  ClapPlugin* self = Self(plugin);
  EditorState* state = self ? self->Editor() : nullptr;
  IGraphicsX11* x11 = self ? X11Editor(*self) : nullptr;
  if (!state || !x11 || fd < 0 || fd != state->fd) return;
  x11->OnEventSourceReady();
  // A broken connection's descriptor stays readable for ever: stop watching it at once, or
  // the host would spin on it.
  if (x11->ConnectionBroken() && state->fd >= 0) {
    self->HostExt().posixFd->unregister_fd(self->Host(), state->fd);
    state->fd = -1;
  }
}

void CLAP_ABI OnTimer(const clap_plugin_t* plugin, clap_id timer) {
  ClapPlugin* self = Self(plugin);
  EditorState* state = self ? self->Editor() : nullptr;
  IGraphicsX11* x11 = self ? X11Editor(*self) : nullptr;
  if (!state || !x11 || !state->timerRegistered || timer != state->timerId) return;
  if (!self->Active()) {
    // A host runs no blocks before it activates the instance (a stopped engine, a disabled
    // track), and until one runs the editor shows no graphs and no status line. A block of no
    // frames runs what processing runs besides the sound; no audio thread exists yet.
    IPlugBase* plug = self->Plug();
    PlugLock lock(plug->Mutex());
    if (plug->IsReady()) plug->RenderBlock(nullptr, nullptr, 0);
  }
  x11->OnTimer();
}

const clap_plugin_posix_fd_support_t kPosixFd = {OnFd};
const clap_plugin_timer_support_t kTimer = {OnTimer};
#endif

}  // namespace

bool GuiPossible(const ClapPlugin& plug) {
  if (!PlugGraphics(plug.Plug())) return false;
#if CLAP_BINDING_X11
  // Every editor call runs on the host's main thread, reached only through its descriptor
  // and timer services; without them the editor could never draw.
  const HostExtensions& h = plug.HostExt();
  return X11Editor(plug) && h.posixFd && h.posixFd->register_fd && h.posixFd->unregister_fd &&
         h.timer && h.timer->register_timer && h.timer->unregister_timer;
#else
  return true;
#endif
}

void CloseEditor(ClapPlugin& plug) {
  EditorState* state = plug.Editor();
  if (!state) return;
  plug.Editor() = nullptr;
#if CLAP_BINDING_X11
  // The descriptor leaves the host before the connection behind it can close.
  const HostExtensions& host = plug.HostExt();
  if (state->timerRegistered) host.timer->unregister_timer(plug.Host(), state->timerId);
  if (state->fd >= 0) host.posixFd->unregister_fd(plug.Host(), state->fd);
  IGraphicsX11* x11 = X11Editor(plug);
  if (x11 && state->sourceHeld) x11->ReleaseEventSource();
#endif
  if (state->window) {
    if (IGraphics* gui = PlugGraphics(plug.Plug())) {
      plug.Plug()->EditorClosed();
      gui->DestroyEditorWindow();
    }
  }
  delete state;
}

const clap_plugin_gui_t* GuiExtension() {
  return &kGui;
}

#if CLAP_BINDING_X11
const clap_plugin_posix_fd_support_t* PosixFdExtension() {
  return &kPosixFd;
}
const clap_plugin_timer_support_t* TimerExtension() {
  return &kTimer;
}
#else
const clap_plugin_posix_fd_support_t* PosixFdExtension() {
  return nullptr;
}
const clap_plugin_timer_support_t* TimerExtension() {
  return nullptr;
}
#endif

}  // namespace clap_binding
