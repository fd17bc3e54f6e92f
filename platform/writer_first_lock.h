// A reader-writer lock that lets a waiting writer in before new readers, so that a steady
// stream of readers (senders on a socket) cannot keep the writer (its owner closing it) out.
// Meets the SharedMutex requirements: use it with std::shared_lock and std::unique_lock.
#pragma once

#include <pthread.h>

namespace corvina::platform {

class WriterFirstLock {
 public:
  WriterFirstLock();
  ~WriterFirstLock();
  WriterFirstLock(const WriterFirstLock&) = delete;
  WriterFirstLock& operator=(const WriterFirstLock&) = delete;

  void lock();
  bool try_lock();
  void unlock();
  void lock_shared();
  bool try_lock_shared();
  void unlock_shared();

 private:
  pthread_rwlock_t lock_;
};

}  // namespace corvina::platform
