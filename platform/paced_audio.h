// Devices that are not sound cards (the silent device, files) but must keep the pace of one:
// a paced output hands each queued buffer to its writer when the previous one would have
// finished playing, and a paced input asks its reader for one block every block duration.
// Each runs a pacing thread of its own that the stream stops when it is destroyed.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/audio_device.h"

namespace corvina::platform {

class PcmBlockWriter {
 public:
  virtual ~PcmBlockWriter() = default;
  // Takes one played block; false when the device can take nothing more (it is then lost).
  virtual bool Write(std::span<const std::int16_t> samples) = 0;
};

class PcmBlockReader {
 public:
  virtual ~PcmBlockReader() = default;
  // Fills one captured block; false when the device can give nothing more (it is then lost).
  virtual bool Read(std::span<std::int16_t> samples) = 0;
};

std::unique_ptr<AudioOutput> MakePacedOutput(const AudioFormat& format, std::unique_ptr<PcmBlockWriter> writer);
std::unique_ptr<AudioInput> MakePacedInput(const AudioFormat& format, std::unique_ptr<PcmBlockReader> reader);

}  // namespace corvina::platform
