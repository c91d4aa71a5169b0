#include "src/store/read_cache.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "src/store/journal.h"

namespace brellox {
namespace {

// Two writes within one tick of a file system's clock may leave the same
// times: times this close to the read vouch for nothing after it.
constexpr std::int64_t kTimestampTickNanos = 1000 * 1000 * 1000;

std::size_t Cost(const TableImage& image) {
  const auto count = static_cast<std::size_t>(image.count());
  return count * static_cast<std::size_t>(image.record_size()) +
         count * kIndexBytesPerRecord * kMaxIndexesPerTable +
         sizeof(TableImage);
}

// `store.path` as an absolute path, taken from the working folder as it is
// now when relative; false when that cannot be told (or there is none).
// Where the Env does not tell its working folder (Windows, which gives no
// change signal either), the path as given. `*path` is left empty when it
// is `store.path` itself.
bool AbsolutePath(const Store& store, std::string* path) {
  path->clear();
  if (store.path.empty()) return false;
  const bool absolute = store.path[0] == '/';
  std::string folder;
  const Status s = absolute ? Status::OK() : store.env->CurrentFolder(&folder);
  if (absolute || s.IsRefused()) return true;
  if (!s.ok()) return false;
  *path = folder + "/" + store.path;
  return true;
}

bool SameFile(const FileFacts& a, const FileFacts& b) {
  return a.device == b.device && a.inode == b.inode && a.mount_id == b.mount_id;
}

bool SameVersion(const FileFacts& a, const FileFacts& b) {
  return SameFile(a, b) && a.size == b.size && a.modified_ns == b.modified_ns &&
         a.changed_ns == b.changed_ns;
}

// Where the file's resolved path puts it: its folder, and the name in it
// that its changes touch. Not the journal's: a writer changes nothing a
// reader keeps until it writes the file, and the file's own writes are
// seen, so readers go on answering from memory while a writer reads, plans
// and journals. A journal that a crash left with content is recovered by
// the next call that reads the file, which a torn file's writes cause.
bool FolderOf(const FilePlace& place, std::string* folder,
              std::vector<std::string>* names) {
  const std::string& journal = place.journal;
  const std::size_t tail = place.file_name.size() + sizeof(kJournalSuffix) - 1;
  if (journal.size() <= tail) return false;
  // Where the file's name starts, after its folder's separator; the folder
  // keeps a separator only when it is the root.
  const std::size_t name_at = journal.size() - tail;
  *folder = journal.substr(0, name_at == 1 ? name_at : name_at - 1);
  *names = {place.file_name};
  return true;
}

bool CacheWanted() {
  const char* setting = std::getenv("BRELLOX_READ_CACHE");
  return setting == nullptr || std::strcmp(setting, "0") != 0;
}

}  // namespace

Status OpenTable(const Store& store, Access access, const TableSpec& spec,
                 ConfigSession* session, TableImage* image,
                 std::int32_t limit) {
  if (access == Access::kRead) {
    return ReadCache::OfProcess().Load(store, spec, session, image, limit);
  }
  Status s = session->Open(store, access);
  if (s.ok()) s = TableImage::Load(*session, spec, image, limit);
  return s;
}

Status ReadTable(const Store& store, const TableSpec& spec, TableImage* image,
                 std::int32_t limit) {
  // A table the cache does not hold is copied out of the file, so the
  // image outlives the session, which the cache makes only for a miss.
  return ReadCache::OfProcess().Load(store, spec, nullptr, image, limit);
}

Status CountRecords(const Store& store, const TableSpec& spec,
                    std::int32_t* count) {
  // The whole table, not only the header, so that the count comes from
  // the cache and a miss fills it for the next lookup.
  TableImage image;
  Status s = ReadTable(store, spec, &image);
  if (s.ok()) *count = image.count();
  return s;
}

ReadCache& ReadCache::OfProcess() {
  // Destroyed when the library is unloaded, with its watches and tables: a
  // heap copy would leak them with every unloaded copy of the library.
  static ReadCache cache(kProcessLimitBytes, kFromEnvironment);
  // Before any table is kept: a writer of this process drops what it
  // changed.
  static const bool listening =
      (ListenToCommits([](const Store& store) { OfProcess().Forget(store); }),
       true);
  (void)listening;
  return cache;
}

namespace {

// The process's cache is made while the library loads, before any thread
// of the process can fork: a child forked while another thread was making
// it would wait at its first call for that thread, which it does not have.
[[maybe_unused]] const ReadCache& made_at_load = ReadCache::OfProcess();

}  // namespace

bool ReadCache::Enabled() {
  int on = switch_.load(std::memory_order_relaxed);
  if (on == kFromEnvironment) {
    on = CacheWanted() ? kOn : kOff;
    switch_.store(on, std::memory_order_relaxed);
  }
  return on == kOn;
}

std::size_t ReadCache::bytes() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return bytes_;
}

void ReadCache::ForgetAllInChild(void* cache) {
  auto* self = static_cast<ReadCache*>(cache);
  // No Unwatch: the parent's watches are in the same instances.
  self->entries_.clear();
  self->queues_.clear();
  self->bytes_ = 0;
}

void ReadCache::DropTablesLocked(Entry* entry) {
  for (auto& table : entry->tables) {
    if (table != nullptr) entry->retired.push_back(std::move(table));
  }
}

void ReadCache::ReleaseRetiredLocked(Entry* entry, Tables* released) {
  for (auto& table : entry->retired) {
    bytes_ -= Cost(*table);
    released->push_back(std::move(table));
  }
  entry->retired.clear();
}

void ReadCache::ChangedLocked(Entry* entry) {
  DropTablesLocked(entry);
  entry->generation = ++last_generation_;
}

void ReadCache::EraseLocked(Entries::iterator entry) {
  Tables released;
  DropTablesLocked(&entry->second);
  ReleaseRetiredLocked(&entry->second, &released);
  const auto queue = queues_.find(entry->first.first);
  if (queue != queues_.end()) queue->second->Unwatch(entry->second.watch);
  entries_.erase(entry);
}

void ReadCache::ForgetEnvLocked(Env* env) {
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    if (entry->first.first == env) {
      Tables released;
      DropTablesLocked(&entry->second);
      ReleaseRetiredLocked(&entry->second, &released);
      entry = entries_.erase(entry);
    } else {
      ++entry;
    }
  }
  queues_.erase(env);
}

void ReadCache::PollLocked(Env* env) {
  const auto queue = queues_.find(env);
  if (queue == queues_.end()) return;
  std::vector<ChangeQueue::Report> reports;
  bool mounts_changed = false;
  if (!queue->second->Poll(&reports, &mounts_changed).ok()) {
    ForgetEnvLocked(env);
    return;
  }
  for (const ChangeQueue::Report& report : reports) {
    const auto entry =
        std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) {
          return e.first.first == env && e.second.watch == report.watch;
        });
    if (entry == entries_.end()) continue;
    if (report.ended) {
      EraseLocked(entry);
    } else {
      ChangedLocked(&entry->second);
    }
  }
  // A mount moves no watch: each path is asked where it leads now.
  if (!mounts_changed) return;
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    const auto next = std::next(entry);
    FileFacts now;
    if (entry->first.first == env &&
        (!env->PathFacts(entry->first.second, &now).ok() ||
         !SameFile(now, entry->second.read))) {
      EraseLocked(entry);
    }
    entry = next;
  }
}

bool ReadCache::StillAsReadLocked(Entries::iterator entry) {
  Env* env = entry->first.first;
  // The cheap clock, which may lag: both ends of the interval are read
  // from it, so the lag is added once for a look never to come later than
  // kRevalidateMicros after the last.
  const std::uint64_t now = env->CoarseNowMicros();
  Entry& e = entry->second;
  if (now + Env::kCoarseClockLagMicros - e.confirmed < kRevalidateMicros) {
    return true;
  }
  FileFacts facts;
  if (!env->PathFacts(entry->first.second, &facts).ok() ||
      !SameVersion(facts, e.read)) {
    EraseLocked(entry);
    return false;
  }
  e.confirmed = now;
  if (!e.racy) return true;
  // Read again: its times, a tick older by now, can vouch for the next.
  ChangedLocked(&e);
  return false;
}

std::shared_ptr<const TableImage> ReadCache::Find(const KeyView& key, int table,
                                                  std::uint64_t* generation,
                                                  Identity* last_read) {
  *generation = 0;
  std::lock_guard<std::mutex> hold(mutex_);
  PollLocked(key.first);
  auto entry = entries_.find(key);
  if (entry == entries_.end()) return nullptr;
  if (entry->second.tables[table] != nullptr && !StillAsReadLocked(entry)) {
    entry = entries_.find(key);
    if (entry == entries_.end()) return nullptr;
  }
  *generation = entry->second.generation;
  if (entry->second.tables[table] != nullptr) return entry->second.tables[table];
  // A miss on a watched file: where the last fill found the file.
  const FileFacts& read = entry->second.read;
  *last_read = Identity{read.device, read.inode, read.mount_id};
  return nullptr;
}

std::uint64_t ReadCache::StartFill(const KeyView& key,
                                   const ConfigSession& session) {
  std::string folder;
  std::vector<std::string> names;
  if (!FolderOf(session.place(), &folder, &names)) return 0;
  std::lock_guard<std::mutex> hold(mutex_);
  auto entry = entries_.find(key);
  if (entry != entries_.end()) return entry->second.generation;
  auto& queue = queues_[key.first];
  if (queue == nullptr && !key.first->NewChangeQueue(&queue).ok()) {
    queues_.erase(key.first);
    return 0;
  }
  int watch = 0;
  if (!queue->Watch(std::string(key.second), folder, names, &watch).ok()) {
    return 0;
  }
  if (entries_.size() >= kMaxWatchedFiles) {
    EraseLocked(std::min_element(entries_.begin(), entries_.end(),
                                 [](const auto& a, const auto& b) {
                                   return a.second.made < b.second.made;
                                 }));
  }
  Entry& made = entries_[Key(key.first, std::string(key.second))];
  made.watch = watch;
  made.generation = made.made = ++last_generation_;
  return made.generation;
}

void ReadCache::Keep(const KeyView& key, int table, std::uint64_t generation,
                     const FileFacts& read, std::int64_t read_at,
                     const std::shared_ptr<const TableImage>& image) {
  const std::size_t cost = Cost(*image);
  // Freed after the lock is let go, by the call that reads the file anew.
  Tables released;
  std::lock_guard<std::mutex> hold(mutex_);
  const auto entry = entries_.find(key);
  // A poll that reported a change since the fill began has moved the
  // generation on: what was read may be stale. A change whose event no
  // poll has read yet is still queued, and the next call's poll drops it.
  if (entry == entries_.end() || entry->second.generation != generation ||
      cost > limit_bytes_) {
    return;
  }
  Entry& e = entry->second;
  ReleaseRetiredLocked(&e, &released);
  const bool kept_any = std::any_of(e.tables.begin(), e.tables.end(),
                                    [](const auto& t) { return t != nullptr; });
  // Tables read from two versions that no signal told apart: keep neither.
  if (kept_any && !SameVersion(read, e.read)) {
    ChangedLocked(&e);
    return;
  }
  for (auto other = entries_.begin();
       other != entries_.end() && bytes_ + cost > limit_bytes_; ++other) {
    DropTablesLocked(&other->second);
    ReleaseRetiredLocked(&other->second, &released);
  }
  if (!kept_any) {
    e.read = read;
    e.confirmed = key.first->CoarseNowMicros();
    e.racy = read_at - std::max(read.modified_ns, read.changed_ns) <
             kTimestampTickNanos;
  }
  auto& slot = e.tables[table];
  if (slot != nullptr) bytes_ -= Cost(*slot);
  slot = image;
  bytes_ += cost;
}

Status ReadCache::Load(const Store& store, const TableSpec& spec,
                       ConfigSession* session, TableImage* image,
                       std::int32_t limit) {
  const int table = static_cast<int>(spec.section);
  // Made only when the file is read: a hit constructs no session.
  std::optional<ConfigSession> own;
  // The file the path names now, by its absolute path: a later chdir must
  // not make the same key name another file.
  // An absolute path is not copied: a hit allocates nothing.
  std::string made;
  if (!Enabled() || !AbsolutePath(store, &made)) {
    if (session == nullptr) session = &own.emplace();
    Status s = session->Open(store, Access::kRead);
    if (s.ok()) s = TableImage::Load(*session, spec, image, limit);
    return s;
  }
  const KeyView key(store.env, made.empty() ? std::string_view(store.path)
                                            : std::string_view(made));
  // The generation a fill starts under is noted before the file is opened:
  // every change after the read below is reported by a later poll.
  std::uint64_t generation = 0;
  Identity last_read;
  std::shared_ptr<const TableImage> kept =
      Find(key, table, &generation, &last_read);
  if (kept != nullptr) {
    TableImage::Share(std::move(kept), limit, image);
    return Status::OK();
  }
  if (session == nullptr) session = &own.emplace();
  const Store at{store.env, std::string(key.second)};
  FileFacts read;
  for (;;) {
    Status s = session->Open(at, Access::kRead);
    if (!s.ok()) return s;
    // A call that wants only the first records reads only those.
    if (limit >= 0 &&
        limit < GetSection(session->header(), spec.section).count) {
      return TableImage::Load(*session, spec, image, limit);
    }
    // A second name in another folder, or a mount over the file alone,
    // would let a change reach the file without passing through the
    // watched folder.
    if (session->facts().links != 1 || session->place().mounted_alone) {
      generation = 0;
      break;
    }
    const bool watched = generation != 0;
    // The file was watched when this call polled, before the open: every
    // change to where the path leads since then is queued, and moves the
    // generation on (or ends the watch) once a poll reads it, so the path
    // need not be asked again. The open file's facts, taken under its lock,
    // are those of the read. When it is the file the last fill read, its
    // mount is that fill's: a mount since then is queued too, and makes
    // the poll that reads it ask the path.
    if (watched && session->facts().device == last_read.device &&
        session->facts().inode == last_read.inode) {
      read = session->facts();
      read.mount_id = last_read.mount_id;
      break;
    }
    if (!watched) generation = StartFill(key, *session);
    if (generation == 0) break;
    // The watch, this call's or another's, may have been made after the
    // open: a rename over the file in between raised nothing it reports.
    // The path must still lead to the file opened; if not, the file it
    // leads to now is opened again, under the watch.
    if (at.env->PathFacts(at.path, &read).ok() &&
        read.device == session->facts().device &&
        read.inode == session->facts().inode) {
      break;
    }
    if (watched) {
      generation = 0;
      break;
    }
  }
  // Before the read: a write after it has later times than this.
  const std::int64_t read_at = at.env->WallClockNanos();
  auto loaded = std::make_shared<TableImage>();
  Status s = TableImage::Load(*session, spec, loaded.get());
  if (!s.ok()) return s;
  // No index is built here: the first lookup of a new image scans, as a
  // call without the cache does, and the second builds the index it uses.
  if (generation != 0) Keep(key, table, generation, read, read_at, loaded);
  TableImage::Share(std::move(loaded), limit, image);
  return Status::OK();
}

void ReadCache::Forget(const Store& store) {
  std::string made;
  const bool keyed = AbsolutePath(store, &made);
  const std::string& path = made.empty() ? store.path : made;
  std::lock_guard<std::mutex> hold(mutex_);
  for (auto& [key, entry] : entries_) {
    // Without its absolute path, any file of its Env may be the one.
    if (key.first == store.env && (!keyed || key.second == path)) {
      ChangedLocked(&entry);
    }
  }
}

}  // namespace brellox
