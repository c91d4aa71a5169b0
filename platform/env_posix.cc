#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "platform/env.h"
#include "platform/fork_safe_mutex.h"

#if defined(__linux__)
#include "platform/inotify_watch.h"
#endif

namespace brellox {
namespace {

// Every failure of a system call becomes a Status here, so that each kind
// reads the same on every system.
Status PosixError(const std::string& context, int error_number) {
  std::string message = context + ": " + strerror(error_number);
  switch (error_number) {
    case ENOENT:
      return Status::FileMissing(std::move(message));
    case EEXIST:
      return Status::AlreadyExists(std::move(message));
    case EACCES:
    case EPERM:
      return Status::PermissionDenied(std::move(message));
    case ENOMEM:
      return Status::NoMemory(std::move(message));
    default:
      return Status::IOError(std::move(message));
  }
}

// `path` relative to the folder `dir_fd` (AT_FDCWD: the working folder).
int OpenAtRetryingInterrupts(int dir_fd, const char* path, int flags,
                             mode_t mode) {
  int fd;
  do {
    fd = openat(dir_fd, path, flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

int OpenRetryingInterrupts(const char* path, int flags, mode_t mode) {
  return OpenAtRetryingInterrupts(AT_FDCWD, path, flags, mode);
}

// The descriptors of every open file, so that a child of fork keeps none of
// them. A lock belongs to the open file, which a child's copy of the
// descriptor shares: a copy of a descriptor that a call in another thread
// holds would keep that call's lock after the call closed its own, until
// the child exits. Unlocking in the child would drop the parent's lock too;
// closing the copy drops only the child's hold.
class Descriptors {
 public:
  static Descriptors& OfProcess() {
    // Never destroyed, as Env::Default: files may be closed that late.
    alignas(Descriptors) static unsigned char storage[sizeof(Descriptors)];
    static Descriptors* const descriptors = new (storage) Descriptors;
    return *descriptors;
  }

  // Opened and listed in one step under the mutex, which fork waits for:
  // no child copies a descriptor before it is listed, nor after it is
  // closed and before it leaves the list.
  int Open(int dir_fd, const char* path, int flags, mode_t mode) {
    std::lock_guard<std::mutex> hold(mutex_);
    const int fd = OpenAtRetryingInterrupts(dir_fd, path, flags, mode);
    if (fd >= 0) open_.push_back(fd);
    return fd;
  }

  void Close(int fd) {
    std::lock_guard<std::mutex> hold(mutex_);
    const auto listed = std::find(open_.begin(), open_.end(), fd);
    if (listed != open_.end()) open_.erase(listed);
    // Nothing stays on the heap while no file is open: the list outlives
    // the library's unloading, which would leave its block behind.
    if (open_.empty()) std::vector<int>().swap(open_);
    close(fd);
  }

 private:
  Descriptors() = default;

  // The child's copy of each descriptor is closed by putting a descriptor
  // that can be neither read, written nor locked in its place: the number
  // stays taken until its owner closes it, so that no file opened later in
  // the child gets it and is closed or written by mistake.
  static void InChild(void* self) {
    const auto& open = static_cast<Descriptors*>(self)->open_;
    const int inert = OpenInert();
    for (const int fd : open) {
      if (inert < 0 || dup3(inert, fd, O_CLOEXEC) < 0) close(fd);
    }
    if (inert >= 0) close(inert);
  }
  static int OpenInert() {
#if defined(O_PATH)
    return OpenRetryingInterrupts("/", O_PATH | O_DIRECTORY, 0);
#else
    return OpenRetryingInterrupts("/", O_RDONLY | O_DIRECTORY, 0);
#endif
  }

  ForkSafeMutex mutex_{&Descriptors::InChild, this};
  std::vector<int> open_;
};

// Offsets beyond off_t's range cannot name a byte of any file we open.
bool ToOffset(std::uint64_t offset, off_t* result) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    return false;
  }
  *result = static_cast<off_t>(offset);
  return true;
}

// The folder that holds `path` (dirname, which may change its argument).
std::string FolderOf(const std::string& path) {
  std::vector<char> copy(path.begin(), path.end());
  copy.push_back('\0');
  return dirname(copy.data());
}

void FillFacts(const struct stat& st, FileFacts* facts) {
  facts->regular = S_ISREG(st.st_mode);
  facts->size = static_cast<std::uint64_t>(st.st_size);
  facts->device = static_cast<std::uint64_t>(st.st_dev);
  facts->inode = static_cast<std::uint64_t>(st.st_ino);
  facts->links = static_cast<std::uint64_t>(st.st_nlink);
  facts->mode = static_cast<std::uint32_t>(st.st_mode & 07777);
  facts->owner = std::to_string(st.st_uid);
  facts->group = std::to_string(st.st_gid);
  facts->owner_is_administrator = st.st_uid == 0;
  facts->modified_ns =
      static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
      st.st_mtim.tv_nsec;
  facts->changed_ns =
      static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 +
      st.st_ctim.tv_nsec;
  facts->owner_is_caller = st.st_uid == geteuid();
}

// The mount ID that statx reports (Linux 5.8 and later); 0 where the system
// cannot tell, which callers take as "the same mount".
Status MountIdAt(int dir_fd, const char* path, int flags,
                 const std::string& context, std::uint64_t* mount_id) {
  std::uint64_t found = 0;
#if defined(STATX_MNT_ID)
  struct statx stx;
  if (statx(dir_fd, path, flags, STATX_MNT_ID, &stx) != 0) {
    // A system without statx or the field cannot tell.
    if (errno != ENOSYS && errno != EINVAL) return PosixError(context, errno);
  } else if (stx.stx_mask & STATX_MNT_ID) {
    found = stx.stx_mnt_id;
  }
#else
  (void)dir_fd;
  (void)path;
  (void)flags;
  (void)context;
#endif
  *mount_id = found;
  return Status::OK();
}

class PosixFile final : public RandomRWFile {
 public:
  PosixFile(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFile() override { Descriptors::OfProcess().Close(fd_); }

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    off_t position;
    if (!ToOffset(offset, &position))
      return Status::IOError(path_ + ": offset");
    char* out = static_cast<char*>(dst);
    while (n > 0) {
      ssize_t got = pread(fd_, out, n, position);
      if (got < 0) {
        if (errno == EINTR) continue;
        return PosixError(path_, errno);
      }
      if (got == 0) return Status::IOError(path_ + ": unexpected end of file");
      out += got;
      position += got;
      n -= static_cast<std::size_t>(got);
    }
    return Status::OK();
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    off_t position;
    if (!ToOffset(offset, &position))
      return Status::IOError(path_ + ": offset");
    const char* in = static_cast<const char*>(src);
    while (n > 0) {
      ssize_t put = pwrite(fd_, in, n, position);
      if (put < 0) {
        if (errno == EINTR) continue;
        return PosixError(path_, errno);
      }
      in += put;
      position += put;
      n -= static_cast<std::size_t>(put);
    }
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return PosixError(path_, errno);
    if (!S_ISREG(st.st_mode)) {
      return Status::IOError(path_ + ": not a regular file");
    }
    *size = static_cast<std::uint64_t>(st.st_size);
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    off_t length;
    if (!ToOffset(size, &length)) return Status::IOError(path_ + ": size");
    int rc;
    do {
      rc = ftruncate(fd_, length);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return PosixError(path_, errno);
    return Status::OK();
  }

  Status NextData(std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) override {
    off_t position;
    if (!ToOffset(offset, &position))
      return Status::IOError(path_ + ": offset");
#ifdef SEEK_DATA
    // Only the position of this descriptor moves, and every transfer here
    // names its own offset.
    const off_t data = lseek(fd_, position, SEEK_DATA);
    if (data >= position) {
      // The end of the file counts as a hole, so this finds one.
      const off_t hole = lseek(fd_, data, SEEK_HOLE);
      if (hole > data) {
        *begin = static_cast<std::uint64_t>(data);
        *end = static_cast<std::uint64_t>(hole);
        return Status::OK();
      }
    }
    const bool no_data = data < 0 && errno == ENXIO;  // a hole to the end
#else
    const bool no_data = false;
#endif
    // Otherwise the file system cannot tell (EINVAL and the like): the
    // answer that is always right, data from here to the end.
    std::uint64_t size = 0;
    Status s = Size(&size);
    if (!s.ok()) return s;
    *end = std::max(offset, size);
    *begin = no_data ? *end : offset;
    return Status::OK();
  }

  Status Sync() override {
    // fdatasync makes the data and every change of size durable (POSIX's
    // synchronized data integrity), and skips only what reading back does
    // not need, such as times: an overwrite in place then costs no journal
    // commit of the file system.
    int rc;
    do {
      rc = fdatasync(fd_);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return PosixError(path_, errno);
    return Status::OK();
  }

  Status Permissions(std::uint32_t* mode) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return PosixError(path_, errno);
    *mode = static_cast<std::uint32_t>(st.st_mode & 07777);
    return Status::OK();
  }

  Status Facts(FileFacts* facts) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return PosixError(path_, errno);
    FillFacts(st, facts);
    return Status::OK();
  }

  Status MountOf(std::uint64_t* mount_id) override {
    return MountIdAt(fd_, "", AT_EMPTY_PATH, path_, mount_id);
  }

  Status ResolvedPath(std::string* path) override {
    // The descriptor's own name, as the kernel keeps it: no path lookup can
    // be raced between the open and here.
    const std::string link = "/proc/self/fd/" + std::to_string(fd_);
    std::vector<char> name(4096);
    const ssize_t length = readlink(link.c_str(), name.data(), name.size());
    if (length > 0 && static_cast<std::size_t>(length) < name.size()) {
      std::string resolved(name.data(), static_cast<std::size_t>(length));
      if (resolved.size() > 10 &&
          resolved.compare(resolved.size() - 10, 10, " (deleted)") == 0) {
        return Status::IOError(path_ + ": the file was removed");
      }
      if (resolved[0] == '/') {
        *path = std::move(resolved);
        return Status::OK();
      }
    }
    // Without /proc: resolve the name it was opened by.
    char* real = realpath(path_.c_str(), nullptr);
    if (real == nullptr) return PosixError(path_, errno);
    *path = real;
    free(real);
    return Status::OK();
  }

  Status TakeOwnershipOf(const FileFacts& model) override {
    struct stat st;
    if (fstat(fd_, &st) != 0) return PosixError(path_, errno);
    const uid_t uid = static_cast<uid_t>(std::stoul(model.owner));
    const gid_t gid = static_cast<gid_t>(std::stoul(model.group));
    if (st.st_uid != uid || st.st_gid != gid) {
      int rc;
      do {
        rc = fchown(fd_, st.st_uid == uid ? static_cast<uid_t>(-1) : uid,
                    st.st_gid == gid ? static_cast<gid_t>(-1) : gid);
      } while (rc != 0 && errno == EINTR);
      if (rc != 0)
        return PosixError(
            path_ + ": give it the owner " + model.owner + ":" + model.group,
            errno);
    }
    // After fchown, which may clear the set-ID bits.
    if ((st.st_mode & 07777) != model.mode &&
        fchmod(fd_, static_cast<mode_t>(model.mode)) != 0) {
      return PosixError(path_, errno);
    }
    return Status::OK();
  }

  // Open file description locks: owned by this descriptor's open, so threads
  // and other opens of this process conflict with it, and closing another
  // descriptor of the same file does not drop it (as it would a classic
  // process-owned record lock).
  Status TryLock(std::uint64_t offset, std::uint64_t length,
                 LockMode mode) override {
    return SetLock(offset, length,
                   mode == LockMode::kShared ? F_RDLCK : F_WRLCK);
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return SetLock(offset, length, F_UNLCK);
  }

  // Two calls instead of three: POSIX locks may be released in part, so
  // both bytes are taken at once and the gate let go.
  Status TryLockSharedPastGate(std::uint64_t gate) override {
    Status s = SetLock(gate, 2, F_RDLCK);
    if (s.ok()) SetLock(gate, 1, F_UNLCK);
    return s;
  }

 private:
  Status SetLock(std::uint64_t offset, std::uint64_t length, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    if (!ToOffset(offset, &lock.l_start) || !ToOffset(length, &lock.l_len)) {
      return Status::IOError(path_ + ": lock range");
    }
    lock.l_pid = 0;  // required of open file description locks
    int rc;
    do {
      rc = fcntl(fd_, F_OFD_SETLK, &lock);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0) return Status::OK();
    // EACCES is what some systems answer for a lock held elsewhere.
    if (errno == EAGAIN || errno == EACCES) {
      return Status::Busy(path_ + ": locked by another open of the file");
    }
    return PosixError(path_ + ": lock", errno);
  }

  const std::string path_;
  const int fd_;
};

// The Env's calls on entries, relative to the folder `dir_fd` (AT_FDCWD:
// the working folder) for Env and Folder alike; `shown` names the entry in
// messages.
Status OpenNoFollowAt(int dir_fd, const std::string& name,
                      const std::string& shown, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) {
  result->reset();
  const int flags = access == OpenAccess::kReadOnly ? O_RDONLY : O_RDWR;
  const int fd = Descriptors::OfProcess().Open(
      dir_fd, name.c_str(), flags | O_NONBLOCK | O_NOFOLLOW, 0);
  if (fd < 0) {
    // ELOOP is how O_NOFOLLOW refuses a symbolic link.
    if (errno == ELOOP) {
      return Status::IOError(shown + ": a symbolic link, not a file");
    }
    return PosixError(shown, errno);
  }
  result->reset(new PosixFile(shown, fd));
  return Status::OK();
}

Status EntryFactsAt(int dir_fd, const std::string& name,
                    const std::string& shown, FileFacts* facts) {
  struct stat st;
  if (fstatat(dir_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    return PosixError(shown, errno);
  }
  FillFacts(st, facts);
  return Status::OK();
}

Status CreateExclusiveAt(int dir_fd, const std::string& name,
                         const std::string& shown, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) {
  result->reset();
  mode &= 07777;  // the bits above say nothing here (kPrivateOnWindows)
  const int fd = Descriptors::OfProcess().Open(dir_fd, name.c_str(),
                                               O_RDWR | O_CREAT | O_EXCL,
                                               static_cast<mode_t>(mode));
  if (fd < 0) return PosixError(shown, errno);
  // The umask may have narrowed the bits; a side file must match its
  // configuration file exactly, or a process allowed to change the one
  // could not change the other.
  if (fchmod(fd, static_cast<mode_t>(mode)) != 0) {
    const int error = errno;
    Descriptors::OfProcess().Close(fd);
    unlinkat(dir_fd, name.c_str(), 0);
    return PosixError(shown, error);
  }
  result->reset(new PosixFile(shown, fd));
  return Status::OK();
}

Status RemoveFileAt(int dir_fd, const std::string& name,
                    const std::string& shown) {
  if (unlinkat(dir_fd, name.c_str(), 0) != 0) return PosixError(shown, errno);
  return Status::OK();
}

// Syncs the folder `folder` (relative to `dir_fd`).
Status SyncFolderAt(int dir_fd, const char* folder, const std::string& shown) {
  const int fd =
      OpenAtRetryingInterrupts(dir_fd, folder, O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return PosixError(shown, errno);
  int rc;
  do {
    rc = fsync(fd);
  } while (rc != 0 && errno == EINTR);
  const int error = errno;
  close(fd);
  // Some file systems cannot sync a directory at all; their entries are
  // as durable as they will ever be.
  if (rc != 0 && error != EINVAL) return PosixError(shown, error);
  return Status::OK();
}

// A folder held by an O_PATH descriptor: it reads nothing, so it needs no
// read access to the folder, only the search access any path through it
// needs.
class PosixFolder final : public Folder {
 public:
  PosixFolder(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFolder() override { close(fd_); }

  Status OpenNoFollow(const std::string& name, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    return OpenNoFollowAt(fd_, name, Shown(name), access, result);
  }
  Status EntryFacts(const std::string& name, FileFacts* facts) override {
    return EntryFactsAt(fd_, name, Shown(name), facts);
  }
  Status CreateExclusive(const std::string& name, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    return CreateExclusiveAt(fd_, name, Shown(name), mode, result);
  }
  Status RemoveFile(const std::string& name) override {
    return RemoveFileAt(fd_, name, Shown(name));
  }
  Status Sync() override { return SyncFolderAt(fd_, ".", path_); }

 private:
  std::string Shown(const std::string& name) const {
    return path_ + "/" + name;
  }

  const std::string path_;
  const int fd_;
};

class PosixEnv final : public Env {
 public:
  Status Open(const std::string& path, OpenAccess access,
              std::unique_ptr<RandomRWFile>* result) override {
    result->reset();
    const int flags = access == OpenAccess::kReadOnly ? O_RDONLY : O_RDWR;
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    const int fd = Descriptors::OfProcess().Open(AT_FDCWD, path.c_str(),
                                                 flags | O_NONBLOCK, 0);
    if (fd < 0) return PosixError(path, errno);
    // Whether it is a regular file is asked by Size, which every user of
    // the file calls before reading: one fstat per call instead of two.
    result->reset(new PosixFile(path, fd));
    return Status::OK();
  }

  Status OpenNoFollow(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    return OpenNoFollowAt(AT_FDCWD, path, path, access, result);
  }

  Status EntryFacts(const std::string& path, FileFacts* facts) override {
    return EntryFactsAt(AT_FDCWD, path, path, facts);
  }

  Status PathFacts(const std::string& path, FileFacts* facts) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return PosixError(path, errno);
    FileFacts found;
    FillFacts(st, &found);
    Status s = MountIdAt(AT_FDCWD, path.c_str(), 0, path, &found.mount_id);
    if (s.ok()) *facts = found;
    return s;
  }

  Status MountOfFolder(const std::string& path,
                       std::uint64_t* mount_id) override {
    return MountIdAt(AT_FDCWD, FolderOf(path).c_str(), 0, path, mount_id);
  }

  Status OpenFolder(const std::string& path,
                    std::unique_ptr<Folder>* result) override {
    result->reset();
    const int fd =
        OpenRetryingInterrupts(path.c_str(), O_PATH | O_DIRECTORY, 0);
    if (fd < 0) return PosixError(path, errno);
    result->reset(new PosixFolder(path, fd));
    return Status::OK();
  }

  Status CreateExclusive(const std::string& path, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    return CreateExclusiveAt(AT_FDCWD, path, path, mode, result);
  }

  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    if (rename(from.c_str(), to.c_str()) != 0) return PosixError(from, errno);
    return Status::OK();
  }

  // renameat2's RENAME_NOREPLACE where the system and file system have it:
  // the file never has two names, which a writer would take for a file
  // linked elsewhere and refuse to change. Elsewhere link() fails when the
  // new name exists, on every POSIX file system that has hard links.
  Status RenameNoReplace(const std::string& from,
                         const std::string& to) override {
#if defined(RENAME_NOREPLACE)
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                  RENAME_NOREPLACE) == 0) {
      return Status::OK();
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
      return PosixError(to, errno);
    }
#endif
    if (link(from.c_str(), to.c_str()) != 0) return PosixError(to, errno);
    unlink(from.c_str());
    return Status::OK();
  }

  Status RemoveFile(const std::string& path) override {
    return RemoveFileAt(AT_FDCWD, path, path);
  }

  bool EntryExists(const std::string& path) override {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
  }

  Status FileSize(const std::string& path, std::uint64_t* size) override {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return PosixError(path, errno);
    *size = static_cast<std::uint64_t>(st.st_size);
    return Status::OK();
  }

  Status SyncDirectoryOf(const std::string& path) override {
    const std::string folder = FolderOf(path);
    return SyncFolderAt(AT_FDCWD, folder.c_str(), folder);
  }

  Status CurrentFolder(std::string* folder) override {
    std::vector<char> name(256);
    while (getcwd(name.data(), name.size()) == nullptr) {
      if (errno != ERANGE) return PosixError("the working folder", errno);
      name.resize(name.size() * 2);
    }
    *folder = name.data();
    return Status::OK();
  }

  bool Variable(const std::string& name, std::string* value) override {
    const char* found = std::getenv(name.c_str());
    if (found == nullptr) return false;
    *value = found;
    return true;
  }

  std::string CallerIdentity() override { return std::to_string(geteuid()); }

  std::uint64_t NowMicros() override {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
  }

  std::uint64_t CoarseNowMicros() override {
    // The clock the kernel updates at each tick, read without asking the
    // time source; the fine one where ticks are too far apart.
    if (!coarse_clock_fits_) return NowMicros();
#if defined(CLOCK_MONOTONIC_COARSE)
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
#else
    return NowMicros();
#endif
  }

  void SleepForMicroseconds(int micros) override {
    struct timespec delay {
      micros / 1000000, (micros % 1000000) * 1000L
    };
    while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
    }
  }

#if defined(__linux__)
  Status NewChangeQueue(std::unique_ptr<ChangeQueue>* queue) override {
    return NewInotifyQueue(queue);
  }
#endif

 private:
  static bool CoarseClockFits() {
#if defined(CLOCK_MONOTONIC_COARSE)
    struct timespec resolution;
    return clock_getres(CLOCK_MONOTONIC_COARSE, &resolution) == 0 &&
           resolution.tv_sec == 0 &&
           static_cast<std::uint64_t>(resolution.tv_nsec) <
               kCoarseClockLagMicros * 1000u;
#else
    return false;
#endif
  }

  // Whether the coarse clock ticks often enough for CoarseNowMicros: asked
  // once, as the Env is made, so that no call waits on a first asking.
  const bool coarse_clock_fits_ = CoarseClockFits();
};

}  // namespace

Env* Env::Default() {
  // Made in static storage and never destroyed (see env.h): valid at the
  // module's detach whatever order it and the static destructors run in,
  // and an unloaded copy of the library leaves no heap block behind.
  alignas(PosixEnv) static unsigned char storage[sizeof(PosixEnv)];
  static Env* const env = new (storage) PosixEnv;
  return env;
}

namespace {
// Made as the module loads, before any thread of the program can be inside
// the guard of the first call: a child forked while another thread held it
// would wait on it for good.
[[maybe_unused]] Env* const g_made_at_load = Env::Default();
}  // namespace

}  // namespace brellox
