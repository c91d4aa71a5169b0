#include "platform/mem_env.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "platform/path_folder.h"

namespace brellox {

namespace {

// A lock one open holds on [begin, end).
struct LockRange {
  const void* owner;
  std::uint64_t begin;
  std::uint64_t end;
  LockMode mode;
};

// Removes [begin, end) from the ranges `owner` holds, splitting a range
// that covers more, as POSIX does for a lock replaced or released in part.
void Release(std::vector<LockRange>* locks, const void* owner,
             std::uint64_t begin, std::uint64_t end) {
  std::vector<LockRange> kept;
  for (const LockRange& lock : *locks) {
    if (lock.owner != owner || lock.end <= begin || lock.begin >= end) {
      kept.push_back(lock);
      continue;
    }
    if (lock.begin < begin) kept.push_back({owner, lock.begin, begin, lock.mode});
    if (lock.end > end) kept.push_back({owner, end, lock.end, lock.mode});
  }
  *locks = std::move(kept);
}

}  // namespace

struct MemEnv::Node {
  std::string data;
  std::uint32_t mode = kOwnerOnlyMode;  // the caller owns every file
  std::uint64_t inode = 0;
  std::uint64_t links = 1;
  std::int64_t modified_ns = 0;
  std::string path;  // the name it has now
  std::vector<LockRange> locks;

  FileFacts Facts() const {
    FileFacts facts;
    facts.regular = true;
    facts.size = data.size();
    facts.device = 1;
    facts.inode = inode;
    facts.links = links;
    facts.mount_id = 1;
    facts.modified_ns = modified_ns;
    facts.changed_ns = modified_ns;
    facts.mode = mode;
    facts.owner = "1000";
    facts.group = "1000";
    facts.owner_is_caller = true;
    return facts;
  }
};

namespace {

using Node = MemEnv::Node;

class MemFile : public RandomRWFile {
 public:
  MemFile(std::mutex* mu, std::int64_t* clock, std::shared_ptr<Node> node,
          bool writable)
      : mu_(mu), clock_(clock), node_(std::move(node)), writable_(writable) {}
  ~MemFile() override {
    std::lock_guard<std::mutex> hold(*mu_);
    Release(&node_->locks, this, 0, UINT64_MAX);
  }

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    std::lock_guard<std::mutex> hold(*mu_);
    const std::uint64_t size = node_->data.size();
    const std::size_t available =
        offset >= size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(
                                 n, size - offset));
    if (available > 0) std::memcpy(dst, node_->data.data() + offset, available);
    if (available < n) return Status::IOError("read past the end of the file");
    return Status::OK();
  }

  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    if (!writable_) return Status::IOError("file opened for reading only");
    std::lock_guard<std::mutex> hold(*mu_);
    if (node_->data.size() < offset + n) node_->data.resize(offset + n, '\0');
    std::memcpy(&node_->data[offset], src, n);
    node_->modified_ns = ++*clock_;
    return Status::OK();
  }

  Status Size(std::uint64_t* size) override {
    std::lock_guard<std::mutex> hold(*mu_);
    *size = node_->data.size();
    return Status::OK();
  }

  Status Truncate(std::uint64_t size) override {
    if (!writable_) return Status::IOError("file opened for reading only");
    std::lock_guard<std::mutex> hold(*mu_);
    node_->data.resize(size, '\0');
    node_->modified_ns = ++*clock_;
    return Status::OK();
  }

  Status NextData(std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) override {
    std::lock_guard<std::mutex> hold(*mu_);
    *begin = offset;
    *end = std::max<std::uint64_t>(offset, node_->data.size());
    return Status::OK();
  }

  Status Sync() override { return Status::OK(); }

  Status Permissions(std::uint32_t* mode) override {
    std::lock_guard<std::mutex> hold(*mu_);
    *mode = node_->mode;
    return Status::OK();
  }

  Status Facts(FileFacts* facts) override {
    std::lock_guard<std::mutex> hold(*mu_);
    const std::uint64_t mount = facts->mount_id;
    *facts = node_->Facts();
    facts->mount_id = mount;
    return Status::OK();
  }

  Status MountOf(std::uint64_t* mount_id) override {
    *mount_id = 1;
    return Status::OK();
  }

  Status ResolvedPath(std::string* path) override {
    std::lock_guard<std::mutex> hold(*mu_);
    if (node_->links == 0) return Status::IOError("the file was removed");
    *path = node_->path;
    return Status::OK();
  }

  Status TakeOwnershipOf(const FileFacts& model) override {
    std::lock_guard<std::mutex> hold(*mu_);
    node_->mode = model.mode & 07777;
    const FileFacts facts = node_->Facts();
    if (model.owner != facts.owner || model.group != facts.group) {
      return Status::IOError("only the caller owns files in memory");
    }
    return Status::OK();
  }

  Status TryLock(std::uint64_t offset, std::uint64_t length,
                 LockMode mode) override {
    if (mode == LockMode::kExclusive && !writable_) {
      return Status::IOError("an exclusive lock needs a file open for writing");
    }
    std::lock_guard<std::mutex> hold(*mu_);
    const std::uint64_t end = offset + length;
    for (const LockRange& lock : node_->locks) {
      const bool overlaps = lock.begin < end && offset < lock.end;
      const bool conflicts =
          mode == LockMode::kExclusive || lock.mode == LockMode::kExclusive;
      if (lock.owner != this && overlaps && conflicts) {
        return Status::Busy("the bytes are locked by another open");
      }
    }
    Release(&node_->locks, this, offset, end);
    node_->locks.push_back({this, offset, end, mode});
    return Status::OK();
  }

  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    std::lock_guard<std::mutex> hold(*mu_);
    Release(&node_->locks, this, offset, offset + length);
    return Status::OK();
  }

 private:
  std::mutex* mu_;
  std::int64_t* clock_;  // guarded by *mu_
  std::shared_ptr<Node> node_;
  bool writable_;
};

}  // namespace

MemEnv::MemEnv() = default;
MemEnv::~MemEnv() = default;

std::optional<std::string> MemEnv::Contents(const std::string& path) {
  std::lock_guard<std::mutex> hold(mu_);
  const auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second->data;
}

void MemEnv::SetContents(const std::string& path, const std::string& bytes) {
  std::lock_guard<std::mutex> hold(mu_);
  std::shared_ptr<Node>& node = files_[path];
  if (!node) {
    node = std::make_shared<Node>();
    node->inode = next_inode_++;
    node->path = path;
  }
  node->data = bytes;
  node->modified_ns = ++clock_;
}

Status MemEnv::Open(const std::string& path, OpenAccess access,
                    std::unique_ptr<RandomRWFile>* result) {
  result->reset();
  std::lock_guard<std::mutex> hold(mu_);
  const auto found = files_.find(path);
  if (found == files_.end()) return Status::FileMissing(path + " is missing");
  *result = std::make_unique<MemFile>(&mu_, &clock_, found->second,
                                      access == OpenAccess::kReadWrite);
  return Status::OK();
}

Status MemEnv::OpenNoFollow(const std::string& path, OpenAccess access,
                            std::unique_ptr<RandomRWFile>* result) {
  return Open(path, access, result);  // there are no links
}

Status MemEnv::EntryFacts(const std::string& path, FileFacts* facts) {
  std::lock_guard<std::mutex> hold(mu_);
  const auto found = files_.find(path);
  if (found == files_.end()) return Status::FileMissing(path + " is missing");
  *facts = found->second->Facts();
  return Status::OK();
}

Status MemEnv::PathFacts(const std::string& path, FileFacts* facts) {
  return EntryFacts(path, facts);
}

Status MemEnv::MountOfFolder(const std::string& /*path*/,
                             std::uint64_t* mount_id) {
  *mount_id = 1;
  return Status::OK();
}

Status MemEnv::OpenFolder(const std::string& path,
                          std::unique_ptr<Folder>* result) {
  *result = std::make_unique<PathFolder>(this, path, '/');
  return Status::OK();
}

Status MemEnv::CreateExclusive(const std::string& path, std::uint32_t mode,
                               std::unique_ptr<RandomRWFile>* result) {
  result->reset();
  std::lock_guard<std::mutex> hold(mu_);
  std::shared_ptr<Node>& node = files_[path];
  if (node) return Status::AlreadyExists(path + " exists");
  node = std::make_shared<Node>();
  node->inode = next_inode_++;
  node->mode = mode & 07777;
  node->path = path;
  node->modified_ns = ++clock_;
  *result = std::make_unique<MemFile>(&mu_, &clock_, node, true);
  return Status::OK();
}

Status MemEnv::Rename(const std::string& from, const std::string& to,
                      bool replace) {
  std::lock_guard<std::mutex> hold(mu_);
  const auto source = files_.find(from);
  if (source == files_.end()) return Status::FileMissing(from + " is missing");
  if (from == to) return Status::OK();
  const auto target = files_.find(to);
  if (target != files_.end()) {
    if (!replace) return Status::AlreadyExists(to + " exists");
    target->second->links = 0;
  }
  std::shared_ptr<Node> node = source->second;
  files_.erase(source);
  node->path = to;
  files_[to] = std::move(node);
  return Status::OK();
}

Status MemEnv::RenameReplacing(const std::string& from, const std::string& to) {
  return Rename(from, to, true);
}

Status MemEnv::RenameNoReplace(const std::string& from, const std::string& to) {
  return Rename(from, to, false);
}

Status MemEnv::RemoveFile(const std::string& path) {
  std::lock_guard<std::mutex> hold(mu_);
  const auto found = files_.find(path);
  if (found == files_.end()) return Status::FileMissing(path + " is missing");
  found->second->links = 0;
  files_.erase(found);
  return Status::OK();
}

bool MemEnv::EntryExists(const std::string& path) {
  std::lock_guard<std::mutex> hold(mu_);
  if (files_.count(path) != 0) return true;
  // A folder exists when it holds a file.
  const std::string prefix = path + "/";
  const auto next = files_.lower_bound(prefix);
  return next != files_.end() && next->first.compare(0, prefix.size(), prefix) == 0;
}

Status MemEnv::FileSize(const std::string& path, std::uint64_t* size) {
  std::lock_guard<std::mutex> hold(mu_);
  const auto found = files_.find(path);
  if (found == files_.end()) return Status::FileMissing(path + " is missing");
  *size = found->second->data.size();
  return Status::OK();
}

Status MemEnv::SyncDirectoryOf(const std::string& /*path*/) {
  return Status::OK();
}

std::uint64_t MemEnv::NowMicros() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

void MemEnv::SleepForMicroseconds(int micros) {
  std::this_thread::sleep_for(std::chrono::microseconds(micros));
}

}  // namespace brellox
