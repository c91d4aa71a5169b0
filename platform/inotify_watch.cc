#include "platform/inotify_watch.h"

#include <errno.h>
#include <limits.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <memory>

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

// The folder is watched for its entries coming and going, and each watched
// entry's file for its own changes. Watching the folder for changes of its
// files too would make every system call on every file in it (the reads of
// the calls this serves among them) look at the folder's watch.
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                        IN_MOVED_TO | IN_DELETE_SELF |
                                        IN_MOVE_SELF | IN_ONLYDIR;
// IN_DONT_FOLLOW: a link in a watched name is reported as the link.
constexpr std::uint32_t kEntryEvents = IN_MODIFY | IN_ATTRIB | IN_DONT_FOLLOW;

// Events of the folder's watch that end what the watch can tell: lost
// events, or a folder that is gone or now has another path.
constexpr std::uint32_t kFolderEnded =
    IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;

Status Error(const std::string& context, int error_number) {
  return Status::IOError(context + ": " + strerror(error_number));
}

// Tells a child of fork from its parent without a system call: a page the
// kernel wipes in the child (MADV_WIPEONFORK, Linux 4.14), or getpid where
// the kernel cannot. (A fork handler could not be used: it would outlive an
// unloaded library.)
class ForkDetector {
 public:
  ForkDetector() : pid_(getpid()), size_(sysconf(_SC_PAGESIZE)) {
    void* page = mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED) return;
    if (madvise(page, size_, MADV_WIPEONFORK) != 0) {
      munmap(page, size_);
      return;
    }
    page_ = static_cast<volatile char*>(page);
    *page_ = 1;
  }
  ~ForkDetector() {
    if (page_ != nullptr) munmap(const_cast<char*>(page_), size_);
  }
  ForkDetector(const ForkDetector&) = delete;
  ForkDetector& operator=(const ForkDetector&) = delete;

  bool InChild() const {
    return page_ != nullptr ? *page_ == 0 : getpid() != pid_;
  }

 private:
  const pid_t pid_;
  const std::size_t size_;
  volatile char* page_ = nullptr;
};

// The largest event: a read that left room for it emptied the queue.
constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

class InotifyWatch final : public ChangeWatch {
 public:
  InotifyWatch(int fd, std::string folder, std::vector<std::string> names)
      : fd_(fd), folder_(std::move(folder)), names_(std::move(names)) {}
  ~InotifyWatch() override { close(fd_); }

  // Watches the folder, then the files its watched names have now.
  Status Start() {
    folder_wd_ = inotify_add_watch(fd_, folder_.c_str(), kFolderEvents);
    if (folder_wd_ < 0) return Error(folder_ + ": inotify watch", errno);
    for (const std::string& name : names_) {
      Status s = WatchEntry(name);
      if (!s.ok()) return s;
    }
    return Status::OK();
  }

  // Reads the queue without asking how full it is first, so that an empty
  // queue costs one system call; events for other names are dropped, so
  // that a busy folder costs a read, not the cache.
  Status Poll(bool* changed) override {
    *changed = true;
    // A child of fork shares its parent's queue: a Poll in either would
    // take events the other needs.
    if (fork_.InChild()) {
      return Status::IOError(folder_ + ": watched before the process forked");
    }
    *changed = false;
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
        Status s = Take(*event, changed);
        if (!s.ok()) {
          *changed = true;
          return s;
        }
      }
      // The kernel hands out whole events while they fit.
      if (static_cast<std::size_t>(n) <= sizeof(buffer) - kLargestEvent) {
        return Status::OK();
      }
    }
  }

 private:
  Status WatchEntry(const std::string& name) {
    const std::string path = folder_ + "/" + name;
    if (inotify_add_watch(fd_, path.c_str(), kEntryEvents) >= 0 ||
        errno == ENOENT) {
      return Status::OK();  // an entry made later is a folder event
    }
    return Error(path + ": inotify watch", errno);
  }

  Status Take(const inotify_event& event, bool* changed) {
    if (event.mask & IN_Q_OVERFLOW) {
      return Status::IOError(folder_ + ": changes were lost");
    }
    if (event.wd != folder_wd_) {
      // A watched file changed, or went (IN_IGNORED).
      *changed = true;
      return Status::OK();
    }
    if (event.mask & kFolderEnded) {
      return Status::IOError(folder_ + ": the watch ended");
    }
    // The name is padded with NULs to its length.
    if (event.len == 0 || !Watched(event.name)) return Status::OK();
    *changed = true;
    // A new file under a watched name is watched before this Poll returns:
    // whatever happened to it before is reported by this Poll.
    if (event.mask & (IN_CREATE | IN_MOVED_TO)) return WatchEntry(event.name);
    return Status::OK();
  }

  bool Watched(const char* name) const {
    return std::find(names_.begin(), names_.end(), name) != names_.end();
  }

  const int fd_;
  const ForkDetector fork_;
  const std::string folder_;
  const std::vector<std::string> names_;
  int folder_wd_ = -1;
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
  auto made = std::make_unique<InotifyWatch>(fd, folder, names);
  Status s = made->Start();
  if (s.ok()) *watch = std::move(made);
  return s;
}

}  // namespace brellox
