#include "src/store/read_cache.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "src/store/journal.h"

namespace brellox {
namespace {

std::size_t Cost(const TableImage& image) {
  const auto count = static_cast<std::size_t>(image.count());
  return count * static_cast<std::size_t>(image.record_size()) +
         count * kIndexBytesPerRecord * kMaxIndexesPerTable +
         sizeof(TableImage);
}

// What the file's changes can touch in the folder of its resolved path: the
// file's entry and its journal's (journal.h names it after that path).
Status WatchPlace(Env* env, const FilePlace& place,
                  std::unique_ptr<ChangeWatch>* watch) {
  const std::string& journal = place.journal;
  const std::size_t tail = place.file_name.size() + sizeof(kJournalSuffix) - 1;
  if (journal.size() <= tail) {
    return Status::Refused(journal + ": no folder to watch");
  }
  // Where the file's name starts, after its folder's separator; the folder
  // keeps a separator only when it is the root.
  const std::size_t name_at = journal.size() - tail;
  const std::string folder =
      journal.substr(0, name_at == 1 ? name_at : name_at - 1);
  return env->WatchChanges(
      folder, {place.file_name, place.file_name + kJournalSuffix}, watch);
}

}  // namespace

ReadCache& ReadCache::OfProcess() {
  // Destroyed when the library is unloaded, with its watches and tables: a
  // heap copy would leak them with every unloaded copy of the library.
  static ReadCache cache(kProcessLimitBytes);
  return cache;
}

std::size_t ReadCache::bytes() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return bytes_;
}

void ReadCache::DropTablesLocked(Entry* entry) {
  for (auto& table : entry->tables) {
    if (table != nullptr) bytes_ -= Cost(*table);
    table.reset();
  }
}

bool ReadCache::PollLocked(Entries::iterator entry) {
  bool changed = true;
  const Status s = entry->second.watch->Poll(&changed);
  if (!s.ok()) {
    DropTablesLocked(&entry->second);
    entries_.erase(entry);
    return false;
  }
  if (changed) {
    DropTablesLocked(&entry->second);
    entry->second.generation = ++last_generation_;
  }
  return true;
}

std::shared_ptr<const TableImage> ReadCache::Find(const KeyView& key, int table,
                                                  std::uint64_t* generation) {
  *generation = 0;
  std::lock_guard<std::mutex> hold(mutex_);
  const auto entry = entries_.find(key);
  if (entry == entries_.end() || !PollLocked(entry)) return nullptr;
  *generation = entry->second.generation;
  return entry->second.tables[table];
}

std::uint64_t ReadCache::StartFill(const KeyView& key,
                                   const ConfigSession& session) {
  std::lock_guard<std::mutex> hold(mutex_);
  auto entry = entries_.find(key);
  if (entry != entries_.end()) return entry->second.generation;
  // Made while the session holds the file's lock: every change after what
  // the session reads comes after the watch, which reports it.
  std::unique_ptr<ChangeWatch> watch;
  if (!WatchPlace(key.first, session.place(), &watch).ok()) return 0;
  if (entries_.size() >= kMaxWatchedFiles) {
    const auto oldest = std::min_element(entries_.begin(), entries_.end(),
                                         [](const auto& a, const auto& b) {
                                           return a.second.made < b.second.made;
                                         });
    DropTablesLocked(&oldest->second);
    entries_.erase(oldest);
  }
  Entry& made = entries_[Key(key.first, std::string(key.second))];
  made.watch = std::move(watch);
  made.generation = made.made = ++last_generation_;
  return made.generation;
}

void ReadCache::Keep(const KeyView& key, int table, std::uint64_t generation,
                     const std::shared_ptr<const TableImage>& image) {
  const std::size_t cost = Cost(*image);
  std::lock_guard<std::mutex> hold(mutex_);
  const auto entry = entries_.find(key);
  // A poll that reported a change since the fill began has moved the
  // generation on: what was read may be stale. A change whose event no
  // poll has read yet is still queued, and the next call's poll drops it.
  if (entry == entries_.end() || entry->second.generation != generation ||
      cost > limit_bytes_) {
    return;
  }
  for (auto other = entries_.begin();
       other != entries_.end() && bytes_ + cost > limit_bytes_; ++other) {
    DropTablesLocked(&other->second);
  }
  auto& slot = entry->second.tables[table];
  if (slot != nullptr) bytes_ -= Cost(*slot);
  slot = image;
  bytes_ += cost;
}

Status ReadCache::Load(const Store& store, const TableSpec& spec,
                       ConfigSession* session, TableImage* image,
                       std::int32_t limit) {
  const KeyView key(store.env, store.path);
  const int table = static_cast<int>(spec.section);
  // The generation a fill starts under is noted before the file is opened:
  // every change after the read below is reported by a later poll.
  std::uint64_t generation = 0;
  std::shared_ptr<const TableImage> kept = Find(key, table, &generation);
  if (kept != nullptr) {
    TableImage::Share(std::move(kept), limit, image);
    return Status::OK();
  }
  Status s = session->Open(store, Access::kRead);
  if (!s.ok()) return s;
  // A call that wants only the first records reads only those.
  if (limit >= 0 && limit < GetSection(session->header(), spec.section).count) {
    return TableImage::Load(*session, spec, image, limit);
  }
  // A second name in another folder, or a mount over the file alone, would
  // let a change reach the file without passing through the watched folder.
  if (session->facts().links != 1 || session->place().mounted_alone) {
    generation = 0;
  } else if (generation == 0) {
    generation = StartFill(key, *session);
  }
  auto loaded = std::make_shared<TableImage>();
  s = TableImage::Load(*session, spec, loaded.get());
  if (!s.ok()) return s;
  if (generation != 0) Keep(key, table, generation, loaded);
  TableImage::Share(std::move(loaded), limit, image);
  return Status::OK();
}

void ReadCache::Forget(const Store& store) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto entry = entries_.find(KeyView(store.env, store.path));
  if (entry == entries_.end()) return;
  DropTablesLocked(&entry->second);
  entry->second.generation = ++last_generation_;
}

}  // namespace brellox
