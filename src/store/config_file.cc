#include "src/store/config_file.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "src/store/journal.h"
#include "src/store/journal_file.h"

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
  Status s = OpenTrustedJournal(store_.env, place_.journal, facts_, &journal_);
  if (!s.IsNotFound() || !create) return s;
  s = CreateJournal(store_.env, place_.journal, facts_, &journal_);
  // Another process may have created it since the open failed.
  if (s.IsAlreadyExists()) {
    return OpenTrustedJournal(store_.env, place_.journal, facts_, &journal_);
  }
  return s;
}

Status ConfigSession::Open(const Store& store, Access access) {
  Close();
  store_ = store;
  access_ = access;
  pending_.clear();
  data_.clear();
  header_dirty_ = false;
  truncating_ = false;
  damaged_ = false;
  if (store.path.empty()) return Status::NotFound("no configuration file path");
  Status s = OpenLocked(access);
  if (s.ok() && journal_state_ != JournalEntry::kIdle &&
      access == Access::kRead) {
    // Restoring the file needs it open for writing and locked exclusively.
    // Upgrading a shared lock in place could deadlock two readers that both
    // found the journal, so let go and start again as a writer; a reader
    // that may not write fails here, before reading anything.
    const std::string journal = place_.journal;
    Close();
    s = OpenLocked(Access::kWrite);
    if (!s.ok() && !s.IsBusy()) {
      s = Status::IOError("a change that was interrupted left the journal " +
                          journal + ", and restoring the file from it needs "
                          "write access to the file: " + s.message());
    }
  }
  if (s.ok() && access != Access::kRead) {
    s = CheckChangeable(store_.path, facts_, place_);
  }
  if (s.ok() && journal_state_ != JournalEntry::kIdle) {
    s = OpenJournal(/*create=*/false);
    if (s.ok()) s = RecoverJournal(journal_.get(), place_.file_name, file_.get());
    if (s.IsNotFound()) s = Status::OK();  // it went since it was seen
    // Contents about to be replaced need no journal that fits them.
    if (access == Access::kReplace) s = Status::OK();
    if (s.ok()) s = file_->Size(&facts_.size);
  }
  if (s.ok() && access == Access::kReplace) {
    // Whatever journal lay there, it must not be able to undo the new
    // contents afterwards.
    s = ResetJournal(store_.env, facts_, place_, &journal_);
  }
  file_size_ = facts_.size;
  if (s.ok()) s = ReadHeader(*file_, file_size_, &header_);
  if (s.IsCorrupt() && access == Access::kReplace) {
    damaged_ = true;
    header_ = SVR_CFG_HEADER{};
    s = Status::OK();
  }
  if (!s.ok()) {
    Close();
    return s;
  }
  committed_header_ = header_;
  return s;
}

Status ConfigSession::OpenLocked(Access access) {
  const Store& store = store_;
  const bool read_only = access == Access::kRead;
  Status s;
  // A file replaced by a rename after it was opened has no name left: a
  // change to it would be lost, so open the file the name now leads to.
  for (int attempt = 0; attempt < 3; ++attempt) {
    s = store.env->Open(
        store.path, read_only ? OpenAccess::kReadOnly : OpenAccess::kReadWrite,
        &file_);
    if (s.ok()) {
      s = lock_.Acquire(store.env, file_.get(),
                        read_only ? LockMode::kShared : LockMode::kExclusive);
    }
    if (s.ok()) s = file_->Facts(&facts_);
    if (!s.ok() || facts_.links > 0) break;
    Close();
  }
  if (s.ok() && !facts_.regular) {
    s = Status::IOError(store.path + ": not a regular file");
  }
  if (s.ok()) s = LocateFile(store.env, store.path, facts_, file_.get(), &place_);
  if (!s.ok()) return s;
  // A journal with content outside a writer's exclusive hold can only be
  // one that a crash left behind; anything but a regular file is not one
  // this library made. One system call tells, without following a link.
  FileFacts journal;
  s = store.env->EntryFacts(place_.journal, &journal);
  if (s.IsNotFound()) {
    journal_state_ = JournalEntry::kIdle;
    return Status::OK();
  }
  if (!s.ok()) return s;
  journal_state_ = journal.regular && journal.size == 0 ? JournalEntry::kIdle
                                                        : JournalEntry::kFound;
  if (!journal.regular && access != Access::kReplace) {
    return CheckJournalTrusted(place_.journal, journal, facts_);
  }
  return Status::OK();
}

std::uint64_t ConfigSession::Size() const {
  std::uint64_t size = file_size_;
  for (const PendingWrite& w : pending_) size = std::max(size, w.offset + w.length);
  return truncating_ ? std::min(size, truncate_to_) : size;
}

Status ConfigSession::Truncate(std::uint64_t size) {
  if (access_ == Access::kRead) {
    return Status::Refused("a read-only session cannot write");
  }
  truncate_to_ = truncating_ ? std::min(truncate_to_, size) : size;
  truncating_ = true;
  return Status::OK();
}

Status ConfigSession::Read(std::int64_t offset, std::size_t n,
                           void* destination) {
  if (offset < 0) return Status::IOError("read at a negative offset");
  const std::uint64_t begin = static_cast<std::uint64_t>(offset);
  const std::uint64_t end = begin + n;
  if (pending_.empty() && !truncating_) {
    return file_->Read(begin, n, destination);
  }
  if (end > Size()) {
    return Status::IOError(store_.path + ": unexpected end of file");
  }
  char* out = static_cast<char*>(destination);
  // What the file holds now, then the pending writes over it in order;
  // bytes past the file's end that no write covers read as zeros, as they
  // would from the file.
  if (begin < file_size_) {
    const std::size_t on_disk =
        static_cast<std::size_t>(std::min(end, file_size_) - begin);
    Status s = file_->Read(begin, on_disk, out);
    if (!s.ok()) return s;
    std::memset(out + on_disk, 0, n - on_disk);
  } else {
    std::memset(out, 0, n);
  }
  for (const PendingWrite& w : pending_) {
    const std::uint64_t from = std::max(begin, w.offset);
    const std::uint64_t to = std::min(end, w.offset + w.length);
    if (from >= to) continue;
    std::memcpy(out + (from - begin), data_.data() + w.data + (from - w.offset),
                static_cast<std::size_t>(to - from));
  }
  return Status::OK();
}

Status ConfigSession::Write(std::int64_t offset, const void* source,
                            std::size_t n) {
  if (access_ == Access::kRead) {
    return Status::Refused("a read-only session cannot write");
  }
  if (offset < 0) return Status::IOError("write at a negative offset");
  const std::size_t at = data_.size();
  const char* bytes = static_cast<const char*>(source);
  data_.insert(data_.end(), bytes, bytes + n);
  pending_.push_back({static_cast<std::uint64_t>(offset), n, at});
  return Status::OK();
}

Status ConfigSession::WriteHeader() {
  if (access_ == Access::kRead) {
    return Status::Refused("a read-only session cannot write");
  }
  header_dirty_ = true;
  return Status::OK();
}

Status ConfigSession::Commit() {
  if (header_dirty_) {
    // Last, as every change writes its header after its tables.
    Status s = Write(0, &header_, sizeof(header_));
    if (!s.ok()) return s;
    header_dirty_ = false;
  }
  if (pending_.empty() && !truncating_) return Status::OK();
  Status s = damaged_ ? ApplyInPlace() : ApplyJournaled();
  if (!s.ok() && !damaged_) {
    // The journal may already have changed the file; put it back now,
    // under the lock still held. Should that fail too, the journal stays
    // and the next call restores the file.
    if (journal_ != nullptr) {
      RecoverJournal(journal_.get(), place_.file_name, file_.get());
    }
    header_ = committed_header_;
  }
  pending_.clear();
  data_.clear();
  truncating_ = false;
  return s;
}

Status ConfigSession::ApplyInPlace() {
  // A journal could only bring the damaged contents back, and recovery
  // would refuse it: an interrupted replacement leaves a damaged file,
  // which the next replacement overwrites again.
  const std::uint64_t new_size = Size();
  Status s;
  for (const PendingWrite& w : pending_) {
    s = file_->Write(w.offset, data_.data() + w.data, w.length);
    if (!s.ok()) return s;
  }
  if (truncating_) s = file_->Truncate(new_size);
  if (s.ok()) s = file_->Sync();
  if (!s.ok()) return s;
  file_size_ = new_size;
  committed_header_ = header_;
  damaged_ = false;
  return Status::OK();
}

Status ConfigSession::ApplyJournaled() {
  // The ranges of the file the writes will overwrite, merged: the header
  // always, then the rest of what lies within the file's current size.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans;
  for (const PendingWrite& w : pending_) {
    const std::uint64_t from = std::max<std::uint64_t>(w.offset, kHeaderSize);
    const std::uint64_t to = std::min(w.offset + w.length, file_size_);
    if (from < to) spans.emplace_back(from, to);
  }
  const std::uint64_t new_size = Size();
  if (new_size < file_size_) {
    spans.emplace_back(std::max<std::uint64_t>(new_size, kHeaderSize),
                       file_size_);
  }
  std::sort(spans.begin(), spans.end());
  JournalBuilder journal(place_.file_name, file_size_);
  std::memcpy(journal.AddRange(0, kHeaderSize), &committed_header_,
              kHeaderSize);
  for (std::size_t i = 0; i < spans.size();) {
    std::uint64_t from = spans[i].first;
    std::uint64_t to = spans[i].second;
    for (++i; i < spans.size() && spans[i].first <= to; ++i) {
      to = std::max(to, spans[i].second);
    }
    const std::uint32_t length = static_cast<std::uint32_t>(to - from);
    Status s = file_->Read(from, length, journal.AddRange(from, length));
    if (!s.ok()) return s;
  }
  journal.Finish();

  Status s = OpenJournal(/*create=*/true);
  if (s.ok()) s = WriteJournal(journal_.get(), journal.bytes());
  if (!s.ok()) return s;
  for (const PendingWrite& w : pending_) {
    s = file_->Write(w.offset, data_.data() + w.data, w.length);
    if (!s.ok()) return s;
  }
  if (truncating_) s = file_->Truncate(new_size);
  if (s.ok()) s = file_->Sync();
  if (s.ok()) s = MarkJournalIdle(journal_.get());
  if (!s.ok()) return s;
  file_size_ = new_size;
  committed_header_ = header_;
  return Status::OK();
}

}  // namespace brellox
