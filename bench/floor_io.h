// The system calls that a safe call on the configuration file cannot avoid,
// made bare: no Env, no Status, no allocation once the buffers have grown.
// The floors (floor.h) are built from them.
#ifndef BRELLOX_BENCH_FLOOR_IO_H_
#define BRELLOX_BENCH_FLOOR_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/counting.h"
#include "bench/unique_fd.h"
#include "src/store/format.h"

namespace brellox {
namespace bench {

// What a safe call guards itself with; a floor can leave either out, so
// that a benchmark prices it by the difference.
struct Guards {
  bool lock = true;           // the shared or exclusive lock of the file
  bool journal_check = true;  // one stat of "<file>-journal"
};

// What the floor's system calls did, per file.
struct FloorCounts {
  Counts config;
  Counts journal;
};

// One call's open configuration file: opened, locked (the pending byte and
// the shared byte far past the data, as the library locks), the journal
// looked for, and the header read. Closing it drops the locks.
class FloorFile {
 public:
  // False on any failure, and when a journal with content is found: a
  // floor does not recover, it only prices the check.
  bool Open(const std::string& path, const std::string& journal_path,
            bool write, Guards guards, FloorCounts* counts);

  bool Read(std::int64_t offset, std::size_t n, void* out);
  bool Write(std::int64_t offset, const void* in, std::size_t n);
  bool Sync();

  SVR_CFG_HEADER& header() { return header_; }
  int fd() const { return fd_.get(); }

 private:
  bool Lock(std::uint64_t byte, short type, off_t length = 1);

  UniqueFd fd_;
  FloorCounts* counts_ = nullptr;
  SVR_CFG_HEADER header_{};
};

// A range the commit writes, or whose original bytes the journal saves.
struct Span {
  std::int64_t offset;
  const char* data;
  std::size_t n;
};

// The rollback journal, bare: the original header and the original bytes
// of every range a change overwrites, laid out as the library lays them out
// (so that the bytes written are the same) but without the checksums, which
// cost no system call.
class FloorJournal {
 public:
  // `buffer` is reused from call to call.
  FloorJournal(std::string* buffer, const std::string& file_name,
               std::uint64_t original_size, const SVR_CFG_HEADER& header);

  // Saves the original bytes of a range the commit will overwrite; call
  // before changing the copy they come from.
  void Save(std::int64_t offset, const char* data, std::size_t n);

  // Writes and syncs the journal, writes `writes` in order, syncs the file,
  // then truncates and syncs the journal: the commit point.
  bool Commit(const std::string& journal_path, FloorFile& file,
              const std::vector<Span>& writes, FloorCounts* counts);

 private:
  std::string* const buffer_;
};

}  // namespace bench
}  // namespace brellox

#endif  // BRELLOX_BENCH_FLOOR_IO_H_
