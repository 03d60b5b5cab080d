#include "tools/audio_output.h"

#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "tools/render_options.h"

namespace caldrith_render {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// ALSA and JACK report every configuration they probe on stderr; none of it helps the user,
// who gets PortAudio's own answer instead.
int StreamCallback(const void*, void* output, unsigned long frames, const PaStreamCallbackTimeInfo*,
                   PaStreamCallbackFlags flags, void* user) {
  bool more = static_cast<AudioOutput*>(user)->Run(
      static_cast<float*>(output), static_cast<int>(frames), (flags & paOutputUnderflow) != 0);
  return more ? paContinue : paComplete;
}

class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    mSaved = dup(STDERR_FILENO);
    int null = open("/dev/null", O_WRONLY);
    if (mSaved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
    if (null >= 0) close(null);
  }
  ~QuietStderr() {
    if (mSaved >= 0) {
      dup2(mSaved, STDERR_FILENO);
      close(mSaved);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int mSaved = -1;
};

}  // namespace

std::string ChooseDevice(const std::vector<AudioDevice>& devices, const std::string& name,
                         int* index) {
  std::vector<std::string> names;
  for (const AudioDevice& d : devices) {
    if (d.outputs > 0) names.push_back(d.name);
  }
  for (const AudioDevice& d : devices) {
    if (d.outputs > 0 && d.name == name) {
      *index = d.index;
      return "";
    }
  }
  const AudioDevice* found = nullptr;
  int matches = 0;
  for (const AudioDevice& d : devices) {
    if (d.outputs > 0 && !name.empty() && Lower(d.name).find(Lower(name)) != std::string::npos) {
      found = &d;
      ++matches;
    }
  }
  if (matches == 1) {
    *index = found->index;
    return "";
  }
  if (names.empty()) return "there is no audio output device";
  std::string msg = matches > 1 ? "more than one output device matches \"" + name + "\":"
                                : "no output device is named \"" + name + "\"; closest:";
  for (const std::string& n : ClosestNames(name, names, 3)) msg += " \"" + n + "\"";
  return msg + " (see --list-devices)";
}

AudioOutput::~AudioOutput() {
  Close();
  if (mInitialized) {
    QuietStderr quiet;
    Pa_Terminate();
  }
}

bool AudioOutput::Init(std::string* error) {
  // A missing JACK server is normal; never let PortAudio start one.
  setenv("JACK_NO_START_SERVER", "1", 0);
  PaError e;
  {
    QuietStderr quiet;
    e = Pa_Initialize();
  }
  if (e != paNoError) {
    *error = std::string("the audio system did not start: ") + Pa_GetErrorText(e);
    return false;
  }
  mInitialized = true;
  return true;
}

std::vector<AudioDevice> AudioOutput::Devices() {
  std::vector<AudioDevice> out;
  int count = Pa_GetDeviceCount();
  PaDeviceIndex def = Pa_GetDefaultOutputDevice();
  for (int i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info) continue;
    AudioDevice d;
    d.index = i;
    d.name = info->name ? info->name : "";
    const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
    d.api = api && api->name ? api->name : "";
    d.outputs = info->maxOutputChannels;
    d.defaultRate = info->defaultSampleRate;
    d.isDefault = i == def;
    out.push_back(d);
  }
  return out;
}

int AudioOutput::DefaultDevice() {
  return Pa_GetDefaultOutputDevice();
}

bool AudioOutput::Open(int device, int rate, int channels, int block, AudioFill* fill,
                       std::string* error) {
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (!info) {
    *error = "no such audio device";
    return false;
  }
  mDeviceName = info->name ? info->name : "";
  const PaHostApiInfo* api = Pa_GetHostApiInfo(info->hostApi);
  mDeviceApi = api && api->name ? api->name : "";
  if (info->maxOutputChannels < channels) {
    *error = "\"" + mDeviceName + "\" has " + std::to_string(info->maxOutputChannels) +
             " output channels; the plug-in needs " + std::to_string(channels);
    return false;
  }
  PaStreamParameters params{};
  params.device = device;
  params.channelCount = channels;
  params.sampleFormat = paFloat32;
  params.suggestedLatency = info->defaultHighOutputLatency;
  mFill = fill;
  mChannels = channels;
  PaError e;
  {
    QuietStderr quiet;
    e = Pa_IsFormatSupported(nullptr, &params, rate);
    if (e == paFormatIsSupported) {
      e = Pa_OpenStream(&mStream, nullptr, &params, rate, static_cast<unsigned long>(block),
                        paNoFlag, &StreamCallback, this);
    }
  }
  if (e != paNoError) {
    mStream = nullptr;
    *error = "cannot play on \"" + mDeviceName + "\" at " + std::to_string(rate) +
             " Hz: " + Pa_GetErrorText(e);
    return false;
  }
  return true;
}

bool AudioOutput::Start(std::string* error) {
  PaError e = Pa_StartStream(mStream);
  if (e != paNoError) {
    *error = std::string("the audio stream did not start: ") + Pa_GetErrorText(e);
    return false;
  }
  return true;
}

bool AudioOutput::Finished() {
  return !mStream || Pa_IsStreamActive(mStream) != 1;
}

void AudioOutput::Close(bool abort) {
  if (!mStream) return;
  QuietStderr quiet;
  if (abort) {
    Pa_AbortStream(mStream);
  } else {
    Pa_StopStream(mStream);
  }
  Pa_CloseStream(mStream);
  mStream = nullptr;
}

bool AudioOutput::Run(float* out, int frames, bool underflow) {
  if (underflow) mUnderruns.fetch_add(1, std::memory_order_relaxed);
  const size_t width = static_cast<size_t>(mChannels);
  if (mFaded.load(std::memory_order_relaxed) || mEnded.load(std::memory_order_relaxed)) {
    std::memset(out, 0, sizeof(float) * width * static_cast<size_t>(frames));
    return false;
  }
  int got = mFill->Fill(out, frames);
  got = std::max(0, std::min(got, frames));
  std::memset(out + width * static_cast<size_t>(got), 0,
              sizeof(float) * width * static_cast<size_t>(frames - got));
  mFramesPlayed.fetch_add(got, std::memory_order_relaxed);
  if (mFadeRequested.load(std::memory_order_relaxed)) {
    // Down to silence at the buffer's last frame, then the stream ends.
    for (int i = 0; i < got; ++i) {
      float gain = 1.0f - static_cast<float>(i + 1) / static_cast<float>(got);
      for (size_t c = 0; c < width; ++c) out[static_cast<size_t>(i) * width + c] *= gain;
    }
    mFaded.store(true);
    return false;
  }
  if (got < frames) {
    mEnded.store(true);
    return false;
  }
  return true;
}

}  // namespace caldrith_render
