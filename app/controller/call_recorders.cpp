#include "app/controller/call_recorders.h"

#include "platform/paths.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Recorder";

// Non-empty and not "0".
bool On(const platform::Settings& settings, const char* key) {
  std::string value = settings.GetSettingString(kSection, key, "");
  return !value.empty() && value != "0";
}

}  // namespace

media::RecorderSettings ReadRecorderSettings(const platform::Settings& settings, const std::string& dataFolder) {
  media::RecorderSettings out;
  out.folder = settings.GetSettingString(kSection, "Folder", "");
  if (out.folder.empty()) out.folder = dataFolder;
  out.autoRecord = On(settings, "Auto");
  out.orrinLink = On(settings, "Orrinlink");
  out.orrinHost = settings.GetSettingString(kSection, "OrrinHost", media::kDefaultOrrinHost);
  out.orrinAccessCode = settings.GetSettingString(kSection, "OrrinAccessCode", "");
  return out;
}

CallRecorders::CallRecorders(platform::Settings& settings, platform::LogSink& log, const platform::WallClock& clock,
                             std::string dataFolder, media::RecordingSinkFactory factory, const SessionOf& sessionOf)
    : settings_(settings), log_(log), clock_(clock), dataFolder_(std::move(dataFolder)), factory_(std::move(factory)) {
  for (int i = 0; i < 2; ++i) {
    recorders_[i] = media::LineRecorder::Create();
    media::MediaSession& session = sessionOf(i);
    session.SetReceivedAudioTap(recorders_[i]->Tap(media::LineRecorder::kReceived));
    session.SetSentAudioTap(recorders_[i]->Tap(media::LineRecorder::kSent));
  }
  detach_ = [sessionOf] {
    for (int i = 0; i < 2; ++i) {
      sessionOf(i).SetReceivedAudioTap(nullptr);
      sessionOf(i).SetSentAudioTap(nullptr);
    }
  };
}

CallRecorders::~CallRecorders() {
  StopAll();
  detach_();
}

std::optional<media::RecordingTarget> CallRecorders::Start(int line, std::string_view name) {
  CORVINA_CHECK_THREAD(uiThread_);
  media::LineRecorder& recorder = *recorders_[line];
  if (recorder.Recording()) return std::nullopt;
  media::RecordingRequest request{ReadRecorderSettings(settings_, dataFolder_), std::string(name),
                                  clock_.LocalTime(clock_.Now()), &log_};
  media::RecordingSinkPtr sink = factory_(request);
  media::RecordingTarget target = sink->Target();
  if (!recorder.Start(sink)) {
    sink->Close();
    return std::nullopt;
  }
  return target;
}

void CallRecorders::Stop(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  recorders_[line]->Stop();
}

void CallRecorders::StopAll() {
  for (auto& recorder : recorders_) recorder->Stop();
}

std::string CallRecorders::Folder() {
  CORVINA_CHECK_THREAD(uiThread_);
  std::string folder = ReadRecorderSettings(settings_, dataFolder_).folder;
  platform::EnsureFolder(folder);
  return folder;
}

}  // namespace corvina::app
