#include "platform/scratch_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace corvina::platform {

std::optional<ScratchFile> ScratchFile::Create() {
  const char* dir = getenv("TMPDIR");
  std::string pattern = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/tmpXXXXXX";
  ScratchFile file;
  file.write_.Reset(mkostemp(pattern.data(), O_CLOEXEC));
  if (!file.write_) return std::nullopt;
  file.read_.Reset(open(pattern.c_str(), O_RDONLY | O_CLOEXEC));
  unlink(pattern.c_str());
  if (!file.read_) return std::nullopt;
  return file;
}

bool ScratchFile::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = pwrite(write_.Get(), p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n, offset += static_cast<std::uint64_t>(n), size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ScratchFile::ReadAt(std::uint64_t offset, void* data, std::size_t size) {
  char* p = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = pread(read_.Get(), p, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n, offset += static_cast<std::uint64_t>(n), size -= static_cast<std::size_t>(n);
  }
  return true;
}

void ScratchFile::Clear() {
  while (ftruncate(write_.Get(), 0) != 0 && errno == EINTR) {
  }
}

}  // namespace corvina::platform
