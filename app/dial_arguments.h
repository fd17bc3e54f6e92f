// The program's dialling arguments: `--dial TEXT [--line 1|2]`, or a "sip:" or "tel:" link (as
// the desktop passes it to the registered handler). A "sips:" link is refused: the phone has no
// TLS. The request is handed to the running phone, or to the one this start brings up.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/instance_channel.h"

namespace corvina::app {

struct DialArguments {
  std::optional<platform::DialRequest> request;  // none when no dialling argument was given
  std::vector<std::string> rest;                 // the arguments that are not about dialling
  std::string error;                             // why the arguments were refused; empty when fine
};

DialArguments ParseDialArguments(const std::vector<std::string>& args);

}  // namespace corvina::app
