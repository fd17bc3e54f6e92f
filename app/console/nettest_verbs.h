// The console's network setup tool: the `nettest` verb runs the "Networking Setup Wizard" of
// the window in the console's progress window (`progress` events, `cancel`), its firewall
// question comes as
//   {"event":"question","title":"Firewall Blocking Ports","text":"...","answers":["yes","no","cancel"]}
// and is answered with `reply yes|no|cancel`; its closing message is a `messageBox` event.
#pragma once

#include <optional>

#include "app/console/command_processor.h"
#include "app/controller/main_view.h"

namespace corvina::app {

class MainWindow;

// The question box the console has open, if any. Loop thread only.
class ConsoleQuestion {
 public:
  void Open() {
    open_ = true;
    answer_.reset();
  }
  void Close() { open_ = false; }
  // False when no question is open or it was answered already.
  bool Reply(QuestionAnswer answer) {
    if (!open_ || answer_) return false;
    answer_ = answer;
    return true;
  }
  const std::optional<QuestionAnswer>& Answer() const { return answer_; }

 private:
  bool open_ = false;
  std::optional<QuestionAnswer> answer_;
};

void RegisterNetTestVerbs(CommandProcessor& verbs, MainWindow& window, ConsoleQuestion& question);

}  // namespace corvina::app
