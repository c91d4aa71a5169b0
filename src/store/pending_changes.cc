#include "src/store/pending_changes.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace brellox {

void PendingChanges::Clear() {
  changes_.clear();
  data_.clear();
  truncating_ = false;
  truncate_to_ = 0;
}

void PendingChanges::Write(std::uint64_t offset, const void* source,
                           std::size_t n) {
  const std::size_t at = data_.size();
  const char* bytes = static_cast<const char*>(source);
  data_.insert(data_.end(), bytes, bytes + n);
  changes_.push_back({Kind::kWrite, offset, n, at});
}

void PendingChanges::Zero(std::uint64_t offset, std::uint64_t n) {
  if (n > 0) changes_.push_back({Kind::kZero, offset, n, 0});
}

void PendingChanges::Move(std::uint64_t destination, std::uint64_t source,
                          std::uint64_t n) {
  if (n > 0 && destination != source) {
    changes_.push_back({Kind::kMove, destination, n, source});
  }
}

void PendingChanges::Truncate(std::uint64_t size) {
  truncate_to_ = truncating_ ? std::min(truncate_to_, size) : size;
  truncating_ = true;
}

std::uint64_t PendingChanges::Size(std::uint64_t base_size) const {
  std::uint64_t size = base_size;
  for (const Change& c : changes_) size = std::max(size, c.offset + c.length);
  return truncating_ ? std::min(size, truncate_to_) : size;
}

Status PendingChanges::Read(RandomRWFile* base, std::uint64_t base_size,
                            std::uint64_t offset, std::size_t n,
                            char* out) const {
  return ReadAt(changes_.size(), base, base_size, offset, n, out);
}

Status PendingChanges::ReadAt(std::size_t level, RandomRWFile* base,
                              std::uint64_t base_size, std::uint64_t offset,
                              std::size_t n, char* out) const {
  const std::uint64_t end = offset + n;
  // The latest change that covers any of the range decides those bytes;
  // the rest come from the level below it.
  for (; level > 0; --level) {
    const Change& c = changes_[level - 1];
    const std::uint64_t from = std::max(offset, c.offset);
    const std::uint64_t to = std::min(end, c.offset + c.length);
    if (from >= to) continue;
    --level;
    Status s;
    if (offset < from) {
      s = ReadAt(level, base, base_size, offset,
                 static_cast<std::size_t>(from - offset), out);
    }
    if (s.ok() && to < end) {
      s = ReadAt(level, base, base_size, to, static_cast<std::size_t>(end - to),
                 out + (to - offset));
    }
    if (!s.ok()) return s;
    char* covered = out + (from - offset);
    const std::size_t length = static_cast<std::size_t>(to - from);
    switch (c.kind) {
      case Kind::kWrite:
        std::memcpy(covered, data_.data() + c.source + (from - c.offset),
                    length);
        break;
      case Kind::kZero:
        std::memset(covered, 0, length);
        break;
      case Kind::kMove:
        return ReadAt(level, base, base_size, c.source + (from - c.offset),
                      length, covered);
    }
    return Status::OK();
  }
  // The file as it is; past its end, zeros, as a file extended reads.
  std::size_t on_disk = 0;
  if (offset < base_size) {
    on_disk = static_cast<std::size_t>(std::min(end, base_size) - offset);
    Status s = base->Read(offset, on_disk, out);
    if (!s.ok()) return s;
  }
  std::memset(out + on_disk, 0, n - on_disk);
  return Status::OK();
}

Status PendingChanges::NextData(RandomRWFile* base, std::uint64_t base_size,
                                std::uint64_t offset, std::uint64_t* begin,
                                std::uint64_t* end) const {
  // The first of the stretches that may hold data: the file's own, and
  // wherever a write or a move lands. A zero-fill only takes data away, so
  // the file's answer still holds beneath it.
  std::uint64_t first = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t last = first;
  const auto consider = [&](std::uint64_t from, std::uint64_t to) {
    if (from < first || (from == first && to > last)) {
      first = from;
      last = to;
    }
  };
  if (offset < base_size) {
    std::uint64_t data = offset, data_end = base_size;
    Status s = base->NextData(offset, &data, &data_end);
    if (!s.ok()) return s;
    if (data < base_size) consider(data, std::max(data_end, data + 1));
  }
  for (const Change& c : changes_) {
    if (c.kind != Kind::kZero && c.offset + c.length > offset) {
      consider(std::max(offset, c.offset), c.offset + c.length);
    }
  }
  const std::uint64_t size = std::max(offset, Size(base_size));
  *begin = std::min(first, size);
  *end = std::min(last, size);
  return Status::OK();
}

std::vector<FileSpan> PendingChanges::Overwritten(
    std::uint64_t base_size) const {
  std::vector<FileSpan> spans;
  const auto add = [&](std::uint64_t begin, std::uint64_t end) {
    end = std::min(end, base_size);
    if (begin < end) spans.push_back({begin, end});
  };
  for (const Change& c : changes_) add(c.offset, c.offset + c.length);
  add(Size(base_size), base_size);
  return spans;
}

Status PendingChanges::LeavesUnchanged(RandomRWFile* base,
                                       std::uint64_t base_size, Scratch scratch,
                                       bool* unchanged) const {
  *unchanged = false;
  if (Size(base_size) != base_size) return Status::OK();
  for (const Change& c : changes_) {
    if (c.kind == Kind::kMove || c.offset + c.length > base_size) {
      return Status::OK();
    }
    for (std::uint64_t done = 0; done < c.length;) {
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>(scratch.size, c.length - done));
      Status s = base->Read(c.offset + done, n, scratch.data);
      if (!s.ok()) return s;
      const bool same =
          c.kind == Kind::kWrite
              ? std::memcmp(scratch.data, data_.data() + c.source + done, n) ==
                    0
              : std::all_of(scratch.data, scratch.data + n,
                            [](char b) { return b == 0; });
      if (!same) return Status::OK();
      done += n;
    }
  }
  *unchanged = true;
  return Status::OK();
}

Status PendingChanges::Apply(RandomRWFile* file, std::uint64_t base_size,
                             Scratch scratch) const {
  SizedFile target{file, base_size};
  for (const Change& c : changes_) {
    Status s;
    switch (c.kind) {
      case Kind::kWrite:
        s = file->Write(c.offset, data_.data() + c.source,
                        static_cast<std::size_t>(c.length));
        target.size = std::max(target.size, c.offset + c.length);
        break;
      case Kind::kZero:
        s = ZeroRange(&target, c.offset, c.offset + c.length, scratch);
        break;
      case Kind::kMove:
        s = MoveRange(&target, c.offset, c.source, c.length, scratch);
        break;
    }
    if (!s.ok()) return s;
  }
  return truncating_ ? file->Truncate(Size(base_size)) : Status::OK();
}

}  // namespace brellox
