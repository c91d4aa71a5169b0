// The read cache: what calls that only read have read of a table, kept
// across calls within one process, and answered from only while nothing can
// have changed the file since. doc/read_cache.md gives the proof.
//
// Each cached file has a change watch (Env::WatchChanges) on the folder of
// its resolved path, for the file's name and its journal's. A table is
// served from memory only when the watch, polled under the cache's lock,
// reports nothing since the table was read. A miss reads as every call
// did before (ConfigSession::Open: the lock, the journal check and any
// recovery, the header, the table) and keeps the table only if no poll
// reported a change between its own poll, before it opened the file, and
// keeping it. Where no
// watch can be had (Windows, a network file system, a file with several
// names or mounted alone, a failed watch) every call reads the file.
#ifndef BRELLOX_STORE_READ_CACHE_H_
#define BRELLOX_STORE_READ_CACHE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "src/store/config_file.h"
#include "src/store/store.h"
#include "src/store/table.h"

namespace brellox {

class ReadCache {
 public:
  // The process's cache holds at most this many bytes of tables and their
  // indexes; a larger table is read on every call.
  static constexpr std::size_t kProcessLimitBytes = 64u << 20;
  // At most this many files are watched at once: each watch holds one of
  // the user's few inotify instances. Watching another drops the oldest.
  static constexpr std::size_t kMaxWatchedFiles = 8;

  // A cache keeping at most `limit_bytes` (table bytes plus
  // kIndexBytesPerRecord a record for each possible index).
  explicit ReadCache(std::size_t limit_bytes) : limit_bytes_(limit_bytes) {}
  ReadCache(const ReadCache&) = delete;
  ReadCache& operator=(const ReadCache&) = delete;

  // The one every call of the process shares.
  static ReadCache& OfProcess();

  // As OpenTable for Access::kRead: the first min(limit, count) records of
  // `spec`'s table (limit < 0: all) into `*image`, a read-only view of a
  // kept image. When the cache answers, `*session` is left unopened and no
  // file is touched; otherwise the session is opened and left open as
  // OpenTable leaves it, with the same failures. Thread-safe.
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
    std::unique_ptr<ChangeWatch> watch;
    std::uint64_t made = 0;  // when it was watched, in generations
    // Moves on (from one counter for all entries) whenever the entry drops
    // its tables because something may have changed: a miss keeps its
    // table only if the generation it started under is still current.
    std::uint64_t generation = 0;
    std::array<std::shared_ptr<const TableImage>, kSectionCount> tables;
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

  // Under mutex_: polls the entry's watch and drops what may be stale;
  // false (the entry erased) when the watch can tell no more.
  bool PollLocked(Entries::iterator entry);
  void DropTablesLocked(Entry* entry);
  // The kept table, or null for a miss; `*generation` is the file's after
  // the poll, 0 when it is not watched.
  std::shared_ptr<const TableImage> Find(const KeyView& key, int table,
                                         std::uint64_t* generation);
  // For a miss on a file not watched yet, with the session open (its lock
  // held): watches the file and returns the generation a fill starts
  // under, or 0 when the file cannot be watched.
  std::uint64_t StartFill(const KeyView& key, const ConfigSession& session);
  void Keep(const KeyView& key, int table, std::uint64_t generation,
            const std::shared_ptr<const TableImage>& image);

  const std::size_t limit_bytes_;
  mutable std::mutex mutex_;
  Entries entries_;
  std::uint64_t last_generation_ = 0;
  std::size_t bytes_ = 0;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_READ_CACHE_H_
