#include "src/store/file_lock.h"

namespace brellox {
namespace {

// The first retries come quickly, since most holds last microseconds; the
// pause then doubles so that a long hold costs few wake-ups.
constexpr int kFirstPauseMicros = 20;
constexpr int kLongestPauseMicros = 5000;

}  // namespace

Status FileLock::Acquire(Env* env, RandomRWFile* file, LockMode mode,
                         std::uint64_t timeout_micros) {
  Release();
  file_ = file;
  mode_ = mode;
  const std::uint64_t deadline = env->NowMicros() + timeout_micros;
  int pause = kFirstPauseMicros;
  for (;;) {
    Status s = TryOnce(mode);
    if (s.ok()) return s;
    if (!s.IsBusy() || env->NowMicros() >= deadline) {
      Release();
      if (s.IsBusy()) {
        return Status::Busy(
            "the configuration file stayed locked by another "
            "call for the whole busy timeout");
      }
      return s;
    }
    env->SleepForMicroseconds(pause);
    if (pause < kLongestPauseMicros) pause *= 2;
  }
}

Status FileLock::TryOnce(LockMode mode) {
  if (mode == LockMode::kShared) {
    // A reader passes through the pending byte and does not keep it: a
    // writer holding it exclusively keeps new readers out.
    static_assert(kSharedByte == kPendingByte + 1, "the bytes are adjacent");
    return file_->TryLockSharedPastGate(kPendingByte);
  }
  // A writer keeps the pending byte while it waits for the readers to
  // leave, across retries.
  if (!holds_pending_) {
    Status s = file_->TryLock(kPendingByte, 1, LockMode::kExclusive);
    if (!s.ok()) return s;
    holds_pending_ = true;
  }
  return file_->TryLock(kSharedByte, 1, LockMode::kExclusive);
}

void FileLock::Release() {
  if (file_ == nullptr) return;
  // Unlocking a byte not held is harmless, so no bookkeeping of the shared
  // byte is needed.
  file_->Unlock(kSharedByte, 1);
  if (holds_pending_) file_->Unlock(kPendingByte, 1);
  holds_pending_ = false;
  file_ = nullptr;
}

}  // namespace brellox
