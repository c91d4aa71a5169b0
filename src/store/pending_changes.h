// The changes a session has recorded and not yet made: writes of bytes it
// holds, zero-fills and moves, in the order recorded, and a cut of the file
// after them all. They apply to one "base" file of a known size; reads and
// scans see the file as it will be once they land.
#ifndef BRELLOX_STORE_PENDING_CHANGES_H_
#define BRELLOX_STORE_PENDING_CHANGES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/env.h"
#include "src/store/file_ranges.h"

namespace brellox {

class PendingChanges {
 public:
  bool empty() const { return changes_.empty() && !truncating_; }
  void Clear();

  // The `n` bytes at `offset` become the `n` bytes at `source` (copied).
  void Write(std::uint64_t offset, const void* source, std::size_t n);
  // The `n` bytes at `offset` become zeros. Holds no bytes.
  void Zero(std::uint64_t offset, std::uint64_t n);
  // The `n` bytes at `destination` become the `n` bytes at `source` as the
  // file reads with the changes recorded so far. Holds no bytes.
  void Move(std::uint64_t destination, std::uint64_t source, std::uint64_t n);
  // After everything else, the file is cut to `size` bytes (to the least
  // size asked for, if asked more than once).
  void Truncate(std::uint64_t size);

  // The file's size once the changes land on `base`, of `base_size` bytes.
  std::uint64_t Size(std::uint64_t base_size) const;

  // Fills `out` with the `n` bytes at `offset` as they will read once the
  // changes land; the caller keeps offset + n within Size().
  Status Read(RandomRWFile* base, std::uint64_t base_size, std::uint64_t offset,
              std::size_t n, char* out) const;

  // RandomRWFile::NextData of the file as it will be: every byte of
  // [offset, *begin) will read as zero, [*begin, *end) may hold data.
  Status NextData(RandomRWFile* base, std::uint64_t base_size,
                  std::uint64_t offset, std::uint64_t* begin,
                  std::uint64_t* end) const;

  // The parts of [0, base_size) that the changes overwrite or cut away, one
  // span per change in the order recorded (they may overlap).
  std::vector<FileSpan> Overwritten(std::uint64_t base_size) const;

  // Sets `*unchanged` to whether the changes would leave `base`, of
  // `base_size` bytes, byte for byte as it is: no size change, and every
  // write or zero-fill giving bytes the file holds already. Reads at most
  // `scratch` at a time. Conservative: a move, or a change that a later one
  // undoes, counts as a change.
  Status LeavesUnchanged(RandomRWFile* base, std::uint64_t base_size,
                         Scratch scratch, bool* unchanged) const;

  // Makes the changes in `file` (the base, of `base_size` bytes), in order,
  // using `scratch`; memory beyond it stays constant.
  Status Apply(RandomRWFile* file, std::uint64_t base_size,
               Scratch scratch) const;

 private:
  enum class Kind { kWrite, kZero, kMove };
  struct Change {
    Kind kind;
    std::uint64_t offset;  // where it lands
    std::uint64_t length;
    // kWrite: where its bytes start in data_; kMove: the source offset.
    std::uint64_t source;
  };

  // The bytes [offset, offset + n) with the first `level` changes made.
  Status ReadAt(std::size_t level, RandomRWFile* base, std::uint64_t base_size,
                std::uint64_t offset, std::size_t n, char* out) const;

  std::vector<Change> changes_;
  std::vector<char> data_;
  bool truncating_ = false;
  std::uint64_t truncate_to_ = 0;
};

}  // namespace brellox

#endif  // BRELLOX_STORE_PENDING_CHANGES_H_
