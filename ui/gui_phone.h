// The phone with its Qt window. Kept free of Qt so the program's entry point need not see it.
#pragma once

#include "app/program_objects.h"
#include "platform/termination_signals.h"

namespace corvina::ui {

// Runs the phone in a Qt main window titled "Corvina"; returns the exit code. `termination` (opened
// before any thread started) closes the window on SIGINT and SIGTERM.
int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program, platform::TerminationSignals& termination);

}  // namespace corvina::ui
