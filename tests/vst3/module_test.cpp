// The built bundle, loaded and driven the way a host does.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "public.sdk/source/common/memorystream.h"
#include "bundle_under_test.h"
#include "vst3/host/host_support.h"

#ifdef CALDRITH_TEST_BUNDLE

using namespace Steinberg;
using namespace Steinberg::Vst;

// Counts every allocation in the process, the module's included. The sanitizers bring their
// own allocator, so the count (and the test that needs it) exists only in plain builds.
static std::atomic<long> gAllocations{0};
#ifndef __SANITIZE_ADDRESS__
#define CALDRITH_COUNT_ALLOCATIONS 1
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, size_t) noexcept {
  std::free(p);
}
#endif

namespace {

constexpr ParamID kPresetTag = 0x70727374;
constexpr int kIsochronic = 0, kTones = 3, kSpread = 4, kWave = 8, kPlayAnyway = 12;

std::string Narrow(const TChar* t) {
  std::string s;
  for (int i = 0; i < 128 && t[i]; ++i) s += static_cast<char>(t[i] & 0xFF);
  return s;
}

class ModuleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    module = new caldrith_host::Module();
    ASSERT_TRUE(module->Load(BundleUnderTest())) << module->Error();
  }
  static void TearDownTestSuite() {
    delete module;
    module = nullptr;
  }
  static caldrith_host::Module* module;
};
caldrith_host::Module* ModuleTest::module = nullptr;

// One instrument created through the factory and set up for processing.
struct Instrument {
  IPluginFactory* factory = nullptr;
  IComponent* component = nullptr;
  IAudioProcessor* processor = nullptr;
  IEditController* controller = nullptr;
  caldrith_host::HostContext host{"Test Host"};

  explicit Instrument(caldrith_host::Module* m, int32 size = kSample32, int32 block = 512) {
    factory = m->Factory();
    PClassInfo info;
    factory->getClassInfo(0, &info);
    EXPECT_EQ(
        factory->createInstance(info.cid, IComponent::iid, reinterpret_cast<void**>(&component)),
        kResultOk);
    EXPECT_EQ(component->initialize(static_cast<IHostApplication*>(&host)), kResultOk);
    component->queryInterface(IAudioProcessor::iid, reinterpret_cast<void**>(&processor));
    component->queryInterface(IEditController::iid, reinterpret_cast<void**>(&controller));
    SpeakerArrangement stereo = SpeakerArr::kStereo;
    EXPECT_EQ(processor->setBusArrangements(nullptr, 0, &stereo, 1), kResultOk);
    component->activateBus(kAudio, kOutput, 0, true);
    component->activateBus(kEvent, kInput, 0, true);
    ProcessSetup setup{kRealtime, size, block, 48000.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultOk);
    component->setActive(true);
  }
  ~Instrument() {
    component->setActive(false);
    controller->release();
    processor->release();
    component->terminate();
    component->release();
    factory->release();
  }
};

// Renders `blocks` blocks of `n` frames, playing, and returns channel 0 and 1 as doubles.
std::vector<double> Render(Instrument& inst, int blocks, int n, bool f64,
                           caldrith_host::ParamChanges* first = nullptr,
                           caldrith_host::EventList* events = nullptr,
                           long* allocationsInProcess = nullptr) {
  std::vector<float> f[2] = {std::vector<float>(static_cast<size_t>(n)),
                             std::vector<float>(static_cast<size_t>(n))};
  std::vector<double> d[2] = {std::vector<double>(static_cast<size_t>(n)),
                              std::vector<double>(static_cast<size_t>(n))};
  float* fp[2] = {f[0].data(), f[1].data()};
  double* dp[2] = {d[0].data(), d[1].data()};
  AudioBusBuffers out{};
  out.numChannels = 2;
  if (f64) {
    out.channelBuffers64 = dp;
  } else {
    out.channelBuffers32 = fp;
  }
  ProcessContext ctx{};
  ctx.state = ProcessContext::kPlaying;
  ctx.sampleRate = 48000.0;
  ctx.tempo = 120.0;
  ProcessData data{};
  data.numSamples = n;
  data.numOutputs = 1;
  data.outputs = &out;
  data.processContext = &ctx;
  data.inputEvents = events;
  std::vector<double> result;
  result.reserve(static_cast<size_t>(blocks) * static_cast<size_t>(n) * 2);
  for (int b = 0; b < blocks; ++b) {
    ctx.projectTimeSamples = static_cast<int64>(b) * n;
    data.inputParameterChanges = b == 0 ? first : nullptr;
    long before = gAllocations.load();
    inst.processor->process(data);
    if (allocationsInProcess) *allocationsInProcess += gAllocations.load() - before;
    for (int s = 0; s < n; ++s) {
      for (int c = 0; c < 2; ++c) {
        result.push_back(f64 ? d[c][static_cast<size_t>(s)] : f[c][static_cast<size_t>(s)]);
      }
    }
  }
  return result;
}

}  // namespace

TEST_F(ModuleTest, ExportsTheEntryPointsOnly) {
#ifdef _WIN32
  // Windows hosts use the library entry instead of ModuleEntry/ModuleExit.
  for (const char* name : {"GetPluginFactory", "InitDll", "ExitDll"}) {
    EXPECT_NE(module->Symbol(name), nullptr) << name;
  }
  EXPECT_EQ(module->Symbol("ModuleEntry"), nullptr);
#else
  for (const char* name : {"GetPluginFactory", "ModuleEntry", "ModuleExit", "InitDll", "ExitDll"}) {
    EXPECT_NE(module->Symbol(name), nullptr) << name;
  }
#endif
  EXPECT_EQ(module->Symbol("gPluginFactory"), nullptr);
  EXPECT_EQ(module->Symbol("_ZN9Steinberg14gPluginFactoryE"), nullptr);
  EXPECT_EQ(module->Symbol("_Z20AcquirePluginFactoryRK23PluginModuleDescription"), nullptr);
}

TEST_F(ModuleTest, FactoryIsSharedAndDescribesOneInstrument) {
  IPluginFactory* a = module->Factory();
  IPluginFactory* b = module->Factory();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  // Two calls, two references: a third one makes three.
  EXPECT_EQ(a->addRef(), 3u);
  a->release();
  b->release();

  PFactoryInfo finfo;
  ASSERT_EQ(a->getFactoryInfo(&finfo), kResultOk);
  EXPECT_STREQ(finfo.vendor, "Quenlor");
  EXPECT_STREQ(finfo.email, "");
  EXPECT_EQ(finfo.flags, PFactoryInfo::kUnicode);
  EXPECT_NE(std::string(finfo.url), "");
  EXPECT_EQ(std::string(finfo.url).find("://"), std::string::npos);

  ASSERT_EQ(a->countClasses(), 1);
  PClassInfo2 info;
  ASSERT_EQ(a->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&b)), kResultOk);
  ASSERT_EQ(static_cast<IPluginFactory2*>(b)->getClassInfo2(0, &info), kResultOk);
  b->release();
  // Windows keeps the COM byte order hosts there have always seen; elsewhere the words are
  // stored in reading order. Either way hosts print the same text, so projects move between
  // systems.
#ifdef _WIN32
  const unsigned char expected[16] = {0x0D, 0xE7, 0xAE, 0xF2, 0xDE, 0x00, 0x4E, 0x4F,
                                      'Q',  'n',  'l',  'r',  0x34, 0x56, 0x64, 0x73};
#else
  const unsigned char expected[16] = {0xF2, 0xAE, 0xE7, 0x0D, 0x00, 0xDE, 0x4F, 0x4E,
                                      'Q',  'n',  'l',  'r',  0x34, 0x56, 0x64, 0x73};
#endif
  EXPECT_EQ(0, std::memcmp(info.cid, expected, 16));
  char text[33] = {};
  FUID::fromTUID(info.cid).toString(text);
  EXPECT_STREQ(text, "F2AEE70D00DE4F4E516E6C7234566473");
  EXPECT_EQ(info.cardinality, PClassInfo::kManyInstances);
  EXPECT_STREQ(info.category, "Audio Module Class");
  EXPECT_STREQ(info.name, "Caldrith");
  EXPECT_EQ(info.classFlags, 2u);
  EXPECT_STREQ(info.subCategories, "Instrument");
  EXPECT_STREQ(info.vendor, "");
  EXPECT_STREQ(info.version, "1.0.0");
  EXPECT_STREQ(info.sdkVersion, "VST 3.6.5");
  PClassInfo plain;
  EXPECT_NE(a->getClassInfo(1, &plain), kResultOk);
  EXPECT_NE(a->getClassInfo(-1, &plain), kResultOk);

  // Unknown class ids and interfaces create nothing.
  void* obj = reinterpret_cast<void*>(1);
  TUID other = {};
  EXPECT_NE(a->createInstance(other, IComponent::iid, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  EXPECT_NE(a->createInstance(reinterpret_cast<const char*>(expected), other, &obj), kResultOk);
  EXPECT_EQ(obj, nullptr);
  a->release();
}

TEST_F(ModuleTest, ParametersAsTheHostSeesThem) {
  Instrument inst(module);
  ASSERT_EQ(inst.controller->getParameterCount(), 24);
  ParameterInfo info{};
  inst.controller->getParameterInfo(0, info);
  EXPECT_EQ(Narrow(info.title), "Presets");
  EXPECT_EQ(info.id, kPresetTag);
  EXPECT_EQ(info.flags, ParameterInfo::kIsProgramChange | ParameterInfo::kIsList);
  EXPECT_EQ(info.stepCount, 149);
  inst.controller->getParameterInfo(1, info);
  EXPECT_EQ(Narrow(info.title), "Isochronic");
  EXPECT_EQ(Narrow(info.units), "Hz");
  EXPECT_EQ(info.stepCount, 0);
  inst.controller->getParameterInfo(1 + kWave, info);
  EXPECT_EQ(Narrow(info.title), "Wave");
  EXPECT_EQ(info.stepCount, 6);
  String128 text;
  ASSERT_EQ(inst.controller->getParamStringByValue(kWave, 0.5, text), kResultOk);
  EXPECT_EQ(Narrow(text), "Golden Sine");
  ASSERT_EQ(inst.controller->getParamStringByValue(kIsochronic, 1.0, text), kResultOk);
  EXPECT_EQ(Narrow(text), "1000.00");
  EXPECT_EQ(inst.controller->getParamStringByValue(kPresetTag, 0.5, text), kResultFalse);
  EXPECT_EQ(inst.controller->setParamNormalized(kPresetTag, 1.0), kResultOk);
  EXPECT_EQ(inst.controller->getParamNormalized(kPresetTag), 1.0);

  IUnitInfo* units = nullptr;
  ASSERT_EQ(inst.component->queryInterface(IUnitInfo::iid, reinterpret_cast<void**>(&units)),
            kResultOk);
  EXPECT_EQ(units->getUnitCount(), 1);
  ProgramListInfo list{};
  ASSERT_EQ(units->getProgramListInfo(0, list), kResultOk);
  EXPECT_EQ(Narrow(list.name), "Factory Presets");
  EXPECT_EQ(list.programCount, 150);
  units->getProgramName(kPresetTag, 0, text);
  EXPECT_EQ(Narrow(text), "---- default ----");
  units->getProgramName(kPresetTag, 149, text);
  EXPECT_EQ(Narrow(text), "- 150 -");
  units->release();
}

TEST_F(ModuleTest, DefaultStateBytesAndPresetLocks) {
  Instrument inst(module);
  MemoryStream s;
  ASSERT_EQ(inst.component->getState(&s), kResultOk);
  ASSERT_EQ(s.getSize(), 184);
  const unsigned char first[8] = {0, 0, 0, 0, 0, 0, 0x26, 0x40};
  EXPECT_EQ(0, std::memcmp(s.getData(), first, 8));

  // Preset 3 is current: a host restore then applies only "Tones" and "Spread".
  caldrith_host::ParamChanges select;
  select.Add(kPresetTag, 3.0 / 149.0);
  Render(inst, 1, 32, false, &select);
  ASSERT_EQ(inst.controller->getParamNormalized(kPresetTag), 3.0 / 149.0);
  std::vector<double> values(23);
  for (int i = 0; i < 23; ++i) {
    double n = inst.controller->getParamNormalized(static_cast<ParamID>(i));
    values[static_cast<size_t>(i)] =
        inst.controller->normalizedParamToPlain(static_cast<ParamID>(i), n < 0.5 ? 1.0 : 0.0);
  }
  MemoryStream in;
  in.write(values.data(), 184, nullptr);
  in.seek(0, IBStream::kIBSeekSet, nullptr);
  std::vector<double> before(23);
  for (int i = 0; i < 23; ++i)
    before[static_cast<size_t>(i)] = inst.controller->getParamNormalized(static_cast<ParamID>(i));
  ASSERT_EQ(inst.component->setState(&in), kResultOk);
  for (int i = 0; i < 23; ++i) {
    double now = inst.controller->getParamNormalized(static_cast<ParamID>(i));
    if (i == kTones || i == kSpread) {
      EXPECT_NE(now, before[static_cast<size_t>(i)]) << i;
    } else {
      EXPECT_EQ(now, before[static_cast<size_t>(i)]) << i;
    }
  }
}

TEST_F(ModuleTest, PresetTagHalfwaySelectsPreset75) {
  Instrument inst(module);
  caldrith_host::ParamChanges select;
  select.Add(kPresetTag, 0.5);
  Render(inst, 1, 16, false, &select);
  EXPECT_DOUBLE_EQ(inst.controller->getParamNormalized(kPresetTag), 75.0 / 149.0);
}

TEST_F(ModuleTest, SampleSizesAgreeAndNotesChangeNothing) {
  Instrument a(module, kSample32), b(module, kSample64), c(module, kSample32);
  caldrith_host::ParamChanges p1, p2, p3;
  for (auto* p : {&p1, &p2, &p3}) p->Add(kPresetTag, 57.0 / 149.0);
  caldrith_host::EventList notes;
  for (int i = 0; i < 8; ++i) {
    Event e{};
    e.type = i % 2 ? Event::kNoteOffEvent : Event::kNoteOnEvent;
    e.sampleOffset = i * 50;
    e.noteOn.pitch = static_cast<int16>(60 + i);
    e.noteOn.velocity = 0.8f;
    notes.addEvent(e);
  }
  std::vector<double> r32 = Render(a, 40, 512, false, &p1);
  std::vector<double> r64 = Render(b, 40, 512, true, &p2);
  std::vector<double> withNotes = Render(c, 40, 512, false, &p3, &notes);
  ASSERT_EQ(r32.size(), r64.size());
  double peak = 0;
  size_t mismatches = 0;
  for (size_t i = 0; i < r32.size(); ++i) {
    peak = std::max(peak, std::fabs(r64[i]));
    if (static_cast<float>(r64[i]) != static_cast<float>(r32[i])) ++mismatches;
  }
  EXPECT_GT(peak, 0.01);  // the preset sounds
  EXPECT_EQ(mismatches, 0u);
  EXPECT_EQ(r32, withNotes);
}

#ifdef CALDRITH_COUNT_ALLOCATIONS
TEST_F(ModuleTest, ProcessingAllocatesNothing) {
  for (int32 size : {kSample32, kSample64}) {
    Instrument inst(module, size, 512);
    caldrith_host::ParamChanges changes;
    changes.Add(kPresetTag, 80.0 / 149.0);
    changes.Add(kTones, 1.0);
    changes.Add(kPlayAnyway, 1.0);
    long allocations = 0;
    Render(inst, 4, 512, size == kSample64, nullptr, nullptr, &allocations);
    EXPECT_EQ(allocations, 0);
    // A block longer than the maximum is split, not given a bigger buffer.
    Render(inst, 2, 4096, size == kSample64, nullptr, nullptr, &allocations);
    EXPECT_EQ(allocations, 0);
    Render(inst, 1, 512, size == kSample64, &changes, nullptr, &allocations);
    EXPECT_EQ(allocations, 0) << "with a preset and parameter changes";
  }
}

#endif  // CALDRITH_COUNT_ALLOCATIONS

TEST_F(ModuleTest, ManyInstancesAtOnce) {
  std::vector<std::unique_ptr<Instrument>> all;
  for (int i = 0; i < 4; ++i) all.push_back(std::make_unique<Instrument>(module));
  for (auto& inst : all) EXPECT_FALSE(Render(*inst, 2, 256, false).empty());
}

#endif  // CALDRITH_TEST_BUNDLE
