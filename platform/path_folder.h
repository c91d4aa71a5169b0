// PathFolder: a Folder whose entries are reached through an Env by the
// folder's path, a separator and the entry's name, for systems with no call
// that works on an open folder's entries (Windows) and for files in memory.
#ifndef BRELLOX_PLATFORM_PATH_FOLDER_H_
#define BRELLOX_PLATFORM_PATH_FOLDER_H_

#include <memory>
#include <string>
#include <utility>

#include "platform/env.h"

namespace brellox {

class PathFolder : public Folder {
 public:
  PathFolder(Env* env, std::string path, char separator)
      : env_(env), path_(std::move(path)), separator_(separator) {}

  Status OpenNoFollow(const std::string& name, OpenAccess access,
                      std::unique_ptr<RandomRWFile>* result) override {
    return env_->OpenNoFollow(Entry(name), access, result);
  }
  Status EntryFacts(const std::string& name, FileFacts* facts) override {
    return env_->EntryFacts(Entry(name), facts);
  }
  Status CreateExclusive(const std::string& name, std::uint32_t mode,
                         std::unique_ptr<RandomRWFile>* result) override {
    return env_->CreateExclusive(Entry(name), mode, result);
  }
  Status RemoveFile(const std::string& name) override {
    return env_->RemoveFile(Entry(name));
  }
  Status Sync() override { return env_->SyncDirectoryOf(Entry(".")); }

 private:
  std::string Entry(const std::string& name) const {
    return path_ + separator_ + name;
  }

  Env* const env_;
  const std::string path_;
  const char separator_;
};

}  // namespace brellox

#endif  // BRELLOX_PLATFORM_PATH_FOLDER_H_
