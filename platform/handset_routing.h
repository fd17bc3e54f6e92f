// Handset audio routing: on a phone, whether call audio goes to the earpiece. This platform
// has no radio interface to ask, so routing is skipped exactly as on a device without one:
// nothing changes and the caller goes on at once.
#pragma once

namespace corvina::platform {

// Routes call audio to the handset (true) or to no particular device (false). Returns whether
// the platform did route; false here, always.
inline bool RouteCallAudio(bool toHandset) {
  (void)toHandset;
  return false;
}

}  // namespace corvina::platform
