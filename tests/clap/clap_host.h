#pragma once
// A small CLAP host for the tests: loads a .clap (dlopen / LoadLibrary), creates the plug-in
// through its factory, offers the host extensions a test asks for, and feeds it blocks with
// events, transport and 32- or 64-bit buffers. Header-only, so the test programs of any layer
// can use it.
#include <clap/clap.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace clap_test {

class Module {
 public:
  Module() = default;
  ~Module() { Unload(); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  bool Load(const std::string& path) {
#ifdef _WIN32
    mHandle = LoadLibraryA(path.c_str());
    auto* e = mHandle ? reinterpret_cast<const clap_plugin_entry_t*>(
                            GetProcAddress(static_cast<HMODULE>(mHandle), "clap_entry"))
                      : nullptr;
#else
    mHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto* e =
        mHandle ? static_cast<const clap_plugin_entry_t*>(dlsym(mHandle, "clap_entry")) : nullptr;
#endif
    if (!e || !e->init || !e->init(path.c_str())) return false;
    mEntry = e;
    return true;
  }
  void Unload() {
    if (mEntry) mEntry->deinit();
    mEntry = nullptr;
#ifdef _WIN32
    if (mHandle) FreeLibrary(static_cast<HMODULE>(mHandle));
#else
    if (mHandle) dlclose(mHandle);
#endif
    mHandle = nullptr;
  }
  const void* Factory(const char* id) const {
    return mEntry ? mEntry->get_factory(id) : nullptr;
  }
  const clap_plugin_factory_t* PluginFactory() const {
    return static_cast<const clap_plugin_factory_t*>(Factory(CLAP_PLUGIN_FACTORY_ID));
  }
  const clap_plugin_descriptor_t* Descriptor() const {
    const clap_plugin_factory_t* f = PluginFactory();
    return f && f->get_plugin_count(f) > 0 ? f->get_plugin_descriptor(f, 0) : nullptr;
  }

 private:
  void* mHandle = nullptr;
  const clap_plugin_entry_t* mEntry = nullptr;
};

// The host side: which extensions it offers and what the plug-in asked of it.
struct Host {
  // Offered extensions.
  bool offerFd = true, offerTimer = true;  // the other extensions are always offered
  // Answers of the thread check: the main thread is the one that made the host.
  std::thread::id mainThread = std::this_thread::get_id();
  bool pretendNotMain = false;

  int flushRequests = 0, rescans = 0, presetsLoaded = 0, presetErrors = 0;
  std::vector<int> fds;  // registered descriptors
  struct Timer {
    clap_id id;
    uint32_t periodMs;
  };
  std::vector<Timer> timers;

  clap_host_t clap{};
  clap_host_thread_check_t threadCheck{};
  clap_host_params_t params{};
  clap_host_posix_fd_support_t fd{};
  clap_host_timer_support_t timer{};
  clap_host_gui_t gui{};
  clap_host_preset_load_t presetLoad{};

  Host() {
    clap.clap_version = CLAP_VERSION_INIT;
    clap.host_data = this;
    clap.name = "Caldrith test host";
    clap.vendor = "tests";
    clap.url = "";
    clap.version = "1";
    clap.get_extension = [](const clap_host_t* h, const char* id) -> const void* {
      Host* self = From(h);
      if (!std::strcmp(id, CLAP_EXT_THREAD_CHECK)) return &self->threadCheck;
      if (!std::strcmp(id, CLAP_EXT_PARAMS)) return &self->params;
      if (!std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) && self->offerFd) return &self->fd;
      if (!std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) && self->offerTimer) return &self->timer;
      if (!std::strcmp(id, CLAP_EXT_GUI)) return &self->gui;
      if (!std::strcmp(id, CLAP_EXT_PRESET_LOAD)) return &self->presetLoad;
      return nullptr;
    };
    clap.request_restart = [](const clap_host_t*) {};
    clap.request_process = [](const clap_host_t*) {};
    clap.request_callback = [](const clap_host_t*) {};
    threadCheck.is_main_thread = [](const clap_host_t* h) {
      return !From(h)->pretendNotMain && std::this_thread::get_id() == From(h)->mainThread;
    };
    threadCheck.is_audio_thread = [](const clap_host_t* h) {
      return std::this_thread::get_id() != From(h)->mainThread || From(h)->pretendNotMain;
    };
    params.rescan = [](const clap_host_t* h, clap_param_rescan_flags) { ++From(h)->rescans; };
    params.clear = [](const clap_host_t*, clap_id, clap_param_clear_flags) {};
    params.request_flush = [](const clap_host_t* h) { ++From(h)->flushRequests; };
    fd.register_fd = [](const clap_host_t* h, int f, clap_posix_fd_flags_t) {
      From(h)->fds.push_back(f);
      return true;
    };
    fd.modify_fd = [](const clap_host_t*, int, clap_posix_fd_flags_t) { return true; };
    fd.unregister_fd = [](const clap_host_t* h, int f) {
      auto& v = From(h)->fds;
      for (size_t i = 0; i < v.size(); ++i)
        if (v[i] == f) {
          v.erase(v.begin() + static_cast<long>(i));
          return true;
        }
      return false;
    };
    timer.register_timer = [](const clap_host_t* h, uint32_t ms, clap_id* id) {
      static clap_id next = 7;
      *id = next++;
      From(h)->timers.push_back({*id, ms});
      return true;
    };
    timer.unregister_timer = [](const clap_host_t* h, clap_id id) {
      auto& v = From(h)->timers;
      for (size_t i = 0; i < v.size(); ++i)
        if (v[i].id == id) {
          v.erase(v.begin() + static_cast<long>(i));
          return true;
        }
      return false;
    };
    gui.resize_hints_changed = [](const clap_host_t*) {};
    gui.request_resize = [](const clap_host_t*, uint32_t, uint32_t) { return false; };
    gui.request_show = [](const clap_host_t*) { return false; };
    gui.request_hide = [](const clap_host_t*) { return false; };
    gui.closed = [](const clap_host_t*, bool) {};
    presetLoad.on_error = [](const clap_host_t* h, uint32_t, const char*, const char*, int32_t,
                             const char*) { ++From(h)->presetErrors; };
    presetLoad.loaded = [](const clap_host_t* h, uint32_t, const char*, const char*) {
      ++From(h)->presetsLoaded;
    };
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  static Host* From(const clap_host_t* h) { return static_cast<Host*>(h->host_data); }
};

// Input events kept in one byte array, in the order added (which must be time order).
class InputEvents {
 public:
  InputEvents() {
    mList.ctx = this;
    mList.size = [](const clap_input_events_t* l) {
      return static_cast<uint32_t>(static_cast<const InputEvents*>(l->ctx)->mOffsets.size());
    };
    mList.get = [](const clap_input_events_t* l, uint32_t i) -> const clap_event_header_t* {
      auto* self = static_cast<const InputEvents*>(l->ctx);
      if (i >= self->mOffsets.size()) return nullptr;
      return reinterpret_cast<const clap_event_header_t*>(self->mBytes.data() + self->mOffsets[i]);
    };
  }
  void Clear() {
    mBytes.clear();
    mOffsets.clear();
  }
  void Add(const clap_event_header_t* e) {
    mOffsets.push_back(mBytes.size());
    const auto* p = reinterpret_cast<const uint8_t*>(e);
    // Each event at an 8-byte boundary, as hosts keep them.
    mBytes.insert(mBytes.end(), p, p + e->size);
    mBytes.resize((mBytes.size() + 7) & ~size_t(7));
  }
  void Param(clap_id id, double value, uint32_t time = 0,
             uint16_t space = CLAP_CORE_EVENT_SPACE_ID) {
    clap_event_param_value_t e{};
    e.header = {sizeof(e), time, space, CLAP_EVENT_PARAM_VALUE, 0};
    e.param_id = id;
    e.note_id = -1;
    e.port_index = -1;
    e.channel = -1;
    e.key = -1;
    e.value = value;
    Add(&e.header);
  }
  const clap_input_events_t* List() const { return &mList; }

 private:
  std::vector<uint8_t> mBytes;
  std::vector<size_t> mOffsets;
  clap_input_events_t mList{};
};

class OutputEvents {
 public:
  OutputEvents() {
    mList.ctx = this;
    mList.try_push = [](const clap_output_events_t* l, const clap_event_header_t* e) {
      auto* self = static_cast<OutputEvents*>(l->ctx);
      self->types.push_back(e->type);
      if (e->type == CLAP_EVENT_PARAM_VALUE)
        self->values.push_back(reinterpret_cast<const clap_event_param_value_t*>(e)->value);
      return true;
    };
  }
  const clap_output_events_t* List() const { return &mList; }
  std::vector<uint16_t> types;
  std::vector<double> values;

 private:
  clap_output_events_t mList{};
};

// Streams over a byte vector; reads come in pieces of at most `chunk` bytes.
struct ReadStream {
  std::vector<uint8_t> bytes;
  size_t pos = 0, chunk = 1 << 20;
  clap_istream_t clap{this, [](const clap_istream_t* s, void* buf, uint64_t size) -> int64_t {
                        auto* self = static_cast<ReadStream*>(s->ctx);
                        size_t n = std::min<size_t>({static_cast<size_t>(size), self->chunk,
                                                     self->bytes.size() - self->pos});
                        if (n) std::memcpy(buf, self->bytes.data() + self->pos, n);
                        self->pos += n;
                        return static_cast<int64_t>(n);
                      }};
};

struct WriteStream {
  std::vector<uint8_t> bytes;
  size_t chunk = 1 << 20;
  clap_ostream_t clap{this, [](const clap_ostream_t* s, const void* buf, uint64_t size) -> int64_t {
                        auto* self = static_cast<WriteStream*>(s->ctx);
                        size_t n = std::min<size_t>(static_cast<size_t>(size), self->chunk);
                        const auto* p = static_cast<const uint8_t*>(buf);
                        self->bytes.insert(self->bytes.end(), p, p + n);
                        return static_cast<int64_t>(n);
                      }};
};

// One plug-in instance, created and initialised; extensions looked up on demand.
struct Instance {
  const clap_plugin_t* plugin = nullptr;

  Instance(const Module& m, Host& host) {
    const clap_plugin_factory_t* f = m.PluginFactory();
    const clap_plugin_descriptor_t* d = m.Descriptor();
    if (f && d) plugin = f->create_plugin(f, &host.clap, d->id);
    if (plugin && !plugin->init(plugin)) {
      plugin->destroy(plugin);
      plugin = nullptr;
    }
  }
  ~Instance() {
    if (plugin) plugin->destroy(plugin);
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  template <typename T>
  const T* Ext(const char* id) const {
    return static_cast<const T*>(plugin->get_extension(plugin, id));
  }
  const clap_plugin_params_t* Params() const { return Ext<clap_plugin_params_t>(CLAP_EXT_PARAMS); }
  const clap_plugin_state_t* State() const { return Ext<clap_plugin_state_t>(CLAP_EXT_STATE); }
  const clap_plugin_gui_t* Gui() const { return Ext<clap_plugin_gui_t>(CLAP_EXT_GUI); }

  bool Start(double rate = 48000.0, uint32_t maxFrames = 512) {
    return plugin->activate(plugin, rate, 1, maxFrames) && plugin->start_processing(plugin);
  }
  double Value(clap_id id) const {
    double v = -1e300;
    Params()->get_value(plugin, id, &v);
    return v;
  }
  std::vector<uint8_t> SaveState() const {
    WriteStream w;
    if (!State()->save(plugin, &w.clap)) return {};
    return w.bytes;
  }
  bool LoadState(const std::vector<uint8_t>& bytes) const {
    ReadStream r;
    r.bytes = bytes;
    return State()->load(plugin, &r.clap);
  }
};

// A transport as a playing (or stopped) host sends it.
inline clap_event_transport_t Transport(bool playing, double tempo = 120.0) {
  clap_event_transport_t t{};
  t.header = {sizeof(t), 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
  t.flags = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_TIME_SIGNATURE |
            (playing ? CLAP_TRANSPORT_IS_PLAYING : 0);
  t.tempo = tempo;
  t.tsig_num = 4;
  t.tsig_denom = 4;
  return t;
}

// Stereo output buffers for one block, 32- or 64-bit, filled with a marker before each call so
// that an unwritten sample shows.
struct Block {
  std::vector<float> f[2];
  std::vector<double> d[2];
  float* fp[2];
  double* dp[2];
  clap_audio_buffer_t out{};
  clap_process_t process{};

  Block(uint32_t frames, bool f64, float marker = 12345.f) {
    for (int c = 0; c < 2; ++c) {
      f[c].assign(frames, marker);
      d[c].assign(frames, marker);
      fp[c] = f[c].data();
      dp[c] = d[c].data();
    }
    out.channel_count = 2;
    if (f64) {
      out.data64 = dp;
    } else {
      out.data32 = fp;
    }
    process.steady_time = -1;
    process.frames_count = frames;
    process.audio_outputs = &out;
    process.audio_outputs_count = 1;
  }
  double At(int ch, size_t i) const { return out.data64 ? d[ch][i] : f[ch][i]; }
};

}  // namespace clap_test
