// Test audio: speech spoken by espeak-ng and brought to 8 kHz mono 16-bit by sox (made once
// per test run by a CTest fixture, support/make_speech.sh), synthetic tones, and the quality measures the codec tests share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvina::media::testing {

// A few seconds of speech, 8000 Hz mono 16-bit; empty when the tools failed.
const std::vector<std::int16_t>& TestSpeech();

// A sine of `frequency` Hz and peak `amplitude` (16-bit scale), `count` samples.
std::vector<std::int16_t> Tone(double frequency, double amplitude, std::size_t count);

// The samples raised to the internal scale (times 16).
std::vector<std::int32_t> ToInternal(const std::vector<std::int16_t>& samples);

// Segmental SNR in dB over 160-sample segments of `reference` against `test` delayed by
// `delay` samples; segments below a silence floor are skipped and each segment is limited to
// [-10, 60] dB before averaging.
double SegmentalSnr(const std::vector<std::int16_t>& reference, const std::vector<std::int16_t>& test,
                    std::size_t delay = 0);

// A fresh path in the test's scratch folder.
std::string ScratchPath(const std::string& name);

// Runs a shell command and returns its exit status (-1 when it could not run).
int RunCommand(const std::string& command);

// Whole-file helpers for test files.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A canonical 44-byte header of a PCM WAV file, written field by field, followed by `data`.
std::vector<std::uint8_t> MakeWavFile(int channels, std::uint32_t rate, int bits, const std::vector<std::uint8_t>& data);

}  // namespace corvina::media::testing
