// The program's name, maker and version, written once for every text built from them: the
// window title, the user agent, the settings root, file and folder names. The macros exist so
// that fixed templates can be joined at compile time ("User-Agent: Tessaly " CORVINA_NAME ...).
#pragma once

#include <string_view>

#define CORVINA_MAKER "Tessaly"
#define CORVINA_NAME "Corvina"
#define CORVINA_VERSION "4.01"

namespace corvina::platform {

inline constexpr std::string_view kProductName = CORVINA_NAME;
inline constexpr std::string_view kProductVersion = CORVINA_VERSION;
// The phone's folder in the user's documents folder.
inline constexpr std::string_view kDataFolderName = CORVINA_NAME;
// The phone's folder among the user's configuration and runtime folders.
inline constexpr std::string_view kConfigFolderName = "corvina";

}  // namespace corvina::platform
