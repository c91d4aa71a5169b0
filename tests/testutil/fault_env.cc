#include "tests/testutil/fault_env.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace brellox {
namespace test {
namespace {

Status Crashed() { return Status::IOError("the process has crashed"); }

class FaultFile : public RandomRWFile {
 public:
  FaultFile(FaultEnv* env, std::string path, std::unique_ptr<RandomRWFile> base)
      : env_(env),
        path_(std::move(path)),
        base_(std::move(base)),
        unlinked_(env->TakeUnlinkedOpen()) {}

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    Count().reads++;
    env_->total().reads++;
    FaultEnv::Fault fault;
    if (env_->ShouldFail(FaultEnv::Op::kRead, &fault)) {
      if (fault == FaultEnv::Fault::kCut) base_->Read(offset, n / 2, dst);
      return Status::IOError("injected read fault");
    }
    Count().bytes_read += n;
    env_->total().bytes_read += n;
    Status s = base_->Read(offset, n, dst);
    env_->RanRead();
    return s;
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    Count().writes++;
    env_->total().writes++;
    FaultEnv::Fault fault;
    if (env_->ShouldFail(FaultEnv::Op::kWrite, &fault)) {
      if (fault == FaultEnv::Fault::kCut) Put(offset, src, n / 2);
      return Status::IOError("injected write fault");
    }
    Count().bytes_written += n;
    env_->total().bytes_written += n;
    const Status s = Put(offset, src, n);
    env_->ObserveWrite(path_);
    return s;
  }

  Status Size(std::uint64_t* size) override {
    Count().fstats++;
    env_->total().fstats++;
    if (env_->crashed()) return Crashed();
    return base_->Size(size);
  }

  Status Truncate(std::uint64_t size) override {
    Count().truncates++;
    env_->total().truncates++;
    FaultEnv::Fault fault;
    if (env_->ShouldFail(FaultEnv::Op::kTruncate, &fault)) {
      return Status::IOError("injected truncate fault");
    }
    Status s = base_->Truncate(size);
    if (s.ok()) env_->RecordTruncate(path_, size);
    return s;
  }

  Status NextData(std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) override {
    Count().fstats++;
    env_->total().fstats++;
    if (env_->crashed()) return Crashed();
    return base_->NextData(offset, begin, end);
  }

  Status Sync() override {
    Count().syncs++;
    env_->total().syncs++;
    FaultEnv::Fault fault;
    if (env_->ShouldFail(FaultEnv::Op::kSync, &fault)) {
      return Status::IOError("injected sync fault");
    }
    Status s = env_->syncs_reach_disk() ? base_->Sync() : Status::OK();
    if (s.ok()) env_->RecordSync(path_);
    return s;
  }

  Status Permissions(std::uint32_t* mode) override {
    Count().fstats++;
    env_->total().fstats++;
    if (env_->crashed()) return Crashed();
    return base_->Permissions(mode);
  }

  Status Facts(FileFacts* facts) override {
    Count().fstats++;
    env_->total().fstats++;
    if (env_->crashed()) return Crashed();
    const Status s = base_->Facts(facts);
    if (s.ok() && unlinked_) facts->links = 0;
    return s;
  }

  Status MountOf(std::uint64_t* mount_id) override {
    if (env_->crashed()) return Crashed();
    return base_->MountOf(mount_id);
  }

  Status ResolvedPath(std::string* path) override {
    if (env_->crashed()) return Crashed();
    return base_->ResolvedPath(path);
  }

  Status TakeOwnershipOf(const FileFacts& model) override {
    if (env_->crashed()) return Crashed();
    return base_->TakeOwnershipOf(model);
  }

  Status TryLock(std::uint64_t offset, std::uint64_t length,
                 LockMode mode) override {
    Count().locks++;
    env_->total().locks++;
    if (env_->crashed()) return Crashed();
    return base_->TryLock(offset, length, mode);
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    Count().locks++;
    env_->total().locks++;
    return base_->Unlock(offset, length);
  }

  Status TryLockSharedPastGate(std::uint64_t gate) override {
    Count().locks++;
    env_->total().locks++;
    if (env_->crashed()) return Crashed();
    return base_->TryLockSharedPastGate(gate);
  }

 private:
  FaultEnv::Counters& Count() { return env_->CountersOf(path_); }

  Status Put(std::uint64_t offset, const void* src, std::size_t n) {
    Status s = base_->Write(offset, src, n);
    if (s.ok()) env_->RecordWrite(path_, offset, src, n);
    return s;
  }

  FaultEnv* const env_;
  const std::string path_;
  std::unique_ptr<RandomRWFile> base_;
  const bool unlinked_;
};

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void Apply(const std::string& bytes, std::uint64_t offset, std::string* content,
           std::size_t length) {
  const std::size_t at = static_cast<std::size_t>(offset);
  if (content->size() < at + length) content->resize(at + length, '\0');
  content->replace(at, length, bytes, 0, length);
}

// A change queue of a FaultEnv: the base Env's, or none (controlled), with
// what the test queued on top.
class FaultQueue : public ChangeQueue {
 public:
  FaultQueue(std::shared_ptr<FaultEnv::WatchState> state,
             std::unique_ptr<ChangeQueue> base)
      : state_(std::move(state)), base_(std::move(base)) {}

  Status Watch(const std::string& path, const std::string& folder,
               const std::vector<std::string>& names, int* watch) override {
    int made = ++last_watch_;
    if (base_ != nullptr) {
      Status s = base_->Watch(path, folder, names, &made);
      if (!s.ok()) return s;
    }
    watches_.push_back(made);
    ++state_->watches;
    *watch = made;
    return Status::OK();
  }

  void Unwatch(int watch) override {
    if (base_ != nullptr) base_->Unwatch(watch);
    watches_.erase(std::remove(watches_.begin(), watches_.end(), watch),
                   watches_.end());
  }

  Status Poll(std::vector<Report>* reports, bool* mounts_changed) override {
    *mounts_changed = false;
    if (state_->ended || state_->lost.exchange(false)) {
      return Status::IOError("the queue can tell no more");
    }
    if (base_ != nullptr) {
      Status s = base_->Poll(reports, mounts_changed);
      if (!s.ok()) return s;
    }
    if (state_->changed.exchange(false)) {
      for (const int watch : watches_) reports->push_back(Report{watch, false});
    }
    if (state_->mounts_changed.exchange(false)) *mounts_changed = true;
    return Status::OK();
  }

 private:
  const std::shared_ptr<FaultEnv::WatchState> state_;
  const std::unique_ptr<ChangeQueue> base_;
  int last_watch_ = 0;
  std::vector<int> watches_;
};

}  // namespace

FaultEnv::~FaultEnv() {
  for (const auto& state : watch_states_) state->ended = true;
}

void FaultEnv::QueueChange() {
  for (const auto& state : watch_states_) state->changed = true;
}

void FaultEnv::LoseChanges() {
  for (const auto& state : watch_states_) state->lost = true;
}

void FaultEnv::QueueMountChange() {
  for (const auto& state : watch_states_) state->mounts_changed = true;
}

void FaultEnv::AfterReads(int k, std::function<void()> action) {
  reads_until_action_ = k;
  after_reads_ = std::move(action);
}

void FaultEnv::RanRead() {
  if (after_reads_ && --reads_until_action_ == 0) {
    // Moved out first: the action may read through this Env itself.
    const std::function<void()> action = std::move(after_reads_);
    after_reads_ = nullptr;
    action();
  }
}

Status FaultEnv::NewChangeQueue(std::unique_ptr<ChangeQueue>* queue) {
  std::unique_ptr<ChangeQueue> base;
  if (watching_ == Watching::kNone) return Env::NewChangeQueue(queue);
  if (watching_ == Watching::kSystem) {
    Status s = base_->NewChangeQueue(&base);
    if (!s.ok()) return s;
  }
  watch_states_.push_back(std::make_shared<WatchState>());
  queue->reset(new FaultQueue(watch_states_.back(), std::move(base)));
  return Status::OK();
}

int FaultEnv::watches() const {
  int made = 0;
  for (const auto& state : watch_states_) made += state->watches;
  return made;
}

void MaterializeDiskState(const DiskState& state) {
  for (const auto& [path, content] : state) {
    if (!content) {
      std::filesystem::remove(path);
      continue;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content->data(), static_cast<std::streamsize>(content->size()));
  }
}

void FaultEnv::Arm(Op op, int k, Fault fault) {
  armed_ = true;
  fired_ = false;
  crashed_ = false;
  op_ = op;
  remaining_ = k;
  fault_ = fault;
  ResetCounts();
}

int FaultEnv::count(Op op) const {
  if (op == Op::kAny) return counts_[0] + counts_[1] + counts_[2] + counts_[3];
  return counts_[static_cast<int>(op)];
}

FaultEnv::Counters FaultEnv::CountersFor(const std::string& suffix) const {
  Counters sum;
  for (const auto& [path, c] : per_path_) {
    if (path.size() < suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    sum.opens += c.opens;
    sum.reads += c.reads;
    sum.writes += c.writes;
    sum.syncs += c.syncs;
    sum.truncates += c.truncates;
    sum.locks += c.locks;
    sum.stats += c.stats;
    sum.fstats += c.fstats;
    sum.bytes_read += c.bytes_read;
    sum.bytes_written += c.bytes_written;
  }
  return sum;
}

void FaultEnv::ResetCounts() {
  std::fill(std::begin(counts_), std::end(counts_), 0);
  total_ = Counters{};
  per_path_.clear();
}

bool FaultEnv::ShouldFail(Op op, Fault* fault) {
  ++counts_[static_cast<int>(op)];
  if (crashed_) {
    *fault = Fault::kFail;
    return true;
  }
  if (!armed_ || (op_ != Op::kAny && op != op_) || --remaining_ != 0) {
    return false;
  }
  armed_ = false;
  fired_ = true;
  *fault = fault_;
  if (fault_ == Fault::kCrash) {
    crashed_ = true;
    *fault = Fault::kFail;
  }
  return true;
}

void FaultEnv::StartRecording() {
  recording_ = true;
  tracked_.clear();
  unsynced_.clear();
}

void FaultEnv::StopRecording() {
  recording_ = false;
  tracked_.clear();
  unsynced_.clear();
}

void FaultEnv::Track(const std::string& path) {
  if (!recording_ || tracked_.count(path) > 0) return;
  const bool exists = std::filesystem::exists(path);
  tracked_[path] = Tracked{exists, exists ? ReadWhole(path) : std::string()};
}

void FaultEnv::RecordWrite(const std::string& path, std::uint64_t offset,
                           const void* data, std::size_t n) {
  if (!recording_) return;
  Track(path);
  unsynced_.push_back({Change::kWrite, path, offset,
                       std::string(static_cast<const char*>(data), n)});
}

void FaultEnv::RecordTruncate(const std::string& path, std::uint64_t size) {
  if (!recording_) return;
  Track(path);
  unsynced_.push_back({Change::kTruncate, path, size, std::string()});
}

void FaultEnv::RecordSync(const std::string& path) {
  if (!recording_) return;
  Track(path);
  Tracked& file = tracked_[path];
  // The file's own changes become durable; its name stays as durable as
  // its directory's last sync made it.
  auto keep = unsynced_.begin();
  for (auto& change : unsynced_) {
    if (change.path != path || change.kind == Change::kCreate) {
      *keep++ = std::move(change);
    } else if (change.kind == Change::kWrite) {
      Apply(change.bytes, change.offset, &file.content, change.bytes.size());
    } else {
      file.content.resize(static_cast<std::size_t>(change.offset), '\0');
    }
  }
  unsynced_.erase(keep, unsynced_.end());
}

DiskState FaultEnv::StateWith(const std::vector<const Change*>& applied,
                              const Change* torn) const {
  DiskState state;
  std::map<std::string, bool> exists;
  for (const auto& [path, file] : tracked_) {
    state[path] = file.content;
    exists[path] = file.exists;
  }
  auto apply = [&](const Change& change, std::size_t length) {
    std::string& content = *state[change.path];
    switch (change.kind) {
      case Change::kCreate:
        exists[change.path] = true;
        break;
      case Change::kWrite:
        Apply(change.bytes, change.offset, &content, length);
        break;
      case Change::kTruncate:
        content.resize(static_cast<std::size_t>(change.offset), '\0');
        break;
    }
  };
  for (const Change* change : applied) apply(*change, change->bytes.size());
  if (torn != nullptr) apply(*torn, torn->bytes.size() / 2);
  for (auto& [path, content] : state) {
    if (!exists[path]) content.reset();
  }
  return state;
}

std::vector<DiskState> FaultEnv::PowerCutStates() const {
  std::vector<const Change*> all;
  for (const Change& change : unsynced_) all.push_back(&change);
  std::vector<DiskState> states;
  auto add = [&](DiskState state) {
    if (std::find(states.begin(), states.end(), state) == states.end()) {
      states.push_back(std::move(state));
    }
  };
  for (std::size_t n = 0; n <= all.size(); ++n) {  // none, prefixes, all
    add(StateWith({all.begin(), all.begin() + n}, nullptr));
  }
  for (std::size_t skip = 0; skip < all.size(); ++skip) {  // all but one
    std::vector<const Change*> kept = all;
    kept.erase(kept.begin() + skip);
    add(StateWith(kept, nullptr));
  }
  if (!all.empty() && all.back()->kind == Change::kWrite) {
    add(StateWith({all.begin(), all.end() - 1}, all.back()));
  }
  return states;
}

Status FaultEnv::Wrap(const std::string& path, Status s,
                      std::unique_ptr<RandomRWFile>* result) {
  if (!s.ok()) return s;
  ++total_.opens;
  ++per_path_[path].opens;
  result->reset(new FaultFile(this, path, std::move(*result)));
  return s;
}

Status FaultEnv::Open(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) {
  if (crashed_) return Crashed();
  Track(path);
  return Wrap(path, base_->Open(path, access, result), result);
}

Status FaultEnv::OpenNoFollow(const std::string& path, OpenAccess access,
                              std::unique_ptr<RandomRWFile>* result) {
  if (crashed_) return Crashed();
  Track(path);
  return Wrap(path, base_->OpenNoFollow(path, access, result), result);
}

Status FaultEnv::EntryFacts(const std::string& path, FileFacts* facts) {
  ++total_.stats;
  ++per_path_[path].stats;
  if (crashed_) return Crashed();
  return base_->EntryFacts(path, facts);
}

Status FaultEnv::PathFacts(const std::string& path, FileFacts* facts) {
  ++total_.stats;
  ++per_path_[path].stats;
  if (crashed_) return Crashed();
  return base_->PathFacts(path, facts);
}

void FaultEnv::RecordCreate(const std::string& path) {
  if (!recording_) return;
  tracked_[path] = Tracked{false, std::string()};
  unsynced_.push_back({Change::kCreate, path, 0, std::string()});
}

Status FaultEnv::CreateExclusive(const std::string& path, std::uint32_t mode,
                                 std::unique_ptr<RandomRWFile>* result) {
  if (crashed_) return Crashed();
  Status s = base_->CreateExclusive(path, mode, result);
  if (s.ok()) RecordCreate(path);
  return Wrap(path, s, result);
}

// The base Env's folder, its entries counted, tracked and failed as the
// FaultEnv's own calls by path count, track and fail theirs.
class FaultFolder final : public Folder {
 public:
  FaultFolder(FaultEnv* env, std::string path, std::unique_ptr<Folder> base)
      : env_(env), path_(std::move(path)), base_(std::move(base)) {}

  Status OpenNoFollow(const std::string& name, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    if (env_->crashed_) return Crashed();
    env_->Track(Entry(name));
    return env_->Wrap(Entry(name), base_->OpenNoFollow(name, access, result),
                      result);
  }
  Status EntryFacts(const std::string& name, FileFacts* facts) override {
    ++env_->total_.stats;
    ++env_->per_path_[Entry(name)].stats;
    if (env_->crashed_) return Crashed();
    return base_->EntryFacts(name, facts);
  }
  Status CreateExclusive(const std::string& name, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    if (env_->crashed_) return Crashed();
    Status s = base_->CreateExclusive(name, mode, result);
    if (s.ok()) env_->RecordCreate(Entry(name));
    return env_->Wrap(Entry(name), s, result);
  }
  Status RemoveFile(const std::string& name) override {
    if (env_->crashed_) return Crashed();
    return base_->RemoveFile(name);
  }
  Status Sync() override {
    if (env_->crashed_) return Crashed();
    Status s = env_->syncs_reach_disk_ ? base_->Sync() : Status::OK();
    if (s.ok()) env_->RecordFolderSync();
    return s;
  }

 private:
  std::string Entry(const std::string& name) const {
    return path_ + "/" + name;
  }

  FaultEnv* const env_;
  const std::string path_;
  const std::unique_ptr<Folder> base_;
};

Status FaultEnv::OpenFolder(const std::string& path,
                            std::unique_ptr<Folder>* result) {
  result->reset();
  if (crashed_) return Crashed();
  std::unique_ptr<Folder> base;
  Status s = base_->OpenFolder(path, &base);
  if (s.ok()) result->reset(new FaultFolder(this, path, std::move(base)));
  return s;
}

Status FaultEnv::RenameReplacing(const std::string& from,
                                 const std::string& to) {
  if (crashed_) return Crashed();
  return base_->RenameReplacing(from, to);
}

Status FaultEnv::RenameNoReplace(const std::string& from,
                                 const std::string& to) {
  if (crashed_) return Crashed();
  return base_->RenameNoReplace(from, to);
}

Status FaultEnv::RemoveFile(const std::string& path) {
  if (crashed_) return Crashed();
  return base_->RemoveFile(path);
}

Status FaultEnv::FileSize(const std::string& path, std::uint64_t* size) {
  ++total_.stats;
  ++per_path_[path].stats;
  if (crashed_) return Crashed();
  return base_->FileSize(path, size);
}

Status FaultEnv::SyncDirectoryOf(const std::string& path) {
  if (crashed_) return Crashed();
  Status s = syncs_reach_disk_ ? base_->SyncDirectoryOf(path) : Status::OK();
  if (s.ok()) RecordFolderSync();
  return s;
}

void FaultEnv::RecordFolderSync() {
  if (!recording_) return;
  auto keep = unsynced_.begin();
  for (auto& change : unsynced_) {
    if (change.kind == Change::kCreate) {
      tracked_[change.path].exists = true;
    } else {
      *keep++ = std::move(change);
    }
  }
  unsynced_.erase(keep, unsynced_.end());
}

}  // namespace test
}  // namespace brellox
