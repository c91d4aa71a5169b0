// A session's changes: recording them, reading through them, and the
// journaled commit that makes them land.
#include <atomic>
#include <string>

#include "src/store/buffer.h"
#include "src/store/config_file.h"
#include "src/store/journal.h"

namespace brellox {
namespace {

std::atomic<CommitListener> g_commit_listener{nullptr};

}  // namespace

void ListenToCommits(CommitListener listener) { g_commit_listener = listener; }

Status ConfigSession::CheckWritable() const {
  if (access_ == Access::kRead) {
    return Status::Refused("a read-only session cannot write");
  }
  return Status::OK();
}

std::uint64_t ConfigSession::Size() const { return pending_.Size(file_size_); }

Status ConfigSession::Truncate(std::uint64_t size) {
  Status s = CheckWritable();
  if (s.ok()) pending_.Truncate(size);
  return s;
}

Status ConfigSession::Read(std::int64_t offset, std::size_t n,
                           void* destination) {
  if (offset < 0) return Status::IOError("read at a negative offset");
  const std::uint64_t begin = static_cast<std::uint64_t>(offset);
  if (pending_.empty()) return file_->Read(begin, n, destination);
  if (begin + n > Size()) {
    return Status::IOError(store_.path + ": unexpected end of file");
  }
  return pending_.Read(file_.get(), file_size_, begin, n,
                       static_cast<char*>(destination));
}

Status ConfigSession::NextData(std::int64_t offset, std::uint64_t* begin,
                               std::uint64_t* end) {
  if (offset < 0) return Status::IOError("scan at a negative offset");
  return pending_.NextData(file_.get(), file_size_,
                           static_cast<std::uint64_t>(offset), begin, end);
}

Status ConfigSession::Write(std::int64_t offset, const void* source,
                            std::size_t n) {
  Status s = CheckWritable();
  if (s.ok() && offset < 0) s = Status::IOError("write at a negative offset");
  if (s.ok()) pending_.Write(static_cast<std::uint64_t>(offset), source, n);
  return s;
}

Status ConfigSession::Zero(std::int64_t offset, std::uint64_t n) {
  Status s = CheckWritable();
  if (s.ok() && offset < 0) s = Status::IOError("write at a negative offset");
  if (s.ok()) pending_.Zero(static_cast<std::uint64_t>(offset), n);
  return s;
}

Status ConfigSession::Move(std::int64_t destination, std::int64_t source,
                           std::uint64_t n) {
  Status s = CheckWritable();
  if (!s.ok()) return s;
  if (destination < 0 || source < 0) {
    return Status::IOError("move at a negative offset");
  }
  if (static_cast<std::uint64_t>(source) + n > Size()) {
    return Status::IOError(store_.path + ": unexpected end of file");
  }
  pending_.Move(static_cast<std::uint64_t>(destination),
                static_cast<std::uint64_t>(source), n);
  return s;
}

Status ConfigSession::WriteHeader() {
  Status s = CheckWritable();
  if (s.ok()) header_dirty_ = true;
  return s;
}

Status ConfigSession::RecordHeader() {
  if (!header_dirty_) return Status::OK();
  // Last, as every change writes its header after its tables.
  const Status s = Write(0, &header_, sizeof(header_));
  if (s.ok()) header_dirty_ = false;
  return s;
}

Status ConfigSession::Contents(std::string* contents) {
  const Status s = RecordHeader();
  if (!s.ok()) return s;
  contents->assign(static_cast<std::size_t>(Size()), '\0');
  return contents->empty() ? Status::OK()
                           : Read(0, contents->size(), &(*contents)[0]);
}

Status ConfigSession::Commit() {
  wrote_ = false;
  Status s = RecordHeader();
  if (!s.ok()) return s;
  if (pending_.empty()) return Status::OK();
  // All the memory the commit needs, before anything is written.
  Buffer memory;
  s = Buffer::AllocateUninitialized(kChunkBytes, &memory);
  if (!s.ok()) return s;
  const Scratch scratch{memory.data(), memory.size()};
  if (!damaged_) {
    // A set to the value stored already: the bytes it would write are in
    // the page cache, read moments ago, and comparing them spares the
    // journal, three syncs and a new modification time.
    bool unchanged = false;
    s = pending_.LeavesUnchanged(file_.get(), file_size_, scratch, &unchanged);
    if (s.ok() && unchanged) committed_header_ = header_;
    if (!s.ok()) header_ = committed_header_;
    if (!s.ok() || unchanged) {
      pending_.Clear();
      return s;
    }
  }
  s = damaged_ ? ApplyInPlace(scratch) : ApplyJournaled(scratch);
  wrote_ = s.ok();
  if (!s.ok() && !damaged_) {
    // The journal may already have changed the file; put it back now,
    // under the lock still held. Should that fail too, the journal stays
    // and the next call restores the file.
    if (journal_ != nullptr) {
      RecoverJournal(journal_.get(), place_.file_name, file_.get());
    }
    header_ = committed_header_;
  }
  pending_.Clear();
  // Whatever this process kept of the file is stale now, or may be.
  if (const CommitListener listener = g_commit_listener.load()) {
    listener(store_);
  }
  return s;
}

Status ConfigSession::ApplyInPlace(const Scratch& scratch) {
  // A journal could only bring the damaged contents back, and recovery
  // would refuse it: an interrupted replacement leaves a damaged file,
  // which the next replacement overwrites again.
  const std::uint64_t new_size = Size();
  Status s = pending_.Apply(file_.get(), file_size_, scratch);
  if (s.ok()) s = file_->Sync();
  if (!s.ok()) return s;
  file_size_ = new_size;
  committed_header_ = header_;
  damaged_ = false;
  return Status::OK();
}

Status ConfigSession::ApplyJournaled(const Scratch& scratch) {
  // The header is saved from memory, as read; the rest as the file holds
  // it, within its current size (restoring cuts off whatever lies past).
  const std::vector<FileSpan> ranges = pending_.Overwritten(file_size_);
  const std::uint64_t new_size = Size();
  // The header as the changes leave it, whichever of them write it.
  SVR_CFG_HEADER header_after;
  Status s = Read(0, sizeof(header_after), &header_after);
  if (s.ok()) s = OpenJournal(/*create=*/true);
  if (s.ok()) {
    s = WriteJournal(
        journal_.get(),
        JournalSource{place_.file_name, file_size_, &committed_header_,
                      file_.get(), &ranges, new_size, &header_after},
        scratch);
  }
  if (s.ok()) s = pending_.Apply(file_.get(), file_size_, scratch);
  if (s.ok()) s = file_->Sync();
  if (s.ok()) s = MarkJournalIdle(journal_.get());
  if (!s.ok()) return s;
  file_size_ = new_size;
  committed_header_ = header_;
  return Status::OK();
}

}  // namespace brellox
