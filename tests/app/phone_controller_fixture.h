// The phone controller test fixture: a controller on fake lines, a recording view, a recording
// audio route and recorder, and hand-driven clocks, with the steps most tests share.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include "contacts/ini_contact_store.h"
#include "app/controller/phone_controller.h"
#include "app/console/console_phone.h"
#include "app/console/phone_verbs.h"
#include "platform/fd_io.h"
#include "platform/manual_loop.h"
#include "platform/memory_settings_store.h"
#include "tests/app/phone_fakes.h"
#include "tests/app/recording_log.h"

namespace corvina::app {

using call::CallState;
using testing::FakeLine;

class PhoneControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvina-phone-XXXXXX";
    folder_ = mkdtemp(pattern);
    settings_.SetSettingString("Settings", "InstallWizRun", "1");
    Build(nullptr);
  }
  // A controller (again) on fresh fake lines, telling `observer` (may be null).
  void Build(PhoneObserver* observer) {
    controller_.reset();
    controller_ = std::make_unique<PhoneController>(PhoneControllerParts{
        settings_, log_, wall_, tick_, timers_, view_, tones_,
        [this](int i) {
          auto line = std::make_unique<FakeLine>();
          line->index = i;
          lines_[i] = line.get();
          ++linesMade_;
          return line;
        },
        folder_, {}, [this] { ++engineStarts_; }, [this](int v) { outputVolume_ = v; }, {}, {}, {}, observer,
        &audio_, &recording_, contacts_, manual_});
    controller_->Initialise();
  }
  void TearDown() override {
    controller_.reset();
    std::system(("rm -rf '" + folder_ + "'").c_str());
  }
  void Advance(std::uint32_t ms) {
    tick_.Advance(ms);
    timers_.Advance(ms);
  }
  void Type(std::string_view text) { controller_->OnDialTextChanged(text); }
  // A connected outgoing call on the line Dial picks.
  int Connect(std::string_view number) {
    Type(number);
    controller_->Dial(false);
    int n = controller_->CurrentLine();
    lines_[n]->Announce(CallState::kConnected);
    return n;
  }
  void Ring(int line, int count, std::string number = "201", std::string name = "Ann") {
    lines_[line]->Announce(CallState::kIncomingRinging, count, number, name);
  }
  // Runs `act` with a console phone as the controller's observer; its events named `name`.
  std::string ConsoleEvents(const std::string& name, const std::function<void()>& act) {
    int input[2], output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return "no pipes";
    auto console = std::make_unique<ConsolePhone>(input[0], output[1], nullptr);
    Build(console.get());
    act();
    Build(nullptr);
    console.reset();
    for (int fd : {input[0], input[1], output[1]}) close(fd);
    std::string events;
    platform::LineSplitter lines(ConsolePhone::kMaxLineBytes);
    for (std::string line; platform::ReadLine(output[0], 5000, lines, &line);) {
      if (line.find("\"event\":\"" + name + "\"") != std::string::npos) events += line + "\n";
    }
    close(output[0]);
    return events;
  }

  platform::MemorySettingsStore store_;
  contacts::ContactStore* contacts_ = nullptr;
  platform::Settings settings_{store_};
  testing::RecordingLog log_;
  platform::FakeWallClock wall_{1'700'000'000};
  platform::FakeTickClock tick_;
  platform::ManualTimerHost timers_;
  testing::RecordingView view_;
  testing::RecordingTones tones_;
  testing::RecordingRoute audio_;
  testing::FakeRecording recording_;
  FakeLine* lines_[2] = {nullptr, nullptr};
  std::string folder_;
  std::string manual_;  // the manual file the controller is given
  int engineStarts_ = 0;
  int linesMade_ = 0;
  int outputVolume_ = -1;
  std::unique_ptr<PhoneController> controller_;
};

}  // namespace corvina::app
