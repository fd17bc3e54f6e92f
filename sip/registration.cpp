#include "sip/registration.h"

#include <algorithm>

#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

RegistrationKey LineRegistrationKey(std::string_view user, std::string_view domain, std::string_view outboundServer,
                                    std::string_view authorizationUser, std::string_view password) {
  RegistrationKey key;
  key.domain = domain;
  key.server = outboundServer.empty() ? domain : outboundServer;
  key.addressOfRecord = FormatWire(wire::kAddressOfRecord, {user, domain});
  key.contactUser = user;
  key.authorizationUser = authorizationUser.empty() ? user : authorizationUser;
  key.password = password;
  return key;
}

std::string ComposeRegister(RegistrationRecord& record, const OwnAddresses& own, std::string_view branch,
                            int expires) {
  ++record.cseq;
  record.lastExpires = expires;
  const RegistrationKey& k = record.key;
  std::string out;
  out.reserve(600 + record.authorization.size());
  AppendWire(out, wire::kRegisterHead,
             {k.domain, own.publicAddress, own.publicPort, branch, k.addressOfRecord, k.addressOfRecord,
              record.fromTag, record.callId, record.cseq, k.contactUser, own.publicAddress, own.publicPort, expires,
              std::clamp(record.q, 0, 99)});
  if (!record.authorization.empty()) {
    AppendWire(out, record.authorizationIsWww ? wire::kAuthorizationHeader : wire::kProxyAuthorizationHeader,
               {record.authorization});
  }
  out += wire::kRegisterTail;
  return out;
}

}  // namespace corvina::sip
