#include "platform/portaudio_library.h"

#include <dlfcn.h>

#include <cstdlib>

#include "platform/dynamic_symbol.h"

namespace corvina::platform {
namespace {

constexpr const char* kLibraryFile = "libportaudio.so.2";

void SilentAlsaHandler(const char*, int, const char*, int, const char*, ...) {}
void SilentJackHandler(const char*) {}

// ALSA and JACK come in with PortAudio (loaded globally), so their functions are found by name.
void QuietSoundLibraries() {
  setenv("JACK_NO_START_SERVER", "1", 0);
  using AlsaHandler = void (*)(const char*, int, const char*, int, const char*, ...);
  using SetAlsaHandler = int (*)(AlsaHandler);
  if (auto set = reinterpret_cast<SetAlsaHandler>(dlsym(RTLD_DEFAULT, "snd_lib_error_set_handler"))) {
    set(SilentAlsaHandler);
  }
  using SetJackHandler = void (*)(void (*)(const char*));
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
    if (auto set = reinterpret_cast<SetJackHandler>(dlsym(RTLD_DEFAULT, name))) set(SilentJackHandler);
  }
}

struct Loaded {
  PortAudioLibrary library;
  bool ok = false;
  std::string problem;
};

Loaded Load() {
  Loaded out;
  void* handle = dlopen(kLibraryFile, RTLD_NOW | RTLD_GLOBAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    out.problem = std::string("PortAudio could not be loaded: ") + (why != nullptr ? why : kLibraryFile);
    return out;
  }
  PortAudioLibrary& l = out.library;
  const bool all = BindSymbol(handle, "Pa_Initialize", l.Initialize) && BindSymbol(handle, "Pa_Terminate", l.Terminate) &&
                   BindSymbol(handle, "Pa_GetErrorText", l.GetErrorText) &&
                   BindSymbol(handle, "Pa_GetDeviceCount", l.GetDeviceCount) &&
                   BindSymbol(handle, "Pa_GetDeviceInfo", l.GetDeviceInfo) &&
                   BindSymbol(handle, "Pa_GetDefaultInputDevice", l.GetDefaultInputDevice) &&
                   BindSymbol(handle, "Pa_GetDefaultOutputDevice", l.GetDefaultOutputDevice) &&
                   BindSymbol(handle, "Pa_IsFormatSupported", l.IsFormatSupported) &&
                   BindSymbol(handle, "Pa_OpenStream", l.OpenStream) &&
                   BindSymbol(handle, "Pa_SetStreamFinishedCallback", l.SetStreamFinishedCallback) &&
                   BindSymbol(handle, "Pa_StartStream", l.StartStream) &&
                   BindSymbol(handle, "Pa_IsStreamActive", l.IsStreamActive) &&
                   BindSymbol(handle, "Pa_AbortStream", l.AbortStream) && BindSymbol(handle, "Pa_CloseStream", l.CloseStream) &&
                   BindSymbol(handle, "Pa_GetVersionInfo", l.GetVersionInfo);
  if (!all) {
    out.problem = std::string("PortAudio could not be loaded: ") + kLibraryFile + " lacks a function";
    return out;
  }
  QuietSoundLibraries();
  out.ok = true;
  return out;
}

}  // namespace

const PortAudioLibrary* PortAudioLibrary::Get(std::string* problem) {
  static const Loaded loaded = Load();
  if (!loaded.ok && problem != nullptr) *problem = loaded.problem;
  return loaded.ok ? &loaded.library : nullptr;
}

}  // namespace corvina::platform
