#include "sip/replaces.h"

#include "platform/text.h"
#include "sip/name_addr.h"
#include "sip/param_list.h"
#include "sip/text_scan.h"

namespace corvina::sip {

namespace {

ReplacesValue ParseParts(std::string_view rest) {
  ReplacesValue out;
  const std::size_t idEnd = rest.find_first_of(" ;");
  out.callId = std::string(rest.substr(0, idEnd));
  rest = idEnd == std::string_view::npos ? std::string_view{} : rest.substr(idEnd);
  while (!rest.empty()) {
    const std::size_t semi = rest.find(';');
    if (semi == std::string_view::npos) break;
    rest.remove_prefix(semi + 1);
    const std::string_view param = TrimWhite(rest.substr(0, rest.find(';')));
    const std::size_t eq = param.find('=');
    const std::string_view name = TrimWhite(param.substr(0, eq));
    const std::string_view text = eq == std::string_view::npos ? std::string_view{} : TrimWhite(param.substr(eq + 1));
    if (platform::EqualsIgnoreCase(name, "to-tag")) {
      out.toTag = std::string(text);
      out.hasToTag = true;
    } else if (platform::EqualsIgnoreCase(name, "from-tag")) {
      out.fromTag = std::string(text);
      out.hasFromTag = true;
    }
  }
  return out;
}

bool Names(const ReplacesValue& value, const Dialog& dialog) {
  return value.hasToTag && value.hasFromTag && value.callId == dialog.callId && value.toTag == dialog.localTag &&
         value.fromTag == ParseNameAddr(dialog.remoteParty).params.Find("tag");
}

}  // namespace

ReplacesValue ParseReplaces(std::string_view value) {
  // Decoded once as a whole: an escaped value hides its ';' and '=' too, and the parts are
  // not decoded again.
  return ParseParts(PercentDecode(TrimWhite(value)));
}

bool ReplacesNames(std::string_view replaces, const Dialog& dialog) {
  // Our own Call-IDs contain "%20": a plain value names them as they are, which decoding would
  // spoil, so the value is tried as given before decoded.
  return Names(ParseParts(TrimWhite(replaces)), dialog) || Names(ParseReplaces(replaces), dialog);
}

}  // namespace corvina::sip
