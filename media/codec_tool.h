// corvina-codec, the transcoder between WAV files and raw RTP payloads (the payload bytes of
// consecutive packets back to back, exactly as they go on the wire):
//   corvina-codec encode pcmu|pcma|g726-32|gsm IN.wav OUT.raw
//   corvina-codec decode pcmu|pcma|g726-32|gsm IN.raw OUT.wav
#pragma once

#include <cstdio>
#include <span>
#include <string_view>

namespace corvina::media {

// Runs one command; messages go to `err`. Returns the exit status: 0 done, 1 a file could
// not be read or written, 2 wrong usage.
int RunCodecTool(std::span<const std::string_view> args, std::FILE* err);

}  // namespace corvina::media
