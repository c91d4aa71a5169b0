// Reading journals back: telling a complete one from a torn one, checking
// that it fits the file, and rolling the file back from it.
#include <algorithm>
#include <limits>

#include "src/store/buffer.h"
#include "src/store/crc32c.h"
#include "src/store/format.h"
#include "src/store/journal.h"
#include "src/store/journal_format.h"

namespace brellox {

using namespace journal_format;

namespace {

// The body of a journal, [begin, end) of its file, read front to back
// through the scratch memory, the checksum kept as it goes.
class BodyReader {
 public:
  BodyReader(RandomRWFile* journal, std::uint64_t begin, std::uint64_t end,
             Scratch scratch)
      : journal_(journal), next_(begin), end_(end), scratch_(scratch) {}

  std::uint64_t left() const { return end_ - next_ + (filled_ - used_); }
  std::uint32_t crc() const { return crc_; }

  // Hands the next `n` bytes (n <= left()) to `sink(bytes, count)` piece by
  // piece.
  template <class Sink>
  Status Stream(std::uint64_t n, Sink sink) {
    while (n > 0) {
      if (used_ == filled_) {
        Status s = Fill();
        if (!s.ok()) return s;
      }
      const std::size_t piece =
          static_cast<std::size_t>(std::min<std::uint64_t>(n, filled_ - used_));
      const char* bytes = scratch_.data + used_;
      crc_ = Crc32cExtend(crc_, bytes, piece);
      used_ += piece;
      n -= piece;
      Status s = sink(bytes, piece);
      if (!s.ok()) return s;
    }
    return Status::OK();
  }

  // Copies the next `n` bytes (n <= left()) to `out`.
  Status Take(std::size_t n, void* out) {
    char* to = static_cast<char*>(out);
    return Stream(n, [&to](const char* bytes, std::size_t piece) {
      std::memcpy(to, bytes, piece);
      to += piece;
      return Status::OK();
    });
  }

 private:
  Status Fill() {
    const std::size_t n = static_cast<std::size_t>(
        std::min<std::uint64_t>(scratch_.size, end_ - next_));
    if (n == 0) return Status::IOError("the journal ends inside a range");
    Status s = journal_->Read(next_, n, scratch_.data);
    if (!s.ok()) return s;
    next_ += n;
    used_ = 0;
    filled_ = n;
    return Status::OK();
  }

  RandomRWFile* const journal_;
  std::uint64_t next_;  // journal offset of the next read
  const std::uint64_t end_;
  const Scratch scratch_;
  std::size_t used_ = 0;
  std::size_t filled_ = 0;
  std::uint32_t crc_ = 0;
};

Status Ignore(const char*, std::size_t) { return Status::OK(); }

// Where a journal's body lies and how its name is held.
struct BodyLayout {
  std::uint64_t length = 0;
  std::uint32_t name_length = 0;
};

struct RangeHead {
  std::uint64_t offset;
  std::uint32_t length;
  std::uint32_t kind;
};

// Reads the header of a journal of `size` (> 0) bytes. `*whole` is false
// when it is not the header of a journal of this version with all of its
// body there: then the journal is incomplete.
Status ReadJournalHeader(RandomRWFile* journal, std::uint64_t size,
                         std::uint64_t* body_length, char* header,
                         bool* whole) {
  *whole = false;
  if (size < kHeaderBytes) return Status::OK();
  Status s = journal->Read(0, kHeaderBytes, header);
  if (!s.ok()) return s;
  if (std::memcmp(header, kJournalMagic, sizeof(kJournalMagic)) != 0 ||
      Get<std::uint32_t>(header + 40) != Crc32c(header, 40) ||
      Get<std::uint32_t>(header + 8) != kVersion) {
    return Status::OK();
  }
  *body_length = Get<std::uint64_t>(header + 32);
  // Bytes past the body are left over from nothing we write, but a longer
  // file is still the same journal; a shorter one was cut.
  *whole = *body_length <= size - kHeaderBytes;
  return Status::OK();
}

Status TakeHead(BodyReader* body, RangeHead* head) {
  char bytes[kRangeHeadBytes];
  Status s = body->Take(sizeof(bytes), bytes);
  head->offset = Get<std::uint64_t>(bytes);
  head->length = Get<std::uint32_t>(bytes + 8);
  head->kind = Get<std::uint32_t>(bytes + 12);
  return s;
}

// Writes every range of a complete journal back into `file`.
Status Replay(RandomRWFile* journal, const BodyLayout& layout,
              std::uint32_t ranges, RandomRWFile* file, Scratch scratch) {
  // Half the memory reads the journal, half checks the file for zeros.
  const Scratch reading{scratch.data, scratch.size / 2};
  const Scratch zeroing{scratch.data + reading.size,
                        scratch.size - reading.size};
  SizedFile target{file, 0};
  Status s = file->Size(&target.size);
  BodyReader body(journal, kHeaderBytes, kHeaderBytes + layout.length, reading);
  if (s.ok()) s = body.Stream(layout.name_length, Ignore);
  for (std::uint32_t i = 0; s.ok() && i < ranges; ++i) {
    RangeHead head;
    s = TakeHead(&body, &head);
    if (!s.ok()) break;
    if (head.kind == kZeros) {
      s = ZeroRange(&target, head.offset, head.offset + head.length, zeroing);
      continue;
    }
    std::uint64_t at = head.offset;
    s = body.Stream(head.length, [&](const char* bytes, std::size_t n) {
      Status w = file->Write(at, bytes, n);
      at += n;
      return w;
    });
  }
  return s;
}

// Fills the trailer's part of `*summary` from the bytes at `at` of a
// journal of `size` bytes, when they are the trailer of the body whose
// checksum is `body_crc`; anything else there is no trailer.
Status ReadTrailer(RandomRWFile* journal, std::uint64_t size, std::uint64_t at,
                   std::uint32_t body_crc, JournalSummary* summary) {
  if (size < at || size - at < kTrailerBytes) return Status::OK();
  char trailer[kTrailerBytes];
  Status s = journal->Read(at, kTrailerBytes, trailer);
  if (!s.ok()) return s;
  if (std::memcmp(trailer, kTrailerMagic, sizeof(kTrailerMagic)) != 0 ||
      Get<std::uint32_t>(trailer + kTrailerBytes - 4) !=
          Crc32c(trailer, kTrailerBytes - 4) ||
      Get<std::uint32_t>(trailer + 24) != body_crc) {
    return Status::OK();
  }
  summary->has_trailer = true;
  summary->size_after = Get<std::uint64_t>(trailer + 8);
  summary->header_crc_before = Get<std::uint32_t>(trailer + 16);
  summary->header_crc_after = Get<std::uint32_t>(trailer + 20);
  std::memcpy(&summary->header_after, trailer + kTrailerHeaderAt,
              sizeof(summary->header_after));
  return Status::OK();
}

// Whether each byte of `now` is the byte of `before` or of `after` there.
bool MixOf(const SVR_CFG_HEADER& now, const SVR_CFG_HEADER& before,
           const SVR_CFG_HEADER& after) {
  const auto* n = reinterpret_cast<const unsigned char*>(&now);
  const auto* b = reinterpret_cast<const unsigned char*>(&before);
  const auto* a = reinterpret_cast<const unsigned char*>(&after);
  for (std::size_t i = 0; i < sizeof(now); ++i) {
    if (n[i] != b[i] && n[i] != a[i]) return false;
  }
  return true;
}

// The trailer's test: the file is the one the journal was written for, at
// some moment of the change.
Status CheckTrailerFits(const JournalSummary& summary, const std::string& what,
                        const FileNow& now) {
  const std::string other =
      what +
      " was written for another copy of the file (one put back from "
      "elsewhere keeps its name): ";
  // A change moves the size only between its sizes before and after, and
  // writes the header last, in one piece that a crash can tear.
  const std::uint64_t low = std::min(summary.original_size, summary.size_after);
  const std::uint64_t high =
      std::max(summary.original_size, summary.size_after);
  if (now.size < low || now.size > high) {
    return Status::Corrupt(
        other + "the file is " + std::to_string(now.size) +
        " bytes, and the interrupted change left it between " +
        std::to_string(low) + " and " + std::to_string(high));
  }
  const std::uint32_t crc = Crc32c(&now.header, sizeof(now.header));
  if (crc != summary.header_crc_before && crc != summary.header_crc_after &&
      !MixOf(now.header, summary.header, summary.header_after)) {
    return Status::Corrupt(other +
                           "its header is neither the one the interrupted "
                           "change found nor the one it wrote");
  }
  return Status::OK();
}

Status Examine(RandomRWFile* journal, Scratch scratch, JournalState* state,
               JournalSummary* summary, BodyLayout* layout) {
  *state = JournalState::kIdle;
  *summary = JournalSummary{};
  std::uint64_t size = 0;
  Status s = journal->Size(&size);
  if (!s.ok() || size == 0) return s;
  *state = JournalState::kIncomplete;
  char header[kHeaderBytes];
  std::uint64_t body_length = 0;
  bool whole = false;
  s = ReadJournalHeader(journal, size, &body_length, header, &whole);
  if (!s.ok() || !whole) return s;

  // The checksums are checked last, so every length is bounded by what is
  // left of the body before it is used: no damaged journal can steer a read
  // past it.
  JournalSummary read;
  BodyReader body(journal, kHeaderBytes, kHeaderBytes + body_length, scratch);
  const std::uint32_t name_length = Get<std::uint32_t>(header + 12);
  if (name_length > kMaxNameBytes || name_length > body.left()) return s;
  read.file_name.resize(name_length);
  s = body.Take(name_length, &read.file_name[0]);
  read.original_size = Get<std::uint64_t>(header + 16);
  read.range_count = Get<std::uint32_t>(header + 24);
  for (std::uint32_t i = 0; s.ok() && i < read.range_count; ++i) {
    RangeHead head;
    if (body.left() < kRangeHeadBytes) return s;
    s = TakeHead(&body, &head);
    if (!s.ok()) return s;
    const bool saved = head.kind == kSavedBytes;
    if ((!saved && head.kind != kZeros) ||
        (saved && head.length > body.left())) {
      return s;
    }
    const std::uint64_t end =
        head.offset > std::numeric_limits<std::uint64_t>::max() - head.length
            ? std::numeric_limits<std::uint64_t>::max()
            : head.offset + head.length;
    read.ranges_end = std::max(read.ranges_end, end);
    if (i == 0 && saved && head.offset == 0 &&
        head.length == sizeof(SVR_CFG_HEADER)) {
      read.first_range_is_header = true;
      s = body.Take(sizeof(read.header), &read.header);
    } else if (saved) {
      s = body.Stream(head.length, Ignore);
    }
  }
  if (!s.ok() || body.left() != 0 ||
      body.crc() != Get<std::uint32_t>(header + 28)) {
    return s;
  }
  s = ReadTrailer(journal, size, kHeaderBytes + body_length, body.crc(), &read);
  if (!s.ok()) return s;
  *summary = std::move(read);
  *state = JournalState::kComplete;
  *layout = BodyLayout{body_length, name_length};
  return Status::OK();
}

}  // namespace

Status ReadJournal(RandomRWFile* journal, Scratch scratch, JournalState* state,
                   JournalSummary* summary) {
  BodyLayout layout;
  return Examine(journal, scratch, state, summary, &layout);
}

Status CheckJournalFits(const JournalSummary& summary,
                        const std::string& file_name, const FileNow& now) {
  const std::string what = "journal of '" + summary.file_name + "'";
  if (summary.file_name != file_name) {
    return Status::Corrupt(what + " lies beside '" + file_name + "'");
  }
  if (summary.has_trailer) {
    if (!summary.first_range_is_header) {
      return Status::Corrupt(what + " does not save the header");
    }
    Status s = CheckTrailerFits(summary, what, now);
    if (!s.ok()) return s;
  } else if (now.size < summary.original_size &&
             summary.ranges_end != summary.original_size) {
    // A change that shrank the file and was cut short after the cut
    // leaves it shorter; the journal then saves the tail that was cut.
    return Status::Corrupt(what + " records a " +
                           std::to_string(summary.original_size) +
                           "-byte file, longer than the " +
                           std::to_string(now.size) + " bytes there");
  }
  if (summary.ranges_end > summary.original_size) {
    return Status::Corrupt(what + " saves bytes past the file's end");
  }
  if (!summary.first_range_is_header) {
    return Status::Corrupt(what + " does not save the header");
  }
  Status s = ValidateHeader(summary.header, summary.original_size);
  if (!s.ok()) {
    return Status::Corrupt(what +
                           " saves a header that does not fit: " + s.message());
  }
  return Status::OK();
}

Status RecoverJournal(RandomRWFile* journal, const std::string& file_name,
                      RandomRWFile* file) {
  std::uint64_t size;
  Status s = journal->Size(&size);
  if (!s.ok() || size == 0) return s;
  Buffer memory;
  s = Buffer::AllocateUninitialized(kChunkBytes, &memory);
  if (!s.ok()) return s;
  const Scratch scratch{memory.data(), memory.size()};
  JournalState state;
  JournalSummary summary;
  BodyLayout layout;
  s = Examine(journal, scratch, &state, &summary, &layout);
  if (!s.ok()) return s;
  if (state == JournalState::kComplete) {
    FileNow now;
    s = file->Size(&now.size);
    if (s.ok() && now.size >= sizeof(now.header)) {
      s = file->Read(0, sizeof(now.header), &now.header);
    }
    if (!s.ok()) return s;
    s = CheckJournalFits(summary, file_name, now);
    if (!s.ok()) return s;
    // The ranges never overlap, so their order does not matter.
    s = Replay(journal, layout, summary.range_count, file, scratch);
    if (s.ok()) s = file->Truncate(summary.original_size);
    if (s.ok()) s = file->Sync();
    if (!s.ok()) return s;
  }
  // Only once the file is durable again may the journal go: a crash before
  // this point replays the same journal, which restores the same bytes.
  return MarkJournalIdle(journal);
}

}  // namespace brellox
