// The phone with its Qt window. Kept free of Qt so the program's entry point need not see it.
#pragma once

#include <optional>

#include "app/program_objects.h"
#include "platform/instance_channel.h"
#include "platform/termination_signals.h"

namespace corvina::ui {

// Runs the phone in a Qt main window titled "Corvina"; returns the exit code. `termination` (opened
// before any thread started) closes the window on SIGINT and SIGTERM. `dial` goes to the running
// phone, or to this one once its window is up.
int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program, platform::TerminationSignals& termination,
                const std::optional<platform::DialRequest>& dial = std::nullopt);

}  // namespace corvina::ui
