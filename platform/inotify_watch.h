// The Linux change signal behind PosixEnv::WatchChanges: an inotify watch
// on one folder for its entries coming and going, and on the files of a few
// of its names for their changes.
#ifndef BRELLOX_PLATFORM_INOTIFY_WATCH_H_
#define BRELLOX_PLATFORM_INOTIFY_WATCH_H_

#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"

namespace brellox {

// As Env::WatchChanges. The watch's events are queued by the kernel before
// the system call that caused them returns, so a Poll that finds the queue
// empty has missed no change made before it began.
Status WatchFolderWithInotify(const std::string& folder,
                              const std::vector<std::string>& names,
                              std::unique_ptr<ChangeWatch>* watch);

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_INOTIFY_WATCH_H_
