#include "platform/product_info.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/portaudio_library.h"
#include "platform/product.h"
#include "platform/program_exec.h"

#ifndef CORVINA_BUILD
#define CORVINA_BUILD "unknown"
#endif
#ifndef CORVINA_DOC_FROM_BIN
#define CORVINA_DOC_FROM_BIN "../share/doc/corvina"
#endif
#ifndef CORVINA_DOC_FROM_LIBEXEC
#define CORVINA_DOC_FROM_LIBEXEC "../../share/doc/corvina"
#endif

namespace corvina::platform {

std::string AboutText(std::string_view qtVersion) {
  std::string text;
  text.append(kProductName).append(" ").append(kProductVersion).append("\n");
  text.append("Build " CORVINA_BUILD "\n");
  text.append("A SIP softphone for Linux.\n\n");
  text.append("Libraries and their licences:\n");
  if (qtVersion.empty()) {
    text.append("  Qt: not part of this build\n");
  } else {
    text.append("  Qt ").append(qtVersion).append(": GNU Lesser General Public License version 3\n");
  }
  // The sound library is opened on first use; asking for its version opens it.
  if (const PortAudioLibrary* library = PortAudioLibrary::Get()) {
    const PaVersionInfo* pa = library->GetVersionInfo();
    text.append("  PortAudio ")
        .append(std::to_string(pa->versionMajor) + "." + std::to_string(pa->versionMinor) + "." +
                std::to_string(pa->versionSubMinor))
        .append(": MIT licence\n");
  } else {
    text.append("  PortAudio: MIT licence (not found on this system)\n");
  }
  text.append("  SQLite ").append(sqlite3_libversion()).append(": public domain\n");
  return text;
}

std::string ManualFile() {
  const std::string folder = RunningProgramFolder();
  if (folder.empty()) return {};
  // `corvina` lives in bin/ and the window in libexec/corvina/; both reach the same file.
  for (const char* docs : {CORVINA_DOC_FROM_BIN, CORVINA_DOC_FROM_LIBEXEC}) {
    const std::string path = folder + docs + "/manual.html";
    struct stat info{};
    if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      return std::filesystem::path(path).lexically_normal().string();
    }
  }
  return {};
}

}  // namespace corvina::platform
