#include "platform/inotify_watch.h"

#include <errno.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

namespace brellox {
namespace {

// File systems whose every change passes through this kernel, so that its
// inotify sees it: a network or FUSE file system can be changed behind it.
constexpr unsigned long kLocalFileSystems[] = {
    0xEF53,      // ext2, ext3, ext4
    0x58465342,  // XFS
    0x9123683E,  // Btrfs
    0x01021994,  // tmpfs
};

constexpr std::uint32_t kWatchedEvents =
    IN_MODIFY | IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
    IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

// Events that end what the watch can tell: lost events, or a folder that
// is gone or now has another path.
constexpr std::uint32_t kWatchEnded =
    IN_Q_OVERFLOW | IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

Status Error(const std::string& context, int error_number) {
  return Status::IOError(context + ": " + strerror(error_number));
}

class InotifyWatch final : public ChangeWatch {
 public:
  InotifyWatch(int fd, std::string folder, std::vector<std::string> names)
      : fd_(fd),
        owner_(getpid()),
        folder_(std::move(folder)),
        names_(std::move(names)) {}
  ~InotifyWatch() override { close(fd_); }

  Status Poll(bool* changed) override {
    *changed = true;
    // A child of fork shares its parent's queue: a Poll in either would
    // take events the other needs. (A fork handler could not be used: it
    // would outlive an unloaded library.)
    if (getpid() != owner_) {
      return Status::IOError(folder_ + ": watched before the process forked");
    }
    int queued = 0;
    if (ioctl(fd_, FIONREAD, &queued) != 0) return Error(folder_, errno);
    *changed = false;
    if (queued == 0) return Status::OK();
    return Drain(changed);
  }

 private:
  // Reads every queued event: unrelated names are dropped, so that a busy
  // folder costs a read, not the cache.
  Status Drain(bool* changed) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof(buffer));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return Status::OK();
      if (n <= 0) {
        *changed = true;
        return Error(folder_, n < 0 ? errno : EIO);
      }
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & kWatchEnded) {
          *changed = true;
          return Status::IOError(folder_ + ": the watch ended");
        }
        // The name is padded with NULs to its length.
        if (event->len > 0 && Watched(event->name)) *changed = true;
      }
    }
  }

  bool Watched(const char* name) const {
    return std::find(names_.begin(), names_.end(), name) != names_.end();
  }

  const int fd_;
  const pid_t owner_;
  const std::string folder_;
  const std::vector<std::string> names_;
};

}  // namespace

Status WatchFolderWithInotify(const std::string& folder,
                              const std::vector<std::string>& names,
                              std::unique_ptr<ChangeWatch>* watch) {
  watch->reset();
  struct statfs fs;
  if (statfs(folder.c_str(), &fs) != 0) return Error(folder, errno);
  const auto type = static_cast<unsigned long>(fs.f_type);
  if (std::find(std::begin(kLocalFileSystems), std::end(kLocalFileSystems),
                type) == std::end(kLocalFileSystems)) {
    return Status::Refused(folder + ": not on a local file system");
  }
  const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd < 0) return Error(folder + ": inotify", errno);
  if (inotify_add_watch(fd, folder.c_str(), kWatchedEvents) < 0) {
    const int error = errno;
    close(fd);
    return Error(folder + ": inotify watch", error);
  }
  watch->reset(new InotifyWatch(fd, folder, names));
  return Status::OK();
}

}  // namespace brellox
