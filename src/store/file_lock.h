// FileLock: keeps calls on one configuration file apart, across threads and
// processes. doc/locking.md describes the protocol; in short, two lock bytes
// far past any data the file can hold:
//
//   pending byte  a writer takes it exclusively first, so that no new reader
//                 gets in while it waits for the readers already in;
//   shared byte   readers hold it shared, a writer exclusively.
//
// Waiting is bounded: the non-blocking lock is retried with a growing pause
// until the busy timeout, then the call gives up with Busy.
#ifndef BRELLOX_STORE_FILE_LOCK_H_
#define BRELLOX_STORE_FILE_LOCK_H_

#include <cstdint>

#include "platform/env.h"

namespace brellox {

// How long a call waits for the lock before it fails.
constexpr std::uint64_t kBusyTimeoutMicros = 5 * 1000 * 1000;

// Past the 2 GiB that the format's 32-bit offsets can address, and below the
// limits of every lock call.
constexpr std::uint64_t kPendingByte = std::uint64_t{1} << 40;
constexpr std::uint64_t kSharedByte = kPendingByte + 1;

class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Releases what is held, if the file is still open.
  ~FileLock() { Release(); }

  // Takes the lock on `file` (which must outlive this object or the release)
  // in `mode`, waiting at most `timeout_micros`. Busy when it could not be
  // had in time; nothing is held then.
  Status Acquire(Env* env, RandomRWFile* file, LockMode mode,
                 std::uint64_t timeout_micros = kBusyTimeoutMicros);

  // Gives up everything held. Closing the file does the same.
  void Release();

  // Forgets the lock without a system call: for a file about to be closed,
  // which drops its locks anyway.
  void Abandon() { file_ = nullptr; }

 private:
  Status TryOnce(LockMode mode);

  RandomRWFile* file_ = nullptr;
  LockMode mode_ = LockMode::kShared;
  bool holds_pending_ = false;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_LOCK_H_
