// The editor as an LV2 X11 UI. LV2 lets a UI reach its plug-in only through ports, so the UI
// holds an instance of its own that never renders audio: port events set its parameters (as
// the plug-in's ports do), and its editor's edits travel back to the host through the host
// link and the UI's write function. The host's idle calls drive the X connection and the
// editor's frames on the host's UI thread.
#include <lv2/options/options.h>
#include <lv2/atom/atom.h>
#include <lv2/parameters/parameters.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "editor/graphics.h"
#include "editor/x11/graphics_x11.h"
#include "lv2/plug_lv2.h"
#include "lv2/plugin_registration.h"
#include "lv2/turtle.h"

namespace lv2 {

namespace {

constexpr double kDefaultUiRate = 48000.0;

class Lv2Ui : public IPlugHostLink {
 public:
  Lv2Ui(IPlugBase* plug, LV2UI_Write_Function write, LV2UI_Controller controller)
      : mPlug(plug),
        mWrite(write),
        mController(controller),
        mGrabbed(static_cast<size_t>(plug->ParamCount()), false),
        mKnown(static_cast<size_t>(plug->ParamCount()), std::numeric_limits<float>::quiet_NaN()) {}

  ~Lv2Ui() override {
    if (mGui) {
      mPlug->EditorClosed();
      mGui->DestroyEditorWindow();
    }
    mPlug->SetHostLink(nullptr, kAPILV2);
    RegisteredLv2Plugin()->destroy(mPlug);
  }

  // `scale` is the host's ui:scaleFactor, 0 when it told none (the screen's is taken then).
  bool Open(void* parent, double rate, double scale, const LV2UI_Resize* resize,
            const LV2UI_Touch* touch) {
    mTouch = touch;
    mResize = resize;
    mGui = dynamic_cast<IGraphicsX11*>(PlugGraphics(mPlug));
    if (!mGui) return false;
    {
      PlugLock lock(mPlug->Mutex());
      mPlug->SetSampleRate(rate);
      for (int i = 0; i < mPlug->ParamCount(); ++i) mPlug->HandleParamChange(i);
    }
    mPlug->SetHostLink(this, kAPILV2);
    if (scale > 0.0) {
      mGui->SetScaleFactor(scale);
    } else {
      mGui->UsePlatformScale(parent);
    }
    if (!mGui->CreateEditorWindow(parent) || !mGui->HasWindow()) {
      mGui = nullptr;
      return false;
    }
    mPlug->EditorOpened();
    const IPixelSize px = mGui->PixelSize();
    ResizeEditor(px.W, px.H);
    mNextFrame = std::chrono::steady_clock::now();
    return true;
  }

  uintptr_t Window() const { return mGui ? mGui->WindowId() : 0; }

  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (format != 0 || size != sizeof(float) || !buffer) return;
    PlugParam* p = mPlug->ParamAt(static_cast<int>(port));
    if (!p) return;
    float v = 0.0f;
    std::memcpy(&v, buffer, sizeof v);
    if (std::isnan(v)) return;
    mKnown[port] = v;
    PlugLock lock(mPlug->Mutex());
    p->SetValue(v);
    if (IPlugEditor* gui = mPlug->GetGUI())
      gui->PushParamToControls(static_cast<int>(port), p->NormalizedValue(), true);
    mPlug->HandleParamChange(static_cast<int>(port));
  }

  // 0 while the window lives; 1 once its X connection is gone (the host then closes the UI).
  int Idle() {
    if (!mGui || mGui->ConnectionBroken()) return 1;
    mGui->OnEventSourceReady();
    const auto now = std::chrono::steady_clock::now();
    if (now >= mNextFrame) {
      // A zero-length block runs what a host's processing runs besides the sound: the status
      // line's deadline and the instrument's start.
      {
        PlugLock lock(mPlug->Mutex());
        if (mPlug->IsReady()) mPlug->RenderBlock(nullptr, nullptr, 0);
      }
      mGui->OnTimer();
      mNextFrame = now + std::chrono::milliseconds(mGui->TimerIntervalMs());
    }
    return mGui->ConnectionBroken() ? 1 : 0;
  }

  // ---- the editor's edits, towards the host ----
  // A gesture towards the host: a value written outside a begun edit (the wheel's) opens one,
  // so the host sees every end after its beginning.
  void BeginEdit(int idx) override { Grab(idx, true); }
  void PerformEdit(int idx, double normalized) override {
    const PlugParam* p = mPlug->ParamAt(idx);
    if (!p) return;
    Write(idx, static_cast<float>(p->DenormalizeValue(normalized)));
  }
  // Edits the graphs and the sweep arrows make set the value between begin and end without
  // reporting it (the VST 3 host reads it from the shared object); here the plug-in is a
  // separate instance, so a value the host has not heard of is written before the end.
  void EndEdit(int idx) override {
    if (const PlugParam* p = mPlug->ParamAt(idx)) {
      const float v = static_cast<float>(p->Value());
      if (!(v == mKnown[static_cast<size_t>(idx)])) Write(idx, v);
    }
    Grab(idx, false);
  }
  // The editor's size in pixels changed (a zoom chosen in the editor, a new scale factor).
  void ResizeEditor(int width, int height) override {
    if (mResize && mResize->ui_resize) mResize->ui_resize(mResize->handle, width, height);
  }

  // Options the host changes while the UI is open: a new ui:scaleFactor resizes the editor.
  void KnowOptions(LV2_URID scaleKey, const AtomTypes& types) {
    mScaleKey = scaleKey;
    mTypes = types;
  }
  uint32_t SetOptions(const LV2_Options_Option* options) {
    uint32_t status = LV2_OPTIONS_SUCCESS;
    for (const LV2_Options_Option* o = options; o && o->key; ++o) {
      double v = 0.0;
      if (o->key != mScaleKey || !mScaleKey) {
        status |= LV2_OPTIONS_ERR_BAD_KEY;
      } else if (!mGui || !ReadStateValue(o->value, o->size, o->type, mTypes, &v) || !(v > 0.0)) {
        status |= LV2_OPTIONS_ERR_BAD_VALUE;
      } else {
        const IPixelSize px = mGui->SetScaleFactor(v);
        ResizeEditor(px.W, px.H);
      }
    }
    return status;
  }

 private:
  void Write(int idx, float v) {
    if (!mWrite) return;
    Grab(idx, true);
    mKnown[static_cast<size_t>(idx)] = v;
    mWrite(mController, static_cast<uint32_t>(idx), sizeof v, 0, &v);
  }
  void Grab(int idx, bool grabbed) {
    if (idx < 0 || idx >= mPlug->ParamCount()) return;
    auto bit = mGrabbed.begin() + idx;
    if (*bit == grabbed) return;
    *bit = grabbed;
    if (mTouch && mTouch->touch) mTouch->touch(mTouch->handle, static_cast<uint32_t>(idx), grabbed);
  }

  IPlugBase* mPlug;
  LV2UI_Write_Function mWrite;
  LV2UI_Controller mController;
  const LV2UI_Touch* mTouch = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  LV2_URID mScaleKey = 0;
  AtomTypes mTypes{};
  std::vector<bool> mGrabbed;
  // Per port, the value the host last told or was told.
  std::vector<float> mKnown;
  IGraphicsX11* mGui = nullptr;
  std::chrono::steady_clock::time_point mNextFrame;
};

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  const Lv2PluginRegistration* reg = RegisteredLv2Plugin();
  if (!reg || !pluginUri || std::strcmp(pluginUri, reg->identity->lv2Uri) != 0) return nullptr;
  void* parent = nullptr;
  const LV2UI_Resize* resize = nullptr;
  const LV2UI_Touch* touch = nullptr;
  LV2_URID_Map* map = nullptr;
  const LV2_Options_Option* options = nullptr;
  for (int i = 0; features && features[i]; ++i) {
    const char* uri = features[i]->URI;
    if (std::strcmp(uri, LV2_UI__parent) == 0) parent = features[i]->data;
    if (std::strcmp(uri, LV2_UI__resize) == 0)
      resize = static_cast<const LV2UI_Resize*>(features[i]->data);
    if (std::strcmp(uri, LV2_UI__touch) == 0)
      touch = static_cast<const LV2UI_Touch*>(features[i]->data);
    if (std::strcmp(uri, LV2_URID__map) == 0) map = static_cast<LV2_URID_Map*>(features[i]->data);
    if (std::strcmp(uri, LV2_OPTIONS__options) == 0)
      options = static_cast<const LV2_Options_Option*>(features[i]->data);
  }
  // The editor lives only inside the host's window.
  if (!parent) return nullptr;
  double rate = kDefaultUiRate;
  double scale = 0.0;
  LV2_URID scaleKey = 0;
  AtomTypes types{};
  if (map) {
    scaleKey = map->map(map->handle, LV2_UI__scaleFactor);
    types = {map->map(map->handle, LV2_ATOM__Float), map->map(map->handle, LV2_ATOM__Double),
             map->map(map->handle, LV2_ATOM__Int), map->map(map->handle, LV2_ATOM__Long)};
  }
  if (map && options) {
    const LV2_URID rateKey = map->map(map->handle, LV2_PARAMETERS__sampleRate);
    for (const LV2_Options_Option* o = options; o->key; ++o) {
      double v = 0.0;
      if (o->key == rateKey && ReadStateValue(o->value, o->size, o->type, types, &v) && v >= 1.0 &&
          v <= 10.0e6)
        rate = v;
      if (o->key == scaleKey && ReadStateValue(o->value, o->size, o->type, types, &v) && v > 0.0)
        scale = v;
    }
  }
  IPlugBase* plug = reg->create();
  if (!plug) return nullptr;
  auto* ui = new (std::nothrow) Lv2Ui(plug, write, controller);
  if (!ui) {
    reg->destroy(plug);
    return nullptr;
  }
  ui->KnowOptions(scaleKey, types);
  if (!ui->Open(parent, rate, scale, resize, touch)) {
    delete ui;
    return nullptr;
  }
  if (widget) *widget = reinterpret_cast<LV2UI_Widget>(ui->Window());
  return ui;
}

void Cleanup(LV2UI_Handle h) {
  delete static_cast<Lv2Ui*>(h);
}

void PortEvent(LV2UI_Handle h, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<Lv2Ui*>(h)->PortEvent(port, size, format, buffer);
}

int Idle(LV2UI_Handle h) {
  return static_cast<Lv2Ui*>(h)->Idle();
}

uint32_t GetOptions(LV2UI_Handle, LV2_Options_Option*) {
  return LV2_OPTIONS_ERR_BAD_KEY;
}

uint32_t SetOptions(LV2UI_Handle h, const LV2_Options_Option* options) {
  return static_cast<Lv2Ui*>(h)->SetOptions(options);
}

const void* ExtensionData(const char* uri) {
  static const LV2UI_Idle_Interface kIdle = {Idle};
  static const LV2_Options_Interface kOptions = {GetOptions, SetOptions};
  if (uri && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdle;
  if (uri && std::strcmp(uri, LV2_OPTIONS__interface) == 0) return &kOptions;
  return nullptr;
}

}  // namespace

const LV2UI_Descriptor* UiDescriptor() {
  static std::string uri;
  static LV2UI_Descriptor descriptor;
  const Lv2PluginRegistration* reg = RegisteredLv2Plugin();
  if (!reg) return nullptr;
  uri = UiUri(*reg->identity);
  descriptor = {uri.c_str(), Instantiate, Cleanup, PortEvent, ExtensionData};
  return &descriptor;
}

}  // namespace lv2
