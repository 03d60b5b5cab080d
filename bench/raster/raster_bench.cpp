// Drawing costs of the editor's two repaint kinds, built from the raster operations the
// controls use: a full repaint (background, knobs turned, handles, buttons, text) and an
// animated tick (two envelope graphs with anti-aliased curves and handles, plus the small dot
// graph).
#include <benchmark/benchmark.h>

#include <cmath>

#include "raster/raster.h"
#include "raster/text.h"

using namespace raster;

namespace {

// A round, shaded knob-like image with alpha.
Bitmap MakeKnob(int size) {
  Bitmap b(size, size);
  const float c = (size - 1) * 0.5f;
  FillDisc(b, c, c, size * 0.45f, Argb(255, 70, 80, 95), 1.f, true);
  DrawCircle(b, c, c, size * 0.45f, Argb(255, 150, 160, 175), 1.f, true);
  DrawLineF(b, c, c, c, size * 0.1f, Argb(255, 240, 240, 240), 1.f, true);
  return b;
}

Bitmap MakeBackground() {
  Bitmap b(600, 475);
  for (int y = 0; y < 475; ++y)
    for (int x = 0; x < 600; ++x) b.Set(x, y, Argb(255, 20 + x % 30, 25 + y % 20, 35));
  return b;
}

struct Editor {
  Bitmap draw{600, 475};
  Bitmap bg = MakeBackground();
  Bitmap knob92 = MakeKnob(92), knob64 = MakeKnob(64), knob48 = MakeKnob(48);
  Bitmap handle{16, 16}, button{32, 41}, waves{54, 245};
  Font* arial15 = FontCache::Instance().Get("Arial", 15);
  Font* arial14 = FontCache::Instance().Get("Arial", 14);
  Font* verdana = FontCache::Instance().Get("Verdana", 13);
  Editor() {
    FillDisc(handle, 7.5f, 7.5f, 7.f, Argb(255, 220, 220, 230), 1.f, true);
    FillRect(button, Rect(2, 2, 30, 39), Argb(255, 90, 100, 120), 0.9f);
    FillRect(waves, Rect(0, 0, 54, 245), Argb(255, 120, 200, 220), 0.5f);
  }

  void FullRepaint(double t) {
    Blit(draw, 0, 0, bg, 0, 0, 600, 475, 1.f, BlendMode::kCopy);
    DrawText(draw, verdana, "v1.00 i", Rect(50, 12, 95, 30), Argb(255, 255, 255, 255), 100 / 255.f,
             TextAlign::kLeft);
    DrawText(draw, arial14, "Pulse rate: 10.00 Hz", Rect(200, 58, 400, 76),
             Argb(255, 255, 255, 255), 160 / 255.f, TextAlign::kCentre);
    DrawText(draw, arial15, "Beta", Rect(204, 172, 268, 190), Argb(255, 255, 255, 255), 200 / 255.f,
             TextAlign::kRight);
    struct K {
      const Bitmap* img;
      int x, y;
    } knobs[] = {{&knob92, 254, 196},
                 {&knob64, 133, 123},
                 {&knob64, 403, 123},
                 {&knob48, 87, 239},
                 {&knob48, 513, 239}};
    for (const K& k : knobs) {
      Blit(draw, k.x, k.y, *k.img, 0, 0, k.img->Width(), k.img->Height(), 1.f);
      BlitRotated(draw, *k.img, k.x, k.y, t, 1.f);
      FillRect(draw, Rect(k.x, k.y, k.x + 20, k.y + 20), Argb(255, 255, 255, 255), 0.1f);
    }
    const int sliders[][2] = {{29, 160},  {55, 150},  {81, 170}, {50, 198},
                              {460, 225}, {470, 258}, {556, 150}};
    for (const auto& s : sliders) {
      FillRect(draw, Rect(s[0] + 7, s[1] - 20, s[0] + 9, s[1] + 20), Argb(255, 66, 110, 170), 1.f);
      Blit(draw, s[0], s[1], handle, 0, 0, 16, 16, 1.f);
    }
    Blit(draw, 498, 145, waves, 0, 70, 54, 35, 1.f);
    Blit(draw, 144, 223, button, 0, 0, 32, 41, 1.f);
    Blit(draw, 496, 185, button, 0, 0, 32, 36, 1.f, BlendMode::kAdd);
    Blit(draw, 202, 445, button, 0, 0, 32, 16, 1.f);
    AnimatedTick(t);
  }

  void Graph(int L, int T, double t) {
    const int W = 286, H = 148;
    Blit(draw, L, T, bg, L, T, W, H, 1.f, BlendMode::kCopy);
    for (int i = 1; i < 4; ++i)
      DrawLine(draw, L, T + i * H / 4, L + W - 1, T + i * H / 4, Argb(255, 255, 255, 255), 0.1f,
               false);
    float px = 0, py = 0;
    for (int i = 0; i <= 64; ++i) {
      const float x = L + 4 + i * (W - 8) / 64.f;
      const float y = T + H * 0.5f - float(std::sin(i * 0.2 + t) * H * 0.4);
      if (i) DrawLineF(draw, px, py, x, y, Argb(255, 120, 220, 255), 1.f, true);
      px = x, py = y;
    }
    for (int i = 0; i < 6; ++i) {
      const float x = L + 20 + i * 48.f, y = T + 30 + (i % 3) * 40.f;
      FillDisc(draw, x, y, 5.f, Argb(255, 255, 200, 80), 1.f, true);
      DrawCircle(draw, x, y, 7.f, Argb(255, 255, 255, 255), 0.5f, true);
    }
    for (int i = 0; i < 16; ++i)
      FillDisc(draw, L + 10 + i * 17.f, T + H * 0.5f + float(std::cos(t + i) * 50), 2.5f,
               Argb(255, 255, 255, 255), 0.8f, true);
  }

  void AnimatedTick(double t) {
    Graph(13, 294, t);
    Graph(303, 294, t + 1);
    Blit(draw, 274, 92, bg, 274, 92, 46, 46, 1.f, BlendMode::kCopy);
    for (int i = 0; i < 8; ++i)
      FillDisc(draw, 274 + 5 + i * 5.f, 92 + 23 + float(std::sin(t + i) * 15), 2.f,
               Argb(255, 120, 255, 160), 1.f, true);
  }
};

void BM_FullRepaint(benchmark::State& state) {
  Editor e;
  double t = 0;
  for (auto _ : state) {
    e.FullRepaint(t);
    t += 0.05;
    benchmark::DoNotOptimize(e.draw.Pixels());
  }
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMillisecond);

void BM_AnimatedTick(benchmark::State& state) {
  Editor e;
  double t = 0;
  for (auto _ : state) {
    e.AnimatedTick(t);
    t += 0.05;
    benchmark::DoNotOptimize(e.draw.Pixels());
  }
}
BENCHMARK(BM_AnimatedTick)->Unit(benchmark::kMillisecond);

void BM_RotatedKnob92(benchmark::State& state) {
  Editor e;
  double t = 0;
  for (auto _ : state) {
    BlitRotated(e.draw, e.knob92, 254, 196, t, 1.f);
    t += 0.05;
  }
}
BENCHMARK(BM_RotatedKnob92)->Unit(benchmark::kMicrosecond);

void BM_Text(benchmark::State& state) {
  Editor e;
  for (auto _ : state)
    DrawText(e.draw, e.arial14, "Pulse rate: 10.00 Hz", Rect(200, 58, 400, 76),
             Argb(255, 255, 255, 255), 160 / 255.f, TextAlign::kCentre);
}
BENCHMARK(BM_Text)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
