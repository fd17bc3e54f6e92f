// PortAudio opened on first use instead of linked. A phone that never touches a sound device,
// as a headless one waiting for calls, then never maps PortAudio, ALSA, JACK and what they
// pull in (about 0.8 MB of resident memory). Loaded once for the life of the process and never
// closed; ALSA's and JACK's messages on standard error are switched off as it loads, and JACK
// is kept from starting a server of its own.
#pragma once

#include <portaudio.h>

#include <string>

namespace corvina::platform {

struct PortAudioLibrary {
  decltype(&::Pa_Initialize) Initialize = nullptr;
  decltype(&::Pa_Terminate) Terminate = nullptr;
  decltype(&::Pa_GetErrorText) GetErrorText = nullptr;
  decltype(&::Pa_GetDeviceCount) GetDeviceCount = nullptr;
  decltype(&::Pa_GetDeviceInfo) GetDeviceInfo = nullptr;
  decltype(&::Pa_GetDefaultInputDevice) GetDefaultInputDevice = nullptr;
  decltype(&::Pa_GetDefaultOutputDevice) GetDefaultOutputDevice = nullptr;
  decltype(&::Pa_IsFormatSupported) IsFormatSupported = nullptr;
  decltype(&::Pa_OpenStream) OpenStream = nullptr;
  decltype(&::Pa_SetStreamFinishedCallback) SetStreamFinishedCallback = nullptr;
  decltype(&::Pa_StartStream) StartStream = nullptr;
  decltype(&::Pa_IsStreamActive) IsStreamActive = nullptr;
  decltype(&::Pa_AbortStream) AbortStream = nullptr;
  decltype(&::Pa_CloseStream) CloseStream = nullptr;
  decltype(&::Pa_GetVersionInfo) GetVersionInfo = nullptr;

  // The library, loaded on the first call (thread-safe); nullptr when it cannot be, with the
  // reason in `problem`.
  static const PortAudioLibrary* Get(std::string* problem = nullptr);
};

}  // namespace corvina::platform
