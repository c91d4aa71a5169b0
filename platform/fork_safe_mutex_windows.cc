#include "platform/fork_safe_mutex.h"

namespace brellox {

// Windows has no fork: nothing to prepare a child for.
ForkSafeMutex::ForkSafeMutex(InChild in_child, void* owner)
    : in_child_(in_child), owner_(owner) {}

ForkSafeMutex::~ForkSafeMutex() = default;

}  // namespace brellox
