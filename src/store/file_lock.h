// FileLock: keeps calls on one configuration file apart, across threads and
// processes. doc/locking.md describes the protocol; in short, two lock bytes
// far past any data the file can hold:
//
//   pending byte  a writer takes it exclusively first, so that no new reader
//                 gets in while it waits for the readers already in;
//   shared byte   readers hold it shared, a writer exclusively;
//   waiting byte  a reader kept out by a writer holds it shared while it
//                 waits, and a writer that has not yet taken the pending
//                 byte lets such readers in first, so that a stream of
//                 writers cannot starve a reader either.
//
// Waiting is bounded: the non-blocking lock is retried, with a pause that
// grows to at most kLongestLockPauseMicros, until the busy timeout, then the
// call gives up with Busy.
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
constexpr std::uint64_t kWaitingByte = kPendingByte + 2;

// The longest pause between two tries of the lock: a waiter never sleeps
// through more than this much of a free gap between two holders.
constexpr int kLongestLockPauseMicros = 100;

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
  // For a reader kept out: marks it as waiting, if it is not yet.
  void MarkWaiting();

  RandomRWFile* file_ = nullptr;
  LockMode mode_ = LockMode::kShared;
  bool holds_pending_ = false;
  bool holds_waiting_ = false;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_LOCK_H_
