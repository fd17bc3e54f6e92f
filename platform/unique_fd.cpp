#include "platform/unique_fd.h"

#include <unistd.h>

namespace corvina::platform {

void UniqueFd::Reset(int fd) noexcept {
  if (fd_ >= 0 && fd_ != fd) {
    // Linux releases the descriptor even when close() reports EINTR: never retry.
    ::close(fd_);
  }
  fd_ = fd;
}

}  // namespace corvina::platform
