// Music files of any bytes. The first byte picks the render rate and the loop; the rest is the
// file, written where the reader can open it. A file is refused with a reason, or it plays:
// every sample finite and bounded, the reads never hang, and after the end only zeros.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "tools/music_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  caldrith_fuzz::Input in(data, size);
  const uint8_t flags = in.Byte();
  static const int kRates[] = {48000, 44100, 96000, 8000};
  const int rate = kRates[flags & 3];
  static const std::string path = "/tmp/caldrith-music-fuzz-" + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::vector<uint8_t> file(in.Remaining());
  in.Bytes(file.data(), file.size());
  std::fwrite(file.data(), 1, file.size(), f);
  std::fclose(f);

  std::string error;
  std::unique_ptr<caldrith_render::MusicStream> music =
      caldrith_render::MusicStream::Open(path, rate, &error);
  // The stream keeps the file open: the name can go now.
  unlink(path.c_str());
  if (!music) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  music->SetLoop(flags & 4);
  std::vector<float> l(4096), r(4096);
  for (int block = 0; block < 4; ++block) {
    const bool ended = music->Ended();
    music->Read(l.data(), r.data(), static_cast<int>(l.size()));
    for (size_t i = 0; i < l.size(); ++i) {
      // Eight at most per channel, each weighted at most 1 per side, and room for the
      // resampler's overshoot.
      const float bound = 16.0f * static_cast<float>(music->FileChannels());
      FUZZ_CHECK(std::fabs(l[i]) <= bound && std::fabs(r[i]) <= bound);
      FUZZ_CHECK(!ended || (l[i] == 0.0f && r[i] == 0.0f));
    }
  }
  FUZZ_CHECK(!music->ReadFailed() || !music->FailureMessage().empty());
  return 0;
}
