// What the phone controller is wired to in the running program: the call layer's lines (made
// by one factory, so the call layer's line plugs in here and nowhere else), the tone player
// and the SIP engine's hooks.
#pragma once

#include <memory>

#include "app/controller/call_lines.h"
#include "app/controller/phone_controller.h"
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

// The lines (CallLines' SipLines) and the engine hooks.
PhoneWiring MakePhoneWiring(ProgramObjects& program, CallLines& lines);

// The controller's handle on one of CallLines' SipLines: the operations go to the SipLine, and
// its announcements come through CallLines, which reports them as console events as well.
class BorrowedLine final : public call::LineControl {
 public:
  BorrowedLine(CallLines& lines, int n) : lines_(lines), n_(n), line_(lines.Line(n)) {}
  ~BorrowedLine() override { lines_.SetLineListener(n_, nullptr); }
  bool IsBusy() const override { return line_.IsBusy(); }
  call::LineSnapshot Snapshot() const override { return line_.Snapshot(); }
  bool Answer() override { return line_.Answer(); }
  bool MakeCallAs(std::string_view target, std::string_view displayName, bool intercom) override {
    return line_.MakeCallAs(target, displayName, intercom);
  }
  void SendDigits(std::string_view digits) override { line_.SendDigits(digits); }
  void Transfer(std::string_view target) override { line_.Transfer(target); }
  void HangUp() override { line_.HangUp(); }
  // The call layer joins with the other line's own SipLine, not with its borrowed handle.
  void JoinLine(LineControl& other) override {
    auto* borrowed = dynamic_cast<BorrowedLine*>(&other);
    line_.JoinLine(borrowed != nullptr ? borrowed->line_ : other);
  }
  void SetHoldRequested(bool held) override { line_.SetHoldRequested(held); }
  bool HoldRequested() const override { return line_.HoldRequested(); }
  void SetListener(call::LineListener* listener) override { lines_.SetLineListener(n_, listener); }

 private:
  CallLines& lines_;
  int n_;  // 1 or 2
  call::SipLine& line_;
};

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
