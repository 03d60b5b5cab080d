#pragma once
// A music file streamed under the tones: decoded by libsndfile (MPEG by libmpg123) a chunk at a
// time, mixed to stereo, resampled by libsoxr to the render rate. Memory does not grow with the
// file's length.
//
// Stereo from any channel count:
// - one channel plays at its own level on both sides;
// - two channels pass as they are;
// - more: each channel goes where the file's channel map (libsndfile's) places it, or, without
//   a map, by the WAVE order L R C LFE Ls Rs Lb Rb. Left-hand channels (front, side, back)
//   feed the left side, right-hand ones the right, front L and R at 1, the others at 0.7071;
//   centres feed both sides at 0.7071; LFE is dropped; a channel the map cannot place (and
//   the ninth onwards without a map) feeds both sides at 0.5. The sum may pass full scale:
//   the samples are floats and the render's gain comes later.
#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct soxr;
struct mpg123_handle_struct;

namespace caldrith_render {

class MusicStream {
 public:
  // The largest block the render asks for. Read takes any count; its work is proportional.
  static constexpr int kMaxFrames = 65536;

  // Opens and checks the file. On failure answers nullptr and sets *error to what is wrong
  // (no such file, a folder, permission denied, not audio, no audio in it, a header past
  // reason), without the file's name: the caller says which file.
  static std::unique_ptr<MusicStream> Open(const std::string& path, int outputRate,
                                           std::string* error);
  ~MusicStream();
  MusicStream(const MusicStream&) = delete;
  MusicStream& operator=(const MusicStream&) = delete;

  // One pass as the header tells it (MPEG: as its frames count it); 0 when the header does not
  // tell.
  double Seconds() const;
  int FileRate() const { return mFileRate; }
  int FileChannels() const { return mChannels; }

  // At the end: start again without a gap (on) or give silence for ever (off, the default).
  // Once the music has ended, only Restart brings it back.
  void SetLoop(bool loop) { mLoop = loop; }
  // Back to the file's start, as just opened. Not for the audio thread: libsoxr allocates.
  void Restart();
  // Not looping, and the last sample (the resampler's tail included) has been given.
  bool Ended() const { return mEnded; }

  // Writes `frames` frames of stereo float at the output rate into left and right (it adds
  // nothing). After the end, and after a failure, zeros. Takes no lock and reads the file, as
  // much as the frames need. Our buffers are all sized at Open, and libsoxr's are grown there by
  // a primer; in a rare phase of some ratios it may still grow one once, so the live path
  // should read ahead off the audio thread.
  void Read(float* left, float* right, int frames);

  // A read error mid-file (a truncated file, a disk error) ends the music as silence.
  bool ReadFailed() const { return mFailed; }
  std::string FailureMessage() const { return mFailure; }

 private:
  MusicStream() = default;
  std::string OpenMpeg(const std::string& path);
  // Up to `frames` frames into mDecode: how many, 0 at the end, -1 when the decoder gave up.
  int64_t Decode(int frames);
  bool Rewind();
  std::string DecodeError() const;
  bool PrimeResampler();
  const char* Resample(const float* l, const float* r, size_t frames, size_t* used, size_t* given);
  bool Refill();
  void MixDecoded(int frames);
  void Fail(const char* why);

  SNDFILE* mFile = nullptr;
  mpg123_handle_struct* mMpeg = nullptr;  // decodes MPEG files in libsndfile's place
  soxr* mSoxr = nullptr;                  // null when the rates are equal: samples pass exactly
  int mFileRate = 0, mChannels = 0, mOutputRate = 0;
  int64_t mHeaderFrames = 0;  // what the header tells; <= 0 when unknown
  bool mLoop = false;

  std::vector<float> mWeightL, mWeightR;  // per file channel
  std::vector<float> mDecode;             // interleaved, kDecodeFrames x channels
  std::vector<float> mInL, mInR;          // one decoded chunk, mixed to stereo
  int mInPos = 0, mInCount = 0;
  std::vector<float> mOutL, mOutR;  // the resampler's last output
  int mOutPos = 0, mOutCount = 0;
  int64_t mSkip = 0;        // output frames of the resampler's primer still to drop
  int64_t mPassFrames = 0;  // frames of the file read in this pass
  bool mFileEnded = false;  // nothing more will be decoded (end without looping, or failure)
  bool mTailGiven = false;  // the resampler has given all it had
  bool mEnded = false, mFailed = false;
  char mFailure[192] = {};  // set on the render thread: no allocation
};

}  // namespace caldrith_render
