// One registration with a registrar, and the REGISTER request that refreshes it. Records are
// kept and scheduled by RegistrationList; this file holds their data and the request text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "sip/sip_endpoint.h"

namespace corvina::sip {

// The six strings that identify a record, compared exactly.
struct RegistrationKey {
  std::string domain;             // SIP domain; also the host of the request URI
  std::string server;             // where REGISTER goes: outbound server, or the domain when empty
  std::string addressOfRecord;    // "sip:user@domain"
  std::string contactUser;        // put into Contact
  std::string authorizationUser;  // digest user name
  std::string password;           // digest password; never logged, traced or reported

  friend bool operator==(const RegistrationKey&, const RegistrationKey&) = default;
  // An address-of-record that is empty or ends in "@" (a line without a domain) never registers.
  bool Registers() const { return !addressOfRecord.empty() && addressOfRecord.back() != '@'; }
};

// The key a line of the phone registers with: domain = its proxy, server = the outbound server
// when one is used, the authorization user when one is given, else the user name.
RegistrationKey LineRegistrationKey(std::string_view user, std::string_view domain, std::string_view outboundServer,
                                    std::string_view authorizationUser, std::string_view password);

// How a record's registration stands, as the user is shown it.
enum class RegistrationPhase {
  kRegistering,  // no answer yet to the first attempt
  kRegistered,
  kNoPassword,   // challenged, and the line has no password
  kRefused,      // the credentials were refused
  kNoAnswer,     // the server did not answer within the give-up time
  kRejected,     // another final failure (status and reason kept)
  kPeerToPeer,   // a line without a domain: nothing to register
};

struct RegistrationRecord {
  RegistrationKey key;
  std::uint32_t lastSend = 0;     // last REGISTER or keep-alive sent, or last provisional answer
  std::uint32_t nextAttempt = 0;  // when the next REGISTER falls due
  bool keepAlive = false;         // the registrar gets NAT keep-alives
  std::string authorization;      // the last computed credentials, empty at first
  bool authorizationIsWww = true; // true: "Authorization", false: "Proxy-Authorization"
  bool credentialsTried = false;  // a REGISTER with credentials went out since the attempt began
  std::string fromTag;
  std::string callId;
  std::uint32_t cseq = 1;         // incremented before each REGISTER
  int q = 90;                     // hundredths, 0..99
  int references = 1;             // lines sharing this record
  bool attempted = false;
  bool registered = false;
  int lastExpires = 3600;         // expires of the last REGISTER, so a challenge repeats it
  bool leaving = false;           // removed: only its unregistration is still being completed
  RegistrationPhase phase = RegistrationPhase::kRegistering;
  int failStatus = 0;             // the refusing or rejecting answer's status and reason
  std::string failReason;
  bool answered = false;          // the registrar has answered since the record was made
  std::uint32_t lastAnswer = 0;   // when it last answered
};

// Increments the record's CSeq and writes its REGISTER (CR LF line ends). Via and Contact carry
// the public address and port.
std::string ComposeRegister(RegistrationRecord& record, const OwnAddresses& own, std::string_view branch,
                            int expires);

}  // namespace corvina::sip
