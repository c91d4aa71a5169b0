#include <pthread.h>

#include <new>

#include "platform/fork_safe_mutex.h"

namespace brellox {

// Every ForkSafeMutex alive, in the order they were made. Made in static
// storage and never destroyed, as Env::Default is: a fork during the static
// destructors still finds it.
struct ForkSafeMutexes {
  std::mutex mutex;  // held from fork's start until its end in each process
  ForkSafeMutex* first = nullptr;
  ForkSafeMutex* last = nullptr;

  static ForkSafeMutexes& OfProcess() {
    alignas(
        ForkSafeMutexes) static unsigned char storage[sizeof(ForkSafeMutexes)];
    static ForkSafeMutexes* const all = new (storage) ForkSafeMutexes;
    return *all;
  }

  void Add(ForkSafeMutex* m) {
    m->previous_ = last;
    (last != nullptr ? last->next_ : first) = m;
    last = m;
  }
  void Remove(ForkSafeMutex* m) {
    (m->previous_ != nullptr ? m->previous_->next_ : first) = m->next_;
    (m->next_ != nullptr ? m->next_->previous_ : last) = m->previous_;
  }

  static void BeforeFork() {
    ForkSafeMutexes& all = OfProcess();
    all.mutex.lock();
    for (ForkSafeMutex* m = all.first; m != nullptr; m = m->next_) m->lock();
  }
  static void AfterForkInParent() {
    ForkSafeMutexes& all = OfProcess();
    for (ForkSafeMutex* m = all.last; m != nullptr; m = m->previous_) {
      m->unlock();
    }
    all.mutex.unlock();
  }
  // The child is the forking thread alone, which holds every mutex: each
  // owner cleans up, then lets go.
  static void AfterForkInChild() {
    ForkSafeMutexes& all = OfProcess();
    for (ForkSafeMutex* m = all.first; m != nullptr; m = m->next_) {
      m->RunInChild();
    }
    AfterForkInParent();
  }
};

ForkSafeMutex::ForkSafeMutex(InChild in_child, void* owner)
    : in_child_(in_child), owner_(owner) {
  ForkSafeMutexes& all = ForkSafeMutexes::OfProcess();
  std::lock_guard<std::mutex> hold(all.mutex);
  // Once per copy of the library: glibc drops a shared object's handlers
  // when it is unloaded, so none outlives the code it runs.
  static const bool registered =
      pthread_atfork(ForkSafeMutexes::BeforeFork,
                     ForkSafeMutexes::AfterForkInParent,
                     ForkSafeMutexes::AfterForkInChild) == 0;
  (void)registered;
  all.Add(this);
}

ForkSafeMutex::~ForkSafeMutex() {
  ForkSafeMutexes& all = ForkSafeMutexes::OfProcess();
  std::lock_guard<std::mutex> hold(all.mutex);
  all.Remove(this);
}

}  // namespace brellox
