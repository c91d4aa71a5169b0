#include "src/store/file_ranges.h"

#include <algorithm>
#include <cstring>

namespace brellox {

bool AllZero(const char* data, std::size_t n) {
  // Each byte equals the one before it and the first is zero.
  return n == 0 || (data[0] == 0 && std::memcmp(data, data + 1, n - 1) == 0);
}

std::size_t ScanLength(std::uint64_t at, std::uint64_t stretch_end,
                       std::uint64_t to, std::size_t most) {
  const std::uint64_t limit = std::min(std::max(stretch_end, at + 1), to);
  return static_cast<std::size_t>(std::min<std::uint64_t>(limit - at, most));
}

Status ZeroRange(SizedFile* file, std::uint64_t from, std::uint64_t to,
                 Scratch scratch) {
  if (from >= to) return Status::OK();
  const std::uint64_t inside = std::min(to, file->size);
  std::uint64_t at = from;
  while (at < inside) {
    std::uint64_t data = at, data_end = inside;
    Status s = file->file->NextData(at, &data, &data_end);
    if (!s.ok()) return s;
    if (data >= inside) break;
    at = std::max(at, data);
    const std::size_t n = ScanLength(at, data_end, inside, scratch.size);
    s = file->file->Read(at, n, scratch.data);
    // Reading first costs less than writing, and spares the disk the
    // writes of the usual case: the range is zero already.
    if (s.ok() && !AllZero(scratch.data, n)) {
      std::memset(scratch.data, 0, n);
      s = file->file->Write(at, scratch.data, n);
    }
    if (!s.ok()) return s;
    at += n;
  }
  if (to > file->size) {
    // A file extended reads as zeros up to its new end.
    Status s = file->file->Truncate(to);
    if (!s.ok()) return s;
    file->size = to;
  }
  return Status::OK();
}

namespace {

Status CopyPiece(SizedFile* file, std::uint64_t destination,
                 std::uint64_t source, std::size_t n, Scratch scratch) {
  std::uint64_t data = source, data_end = source + n;
  Status s = file->file->NextData(source, &data, &data_end);
  if (!s.ok()) return s;
  if (data >= source + n) {
    return ZeroRange(file, destination, destination + n, scratch);
  }
  s = file->file->Read(source, n, scratch.data);
  if (s.ok()) s = file->file->Write(destination, scratch.data, n);
  if (s.ok()) file->size = std::max(file->size, destination + n);
  return s;
}

}  // namespace

Status MoveRange(SizedFile* file, std::uint64_t destination,
                 std::uint64_t source, std::uint64_t n, Scratch scratch) {
  if (n == 0 || destination == source) return Status::OK();
  // Towards the end of the file, the last piece goes first: every piece is
  // then written above the source bytes not yet read, and the other way
  // round towards the start.
  const bool backwards = destination > source;
  for (std::uint64_t done = 0; done < n;) {
    const std::size_t piece = static_cast<std::size_t>(
        std::min<std::uint64_t>(scratch.size, n - done));
    const std::uint64_t at = backwards ? n - done - piece : done;
    Status s = CopyPiece(file, destination + at, source + at, piece, scratch);
    if (!s.ok()) return s;
    done += piece;
  }
  return Status::OK();
}

}  // namespace brellox
