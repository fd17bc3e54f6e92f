// Which setup wizard: the first-run wizard (sound and the SIP account) or the audio setup
// wizard (sound only).
#pragma once

namespace corvina::app {

enum class WizardKind { kFirstRun, kAudio };

}  // namespace corvina::app
