#include "platform/writer_first_lock.h"

#include <cstdlib>

namespace corvina::platform {

WriterFirstLock::WriterFirstLock() {
  pthread_rwlockattr_t attr;
  pthread_rwlockattr_init(&attr);
  pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
  // Initialising a process-private lock with valid attributes does not fail on Linux.
  if (pthread_rwlock_init(&lock_, &attr) != 0) std::abort();
  pthread_rwlockattr_destroy(&attr);
}

WriterFirstLock::~WriterFirstLock() { pthread_rwlock_destroy(&lock_); }

void WriterFirstLock::lock() { pthread_rwlock_wrlock(&lock_); }
bool WriterFirstLock::try_lock() { return pthread_rwlock_trywrlock(&lock_) == 0; }
void WriterFirstLock::unlock() { pthread_rwlock_unlock(&lock_); }
void WriterFirstLock::lock_shared() { pthread_rwlock_rdlock(&lock_); }
bool WriterFirstLock::try_lock_shared() { return pthread_rwlock_tryrdlock(&lock_) == 0; }
void WriterFirstLock::unlock_shared() { pthread_rwlock_unlock(&lock_); }

}  // namespace corvina::platform
