// caldrith-screen-match: finds a picture of the editor on a screenshot and says how closely
// the window shows it. For the checks that open the editor in a real host's window, where the
// window's place on the screen is the host's choice and text is drawn by the platform's fonts.
//
//   caldrith-screen-match SCREEN.png EDITOR.png [--out FOUND.png] [--max-mean M] [--max-large S]
//
// Exit 0 when the mean channel difference is below M (default 0.5) and the share of pixels
// that differ by more than 48 in some channel is below S (default 0.0025: the few texts drawn
// with the platform's fonts, not a missing control); 1 when not or when the editor is nowhere
// on the screen; 2 for bad arguments or unreadable pictures.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "raster/raster.h"

namespace {

int Channel(uint32_t p, int shift) {
  return static_cast<int>((p >> shift) & 255);
}

int Distance(uint32_t p, uint32_t q) {
  return std::abs(Channel(p, 0) - Channel(q, 0)) + std::abs(Channel(p, 8) - Channel(q, 8)) +
         std::abs(Channel(p, 16) - Channel(q, 16));
}

bool ParseLimit(const char* text, double* out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end || !(v >= 0.0 && v < 1e9)) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = nullptr;
  double maxMean = 0.5, maxLarge = 0.0025;
  const char* files[2] = {nullptr, nullptr};
  int nfiles = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (a == "--max-mean" && i + 1 < argc) {
      if (!ParseLimit(argv[++i], &maxMean)) return 2;
    } else if (a == "--max-large" && i + 1 < argc) {
      if (!ParseLimit(argv[++i], &maxLarge)) return 2;
    } else if (a[0] != '-' && nfiles < 2) {
      files[nfiles++] = argv[i];
    } else {
      std::fprintf(stderr,
                   "usage: caldrith-screen-match SCREEN.png EDITOR.png [--out FOUND.png]"
                   " [--max-mean M] [--max-large S]\n");
      return 2;
    }
  }
  if (nfiles != 2) return 2;
  raster::Bitmap screen, editor;
  if (!raster::LoadPngFile(files[0], &screen) || !raster::LoadPngFile(files[1], &editor)) {
    std::fprintf(stderr, "caldrith-screen-match: cannot read %s or %s\n", files[0], files[1]);
    return 2;
  }
  const int w = editor.Width(), h = editor.Height();
  if (screen.Width() < w || screen.Height() < h) {
    std::fprintf(stderr, "caldrith-screen-match: the screen is smaller than the editor\n");
    return 1;
  }

  // Every placement scored on a sparse grid, abandoning a placement as soon as it is worse
  // than the best so far; then the whole picture at the best one.
  constexpr int kStep = 13;
  long best = std::numeric_limits<long>::max();
  int bx = 0, by = 0;
  for (int oy = 0; oy + h <= screen.Height(); ++oy) {
    for (int ox = 0; ox + w <= screen.Width(); ++ox) {
      long score = 0;
      for (int y = kStep / 2; y < h && score < best; y += kStep)
        for (int x = kStep / 2; x < w; x += kStep)
          score += Distance(screen.At(ox + x, oy + y), editor.At(x, y));
      if (score < best) {
        best = score;
        bx = ox;
        by = oy;
      }
    }
  }

  double sum = 0.0;
  long large = 0;
  raster::Bitmap found(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint32_t p = screen.At(bx + x, by + y), q = editor.At(x, y);
      found.Set(x, y, p | 0xFF000000u);
      int worst = 0;
      for (int s = 0; s < 24; s += 8) {
        const int d = std::abs(Channel(p, s) - Channel(q, s));
        sum += d;
        if (d > worst) worst = d;
      }
      if (worst > 48) ++large;
    }
  }
  const double n = static_cast<double>(w) * h;
  const double mean = sum / (3.0 * n), largeShare = large / n;
  if (out && !raster::SavePngFile(found, out))
    std::fprintf(stderr, "caldrith-screen-match: cannot write %s\n", out);
  std::printf("editor at +%d+%d: mean difference %.3f, large differences %.3f%%\n", bx, by, mean,
              100.0 * largeShare);
  return mean < maxMean && largeShare < maxLarge ? 0 : 1;
}
