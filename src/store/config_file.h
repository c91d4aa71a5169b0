// Opening the configuration file, its header, and one call's session on it.
#ifndef BRELLOX_STORE_CONFIG_FILE_H_
#define BRELLOX_STORE_CONFIG_FILE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/env.h"
#include "src/store/file_lock.h"
#include "src/store/format.h"
#include "src/store/journal_file.h"
#include "src/store/pending_changes.h"
#include "src/store/store.h"

namespace brellox {

// What a session may do to the file.
enum class Access {
  kRead,   // reads only: the file is opened for reading, the lock is shared
  kWrite,  // may change it: opened for writing, the lock is exclusive
  // replaces its whole contents: as kWrite, but a journal that cannot be
  // trusted or does not fit is cleared instead of stopping the call, and a
  // damaged header is no failure (damaged() tells)
  kReplace,
};

// Told of every commit of this process that may have changed the file at
// `store.path`, after it: for whoever keeps what it read of files across
// calls (the read cache), which must drop it. One at a time; the last one
// set is called.
using CommitListener = void (*)(const Store& store);
void ListenToCommits(CommitListener listener);

// One call's hold on the configuration file, from its first read to its
// last write: the open file, the lock, and the header as read under it.
//
// Open takes the lock (waiting at most the busy timeout) and, when a crashed
// change left a journal, restores the file from it first. A kWrite session
// records its changes (writes, zero-fills, moves) without touching the
// file; reads see them. Commit makes them all land or none: it journals
// what they overwrite, makes them in order, syncs, and marks the journal
// idle. Destroying the session without Commit discards them, so a call
// that gives up part-way leaves the file as it found it.
//
// Memory: a session holds the bytes of its writes, and a commit or a
// recovery a few chunks (kChunkBytes) more, whatever the size of the
// ranges zeroed, moved or journaled.
class ConfigSession {
 public:
  ConfigSession() = default;
  ConfigSession(const ConfigSession&) = delete;
  ConfigSession& operator=(const ConfigSession&) = delete;
  ~ConfigSession();

  // Opens the store's file for `access`, locks it, recovers a journal left
  // by a crash, and reads and validates the header. FileMissing when the file
  // is missing; Busy when the lock stayed taken; Corrupt when the header or
  // a journal does not fit the file; IOError naming the journal when it
  // cannot be trusted (journal_file.h) or a reader cannot restore the file
  // from it; Refused for a change to a file that has several names or is
  // mounted alone, or whose name is a symbolic link of another user
  // (file_name.h). On failure nothing was written, and nothing is held.
  Status Open(const Store& store, Access access);

  // For a kReplace session: the header read failed its check, so header()
  // is all zeros and the file is to be overwritten whole.
  bool damaged() const { return damaged_; }

  // What the open file's fstat told at the open, and where it lies.
  const FileFacts& facts() const { return facts_; }
  const FilePlace& place() const { return place_; }

  SVR_CFG_HEADER& header() { return header_; }
  const SVR_CFG_HEADER& header() const { return header_; }

  // Exactly `n` bytes at `offset` as the file will read once the writes made
  // so far land.
  Status Read(std::int64_t offset, std::size_t n, void* destination);

  // The file's size once the writes made so far land.
  std::uint64_t Size() const;

  // RandomRWFile::NextData of the file as Read returns it: every byte of
  // [offset, *begin) reads as zero, and [*begin, *end) may hold data. Lets a
  // scan skip the file's holes.
  Status NextData(std::int64_t offset, std::uint64_t* begin,
                  std::uint64_t* end);

  // Records a write of `n` bytes at `offset`; nothing reaches the file
  // before Commit. Only for kWrite sessions.
  Status Write(std::int64_t offset, const void* source, std::size_t n);

  // Records that the `n` bytes at `offset` become zeros, holding no bytes
  // of them. Only for kWrite sessions.
  Status Zero(std::int64_t offset, std::uint64_t n);

  // Records that the `n` bytes at `destination` become the `n` bytes at
  // `source` as Read returns them now; the two may overlap. IOError when
  // the source passes Size(). Holds no bytes. Only for kWrite sessions.
  Status Move(std::int64_t destination, std::int64_t source, std::uint64_t n);

  // Cuts the file to `size` bytes when the session commits, after the
  // writes made so far (which are cut with it), journaled like them. Only
  // for kWrite sessions.
  Status Truncate(std::uint64_t size);

  // Marks the in-memory header to be written, after every other write, by
  // Commit.
  Status WriteHeader();

  // Makes every recorded change land in the file, durably, or none of
  // them. Changes that would leave every byte as it is land as nothing:
  // no journal, no write, no sync. On success the session may go on and
  // commit again.
  Status Commit();
  // Whether the last Commit wrote to the file.
  bool wrote() const { return wrote_; }

  // The whole file as this session sees it: as Commit would leave it now,
  // read through the changes recorded so far, the header included. Nothing
  // is written; the changes stay recorded.
  Status Contents(std::string* contents);

 private:
  // Whether OpenLocked found a journal to look into: anything but none or
  // an empty regular file.
  enum class JournalEntry { kIdle, kFound };

  Status CheckWritable() const;
  Status OpenLocked(Access access);
  Status ApplyJournaled(const Scratch& scratch);
  // Records the header's write, when WriteHeader asked for one.
  Status RecordHeader();
  // Writes a damaged file's replacement straight into it.
  Status ApplyInPlace(const Scratch& scratch);
  // Opens the journal into journal_, unless open already; with `create`,
  // creates it when there is none.
  Status OpenJournal(bool create);
  void Close();

  Store store_{};
  Access access_ = Access::kRead;
  std::unique_ptr<RandomRWFile> file_;
  std::unique_ptr<Folder> folder_;  // the file's, where its journal lies
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
  bool wrote_ = false;
  PendingChanges pending_;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_CONFIG_FILE_H_
