#include "platform/append_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace corvina::platform {

bool AppendRecord(const std::string& path, std::string_view bytes) {
  UniqueFd file(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!file) return false;
  const int fd = file.Get();
  ssize_t n;
  do {
    n = write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  const bool ok = n >= 0 && static_cast<std::size_t>(n) == bytes.size();
  if (!ok && n > 0) {
    // The part just written ends the file unless another writer has appended since.
    struct stat after {};
    if (fstat(fd, &after) == 0 && after.st_size >= n) {
      [[maybe_unused]] int r = ftruncate(fd, after.st_size - n);
    }
  }
  return ok;
}

}  // namespace corvina::platform
