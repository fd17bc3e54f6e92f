// A nameless scratch file: made by mkstemp in $TMPDIR (else /tmp) with the prefix "tmp", opened
// a second time for reading and unlinked at once, so nothing can find it by name and it goes
// when both descriptors close. Reads and writes at explicit offsets (each descriptor its own).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/unique_fd.h"

namespace corvina::platform {

class ScratchFile {
 public:
  // Nothing when the file cannot be made.
  static std::optional<ScratchFile> Create();

  // Whole-or-nothing transfers at `offset`; false on an error or a short read.
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  bool ReadAt(std::uint64_t offset, void* data, std::size_t size);
  // Cuts the file to nothing (its space goes back to the system).
  void Clear();

 private:
  UniqueFd write_;
  UniqueFd read_;
};

}  // namespace corvina::platform
