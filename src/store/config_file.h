// Opening the configuration file, its header, and one call's session on it.
#ifndef BRELLOX_STORE_CONFIG_FILE_H_
#define BRELLOX_STORE_CONFIG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/env.h"
#include "src/store/file_lock.h"
#include "src/store/format.h"
#include "src/store/journal_file.h"
#include "src/store/store.h"

namespace brellox {

// Reads the 428-byte header of a file of `file_size` bytes and checks that
// it describes a consistent layout within it (ValidateHeader). Corrupt if
// not.
Status ReadHeader(RandomRWFile& file, std::uint64_t file_size,
                  SVR_CFG_HEADER* header);

// Corrupt unless: the connection table starts at 781; each table starts
// where the one before it ends (offset + record size × capacity, in the order
// connections, GDBs, users, privileges, option groups); 0 <= count <=
// capacity for the four tables; the option-group count is >= 0; and the file
// is at least as long as the end of the option-group table.
Status ValidateHeader(const SVR_CFG_HEADER& header, std::uint64_t file_size);

// The file offset just past the option-group table.
std::int64_t LayoutEnd(const SVR_CFG_HEADER& header);

// What a session may do to the file.
enum class Access {
  kRead,   // reads only: the file is opened for reading, the lock is shared
  kWrite,  // may change it: opened for writing, the lock is exclusive
  // replaces its whole contents: as kWrite, but a journal that cannot be
  // trusted or does not fit is cleared instead of stopping the call, and a
  // damaged header is no failure (damaged() tells)
  kReplace,
};

// One call's hold on the configuration file, from its first read to its
// last write: the open file, the lock, and the header as read under it.
//
// Open takes the lock (waiting at most the busy timeout) and, when a crashed
// change left a journal, restores the file from it first. A kWrite session
// collects its writes in memory; reads see them. Commit makes them all land
// or none: it journals what they overwrite, writes them, syncs, and marks
// the journal idle. Destroying the session without Commit discards them, so
// a call that gives up part-way leaves the file as it found it.
class ConfigSession {
 public:
  ConfigSession() = default;
  ConfigSession(const ConfigSession&) = delete;
  ConfigSession& operator=(const ConfigSession&) = delete;
  ~ConfigSession();

  // Opens the store's file for `access`, locks it, recovers a journal left
  // by a crash, and reads and validates the header. NotFound when the file
  // is missing; Busy when the lock stayed taken; Corrupt when the header or
  // a journal does not fit the file; IOError naming the journal when it
  // cannot be trusted (journal_file.h) or a reader cannot restore the file
  // from it; Refused for a change to a file that has several names or is
  // mounted alone. On failure nothing was written, and nothing is held.
  Status Open(const Store& store, Access access);

  // For a kReplace session: the header read failed its check, so header()
  // is all zeros and the file is to be overwritten whole.
  bool damaged() const { return damaged_; }

  SVR_CFG_HEADER& header() { return header_; }
  const SVR_CFG_HEADER& header() const { return header_; }

  // Exactly `n` bytes at `offset` as the file will read once the writes made
  // so far land.
  Status Read(std::int64_t offset, std::size_t n, void* destination);

  // The file's size once the writes made so far land.
  std::uint64_t Size() const;

  // Records a write of `n` bytes at `offset`; nothing reaches the file
  // before Commit. Only for kWrite sessions.
  Status Write(std::int64_t offset, const void* source, std::size_t n);

  // Cuts the file to `size` bytes when the session commits, after the
  // writes made so far (which are cut with it), journaled like them. Only
  // for kWrite sessions.
  Status Truncate(std::uint64_t size);

  // Marks the in-memory header to be written, after every other write, by
  // Commit.
  Status WriteHeader();

  // Makes every recorded write land in the file, durably, or none of them.
  // On success the session may go on and commit again.
  Status Commit();

 private:
  struct PendingWrite {
    std::uint64_t offset;
    std::size_t length;
    std::size_t data;  // where its bytes start in data_
  };

  // Whether OpenLocked found a journal to look into: anything but none or
  // an empty regular file.
  enum class JournalEntry { kIdle, kFound };

  Status OpenLocked(Access access);
  Status ApplyJournaled();
  // Writes a damaged file's replacement straight into it.
  Status ApplyInPlace();
  // Opens the journal into journal_, unless open already; with `create`,
  // creates it when there is none.
  Status OpenJournal(bool create);
  void Close();

  Store store_{};
  Access access_ = Access::kRead;
  std::unique_ptr<RandomRWFile> file_;
  std::unique_ptr<RandomRWFile> journal_;
  FileLock lock_;
  FileFacts facts_;  // of the open file, as of the open
  FilePlace place_;
  JournalEntry journal_state_ = JournalEntry::kIdle;
  bool damaged_ = false;
  std::uint64_t file_size_ = 0;  // on disk, as of the last commit
  SVR_CFG_HEADER header_{};
  SVR_CFG_HEADER committed_header_{};
  bool header_dirty_ = false;
  bool truncating_ = false;
  std::uint64_t truncate_to_ = 0;
  std::vector<PendingWrite> pending_;
  std::vector<char> data_;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_CONFIG_FILE_H_
