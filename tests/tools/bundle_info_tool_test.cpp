// caldrith-bundle-info run against copies of the built bundle and against bad input.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#if defined(CALDRITH_BUNDLE_INFO_TOOL) && defined(CALDRITH_TEST_BUNDLE)

namespace fs = std::filesystem;

namespace {

const std::string kBundle = CALDRITH_TEST_BUNDLE;
const char kCidText[] = "F2AEE70D00DE4F4E516E6C7234566473";

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int RunTool(const std::string& args) {
  const std::string cmd = std::string(CALDRITH_BUNDLE_INFO_TOOL) + " " + args + " 2>/dev/null";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A copy of the built bundle's module in a fresh bundle folder.
std::string CopyOfBundle(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / name / "Caldrith.vst3";
  fs::remove_all(dir.parent_path());
  fs::create_directories(dir / "Contents" / "x86_64-linux");
  fs::copy_file(kBundle + "/Contents/x86_64-linux/Caldrith.so",
                dir / "Contents" / "x86_64-linux" / "Caldrith.so");
  return dir.string();
}

}  // namespace

TEST(BundleInfoTool, WritesBothFilesAndDropsPicturesOfOldIds) {
  const std::string bundle = CopyOfBundle("bundle_info_fresh");
  const fs::path shots = fs::path(bundle) / "Contents" / "Resources" / "Snapshots";
  fs::create_directories(shots);
  // The id this class had on Linux before its bytes followed the platform's order.
  const fs::path old = shots / "0DE7AEF2DE004E4F516E6C7234566473_snapshot.png";
  std::ofstream(old) << "stale";
  const fs::path unrelated = shots / "readme.txt";
  std::ofstream(unrelated) << "kept";

  ASSERT_EQ(RunTool(bundle), 0);
  EXPECT_FALSE(fs::exists(old));
  EXPECT_TRUE(fs::exists(unrelated));
  EXPECT_TRUE(fs::exists(shots / (std::string(kCidText) + "_snapshot.png")));
  EXPECT_EQ(ReadText(bundle + "/Contents/Resources/moduleinfo.json"),
            ReadText(kBundle + "/Contents/Resources/moduleinfo.json"));
  for (const auto& e : fs::directory_iterator(shots))
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  fs::remove_all(fs::path(bundle).parent_path());
}

TEST(BundleInfoTool, BadBundlesAndArgumentsFailWithoutWriting) {
  const fs::path missing = fs::path(::testing::TempDir()) / "no_such_dir" / "Caldrith.vst3";
  EXPECT_EQ(RunTool(missing.string()), 1);
  EXPECT_FALSE(fs::exists(missing));

  // A bundle whose library is not a module at all.
  const fs::path dir = fs::path(::testing::TempDir()) / "bundle_info_bad" / "Caldrith.vst3";
  fs::remove_all(dir.parent_path());
  fs::create_directories(dir / "Contents" / "x86_64-linux");
  std::ofstream(dir / "Contents" / "x86_64-linux" / "Caldrith.so") << "not a library";
  EXPECT_EQ(RunTool(dir.string()), 1);
  EXPECT_FALSE(fs::exists(dir / "Contents" / "Resources" / "moduleinfo.json"));
  fs::remove_all(dir.parent_path());

  EXPECT_EQ(RunTool(""), 2);
  EXPECT_EQ(RunTool("--view-supports HWND"), 2);
  EXPECT_EQ(RunTool("--frobnicate " + kBundle), 2);
}

TEST(BundleInfoTool, AnswersWhetherTheViewTakesAWindowType) {
  EXPECT_EQ(RunTool("--view-supports X11EmbedWindowID " + kBundle), 0);
  EXPECT_EQ(RunTool("--view-supports HWND " + kBundle), 3);
  EXPECT_EQ(RunTool("--view-supports NoSuchWindowType " + kBundle), 3);
  EXPECT_EQ(RunTool("--view-supports X11EmbedWindowID " + kBundle + "/nothing-here"), 1);
}

#endif
