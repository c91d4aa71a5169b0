#include "src/store/config_file.h"

#include <string>

#include "src/store/journal.h"

namespace brellox {

Status ReadHeader(RandomRWFile& file, std::uint64_t file_size,
                  SVR_CFG_HEADER* header) {
  if (file_size < static_cast<std::uint64_t>(kHeaderSize)) {
    return Status::Corrupt("file shorter than its header");
  }
  Status s = file.Read(0, sizeof(*header), header);
  if (!s.ok()) return s;
  return ValidateHeader(*header, file_size);
}

std::int64_t LayoutEnd(const SVR_CFG_HEADER& header) {
  return static_cast<std::int64_t>(header.optionGroupsOffset) +
         static_cast<std::int64_t>(header.optionGroupsCount) *
             RecordSize(Section::kOptionGroups);
}

Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size) {
  static const char* const kNames[] = {"connection", "GDB", "user",
                                       "privilege", "option-group"};
  std::int64_t expected_offset = kFirstTableOffset;
  for (int i = 0; i < kSectionCount; ++i) {
    const Section s = static_cast<Section>(i);
    const SectionView view = GetSection(header, s);
    const char* const table = kNames[i];  // a string only on failure
    if (view.offset != expected_offset) {
      return Status::Corrupt(std::string(table) + " table at offset " +
                             std::to_string(view.offset) + ", expected " +
                             std::to_string(expected_offset));
    }
    if (view.count < 0 || view.count > view.capacity) {
      return Status::Corrupt(std::string(table) + " table count " +
                             std::to_string(view.count) + " outside [0, " +
                             std::to_string(view.capacity) + "]");
    }
    expected_offset += static_cast<std::int64_t>(view.capacity) * RecordSize(s);
  }
  if (static_cast<std::uint64_t>(expected_offset) > file_size) {
    return Status::Corrupt("tables end at " + std::to_string(expected_offset) +
                           ", past the end of a " + std::to_string(file_size) +
                           "-byte file");
  }
  return Status::OK();
}

ConfigSession::~ConfigSession() { Close(); }

void ConfigSession::Close() {
  // Closing the file drops its locks; unlocking first would only cost
  // system calls.
  lock_.Abandon();
  journal_.reset();
  file_.reset();
}

Status ConfigSession::OpenJournal(bool create) {
  if (journal_ != nullptr) return Status::OK();
  Env* env = store_.env;
  const std::string journal_path = JournalPathFor(store_.path);
  Status s = env->Open(journal_path, OpenAccess::kReadWrite, &journal_);
  if (!s.IsNotFound() || !create) return s;
  std::uint32_t mode;
  s = file_->Permissions(&mode);
  if (s.ok()) s = env->CreateExclusive(journal_path, mode, &journal_);
  // Another process may have created it since the open failed.
  if (s.IsAlreadyExists()) {
    return env->Open(journal_path, OpenAccess::kReadWrite, &journal_);
  }
  // Its name must survive a power cut as long as the file may need it.
  if (s.ok()) s = env->SyncDirectoryOf(journal_path);
  return s;
}

Status ConfigSession::Open(const Store& store, Access access) {
  Close();
  store_ = store;
  access_ = access;
  pending_.Clear();
  header_dirty_ = false;
  if (store.path.empty()) return Status::NotFound("no configuration file path");
  bool journal_found = false;
  Status s = OpenLocked(access, &journal_found);
  if (s.ok() && journal_found && access == Access::kRead) {
    // Restoring the file needs it open for writing and locked exclusively.
    // Upgrading a shared lock in place could deadlock two readers that both
    // found the journal, so let go and start again as a writer; a reader
    // that may not write fails here, before reading anything.
    Close();
    s = OpenLocked(Access::kWrite, &journal_found);
  }
  if (s.ok() && journal_found) {
    s = OpenJournal(/*create=*/false);
    if (s.ok()) s = RecoverJournal(journal_.get(), BaseName(store_.path), file_.get());
  }
  if (s.ok()) s = file_->Size(&file_size_);
  if (s.ok()) s = ReadHeader(*file_, file_size_, &header_);
  if (!s.ok()) {
    Close();
    return s;
  }
  committed_header_ = header_;
  return s;
}

Status ConfigSession::OpenLocked(Access access, bool* journal_found) {
  const Store& store = store_;
  Status s = store.env->Open(store.path,
                             access == Access::kRead ? OpenAccess::kReadOnly
                                                     : OpenAccess::kReadWrite,
                             &file_);
  if (s.ok()) {
    s = lock_.Acquire(store.env, file_.get(),
                      access == Access::kRead ? LockMode::kShared
                                              : LockMode::kExclusive);
  }
  if (!s.ok()) return s;
  // A journal with content outside a writer's exclusive hold can only be
  // one that a crash left behind. One system call tells.
  std::uint64_t journal_size = 0;
  s = store.env->FileSize(JournalPathFor(store.path), &journal_size);
  if (s.IsNotFound()) return Status::OK();
  *journal_found = s.ok() && journal_size > 0;
  return s;
}

}  // namespace brellox
