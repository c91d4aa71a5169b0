// ShortcutEnv: passes everything to another Env but can leave out the lock
// calls or the check for a crashed change's journal, so that a benchmark
// can price each by the difference. Unsafe for anything but that.
#ifndef BRELLOX_BENCH_SHORTCUT_ENV_H_
#define BRELLOX_BENCH_SHORTCUT_ENV_H_

#include <memory>
#include <string>

#include "platform/env.h"

namespace brellox {
namespace bench {

struct Shortcuts {
  bool skip_locks = false;          // every TryLock and Unlock succeeds at once
  bool skip_journal_check = false;  // no journal is ever found
};

class ShortcutEnv final : public Env {
 public:
  ShortcutEnv(Env* base, Shortcuts shortcuts)
      : base_(base), shortcuts_(shortcuts) {}

  Status Open(const std::string& path, OpenAccess access,
              std::unique_ptr<RandomRWFile>* result) override;
  Status CreateExclusive(const std::string& path, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override;
  Status RenameReplacing(const std::string& from,
                         const std::string& to) override {
    return base_->RenameReplacing(from, to);
  }
  Status RenameNoReplace(const std::string& from,
                         const std::string& to) override {
    return base_->RenameNoReplace(from, to);
  }
  Status RemoveFile(const std::string& path) override {
    return base_->RemoveFile(path);
  }
  bool EntryExists(const std::string& path) override {
    return base_->EntryExists(path);
  }
  Status FileSize(const std::string& path, std::uint64_t* size) override {
    return base_->FileSize(path, size);
  }
  Status OpenNoFollow(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override;
  Status EntryFacts(const std::string& path, FileFacts* facts) override;
  Status OpenFolder(const std::string& path,
                    std::unique_ptr<Folder>* result) override;
  Status MountOfFolder(const std::string& path,
                       std::uint64_t* mount_id) override {
    return base_->MountOfFolder(path, mount_id);
  }
  Status SyncDirectoryOf(const std::string& path) override {
    return base_->SyncDirectoryOf(path);
  }
  bool Variable(const std::string& name, std::string* value) override {
    return base_->Variable(name, value);
  }
  std::string CallerIdentity() override { return base_->CallerIdentity(); }
  std::uint64_t NowMicros() override { return base_->NowMicros(); }
  void SleepForMicroseconds(int micros) override {
    base_->SleepForMicroseconds(micros);
  }

  // Gives an opened file the shortcuts.
  Status Wrap(Status s, std::unique_ptr<RandomRWFile>* result) const;

 private:
  Env* const base_;
  const Shortcuts shortcuts_;
};

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_SHORTCUT_ENV_H_
