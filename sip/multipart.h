// multipart/mixed bodies: the boundary parameter and the split into typed parts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sip/sip_message.h"

namespace corvina::sip {

// The value of the `boundary` parameter (name compared ignoring case) in the parameter text
// that follows the media type, surrounding double quotes removed; empty when there is none.
std::string FindMultipartBoundary(std::string_view params);

// Appends every part of `content` that names a Content-Type (or "c") to `out`; parts without
// a type are dropped. The scan ends at the closing delimiter or at the end of the content.
void SplitMultipart(std::string_view content, std::string_view boundary, std::vector<SipBodyPart>& out);

}  // namespace corvina::sip
