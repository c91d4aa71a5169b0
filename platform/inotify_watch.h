// The Linux change signal behind PosixEnv::NewChangeQueue: one inotify
// instance for every watch of the queue and the mount table beside it, both
// held by one epoll instance that each Poll checks once.
#ifndef BRELLOX_PLATFORM_INOTIFY_WATCH_H_
#define BRELLOX_PLATFORM_INOTIFY_WATCH_H_

#include <memory>

#include "platform/env.h"

namespace brellox {

// As Env::NewChangeQueue. Inotify queues an event before the system call
// that caused it returns, and the mount table marks a change before the
// mount call returns, so a Poll that finds neither has missed no change
// made before it began.
Status NewInotifyQueue(std::unique_ptr<ChangeQueue>* queue);

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_INOTIFY_WATCH_H_
