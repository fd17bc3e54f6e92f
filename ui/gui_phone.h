// The phone with its Qt window. Kept free of Qt so the program's entry point need not see it.
#pragma once

#include "app/program_objects.h"

namespace corvina::ui {

// Runs the phone in a Qt main window titled "Corvina"; returns the exit code.
int RunGuiPhone(int argc, char** argv, app::ProgramObjects& program);

}  // namespace corvina::ui
