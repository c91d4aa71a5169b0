// The rollback journal: the bytes a change is about to overwrite, saved
// beside the configuration file (its name with "-journal" appended) before
// the change touches the file. doc/journal.md gives the byte layout and the
// commit and recovery protocol.
//
// A journal of zero length (or none at all) is idle. A journal whose
// checksums hold is complete: the file may have been changed since it was
// written, and rolling it back restores the file as it was before the
// change. Anything else is incomplete: it was cut short before it was
// synced, so the file was never touched.
//
// Journals are written and read a bounded chunk at a time, so that neither
// costs more memory than kChunkBytes (file_ranges.h) whatever they save.
#ifndef BRELLOX_STORE_JOURNAL_H_
#define BRELLOX_STORE_JOURNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"
#include "src/store/file_ranges.h"
#include "src/store/format.h"

namespace brellox {

constexpr char kJournalSuffix[] = "-journal";

// Where the journal of the configuration file at `path` lives.
std::string JournalPathFor(const std::string& path);

// The last component of `path` (after the last '/' or '\').
std::string BaseName(const std::string& path);

// What the journal of one change saves.
struct JournalSource {
  std::string file_name;         // BaseName of the file it restores
  std::uint64_t original_size;   // the file's size before the change
  const SVR_CFG_HEADER* header;  // the header as it was
  RandomRWFile* file;            // the file, still unchanged
  // The ranges the change overwrites, in any order and overlapping or not.
  // Their union past the header and within the original size is saved.
  const std::vector<FileSpan>* ranges;
  // What the change leaves: the file's size and its header. Recovery
  // refuses a file that shows neither this nor what the file was before.
  std::uint64_t size_after;
  const SVR_CFG_HEADER* header_after;
};

// Writes the journal of `source` as the whole content of `journal` (open
// for writing, idle) and syncs it: the header's bytes, then each range of
// the union, in file order, as the file holds it now, stretches of zeros (holes
// included) as counts rather than bytes, then the trailer that tells which
// file the journal fits. `scratch` is working memory. The journal's own
// header goes last, so a journal cut short anywhere never reads complete.
Status WriteJournal(RandomRWFile* journal, const JournalSource& source,
                    Scratch scratch);

enum class JournalState { kIdle, kIncomplete, kComplete };

// What a complete journal says, without the bytes it saves.
struct JournalSummary {
  std::string file_name;  // BaseName of the file it restores
  std::uint64_t original_size = 0;
  std::uint32_t range_count = 0;
  // The end of the furthest range (saturating, so a damaged offset never
  // wraps round to look small).
  std::uint64_t ranges_end = 0;
  // Whether the first range saves kHeaderSize bytes at offset 0, and then
  // those bytes.
  bool first_range_is_header = false;
  SVR_CFG_HEADER header{};
  // Whether a trailer follows the body (journals of older versions of the
  // library have none), and what it records of the file after the change.
  bool has_trailer = false;
  std::uint64_t size_after = 0;
  std::uint32_t header_crc_before = 0;
  std::uint32_t header_crc_after = 0;
  SVR_CFG_HEADER header_after{};
};

// Reads `journal` through and tells its state; kComplete fills `*summary`.
// An I/O error is an error, never a verdict on the journal.
Status ReadJournal(RandomRWFile* journal, Scratch scratch, JournalState* state,
                   JournalSummary* summary);

// What recovery sees of the configuration file: its size, and its header's
// bytes (all zeros past the end of a file shorter than a header).
struct FileNow {
  std::uint64_t size = 0;
  SVR_CFG_HEADER header{};
};

// Corrupt unless a complete journal belongs to the file named `file_name`
// that is now as `now` tells: the same name; every range inside the
// original size; the first range the header, describing a consistent layout
// within the original size. With a trailer, the file must be the one the
// journal was written for, as any moment of the change can leave it: a size
// between the sizes before and after, and a header each of whose bytes is
// as the change found it or as it wrote it (a torn header write mixes the
// two). Without one, a file no shorter than it was, unless the journal saves
// the bytes up to the original size (a shrinking change cut short after the
// cut).
Status CheckJournalFits(const JournalSummary& summary,
                        const std::string& file_name, const FileNow& now);

// Makes `journal` idle, restoring `file` from it first when it is complete.
// `file` is the configuration file named `file_name` (its last path
// component), open for writing and locked exclusively; `journal` is its
// journal, open for writing. Each step is durable before the next, so a
// crash anywhere leaves a journal that a later recovery finishes. Corrupt,
// with the journal left as it was, when it does not fit the file.
Status RecoverJournal(RandomRWFile* journal, const std::string& file_name,
                      RandomRWFile* file);

// The commit point: cuts the journal to zero length and syncs it.
Status MarkJournalIdle(RandomRWFile* journal);

// A journal's bytes made in memory, range by range, for tests and tools
// that need a journal of their own making.
class JournalBuilder {
 public:
  JournalBuilder(const std::string& file_name, std::uint64_t original_size);
  // Appends a range of `length` saved bytes at `offset`; returns where to
  // put them (valid until the next call).
  char* AddRange(std::uint64_t offset, std::uint32_t length);
  // Appends a range of `length` zeros at `offset`.
  void AddZeros(std::uint64_t offset, std::uint32_t length);
  // Seals the checksums; the journal is then complete.
  void Finish();
  const std::string& bytes() const { return bytes_; }

 private:
  std::uint64_t original_size_;
  std::uint32_t name_length_;
  std::uint32_t records_ = 0;
  std::string bytes_;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_JOURNAL_H_
