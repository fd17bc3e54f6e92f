// The conference: the local microphone and speaker joined with the calls of both lines through
// the conference mixer (the audio route's conference place), and the Conference button's three
// states (off; running; paused, its image alternating every 500 ms). The phone controller owns
// one and drives it from its actions: the Conference button (Press), a Suspend (Pause), a
// hang-up without a normal call (End), a member's line button (Leave) and the end of a
// member's call (CallEnded). User-interface thread.
#pragma once

#include <array>
#include <functional>

#include "app/controller/audio_route.h"
#include "app/controller/button_images.h"
#include "app/controller/main_view.h"
#include "platform/log_sink.h"
#include "platform/ui_queue.h"
#include "platform/thread_checker.h"

namespace corvina::app {

// What the conference asks of the controller.
struct ConferenceHost {
  // The current line when it holds a normal call, else -1; and whether that call has answered.
  std::function<int()> normalCallLine;
  std::function<bool(int line)> answered;
  // The current line becomes none and the dial box is cleared.
  std::function<void()> releaseCurrent;
  // The line leaves any call: on-hold cleared, hung up, unanswered cleared.
  std::function<void(int line)> dropLine;
  std::function<void()> updateStatus;
  // The Conference button shows `image`.
  std::function<void(ButtonImage image)> setImage;
  // The conference started, paused, resumed, lost a member or ended.
  std::function<void()> changed;
};

class Conference {
 public:
  static constexpr int kBlinkMs = 500;
  static constexpr const char* kAlreadyIn =
      "You are already in a conference..\r\n\r\n Click this button to end the conference.";
  static constexpr const char* kWaitForAnswer =
      "Please wait until the call has answered before you add the call to a conference.";
  static constexpr const char* kNeedCall =
      "You must have an active call to start a conference.\r\n\r\n Please type the number and click here to make a "
      "call then click Conference later.";
  static constexpr const char* kInvite =
      "Type the number of the next person you want to invite to join the conference here.";
  static constexpr const char* kInviteTitle = "Invite to Conference";
  static constexpr const char* kStarted = "Conference started";

  // `audio` may be null (no local audio); `timerId` is the controller's blink timer.
  Conference(AudioRoute* audio, platform::TimerHost& timers, int timerId, MainView& view, platform::LogSink& log,
             ConferenceHost host)
      : audio_(audio), timers_(timers), timerId_(timerId), view_(view), log_(log), host_(std::move(host)) {}

  // The Conference button: refuses with a message box, or starts or resumes the conference
  // with the current normal call joined.
  void Press();
  // A Suspend: a running conference stops its audio and its button starts to blink.
  void Pause();
  // Hold without a normal call: a running conference's audio stops (the button stays lit);
  // false when it was not running.
  bool StopAudio();
  // Ends the conference: every member line is hung up, the button goes back to off.
  void End();
  // Line `line` leaves the conference (its party no longer hears the others).
  void Leave(int line);
  // The call of `line` connected: a member's audio joins the mixer again.
  void Connected(int line);
  // The end of `line`'s call, before the line leaves: true when the conference ended with it
  // (it had no more than two members, the local device and that line).
  bool CallEnded(int line);

  bool Exists() const { return exists_; }
  bool Running() const { return running_; }
  int ButtonState() const { return buttonState_; }
  bool IsMember(int line) const { return (line == 0 || line == 1) && member_[static_cast<std::size_t>(line)]; }
  // The local device and each joined line (0 when there is no conference).
  int Members() const;

 private:
  void Blink();

  platform::ThreadChecker uiThread_;
  AudioRoute* const audio_;
  platform::TimerHost& timers_;
  const int timerId_;
  MainView& view_;
  platform::LogSink& log_;
  const ConferenceHost host_;
  // User-interface thread.
  bool exists_ = false;
  bool running_ = false;
  int buttonState_ = 0;  // 0 off, 1 running, 2 paused
  std::array<bool, 2> member_{};
  bool blinkLit_ = false;  // while paused: the running image is shown
};

}  // namespace corvina::app
