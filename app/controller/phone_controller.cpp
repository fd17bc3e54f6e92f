#include "app/controller/phone_controller.h"

#include <algorithm>
#include <cstdio>

#include "app/controller/dial_text.h"
#include "app/policy/emergency_map.h"
#include "app/policy/incoming_call.h"
#include "app/controller/panel_metrics.h"
#include "app/controller/phone_texts.h"
#include "platform/handset_routing.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Settings";
constexpr char kKeypad[] = "123456789*0#";

}  // namespace

std::string PhoneController::FormatOne(const char* format, std::string_view text) {
  std::string arg(text);
  int n = std::snprintf(nullptr, 0, format, arg.c_str());
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  std::snprintf(out.data(), out.size() + 1, format, arg.c_str());
  return out;
}

PhoneController::PhoneController(PhoneControllerParts parts)
    : parts_(std::move(parts)),
      display_(parts_.wallClock),
      missed_(parts_.wallClock),
      recent_(parts_.settings, parts_.wallClock),
      dnd_(parts_.settings, parts_.log, parts_.engineDnd),
      phoneLog_(parts_.logFolder, parts_.wallClock),
      conference_(parts_.audio, parts_.timers, kConferenceTimer, parts_.view, parts_.log, ConferenceHooks()) {}

PhoneController::~PhoneController() {
  if (HasLines()) Shutdown();
}

void PhoneController::Initialise() {
  CORVINA_CHECK_THREAD(uiThread_);
  parts_.timers.SetTimer(kDisplayTimer, parts_.view.DisplayRefreshMs(), [this] { DisplayTick(); });
  parts_.view.SetSliders(ClampLevel(parts_.settings.GetSettingInt(kSection, "PlayVolume", 0)),
                         ClampLevel(parts_.settings.GetSettingInt(kSection, "RecordVolume", 0)));
  if (!parts_.settings.GetSettingBool(kSection, "InstallWizRun", false)) {
    parts_.settings.SetSettingString(kSection, "InstallWizRun", "1");
    parts_.timers.SetTimer(kFirstRunTimer, 0, [this] {
      parts_.timers.KillTimer(kFirstRunTimer);
      RunFirstRun();
    });
  } else {
    StartEngine();
  }
  bool dnd = dnd_.Load();
  SetButton(ControlId::kDnd, dnd ? ButtonImage::kDndOn : ButtonImage::kDndOff, dnd);
  for (int i = 0; i < 2; ++i) lines_[static_cast<std::size_t>(i)] = std::make_unique<PhoneLine>(*this, i, parts_.makeLine(i));
  if (parts_.audio) {
    parts_.audio->SetIntercomPlayedListener([this](int n) { OnIntercomPlayed(n); });
    parts_.audio->SetLevelsListener([this](int play, int record) { parts_.view.SetMeters(play, record); });
  }
  parts_.view.SetControlEnabled(ControlId::kRecord, parts_.recording != nullptr);
  UpdateHoldButton();
  UpdateTransferButton();
  UpdateRecordButton();
  UpdateStatus();
  PaintDisplay();
}

void PhoneController::Shutdown() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!HasLines()) return;
  HangUp();
  StopLocalAudio();
  for (int i = 0; i < 2; ++i) StopRecording(i);
  if (parts_.audio) {
    parts_.audio->SetIntercomPlayedListener({});
    parts_.audio->SetLevelsListener({});
    for (int i = 0; i < 2; ++i) parts_.audio->StopIntercomBuffer(i);
  }
  current_ = calling_ = transferSource_ = kNoLine;
  for (int id : {kApplySettingsTimer, kBlinkTimer, kFirstRunTimer, kCallingTimer, kIntercomDialTimer, kDisplayTimer,
                 kConferenceTimer, kPendingDialTimer, kEndReasonTimer, kPrivateTimerBase, kPrivateTimerBase + 1}) {
    parts_.timers.KillTimer(id);
  }
  for (auto& line : lines_) line.reset();
  dnd_.Store();
}

bool PhoneController::NormalCall() const {
  return ValidLine(current_) && lines_[static_cast<std::size_t>(current_)] &&
         !lines_[static_cast<std::size_t>(current_)]->intercom;
}

int PhoneController::FirstLineInState(call::CallState state) const {
  for (int i = 0; i < 2; ++i) {
    if (lines_[static_cast<std::size_t>(i)] && lines_[static_cast<std::size_t>(i)]->State() == state) return i;
  }
  return kNoLine;
}

// ---- Dialling ------------------------------------------------------------------------------

int PhoneController::Dial(bool answerIfEmpty) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!HasLines()) return kNoLine;
  parts_.view.BringToFront();
  Suspend();
  if (CutToField(dialText_).empty()) {
    if (answerIfEmpty) Answer();
    return kNoLine;
  }
  int line = kNoLine;
  for (int i = 0; i < 2 && line == kNoLine; ++i) {
    if (!Line(i).Call().IsBusy()) line = i;
  }
  if (line == kNoLine) {
    for (int i = 0; i < 2 && line == kNoLine; ++i) {
      if (Line(i).intercom) line = i;
    }
    if (line == kNoLine) {
      PlayTone(texts::kBusyTone, false, false);
      return kNoLine;
    }
    Line(line).Drop();
    if (Line(line).Call().IsBusy()) {
      // The call layer takes a new call only on an idle line: place it when this one is.
      pendingDialLine_ = line;
      pendingDialText_ = dialText_;
      parts_.timers.SetTimer(kPendingDialTimer, kPendingDialMs, [this] {
        parts_.timers.KillTimer(kPendingDialTimer);
        pendingDialLine_ = kNoLine;
      });
      return kNoLine;
    }
  }
  return PlaceCall(line);
}

int PhoneController::PlaceCall(int line) {
  std::string number = DialNumberFromText(dialText_);
  if (number.empty()) return kNoLine;
  parts_.timers.KillTimer(kIntercomDialTimer);
  std::array<bool, 2> busy{Line(0).Call().IsBusy(), Line(1).Call().IsBusy()};
  DialTarget target = MapEmergency(parts_.settings, parts_.log, number, line, busy);
  line = target.line;
  PhoneLine& chosen = Line(line);
  chosen.intercom = false;
  if (!chosen.Call().MakeCall(target.number)) return kNoLine;
  chosen.dialledText = dialText_;
  chosen.remoteNumber = target.number;
  chosen.remoteName = target.number;
  current_ = calling_ = line;
  PlayTone(texts::kCallingTone, false, false);
  parts_.timers.SetTimer(kCallingTimer, kCallingRepeatMs, [this] { CallingTick(); });
  display_.Show(FormatOne(texts::kCallingTitle, dialText_), line, 0);
  PaintDisplay();
  SetIndicator(line, LineIndicator::kActive);
  UpdateStatus();
  if (!dialText_.empty()) recent_.AddRecentCall(dialText_, false);
  if (missed_.Count() != 0) {
    missed_.Clear();
    if (parts_.observer) parts_.observer->MissedCallsChanged(0, {});
  }
  return line;
}

void PhoneController::CallingTick() {
  parts_.timers.KillTimer(kCallingTimer);
  if (!ValidLine(calling_)) return;
  PlayTone(texts::kCallingTone, false, false);
  parts_.timers.SetTimer(kCallingTimer, kCallingRepeatMs, [this] { CallingTick(); });
}

void PhoneController::Redial() {
  SetDialText(recent_.RedialText());
  Dial(false);
}

bool PhoneController::DialFromOutside(std::string_view text, int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (line < 0 || line > 2 || !HasLines()) return false;
  if (!text.empty()) {
    SetDialText(std::string(text));
    UpdateStatus();
  }
  if (line != 0) {
    LineButton(line - 1);
  } else {
    Dial(false);
  }
  return true;
}

// ---- Answer, reject, hang up ---------------------------------------------------------------

bool PhoneController::Answer() {
  CORVINA_CHECK_THREAD(uiThread_);
  parts_.view.BringToFront();
  int n = FirstLineInState(call::CallState::kIncomingRinging);
  if (n == kNoLine) return false;
  if (n == current_) return true;
  Suspend();
  Line(n).intercom = false;
  Line(n).unanswered = false;
  Line(n).Call().Answer();
  return true;
}

bool PhoneController::Reject(int line) {
  CORVINA_CHECK_THREAD(uiThread_);
  int n = FirstLineInState(call::CallState::kIncomingRinging);
  if (line != kNoLine) n = ValidLine(line) && Line(line).State() == call::CallState::kIncomingRinging ? line : kNoLine;
  if (n == kNoLine) return false;
  Line(n).Drop();
  return true;
}

bool PhoneController::HangUp() {
  CORVINA_CHECK_THREAD(uiThread_);
  // Without a normal call, the hang-up ends the conference and every call in it.
  if (!NormalCall()) return conference_.Exists() && (conference_.End(), true);
  if (ValidLine(transferSource_)) {
    CompleteTransfer();
    return true;
  }
  int n = current_;
  StopLocalAudio();
  Line(n).Drop();
  SetIndicator(n, LineIndicator::kIdle);
  current_ = kNoLine;
  ClearDialBox();
  UpdateRecordButton();
  return true;
}

void PhoneController::HangUpButton() {
  if (!HangUp() && !Reject()) ClearDialBox();
}

void PhoneController::EnterDialText(std::string_view text) {
  SetDialText(std::string(text));
  UpdateStatus();
}

void PhoneController::ClearDialBox() {
  SetDialText({});
  UpdateStatus();
}

// ---- Hold, retrieve, transfer, line buttons ------------------------------------------------

void PhoneController::Suspend() {
  conference_.Pause();
  if (NormalCall()) {
    Hold();
  } else if (ValidLine(current_) && Line(current_).intercom) {
    StopLocalAudio();
    current_ = kNoLine;
  }
}

bool PhoneController::Hold() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!NormalCall()) return conference_.StopAudio();
  int n = current_;
  // Nothing from the microphone reaches the held party: the local path stops before the music.
  StopLocalAudio();
  StartHoldMusic(n);
  if (!Line(n).Hold(parts_.wallClock.Now())) {
    StopHoldMusic(n), HangUp();
    return true;
  }
  parts_.log.Log(texts::kCallPutOnHold, platform::kLogInfo);
  SetIndicator(n, LineIndicator::kHeld);
  current_ = kNoLine;
  UpdateStatus();
  return true;
}

void PhoneController::Retrieve() {
  for (int i = 0; i < 2; ++i) {
    if (!Line(i).onHold) continue;
    // In reverse of the hold: the hold request, the music, then our own audio.
    Line(i).Resume(parts_.wallClock.Now());
    StopHoldMusic(i);
    MakeCurrent(i);
    ClearDialBox();
    return;
  }
}

void PhoneController::MakeCurrent(int n) {
  if (n != current_) {
    Suspend();
    current_ = n;
  }
  StartLocalAudio(n);
  SetIndicator(n, LineIndicator::kActive);
  if (n == calling_) calling_ = kNoLine;
  UpdateStatus();
  UpdateRecordButton();
  display_.Show(texts::kCallAnsweredTitle, n, Line(n).timing.Start());
  PaintDisplay();
}

void PhoneController::Transfer() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (ValidLine(transferSource_)) {
    CompleteTransfer();
    return;
  }
  if (!NormalCall()) return;
  // The number a call was dialled from stays in the dial box: it is no transfer target.
  if (!dialText_.empty() && dialText_ != Line(current_).dialledText && BlindTransfer(dialText_)) return;
  PrepareTransfer();
}

void PhoneController::PrepareTransfer() {
  transferSource_ = current_;
  Hold();
  ClearDialBox();
  UpdateTransferButton();
}

bool PhoneController::BlindTransfer(std::string_view text) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!NormalCall() || Line(current_).State() != call::CallState::kConnected) return false;
  const std::string number = DialNumberFromText(CutToField(text));
  if (number.empty()) return false;
  const int n = current_;
  PhoneLine& line = Line(n);
  // The party being transferred hears nothing more from us, as after a hang-up.
  StopLocalAudio();
  line.transferring = true;
  line.Call().Transfer(number);
  SetIndicator(n, LineIndicator::kHeld);
  if (calling_ == n) calling_ = kNoLine;
  current_ = kNoLine;
  ClearDialBox();
  UpdateRecordButton();
  return true;
}

void PhoneController::CompleteTransfer() {
  if (!ValidLine(transferSource_)) return;
  if (!NormalCall()) {
    LineButton(transferSource_);
    return;
  }
  StopLocalAudio();
  Line(current_).TransferTo(Line(transferSource_));
  if (calling_ == current_) calling_ = kNoLine;
  current_ = kNoLine;
  transferSource_ = kNoLine;
  ClearDialBox();
  UpdateTransferButton();
  UpdateRecordButton();
}

bool PhoneController::AttendedTransfer() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!NormalCall() || Line(current_).State() != call::CallState::kConnected) return false;
  const int other = current_ == 0 ? 1 : 0;
  if (!ValidLine(other) || Line(other).State() != call::CallState::kConnected) return false;
  transferSource_ = other;
  CompleteTransfer();
  return true;
}

void PhoneController::LineButton(int n) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!ValidLine(n) || !HasLines()) return;
  if (n == transferSource_) {
    transferSource_ = kNoLine;
    UpdateTransferButton();
  }
  PhoneLine& line = Line(n);
  if (line.State() == call::CallState::kIncomingRinging) {
    parts_.view.BringToFront();
    if (n != current_) {
      Suspend();
      line.intercom = false;
      line.unanswered = false;
      line.Call().Answer();
    }
    ClearDialBox();
  } else if (line.onHold || line.transferring) {
    // A held call, or one whose transfer the call layer did not carry out, comes back.
    line.transferring = false;
    Suspend();
    for (int i = 0; i < 2; ++i) {
      if (Line(i).consultPeer != &line) continue;
      Line(i).consultPeer = nullptr;
      Line(i).Drop();
    }
    line.Resume(parts_.wallClock.Now());
    StopHoldMusic(n);
    MakeCurrent(n);
    ClearDialBox();
  } else if (line.intercom) {
    // The intercom call becomes a normal call.
    if (n != current_) Suspend();
    LeaveIntercom(n);
    MakeCurrent(n);
    ClearDialBox();
  } else if (conference_.IsMember(n)) {
    // The user talks to that party alone.
    Suspend();
    conference_.Leave(n);
    MakeCurrent(n);
    ClearDialBox();
  } else if (!line.Call().IsBusy()) {
    Suspend();
    PlaceCall(n);
  }
}

// ---- Buttons, commands, sliders ------------------------------------------------------------

void PhoneController::OnButton(ControlId control) {
  int id = static_cast<int>(control);
  if (id >= static_cast<int>(ControlId::kKey1) && id <= static_cast<int>(ControlId::kKeyHash)) {
    Key(kKeypad[id - static_cast<int>(ControlId::kKey1)]);
    return;
  }
  switch (control) {
    case ControlId::kCall: Dial(true); break;
    case ControlId::kHangUp: HangUpButton(); break;
    case ControlId::kTransfer: Transfer(); break;
    case ControlId::kDnd: SetDoNotDisturb(!dnd_.IsOn()); break;
    case ControlId::kHold:
      if (!Hold()) Retrieve();
      break;
    case ControlId::kLine1: LineButton(0); break;
    case ControlId::kLine2: LineButton(1); break;
    case ControlId::kRecord: Record(); break;
    case ControlId::kConference: conference_.Press(); break;
    case ControlId::kIntercom: Intercom(true); break;  // its release comes by Intercom(false)
    default: break;
  }
}

CommandResult PhoneController::OnCommand(int id) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (id >= kSpeedEntryBase && id < kSpeedEntryBase + kSpeedEntries) {
    return SpeedEntry(id - kSpeedEntryBase) ? CommandResult::kDone : CommandResult::kUnavailable;
  }
  openedMenu_.clear();  // any other command dismisses the Transfer pop-up
  switch (id) {
    case 7100: OpenTransferMenu(); return CommandResult::kDone;
    case 2050:
      if (TransferPossible()) return CommandResult::kUnavailable;
      parts_.view.OpenQuickTransferList();
      return CommandResult::kDone;
    case 1001: Dial(false); return CommandResult::kDone;
    case 1018: Redial(); return CommandResult::kDone;
    case 1007: HangUp(); return CommandResult::kDone;
    case 1005: Answer(); return CommandResult::kDone;
    case 1006:
    case 4001: Reject(); return CommandResult::kDone;
    case 1002: ClearDialBox(); return CommandResult::kDone;
    case 1008: SetDoNotDisturb(true); return CommandResult::kDone;
    case 1009: SetDoNotDisturb(false); return CommandResult::kDone;
    case 2004:
      if (!parts_.toggleStatusWindow) return CommandResult::kNotBuilt;
      parts_.toggleStatusWindow();
      UpdateControls();
      return CommandResult::kDone;
    case 2002: parts_.view.OpenExternal(parts_.logFolder); return CommandResult::kDone;
    case 2003:
      if (parts_.recording == nullptr) return CommandResult::kNotBuilt;
      parts_.view.OpenExternal(parts_.recording->Folder());
      return CommandResult::kDone;
    case 9: case 9005: case 1014: case 6028: case 6099: return OpenManual(id);
    case 1011:
    case 1886545254:
      // The menu's Options opens at the default line's settings.
      parts_.settings.SetSettingString(kSection, "LineConfigure", "-1");
      return parts_.view.OpenOptions(0) ? CommandResult::kDone : CommandResult::kNotBuilt;
    case 1030: return parts_.view.OpenOptions(1) ? CommandResult::kDone : CommandResult::kNotBuilt;
    case 1012: return RunAudioWizard() ? CommandResult::kDone : CommandResult::kNotBuilt;
    case 1013: return parts_.view.RunNetworkTool() ? CommandResult::kDone : CommandResult::kNotBuilt;
    // The address book and the quick-transfer entries are the frontends' own windows.
    case 1015: case 1017: case 2001:
      return CommandResult::kNotBuilt;
    default: break;
  }
  return CommandResult::kUnknown;
}

void PhoneController::StartEngine() {
  if (parts_.startEngine) parts_.startEngine();
}

void PhoneController::RunFirstRun() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (parts_.view.OpenWizard(WizardKind::kFirstRun, [this](bool finished) { FirstRunClosed(finished); })) return;
  // No display to show it on: nothing is asked and no network test runs.
  if (parts_.observer) parts_.observer->WizardSkipped();
  StartEngine();
}

void PhoneController::FirstRunClosed(bool finished) {
  if (finished) parts_.view.RunNetworkTool();
  StartEngine();
}

bool PhoneController::RunAudioWizard() {
  CORVINA_CHECK_THREAD(uiThread_);
  return parts_.view.OpenWizard(WizardKind::kAudio, [this](bool finished) {
    if (finished) platform::RouteCallAudio(parts_.settings.GetSettingBool(kSection, "UseHandset", false));
  });
}

CommandResult PhoneController::OpenManual(int command) {
  // The help and web pages are the manual's sections, so nothing leaves the machine.
  const char* section = "";
  switch (command) {
    case 9005: section = "#welcome"; break;
    case 1014: section = "#invite"; break;
    case 6028: section = "#accounts"; break;
    case 6099: section = "#troubleshooting"; break;
    default: break;
  }
  if (parts_.manual.empty()) return CommandResult::kUnavailable;
  parts_.view.OpenExternal("file://" + parts_.manual + section);
  return CommandResult::kDone;
}

void PhoneController::SetDoNotDisturb(bool on) {
  bool shown = dnd_.SetDoNotDisturb(on);
  SetButton(ControlId::kDnd, shown ? ButtonImage::kDndOn : ButtonImage::kDndOff, shown);
  UpdateControls();
}

void PhoneController::ApplySettings() {
  CORVINA_CHECK_THREAD(uiThread_);
  parts_.timers.KillTimer(kApplySettingsTimer);
  if (!HasLines()) return;
  if (Line(0).Call().IsBusy() || Line(1).Call().IsBusy()) {
    parts_.timers.SetTimer(kApplySettingsTimer, kApplySettingsMs, [this] { ApplySettings(); });
    return;
  }
  parts_.log.Log(texts::kRestartingForSettings, platform::kLogInfo);
  if (parts_.restartEngine) parts_.restartEngine();
  for (int i = 0; i < 2; ++i) {
    auto& line = lines_[static_cast<std::size_t>(i)];
    line.reset();
    line = std::make_unique<PhoneLine>(*this, i, parts_.makeLine(i));
  }
  UpdateStatus();
}

int PhoneController::OutputVolume(int value) {
  if (value <= -36) return 0;
  return std::min((value + 36) * 1424, 65535);
}

void PhoneController::OnSliderReleased(ControlId slider, int position) {
  bool play = slider == ControlId::kPlaySlider;
  if (!play && slider != ControlId::kRecordSlider) return;
  const char* name = play ? "PlayVolume" : "RecordVolume";
  parts_.settings.SetSettingString(kSection, name, std::to_string(ClampLevel(position)));
  int value = ClampLevel(parts_.settings.GetSettingInt(kSection, name, 0));
  if (play) {
    if (parts_.setOutputVolume) parts_.setOutputVolume(OutputVolume(value));
  } else if (parts_.setInputVolume) {
    parts_.setInputVolume(value);
  }
}

}  // namespace corvina::app
