// The layers, bottom to top: raster, framework, engine, editor, the format bindings (vst3, clap,
// lv2) side by side, instrument. Each folder includes only the folders its layer may see, and
// only the instrument knows the product.
// Checked on the quoted includes of every source file, so a stray include fails here with
// the file and the line named, before it turns into a link-order puzzle.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Folders of ours that an include can name as its first path component.
const std::set<std::string> kOurFolders = {"raster", "framework", "engine",     "editor",
                                           "vst3",   "clap",      "lv2",        "instrument",
                                           "resources",
                                           "tools",  "tests",     "bench"};

// What each production folder may include besides itself. Tools, tests and benchmarks sit on
// top and may include any layer (tests/<layer> is held to its layer below).
const std::map<std::string, std::set<std::string>> kAllowed = {
    {"raster", {}},
    {"framework", {}},
    {"engine", {}},
    {"resources", {}},
    {"editor", {"raster", "framework"}},
    {"vst3", {"raster", "framework", "editor"}},
    {"clap", {"raster", "framework", "editor"}},
    {"lv2", {"raster", "framework", "editor"}},
    {"instrument",
     {"raster", "framework", "engine", "editor", "vst3", "clap", "lv2", "resources"}},
};

// Folders that must not name the product or its maker: they are meant for any plug-in.
const std::set<std::string> kProductFree = {"raster", "framework", "engine",
                                            "editor", "vst3",      "clap",
                                            "lv2"};
const char* const kProductNames[] = {"Caldrith", "CLS_CALDRITH", "Quenlor"};

// The SDK's headers belong to the binding and the layers that host or register plug-ins.
const char* const kSdkRoots[] = {"pluginterfaces/", "public.sdk/", "base/source/", "base/thread/"};
const std::set<std::string> kSdkFree = {"raster", "framework", "engine", "editor", "clap", "lv2"};
// LV2's headers (<lv2/...>, named with angle brackets, unlike our own lv2/ folder) belong to
// the LV2 binding alone; the test host that loads both bundles sees everything.
const std::set<std::string> kLv2HeaderFree = {"raster", "framework", "engine",     "editor",
                                              "vst3",   "clap",      "instrument", "resources"};
// Tests that host a built bundle as a host does: held to no layer.
const std::set<std::string> kHostTests = {"lv2"};
// The CLAP headers (included as <clap/...>) belong to the CLAP binding and to tests.
const std::set<std::string> kClapHeadersAllowed = {"clap", "tests"};

bool IsSource(const fs::path& p) {
  const std::string ext = p.extension().string();
  return ext == ".h" || ext == ".hpp" || ext == ".cpp" || ext == ".cc" || ext == ".inc";
}

std::string FirstComponent(const std::string& path) {
  const size_t slash = path.find('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The folder whose rules apply to a file: its top folder, or for tests/<layer>/ that layer.
std::string RuleFolder(const std::vector<std::string>& parts) {
  if (parts.size() >= 3 && parts[0] == "tests" && kHostTests.count(parts[1])) return "tests";
  if (parts.size() >= 3 && parts[0] == "tests" && kAllowed.count(parts[1])) return parts[1];
  return parts.empty() ? std::string() : parts[0];
}

// The quoted include on a line, or "" when the line has none.
std::string QuotedInclude(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  const size_t open = line.find('"', i + 7);
  if (open == std::string::npos) return "";
  const size_t close = line.find('"', open + 1);
  if (close == std::string::npos) return "";
  return line.substr(open + 1, close - open - 1);
}

// The angle-bracket include on a line, or "" when the line has none.
std::string AngleInclude(const std::string& line) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return "";
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return "";
  const size_t open = line.find('<', i + 7);
  if (open == std::string::npos) return "";
  const size_t close = line.find('>', open + 1);
  if (close == std::string::npos) return "";
  return line.substr(open + 1, close - open - 1);
}

bool ContainsWord(const std::string& line, const std::string& word) {
  for (size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + 1)) {
    const bool startOk =
        at == 0 || !(std::isalnum(static_cast<unsigned char>(line[at - 1])) || line[at - 1] == '_');
    const size_t end = at + word.size();
    const bool endOk =
        end >= line.size() || !(std::isalnum(static_cast<unsigned char>(line[end])) ||
                                line[end] == '_' || line[end] == '.');
    if (startOk && endOk) return true;
  }
  return false;
}

// Every broken rule under `root`, one line each: "file:line: what".
std::vector<std::string> Violations(const fs::path& root) {
  std::vector<std::string> out;
  std::vector<fs::path> files;
  for (const std::string& top : kOurFolders) {
    const fs::path dir = root / top;
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      if (e.is_regular_file() && IsSource(e.path())) files.push_back(e.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    const std::string rel = fs::relative(file, root).generic_string();
    std::vector<std::string> parts;
    std::stringstream ss(rel);
    for (std::string part; std::getline(ss, part, '/');) parts.push_back(part);
    const std::string folder = RuleFolder(parts);
    const auto allowed = kAllowed.find(folder);
    const bool productFree = parts[0] != "tests" && kProductFree.count(folder) > 0;
    std::ifstream in(file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      const std::string where = rel + ":" + std::to_string(n) + ": ";
      const std::string inc = QuotedInclude(line);
      if (!inc.empty()) {
        const std::string target = FirstComponent(inc);
        if (allowed != kAllowed.end() && kOurFolders.count(target) && target != folder &&
            !allowed->second.count(target) && !(parts[0] == "tests" && target == "tests")) {
          out.push_back(where + folder + "/ may not include \"" + inc + "\"");
        }
        if (kSdkFree.count(folder)) {
          for (const char* sdk : kSdkRoots) {
            if (inc.rfind(sdk, 0) == 0) {
              out.push_back(where + folder + "/ may not include the SDK header \"" + inc + "\"");
            }
          }
        }
      }
      const std::string angle = AngleInclude(line);
      if (kLv2HeaderFree.count(folder) &&
          (angle.rfind("lv2/", 0) == 0 || angle.rfind("lilv/", 0) == 0)) {
        out.push_back(where + folder + "/ may not include the LV2 header <" + angle + ">");
      }
      if (angle.rfind("clap/", 0) == 0 && !kClapHeadersAllowed.count(folder) &&
          parts[0] != "tests") {
        out.push_back(where + folder + "/ may not include the CLAP header <" + angle + ">");
      }
      if (productFree) {
        for (const char* name : kProductNames) {
          if (ContainsWord(line, name)) {
            out.push_back(where + folder + "/ names the product (" + name + ")");
          }
        }
      }
    }
  }
  return out;
}

// A scratch source tree for checking the checker.
class ScratchTree {
 public:
  ScratchTree() {
    root_ = fs::temp_directory_path() /
            ("caldrith_layering_" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(root_);
  }
  ~ScratchTree() { fs::remove_all(root_); }
  void Write(const std::string& rel, const std::string& text) {
    fs::create_directories((root_ / rel).parent_path());
    std::ofstream(root_ / rel) << text;
  }
  const fs::path& Root() const { return root_; }

 private:
  fs::path root_;
};

}  // namespace

TEST(Layering, TheSourceTreeKeepsItsLayers) {
  const fs::path root = CALDRITH_SOURCE_DIR;
  ASSERT_TRUE(fs::is_directory(root / "engine")) << root;
  ASSERT_TRUE(fs::is_directory(root / "instrument")) << root;
  std::string report;
  for (const std::string& v : Violations(root)) report += v + "\n";
  EXPECT_TRUE(report.empty()) << report;
}

TEST(Layering, UpwardIncludesAreNamedWithFileAndLine) {
  ScratchTree t;
  t.Write("framework/base.cpp", "#include \"framework/base.h\"\n#include \"editor/graphics.h\"\n");
  t.Write("engine/tone.cpp", "#include <cmath>\n  #  include \"framework/plug_param.h\"\n");
  t.Write("editor/view.cpp", "#include \"raster/raster.h\"\n#include \"instrument/caldrith.h\"\n");
  t.Write("vst3/binding.cpp", "#include \"editor/graphics.h\"\n#include \"engine/tone.h\"\n");
  const auto v = Violations(t.Root());
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0], "editor/view.cpp:2: editor/ may not include \"instrument/caldrith.h\"");
  EXPECT_EQ(v[1], "engine/tone.cpp:2: engine/ may not include \"framework/plug_param.h\"");
  EXPECT_EQ(v[2], "framework/base.cpp:2: framework/ may not include \"editor/graphics.h\"");
  EXPECT_EQ(v[3], "vst3/binding.cpp:2: vst3/ may not include \"engine/tone.h\"");
}

TEST(Layering, TopLayersAndTestsFollowTheirOwnRules) {
  ScratchTree t;
  // The instrument and tools see everything; tests/<layer> is held to that layer.
  t.Write("instrument/all.cpp",
          "#include \"engine/a.h\"\n#include \"vst3/b.h\"\n#include \"resources/embedded.h\"\n");
  t.Write("tools/tool.cpp", "#include \"instrument/caldrith.h\"\n#include \"vst3/host/h.h\"\n");
  t.Write("tests/engine/t.cpp", "#include \"engine/a.h\"\n#include \"tests/helper.h\"\n");
  t.Write("tests/editor/t.cpp", "#include \"instrument/caldrith.h\"\n");
  t.Write("tests/instrument/t.cpp", "#include \"editor/x.h\"\n// Caldrith is fine here\n");
  // Relative includes and third-party headers are not ours to police, except the SDK below
  // the binding.
  t.Write("raster/png.cpp", "#include \"png.h\"\n#include \"local.inc\"\n");
  t.Write("editor/sdk.cpp", "#include \"pluginterfaces/gui/iplugview.h\"\n");
  // The bindings stand side by side; each format's headers stay in its binding (and the tests
  // that host bundles).
  t.Write("clap/binding.cpp", "#include <clap/clap.h>\n#include \"vst3/plug_vst3.h\"\n");
  t.Write("instrument/entry.cpp",
          "#include \"clap/clap_registration.h\"\n#include <clap/clap.h>\n");
  t.Write("tests/instrument/both.cpp", "#include <clap/clap.h>\n#include \"vst3/host/h.h\"\n");
  t.Write("lv2/plug.cpp", "#include <lv2/core/lv2.h>\n#include \"editor/graphics.h\"\n");
  t.Write("lv2/bad.cpp", "#include \"vst3/plug_vst3.h\"\n");
  t.Write("instrument/lv2_entry.cpp", "#include \"lv2/reg.h\"\n#include <lv2/ui/ui.h>\n");
  t.Write("tests/lv2/host.cpp", "#include <lilv/lilv.h>\n#include \"vst3/host/host_support.h\"\n");
  const auto v = Violations(t.Root());
  ASSERT_EQ(v.size(), 6u);
  EXPECT_EQ(v[0], "clap/binding.cpp:2: clap/ may not include \"vst3/plug_vst3.h\"");
  EXPECT_EQ(v[1],
            "editor/sdk.cpp:1: editor/ may not include the SDK header "
            "\"pluginterfaces/gui/iplugview.h\"");
  EXPECT_EQ(v[2],
            "instrument/entry.cpp:2: instrument/ may not include the CLAP header <clap/clap.h>");
  EXPECT_EQ(v[3],
            "instrument/lv2_entry.cpp:2: instrument/ may not include the LV2 header <lv2/ui/ui.h>");
  EXPECT_EQ(v[4], "lv2/bad.cpp:1: lv2/ may not include \"vst3/plug_vst3.h\"");
  EXPECT_EQ(v[5], "tests/editor/t.cpp:1: editor/ may not include \"instrument/caldrith.h\"");
}

TEST(Layering, LowerLayersDoNotNameTheProduct) {
  ScratchTree t;
  t.Write("vst3/factory.cpp", "const char* kName = \"Caldrith\";\n");
  t.Write("editor/win.cpp", "// Quenlor\nint CaldrithResources();\n#define CALDRITH_X 1\n");
  t.Write("engine/k.inc", "namespace caldrith {}\n#ifdef CALDRITH_KERNEL_NS\n#endif\n");
  t.Write("instrument/c.cpp", "class CLS_CALDRITH;\nconst char* k = \"Caldrith\";\n");
  const auto v = Violations(t.Root());
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0], "editor/win.cpp:1: editor/ names the product (Quenlor)");
  EXPECT_EQ(v[1], "vst3/factory.cpp:1: vst3/ names the product (Caldrith)");
}
