#pragma once
// Files caldrith-render writes: each goes to a temporary file beside its target and replaces the
// target only once complete and on disk, so that a full disk, a crash or a kill never costs the
// file that was there before. Audio goes through libsndfile on that temporary file.
#include <cstddef>
#include <cstdint>
#include <string>

namespace caldrith_render {

// "cannot write FILE: No space left on device": the file and the system's reason.
std::string SystemMessage(const std::string& what, const std::string& path, int error);

// A temporary file `.NAME.caldrith-XXXXXX.tmp` in the target's folder (so that the rename is
// atomic). Destroyed without Commit, it removes itself and leaves the target as it was.
class ReplacingFile {
 public:
  // Throws std::runtime_error naming the target and the cause.
  explicit ReplacingFile(const std::string& target);
  ~ReplacingFile() { Discard(); }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  int Fd() const { return mFd; }
  const std::string& Path() const { return mTemp; }
  const std::string& Target() const { return mName; }
  // Flushes the file to disk, gives it the target's permissions (a new file's for a new
  // target) and renames it over the target, then flushes the folder. Throws on failure, after
  // removing the temporary file.
  void Commit();
  void Discard();

 private:
  std::string mName;    // as the user gave it
  std::string mTarget;  // the file a link points to, else the same
  std::string mTemp;
  int mFd = -1;
  bool mDone = false;
};

// Writes `size` bytes as the whole new content of `path`, through a ReplacingFile.
void WriteWholeFile(const std::string& path, const void* data, size_t size);
// Reads a whole file; answers 0 or the errno of the failure (EISDIR for a folder, EFBIG for a
// file of more than `limit` bytes).
int ReadWholeFile(const std::string& path, std::string* out, size_t limit);

// Bytes free to the user in the folder `path` would be written to; -1 when unknown.
int64_t FreeBytesFor(const std::string& path);

enum class Container { kAsIs, kRf64, kRefused };

// Whether audio of `frames` frames fits the file type `ext` (lower case): WAV switches to
// RF64 past its 32-bit sizes, FLAC refuses more frames than its 36-bit count holds.
// `bytesPerSample` is what one sample takes in the file (4 for float, 3 for 24-bit).
Container ContainerFor(const std::string& ext, int64_t frames, int channels, int bytesPerSample);

// Audio written through libsndfile into a ReplacingFile; write errors keep the system's cause.
class AudioFileWriter {
 public:
  // `format` is libsndfile's; `rf64` asks for RF64 that falls back to plain WAV when small.
  // Throws std::runtime_error naming the target.
  AudioFileWriter(const std::string& target, int format, bool rf64, int rate, int channels);
  ~AudioFileWriter();
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  // False once a write has failed; the error is kept for Finish.
  bool Write(const double* interleaved, int frames);
  int64_t Frames() const { return mFrames; }
  // Closes the audio and replaces the target (keep), or drops it (!keep). Throws with the
  // cause when the data did not all reach the disk.
  void Finish(bool keep);

  struct Io {
    int fd = -1;
    int error = 0;  // first errno of a failed read, write or seek
  };

 private:
  ReplacingFile mFile;
  Io mIo;
  void* mSnd = nullptr;  // SNDFILE*
  int64_t mFrames = 0;
  bool mFailed = false;
};

}  // namespace caldrith_render
