#include "x11_host.h"

#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern char** environ;

using namespace Steinberg;

namespace x11test {

namespace {

pid_t gServer = 0;
int gHostErrors = 0;

void StopXServer() {
  if (gServer > 0) {
    kill(gServer, SIGTERM);
    int status = 0;
    waitpid(gServer, &status, 0);
    gServer = 0;
  }
}

int RecordError(Display*, XErrorEvent*) {
  ++gHostErrors;
  return 0;
}

}  // namespace

namespace {

std::vector<pid_t> gExtraServers;

void StopExtraServers() {
  for (pid_t pid : gExtraServers) {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
  }
  gExtraServers.clear();
}

// Starts Xvfb with the given screen depth; the server tells its display number on a pipe, so
// no number is guessed.
bool SpawnServer(int depth, pid_t* pid, std::string* display, std::string* error) {
  int fds[2];
  if (pipe(fds) != 0) {
    *error = "pipe";
    return false;
  }
  fcntl(fds[0], F_SETFD, FD_CLOEXEC);
  std::string fdText = std::to_string(fds[1]);
  std::string screen = "1280x1024x" + std::to_string(depth);
  std::vector<std::string> args = {"Xvfb", "-displayfd", fdText, "-screen", "0",
                                   screen, "-nolisten",  "tcp",  "-noreset"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawnp(pid, "Xvfb", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    *error = "cannot start Xvfb (is the xvfb package installed?)";
    return false;
  }
  std::string number;
  pollfd p = {fds[0], POLLIN, 0};
  while (number.find('\n') == std::string::npos && poll(&p, 1, 15000) > 0) {
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof(buf));
    if (n <= 0) break;
    number.append(buf, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (number.find('\n') == std::string::npos) {
    *error = "Xvfb did not report its display";
    kill(*pid, SIGTERM);
    int status = 0;
    waitpid(*pid, &status, 0);
    return false;
  }
  number.resize(number.find('\n'));
  *display = ":" + number;
  return true;
}

}  // namespace

bool StartXServer(std::string* error) {
  if (gServer > 0) return true;
  std::string display;
  pid_t pid = 0;
  if (!SpawnServer(24, &pid, &display, error)) return false;
  gServer = pid;
  std::atexit(StopXServer);
  setenv("DISPLAY", display.c_str(), 1);
  XSetErrorHandler(RecordError);
  return true;
}

bool StartExtraXServer(int depth, std::string* display, std::string* error) {
  pid_t pid = 0;
  if (!SpawnServer(depth, &pid, display, error)) return false;
  if (gExtraServers.empty()) std::atexit(StopExtraServers);
  gExtraServers.push_back(pid);
  XSetErrorHandler(RecordError);
  return true;
}

// ---- run loop ----

PollRunLoop::~PollRunLoop() = default;

tresult PLUGIN_API PollRunLoop::registerEventHandler(Linux::IEventHandler* handler,
                                                     Linux::FileDescriptor fd) {
  if (!handler || fd < 0) return kInvalidArgument;
  for (const Handler& h : mHandlers) {
    if (h.live && h.handler == handler) return kResultFalse;
  }
  handler->addRef();
  mHandlers.push_back(Handler{handler, fd, true});
  return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterEventHandler(Linux::IEventHandler* handler) {
  for (Handler& h : mHandlers) {
    if (h.live && h.handler == handler) {
      h.live = false;
      handler->release();
      return kResultOk;
    }
  }
  return kResultFalse;
}

tresult PLUGIN_API PollRunLoop::registerTimer(Linux::ITimerHandler* handler,
                                              Linux::TimerInterval ms) {
  if (!handler || ms == 0) return kInvalidArgument;
  for (const Timer& t : mTimers) {
    if (t.live && t.handler == handler) return kResultFalse;
  }
  handler->addRef();
  mLastInterval = ms;
  mTimers.push_back(
      Timer{handler, ms, std::chrono::steady_clock::now() + std::chrono::milliseconds(ms), true});
  return kResultOk;
}

tresult PLUGIN_API PollRunLoop::unregisterTimer(Linux::ITimerHandler* handler) {
  for (Timer& t : mTimers) {
    if (t.live && t.handler == handler) {
      t.live = false;
      handler->release();
      return kResultOk;
    }
  }
  return kResultFalse;
}

tresult PLUGIN_API PollRunLoop::queryInterface(const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid) ||
      FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = this;
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

int PollRunLoop::Handlers() const {
  return static_cast<int>(
      std::count_if(mHandlers.begin(), mHandlers.end(), [](const Handler& h) { return h.live; }));
}

int PollRunLoop::Timers() const {
  return static_cast<int>(
      std::count_if(mTimers.begin(), mTimers.end(), [](const Timer& t) { return t.live; }));
}

void PollRunLoop::Sweep() {
  mHandlers.erase(
      std::remove_if(mHandlers.begin(), mHandlers.end(), [](const Handler& h) { return !h.live; }),
      mHandlers.end());
  mTimers.erase(
      std::remove_if(mTimers.begin(), mTimers.end(), [](const Timer& t) { return !t.live; }),
      mTimers.end());
}

void PollRunLoop::RunFor(int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    Sweep();
    Clock::time_point wake = end;
    for (const Timer& t : mTimers) wake = std::min(wake, t.due);
    const Clock::time_point now = Clock::now();
    int timeout = 0;
    if (wake > now)
      timeout = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(wake - now).count() + 1);
    std::vector<pollfd> fds;
    for (const Handler& h : mHandlers) fds.push_back(pollfd{h.fd, POLLIN, 0});
    const int n = poll(fds.data(), fds.size(), timeout);
    if (n > 0) {
      // Handlers may unregister themselves or others while being called.
      const std::vector<Handler> snapshot = mHandlers;
      for (size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents & POLLNVAL) ++mClosedFdPolls;
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const bool stillLive = std::any_of(
            mHandlers.begin(), mHandlers.end(),
            [&](const Handler& h) { return h.live && h.handler == snapshot[i].handler; });
        if (!stillLive) continue;
        ++mFdCalls;
        snapshot[i].handler->onFDIsSet(snapshot[i].fd);
      }
    }
    const Clock::time_point after = Clock::now();
    for (size_t i = 0; i < mTimers.size(); ++i) {
      if (!mTimers[i].live || mTimers[i].due > after) continue;
      mTimers[i].due = after + std::chrono::milliseconds(mTimers[i].interval);
      Linux::ITimerHandler* handler = mTimers[i].handler;
      handler->onTimer();
    }
    if (Clock::now() >= end) break;
  }
  Sweep();
}

tresult PLUGIN_API HostFrame::resizeView(IPlugView* view, ViewRect* newSize) {
  ++resizeRequests;
  if (!accept || !view || !newSize) return kResultFalse;
  lastRequest = *newSize;
  view->getSize(&sizeDuringRequest);
  view->onSize(newSize);
  return kResultOk;
}

tresult PLUGIN_API HostFrame::queryInterface(const TUID iid, void** obj) {
  if (FUnknownPrivate::iidEqual(iid, IPlugFrame::iid) ||
      FUnknownPrivate::iidEqual(iid, FUnknown::iid)) {
    *obj = this;
    return kResultOk;
  }
  if (mLoop && FUnknownPrivate::iidEqual(iid, Linux::IRunLoop::iid)) {
    *obj = static_cast<Linux::IRunLoop*>(mLoop);
    return kResultOk;
  }
  *obj = nullptr;
  return kNoInterface;
}

// ---- the host's display ----

HostDisplay::HostDisplay() : mDpy(XOpenDisplay(nullptr)) {}

HostDisplay::HostDisplay(const char* name) : mDpy(XOpenDisplay(name)) {}

HostDisplay::~HostDisplay() {
  if (mDpy) XCloseDisplay(mDpy);
}

int HostDisplay::Errors() {
  return gHostErrors;
}

void HostDisplay::Sync() {
  XSync(mDpy, False);
}

Window HostDisplay::CreateParent(int x, int y, int w, int h) {
  const int screen = DefaultScreen(mDpy);
  Window win = XCreateSimpleWindow(mDpy, RootWindow(mDpy, screen), x, y, w, h, 0,
                                   BlackPixel(mDpy, screen), WhitePixel(mDpy, screen));
  XSelectInput(mDpy, win, StructureNotifyMask);
  XMapWindow(mDpy, win);
  XEvent ev;
  do {
    XWindowEvent(mDpy, win, StructureNotifyMask, &ev);
  } while (ev.type != MapNotify);
  XSync(mDpy, False);
  return win;
}

void HostDisplay::DestroyWindow(Window w) {
  XDestroyWindow(mDpy, w);
  XSync(mDpy, False);
}

std::vector<Window> HostDisplay::Children(Window w) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned int n = 0;
  std::vector<Window> out;
  if (XQueryTree(mDpy, w, &root, &parent, &children, &n)) {
    out.assign(children, children + n);
    if (children) XFree(children);
  }
  return out;
}

bool HostDisplay::WindowExists(Window w) {
  const int before = gHostErrors;
  XWindowAttributes a;
  const Status ok = XGetWindowAttributes(mDpy, w, &a);
  XSync(mDpy, False);
  gHostErrors = before;
  return ok != 0;
}

void HostDisplay::MoveTo(int x, int y) {
  XTestFakeMotionEvent(mDpy, -1, x, y, CurrentTime);
  XSync(mDpy, False);
}

void HostDisplay::Button(int button, bool press) {
  XTestFakeButtonEvent(mDpy, static_cast<unsigned>(button), press ? True : False, CurrentTime);
  XSync(mDpy, False);
}

void HostDisplay::Click(int button) {
  Button(button, true);
  Button(button, false);
}

void HostDisplay::Key(unsigned long keysym, bool shift) {
  const KeyCode shiftCode = XKeysymToKeycode(mDpy, XK_Shift_L);
  const KeyCode code = XKeysymToKeycode(mDpy, keysym);
  if (shift) XTestFakeKeyEvent(mDpy, shiftCode, True, CurrentTime);
  XTestFakeKeyEvent(mDpy, code, True, CurrentTime);
  XTestFakeKeyEvent(mDpy, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(mDpy, shiftCode, False, CurrentTime);
  XSync(mDpy, False);
}

void HostDisplay::Type(const char* text) {
  for (; *text; ++text) Key(static_cast<unsigned char>(*text));
}

bool HostDisplay::Capture(Window w, int width, int height, raster::Bitmap* out) {
  XImage* img = XGetImage(mDpy, w, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!img) return false;
  out->Create(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const unsigned long p = XGetPixel(img, x, y);
      out->Set(x, y, 0xFF000000u | static_cast<uint32_t>(p & 0xFFFFFF));
    }
  XDestroyImage(img);
  return true;
}

bool HostDisplay::CaptureRaw(Window w, int width, int height, std::vector<unsigned long>* out) {
  XImage* img = XGetImage(mDpy, w, 0, 0, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (!img) return false;
  out->resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      (*out)[static_cast<size_t>(y) * width + x] = XGetPixel(img, x, y);
  XDestroyImage(img);
  return true;
}

int HostDisplay::ClientCount() {
  int eventBase = 0, errorBase = 0;
  if (!XResQueryExtension(mDpy, &eventBase, &errorBase)) return -1;
  int n = 0;
  XResClient* clients = nullptr;
  if (!XResQueryClients(mDpy, &n, &clients)) return -1;
  if (clients) XFree(clients);
  return n;
}

bool HostDisplay::CursorImage(int* w, int* h, int* hotX, int* hotY, std::vector<uint32_t>* argb) {
  int eventBase = 0, errorBase = 0;
  if (!XFixesQueryExtension(mDpy, &eventBase, &errorBase)) return false;
  XFixesCursorImage* c = XFixesGetCursorImage(mDpy);
  if (!c) return false;
  *w = c->width;
  *h = c->height;
  *hotX = c->xhot;
  *hotY = c->yhot;
  argb->resize(static_cast<size_t>(c->width) * c->height);
  for (size_t i = 0; i < argb->size(); ++i) (*argb)[i] = static_cast<uint32_t>(c->pixels[i]);
  XFree(c);
  return true;
}

void HostDisplay::KillClientOf(Window w) {
  XKillClient(mDpy, w);
  XSync(mDpy, False);
}

int OpenFdCount() {
  int n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) n += e->d_name[0] != '.';
    closedir(d);
    --n;  // the directory's own descriptor
  }
  return n;
}

}  // namespace x11test
