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
// grows to at most kLongestLockPauseMicros, until the call's deadline, then
// the call gives up with Busy.
#ifndef BRELLOX_STORE_FILE_LOCK_H_
#define BRELLOX_STORE_FILE_LOCK_H_

#include <cstdint>

#include "platform/env.h"

namespace brellox {

// The busy timeout: how long one call waits in all for a busy file, across
// every lock it takes. The process's (at first kBusyTimeoutMicros) applies
// on every thread that has not set its own. 0 means every lock is tried
// once. Thread-safe.
constexpr std::uint64_t kBusyTimeoutMicros = 5 * 1000 * 1000;
void SetProcessBusyTimeout(std::uint64_t micros);
// The calling thread's own timeout; `micros` < 0 follows the process's
// again.
void SetThreadBusyTimeout(std::int64_t micros);
// The timeout in force on the calling thread.
std::uint64_t BusyTimeoutMicros();

// While one lives on a thread, the locks the thread takes share one
// deadline: the busy timeout counted from the first of them. An inner one
// joins the outermost's deadline, so that a call running several sessions
// waits no longer in all than one.
class CallDeadline {
 public:
  CallDeadline();
  ~CallDeadline();
  CallDeadline(const CallDeadline&) = delete;
  CallDeadline& operator=(const CallDeadline&) = delete;
};

// Paces the retries of a step that another call may be in the middle of:
// Wait pauses as between two tries of a lock (the pause growing to
// kLongestLockPauseMicros), the last pause ending at the call's deadline,
// and returns false, without pausing, once that deadline has passed.
class RetryPacer {
 public:
  explicit RetryPacer(Env* env);
  bool Wait();
  bool Expired() const;

 private:
  Env* const env_;
  const std::uint64_t deadline_;
  std::uint64_t pause_;
};

// Past the 2 GiB that the format's 32-bit offsets can address, and below the
// limits of every lock call.
constexpr std::uint64_t kPendingByte = std::uint64_t{1} << 40;
constexpr std::uint64_t kSharedByte = kPendingByte + 1;
constexpr std::uint64_t kWaitingByte = kPendingByte + 2;

// The longest pause between two tries of the lock: a waiter never sleeps
// through more than this much of a free gap between two holders.
constexpr std::uint64_t kLongestLockPauseMicros = 100;

class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  // Releases what is held, if the file is still open.
  ~FileLock() { Release(); }

  // Takes the lock on `file` (which must outlive this object or the release)
  // in `mode`, waiting until the call's deadline (CallDeadline; without one,
  // the busy timeout from now). Busy when it could not be had in time;
  // nothing is held then.
  Status Acquire(Env* env, RandomRWFile* file, LockMode mode);

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
