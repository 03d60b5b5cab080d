#pragma once
// A small Linux host for the X11 editor tests: a virtual X server of the test's own (Xvfb),
// a top-level window to be the editor's parent, a run loop built on poll() that the view
// registers its descriptor and timer with, and XTest input as a user would give it.
#include <X11/Xlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "pluginterfaces/gui/iplugview.h"
#include "raster/raster.h"

namespace x11test {

// Starts Xvfb once per process and points DISPLAY at it; false (with the reason) when it
// cannot be started. Stopped at exit.
bool StartXServer(std::string* error);
// A further server of the given depth (e.g. 16), stopped at exit; *display names it.
bool StartExtraXServer(int depth, std::string* display, std::string* error);

// The host's run loop. Handlers and timers are called from RunFor only, on the calling
// thread, as a Linux host calls them on its user-interface thread.
class PollRunLoop : public Steinberg::Linux::IRunLoop {
 public:
  ~PollRunLoop();
  Steinberg::tresult PLUGIN_API registerEventHandler(Steinberg::Linux::IEventHandler* handler,
                                                     Steinberg::Linux::FileDescriptor fd) override;
  Steinberg::tresult PLUGIN_API
  unregisterEventHandler(Steinberg::Linux::IEventHandler* handler) override;
  Steinberg::tresult PLUGIN_API registerTimer(Steinberg::Linux::ITimerHandler* handler,
                                              Steinberg::Linux::TimerInterval ms) override;
  Steinberg::tresult PLUGIN_API unregisterTimer(Steinberg::Linux::ITimerHandler* handler) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  // Waits for descriptors and timers for `ms` milliseconds, calling whatever is due.
  void RunFor(int ms);

  int Handlers() const;
  int Timers() const;
  Steinberg::Linux::TimerInterval LastInterval() const { return mLastInterval; }
  // Calls of onFDIsSet so far, and polls that found a registered descriptor closed.
  long FdCalls() const { return mFdCalls; }
  long ClosedFdPolls() const { return mClosedFdPolls; }

 private:
  struct Handler {
    Steinberg::Linux::IEventHandler* handler;
    int fd;
    bool live;
  };
  struct Timer {
    Steinberg::Linux::ITimerHandler* handler;
    Steinberg::Linux::TimerInterval interval;
    std::chrono::steady_clock::time_point due;
    bool live;
  };
  void Sweep();

  std::vector<Handler> mHandlers;
  std::vector<Timer> mTimers;
  Steinberg::Linux::TimerInterval mLastInterval = 0;
  long mFdCalls = 0;
  long mClosedFdPolls = 0;
};

// The host's frame around a view: offers the run loop (unless told not to) and refuses
// resizing unless told to accept it; accepting, it resizes as the SDK's editor host does:
// asks the view's size (recorded), then answers with onSize.
class HostFrame : public Steinberg::IPlugFrame {
 public:
  explicit HostFrame(PollRunLoop* loop) : mLoop(loop) {}
  Steinberg::tresult PLUGIN_API resizeView(Steinberg::IPlugView* view,
                                           Steinberg::ViewRect* newSize) override;
  Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
  Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
  Steinberg::uint32 PLUGIN_API release() override { return 1; }

  int resizeRequests = 0;
  bool accept = false;
  Steinberg::ViewRect lastRequest, sizeDuringRequest;

 private:
  PollRunLoop* mLoop;
};

// The host's own connection to the X server.
class HostDisplay {
 public:
  HostDisplay();
  explicit HostDisplay(const char* name);
  ~HostDisplay();
  bool Ok() const { return mDpy != nullptr; }
  Display* Dpy() const { return mDpy; }

  // A mapped top-level window at (x, y) of the root, as a host's plug-in window.
  Window CreateParent(int x, int y, int w, int h);
  void DestroyWindow(Window w);
  // Child windows of `w` (the editor's window is the one child of its parent).
  std::vector<Window> Children(Window w);
  bool WindowExists(Window w);

  // Pointer and keys through XTest, in root coordinates.
  void MoveTo(int x, int y);
  void Button(int button, bool press);
  void Click(int button);
  void Key(unsigned long keysym, bool shift = false);
  void Type(const char* text);

  // The window's pixels as the server shows them (opaque).
  bool Capture(Window w, int width, int height, raster::Bitmap* out);
  // The raw pixel values of a window, as its visual stores them.
  bool CaptureRaw(Window w, int width, int height, std::vector<unsigned long>* out);
  // Clients the X server has now (X-Resource extension); -1 when unknown.
  int ClientCount();
  // The current cursor's image (XFixes): width, height, hot spot and premultiplied pixels.
  bool CursorImage(int* w, int* h, int* hotX, int* hotY, std::vector<uint32_t>* argb);
  void KillClientOf(Window w);
  void Sync();
  // X errors the host's own requests caused (recorded instead of ending the process).
  static int Errors();

 private:
  Display* mDpy = nullptr;
};

// Descriptors this process has open now.
int OpenFdCount();

}  // namespace x11test
