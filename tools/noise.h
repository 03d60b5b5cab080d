#pragma once
// Coloured noise for the bed under the tones: white, pink (-3 dB per octave) or brown (-6 dB per
// octave), seeded so that a render can be repeated sample for sample.
#include <cstdint>

namespace caldrith_render {

enum class NoiseColor { kOff, kWhite, kPink, kBrown };

class NoiseGenerator {
 public:
  // The most first-order sections a colour's filter may take.
  static constexpr int kMaxSections = 16;

  // `rate` 8000..384000 Hz, else std::invalid_argument. The filters are fitted to the rate here
  // (a few milliseconds), so construct outside an audio callback. `mono` gives both channels the
  // same stream; otherwise left and right are independent streams drawn from the seed.
  NoiseGenerator(double rate, uint64_t seed, bool mono);

  // Restarts the new colour's filter from rest: its level rises from nothing within tens of
  // milliseconds, never jumps. Safe on the audio thread.
  void SetColor(NoiseColor color);
  NoiseColor Color() const { return mColor; }

  // `frames` samples per channel at an RMS of 1 over the long run (kOff: zeros). Allocates
  // nothing, takes no lock.
  void Generate(double* left, double* right, int frames);

  // The fitted filter's response in dB at `hz` (white: 0), for checks of the design itself.
  double ResponseDb(NoiseColor color, double hz) const;

 private:
  struct Filter {
    int count = 0;
    double pole[kMaxSections] = {};
    double zero[kMaxSections] = {};
    double gain = 1.0;  // to an RMS of 1 from the uniform source
  };
  struct Rng {
    uint64_t s[4];
    uint64_t Next();
  };

  void Design(NoiseColor color, Filter* out) const;
  const Filter* Current() const;
  template <int N>
  void RunSections(const Filter& f, double* left, double* right, int frames);

  double mRate;
  bool mMono;
  NoiseColor mColor = NoiseColor::kOff;
  Rng mRng;
  Filter mPink, mBrown;
  double mState[kMaxSections + 1][2] = {};  // each section's last input, then the output
};

}  // namespace caldrith_render
