#pragma once
// Live output through PortAudio (which reaches ALSA, PulseAudio and JACK). The callback asks
// an AudioFill for interleaved float frames and does nothing else: no allocation, no lock.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace caldrith_render {

struct AudioDevice {
  int index = -1;
  std::string name;
  std::string api;
  int outputs = 0;
  double defaultRate = 0.0;
  bool isDefault = false;
};

// The output device called `name`: the exact name, else the only one whose name contains it
// (letter case aside). Answers "" and sets *index, or the message for the user.
std::string ChooseDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                         int* index);

// Runs on the audio thread: writes up to `frames` interleaved frames, answers how many; fewer
// means the end.
class AudioFill {
 public:
  virtual ~AudioFill() = default;
  virtual int Fill(float* interleaved, int frames) = 0;
};

class AudioOutput {
 public:
  AudioOutput() = default;
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  bool Init(std::string* error);
  std::vector<AudioDevice> Devices();
  int DefaultDevice();

  bool Open(int device, int rate, int channels, int block, AudioFill* fill, std::string* error);
  bool Start(std::string* error);
  // Fades the next buffer out and ends the stream (any thread).
  void RequestFade() { mFadeRequested.store(true); }
  // The stream has played its last buffer (the end of the audio, or the fade).
  bool Finished();
  bool Faded() const { return mFaded.load(); }
  // Stops the stream after its queued buffers; `abort` drops them (a device that hangs).
  void Close(bool abort = false);

  int64_t FramesPlayed() const { return mFramesPlayed.load(std::memory_order_relaxed); }
  int Underruns() const { return mUnderruns.load(std::memory_order_relaxed); }
  const std::string& DeviceName() const { return mDeviceName; }
  const std::string& DeviceApi() const { return mDeviceApi; }

  // The stream's callback body (tests drive it without a device): answers whether to continue.
  bool Run(float* out, int frames, bool underflow);
  // Without a stream: where Run gets its audio from.
  void SetFill(AudioFill* fill, int channels) {
    mFill = fill;
    mChannels = channels;
  }

 private:
  bool mInitialized = false;
  void* mStream = nullptr;
  AudioFill* mFill = nullptr;
  int mChannels = 2;
  std::string mDeviceName, mDeviceApi;
  std::atomic<bool> mFadeRequested{false};
  std::atomic<bool> mFaded{false};
  std::atomic<bool> mEnded{false};
  std::atomic<int64_t> mFramesPlayed{0};
  std::atomic<int> mUnderruns{0};
};

}  // namespace caldrith_render
