// The console verbs of the phone's user actions: one verb per button, key or menu command,
// each going into the same controller entry as the window's control.
#pragma once

#include <functional>
#include <string>

#include "app/console/command_processor.h"
#include "app/controller/phone_controller.h"

namespace corvina::app {

// `phone` gives the controller, or null before the phone has started.
void RegisterPhoneVerbs(CommandProcessor& verbs, std::function<PhoneController*()> phone);

// The controller's state as one JSON object: lines, flags, display, images, menus, DND, missed.
std::string PhoneStateJson(PhoneController& phone);

// The console's name of a call state ("Idle", "IncomingRinging", "Connected", ...).
const char* CallStateName(call::CallState state);

inline constexpr const char* kNotBuiltYet = "not built yet";

}  // namespace corvina::app
