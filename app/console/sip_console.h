// What the console protocol says about SIP: the engine and the lines' registrations in the
// status answer, the "registration" and "address" events, and the rebind verb.
#pragma once

#include <string>
#include <vector>

#include "app/console/command_processor.h"
#include "app/console/console_event.h"
#include "app/console/console_verb_context.h"
#include "app/controller/main_view.h"
#include "sip/sip_engine.h"

namespace corvina::app {

// {"running":..,"ready":..,"port":..,"privateAddress":..,"publicAddress":..,"publicPort":..}
std::string EngineJson(sip::SipEngine& engine);
// [{"line":N,"aor":..,"server":..,"registers":..,"registered":..,"nextAttemptSeconds":..,
//   "state":"registering|registered|noPassword|refused|noAnswer|rejected|peerToPeer",
//   "status":..,"reason":..,"text":"Line N: ... (as the display shows it)"},...]
std::string RegistrationsJson(const std::vector<LineRegistrationState>& states);

// event {"event":"registration","line":N,...} with the fields of one list entry.
ConsoleEvent RegistrationEvent(const LineRegistrationState& state);
// event {"event":"address","publicAddress":..,"publicPort":..,"privateAddress":..,"port":..}
ConsoleEvent AddressEvent(const sip::OwnAddresses& addresses);

// rebind: the engine closes and binds its socket again.
void RegisterSipVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context);

}  // namespace corvina::app
