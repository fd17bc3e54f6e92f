#include "app/console/sip_console.h"

#include "app/console/console_verb_context.h"
#include "app/console/json_writer.h"
#include "app/program_objects.h"

namespace corvina::app {
namespace {

const char* PhaseName(sip::RegistrationPhase phase) {
  switch (phase) {
    case sip::RegistrationPhase::kRegistering: return "registering";
    case sip::RegistrationPhase::kRegistered: return "registered";
    case sip::RegistrationPhase::kNoPassword: return "noPassword";
    case sip::RegistrationPhase::kRefused: return "refused";
    case sip::RegistrationPhase::kNoAnswer: return "noAnswer";
    case sip::RegistrationPhase::kRejected: return "rejected";
    case sip::RegistrationPhase::kPeerToPeer: break;
  }
  return "peerToPeer";
}

template <typename Object>
Object& AddRegistration(Object& o, const LineRegistrationState& s) {
  o.Add("aor", s.addressOfRecord)
      .Add("server", s.server)
      .Add("registers", s.registers)
      .Add("registered", s.registered)
      .Add("nextAttemptSeconds", s.secondsToNextAttempt)
      .Add("state", s.registers ? PhaseName(s.phase) : "peerToPeer")
      .Add("status", s.status)
      .Add("reason", s.reason)
      .Add("text", StatusDisplay::RegistrationRow(s).text);
  return o;
}

}  // namespace

std::string EngineJson(sip::SipEngine& engine) {
  sip::OwnAddresses own = engine.Endpoint().Addresses();
  return JsonObject()
      .Add("running", engine.IsRunning())
      .Add("ready", engine.Ready())
      .Add("port", static_cast<int>(own.localPort))
      .Add("privateAddress", own.privateAddress)
      .Add("publicAddress", own.publicAddress)
      .Add("publicPort", static_cast<int>(own.publicPort))
      .Str();
}

std::string RegistrationsJson(const std::vector<LineRegistrationState>& states) {
  std::string list = "[";
  for (const LineRegistrationState& s : states) {
    if (list.size() > 1) list += ',';
    JsonObject o;
    o.Add("line", s.line);
    list += AddRegistration(o, s).Str();
  }
  return list + "]";
}

ConsoleEvent RegistrationEvent(const LineRegistrationState& state) {
  ConsoleEvent event("registration");
  event.ForLine(state.line);
  return AddRegistration(event, state);
}

ConsoleEvent AddressEvent(const sip::OwnAddresses& addresses) {
  return std::move(ConsoleEvent("address")
                       .Add("publicAddress", std::string_view(addresses.publicAddress))
                       .Add("publicPort", static_cast<int>(addresses.publicPort))
                       .Add("privateAddress", std::string_view(addresses.privateAddress))
                       .Add("port", static_cast<int>(addresses.localPort)));
}

void RegisterSipVerbs(CommandProcessor& verbs, const ConsoleVerbContext& context) {
  verbs.Register("rebind", "closes and binds the SIP socket again", [context](const CommandArgs&) {
    context.program.sipEngine.RequestRebind();
    return CommandReply::Ok();
  });
}

}  // namespace corvina::app
