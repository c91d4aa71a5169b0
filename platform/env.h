// Env: the narrow boundary between the store and the operating system.
//
// Everything the store does to files, locks and clocks goes through these two
// interfaces; one implementation per system (env_posix.cc, env_windows.cc) is
// chosen at build time, and tests wrap them to inject faults and crashes.
//
// Paths are UTF-8, given and returned. POSIX passes the bytes through both
// ways (its names are bytes, UTF-8 by convention). Windows converts them to
// and from the UTF-16 of its wide calls, so that every name is reachable:
// there a path that is not UTF-8 names no file, and a name that is not
// valid UTF-16 is returned as an I/O error.
//
// On failure a call leaves its out-parameters as they were, except that a
// `std::unique_ptr<RandomRWFile>* result` is null and Read's `dst` holds
// what was read before the failure.
#ifndef BRELLOX_PLATFORM_ENV_H_
#define BRELLOX_PLATFORM_ENV_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/status.h"

namespace brellox {

enum class OpenAccess { kReadOnly, kReadWrite };
enum class LockMode { kShared, kExclusive };

// Permission bits for a new file that holds secrets: its owner may read and
// write it, nobody else anything. Windows ignores the bits: a new file there
// takes its folder's inherited access, so that a server's service account
// the folder admits can use a file an administrator's process created.
constexpr std::uint32_t kOwnerOnlyMode = 0600;

// A flag above the POSIX permission bits (07777), which POSIX masks off: a
// file created with it is private on Windows too, where it gets a protected
// access list (nothing inherited from the folder) that admits only the
// creating user, the system itself and the Administrators group. The last
// two may take any file anyway (backup and take-ownership rights), so
// shutting them out would protect nothing and only break backups.
constexpr std::uint32_t kPrivateOnWindows = 0x10000;

// For files that the server never opens but that hold passwords, such as an
// administrator's backups: private to their creator on every system.
constexpr std::uint32_t kPrivateFileMode = kOwnerOnlyMode | kPrivateOnWindows;

// What the system tells of a file: enough to know which file it is, who owns
// it and who may write it, without asking again by name.
struct FileFacts {
  bool regular = false;  // a regular file (not a link, folder, device, ...)
  std::uint64_t size = 0;
  // Together the file's identity: two opens of one file give the same pair,
  // whatever path reached it (device and inode on POSIX; volume serial
  // number and file ID on Windows).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t links = 0;  // names the file has; 0 once it was removed
  // The mount the file lies on (0 where the system cannot tell): a file that
  // is itself mounted (bound over another name) has another than its folder.
  std::uint64_t mount_id = 0;
  // When the file's contents, and its contents or attributes, last changed,
  // in nanoseconds since 1970 (0 where the system does not tell). Two
  // changes within one tick of the file system's clock may read the same.
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  std::uint32_t mode = 0;  // POSIX permission bits; kOwnerOnlyMode on Windows
  std::string owner;       // user ID in decimal; owner SID on Windows
  std::string group;       // group ID in decimal; empty on Windows
  // The owner may read and change any file anyway: root; on Windows SYSTEM
  // or the Administrators group.
  bool owner_is_administrator = false;
  // The owner is the user this process acts as (its effective user ID; on
  // Windows the user of its token).
  bool owner_is_caller = false;
};

// An open file addressed by absolute offsets. Not safe for concurrent use.
class RandomRWFile {
 public:
  RandomRWFile() = default;
  RandomRWFile(const RandomRWFile&) = delete;
  RandomRWFile& operator=(const RandomRWFile&) = delete;
  // Closes the file, which releases every lock taken through it.
  virtual ~RandomRWFile() = default;

  // Reads exactly `n` bytes at `offset` into `dst`. Reaching the end of the
  // file first is an I/O error; `dst` then holds what was read.
  virtual Status Read(std::uint64_t offset, std::size_t n, void* dst) = 0;

  // Writes all `n` bytes at `offset`, extending the file if needed.
  virtual Status Write(std::uint64_t offset, const void* src,
                       std::size_t n) = 0;

  // An I/O error when the open file is not a regular file.
  virtual Status Size(std::uint64_t* size) = 0;

  // Cuts or extends (with zeros) the file to `size` bytes.
  virtual Status Truncate(std::uint64_t size) = 0;

  // Where a scan from `offset` must read next: every byte of
  // [offset, *begin) reads as zero, and [*begin, *end) is a stretch that may
  // hold data, which a hole may follow. *begin >= offset, and *end > *begin
  // unless no byte from `offset` on may be non-zero: then both are the
  // file's size, or `offset` if that is larger. Lets a scan skip a sparse
  // file's holes and stop at their starts; [offset, size) is always a
  // correct answer.
  virtual Status NextData(std::uint64_t offset, std::uint64_t* begin,
                          std::uint64_t* end) = 0;

  // Makes every completed write and truncation durable.
  virtual Status Sync() = 0;

  // The file's POSIX permission bits (kOwnerOnlyMode on Windows), so that a
  // side file can be given the same.
  virtual Status Permissions(std::uint32_t* mode) = 0;

  // What the system says of the open file, in one call (fstat). Every field
  // comes from the file itself, never from its path; `*facts` is untouched
  // on failure. mount_id is filled only by MountOf.
  virtual Status Facts(FileFacts* facts) = 0;

  // The mount the open file lies on (0 where the system cannot tell).
  virtual Status MountOf(std::uint64_t* mount_id) = 0;

  // The path the system reaches the open file by, every symbolic link and
  // "." or ".." resolved, in UTF-8: one name per file whichever path opened
  // it. IOError when the system cannot tell (the file was removed, say).
  virtual Status ResolvedPath(std::string* path) = 0;

  // Gives the file the owner, group and permission bits of `model`, asking
  // the system only for what differs. Only root may hand a file to another
  // user, and only a member may hand it to a group: IOError (and the
  // permission bits possibly set) otherwise. On Windows, where the access
  // list rules instead, only the owner is given, and only where the system
  // lets the caller (the restore privilege, enabled): IOError otherwise, and
  // where the file system keeps no owner it was given.
  virtual Status TakeOwnershipOf(const FileFacts& model) = 0;

  // Tries once, without waiting, to lock the bytes [offset, offset + length)
  // in `mode`. Busy when another open of the file holds a conflicting lock.
  // A lock belongs to this open of the file, not to the process or thread:
  // two opens in one process conflict as two processes do. Locks need not
  // cover data: the store locks bytes far past any data, so that on systems
  // with mandatory locks no reader is ever refused. An exclusive lock needs
  // a file opened for writing.
  virtual Status TryLock(std::uint64_t offset, std::uint64_t length,
                         LockMode mode) = 0;
  // Releases a lock this open holds on exactly that range.
  virtual Status Unlock(std::uint64_t offset, std::uint64_t length) = 0;

  // How a reader passes a gate that a waiting writer closes: locks byte
  // `gate + 1` shared, provided no other open holds byte `gate` or
  // `gate + 1` exclusively, and holds nothing on `gate` afterwards. Busy
  // otherwise, with nothing held. The same as TryLock of both bytes and
  // Unlock of the first, in as few system calls as the system allows.
  virtual Status TryLockSharedPastGate(std::uint64_t gate) {
    Status s = TryLock(gate, 1, LockMode::kShared);
    if (!s.ok()) return s;
    s = TryLock(gate + 1, 1, LockMode::kShared);
    Unlock(gate, 1);
    return s;
  }
};

// Tells which of the files a caller watches may have changed: what a caller
// needs to keep what it read of them across calls. One queue holds every
// watch; polling it costs one system call when nothing happened. Not safe
// for concurrent use. A child of fork shares its parent's queue, and a Poll
// in either takes events the other needs: the child must drop an inherited
// queue unpolled, and without Unwatch (see ForkSafeMutex).
class ChangeQueue {
 public:
  struct Report {
    int watch;   // as Watch gave it
    bool ended;  // the watch can tell no more: its owner must Unwatch it
  };

  ChangeQueue() = default;
  ChangeQueue(const ChangeQueue&) = delete;
  ChangeQueue& operator=(const ChangeQueue&) = delete;
  // Ends every watch.
  virtual ~ChangeQueue() = default;

  // Watches the file that the absolute `path` leads to, found open in
  // `folder` (its resolved folder), with the entries `names` of that folder
  // (last components) that the file's changes can touch: their creation,
  // removal, renaming, and the writes, cuts and changes of owner, mode or
  // times of the files they name. Also watched: the move or removal of every
  // folder the path passes through, and a new entry at the name of every
  // symbolic link on the way (the path then leads elsewhere: the watch
  // ends). `*watch` names it in Poll's reports. Refused, saying why, where
  // no change can be seen: on file systems that may be changed by another
  // machine or outside this kernel (only ext2/3/4, XFS, Btrfs and tmpfs are
  // watched). IOError when the system refused (its per-user limits, say).
  virtual Status Watch(const std::string& path, const std::string& folder,
                       const std::vector<std::string>& names, int* watch) = 0;
  virtual void Unwatch(int watch) = 0;

  // Appends a report for each watch that saw a change since the last Poll
  // (a watch may be reported more than once), and sets `*mounts_changed`
  // when a file system may have been mounted or unmounted anywhere since,
  // which moves no watch: the owner must ask whether its paths still lead
  // to the files it watches. Every such change made by a system call that
  // returned before this Poll began is reported, by this Poll or an earlier
  // one. Not seen: writes through a memory mapping, and writes that raise
  // no event at all (asynchronous I/O on some kernels). IOError when the
  // queue can tell no more (changes were lost): every watch may have seen a
  // change, and must be dropped.
  virtual Status Poll(std::vector<Report>* reports, bool* mounts_changed) = 0;
};

// A folder held open. An entry opened, made or removed through it is in
// this very folder, whatever happens meanwhile to the path that led to it (a
// folder on the way moved, a link re-pointed): for the files beside the
// configuration file, which must lie where every process looks. Entries are
// named by one path component.
class Folder {
 public:
  Folder() = default;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  virtual ~Folder() = default;

  // As the Env's calls of the same names, for the entry `name` of this
  // folder.
  virtual Status OpenNoFollow(const std::string& name, OpenAccess access,
                              std::unique_ptr<RandomRWFile>* result) = 0;
  virtual Status EntryFacts(const std::string& name, FileFacts* facts) = 0;
  virtual Status CreateExclusive(const std::string& name, std::uint32_t mode,
                                 std::unique_ptr<RandomRWFile>* result) = 0;
  virtual Status RemoveFile(const std::string& name) = 0;

  // Makes the folder's entries durable (Env::SyncDirectoryOf).
  virtual Status Sync() = 0;
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The system's Env. It holds no state and is never destroyed: it stays
  // valid until the module that holds it (the program, or the library's
  // shared object or DLL) is unloaded, also in static destructors and at
  // the module's detach.
  static Env* Default();

  // Opens an existing regular file, shared for reading and writing with
  // other openers. FileMissing when it does not exist. A path that is not a
  // regular file fails here or, at the latest, at the file's first Size.
  virtual Status Open(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) = 0;

  // As Open, but never through a symbolic link (or, on Windows, any reparse
  // point) as the path's last component: IOError for such a name, with
  // nothing opened. For files beside the configuration file, which anyone
  // who may write the folder could have planted.
  virtual Status OpenNoFollow(const std::string& path, OpenAccess access,
                              std::unique_ptr<RandomRWFile>* result) = 0;

  // What the entry `path` itself is, without following a symbolic link as
  // its last component (lstat): a link reads as not regular. FileMissing when
  // there is none. Only `regular`, `size`, `links` and the identity are
  // filled everywhere; POSIX fills the owner, group and mode too (of the
  // link itself, for a link); Windows fills the owner of an entry that is no
  // regular file (a link, a folder) where its access list lets the caller
  // read it, and leaves the rest empty.
  virtual Status EntryFacts(const std::string& path, FileFacts* facts) = 0;

  // What the file `path` leads to now, every symbolic link followed: as
  // RandomRWFile::Facts, with mount_id, by path (stat and statx), so
  // that a caller can tell whether the path still names a file it opened.
  // FileMissing when it leads to nothing.
  virtual Status PathFacts(const std::string& path, FileFacts* facts) {
    std::unique_ptr<RandomRWFile> file;
    FileFacts found;
    Status s = Open(path, OpenAccess::kReadOnly, &file);
    if (s.ok()) s = file->Facts(&found);
    if (s.ok()) s = file->MountOf(&found.mount_id);
    if (s.ok()) *facts = found;
    return s;
  }

  // The mount the folder holding `path` lies on (0 where the system cannot
  // tell), to compare with RandomRWFile::MountOf of a file in it.
  virtual Status MountOfFolder(const std::string& path,
                               std::uint64_t* mount_id) = 0;

  // Opens the folder `path`, following links, to work on its entries. On
  // Windows the handle shares no deletion, so that the system refuses to
  // rename or remove the folder while it is open (Wine does not enforce
  // this), and the entries are reached through `path`.
  virtual Status OpenFolder(const std::string& path,
                            std::unique_ptr<Folder>* result) = 0;

  // Creates `path` new and empty, for reading and writing, with permission
  // bits `mode & 07777` exactly (not narrowed by the process's umask), and
  // private on Windows when `mode` holds kPrivateOnWindows. AlreadyExists,
  // and nothing touched, when any entry of that name exists.
  virtual Status CreateExclusive(const std::string& path, std::uint32_t mode,
                                 std::unique_ptr<RandomRWFile>* result) = 0;

  // Gives the file `from` the name `to` in one step, replacing a file `to`.
  virtual Status RenameReplacing(const std::string& from,
                                 const std::string& to) = 0;

  // Gives the file `from` the name `to` in one step, but only if no entry
  // named `to` exists: AlreadyExists otherwise, with both names untouched.
  // `from` is gone afterwards either way only on success.
  virtual Status RenameNoReplace(const std::string& from,
                                 const std::string& to) = 0;

  virtual Status RemoveFile(const std::string& path) = 0;

  // True when any directory entry (file, directory, ...) has this path.
  virtual bool EntryExists(const std::string& path) = 0;

  // The size of the file at `path` in one system call; FileMissing when there
  // is none.
  virtual Status FileSize(const std::string& path, std::uint64_t* size) = 0;

  // Makes the entries of the directory holding `path` durable, so that a
  // file created or renamed there survives a power cut. Nothing to do on
  // systems whose file creation is durable with the file (Windows).
  virtual Status SyncDirectoryOf(const std::string& path) = 0;

  // The process's working folder, absolute (getcwd): what a relative path
  // is taken from at this moment. Refused where the system is not asked.
  virtual Status CurrentFolder(std::string* /*folder*/) {
    return Status::Refused("the working folder is not asked on this system");
  }

  virtual std::uint64_t NowMicros() = 0;
  // NowMicros as a cheaper clock tells it: never ahead of NowMicros, and
  // behind it by less than kCoarseClockLagMicros. For a bound that a lag
  // of that much may only tighten.
  static constexpr std::uint64_t kCoarseClockLagMicros = 10 * 1000;
  virtual std::uint64_t CoarseNowMicros() { return NowMicros(); }
  virtual void SleepForMicroseconds(int micros) = 0;

  // The time of day, in nanoseconds since 1970: the clock file times are
  // given by, to tell how long ago a file changed.
  virtual std::int64_t WallClockNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // The value of the process's environment variable `name` (in UTF-8 on
  // Windows); false when it is not set.
  virtual bool Variable(const std::string& /*name*/, std::string* /*value*/) {
    return false;
  }

  // Who FileFacts::owner names when this process made a file: the effective
  // user ID in decimal on POSIX, the process's user SID on Windows; empty
  // when it cannot be told.
  virtual std::string CallerIdentity() { return std::string(); }

  // A new ChangeQueue. Refused, saying why, where the system gives no such
  // signal (Windows, the default here); IOError when it refused one.
  virtual Status NewChangeQueue(std::unique_ptr<ChangeQueue>* queue) {
    queue->reset();
    return Status::Refused("no change signal on this system");
  }
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_ENV_H_
