#include "app/phone_wiring.h"

namespace corvina::app {

void PlayerTones::Tone(std::string_view name, bool loop, bool ringDevice) { player_.Tone(name, loop, ringDevice); }

bool UnconnectedLine::MakeCallAs(std::string_view target, std::string_view, bool) {
  log_.Log("Cannot call " + std::string(target) + ": no call layer in this build", platform::kLogError);
  return false;
}

PhoneWiring MakePhoneWiring(ProgramObjects& program, CallLines& lines) {
  PhoneWiring wiring;
  wiring.makeLine = [&lines](int index) -> std::unique_ptr<call::LineControl> {
    return std::make_unique<BorrowedLine>(lines, index + 1);
  };
  wiring.engineDnd = [&program](bool on) { program.sipEngine.SetDoNotDisturb(on); };
  return wiring;
}

}  // namespace corvina::app
