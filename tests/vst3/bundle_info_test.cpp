// What hosts read about the bundle before loading it (Contents/Resources/moduleinfo.json and
// the editor snapshot) against what the loaded module itself answers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "json_reader.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "raster/raster.h"
#include "vst3/host/host_support.h"

#ifdef CALDRITH_TEST_BUNDLE

using namespace Steinberg;
using json_reader::Value;
namespace fs = std::filesystem;

namespace {

const std::string kBundle = CALDRITH_TEST_BUNDLE;
const char kCidText[] = "F2AEE70D00DE4F4E516E6C7234566473";

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::vector<std::string> Keys(const Value& v) {
  return v.keys;
}

const Value& Member(const Value& v, const std::string& key) {
  static const Value missing;
  const Value* m = v.Get(key);
  EXPECT_NE(m, nullptr) << "no \"" << key << "\"";
  return m ? *m : missing;
}

void ExpectString(const Value& v, const std::string& key, const std::string& expected) {
  const Value& m = Member(v, key);
  EXPECT_EQ(m.kind, Value::kString) << key;
  EXPECT_EQ(m.text, expected) << key;
}

void ExpectInteger(const Value& v, const std::string& key, long long expected) {
  const Value& m = Member(v, key);
  EXPECT_EQ(m.kind, Value::kNumber) << key;
  EXPECT_EQ(m.text, std::to_string(expected)) << key;
}

void ExpectBool(const Value& v, const std::string& key, bool expected) {
  const Value& m = Member(v, key);
  EXPECT_EQ(m.kind, Value::kBool) << key;
  EXPECT_EQ(m.boolean, expected) << key;
}

std::string SnapshotPath() {
  return kBundle + "/Contents/Resources/Snapshots/" + kCidText + "_snapshot.png";
}

}  // namespace

TEST(JsonReader, AcceptsJsonAndNothingElse) {
  Value v;
  json_reader::Parser ok(R"({"a": [1, -2.5e1, "x\"\u0041"], "b": {"c": true, "d": null}})");
  ASSERT_TRUE(ok.Parse(&v)) << ok.Error();
  EXPECT_EQ(Keys(v), (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(v.Get("a")->items.size(), 3u);
  EXPECT_EQ(v.Get("a")->items[1].number, -25.0);
  EXPECT_EQ(v.Get("a")->items[2].text, "x\"A");
  EXPECT_TRUE(v.Get("b")->Get("c")->boolean);
  // What a lenient writer might leave behind and a strict host refuses.
  for (const char* bad : {"{\"a\": 1,}", "[1, 2,]", "{a: 1}", "{\"a\": 01}", "{\"a\": 1} x",
                          "{\"a\": 1, \"a\": 2}", "\"tab\there\"", "{\"a\": tru}", "[", ""}) {
    json_reader::Parser p(bad);
    Value out;
    EXPECT_FALSE(p.Parse(&out)) << bad;
  }
}

// Every field hosts read instead of asking the factory must be what the factory answers; the
// class id is written as the text hosts on every system show.
TEST(BundleInfo, ModuleInfoIsWhatTheFactoryAnswers) {
  const std::string text = ReadText(kBundle + "/Contents/Resources/moduleinfo.json");
  ASSERT_FALSE(text.empty()) << "no moduleinfo.json in " << kBundle;
  Value doc;
  json_reader::Parser parser(text);
  ASSERT_TRUE(parser.Parse(&doc)) << parser.Error();
  ASSERT_EQ(doc.kind, Value::kObject);
  EXPECT_EQ(Keys(doc), (std::vector<std::string>{"Name", "Version", "Factory Info", "Compatibility",
                                                 "Classes"}));

  caldrith_host::Module module;
  ASSERT_TRUE(module.Load(kBundle)) << module.Error();
  IPluginFactory* factory = module.Factory();
  ASSERT_NE(factory, nullptr);
  PFactoryInfo finfo{};
  ASSERT_EQ(factory->getFactoryInfo(&finfo), kResultOk);
  IPluginFactory2* factory2 = nullptr;
  ASSERT_EQ(factory->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&factory2)),
            kResultOk);
  PClassInfo2 info{};
  ASSERT_EQ(factory2->getClassInfo2(0, &info), kResultOk);
  const int32 classCount = factory->countClasses();
  factory2->release();
  factory->release();

  ExpectString(doc, "Name", "Caldrith");
  ExpectString(doc, "Version", info.version);
  const Value& fi = Member(doc, "Factory Info");
  EXPECT_EQ(Keys(fi), (std::vector<std::string>{"Vendor", "URL", "E-Mail", "Flags"}));
  ExpectString(fi, "Vendor", finfo.vendor);
  ExpectString(fi, "URL", finfo.url);
  ExpectString(fi, "E-Mail", finfo.email);
  const Value& flags = Member(fi, "Flags");
  EXPECT_EQ(Keys(flags), (std::vector<std::string>{"Unicode", "Classes Discardable",
                                                   "Component Non Discardable"}));
  ExpectBool(flags, "Unicode", (finfo.flags & PFactoryInfo::kUnicode) != 0);
  ExpectBool(flags, "Classes Discardable", (finfo.flags & PFactoryInfo::kClassesDiscardable) != 0);
  ExpectBool(flags, "Component Non Discardable",
             (finfo.flags & PFactoryInfo::kComponentNonDiscardable) != 0);
  EXPECT_EQ(Member(doc, "Compatibility").kind, Value::kArray);
  EXPECT_TRUE(Member(doc, "Compatibility").items.empty());

  const Value& classes = Member(doc, "Classes");
  ASSERT_EQ(classes.kind, Value::kArray);
  ASSERT_EQ(static_cast<int32>(classes.items.size()), classCount);
  const Value& c = classes.items[0];
  EXPECT_EQ(Keys(c), (std::vector<std::string>{"CID", "Category", "Name", "Vendor", "Version",
                                               "SDKVersion", "Sub Categories", "Class Flags",
                                               "Cardinality", "Snapshots"}));
  char cid[33] = {};
  FUID::fromTUID(info.cid).toString(cid);
  ExpectString(c, "CID", cid);
  ExpectString(c, "CID", kCidText);
  ExpectString(c, "Category", info.category);
  ExpectString(c, "Name", info.name);
  // The class names no vendor of its own; hosts show the factory's.
  EXPECT_STREQ(info.vendor, "");
  ExpectString(c, "Vendor", finfo.vendor);
  ExpectString(c, "Version", info.version);
  ExpectString(c, "SDKVersion", info.sdkVersion);
  const Value& sub = Member(c, "Sub Categories");
  ASSERT_EQ(sub.items.size(), 1u);
  EXPECT_EQ(sub.items[0].text, info.subCategories);
  ExpectInteger(c, "Class Flags", info.classFlags);
  ExpectInteger(c, "Cardinality", info.cardinality);
  const Value& shots = Member(c, "Snapshots");
  ASSERT_EQ(shots.items.size(), 1u);
  EXPECT_EQ(Keys(shots.items[0]), (std::vector<std::string>{"Scale Factor", "Path"}));
  ExpectInteger(shots.items[0], "Scale Factor", 1);
  ExpectString(shots.items[0], "Path",
               std::string("Contents/Resources/Snapshots/") + kCidText + "_snapshot.png");
}

TEST(BundleInfo, OneSnapshotTheSizeOfTheEditor) {
  raster::Bitmap shot;
  ASSERT_TRUE(raster::LoadPngFile(SnapshotPath().c_str(), &shot)) << SnapshotPath();
  ASSERT_EQ(shot.Width(), 600);
  ASSERT_EQ(shot.Height(), 475);
  // The only picture in the folder: hosts would show a second one as well.
  int pictures = 0;
  for (const auto& e : fs::directory_iterator(fs::path(SnapshotPath()).parent_path())) {
    (void)e;
    ++pictures;
  }
  EXPECT_EQ(pictures, 1);
}

#endif  // CALDRITH_TEST_BUNDLE
