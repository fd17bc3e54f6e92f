#include "sip/message_body.h"

#include "sip/wire_format.h"
#include "sip/wire_texts.h"

namespace corvina::sip {

void AppendBody(std::string& out, std::string_view type, std::string_view body) {
  if (type.empty() || body.empty()) {
    out += wire::kNoBody;
    return;
  }
  AppendWire(out, wire::kBody, {type, body.size(), body});
}

}  // namespace corvina::sip
