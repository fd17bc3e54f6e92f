#include "app/controller/call_lines.h"

#include "app/console/json_writer.h"
#include "media/orrin_link.h"

namespace corvina::app {

CallLines::CallLines(ProgramObjects& program)
    : program_(program),
      sdpCounter_(static_cast<std::uint32_t>(program.wallClock.Now())),
      rtpOpener_(program.nat, program.settings, program.activityLog),
      router_(program.audioDevices, program.settings, program.mediaClock,
              [this](int index) -> media::MediaSession& { return *sessions_[index]; }, &program.postbox) {
  for (int n = 1; n <= kLineCount; ++n) {
    sessions_[n - 1] = std::make_unique<media::MediaSession>(media::MediaSessionServices{
        program.mediaClock, program.tickClock, program.settings, program.resolver, rtpOpener_,
        [&program](std::string_view line) { program.sipEngine.TraceLine(line); }, {}, {}});
    auto media = std::make_unique<call::SessionLineMedia>(*sessions_[n - 1]);
    media_[n - 1] = media.get();
    call::SipLineServices services{
        program.settings,
        sip::DialogServices{program.sipEngine.Endpoint(), program.sipEngine.Core(), waiter_},
        program.dialogs,
        [&program](sip::DialogRef d, std::optional<sip::PendingInvite> pending) {
          program.callTerminator.HandOver(std::move(d), std::move(pending));
        },
        sdpCounter_,
        program.postbox,
        [&program](sip::DialogRef first, sip::DialogRef second) {
          program.bridges.Start(std::move(first), std::move(second));
        }};
    lines_[n - 1] = std::make_shared<call::SipLine>(
        n, services, [&program, n] { return LineAccountSection(program.settings, n); }, std::move(media));
    lines_[n - 1]->SetListener(this);
  }
  recorders_ = std::make_unique<CallRecorders>(
      program.settings, program.activityLog, program.wallClock, program.paths.DataFolder(),
      media::ChooseRecordingSink(media::MakeOrrinLinkFactory(program.resolver, &program.workers)),
      [this](int index) -> media::MediaSession& { return *sessions_[index]; });
  router_.SetHoldSourceMaker([&program] {
    media::HoldSettings hold;
    hold.useLumo = program.settings.GetSettingBool("Settings", "UseLumoServer", false);
    hold.lumoServer = program.settings.GetSettingString("Settings", "LumoServer", media::kDefaultLumoServer);
    media::LumoSourceConfig lumo;
    lumo.log = &program.activityLog;
    lumo.resolver = &program.resolver;
    lumo.registry = &program.workers;
    return media::MakeHoldSource(hold, program.paths.DataFolder(), std::move(lumo));
  });
}

CallLines::~CallLines() {
  End();
  for (auto& line : lines_) line->SetListener(nullptr);
}

void CallLines::Start() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (started_) return;
  started_ = true;
  program_.sipEngine.SetCapabilities(
      [this] { return call::BuildCapabilities(sdpCounter_, program_.settings); });
  for (auto& line : lines_) program_.sipEngine.Lines().Add(line);
}

void CallLines::End() {
  CORVINA_CHECK_THREAD(uiThread_);
  router_.RouteTo(AudioPlace::Nothing());
  for (int line : {0, 1}) router_.StopHold(line);
  recorders_->StopAll();
  if (!started_) return;
  started_ = false;
  for (auto& line : lines_) {
    program_.sipEngine.Lines().Remove(line.get());
    line->Shutdown();
  }
}

void CallLines::SetEventSink(ConsoleEventSink* sink) {
  CORVINA_CHECK_THREAD(uiThread_);
  sink_ = sink;
}

void CallLines::SetLineListener(int n, call::LineListener* listener) {
  CORVINA_CHECK_THREAD(uiThread_);
  forward_[n - 1] = listener;
}

const char* CallLines::StateName(call::CallState state) {
  switch (state) {
    case call::CallState::kIdle: return "Idle";
    case call::CallState::kIncomingRinging: return "IncomingRinging";
    case call::CallState::kDialling: return "Dialling";
    case call::CallState::kDiallingIntercom: return "DiallingIntercom";
    case call::CallState::kRemoteRinging: return "RemoteRinging";
    case call::CallState::kConnected: return "Connected";
  }
  return "Idle";
}

namespace {

template <typename Target>
Target& Describe(Target& out, const call::LineSnapshot& s) {
  out.Add("state", CallLines::StateName(s.state))
      .Add("value", static_cast<int>(s.state))
      .Add("ringCount", s.ringCount)
      .Add("remoteNumber", s.remoteNumber)
      .Add("remoteName", s.remoteName)
      .Add("intercom", s.intercomRequested)
      .Add("holdApplied", s.holdApplied);
  if (s.state == call::CallState::kIdle) out.Add("reason", s.endReason);
  return out;
}

}  // namespace

std::string CallLines::StatusJson() const {
  CORVINA_CHECK_THREAD(uiThread_);
  const AudioPlace served = router_.Place();
  std::string out = "[";
  for (int n = 1; n <= kLineCount; ++n) {
    JsonObject line;
    line.Add("line", n);
    Describe(line, lines_[n - 1]->Snapshot());
    line.Add("current", served == AudioPlace::Line(n - 1));
    line.Add("remotePort", static_cast<int>(media_[n - 1]->RemotePort()));
    out += (n > 1 ? "," : "") + line.Str();
  }
  return out + "]";
}

void CallLines::OnLineChanged(int lineIndex, const call::LineSnapshot& snapshot) {
  CORVINA_CHECK_THREAD(uiThread_);
  // The controller acts first (a tone still playing stops before the call's audio takes the
  // speaker; an ended call's log row is written), so that whoever reads the line event finds
  // its effects done.
  if (lineIndex >= 1 && lineIndex <= kLineCount && forward_[lineIndex - 1] != nullptr) {
    forward_[lineIndex - 1]->OnLineChanged(lineIndex, snapshot);
  }
  if (sink_ != nullptr) {
    ConsoleEvent event("line");
    event.ForLine(lineIndex);
    Describe(event, snapshot);
    sink_->Emit(event);
  }
}

}  // namespace corvina::app
