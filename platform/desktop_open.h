// Hands a folder, file or web address to the desktop's handler ("xdg-open"), the stand-in for
// starting the file explorer or the browser. The handler runs detached: the caller never
// waits for it and no child is left unreaped.
#pragma once

#include <string>

namespace corvina::platform {

inline constexpr const char* kDesktopOpener = "xdg-open";

// False when the handler could not be started (the target is then not shown). An empty target
// or one beginning with "-" (which the handler would take for an option) is refused.
bool OpenWithDesktop(const std::string& target, const char* opener = kDesktopOpener);

}  // namespace corvina::platform
