#include "bench/floor_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "src/store/file_lock.h"

namespace brellox {
namespace bench {
namespace {

constexpr std::size_t kJournalHeaderBytes = 48;
constexpr std::size_t kRangeHeadBytes = 12;

bool CountedPwriteAll(int fd, const char* in, std::size_t n, off_t at,
                      Counts* counts) {
  ++counts->writes;
  counts->bytes_written += n;
  return PwriteAll(fd, in, n, at);
}

// fdatasync: the data and the size durable, the times not, which is all a
// reader needs back, and what the library syncs with.
bool SyncFd(int fd, Counts* counts) {
  ++counts->syncs;
  return ::fdatasync(fd) == 0;
}

template <class T>
void Put(std::string* out, std::size_t at, T value) {
  std::memcpy(&(*out)[at], &value, sizeof(value));
}

}  // namespace

bool FloorFile::Open(const std::string& path, const std::string& journal_path,
                     bool write, Guards guards, FloorCounts* counts) {
  counts_ = counts;
  ++counts->config.opens;
  fd_.Reset(::open(path.c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC));
  if (!fd_.valid()) return false;
  if (guards.lock) {
    // A reader takes both bytes at once and lets the pending byte go; a
    // writer keeps it.
    const bool locked =
        write ? Lock(kPendingByte, F_WRLCK) && Lock(kSharedByte, F_WRLCK)
              : Lock(kPendingByte, F_RDLCK, 2) && Lock(kPendingByte, F_UNLCK);
    if (!locked) return false;
  }
  if (guards.journal_check) {
    ++counts->journal.stats;
    struct stat st;
    if (::stat(journal_path.c_str(), &st) == 0 && st.st_size > 0) return false;
  }
  return Read(0, sizeof(header_), &header_);
}

bool FloorFile::Lock(std::uint64_t byte, short type, off_t length) {
  ++counts_->config.locks;
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = static_cast<off_t>(byte);
  lock.l_len = length;
  return ::fcntl(fd_.get(), F_OFD_SETLK, &lock) == 0;
}

bool FloorFile::Read(std::int64_t offset, std::size_t n, void* out) {
  ++counts_->config.reads;
  counts_->config.bytes_read += n;
  return PreadAll(fd_.get(), static_cast<char*>(out), n,
                  static_cast<off_t>(offset));
}

bool FloorFile::Write(std::int64_t offset, const void* in, std::size_t n) {
  return CountedPwriteAll(fd_.get(), static_cast<const char*>(in), n,
                          static_cast<off_t>(offset), &counts_->config);
}

bool FloorFile::Sync() { return SyncFd(fd_.get(), &counts_->config); }

FloorJournal::FloorJournal(std::string* buffer, const std::string& file_name,
                           std::uint64_t original_size,
                           const SVR_CFG_HEADER& header)
    : buffer_(buffer) {
  buffer_->assign(kJournalHeaderBytes, '\0');
  std::memcpy(&(*buffer_)[0], "BRXJRNL1", 8);
  Put(buffer_, 16, original_size);
  buffer_->append(file_name);
  Save(0, reinterpret_cast<const char*>(&header), sizeof(header));
}

void FloorJournal::Save(std::int64_t offset, const char* data, std::size_t n) {
  const std::size_t head = buffer_->size();
  buffer_->resize(head + kRangeHeadBytes);
  Put(buffer_, head, static_cast<std::uint64_t>(offset));
  Put(buffer_, head + 8, static_cast<std::uint32_t>(n));
  buffer_->append(data, n);
}

bool FloorJournal::Commit(const std::string& journal_path, FloorFile& file,
                          const std::vector<Span>& writes,
                          FloorCounts* counts) {
  // The journal exists, empty, once the file has been changed: the steady
  // state, so no create and no directory sync.
  ++counts->journal.opens;
  UniqueFd journal(
      ::open(journal_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!journal.valid() ||
      !CountedPwriteAll(journal.get(), buffer_->data(), buffer_->size(), 0,
                        &counts->journal) ||
      !SyncFd(journal.get(), &counts->journal)) {
    return false;
  }
  for (const Span& w : writes) {
    if (!file.Write(w.offset, w.data, w.n)) return false;
  }
  if (!file.Sync()) return false;
  ++counts->journal.truncates;
  return ::ftruncate(journal.get(), 0) == 0 &&
         SyncFd(journal.get(), &counts->journal);
}

}  // namespace bench
}  // namespace brellox
