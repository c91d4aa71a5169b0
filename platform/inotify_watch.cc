#include "platform/inotify_watch.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

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

// A folder's own move or removal, and what ends any watch: the kernel
// dropped it, or its file system went.
constexpr std::uint32_t kSelfEvents = IN_DELETE_SELF | IN_MOVE_SELF;
constexpr std::uint32_t kEnded =
    IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT;
// Entries of a folder coming and going. The folder is not watched for the
// changes of its files: that would make every system call on every file in
// it (the reads of the calls this serves among them) look at the watch.
constexpr std::uint32_t kEntryEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
// A watched file's own changes. IN_DONT_FOLLOW: a link at a watched name
// is reported as the link.
constexpr std::uint32_t kContentEvents = IN_MODIFY | IN_ATTRIB | IN_DONT_FOLLOW;
// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

// The largest event: a read that left room for it emptied the queue.
constexpr std::size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

Status Error(const std::string& context, int error_number) {
  return Status::IOError(context + ": " + strerror(error_number));
}

// The components of `path` in reverse order, the last one first.
void PushComponents(const std::string& path, std::vector<std::string>* stack) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (at <= path.size()) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    if (end > at) parts.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  stack->insert(stack->end(), parts.rbegin(), parts.rend());
}

std::string FolderName(const std::string& folder) {
  return folder.empty() ? "/" : folder;
}

// A descriptor this queue owns, closed with it.
class OwnedFd {
 public:
  explicit OwnedFd(int fd) : fd_(fd) {}
  OwnedFd(OwnedFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  OwnedFd& operator=(OwnedFd&&) = delete;
  ~OwnedFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// What the one epoll instance tells apart.
constexpr std::uint64_t kInotifyReady = 1;
constexpr std::uint64_t kMountsReady = 2;

class InotifyQueue final : public ChangeQueue {
 public:
  // `ready` is an epoll instance that holds the other two. Closing the
  // inotify instance, when the queue goes, ends every watch in it. No watch
  // is removed one by one: in a child of fork the instance is its parent's
  // too, and so is the epoll instance; the child's copies are only closed.
  InotifyQueue(OwnedFd ready, OwnedFd inotify, OwnedFd mounts)
      : ready_(std::move(ready)),
        inotify_(std::move(inotify)),
        mounts_(std::move(mounts)) {}

  Status Watch(const std::string& path, const std::string& folder,
               const std::vector<std::string>& names, int* watch) override {
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) != 0) return Error(folder, errno);
    const auto type = static_cast<unsigned long>(fs.f_type);
    if (std::find(std::begin(kLocalFileSystems), std::end(kLocalFileSystems),
                  type) == std::end(kLocalFileSystems)) {
      return Status::Refused(folder + ": not on a local file system");
    }
    const int id = ++last_watch_;
    Watched& made = watches_[id];
    made.folder = folder;
    made.names = names;
    // The route first, then the folder, then the files its watched names
    // have now: each later step is made under the watches of the earlier.
    Status s = WatchRoute(id, path);
    if (s.ok()) {
      s = Add(id, folder, kEntryEvents | kSelfEvents | IN_ONLYDIR,
              Use::kEntries);
    }
    for (std::size_t i = 0; s.ok() && i < names.size(); ++i) {
      s = WatchContents(id, names[i]);
    }
    if (!s.ok()) {
      Unwatch(id);
      return s;
    }
    *watch = id;
    return Status::OK();
  }

  void Unwatch(int watch) override {
    const auto found = watches_.find(watch);
    if (found == watches_.end()) return;
    for (const int wd : found->second.wds) {
      const auto uses = uses_.find(wd);
      if (uses == uses_.end()) continue;  // the kernel dropped it
      auto& list = uses->second;
      list.erase(std::remove_if(list.begin(), list.end(),
                                [&](const Use& u) { return u.watch == watch; }),
                 list.end());
      if (list.empty()) {
        inotify_rm_watch(inotify_.get(), wd);
        uses_.erase(uses);
      }
    }
    watches_.erase(found);
  }

  // One look at the epoll instance, which both signals wake: when neither
  // has news, its ready list is empty and nothing more is done (no poll of
  // either descriptor). The kernel puts a descriptor on that list from the
  // wake-up itself, before the system call that caused the event returns.
  // Each report of the mount table's state consumes it, through epoll as
  // through poll: the instance asks the table again before it reports it.
  Status Poll(std::vector<Report>* reports, bool* mounts_changed) override {
    *mounts_changed = false;
    epoll_event events[2];
    int n;
    do {
      n = epoll_wait(ready_.get(), events, 2, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return Error("epoll of the change signals", errno);
    bool inotify_ready = false;
    for (int i = 0; i < n; ++i) {
      if (events[i].data.u64 == kMountsReady) {
        *mounts_changed = (events[i].events & (EPOLLPRI | EPOLLERR)) != 0;
      } else if (events[i].data.u64 == kInotifyReady) {
        inotify_ready = (events[i].events & (EPOLLIN | EPOLLERR)) != 0;
      }
    }
    if (!inotify_ready) return Status::OK();
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t got = read(inotify_.get(), buffer, sizeof(buffer));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 && errno == EAGAIN) return Status::OK();
      if (got <= 0) return Error("inotify", got < 0 ? errno : EIO);
      for (ssize_t at = 0; at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        Status s = Take(*event, reports);
        if (!s.ok()) return s;
      }
      // The kernel hands out whole events while they fit.
      if (static_cast<std::size_t>(got) <= sizeof(buffer) - kLargestEvent) {
        return Status::OK();
      }
    }
  }

 private:
  struct Use {
    enum Kind {
      kSelf,      // a folder on the route: its own move or removal ends it
      kLink,      // the folder holding a link on the route, for that name
      kEntries,   // the file's folder, for the watch's names
      kContents,  // a file at one of those names
    };
    int watch;
    Kind kind;
    std::string name;  // of the link
  };
  struct Watched {
    std::string folder;
    std::vector<std::string> names;
    std::vector<int> wds;
  };

  // Every folder the path passes through, links expanded as the kernel
  // expands them, each for its own move or removal; and each link on the
  // way, through its folder, for a new entry at its name. The last
  // component, once no link, is the file: its folder's watch covers it.
  Status WatchRoute(int id, const std::string& path) {
    std::vector<std::string> pending;
    PushComponents(path, &pending);
    std::string current;  // the root
    int links = 0;
    Status s = Add(id, "/", kSelfEvents | IN_ONLYDIR, Use::kSelf);
    while (s.ok() && !pending.empty()) {
      const std::string name = std::move(pending.back());
      pending.pop_back();
      if (name == ".") continue;
      if (name == "..") {
        current.resize(std::min(current.size(), current.rfind('/')));
        continue;
      }
      const std::string next = current + "/" + name;
      struct stat st;
      if (lstat(next.c_str(), &st) != 0) return Error(next, errno);
      if (S_ISLNK(st.st_mode)) {
        if (++links > kMaxLinks) return Error(path, ELOOP);
        // Watched before it is read: a link re-pointed after the read is
        // reported, one re-pointed before is what is read.
        s = Add(id, FolderName(current), kEntryEvents | kSelfEvents, Use::kLink,
                name);
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = readlink(next.c_str(), target.data(), PATH_MAX);
        if (n < 0) return Error(next, errno);
        const std::string to(target.data(), static_cast<std::size_t>(n));
        if (!to.empty() && to[0] == '/') current.clear();
        PushComponents(to, &pending);
        continue;
      }
      if (pending.empty()) break;  // the file
      current = next;
      s = Add(id, current, kSelfEvents | IN_ONLYDIR, Use::kSelf);
    }
    return s;
  }

  Status WatchContents(int id, const std::string& name) {
    const std::string path = watches_[id].folder + "/" + name;
    Status s = Add(id, path, kContentEvents, Use::kContents);
    // An entry made later is a folder event, which watches it then.
    return s.IsFileMissing() ? Status::OK() : s;
  }

  Status Add(int id, const std::string& path, std::uint32_t mask,
             Use::Kind kind, const std::string& name = std::string()) {
    const int wd =
        inotify_add_watch(inotify_.get(), path.c_str(), mask | IN_MASK_ADD);
    if (wd < 0) {
      const int error = errno;
      const std::string context = path + ": inotify watch";
      if (error == ENOENT) return Status::FileMissing(context);
      return Error(context, error);
    }
    uses_[wd].push_back(Use{id, kind, name});
    watches_[id].wds.push_back(wd);
    return Status::OK();
  }

  Status Take(const inotify_event& event, std::vector<Report>* reports) {
    if (event.mask & IN_Q_OVERFLOW) {
      return Status::IOError("inotify: changes were lost");
    }
    const auto found = uses_.find(event.wd);
    if (found == uses_.end()) return Status::OK();  // an ended watch's
    // A copy: a new file at a watched name adds to the lists.
    const std::vector<Use> uses = found->second;
    // The name is padded with NULs to its length.
    const std::string name = event.len > 0 ? event.name : "";
    for (const Use& use : uses) {
      if (use.kind == Use::kContents) {
        // A watched file changed, or went (IN_IGNORED).
        reports->push_back(Report{use.watch, false});
      } else if (event.mask & kEnded) {
        reports->push_back(Report{use.watch, true});
      } else if (use.kind == Use::kLink && name == use.name) {
        // The path may lead elsewhere now: its route is watched anew.
        reports->push_back(Report{use.watch, true});
      } else if (use.kind == Use::kEntries && Named(use.watch, name)) {
        reports->push_back(Report{use.watch, false});
        // A new file under a watched name is watched before this Poll
        // returns: whatever happened to it before is reported by this Poll.
        if ((event.mask & (IN_CREATE | IN_MOVED_TO)) &&
            !WatchContents(use.watch, name).ok()) {
          reports->push_back(Report{use.watch, true});
        }
      }
    }
    if (event.mask & IN_IGNORED) uses_.erase(event.wd);
    return Status::OK();
  }

  bool Named(int watch, const std::string& name) const {
    const auto found = watches_.find(watch);
    if (found == watches_.end() || name.empty()) return false;
    const auto& names = found->second.names;
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  // Declared in the order they are opened, closed in reverse: the epoll
  // instance last, once nothing it holds is left.
  const OwnedFd ready_;
  const OwnedFd inotify_;
  const OwnedFd mounts_;
  int last_watch_ = 0;
  std::map<int, Watched> watches_;
  std::unordered_map<int, std::vector<Use>> uses_;  // by inotify watch
};

}  // namespace

Status NewInotifyQueue(std::unique_ptr<ChangeQueue>* queue) {
  queue->reset();
  OwnedFd ready(epoll_create1(EPOLL_CLOEXEC));
  if (ready.get() < 0) return Error("epoll", errno);
  OwnedFd inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (inotify.get() < 0) return Error("inotify", errno);
  // Without the mount table's signal a mount over a watched path would go
  // unseen: no queue then. A mount between this open and the epoll
  // registration below may be reported by no Poll; no watch exists yet,
  // and each is followed by a look at where its path leads.
  OwnedFd mounts(open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC));
  if (mounts.get() < 0) return Error("/proc/self/mountinfo", errno);
  // Level-triggered: the inotify descriptor stays ready while events are
  // queued, and the mount table is asked afresh at each report.
  epoll_event on_inotify{};
  on_inotify.events = EPOLLIN;
  on_inotify.data.u64 = kInotifyReady;
  epoll_event on_mounts{};
  on_mounts.events = EPOLLPRI;  // EPOLLERR is always reported
  on_mounts.data.u64 = kMountsReady;
  if (epoll_ctl(ready.get(), EPOLL_CTL_ADD, inotify.get(), &on_inotify) != 0 ||
      epoll_ctl(ready.get(), EPOLL_CTL_ADD, mounts.get(), &on_mounts) != 0) {
    return Error("epoll of the change signals", errno);
  }
  *queue = std::make_unique<InotifyQueue>(
      std::move(ready), std::move(inotify), std::move(mounts));
  return Status::OK();
}

}  // namespace brellox
