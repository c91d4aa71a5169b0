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
#ifndef BRELLOX_STORE_JOURNAL_H_
#define BRELLOX_STORE_JOURNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"

namespace brellox {

constexpr char kJournalSuffix[] = "-journal";

// Where the journal of the configuration file at `path` lives.
std::string JournalPathFor(const std::string& path);

// The last component of `path` (after the last '/' or '\').
std::string BaseName(const std::string& path);

// One range of the file as it was: `length` bytes at `offset`, held at
// `data_offset` of the journal image.
struct SavedRange {
  std::uint64_t offset;
  std::uint32_t length;
  std::size_t data_offset;
};

// A journal as bytes, and the ranges it holds.
struct JournalImage {
  std::string file_name;        // BaseName of the file it restores
  std::uint64_t original_size;  // the file's size before the change
  std::vector<SavedRange> ranges;
  std::string bytes;            // the encoded journal, ranges' data inside
};

// Builds the journal of a change to `file_name`, a file of `original_size`
// bytes, that will overwrite the ranges given (which must lie within the
// file): `read` fills each range with the file's current bytes. The first
// range must be the header.
class JournalBuilder {
 public:
  JournalBuilder(const std::string& file_name, std::uint64_t original_size);
  // Appends room for `length` bytes at `offset`; returns where to put them.
  char* AddRange(std::uint64_t offset, std::uint32_t length);
  // Seals the checksums; the image is then complete.
  void Finish();
  const std::string& bytes() const { return image_.bytes; }

 private:
  JournalImage image_;
};

enum class JournalState { kIdle, kIncomplete, kComplete };

// Reads a journal's bytes. kComplete fills `*image` (whose `bytes` then
// holds `data`); the others leave it empty. Never reads past `size`.
JournalState DecodeJournal(const char* data, std::size_t size,
                           JournalImage* image);

// Corrupt unless a complete journal belongs to the file named `file_name`
// whose size is now `file_size`: the same name; every range inside the
// original size; the first range the header, describing a consistent layout
// within the original size; and a file no shorter than it was.
Status CheckJournalFits(const JournalImage& image,
                        const std::string& file_name, std::uint64_t file_size);

// Makes `journal` idle, restoring `file` from it first when it is complete.
// `file` is the configuration file named `file_name` (its last path
// component), open for writing and locked exclusively; `journal` is its
// journal, open for writing. Each step is durable before the next, so a
// crash anywhere leaves a journal that a later recovery finishes. Corrupt,
// with the journal left as it was, when it does not fit the file.
Status RecoverJournal(RandomRWFile* journal, const std::string& file_name,
                      RandomRWFile* file);

// Writes `bytes` as the whole content of `journal`, open for writing, and
// syncs it.
Status WriteJournal(RandomRWFile* journal, const std::string& bytes);

// The commit point: cuts the journal to zero length and syncs it.
Status MarkJournalIdle(RandomRWFile* journal);

}  // namespace brellox

#endif  // BRELLOX_STORE_JOURNAL_H_
