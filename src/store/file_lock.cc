#include "src/store/file_lock.h"

#include <atomic>
#include <cstdint>

namespace brellox {
namespace {

// The first retries come quickly, since most holds last microseconds. The
// pause then grows, but only to kLongestLockPauseMicros: a longer one could
// sleep through the gap between two writers and wait for the next as well.
constexpr std::uint64_t kFirstPauseMicros = 20;

std::atomic<std::uint64_t> g_process_timeout{kBusyTimeoutMicros};

struct ThreadDeadline {
  std::int64_t timeout = -1;  // the thread's own, or -1
  int calls = 0;              // CallDeadlines alive
  bool started = false;       // the calls' deadline is set
  std::uint64_t deadline = 0;
};
thread_local ThreadDeadline t_deadline;

// The deadline of a lock taken now: the call's, fixed by its first lock.
std::uint64_t DeadlineFrom(std::uint64_t now) {
  ThreadDeadline& thread = t_deadline;
  if (thread.calls > 0 && thread.started) return thread.deadline;
  const std::uint64_t timeout = BusyTimeoutMicros();
  const std::uint64_t deadline =
      timeout > UINT64_MAX - now ? UINT64_MAX : now + timeout;
  if (thread.calls > 0) {
    thread.started = true;
    thread.deadline = deadline;
  }
  return deadline;
}

}  // namespace

void SetProcessBusyTimeout(std::uint64_t micros) {
  g_process_timeout.store(micros, std::memory_order_relaxed);
}

void SetThreadBusyTimeout(std::int64_t micros) {
  t_deadline.timeout = micros < 0 ? -1 : micros;
}

std::uint64_t BusyTimeoutMicros() {
  const std::int64_t own = t_deadline.timeout;
  return own >= 0 ? static_cast<std::uint64_t>(own)
                  : g_process_timeout.load(std::memory_order_relaxed);
}

CallDeadline::CallDeadline() { ++t_deadline.calls; }

CallDeadline::~CallDeadline() {
  if (--t_deadline.calls == 0) t_deadline.started = false;
}

RetryPacer::RetryPacer(Env* env)
    : env_(env),
      deadline_(DeadlineFrom(env->NowMicros())),
      pause_(kFirstPauseMicros) {}

bool RetryPacer::Expired() const { return env_->NowMicros() >= deadline_; }

bool RetryPacer::Wait() {
  const std::uint64_t now = env_->NowMicros();
  if (now >= deadline_) return false;
  // The last pause ends at the deadline, for one more try there.
  env_->SleepForMicroseconds(
      static_cast<int>(pause_ < deadline_ - now ? pause_ : deadline_ - now));
  pause_ = pause_ * 2 < kLongestLockPauseMicros ? pause_ * 2
                                                : kLongestLockPauseMicros;
  return true;
}

Status FileLock::Acquire(Env* env, RandomRWFile* file, LockMode mode) {
  Release();
  file_ = file;
  mode_ = mode;
  RetryPacer pacer(env);
  for (;;) {
    Status s = TryOnce(mode);
    if (s.ok()) {
      if (holds_waiting_) file_->Unlock(kWaitingByte, 1);
      holds_waiting_ = false;
      return s;
    }
    if (!s.IsBusy() || pacer.Expired()) {
      Release();
      if (s.IsBusy()) {
        return Status::Busy(
            "the configuration file stayed locked by another "
            "call for the whole busy timeout");
      }
      return s;
    }
    if (mode == LockMode::kShared) MarkWaiting();
    pacer.Wait();
  }
}

void FileLock::MarkWaiting() {
  // A writer tests the byte for a moment (TryOnce); missing it then only
  // means trying again after the pause.
  if (!holds_waiting_) {
    holds_waiting_ = file_->TryLock(kWaitingByte, 1, LockMode::kShared).ok();
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
  // leave, across retries. Before it takes it, readers that a writer kept
  // out go first: they hold the waiting byte until they are in, which the
  // writer now in the file lets them be as it leaves. So a reader waits for
  // at most the writer inside and one that took the pending byte before the
  // reader marked itself, however many writers follow.
  if (!holds_pending_) {
    Status s = file_->TryLock(kWaitingByte, 1, LockMode::kExclusive);
    if (!s.ok()) return s;
    file_->Unlock(kWaitingByte, 1);
    s = file_->TryLock(kPendingByte, 1, LockMode::kExclusive);
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
  if (holds_waiting_) file_->Unlock(kWaitingByte, 1);
  holds_pending_ = holds_waiting_ = false;
  file_ = nullptr;
}

}  // namespace brellox
