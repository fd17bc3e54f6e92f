// The `corvina-window` program: the phone with its Qt window. `corvina` runs it in its own place
// when a display is there, with the arguments it has already checked, so that the console
// phone and the settings tool never load Qt.
#include <iostream>
#include <string>
#include <vector>

#include "app/dial_arguments.h"
#include "app/program_objects.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"
#include "ui/gui_phone.h"

int main(int argc, char** argv) {
  const corvina::app::DialArguments dialling =
      corvina::app::ParseDialArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (!dialling.error.empty() || !dialling.rest.empty()) {
    std::cerr << "error: " << (dialling.error.empty() ? "unknown argument \"" + dialling.rest[0] + "\"" : dialling.error)
              << "\nusage: corvina-window [--dial TEXT] [--line 1|2] [sip:...|tel:...]\n";
    return 2;
  }
  // Before any thread exists, so that every thread inherits the blocked signals.
  corvina::platform::TerminationSignals signals;
  signals.Open();
  corvina::app::ProgramObjects program(corvina::platform::ResolvePhonePaths());
  return corvina::ui::RunGuiPhone(argc, argv, program, signals, dialling.request);
}
