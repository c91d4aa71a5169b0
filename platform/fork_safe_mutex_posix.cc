#include <pthread.h>

#include <algorithm>
#include <new>
#include <vector>

#include "platform/fork_safe_mutex.h"

namespace brellox {
namespace {

// Every ForkSafeMutex alive, in the order they were made. Made in static
// storage and never destroyed, as Env::Default is: a fork during the static
// destructors still finds it, and an unloaded copy of the library leaves no
// heap block behind.
struct Registry {
  std::mutex mutex;  // held from fork's start until its end in each process
  std::vector<ForkSafeMutex*> all;
};

Registry& Mutexes() {
  alignas(Registry) static unsigned char storage[sizeof(Registry)];
  static Registry* const registry = new (storage) Registry;
  return *registry;
}

void BeforeFork() {
  Registry& r = Mutexes();
  r.mutex.lock();
  for (ForkSafeMutex* m : r.all) m->lock();
}

void AfterForkInParent() {
  Registry& r = Mutexes();
  for (auto m = r.all.rbegin(); m != r.all.rend(); ++m) (*m)->unlock();
  r.mutex.unlock();
}

// The child is the forking thread alone, which holds every mutex: each
// owner cleans up, then lets go.
void AfterForkInChild() {
  Registry& r = Mutexes();
  for (ForkSafeMutex* m : r.all) m->RunInChild();
  for (auto m = r.all.rbegin(); m != r.all.rend(); ++m) (*m)->unlock();
  r.mutex.unlock();
}

}  // namespace

ForkSafeMutex::ForkSafeMutex(InChild in_child, void* owner)
    : in_child_(in_child), owner_(owner) {
  Registry& r = Mutexes();
  std::lock_guard<std::mutex> hold(r.mutex);
  // Once per copy of the library: glibc drops a shared object's handlers
  // when it is unloaded, so none outlives the code it runs.
  static const bool registered =
      pthread_atfork(BeforeFork, AfterForkInParent, AfterForkInChild) == 0;
  (void)registered;
  r.all.push_back(this);
}

ForkSafeMutex::~ForkSafeMutex() {
  Registry& r = Mutexes();
  std::lock_guard<std::mutex> hold(r.mutex);
  r.all.erase(std::find(r.all.begin(), r.all.end(), this));
}

}  // namespace brellox
