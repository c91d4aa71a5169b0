// ForkSafeMutex: a mutex that a child of fork always finds unlocked, with
// whatever it guards whole. A child of a process whose other threads were
// inside the library keeps none of those threads; a plain mutex one of them
// held would stay locked in the child for good.
#ifndef BRELLOX_PLATFORM_FORK_SAFE_MUTEX_H_
#define BRELLOX_PLATFORM_FORK_SAFE_MUTEX_H_

#include <mutex>

namespace brellox {

// On POSIX, fork waits until no other thread holds any ForkSafeMutex (each
// is taken, in the order they were made, before the process is copied, and
// released again in both processes after). In the child, `in_child`, when
// given, runs with the mutex held before it is released: there an owner
// drops what the parent's threads had under way (descriptors, caches that
// the parent's change signals vouch for). `in_child` may only make system
// calls and free memory. Nothing happens on Windows, which has no fork.
//
// Never hold a ForkSafeMutex while taking another: fork would wait for one
// thread while that thread waits for fork. Derived from
// std::mutex, so std::lock_guard<std::mutex> takes it as it is.
class ForkSafeMutex : public std::mutex {
 public:
  using InChild = void (*)(void* owner);
  ForkSafeMutex() : ForkSafeMutex(nullptr, nullptr) {}
  ForkSafeMutex(InChild in_child, void* owner);
  ~ForkSafeMutex();
  ForkSafeMutex(const ForkSafeMutex&) = delete;
  ForkSafeMutex& operator=(const ForkSafeMutex&) = delete;

  // For the fork handlers only.
  void RunInChild() {
    if (in_child_ != nullptr) in_child_(owner_);
  }

 private:
  friend struct ForkSafeMutexes;

  const InChild in_child_;
  void* const owner_;
  // The mutexes alive, in the order they were made, linked through
  // themselves: the list holds no heap block that an unloaded copy of the
  // library could leave behind.
  ForkSafeMutex* previous_ = nullptr;
  ForkSafeMutex* next_ = nullptr;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_FORK_SAFE_MUTEX_H_
