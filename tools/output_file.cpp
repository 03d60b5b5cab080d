#include "tools/output_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace caldrith_render {

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::runtime_error Failure(const std::string& what, const std::string& path, int error) {
  return std::runtime_error(SystemMessage(what, path, error));
}

// libsndfile's file access, on our descriptor, keeping the first errno it meets.
sf_count_t IoLength(void* user) {
  struct stat st {};
  return fstat(static_cast<AudioFileWriter::Io*>(user)->fd, &st) == 0 ? st.st_size : -1;
}

sf_count_t IoSeek(sf_count_t offset, int whence, void* user) {
  auto* io = static_cast<AudioFileWriter::Io*>(user);
  off_t at = lseek(io->fd, static_cast<off_t>(offset), whence);
  if (at < 0 && io->error == 0) io->error = errno;
  return at;
}

sf_count_t IoRead(void* ptr, sf_count_t count, void* user) {
  auto* io = static_cast<AudioFileWriter::Io*>(user);
  sf_count_t done = 0;
  while (done < count) {
    ssize_t n = read(io->fd, static_cast<char*>(ptr) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && io->error == 0) io->error = errno;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

sf_count_t IoWrite(const void* ptr, sf_count_t count, void* user) {
  auto* io = static_cast<AudioFileWriter::Io*>(user);
  sf_count_t done = 0;
  while (done < count) {
    ssize_t n =
        write(io->fd, static_cast<const char*>(ptr) + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (io->error == 0) io->error = n < 0 ? errno : ENOSPC;
      break;
    }
    done += n;
  }
  return done;
}

sf_count_t IoTell(void* user) {
  return lseek(static_cast<AudioFileWriter::Io*>(user)->fd, 0, SEEK_CUR);
}

}  // namespace

std::string SystemMessage(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

ReplacingFile::ReplacingFile(const std::string& path) : mName(path), mTarget(path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw Failure("cannot write", path, EISDIR);
    // A rename would replace a file the user may not write, or the link instead of its file.
    if (access(path.c_str(), W_OK) != 0) throw Failure("cannot write", path, errno);
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      char* real = realpath(path.c_str(), nullptr);
      if (real) mTarget = real;
      std::free(real);
    }
  }
  const std::string& target = mTarget;
  const size_t slash = target.find_last_of('/');
  const size_t baseAt = slash == std::string::npos ? 0 : slash + 1;
  std::string name =
      target.substr(0, baseAt) + "." + target.substr(baseAt) + ".caldrith-XXXXXX.tmp";
  std::vector<char> buf(name.begin(), name.end());
  buf.push_back('\0');
  mFd = mkstemps(buf.data(), 4);
  if (mFd < 0) throw Failure("cannot write", mName, errno);
  mTemp = buf.data();
}

void ReplacingFile::Discard() {
  if (mFd >= 0) close(mFd);
  mFd = -1;
  if (!mDone && !mTemp.empty()) unlink(mTemp.c_str());
  mDone = true;
}

void ReplacingFile::Commit() {
  // The target keeps its permissions; a new one gets what the umask leaves of rw-rw-rw-.
  struct stat st {};
  mode_t mode = 0;
  if (stat(mTarget.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  int error = 0;
  if (fchmod(mFd, mode) != 0 || fsync(mFd) != 0) error = errno;
  if (close(mFd) != 0 && error == 0) error = errno;
  mFd = -1;
  if (error == 0 && rename(mTemp.c_str(), mTarget.c_str()) != 0) error = errno;
  if (error != 0) {
    Discard();
    throw Failure("cannot write", mName, error);
  }
  mDone = true;
  // The rename itself reaches the disk with the folder.
  int dir = open(FolderOf(mTarget).c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

void WriteWholeFile(const std::string& path, const void* data, size_t size) {
  ReplacingFile file(path);
  AudioFileWriter::Io io;
  io.fd = file.Fd();
  if (IoWrite(data, static_cast<sf_count_t>(size), &io) != static_cast<sf_count_t>(size)) {
    throw Failure("cannot write", path, io.error);
  }
  file.Commit();
}

int ReadWholeFile(const std::string& path, std::string* out, size_t limit) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  int error = fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
  out->clear();
  char buf[65536];
  while (error == 0) {
    ssize_t n = read(fd, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
    // Counted as read, so that a pipe or a device is bounded too.
    if (out->size() > limit) error = EFBIG;
  }
  close(fd);
  return error;
}

int64_t FreeBytesFor(const std::string& path) {
  struct statvfs fs {};
  if (statvfs(FolderOf(path).c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

Container ContainerFor(const std::string& ext, int64_t frames, int channels, int bytesPerSample) {
  const double bytes = static_cast<double>(frames) * channels * bytesPerSample;
  if (ext == "wav") {
    // RIFF's sizes are 32 bits; the header's chunks take a few hundred bytes more.
    return bytes + 4096.0 > 4294967295.0 ? Container::kRf64 : Container::kAsIs;
  }
  if (ext == "flac") {
    return static_cast<double>(frames) >= 68719476736.0 ? Container::kRefused : Container::kAsIs;
  }
  return Container::kAsIs;
}

AudioFileWriter::AudioFileWriter(const std::string& target, int format, bool rf64, int rate,
                                 int channels)
    : mFile(target) {
  mIo.fd = mFile.Fd();
  SF_VIRTUAL_IO vio{IoLength, IoSeek, IoRead, IoWrite, IoTell};
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = channels;
  info.format = rf64 ? (format & ~SF_FORMAT_TYPEMASK) | SF_FORMAT_RF64 : format;
  SNDFILE* snd = sf_open_virtual(&vio, SFM_WRITE, &info, &mIo);
  if (!snd) {
    if (mIo.error != 0) throw Failure("cannot write", target, mIo.error);
    throw std::runtime_error("cannot write " + target + ": " + sf_strerror(nullptr));
  }
  mSnd = snd;
  sf_command(snd, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  if (rf64) sf_command(snd, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
}

AudioFileWriter::~AudioFileWriter() {
  if (mSnd) sf_close(static_cast<SNDFILE*>(mSnd));
}

bool AudioFileWriter::Write(const double* interleaved, int frames) {
  if (mFailed) return false;
  sf_count_t n = sf_writef_double(static_cast<SNDFILE*>(mSnd), interleaved, frames);
  if (n > 0) mFrames += n;
  mFailed = n != frames;
  return !mFailed;
}

void AudioFileWriter::Finish(bool keep) {
  SNDFILE* snd = static_cast<SNDFILE*>(mSnd);
  mSnd = nullptr;
  // Closing writes the header's sizes (and a FLAC encoder's last frames).
  const bool closed = sf_close(snd) == 0;
  if (!keep) {
    mFile.Discard();
    return;
  }
  if (mFailed || !closed || mIo.error != 0) {
    mFile.Discard();
    if (mIo.error != 0) throw Failure("cannot write", mFile.Target(), mIo.error);
    throw std::runtime_error("cannot write " + mFile.Target() + ": " + sf_strerror(nullptr));
  }
  mFile.Commit();
}

}  // namespace caldrith_render
