// The phone controller behind the main window: turns key presses, button presses and menu
// commands into call actions on the two lines, reacts to each line's announcements, plays the
// progress tones and keeps the view's buttons, menus, dial box and status display in step.
// User-interface thread only.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "app/controller/audio_route.h"
#include "contacts/contact_store.h"
#include "app/controller/call_recording.h"
#include "app/controller/conference.h"
#include "app/controller/dial_list.h"
#include "app/policy/do_not_disturb.h"
#include "app/controller/line_indicators.h"
#include "app/controller/main_view.h"
#include "app/logs/missed_calls.h"
#include "app/controller/phone_line.h"
#include "app/logs/phone_log.h"
#include "app/logs/recent_calls.h"
#include "app/controller/status_display.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/settings.h"
#include "platform/thread_checker.h"
#include "platform/ui_queue.h"

namespace corvina::app {

// The progress tones and the key click (the tone player, or a recording in tests).
class PhoneTones {
 public:
  virtual ~PhoneTones() = default;
  virtual void Tone(std::string_view name, bool loop, bool ringDevice) = 0;
  virtual void StopTone() = 0;
  virtual void KeyClick() = 0;
};

// Told of what the controller does besides the view (the console turns these into events).
class PhoneObserver {
 public:
  virtual ~PhoneObserver() = default;
  virtual void CallAnnounced(int /*line*/, const call::LineSnapshot& /*snapshot*/) {}
  virtual void MissedCallsChanged(std::int64_t /*count*/, std::string_view /*summary*/) {}
  virtual void TonePlayed(std::string_view /*name*/, bool /*loop*/, bool /*ringDevice*/) {}
  // The far end accepted a hold (`held`) or a resume of the call on `line`.
  virtual void HoldApplied(int /*line*/, bool /*held*/) {}
  // The outcome of a transfer of the call on `line` is known (announced once per transfer).
  virtual void TransferReported(int /*line*/, call::TransferKind /*kind*/, call::TransferOutcome /*outcome*/) {}
  // A recording of `line` started (`on`) or stopped; `target` is where it goes.
  virtual void RecordingChanged(int /*line*/, bool /*on*/, const media::RecordingTarget& /*target*/) {}
  // The conference started, paused, resumed, lost a member or ended.
  virtual void ConferenceChanged(const Conference& /*conference*/) {}
  // The first start found no wizard to show (no display): it went straight to the engine.
  virtual void WizardSkipped() {}
};

// kUnavailable: the command exists but is greyed or has nothing to act on.
enum class CommandResult { kDone, kNotBuilt, kUnknown, kUnavailable };

using LineFactory = std::function<std::unique_ptr<call::LineControl>(int index)>;

struct PhoneControllerParts {
  platform::Settings& settings;
  platform::LogSink& log;
  const platform::WallClock& wallClock;
  const platform::TickClock& tickClock;
  platform::TimerHost& timers;
  MainView& view;
  PhoneTones& tones;
  LineFactory makeLine;
  std::string logFolder;                     // where the phone log goes
  std::function<void(bool)> engineDnd = {};  // the SIP engine's Do Not Disturb flag
  std::function<void()> startEngine = {};
  std::function<void(int)> setOutputVolume = {};  // 0 … 65535 per channel
  std::function<void(int)> setInputVolume = {};   // −127 … 127
  std::function<void()> toggleStatusWindow = {};  // command 2004
  std::function<void()> restartEngine = {};       // the engine's rebind request
  PhoneObserver* observer = nullptr;
  // Where the microphone and the speaker go; driven from the current line alone (null: no
  // local audio).
  AudioRoute* audio = nullptr;
  // The lines' call recorders (null: no recording; the Record button stays greyed).
  CallRecording* recording = nullptr;
  // The address book offered in the dial list (null: none). Owned by the caller, same thread.
  contacts::ContactStore* contacts = nullptr;
  // The user manual's file (empty: not found); Help and the web-page commands open its sections.
  std::string manual = {};
};

class PhoneController final : public PhoneLineOwner {
 public:
  static constexpr int kNoLine = 2;
  // Timer ids.
  static constexpr int kApplySettingsTimer = 2, kBlinkTimer = 3, kFirstRunTimer = 4, kCallingTimer = 5,
                       kIntercomDialTimer = 6, kDisplayTimer = 7, kConferenceTimer = 9, kPendingDialTimer = 10,
                       kEndReasonTimer = 11, kPrivateTimerBase = 12;  // private timers: 12 + line
  static constexpr std::uint32_t kCallingRepeatMs = 5000, kIntercomDialMs = 4000,
                                 kPendingDialMs = 4000, kApplySettingsMs = 7000,
                                 kPrivateTimerMs = 25000;
  // Unplayed intercom audio beyond this keeps the line's private timer from ending the call.
  static constexpr std::uint64_t kIntercomBacklogMs = 1000;
  static constexpr int kSpeedEntryBase = 7000, kSpeedEntries = 100;

  explicit PhoneController(PhoneControllerParts parts);
  ~PhoneController() override;
  PhoneController(const PhoneController&) = delete;
  PhoneController& operator=(const PhoneController&) = delete;

  // Window initialisation (timers, sliders, engine, Do Not Disturb, lines, status) and the
  // teardown in reverse (hang up, lines go, Do Not Disturb stored).
  void Initialise();
  void Shutdown();

  // The view's entries.
  void OnButton(ControlId control);
  // A menu or application command id.
  CommandResult OnCommand(int id);
  void OnDialTextChanged(std::string_view text);
  void OnDialListOpening();
  void OnSliderReleased(ControlId slider, int position);
  // A key typed on the keyboard (not the keypad); true when consumed as DTMF in a call.
  bool OnTypedChar(char c);
  void CallKey();
  void EndKey();
  void Backspace();

  // The actions (letters of the controller's algorithms).
  // A: returns the line the call was placed on, kNoLine when none was (nothing to dial, no
  // free line, refused, answered instead, or waiting for an intercom line to go idle).
  int Dial(bool answerIfEmpty);
  bool Answer();                              // B
  bool Reject(int line = kNoLine);            // Q: the given ringing line, else the first
  bool HangUp();                              // D
  bool Hold();                                // H
  void Retrieve();                            // R
  // T: with a connected current call and a target in the dial box (text other than what the
  // call was placed from), a blind transfer to it; otherwise the attended transfer's steps.
  void Transfer();
  // Blind transfer of the connected current call to `text` (dial-box text): the local audio
  // stops as for a hang-up and the line waits, blinking held, for the transfer's outcome (the
  // call then ends). False, and nothing done, unless the current line is a connected normal
  // call and `text` holds a number.
  bool BlindTransfer(std::string_view text);
  void CompleteTransfer();                    // T2
  // The attended transfer between the two lines: the connected current call is joined with the
  // other line's connected call (T2 with the other line as the source). False, and nothing
  // done, unless both calls are connected.
  bool AttendedTransfer();
  void LineButton(int line);                  // L
  // I and J: the Intercom button pressed (talk to the dial box's address, or with an empty box
  // back on the one intercom line) and released (the microphone leaves the intercom line).
  void Intercom(bool pressed);
  bool IntercomHeld() const { return intercomHeld_; }
  // Milliseconds until line n's private timer fires; -1 when it is not armed.
  std::int64_t PrivateTimerLeftMs(int n) const;
  // Unplayed audio in line n's intercom buffer (0 without one).
  std::uint64_t IntercomBufferedMs(int n) const;
  // K: starts recording the current line's call, or stops it when it records; false without
  // a current line.
  bool Record();
  void Key(char c);                           // Y
  void SecondDigit(char c);                   // Y step 4
  void Redial();
  void HangUpButton();
  void ClearDialBox();
  // Puts `text` into the dial box as if typed there (the view is told).
  void EnterDialText(std::string_view text);
  void SetDoNotDisturb(bool on);
  CommandResult OpenManual(int command);  // Help, Home Page, Invite and the support pages
  // Confirmed options take effect: while any line has a call, again in 7 s; otherwise logged,
  // `restartEngine` asked and both lines made afresh (each re-reads its account).
  void ApplySettings();
  // Another start hands over a number and optionally a line (1 or 2; 0 = Dial). False, and
  // nothing done, when the line is out of range.
  bool DialFromOutside(std::string_view text, int line);
  // Selects address-book item `index` of the dial list; false when there is none.
  bool PickListItem(long index);

  // Quick transfer. Transfer is possible with a normal current call and no pending transfer.
  bool TransferPossible() const;
  // The Transfer pop-up's items as they would show now.
  std::vector<TransferMenuItem> TransferMenu();
  // Command 7100: the pop-up opens; its items are kept until a choice or another command.
  void OpenTransferMenu();
  // Command 7000 + k: item k of the open menu (or, with none open, of the current list): a
  // normal current call is prepared for transfer and the item's number dialled. False when
  // there is no such item or the open menu shows it greyed.
  bool SpeedEntry(int k);
  // Hotkey k (list position): while it is down, Intercom toward auto-intercom entry k (list
  // position). False when there is no such entry.
  bool HotkeyIntercom(int k, bool down);

  // The volume the output device gets for a play-volume slider value.
  static int OutputVolume(int value);

  // What the view and the console's state report.
  int CurrentLine() const { return current_; }
  // The first line whose call rings, kNoLine when none.
  int RingingLine() const { return FirstLineInState(call::CallState::kIncomingRinging); }
  int CallingLine() const { return calling_; }
  int TransferSource() const { return transferSource_; }
  const std::string& DialText() const { return dialText_; }
  PhoneLine& Line(int i) { return *lines_[static_cast<std::size_t>(i)]; }
  bool HasLines() const { return lines_[0] != nullptr; }
  const LineIndicators& Indicators() const { return indicators_; }
  StatusDisplay& Display() { return display_; }
  const MissedCalls& Missed() const { return missed_; }
  bool DndOn() const { return dnd_.IsOn(); }
  bool NormalCall() const;
  ButtonImage CallImage() const { return callImage_; }
  ButtonImage HangUpImage() const { return hangUpImage_; }
  const DialList& CurrentDialList() const { return dialList_; }
  const Conference& CurrentConference() const { return conference_; }
  // As last shown: button id -> image and pressed; menu id -> enabled and checked.
  const std::map<int, std::pair<ButtonImage, bool>>& ButtonStates() const { return buttons_; }
  const std::map<int, std::pair<bool, bool>>& MenuStates() const { return menus_; }

  // Command 1012: the audio setup wizard; when it finishes, the handset routing follows
  // UseHandset. False when the view has no wizards.
  bool RunAudioWizard();
  // The first start's sequence, from timer 4: the first-run wizard, after Finish the
  // networking setup tool, then the SIP engine (a cancelled wizard skips the tool; a view
  // without wizards skips both and tells the observer).
  void RunFirstRun();

  // Refreshes the menus' states (after a change made outside the controller).
  void RefreshControls() { UpdateControls(); }
  // Re-runs the status update (the dial box and the display follow the lines).
  void UpdateStatusForTest() { UpdateStatus(); }

  // A line's registration changed: the idle display and the line button's tip show it.
  void OnRegistration(const LineRegistrationState& state);

  // PhoneLineOwner.
  void OnLineChanged(int index, const call::LineSnapshot& previous, const call::LineSnapshot& snapshot) override;
  void EndOfCall(int index) override;
  void StopRecording(int index) override;
  void LeaveConference(int index) override;
  void StopPrivateTimer(int index) override;
  // The call has ended: an intercom line's buffer is released and the flag cleared.
  void CloseIntercom(int index) override;

 private:
  // `format` with its one "%s" replaced by `text`.
  static std::string FormatOne(const char* format, std::string_view text);
  bool ValidLine(int n) const { return n == 0 || n == 1; }
  int FirstLineInState(call::CallState state) const;
  void Suspend();
  // What the conference asks of the controller.
  ConferenceHost ConferenceHooks();
  int PlaceCall(int line);
  void MakeCurrent(int line);
  // The local audio path: stopped, or started afresh for line n.
  void StopLocalAudio();
  void StartLocalAudio(int n);
  // Line n's hold music: started after the local path has left the line, stopped before it
  // comes back.
  void StartHoldMusic(int n);
  void StopHoldMusic(int n);
  void SetIndicator(int line, LineIndicator state);
  void ApplyIndicatorUpdate(const IndicatorUpdate& update);
  void BlinkTick();
  void CallingTick();
  void UpdateStatus();
  void UpdateControls();
  void UpdateTransferButton();
  // T's attended steps: the current call is held as the transfer's source.
  void PrepareTransfer();
  void UpdateRecordButton();
  void UpdateHoldButton();
  void SetDialText(std::string text);
  void PaintDisplay();
  void DisplayTick();
  void OnIncomingCall(int line, const call::LineSnapshot& snapshot);
  void OnConnected(int line);
  void StartRecording(int line);
  // Line n's private timer (re)armed at 25 s; when it fires the intercom call is dropped.
  void ArmPrivateTimer(int n);
  // The intercom line that an Intercom press talks to, kNoLine when none (and none placed).
  int IntercomLineFor(const std::string& number);
  // Connect of an intercom line: the microphone only while its button is held for it.
  void OnIntercomConnected(int n);
  // The audio path played some of line n's intercom buffer.
  void OnIntercomPlayed(int n);
  // Line button on an intercom line: its timer and buffer go, it becomes a normal call.
  void LeaveIntercom(int n);
  void ShowMissedCalls();
  // The display keeps why a call ended as its note for a while (texts::kEndReasonMs).
  void ShowEndReason(const std::string& reason);
  void ClearEndReason();
  void PlayTone(std::string_view name, bool loop, bool ringDevice);
  void FirstRunClosed(bool finished);
  void StartEngine();
  // Tell the view only what changed.
  void SetButton(ControlId control, ButtonImage image, bool pressed);
  void SetMenu(MenuId item, bool enabled, bool checked);

  platform::ThreadChecker uiThread_;
  PhoneControllerParts parts_;
  std::array<std::unique_ptr<PhoneLine>, 2> lines_;
  int current_ = kNoLine;
  int calling_ = kNoLine;
  int transferSource_ = kNoLine;
  std::string dialText_;
  bool dialBoxEnabled_ = true;
  ButtonImage callImage_ = ButtonImage::kCallNothingToDo;
  ButtonImage hangUpImage_ = ButtonImage::kHangUpIdle;
  LineIndicators indicators_;
  StatusDisplay display_;
  MissedCalls missed_;
  RecentCalls recent_;
  DoNotDisturb dnd_;
  PhoneLog phoneLog_;
  DialList dialList_;
  std::map<int, std::pair<ButtonImage, bool>> buttons_;  // as last shown
  std::map<int, std::pair<bool, bool>> menus_;           // enabled, checked as last shown
  // A call that waits for an intercom line to go idle (Dial dropped the intercom call).
  int pendingDialLine_ = kNoLine;
  std::string pendingDialNumber_;
  std::string pendingDialText_;
  std::string endReason_;  // why the last call ended, while the display shows it
  Conference conference_;
  bool intercomHeld_ = false;  // the Intercom button is held (for the current line)
  std::vector<TransferMenuItem> openedMenu_;  // the Transfer pop-up as opened, until chosen from
  bool hotkeyIntercom_ = false;               // a hotkey holds the Intercom press
};

}  // namespace corvina::app
