// MemEnv: an Env whose files live in this process's memory: for changes
// worked out on a copy of a file before the file itself is locked, and for
// runs that open thousands of files a second (the fuzz target). Files are named by their whole path; folders are implied by the
// names and always exist. Locks behave as open file description locks do:
// each open holds its own, conflicting with every other open of the file,
// and closing an open releases them. Nothing is ever lost to a crash, every
// file lies on one mount, and the caller owns every file.
#ifndef BRELLOX_PLATFORM_MEM_ENV_H_
#define BRELLOX_PLATFORM_MEM_ENV_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/env.h"

namespace brellox {

class MemEnv : public Env {
 public:
  MemEnv();
  ~MemEnv() override;

  // What the file `path` holds, or nullopt when there is none.
  std::optional<std::string> Contents(const std::string& path);
  // Makes `path` hold `bytes` (a new file with owner-only mode if none).
  void SetContents(const std::string& path, const std::string& bytes);

  Status Open(const std::string& path, OpenAccess access,
              std::unique_ptr<RandomRWFile>* result) override;
  Status OpenNoFollow(const std::string& path, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override;
  Status EntryFacts(const std::string& path, FileFacts* facts) override;
  Status PathFacts(const std::string& path, FileFacts* facts) override;
  Status MountOfFolder(const std::string& path,
                       std::uint64_t* mount_id) override;
  Status OpenFolder(const std::string& path,
                    std::unique_ptr<Folder>* result) override;
  Status CreateExclusive(const std::string& path, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override;
  Status RenameReplacing(const std::string& from,
                         const std::string& to) override;
  Status RenameNoReplace(const std::string& from,
                         const std::string& to) override;
  Status RemoveFile(const std::string& path) override;
  bool EntryExists(const std::string& path) override;
  Status FileSize(const std::string& path, std::uint64_t* size) override;
  Status SyncDirectoryOf(const std::string& path) override;
  std::uint64_t NowMicros() override;
  void SleepForMicroseconds(int micros) override;

  struct Node;

 private:
  Status Rename(const std::string& from, const std::string& to, bool replace);

  std::mutex mu_;  // guards the members below and every node's contents
  std::map<std::string, std::shared_ptr<Node>> files_;
  std::uint64_t next_inode_ = 1;
  // Advanced by every change, which takes it as the file's time, so that
  // two changes never give a file the same times.
  std::int64_t clock_ = 1'000'000'000;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_MEM_ENV_H_
