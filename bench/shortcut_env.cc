#include "bench/shortcut_env.h"

#include "src/store/journal.h"

namespace brellox {
namespace bench {
namespace {

class ShortcutFile final : public RandomRWFile {
 public:
  ShortcutFile(std::unique_ptr<RandomRWFile> base, bool skip_locks)
      : base_(std::move(base)), skip_locks_(skip_locks) {}

  Status Read(std::uint64_t offset, std::size_t n, void* dst) override {
    return base_->Read(offset, n, dst);
  }
  Status Write(std::uint64_t offset, const void* src, std::size_t n) override {
    return base_->Write(offset, src, n);
  }
  Status Size(std::uint64_t* size) override { return base_->Size(size); }
  Status Truncate(std::uint64_t size) override { return base_->Truncate(size); }
  Status NextData(std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) override {
    return base_->NextData(offset, begin, end);
  }
  Status Sync() override { return base_->Sync(); }
  Status Permissions(std::uint32_t* mode) override {
    return base_->Permissions(mode);
  }
  Status Facts(FileFacts* facts) override { return base_->Facts(facts); }
  Status MountOf(std::uint64_t* mount_id) override {
    return base_->MountOf(mount_id);
  }
  Status ResolvedPath(std::string* path) override {
    return base_->ResolvedPath(path);
  }
  Status TakeOwnershipOf(const FileFacts& model) override {
    return base_->TakeOwnershipOf(model);
  }
  Status TryLock(std::uint64_t offset, std::uint64_t length,
                 LockMode mode) override {
    return skip_locks_ ? Status::OK() : base_->TryLock(offset, length, mode);
  }
  Status Unlock(std::uint64_t offset, std::uint64_t length) override {
    return skip_locks_ ? Status::OK() : base_->Unlock(offset, length);
  }
  Status TryLockSharedPastGate(std::uint64_t gate) override {
    return skip_locks_ ? Status::OK() : base_->TryLockSharedPastGate(gate);
  }

 private:
  const std::unique_ptr<RandomRWFile> base_;
  const bool skip_locks_;
};

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

Status ShortcutEnv::Wrap(Status s,
                         std::unique_ptr<RandomRWFile>* result) const {
  if (s.ok()) {
    result->reset(new ShortcutFile(std::move(*result), shortcuts_.skip_locks));
  }
  return s;
}

Status ShortcutEnv::Open(const std::string& path, OpenAccess access,
                         std::unique_ptr<RandomRWFile>* result) {
  return Wrap(base_->Open(path, access, result), result);
}

Status ShortcutEnv::OpenNoFollow(const std::string& path, OpenAccess access,
                                 std::unique_ptr<RandomRWFile>* result) {
  return Wrap(base_->OpenNoFollow(path, access, result), result);
}

Status ShortcutEnv::CreateExclusive(const std::string& path, std::uint32_t mode,
                                    std::unique_ptr<RandomRWFile>* result) {
  return Wrap(base_->CreateExclusive(path, mode, result), result);
}

Status ShortcutEnv::EntryFacts(const std::string& path, FileFacts* facts) {
  if (shortcuts_.skip_journal_check && EndsWith(path, kJournalSuffix)) {
    // No message: the shortcut should cost nothing, so that the difference
    // prices the whole check.
    return Status::NotFound(std::string());
  }
  return base_->EntryFacts(path, facts);
}

namespace {

// The journal beside the file is reached through its folder.
class ShortcutFolder final : public Folder {
 public:
  ShortcutFolder(std::unique_ptr<Folder> base, const ShortcutEnv* env,
                 Shortcuts shortcuts)
      : base_(std::move(base)), env_(env), shortcuts_(shortcuts) {}

  Status OpenNoFollow(const std::string& name, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    return env_->Wrap(base_->OpenNoFollow(name, access, result), result);
  }
  Status EntryFacts(const std::string& name, FileFacts* facts) override {
    if (shortcuts_.skip_journal_check && EndsWith(name, kJournalSuffix)) {
      return Status::NotFound(std::string());
    }
    return base_->EntryFacts(name, facts);
  }
  Status CreateExclusive(const std::string& name, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    return env_->Wrap(base_->CreateExclusive(name, mode, result), result);
  }
  Status RemoveFile(const std::string& name) override {
    return base_->RemoveFile(name);
  }
  Status Sync() override { return base_->Sync(); }

 private:
  const std::unique_ptr<Folder> base_;
  const ShortcutEnv* const env_;
  const Shortcuts shortcuts_;
};

}  // namespace

Status ShortcutEnv::OpenFolder(const std::string& path,
                               std::unique_ptr<Folder>* result) {
  std::unique_ptr<Folder> base;
  Status s = base_->OpenFolder(path, &base);
  if (s.ok())
    result->reset(new ShortcutFolder(std::move(base), this, shortcuts_));
  return s;
}

}  // namespace bench
}  // namespace brellox
