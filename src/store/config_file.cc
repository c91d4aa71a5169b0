#include "src/store/config_file.h"

#include <optional>
#include <string>

#include "src/store/file_name.h"
#include "src/store/journal.h"
#include "src/store/journal_file.h"

namespace brellox {

namespace {

// Playing a journal onto a file it was not written for would tear the
// file, so it stays until someone decides which of the two is right.
Status DoesNotFit(const std::string& journal, const Status& why) {
  return Status::Corrupt(
      "journal " + journal + " of an interrupted change does not fit the " +
      "file, and was not rolled back: " + why.message() +
      ". If the file was put back from a copy on purpose, remove the "
      "journal; if not, put back the file it was written for, so that the "
      "next call rolls it back; or replace the contents with 'brellox "
      "import --force' or 'brellox init --force'");
}

}  // namespace

ConfigSession::~ConfigSession() { Close(); }

void ConfigSession::Close() {
  // Closing the file drops its locks; unlocking first would only cost
  // system calls.
  lock_.Abandon();
  journal_.reset();
  folder_.reset();
  file_.reset();
}

Status ConfigSession::OpenJournal(bool create) {
  if (journal_ != nullptr) return Status::OK();
  Status s = OpenTrustedJournal(folder_.get(), place_, facts_, &journal_);
  if (!s.IsFileMissing() || !create) return s;
  s = CreateJournal(folder_.get(), place_, facts_, &journal_);
  // Another process may have created it since the open failed.
  if (s.IsAlreadyExists()) {
    return OpenTrustedJournal(folder_.get(), place_, facts_, &journal_);
  }
  return s;
}

Status ConfigSession::Open(const Store& store, Access access) {
  Close();
  store_ = store;
  access_ = access;
  pending_.Clear();
  header_dirty_ = false;
  damaged_ = false;
  if (store.path.empty())
    return Status::FileMissing("no configuration file path");
  // The open's locks, a recovery's included, wait against one deadline.
  const CallDeadline call;
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
                          journal +
                          ", and restoring the file from it needs "
                          "write access to the file: " +
                          s.message());
    }
  }
  if (s.ok() && access != Access::kRead) {
    s = CheckChangeable(store_.path, facts_, place_);
    if (s.ok()) s = CheckNameForChange(store_.env, store_.path, facts_);
  }
  if (s.ok() && journal_state_ != JournalEntry::kIdle) {
    s = OpenJournal(/*create=*/false);
    if (s.ok()) {
      s = RecoverJournal(journal_.get(), place_.file_name, file_.get());
    }
    if (s.IsCorrupt()) s = DoesNotFit(place_.journal, s);
    if (s.IsFileMissing()) s = Status::OK();  // it went since it was seen
    // Contents about to be replaced need no journal that fits them.
    if (access == Access::kReplace) s = Status::OK();
    if (s.ok()) s = file_->Size(&facts_.size);
  }
  if (s.ok() && access == Access::kReplace) {
    // Whatever journal lay there, it must not be able to undo the new
    // contents afterwards.
    s = ResetJournal(folder_.get(), facts_, place_, &journal_);
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
  // change to it would be lost, and a read would answer from a file the
  // path no longer names, so open the file the name now leads to. Its
  // place cannot be resolved once it has no name. While a rename onto the
  // path is under way, the name may still lead to the file it has already
  // unlinked: the name is tried again after a pause, until the busy
  // timeout (counted, like a lock's, from the first wait).
  std::optional<RetryPacer> pacer;
  for (;;) {
    s = store.env->Open(
        store.path, read_only ? OpenAccess::kReadOnly : OpenAccess::kReadWrite,
        &file_);
    if (s.ok()) {
      s = lock_.Acquire(store.env, file_.get(),
                        read_only ? LockMode::kShared : LockMode::kExclusive);
    }
    if (s.ok()) s = file_->Facts(&facts_);
    if (s.ok() && !facts_.regular) {
      s = Status::IOError(store.path + ": not a regular file");
    }
    if (s.ok() && facts_.links > 0) {
      s = LocateFile(store.env, store.path, facts_, file_.get(), &place_,
                     &folder_);
      if (!s.ok() && file_->Facts(&facts_).ok() && facts_.links == 0) {
        s = Status::OK();
      }
    }
    if (!s.ok() || facts_.links > 0) break;
    Close();
    if (!pacer) pacer.emplace(store.env);
    if (!pacer->Wait()) break;
  }
  if (s.ok() && facts_.links == 0) {
    s = Status::IOError(store.path +
                        ": replaced by another file each time it was opened");
  }
  if (!s.ok()) return s;
  // A journal with content outside a writer's exclusive hold can only be
  // one that a crash left behind; anything but a regular file is not one
  // this library made. One system call tells, without following a link.
  FileFacts journal;
  s = folder_->EntryFacts(JournalName(place_), &journal);
  if (s.IsFileMissing()) {
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

}  // namespace brellox
