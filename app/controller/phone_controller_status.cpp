// The phone controller's reactions to the lines' announcements and its status upkeep:
// indicators, display, buttons and menus.
#include <cstdio>
#include <utility>

#include "app/controller/call_end.h"
#include "app/policy/incoming_call.h"
#include "app/controller/phone_controller.h"
#include "app/controller/phone_texts.h"

namespace corvina::app {
namespace {

constexpr const char* kSection = "Settings";

}  // namespace

// ---- Line announcements --------------------------------------------------------------------

void PhoneController::OnLineChanged(int index, const call::LineSnapshot& previousSnapshot,
                                    const call::LineSnapshot& snapshot) {
  CORVINA_CHECK_THREAD(uiThread_);
  if (parts_.observer) parts_.observer->CallAnnounced(index, snapshot);
  // A hold or resume the far end accepted; a call that ends is no resume.
  const bool wasApplied = previousSnapshot.state != call::CallState::kIdle && previousSnapshot.holdApplied;
  if (snapshot.state != call::CallState::kIdle && snapshot.holdApplied != wasApplied && parts_.observer) {
    parts_.observer->HoldApplied(index, snapshot.holdApplied);
  }
  // Each announcement that carries an outcome reports a transfer of its own.
  if (snapshot.transferOutcome != call::TransferOutcome::kNone && parts_.observer) {
    parts_.observer->TransferReported(index, snapshot.transferKind, snapshot.transferOutcome);
  }
  UpdateHoldButton();
  const call::CallState previous = previousSnapshot.state;
  PhoneLine& line = Line(index);
  switch (snapshot.state) {
    case call::CallState::kIncomingRinging:
      // An intercom call is answered or refused on its first announcement; the ring
      // announcements that come before the call thread acts on that are not new calls.
      if (snapshot.intercomRequested && previousSnapshot.intercomRequested &&
          previous == call::CallState::kIncomingRinging) {
        break;
      }
      OnIncomingCall(index, snapshot);
      break;
    case call::CallState::kConnected:
      if (previous != call::CallState::kConnected) OnConnected(index);
      break;
    case call::CallState::kIdle:
      if (previous != call::CallState::kIdle) {
        if (!snapshot.endReason.empty()) ShowEndReason(snapshot.endReason);
        FinishCall(phoneLog_, line.timing, line.remoteNumber, line.remoteName, line);
        line.remoteNumber.clear();
        line.remoteName.clear();
        line.digits.clear();
      }
      break;
    default:
      UpdateStatus();
      break;
  }
}

void PhoneController::OnIncomingCall(int n, const call::LineSnapshot& snapshot) {
  PhoneLine& line = Line(n);
  bool first = snapshot.ringCount <= 1;
  line.unanswered = true;
  if (first) {
    parts_.view.BringToFront();
  } else {
    parts_.view.RequestAttention();
  }
  RingFacts facts;
  facts.firstNotice = first;
  facts.intercomCall = snapshot.intercomRequested;
  facts.callerName = snapshot.remoteName;
  facts.callerAddress = snapshot.remoteNumber;
  facts.callerUserHost = snapshot.remoteAddress;
  facts.normalCallCurrent = NormalCall();
  facts.conferenceAudioRunning = conference_.Running();
  facts.indicatorRinging = indicators_.State(n) == LineIndicator::kRinging;
  RingDecision decision = DecideRing(parts_.settings, parts_.log, facts);
  if (decision.intercom == IntercomAnswer::kAnswer) {
    line.intercom = true;
    line.intercomAnswered = true;
    line.unanswered = false;
    line.Call().Answer();
    return;
  }
  if (decision.intercom == IntercomAnswer::kRefuse) {
    line.Drop();
    return;
  }
  if (decision.playRinging) PlayTone(texts::kRingingTone, false, true);
  if (decision.markRinging) SetIndicator(n, LineIndicator::kRinging);
  if (decision.recentEntry) recent_.AddRecentCall(*decision.recentEntry, true);
  UpdateStatus();
}

void PhoneController::OnConnected(int n) {
  PhoneLine& line = Line(n);
  line.answered = true;
  line.unanswered = false;
  line.timing.Connected(parts_.wallClock.Now());
  if (parts_.recording != nullptr && !line.recording &&
      ReadRecorderSettings(parts_.settings, {}).autoRecord) {
    StartRecording(n);
  }
  conference_.Connected(n);
  if (line.intercom) {
    OnIntercomConnected(n);
    return;
  }
  // The call's own audio takes the speaker: a calling or ringing tone still playing ends here.
  parts_.tones.StopTone();
  MakeCurrent(n);
}

bool PhoneController::Record() {
  CORVINA_CHECK_THREAD(uiThread_);
  if (!ValidLine(current_) || parts_.recording == nullptr) return false;
  if (Line(current_).recording) {
    StopRecording(current_);
  } else {
    StartRecording(current_);
  }
  return true;
}

void PhoneController::StartRecording(int n) {
  PhoneLine& line = Line(n);
  std::optional<media::RecordingTarget> target =
      parts_.recording->Start(n, "\"" + line.remoteName + "\" " + line.remoteNumber);
  if (!target) return;
  parts_.log.Log(texts::kRecordingStarted, platform::kLogInfo);
  line.recording = true;
  line.recordingTarget = *target;
  UpdateRecordButton();
  if (parts_.observer) parts_.observer->RecordingChanged(n, true, *target);
}

void PhoneController::StopRecording(int n) {
  PhoneLine& line = Line(n);
  if (!line.recording || parts_.recording == nullptr) return;
  parts_.log.Log(texts::kRecordingStopped, platform::kLogInfo);
  parts_.recording->Stop(n);
  line.recording = false;
  media::RecordingTarget target = std::exchange(line.recordingTarget, {});
  UpdateRecordButton();
  if (parts_.observer) parts_.observer->RecordingChanged(n, false, target);
}

ConferenceHost PhoneController::ConferenceHooks() {
  return {[this] { return NormalCall() ? current_ : -1; },
          [this](int n) { return Line(n).answered; },
          [this] {
            current_ = kNoLine;
            ClearDialBox();
          },
          [this](int n) { Line(n).Drop(); },
          [this] { UpdateStatus(); },
          [this](ButtonImage image) { SetButton(ControlId::kConference, image, false); },
          [this] {
            if (parts_.observer) parts_.observer->ConferenceChanged(conference_);
          }};
}

void PhoneController::LeaveConference(int n) { conference_.Leave(n); }

void PhoneController::StopLocalAudio() {
  if (parts_.audio) parts_.audio->RouteTo(AudioPlace::Nothing());
}

void PhoneController::StartLocalAudio(int n) {
  if (parts_.audio) parts_.audio->RouteTo(AudioPlace::Line(n));
}

void PhoneController::StartHoldMusic(int n) {
  Line(n).holdSource = parts_.audio ? parts_.audio->PlayHold(n) : media::HoldSourceKind::kNone;
}

void PhoneController::StopHoldMusic(int n) {
  if (parts_.audio) parts_.audio->StopHold(n);
  Line(n).holdSource = media::HoldSourceKind::kNone;
}

void PhoneController::EndOfCall(int n) {
  PhoneLine& line = Line(n);
  StopHoldMusic(n);
  SetIndicator(n, LineIndicator::kIdle);
  if (n == current_) {
    StopLocalAudio();
    current_ = kNoLine;
    // An intercom call ends quietly unless what it received was never heard.
    if (!line.intercom || IntercomBufferedMs(n) > 0) PlayTone(texts::kBusyTone, false, false);
    SetDialText({});
  }
  if (n == transferSource_) {
    transferSource_ = kNoLine;
    UpdateTransferButton();
  }
  if (conference_.CallEnded(n)) {
    PlayTone(texts::kBusyTone, false, false);
    return;
  }
  if (n == calling_) calling_ = kNoLine;
  UpdateStatus();
  UpdateRecordButton();
  bool missed = missed_.AccountMissedCall(parts_.settings, line.unanswered, line.remoteName, line.remoteNumber);
  line.unanswered = false;
  if (missed) ShowMissedCalls();
  if (n == pendingDialLine_) {
    pendingDialLine_ = kNoLine;
    parts_.timers.KillTimer(kPendingDialTimer);
    SetDialText(pendingDialText_);
    PlaceCall(n);
  }
}

void PhoneController::ShowEndReason(const std::string& reason) {
  endReason_ = reason;
  parts_.timers.SetTimer(kEndReasonTimer, texts::kEndReasonMs, [this] {
    ClearEndReason();
    UpdateStatus();
  });
}

void PhoneController::ClearEndReason() {
  parts_.timers.KillTimer(kEndReasonTimer);
  if (endReason_.empty()) return;
  if (display_.Note() == endReason_) display_.SetNote({});
  endReason_.clear();
}

void PhoneController::OnRegistration(const LineRegistrationState& state) {
  CORVINA_CHECK_THREAD(uiThread_);
  display_.SetRegistration(state);
  parts_.view.SetLineTip(state.line - 1, StatusDisplay::LineTip(state));
  PaintDisplay();
}

void PhoneController::ShowMissedCalls() {
  std::string summary = missed_.Summary();
  if (parts_.observer) parts_.observer->MissedCallsChanged(missed_.Count(), summary);
  if (parts_.view.ShowTrayMessage(texts::kMissedCallsTitle, summary)) return;
  std::string_view firstRow(summary);
  firstRow = firstRow.substr(0, firstRow.find('\r'));
  display_.SetNote(firstRow);
  PaintDisplay();
}

// ---- Indicators, status and controls -------------------------------------------------------

void PhoneController::SetIndicator(int line, LineIndicator state) {
  ApplyIndicatorUpdate(indicators_.SetLineIndicator(line, state, parts_.tickClock.NowMs()));
}

void PhoneController::ApplyIndicatorUpdate(const IndicatorUpdate& update) {
  for (const ButtonDraw& draw : update.draws) parts_.view.SetLineButton(draw.line, draw.lit);
  if (update.timer == BlinkTimer::kStart) {
    parts_.timers.SetTimer(kBlinkTimer, LineIndicators::kBlinkStepMs, [this] { BlinkTick(); });
  } else if (update.timer == BlinkTimer::kStop) {
    parts_.timers.KillTimer(kBlinkTimer);
  }
}

void PhoneController::BlinkTick() {
  parts_.timers.KillTimer(kBlinkTimer);
  ApplyIndicatorUpdate(indicators_.Tick(parts_.tickClock.NowMs()));
}

void PhoneController::DisplayTick() {
  parts_.timers.KillTimer(kDisplayTimer);
  PaintDisplay();
  parts_.timers.SetTimer(kDisplayTimer, parts_.view.DisplayRefreshMs(), [this] { DisplayTick(); });
}

void PhoneController::PaintDisplay() { parts_.view.PaintDisplay(display_.Paint()); }

void PhoneController::UpdateStatus() {
  if (!HasLines()) return;
  int ringing = FirstLineInState(call::CallState::kIncomingRinging);
  bool normal = NormalCall();
  SetButton(ControlId::kCall,
            (!dialText_.empty() || ValidLine(ringing)) && !normal ? ButtonImage::kCallSomethingToDo
                                                                   : ButtonImage::kCallNothingToDo,
            false);
  ButtonImage hangUp = ButtonImage::kHangUpCall;
  // A reason shown for an ended call gives way to the next call.
  if (normal || ValidLine(ringing)) ClearEndReason();
  if (normal && !ValidLine(transferSource_)) {
    PhoneLine& line = Line(current_);
    display_.Show(FormatOne(texts::kCallingTitle, line.remoteNumber), current_, line.timing.Start());
    display_.SetCallDetails(line.remoteName, line.remoteNumber, line.digits);
  } else if (normal) {
    display_.ShowTransfer();
    hangUp = ButtonImage::kHangUpTransfer;
  } else if (ValidLine(ringing)) {
    PhoneLine& line = Line(ringing);
    display_.Show(FormatOne(texts::kRingingTitle, line.remoteNumber), ringing, line.timing.Start());
    display_.SetCallDetails(line.remoteName, line.remoteNumber, {});
  } else if (conference_.Exists()) {
    display_.ShowConference(conference_.Members() - 1);
  } else {
    std::string note = display_.Note();
    display_.ShowIdle();
    if (missed_.Count() != 0) display_.SetNote(note);
    if (!endReason_.empty()) display_.SetNote(endReason_);
    hangUp = dialText_.empty() ? ButtonImage::kHangUpIdle : ButtonImage::kHangUpClearText;
  }
  SetButton(ControlId::kHangUp, hangUp, false);
  PaintDisplay();
  UpdateControls();
}

void PhoneController::UpdateControls() {
  bool normal = NormalCall();
  bool text = !dialText_.empty();
  bool ringing = ValidLine(FirstLineInState(call::CallState::kIncomingRinging));
  bool dnd = dnd_.IsOn();
  SetMenu(MenuId::kShowStatusWindow, true, parts_.settings.GetSettingBool(kSection, "ShowStatus", false));
  SetMenu(MenuId::kDndOn, true, dnd);
  SetMenu(MenuId::kDndOff, true, !dnd);
  SetMenu(MenuId::kHangUp, normal, false);
  SetMenu(MenuId::kDial, text, false);
  SetMenu(MenuId::kClear, text, false);
  SetMenu(MenuId::kAddToAddressBook, text, false);
  SetMenu(MenuId::kAddQuickTransfer, text, false);
  SetMenu(MenuId::kAnswer, ringing, false);
  SetMenu(MenuId::kReject, ringing, false);
  SetMenu(MenuId::kQuickTransferList, !TransferPossible(), false);
  if (dialBoxEnabled_ == normal) {
    dialBoxEnabled_ = !normal;
    parts_.view.SetDialBoxEnabled(dialBoxEnabled_);
  }
}

void PhoneController::UpdateTransferButton() {
  bool pending = ValidLine(transferSource_);
  SetButton(ControlId::kTransfer, pending ? ButtonImage::kTransferPending : ButtonImage::kTransferNormal, pending);
}

void PhoneController::UpdateRecordButton() {
  bool on = ValidLine(current_) && Line(current_).recording;
  SetButton(ControlId::kRecord, on ? ButtonImage::kRecordOn : ButtonImage::kRecordOff, on);
}

void PhoneController::UpdateHoldButton() {
  // Pressed in while the far end has accepted a hold on either line: the current call is never
  // held, so a pressed Hold button says that a call waits on hold.
  bool applied = false;
  for (int i = 0; i < 2; ++i) {
    const PhoneLine* line = lines_[static_cast<std::size_t>(i)].get();
    if (line != nullptr && line->State() != call::CallState::kIdle && line->Last().holdApplied) applied = true;
  }
  SetButton(ControlId::kHold, ButtonImage::kHold, applied);
}

void PhoneController::SetButton(ControlId control, ButtonImage image, bool pressed) {
  if (control == ControlId::kCall) callImage_ = image;
  if (control == ControlId::kHangUp) hangUpImage_ = image;
  auto [it, added] = buttons_.try_emplace(static_cast<int>(control), image, pressed);
  if (!added && it->second == std::make_pair(image, pressed)) return;
  it->second = {image, pressed};
  parts_.view.SetButtonImage(control, image, pressed);
}

void PhoneController::SetMenu(MenuId item, bool enabled, bool checked) {
  auto [it, added] = menus_.try_emplace(static_cast<int>(item), enabled, checked);
  if (!added && it->second == std::make_pair(enabled, checked)) return;
  it->second = {enabled, checked};
  parts_.view.SetMenuItem(item, enabled, checked);
}

void PhoneController::PlayTone(std::string_view name, bool loop, bool ringDevice) {
  parts_.tones.Tone(name, loop, ringDevice);
  if (parts_.observer) parts_.observer->TonePlayed(name, loop, ringDevice);
}

}  // namespace corvina::app
