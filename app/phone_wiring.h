// What the phone controller is wired to in the running program: the call layer's lines (made
// by one factory, so the call layer's line plugs in here and nowhere else), the tone player
// and the SIP engine's hooks.
#pragma once

#include <memory>

#include "app/phone_controller.h"
#include "app/program_objects.h"
#include "media/tone_player.h"

namespace corvina::app {

// The tone player behind the controller's tones.
class PlayerTones final : public PhoneTones {
 public:
  explicit PlayerTones(media::TonePlayer& player) : player_(player) {}
  void Tone(std::string_view name, bool loop, bool ringDevice) override;
  void StopTone() override { player_.StopTone(); }
  void KeyClick() override { player_.KeyClick(); }

 private:
  media::TonePlayer& player_;
};

struct PhoneWiring {
  LineFactory makeLine;
  std::function<void(bool)> engineDnd;
  std::function<void()> startEngine;
};

// The lines and engine hooks of this build.
PhoneWiring MakePhoneWiring(ProgramObjects& program);

// A line without a call layer behind it: it is always idle and refuses every call (logged).
class UnconnectedLine final : public call::LineControl {
 public:
  explicit UnconnectedLine(platform::LogSink& log) : log_(log) {}
  bool IsBusy() const override { return false; }
  call::LineSnapshot Snapshot() const override { return {}; }
  bool Answer() override { return false; }
  bool MakeCallAs(std::string_view target, std::string_view displayName, bool intercom) override;
  void SendDigits(std::string_view) override {}
  void Transfer(std::string_view) override {}
  void HangUp() override {}
  void JoinLine(LineControl&) override {}
  void SetHoldRequested(bool) override {}
  bool HoldRequested() const override { return false; }
  void SetListener(call::LineListener*) override {}

 private:
  platform::LogSink& log_;
};

}  // namespace corvina::app
