// Moving and clearing ranges of a file a bounded chunk at a time, whatever
// their length, skipping what the file's holes make free.
#ifndef BRELLOX_STORE_FILE_RANGES_H_
#define BRELLOX_STORE_FILE_RANGES_H_

#include <cstddef>
#include <cstdint>

#include "platform/env.h"

namespace brellox {

// The most a change keeps of the file in memory at once, per buffer.
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;

// Whether all `n` bytes at `data` are zero.
bool AllZero(const char* data, std::size_t n);

// How many bytes a scan at `at` reads next, `at` lying in a stretch that
// may hold data up to `stretch_end` (RandomRWFile::NextData): to the
// stretch's end, no further than `to` nor `most` bytes, and at least one.
std::size_t ScanLength(std::uint64_t at, std::uint64_t stretch_end,
                       std::uint64_t to, std::size_t most);

// Working memory lent to the functions below: `size` bytes at `data`.
struct Scratch {
  char* data;
  std::size_t size;  // at least 1
};

// A half-open range of file offsets, [begin, end).
struct FileSpan {
  std::uint64_t begin;
  std::uint64_t end;
};

// A file being changed, and its size as the changes so far have left it
// (the size is tracked here rather than asked of the system every time).
struct SizedFile {
  RandomRWFile* file;
  std::uint64_t size;
};

// Makes the bytes [from, to) of `*file` zero. Stretches that already read
// as zeros (holes, and chunks of zeros) are not written; a range past the
// end extends the file.
Status ZeroRange(SizedFile* file, std::uint64_t from, std::uint64_t to,
                 Scratch scratch);

// Makes the `n` bytes at `destination` what the `n` bytes at `source` were,
// copying chunk by chunk in the direction that reads every byte before it
// is overwritten. Requires source + n <= file->size.
Status MoveRange(SizedFile* file, std::uint64_t destination,
                 std::uint64_t source, std::uint64_t n, Scratch scratch);

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_RANGES_H_
