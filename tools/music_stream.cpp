#include "tools/music_stream.h"

#include <fcntl.h>
#include <mpg123.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>

namespace caldrith_render {

namespace {

// Decoded a chunk at a time: small enough to stay in cache, large enough that libsndfile's
// and libsoxr's per-call costs vanish.
constexpr int kDecodeFrames = 2048;
// The resampler writes into a chunk of its own, always asked for the same length: its buffers
// then settle on sizes that the primer can reach.
constexpr int kOutChunk = 2048;
// Silence the primer runs through the resampler before the music: enough chunks in and out
// for every stage of a steep ratio, either way, to have filled.
bool Primed(int64_t in, int64_t out) {
  return in >= 16 * kDecodeFrames && out >= 16 * kOutChunk;
}
// Limits past which a header is taken for garbage rather than music.
constexpr int kMaxChannels = 256;
constexpr int kMinRate = 1000, kMaxRate = 768000;
// A float file may hold anything: past this (+18 dBFS) a sample is clipped, and a NaN or an
// infinity, which would ring through the resampler for ever, becomes silence.
constexpr float kSampleLimit = 8.0f;
constexpr float kSide = 0.70710678f;

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '.' || s.back() == ' ' || s.back() == '\n')) s.pop_back();
  return s;
}

void Weigh(int where, float* l, float* r) {
  switch (where) {
    case SF_CHANNEL_MAP_LEFT:
    case SF_CHANNEL_MAP_FRONT_LEFT:
      *l = 1.0f, *r = 0.0f;
      return;
    case SF_CHANNEL_MAP_RIGHT:
    case SF_CHANNEL_MAP_FRONT_RIGHT:
      *l = 0.0f, *r = 1.0f;
      return;
    case SF_CHANNEL_MAP_MONO:
    case SF_CHANNEL_MAP_CENTER:
    case SF_CHANNEL_MAP_FRONT_CENTER:
    case SF_CHANNEL_MAP_REAR_CENTER:
    case SF_CHANNEL_MAP_TOP_CENTER:
    case SF_CHANNEL_MAP_TOP_FRONT_CENTER:
    case SF_CHANNEL_MAP_TOP_REAR_CENTER:
      *l = kSide, *r = kSide;
      return;
    case SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER:
    case SF_CHANNEL_MAP_SIDE_LEFT:
    case SF_CHANNEL_MAP_REAR_LEFT:
    case SF_CHANNEL_MAP_TOP_FRONT_LEFT:
    case SF_CHANNEL_MAP_TOP_REAR_LEFT:
      *l = kSide, *r = 0.0f;
      return;
    case SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER:
    case SF_CHANNEL_MAP_SIDE_RIGHT:
    case SF_CHANNEL_MAP_REAR_RIGHT:
    case SF_CHANNEL_MAP_TOP_FRONT_RIGHT:
    case SF_CHANNEL_MAP_TOP_REAR_RIGHT:
      *l = 0.0f, *r = kSide;
      return;
    case SF_CHANNEL_MAP_LFE:
      *l = 0.0f, *r = 0.0f;
      return;
    default:
      *l = 0.5f, *r = 0.5f;
      return;
  }
}

// Where each channel goes, from the file's map when it has a usable one.
void ChannelWeights(SNDFILE* file, int channels, std::vector<float>* wl, std::vector<float>* wr) {
  wl->assign(static_cast<size_t>(channels), 0.0f);
  wr->assign(static_cast<size_t>(channels), 0.0f);
  if (channels == 1) {
    (*wl)[0] = (*wr)[0] = 1.0f;
    return;
  }
  if (channels == 2) {
    (*wl)[0] = (*wr)[1] = 1.0f;
    return;
  }
  std::vector<int> map(static_cast<size_t>(channels), SF_CHANNEL_MAP_INVALID);
  const bool hasMap = sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                                 static_cast<int>(map.size() * sizeof(int))) == SF_TRUE &&
                      std::any_of(map.begin(), map.end(), [](int m) {
                        return m > SF_CHANNEL_MAP_INVALID && m < SF_CHANNEL_MAP_AMBISONIC_B_W;
                      });
  static const int kWaveOrder[] = {SF_CHANNEL_MAP_FRONT_LEFT,   SF_CHANNEL_MAP_FRONT_RIGHT,
                                   SF_CHANNEL_MAP_FRONT_CENTER, SF_CHANNEL_MAP_LFE,
                                   SF_CHANNEL_MAP_SIDE_LEFT,    SF_CHANNEL_MAP_SIDE_RIGHT,
                                   SF_CHANNEL_MAP_REAR_LEFT,    SF_CHANNEL_MAP_REAR_RIGHT};
  for (int c = 0; c < channels; ++c) {
    const int where = hasMap  ? map[static_cast<size_t>(c)]
                      : c < 8 ? kWaveOrder[c]
                              : SF_CHANNEL_MAP_INVALID;
    Weigh(where, &(*wl)[static_cast<size_t>(c)], &(*wr)[static_cast<size_t>(c)]);
  }
}

inline float Sane(float x) {
  return x == x ? std::min(std::max(x, -kSampleLimit), kSampleLimit) : 0.0f;
}

}  // namespace

std::unique_ptr<MusicStream> MusicStream::Open(const std::string& path, int outputRate,
                                               std::string* error) {
  auto fail = [&](const std::string& why) {
    *error = why;
    return nullptr;
  };
  if (outputRate < kMinRate || outputRate > kMaxRate)
    return fail("the output rate is out of range");
  // Only a regular file: a folder cannot be read, and a FIFO or a device could block for ever
  // or never end.
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return fail("no such file");
    return fail(std::strerror(errno));
  }
  if (S_ISDIR(st.st_mode)) return fail("a folder, not an audio file");
  if (!S_ISREG(st.st_mode)) return fail("not a regular file");
  if (st.st_size == 0) return fail("an empty file, no audio in it");
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == EACCES || errno == EPERM) return fail("permission denied");
    return fail(std::strerror(errno));
  }

  std::unique_ptr<MusicStream> m(new MusicStream);
  SF_INFO info{};
  m->mFile = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
  if (!m->mFile) {
    return fail("not an audio file libsndfile can read (" + Trimmed(sf_strerror(nullptr)) + ")");
  }
  if (info.channels <= 0 || info.samplerate <= 0) {
    return fail("no audio in it (no channels or no sample rate)");
  }
  if (info.channels > kMaxChannels) {
    return fail(std::to_string(info.channels) + " channels, more than " +
                std::to_string(kMaxChannels) + " is past reason");
  }
  if (info.samplerate < kMinRate || info.samplerate > kMaxRate) {
    return fail("a sample rate of " + std::to_string(info.samplerate) + " Hz, outside " +
                std::to_string(kMinRate) + " to " + std::to_string(kMaxRate) + " Hz");
  }
  m->mFileRate = info.samplerate;
  m->mChannels = info.channels;
  m->mOutputRate = outputRate;
  // Unknown lengths come as 0 or the largest count (an Ogg without its last page).
  m->mHeaderFrames = info.frames > 0 && info.frames < SF_COUNT_MAX ? info.frames : 0;
  ChannelWeights(m->mFile, m->mChannels, &m->mWeightL, &m->mWeightR);
  if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
    const std::string why = m->OpenMpeg(path);
    if (!why.empty()) return fail(why);
  }

  m->mDecode.resize(static_cast<size_t>(kDecodeFrames) * static_cast<size_t>(m->mChannels));
  m->mInL.resize(kDecodeFrames);
  m->mInR.resize(kDecodeFrames);
  m->mOutL.resize(kOutChunk);
  m->mOutR.resize(kOutChunk);

  // A header that tells no frames may still be followed by audio, and one that tells some by
  // none: one chunk decides.
  const int64_t probe = m->Decode(kDecodeFrames);
  if (probe < 0) return fail("not an audio file libsndfile can read (" + m->DecodeError() + ")");
  if (probe == 0) return fail("no audio in it (no frames)");
  if (!m->Rewind()) return fail("cannot be read from its start again (" + m->DecodeError() + ")");

  if (m->mFileRate != outputRate) {
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_S, SOXR_FLOAT32_S);
    // The precise clock keeps an hour of 44.1 kHz in step with 48 kHz to the sample.
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_HI_PREC_CLOCK);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    m->mSoxr = soxr_create(m->mFileRate, outputRate, 2, &err, &io, &quality, &runtime);
    if (!m->mSoxr || err)
      return fail(std::string("the resampler refused it (") + soxr_strerror(err) + ")");
    if (!m->PrimeResampler()) return fail("the resampler does not start");
  }
  return m;
}

MusicStream::~MusicStream() {
  if (mMpeg) mpg123_delete(mMpeg);
  if (mSoxr) soxr_delete(mSoxr);
  if (mFile) sf_close(mFile);
}

double MusicStream::Seconds() const {
  return mHeaderFrames > 0 ? static_cast<double>(mHeaderFrames) / mFileRate : 0.0;
}

void MusicStream::Restart() {
  mInPos = mInCount = 0;
  mPassFrames = 0;
  mFileEnded = mEnded = mFailed = mTailGiven = false;
  mFailure[0] = '\0';
  if (mSoxr && (soxr_clear(mSoxr) || !PrimeResampler())) Fail("the resampler does not start");
  if (!Rewind()) Fail("cannot go back to its start");
}

// libsndfile reads MPEG through libmpg123 but stops at the length it guessed, which for a
// variable bit rate without a header frame can be a fraction of the music: libmpg123 itself
// scans the frames for the true length and decodes to the real end.
std::string MusicStream::OpenMpeg(const std::string& path) {
  static const int init = mpg123_init();
  int err = init;
  mMpeg = err == MPG123_OK ? mpg123_new(nullptr, &err) : nullptr;
  if (!mMpeg)
    return std::string("the MPEG decoder does not start (") + mpg123_plain_strerror(err) + ")";
  // The format is chosen before the stream is opened: libsndfile has read it already.
  mpg123_param(mMpeg, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_format_none(mMpeg) != MPG123_OK ||
      mpg123_format(mMpeg, mFileRate, mChannels == 1 ? MPG123_MONO : MPG123_STEREO,
                    MPG123_ENC_FLOAT_32) != MPG123_OK ||
      mpg123_open(mMpeg, path.c_str()) != MPG123_OK ||
      mpg123_getformat(mMpeg, &rate, &channels, &encoding) != MPG123_OK ||
      mpg123_scan(mMpeg) != MPG123_OK) {
    return "not an audio file libsndfile can read (" + Trimmed(mpg123_strerror(mMpeg)) + ")";
  }
  if (rate != mFileRate || channels != mChannels || encoding != MPG123_ENC_FLOAT_32) {
    return "an MPEG stream whose format changes";
  }
  const off_t length = mpg123_length(mMpeg);
  mHeaderFrames = length > 0 ? static_cast<int64_t>(length) : 0;
  sf_close(mFile);
  mFile = nullptr;
  return "";
}

int64_t MusicStream::Decode(int frames) {
  if (!mMpeg) {
    const sf_count_t got = sf_readf_float(mFile, mDecode.data(), frames);
    return got > 0 ? got : sf_error(mFile) != SF_ERR_NO_ERROR ? -1 : 0;
  }
  const size_t frameBytes = sizeof(float) * static_cast<size_t>(mChannels);
  size_t bytes = 0;
  int result = MPG123_OK;
  // A format change answers no samples; a stream of them is garbage.
  for (int tries = 0; bytes == 0 && tries < 16; ++tries) {
    result = mpg123_read(mMpeg, mDecode.data(), frameBytes * static_cast<size_t>(frames), &bytes);
    if (result == MPG123_DONE || (result != MPG123_OK && result != MPG123_NEW_FORMAT)) break;
  }
  if (bytes >= frameBytes) return static_cast<int64_t>(bytes / frameBytes);
  return result == MPG123_DONE || result == MPG123_OK || result == MPG123_NEW_FORMAT ? 0 : -1;
}

bool MusicStream::Rewind() {
  return mMpeg ? mpg123_seek(mMpeg, 0, SEEK_SET) == 0 : sf_seek(mFile, 0, SEEK_SET) == 0;
}

std::string MusicStream::DecodeError() const {
  return Trimmed(mMpeg ? mpg123_strerror(mMpeg) : sf_strerror(mFile));
}

// libsoxr sizes its buffers in its first calls. They run here, on silence, in the shapes Read
// uses, until its stages are full and the silence is a whole number of rate periods long; the
// output of that silence is dropped later, so the music's first sample still falls on the first
// output frame, and Read allocates nothing.
bool MusicStream::PrimeResampler() {
  const int64_t g = std::gcd(mFileRate, mOutputRate);
  const int64_t period = mFileRate / g;
  std::vector<float> silence(kDecodeFrames, 0.0f);
  int64_t fed = 0, given = 0, left = 0;
  for (int round = 0; !Primed(fed, given) || fed % period != 0; ++round) {
    if (round > (1 << 22)) return false;
    if (left == 0) left = kDecodeFrames;
    const int64_t ilen = !Primed(fed, given) ? left : std::min(left, period - fed % period);
    size_t used = 0, done = 0;
    if (Resample(silence.data(), silence.data(), static_cast<size_t>(ilen), &used, &done)) {
      return false;
    }
    fed += static_cast<int64_t>(used);
    left -= static_cast<int64_t>(used);
    given += static_cast<int64_t>(done);
  }
  mSkip = fed / period * (mOutputRate / g) - given;
  mOutPos = mOutCount = 0;
  return mSkip >= 0;
}

const char* MusicStream::Resample(const float* l, const float* r, size_t frames, size_t* used,
                                  size_t* given) {
  const float* in[2] = {l, r};
  float* out[2] = {mOutL.data(), mOutR.data()};
  return soxr_process(mSoxr, l ? in : nullptr, frames, used, out, kOutChunk, given);
}

void MusicStream::Fail(const char* why) {
  std::snprintf(mFailure, sizeof mFailure, "%s", why);
  mFailed = true;
  mFileEnded = true;
}

void MusicStream::MixDecoded(int frames) {
  const float* in = mDecode.data();
  float* l = mInL.data() + mInCount;
  float* r = mInR.data() + mInCount;
  if (mChannels == 1) {
    for (int i = 0; i < frames; ++i) l[i] = r[i] = Sane(in[i]);
  } else if (mChannels == 2) {
    for (int i = 0; i < frames; ++i) {
      l[i] = Sane(in[2 * i]);
      r[i] = Sane(in[2 * i + 1]);
    }
  } else {
    const float* wl = mWeightL.data();
    const float* wr = mWeightR.data();
    for (int i = 0; i < frames; ++i, in += mChannels) {
      float sl = 0.0f, sr = 0.0f;
      for (int c = 0; c < mChannels; ++c) {
        const float x = Sane(in[c]);
        sl += wl[c] * x;
        sr += wr[c] * x;
      }
      l[i] = sl;
      r[i] = sr;
    }
  }
  mInCount += frames;
}

// Fills the stereo chunk with up to kDecodeFrames frames, across the loop's seam as often as
// a short file needs. Answers false when nothing more will come.
bool MusicStream::Refill() {
  mInPos = mInCount = 0;
  while (!mFileEnded && mInCount < kDecodeFrames) {
    const int64_t got = Decode(kDecodeFrames - mInCount);
    if (got > 0) {
      MixDecoded(static_cast<int>(got));
      mPassFrames += got;
      continue;
    }
    // The end of a pass, or a decoder that gave up.
    if (got < 0) {
      char why[160];
      std::snprintf(why, sizeof why, "the audio breaks off at %.1f s (%s)",
                    static_cast<double>(mPassFrames) / mFileRate,
                    mMpeg ? mpg123_strerror(mMpeg) : sf_strerror(mFile));
      Fail(why);
      break;
    }
    // Headers of compressed files may miss the length a little; a file that ends far short
    // of it was cut.
    const int64_t shortBy = mHeaderFrames - mPassFrames;
    if (mHeaderFrames > 0 && shortBy > std::max<int64_t>(mFileRate, mHeaderFrames / 50)) {
      char why[160];
      std::snprintf(why, sizeof why, "the audio ends at %.1f s of the %.1f s its header tells",
                    static_cast<double>(mPassFrames) / mFileRate, Seconds());
      Fail(why);
      break;
    }
    if (!mLoop || mPassFrames == 0) {
      mFileEnded = true;
      break;
    }
    if (!Rewind()) {
      Fail("cannot go back to its start to loop");
      break;
    }
    mPassFrames = 0;
  }
  return mInCount > 0;
}

void MusicStream::Read(float* left, float* right, int frames) {
  frames = std::max(frames, 0);
  int done = 0;
  while (done < frames) {
    if (mOutPos < mOutCount) {
      const int n = std::min(frames - done, mOutCount - mOutPos);
      std::memcpy(left + done, mOutL.data() + mOutPos, sizeof(float) * static_cast<size_t>(n));
      std::memcpy(right + done, mOutR.data() + mOutPos, sizeof(float) * static_cast<size_t>(n));
      mOutPos += n;
      done += n;
      continue;
    }
    if (mTailGiven) mEnded = true;
    if (mEnded) break;
    if (mInPos == mInCount && !mFileEnded) Refill();
    const bool input = mInPos < mInCount;
    if (!mSoxr) {
      if (!input) {
        mEnded = true;
        break;
      }
      const int n = std::min(frames - done, mInCount - mInPos);
      std::memcpy(left + done, mInL.data() + mInPos, sizeof(float) * static_cast<size_t>(n));
      std::memcpy(right + done, mInR.data() + mInPos, sizeof(float) * static_cast<size_t>(n));
      mInPos += n;
      done += n;
      continue;
    }
    // With nothing left to decode, the resampler gives out its tail.
    size_t used = 0, given = 0;
    const char* err = Resample(input ? mInL.data() + mInPos : nullptr, mInR.data() + mInPos,
                               static_cast<size_t>(mInCount - mInPos), &used, &given);
    if (err || (input && used == 0 && given == 0)) {
      Fail(err ? err : "the resampler stalled");
      mEnded = true;
      break;
    }
    mInPos += static_cast<int>(used);
    // The primer's silence comes out first.
    const int64_t skip = std::min<int64_t>(mSkip, static_cast<int64_t>(given));
    mSkip -= skip;
    mOutPos = static_cast<int>(skip);
    mOutCount = static_cast<int>(given);
    mTailGiven = !input && given < static_cast<size_t>(kOutChunk);
  }
  if (done < frames) {
    std::fill(left + done, left + frames, 0.0f);
    std::fill(right + done, right + frames, 0.0f);
  }
}

}  // namespace caldrith_render
