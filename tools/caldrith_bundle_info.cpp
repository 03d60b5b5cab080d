// caldrith-bundle-info: writes what a host reads about a bundle before it loads the module
// (Contents/Resources/moduleinfo.json and a picture of each class's editor), taken from the
// built module through its own factory so that it cannot drift from what the module answers.
//
//   caldrith-bundle-info BUNDLE                       write moduleinfo.json and the snapshots
//   caldrith-bundle-info --view-supports TYPE BUNDLE  exit 0 when the editor view accepts the
//                                                     window type TYPE, 3 when it does not
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "pluginterfaces/base/funknown.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "vst3/host/host_support.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
namespace fs = std::filesystem;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnsupported = 3;

struct ClassRecord {
  std::string cid, category, name, vendor, version, sdkVersion;
  std::vector<std::string> subCategories;
  uint32 flags = 0;
  int32 cardinality = 0;
  std::string snapshot;  // relative to the bundle; empty when there is none
};

struct FactoryRecord {
  std::string vendor, url, email;
  int32 flags = 0;
};

// Bounded: the factory's fields need not be terminated.
std::string Field(const char* text, size_t size) {
  return std::string(text, strnlen(text, size));
}

std::string CidText(const TUID cid) {
  char text[33] = {};
  FUID::fromTUID(cid).toString(text);
  return text;
}

std::vector<std::string> SplitSubCategories(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t bar = s.find('|', start);
    if (bar == std::string::npos) bar = s.size();
    if (bar > start) out.push_back(s.substr(start, bar - start));
    start = bar + 1;
  }
  return out;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof(esc), "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

const char* Bool(bool b) {
  return b ? "true" : "false";
}

std::string ModuleInfoJson(const std::string& name, const std::string& version,
                           const FactoryRecord& f, const std::vector<ClassRecord>& classes) {
  std::string j = "{\n";
  j += "  \"Name\": " + Quote(name) + ",\n";
  j += "  \"Version\": " + Quote(version) + ",\n";
  j += "  \"Factory Info\": {\n";
  j += "    \"Vendor\": " + Quote(f.vendor) + ",\n";
  j += "    \"URL\": " + Quote(f.url) + ",\n";
  j += "    \"E-Mail\": " + Quote(f.email) + ",\n";
  j += "    \"Flags\": {\n";
  j += std::string("      \"Unicode\": ") + Bool(f.flags & PFactoryInfo::kUnicode) + ",\n";
  j += std::string("      \"Classes Discardable\": ") +
       Bool(f.flags & PFactoryInfo::kClassesDiscardable) + ",\n";
  j += std::string("      \"Component Non Discardable\": ") +
       Bool(f.flags & PFactoryInfo::kComponentNonDiscardable) + "\n";
  j += "    }\n  },\n";
  j += "  \"Compatibility\": [],\n";
  j += "  \"Classes\": [";
  for (size_t i = 0; i < classes.size(); ++i) {
    const ClassRecord& c = classes[i];
    j += i ? ",\n    {\n" : "\n    {\n";
    j += "      \"CID\": " + Quote(c.cid) + ",\n";
    j += "      \"Category\": " + Quote(c.category) + ",\n";
    j += "      \"Name\": " + Quote(c.name) + ",\n";
    j += "      \"Vendor\": " + Quote(c.vendor) + ",\n";
    j += "      \"Version\": " + Quote(c.version) + ",\n";
    j += "      \"SDKVersion\": " + Quote(c.sdkVersion) + ",\n";
    j += "      \"Sub Categories\": [";
    for (size_t k = 0; k < c.subCategories.size(); ++k)
      j += (k ? ", " : "") + Quote(c.subCategories[k]);
    j += "],\n";
    j += "      \"Class Flags\": " + std::to_string(c.flags) + ",\n";
    j += "      \"Cardinality\": " + std::to_string(c.cardinality) + ",\n";
    j += "      \"Snapshots\": [";
    if (!c.snapshot.empty())
      j += "\n        {\"Scale Factor\": 1, \"Path\": " + Quote(c.snapshot) + "}\n      ";
    j += "]\n    }";
  }
  j += classes.empty() ? "]\n}\n" : "\n  ]\n}\n";
  return j;
}

// Through a temporary file, so that an interrupted build leaves no half-written file behind.
void WriteFile(const fs::path& path, const std::string& text) {
  const fs::path tmp = path.string() + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + tmp.string());
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) throw std::runtime_error("cannot write " + path.string() + ": " + ec.message());
}

template <class T>
struct Releaser {
  void operator()(T* p) const {
    if (p) p->release();
  }
};
template <class T>
using Ref = std::unique_ptr<T, Releaser<T>>;

// One initialized component of a class, as a host holds it.
class Instance {
 public:
  Instance(IPluginFactory* factory, const TUID cid, caldrith_host::HostContext* host) {
    IComponent* c = nullptr;
    if (factory->createInstance(cid, IComponent::iid, reinterpret_cast<void**>(&c)) != kResultOk ||
        !c)
      throw std::runtime_error("the factory does not create its class");
    mComponent.reset(c);
    if (mComponent->initialize(static_cast<IHostApplication*>(host)) != kResultOk)
      throw std::runtime_error("the plug-in refused to initialize");
    mInitialized = true;
  }
  ~Instance() {
    if (mInitialized) mComponent->terminate();
  }
  IComponent* Component() const { return mComponent.get(); }

 private:
  Ref<IComponent> mComponent;
  bool mInitialized = false;
};

class Bundle {
 public:
  explicit Bundle(const std::string& path) : mPath(path) {
    while (mPath.size() > 1 && mPath.back() == '/') mPath.pop_back();
    if (!mModule.Load(mPath))
      throw std::runtime_error("cannot load " + mPath + ": " + mModule.Error());
    mFactory.reset(mModule.Factory());
    if (!mFactory) throw std::runtime_error("the module gave no plug-in factory");
    IPluginFactory3* f3 = nullptr;
    if (mFactory->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)) ==
            kResultOk &&
        f3) {
      f3->setHostContext(static_cast<IHostApplication*>(&mHost));
      f3->release();
    }
  }
  ~Bundle() {
    mFactory.reset();
    mModule.Unload();
  }

  FactoryRecord Factory() const {
    PFactoryInfo info{};
    if (mFactory->getFactoryInfo(&info) != kResultOk)
      throw std::runtime_error("the factory does not describe itself");
    return {Field(info.vendor, sizeof(info.vendor)), Field(info.url, sizeof(info.url)),
            Field(info.email, sizeof(info.email)), info.flags};
  }

  // Hosts show the factory's vendor for a class that names none; so does this file.
  std::vector<ClassRecord> Classes(std::vector<std::vector<char>>* cids) const {
    std::vector<ClassRecord> out;
    const std::string factoryVendor = Factory().vendor;
    IPluginFactory2* f2 = nullptr;
    mFactory->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&f2));
    Ref<IPluginFactory2> factory2(f2);
    for (int32 i = 0; i < mFactory->countClasses(); ++i) {
      ClassRecord r;
      PClassInfo2 info2{};
      PClassInfo info{};
      const char* cid = nullptr;
      if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
        cid = info2.cid;
        r.category = Field(info2.category, sizeof(info2.category));
        r.name = Field(info2.name, sizeof(info2.name));
        r.vendor = Field(info2.vendor, sizeof(info2.vendor));
        r.version = Field(info2.version, sizeof(info2.version));
        r.sdkVersion = Field(info2.sdkVersion, sizeof(info2.sdkVersion));
        r.subCategories =
            SplitSubCategories(Field(info2.subCategories, sizeof(info2.subCategories)));
        r.flags = info2.classFlags;
        r.cardinality = info2.cardinality;
      } else if (mFactory->getClassInfo(i, &info) == kResultOk) {
        cid = info.cid;
        r.category = Field(info.category, sizeof(info.category));
        r.name = Field(info.name, sizeof(info.name));
        r.cardinality = info.cardinality;
      } else {
        throw std::runtime_error("the factory does not describe class " + std::to_string(i));
      }
      if (r.vendor.empty()) r.vendor = factoryVendor;
      r.cid = CidText(cid);
      cids->emplace_back(cid, cid + sizeof(TUID));
      out.push_back(r);
    }
    return out;
  }

  // The editor of a freshly initialized instance, as a host first shows it.
  bool WriteSnapshot(const TUID cid, const fs::path& png) {
    using Snapshot = bool (*)(FUnknown*, const char*, const char*);
    auto snapshot = reinterpret_cast<Snapshot>(mModule.Symbol("CaldrithEditorSnapshot"));
    if (!snapshot) return false;
    Instance instance(mFactory.get(), cid, &mHost);
    const fs::path tmp = png.string() + ".tmp.png";
    if (!snapshot(instance.Component(), nullptr, tmp.string().c_str()))
      throw std::runtime_error("the module could not draw its editor into " + tmp.string());
    std::error_code ec;
    fs::rename(tmp, png, ec);
    if (ec) throw std::runtime_error("cannot write " + png.string() + ": " + ec.message());
    return true;
  }

  bool ViewSupports(const char* type) {
    for (int32 i = 0; i < mFactory->countClasses(); ++i) {
      PClassInfo info{};
      if (mFactory->getClassInfo(i, &info) != kResultOk ||
          std::strcmp(info.category, kVstAudioEffectClass) != 0)
        continue;
      Instance instance(mFactory.get(), info.cid, &mHost);
      IEditController* c = nullptr;
      if (instance.Component()->queryInterface(IEditController::iid,
                                               reinterpret_cast<void**>(&c)) != kResultOk ||
          !c)
        throw std::runtime_error("the plug-in has no edit controller in its component");
      Ref<IEditController> controller(c);
      Ref<IPlugView> view(controller->createView(ViewType::kEditor));
      if (!view) throw std::runtime_error("the plug-in creates no editor view");
      return view->isPlatformTypeSupported(type) == kResultTrue;
    }
    throw std::runtime_error("the module offers no audio plug-in class");
  }

  const std::string& Path() const { return mPath; }

 private:
  std::string mPath;
  caldrith_host::Module mModule;
  caldrith_host::HostContext mHost{"caldrith-bundle-info"};
  Ref<IPluginFactory> mFactory;
};

void WriteBundleInfo(const std::string& path) {
  Bundle bundle(path);
  const fs::path resources = fs::path(bundle.Path()) / "Contents" / "Resources";
  const fs::path snapshots = resources / "Snapshots";
  fs::create_directories(snapshots);
  // Pictures of classes the module no longer has (an id that changed) must not linger.
  for (const auto& entry : fs::directory_iterator(snapshots)) {
    const std::string file = entry.path().filename().string();
    if (file.find("_snapshot") != std::string::npos) fs::remove(entry.path());
  }

  std::vector<std::vector<char>> cids;
  std::vector<ClassRecord> classes = bundle.Classes(&cids);
  std::string version;
  for (size_t i = 0; i < classes.size(); ++i) {
    ClassRecord& c = classes[i];
    if (c.category != kVstAudioEffectClass) continue;
    if (version.empty()) version = c.version;
    const std::string file = c.cid + "_snapshot.png";
    if (bundle.WriteSnapshot(cids[i].data(), snapshots / file))
      c.snapshot = "Contents/Resources/Snapshots/" + file;
  }
  std::string name = fs::path(bundle.Path()).filename().string();
  if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0)
    name.resize(name.size() - 5);
  WriteFile(resources / "moduleinfo.json",
            ModuleInfoJson(name, version, bundle.Factory(), classes));
}

int Usage() {
  std::fprintf(stderr,
               "usage: caldrith-bundle-info BUNDLE\n"
               "       caldrith-bundle-info --view-supports TYPE BUNDLE\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 2 && argv[1][0] != '-') {
      WriteBundleInfo(argv[1]);
      return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "--view-supports") == 0) {
      Bundle bundle(argv[3]);
      return bundle.ViewSupports(argv[2]) ? 0 : kExitUnsupported;
    }
    return Usage();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "caldrith-bundle-info: %s\n", e.what());
    return kExitFailure;
  }
}
