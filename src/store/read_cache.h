// The read cache: what calls that only read have read of a table, kept
// across calls within one process, and answered from only while nothing can
// have changed the file since. doc/read_cache.md gives the proof and lists
// what the change signal cannot see.
//
// Files are known by their absolute path (a relative one taken from the
// working folder at the call). One change queue (Env::NewChangeQueue) holds
// a watch for each cached file: its folder, for the file's name and its
// journal's, the folders and links its path passes through, and the mount
// table. A table is served from memory only when the queue, polled under
// the cache's lock, reports nothing for it since the table was read, and,
// once a second, one look at the path finds the file as it was read (which
// bounds changes the signal cannot see). A miss reads as every call did
// before (ConfigSession::Open: the lock, the journal check and any
// recovery, the header, the table) and keeps the table only if no poll
// reported a change between its own poll, before it opened the file, and
// keeping it, and the path still led to the file it opened once its watch
// existed. Where no watch can be had (Windows, a network file system, a
// file with several names or mounted alone, a failed watch), or with
// BRELLOX_READ_CACHE=0 in the environment, every call reads the file.
#ifndef BRELLOX_STORE_READ_CACHE_H_
#define BRELLOX_STORE_READ_CACHE_H_

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fork_safe_mutex.h"
#include "src/store/config_file.h"
#include "src/store/store.h"
#include "src/store/table.h"

namespace brellox {

// Opens the store (ConfigSession::Open) for `access` and loads the first
// min(limit, count) records of `spec`'s table into `*image` (limit < 0: all).
// For Access::kRead the process's read cache answers (read_cache.h): the
// image may be a read-only view, and `*session` may stay unopened.
Status OpenTable(const Store& store, Access access, const TableSpec& spec,
                 ConfigSession* session, TableImage* image,
                 std::int32_t limit = -1);

// For a call that only reads: the first min(limit, count) records of
// `spec`'s table on `store` (limit < 0: all), as OpenTable reads them for
// Access::kRead, so the read cache answers when it can. Fails as
// ConfigSession::Open and TableImage::Load fail.
Status ReadTable(const Store& store, const TableSpec& spec, TableImage* image,
                 std::int32_t limit = -1);

// The number of records in use in `spec`'s table on `store`, read as
// ReadTable reads it.
Status CountRecords(const Store& store, const TableSpec& spec,
                    std::int32_t* count);

class ReadCache {
 public:
  // The process's cache holds at most this many bytes of tables and their
  // indexes; a larger table is read on every call.
  static constexpr std::size_t kProcessLimitBytes = 64u << 20;
  // At most this many files are watched at once; watching another drops
  // the one watched longest ago (a few system calls, no descriptor).
  static constexpr std::size_t kMaxWatchedFiles = 256;
  // Each kept file is looked at by path at least this often.
  static constexpr std::uint64_t kRevalidateMicros = 1000 * 1000;

  // A cache keeping at most `limit_bytes` (table bytes plus
  // kIndexBytesPerRecord a record for each possible index), on when
  // `enabled`.
  explicit ReadCache(std::size_t limit_bytes, bool enabled = true)
      : limit_bytes_(limit_bytes), switch_(enabled ? kOn : kOff) {}
  ReadCache(const ReadCache&) = delete;
  ReadCache& operator=(const ReadCache&) = delete;

  // The one every call of the process shares: off when the environment
  // variable BRELLOX_READ_CACHE is 0 at the first lookup. Made while the
  // library loads.
  static ReadCache& OfProcess();

  // As OpenTable for Access::kRead: the first min(limit, count) records of
  // `spec`'s table (limit < 0: all) into `*image`, a read-only view of a
  // kept image. When the cache answers, `*session` is left unopened and no
  // file is touched; otherwise the session is opened and left open as
  // OpenTable leaves it, with the same failures. A null `session`: the
  // call makes its own only when it reads the file, and closes it before
  // it returns (the image is then a copy). Thread-safe.
  Status Load(const Store& store, const TableSpec& spec, ConfigSession* session,
              TableImage* image, std::int32_t limit);

  // Drops what is kept of the file at `store.path` through `store.env`, and
  // keeps nothing that a call already reading it would keep: for a writer
  // of this process, after its commit.
  void Forget(const Store& store);

  // Bytes charged for the tables kept now.
  std::size_t bytes() const;

 private:
  struct Entry {
    int watch = 0;           // in its Env's queue
    std::uint64_t made = 0;  // when it was watched, in generations
    // Moves on (from one counter for all entries) whenever the entry drops
    // its tables because something may have changed: a miss keeps its
    // table only if the generation it started under is still current.
    std::uint64_t generation = 0;
    // The file as its path led to it when the kept tables were read, and
    // when that was last confirmed (CoarseNowMicros).
    FileFacts read;
    std::uint64_t confirmed = 0;
    // Whether the file's times were within a tick of the read, so that a
    // later write in the same tick may have left them as they were.
    bool racy = false;
    std::array<std::shared_ptr<const TableImage>, kSectionCount> tables;
    // Tables dropped but not yet freed (still charged): freeing a large
    // table and its indexes is left to the next read of the same file, not
    // to the call on another file whose poll found the change.
    std::vector<std::shared_ptr<const TableImage>> retired;
  };
  using Key = std::pair<Env*, std::string>;
  using KeyView = std::pair<Env*, std::string_view>;
  struct KeyLess {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return a.first != b.first
                 ? std::less<Env*>()(a.first, b.first)
                 : std::string_view(a.second) < std::string_view(b.second);
    }
  };
  using Entries = std::map<Key, Entry, KeyLess>;

  // Under mutex_: reads `env`'s queue and drops what may be stale.
  void PollLocked(Env* env);
  void ForgetEnvLocked(Env* env);
  // Under mutex_: the entry's file, looked at by path, is still as it was
  // read; otherwise the entry is erased.
  bool StillAsReadLocked(Entries::iterator entry);
  using Tables = std::vector<std::shared_ptr<const TableImage>>;
  void DropTablesLocked(Entry* entry);
  // Moves the entry's retired tables to `*released`, for the caller to
  // free once mutex_ is let go.
  void ReleaseRetiredLocked(Entry* entry, Tables* released);
  // Drops the entry's tables because the file may have changed.
  void ChangedLocked(Entry* entry);
  void EraseLocked(Entries::iterator entry);
  // The kept table, or null for a miss; `*generation` is the file's after
  // the poll, 0 when it is not watched. For a miss on a watched file,
  // `*last_read` gets the device, inode and mount of the file as its last
  // fill found it (zeros before the first).
  struct Identity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t mount_id = 0;
  };
  std::shared_ptr<const TableImage> Find(const KeyView& key, int table,
                                         std::uint64_t* generation,
                                         Identity* last_read);
  // For a miss on a file not watched yet, with the session open (its lock
  // held): watches the file and returns the generation a fill starts
  // under, or 0 when the file cannot be watched.
  std::uint64_t StartFill(const KeyView& key, const ConfigSession& session);
  // Keeps `image`, read from the file `read` describes, no earlier than
  // `read_at` (WallClockNanos).
  void Keep(const KeyView& key, int table, std::uint64_t generation,
            const FileFacts& read, std::int64_t read_at,
            const std::shared_ptr<const TableImage>& image);

  // In a child of fork, with mutex_ held: the queues and what their watches
  // vouched for are dropped, so that the child never reads its parent's
  // events, and its first call makes its own watch.
  static void ForgetAllInChild(void* cache);

  // On, off, or (the process's cache) told by the environment at the first
  // lookup: read without a guard that a fork could copy held.
  enum Switch : int { kFromEnvironment, kOn, kOff };
  ReadCache(std::size_t limit_bytes, Switch on)
      : limit_bytes_(limit_bytes), switch_(on) {}
  bool Enabled();

  const std::size_t limit_bytes_;
  std::atomic<int> switch_;
  mutable ForkSafeMutex mutex_{&ReadCache::ForgetAllInChild, this};
  // One for each Env whose files are kept, made at its first fill.
  std::map<Env*, std::unique_ptr<ChangeQueue>> queues_;
  Entries entries_;
  std::uint64_t last_generation_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_READ_CACHE_H_
