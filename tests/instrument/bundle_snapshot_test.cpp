// The editor picture in the built bundle is the headless editor's, pixel for pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "editor/snapshot.h"
#include "instrument/caldrith.h"
#include "raster/raster.h"
#include "vst3/host/host_support.h"

#if defined(CALDRITH_TEST_BUNDLE) && !defined(_WIN32)

using namespace Steinberg;

// What a plug-in browser shows must be what the editor of an instance a host has just
// initialized shows: same state, same images, same text.
TEST(BundleSnapshot, IsTheEditorOfAFreshInstance) {
  const std::string snapshot = std::string(CALDRITH_TEST_BUNDLE) +
                               "/Contents/Resources/Snapshots/"
                               "F2AEE70D00DE4F4E516E6C7234566473_snapshot.png";
  raster::Bitmap shot;
  ASSERT_TRUE(raster::LoadPngFile(snapshot.c_str(), &shot)) << snapshot;

  CLS_CALDRITH* plug = new CLS_CALDRITH();
  caldrith_host::HostContext host;
  ASSERT_EQ(plug->initialize(static_cast<Vst::IHostApplication*>(&host)), kResultOk);
  const std::string path = ::testing::TempDir() + "/caldrith_fresh_editor.png";
  const bool written = WriteEditorPicture(plug, nullptr, path.c_str());
  plug->terminate();
  plug->release();
  ASSERT_TRUE(written);
  raster::Bitmap fresh;
  ASSERT_TRUE(raster::LoadPngFile(path.c_str(), &fresh));
  std::remove(path.c_str());
  ASSERT_EQ(fresh.Width(), shot.Width());
  ASSERT_EQ(fresh.Height(), shot.Height());
  long differing = 0;
  for (int y = 0; y < shot.Height(); ++y)
    for (int x = 0; x < shot.Width(); ++x) differing += shot.At(x, y) != fresh.At(x, y);
  EXPECT_EQ(differing, 0);
}

#endif
