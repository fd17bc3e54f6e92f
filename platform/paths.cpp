#include "platform/paths.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/product.h"

namespace corvina::platform {
namespace {

constexpr const char* kRegistryFile = "/registry.db";
constexpr const char* kRuntimeFolder = "/run";
constexpr const char* kDocumentsFolder = "/Documents";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? std::string() : std::string(v);
}

std::string UserHome() {
  std::string home = Env("HOME");
  if (!home.empty()) return home;
  if (const passwd* pw = getpwuid(getuid()); pw != nullptr && pw->pw_dir != nullptr) return pw->pw_dir;
  return "/tmp";
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs, a shell fragment such as
//   XDG_DOCUMENTS_DIR="$HOME/Documents"
std::string XdgDocumentsFolder(const std::string& configHome, const std::string& home) {
  std::ifstream in(configHome + "/user-dirs.dirs");
  std::string line;
  const std::string key = "XDG_DOCUMENTS_DIR=";
  while (std::getline(in, line)) {
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (value.compare(0, 5, "$HOME") == 0) value = home + value.substr(5);
    if (!value.empty() && value.front() == '/' && value != home && value != home + "/") return value;
  }
  return home + kDocumentsFolder;
}

}  // namespace

std::string PhonePaths::DataFolder() const { return documentsFolder + "/" + std::string(kDataFolderName); }

PhonePaths ResolvePhonePaths() {
  PhonePaths paths;
  std::string phoneHome = Env("CORVINA_HOME");
  if (!phoneHome.empty()) {
    paths.registryFile = phoneHome + kRegistryFile;
    paths.documentsFolder = phoneHome + kDocumentsFolder;
    paths.runtimeFolder = phoneHome + kRuntimeFolder;
    return paths;
  }
  std::string home = UserHome();
  std::string configHome = Env("XDG_CONFIG_HOME");
  if (configHome.empty()) configHome = home + "/.config";
  const std::string ownFolder = "/" + std::string(kConfigFolderName);
  paths.registryFile = configHome + ownFolder + kRegistryFile;
  paths.documentsFolder = XdgDocumentsFolder(configHome, home);
  std::string runtime = Env("XDG_RUNTIME_DIR");
  paths.runtimeFolder = runtime.empty() ? configHome + ownFolder + kRuntimeFolder : runtime + ownFolder;
  return paths;
}

bool EnsureFolder(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

bool CanCreateFileIn(const std::string& folder) {
  if (folder.empty()) return false;
  std::string name = folder + (folder.back() == '/' ? "" : "/") + "__wtXXXXXX";
  const int fd = mkstemp(name.data());  // O_CREAT | O_EXCL: never an existing file
  if (fd < 0) return false;
  close(fd);
  unlink(name.c_str());
  return true;
}

}  // namespace corvina::platform
