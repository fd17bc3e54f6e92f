// Where one phone keeps its files. With CORVINA_HOME set, everything lives below it:
//   $CORVINA_HOME/registry.db, $CORVINA_HOME/Documents/, $CORVINA_HOME/run/
// Otherwise the store is in the user's configuration folder, the documents folder is the
// user's XDG documents folder (falling back to ~/Documents), and the runtime folder is the
// user's XDG runtime folder.
#pragma once

#include <string>

namespace corvina::platform {

struct PhonePaths {
  std::string registryFile;     // the settings store
  std::string documentsFolder;  // the user's documents folder
  std::string runtimeFolder;    // start-up lock and the running instance's socket
  // The phone's data folder: "Corvina" in the documents folder.
  std::string DataFolder() const;
};

// Reads the environment (CORVINA_HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR, HOME and the XDG
// user-dirs file) once.
PhonePaths ResolvePhonePaths();

// Creates a folder and its parents; an existing folder is no error.
bool EnsureFolder(const std::string& path);

// True when a file can be made in `folder`: creates a uniquely named file there exclusively
// and deletes that file again (no other file of the folder is touched).
bool CanCreateFileIn(const std::string& folder);

}  // namespace corvina::platform
