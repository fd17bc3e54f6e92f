#include "media/recording_file.h"

#include <cstdio>

#include "platform/paths.h"
#include "platform/text.h"

namespace corvina::media {

std::string CleanRecordingName(std::string_view text) {
  constexpr std::string_view kRemoved = "\"*./:<>?\\|";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32 || kRemoved.find(c) != std::string_view::npos) continue;
    out += c;
  }
  return out;
}

std::string RecordingBaseName(const std::tm& local, std::string_view name) {
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.4d-%.2d-%.2d %.2d-%.2d ", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min);
  return CleanRecordingName(std::string(stamp) + std::string(name));
}

std::string RecordingFileName(std::string_view base, int copy) {
  std::string tail = copy > 1 ? " (" + std::to_string(copy) + ").wav" : ".wav";
  return std::string(platform::CutToBytes(base, kMaxFileNameBytes - tail.size())) + tail;
}

std::shared_ptr<WavRecordingSink> WavRecordingSink::Open(const std::string& folder, std::string_view base,
                                                         platform::LogSink* log) {
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::string path;
  for (int copy = 1; copy <= kMaxCopies; ++copy) {
    path = prefix + RecordingFileName(base, copy);
    auto sink = std::shared_ptr<WavRecordingSink>(new WavRecordingSink(path, true));
    WavError error = sink->writer_.Create(path, true);
    if (error == WavError::kExists) continue;
    if (error != WavError::kNone) break;
    sink->buffer_.reserve(kBufferSamples);
    return sink;
  }
  if (log != nullptr) log->Log("Unable to open file: " + path, platform::kLogError);
  return std::shared_ptr<WavRecordingSink>(new WavRecordingSink(path, false));
}

void WavRecordingSink::Write(std::span<const std::int32_t> mixed) {
  if (!open_) return;
  while (!mixed.empty()) {
    const std::size_t n = std::min(mixed.size(), kBufferSamples - buffer_.size());
    buffer_.insert(buffer_.end(), mixed.begin(), mixed.begin() + static_cast<std::ptrdiff_t>(n));
    mixed = mixed.subspan(n);
    if (buffer_.size() == kBufferSamples) {
      // The header follows every full buffer, so the file on disk is always complete.
      writer_.Write(buffer_);
      writer_.Flush();
      buffer_.clear();
    }
  }
}

void WavRecordingSink::Close() {
  if (!open_) return;
  open_ = false;
  writer_.Write(buffer_);
  buffer_.clear();
  writer_.Close();
}

RecordingSinkPtr MakeWavRecordingSink(const RecordingRequest& request) {
  platform::EnsureFolder(request.settings.folder);
  return WavRecordingSink::Open(request.settings.folder, RecordingBaseName(request.startLocal, request.name),
                                request.log);
}

RecordingSinkFactory ChooseRecordingSink(RecordingSinkFactory orrin) {
  return [orrin = std::move(orrin)](const RecordingRequest& request) {
    if (request.settings.orrinLink && orrin) return orrin(request);
    return MakeWavRecordingSink(request);
  };
}

}  // namespace corvina::media
