#include "media/codec_tool.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "media/voice_codec.h"
#include "media/wav_file.h"

namespace corvina::media {
namespace {

constexpr const char* kUsage =
    "usage: corvina-codec encode pcmu|pcma|g726-32|gsm IN.wav OUT.raw\n"
    "       corvina-codec decode pcmu|pcma|g726-32|gsm IN.raw OUT.wav\n"
    "IN.wav: PCM 8/16-bit, mono or stereo (mixed to mono), 8000 Hz; the last frame is padded with silence.\n"
    "raw: the RTP payload bytes back to back, as sent on the wire.\n";

class ToolError {
 public:
  explicit ToolError(std::FILE* err) : err_(err) {}
  int Fail(const std::string& path, std::string_view what) const {
    std::fprintf(err_, "corvina-codec: %s: %.*s\n", path.c_str(), static_cast<int>(what.size()), what.data());
    return 1;
  }

 private:
  std::FILE* err_;
};

int Encode(CodecId codec, const std::string& in, const std::string& out, const ToolError& error) {
  WavReader reader;
  const WavError opened = reader.Open(in);
  if (opened != WavError::kNone) return error.Fail(in, WavErrorText(opened));
  if (reader.Format().sampleRate != kSampleRate) {
    return error.Fail(in, "the sample rate must be 8000 Hz (convert it first, e.g. with sox -r 8000)");
  }
  std::FILE* file = std::fopen(out.c_str(), "wb");
  if (file == nullptr) return error.Fail(out, "cannot be created");
  FrameEncoder encoder(codec);
  std::array<std::int32_t, kFrameSamples> frame;
  std::array<std::uint8_t, kFrameSamples> bytes;
  bool ok = true;
  while (ok) {
    const std::size_t got = reader.ReadMono(frame);
    if (got == 0) break;
    std::fill(frame.begin() + static_cast<long>(got), frame.end(), 0);
    const std::size_t size = encoder.Encode(frame, bytes);
    ok = std::fwrite(bytes.data(), 1, size, file) == size;
  }
  ok = std::fclose(file) == 0 && ok;
  return ok ? 0 : error.Fail(out, "cannot be written");
}

int Decode(CodecId codec, const std::string& in, const std::string& out, const ToolError& error) {
  std::FILE* file = std::fopen(in.c_str(), "rb");
  if (file == nullptr) return error.Fail(in, "cannot be opened");
  WavWriter writer;
  const WavError created = writer.Create(out);
  if (created != WavError::kNone) {
    std::fclose(file);
    return error.Fail(out, WavErrorText(created));
  }
  // One frame's payload at a time; GSM consumes only whole frames.
  PayloadDecoder decoder(codec);
  const std::size_t chunk = FrameBytes(codec);
  std::array<std::uint8_t, kFrameSamples> bytes;
  std::array<std::int32_t, 2 * kFrameSamples> samples;
  bool ok = true;
  bool readFailed = false;
  std::size_t leftover = 0;
  while (ok) {
    const std::size_t got = std::fread(bytes.data(), 1, chunk, file);
    if (got == 0) {
      readFailed = std::ferror(file) != 0;
      break;
    }
    const std::size_t count = decoder.Decode(std::span<const std::uint8_t>(bytes.data(), got), samples);
    if (count == 0) leftover = got;
    ok = writer.Write(std::span<const std::int32_t>(samples.data(), count));
  }
  std::fclose(file);
  const WavError closed = writer.Close();
  if (readFailed) return error.Fail(in, "cannot be read");
  if (!ok || closed != WavError::kNone) return error.Fail(out, "cannot be written");
  if (leftover != 0) {
    return error.Fail(in, "ends with " + std::to_string(leftover) + " bytes that are not a whole " +
                              std::to_string(chunk) + "-byte frame (decoded the frames before them)");
  }
  return 0;
}

}  // namespace

int RunCodecTool(std::span<const std::string_view> args, std::FILE* err) {
  if (args.size() != 4 || (args[0] != "encode" && args[0] != "decode")) {
    std::fputs(kUsage, err);
    return 2;
  }
  const std::optional<CodecId> codec = CodecFromName(args[1]);
  if (!codec) {
    std::fprintf(err, "corvina-codec: unknown codec \"%.*s\"\n%s", static_cast<int>(args[1].size()), args[1].data(),
                 kUsage);
    return 2;
  }
  const ToolError error(err);
  const std::string in(args[2]);
  const std::string out(args[3]);
  return args[0] == "encode" ? Encode(*codec, in, out, error) : Decode(*codec, in, out, error);
}

}  // namespace corvina::media
