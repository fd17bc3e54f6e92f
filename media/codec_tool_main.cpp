// Entry point of corvina-codec (see codec_tool.h).
#include <cstdio>
#include <string_view>
#include <vector>

#include "media/codec_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  return corvina::media::RunCodecTool(args, stderr);
}
