// Writing journals: the streamed one of a change, and one built in memory.
#include "src/store/journal.h"

#include <algorithm>
#include <limits>

#include "src/store/crc32c.h"
#include "src/store/journal_format.h"

namespace brellox {

namespace journal_format {

void PutHeader(char* out, std::uint32_t name_length,
               std::uint64_t original_size, std::uint32_t ranges,
               std::uint32_t body_crc, std::uint64_t body_length) {
  std::memcpy(out, kJournalMagic, sizeof(kJournalMagic));
  Put(out + 8, kVersion);
  Put(out + 12, name_length);
  Put(out + 16, original_size);
  Put(out + 24, ranges);
  Put(out + 28, body_crc);
  Put(out + 32, body_length);
  Put(out + 40, Crc32c(out, 40));
  Put(out + 44, std::uint32_t{0});
}

void PutTrailer(char* out, std::uint64_t size_after,
                std::uint32_t header_crc_before, const void* header_after,
                std::uint32_t body_crc) {
  std::memcpy(out, kTrailerMagic, sizeof(kTrailerMagic));
  Put(out + 8, size_after);
  Put(out + 16, header_crc_before);
  Put(out + 20, Crc32c(header_after, sizeof(SVR_CFG_HEADER)));
  Put(out + 24, body_crc);
  std::memcpy(out + kTrailerHeaderAt, header_after, sizeof(SVR_CFG_HEADER));
  Put(out + kTrailerBytes - 4, Crc32c(out, kTrailerBytes - 4));
}

}  // namespace journal_format

using namespace journal_format;

static_assert(kTrailerBytes == kTrailerHeaderAt + sizeof(SVR_CFG_HEADER) + 4,
              "the trailer holds one header");

namespace {

// The body of a journal on its way to the file: gathered in the scratch
// memory and written out whenever it fills, the checksum kept as it goes.
class BodyWriter {
 public:
  BodyWriter(RandomRWFile* journal, Scratch scratch)
      : journal_(journal), scratch_(scratch) {}

  std::uint64_t length() const { return written_ - kHeaderBytes + used_; }
  std::uint32_t crc() const { return crc_; }
  std::uint32_t ranges() const { return ranges_; }

  Status Append(const char* bytes, std::size_t n) {
    while (n > 0) {
      if (used_ == scratch_.size) {
        Status s = Flush();
        if (!s.ok()) return s;
      }
      const std::size_t piece = std::min(n, scratch_.size - used_);
      std::memcpy(scratch_.data + used_, bytes, piece);
      used_ += piece;
      bytes += piece;
      n -= piece;
    }
    return Status::OK();
  }

  Status PutZeros(std::uint64_t offset, std::uint64_t length) {
    while (length > 0) {
      const std::uint32_t piece =
          static_cast<std::uint32_t>(std::min<std::uint64_t>(
              length, std::numeric_limits<std::uint32_t>::max()));
      char head[kRangeHeadBytes];
      PutRangeHead(head, offset, piece, kZeros);
      Status s = Append(head, sizeof(head));
      if (!s.ok()) return s;
      ++ranges_;
      offset += piece;
      length -= piece;
    }
    return Status::OK();
  }

  Status PutBytes(std::uint64_t offset, const char* bytes, std::uint32_t n) {
    char head[kRangeHeadBytes];
    PutRangeHead(head, offset, n, kSavedBytes);
    Status s = Append(head, sizeof(head));
    if (s.ok()) s = Append(bytes, n);
    if (s.ok()) ++ranges_;
    return s;
  }

  // Saves the bytes [from, to) of `file`: holes and chunks of zeros as
  // counts, the rest read straight into place after a range head.
  Status PutFileRange(RandomRWFile* file, std::uint64_t from,
                      std::uint64_t to) {
    const std::size_t most = scratch_.size - kRangeHeadBytes;
    for (std::uint64_t at = from; at < to;) {
      std::uint64_t data = at, data_end = to;
      Status s = file->NextData(at, &data, &data_end);
      if (!s.ok()) return s;
      if (data > at) {
        const std::uint64_t end = std::min(data, to);
        s = PutZeros(at, end - at);
        if (!s.ok()) return s;
        at = end;
        continue;
      }
      const std::size_t n = ScanLength(at, data_end, to, most);
      if (scratch_.size - used_ < kRangeHeadBytes + n) s = Flush();
      char* head = scratch_.data + used_;
      if (s.ok()) s = file->Read(at, n, head + kRangeHeadBytes);
      if (!s.ok()) return s;
      if (AllZero(head + kRangeHeadBytes, n)) {
        s = PutZeros(at, n);
      } else {
        PutRangeHead(head, at, static_cast<std::uint32_t>(n), kSavedBytes);
        used_ += kRangeHeadBytes + n;
        ++ranges_;
      }
      if (!s.ok()) return s;
      at += n;
    }
    return Status::OK();
  }

  Status Flush() {
    if (used_ == 0) return Status::OK();
    Status s = journal_->Write(written_, scratch_.data, used_);
    if (!s.ok()) return s;
    crc_ = Crc32cExtend(crc_, scratch_.data, used_);
    written_ += used_;
    used_ = 0;
    return Status::OK();
  }

 private:
  RandomRWFile* const journal_;
  const Scratch scratch_;
  std::size_t used_ = 0;                  // bytes gathered, not yet written
  std::uint64_t written_ = kHeaderBytes;  // where the next write goes
  std::uint32_t crc_ = 0;
  std::uint32_t ranges_ = 0;
};

// The parts of `ranges` within [from, to), sorted and merged, so that the
// journal saves each byte once and recovery restores ranges in file order.
std::vector<FileSpan> Union(const std::vector<FileSpan>& ranges,
                            std::uint64_t from, std::uint64_t to) {
  std::vector<FileSpan> spans;
  for (const FileSpan& range : ranges) {
    const std::uint64_t begin = std::max(range.begin, from);
    const std::uint64_t end = std::min(range.end, to);
    if (begin < end) spans.push_back({begin, end});
  }
  std::sort(
      spans.begin(), spans.end(),
      [](const FileSpan& a, const FileSpan& b) { return a.begin < b.begin; });
  std::vector<FileSpan> merged;
  for (const FileSpan& span : spans) {
    if (!merged.empty() && span.begin <= merged.back().end) {
      merged.back().end = std::max(merged.back().end, span.end);
    } else {
      merged.push_back(span);
    }
  }
  return merged;
}

}  // namespace

std::string JournalPathFor(const std::string& path) {
  return path + kJournalSuffix;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

Status WriteJournal(RandomRWFile* journal, const JournalSource& source,
                    Scratch scratch) {
  BodyWriter body(journal, scratch);
  Status s = body.Append(source.file_name.data(), source.file_name.size());
  if (s.ok()) {
    s = body.PutBytes(0, reinterpret_cast<const char*>(source.header),
                      sizeof(SVR_CFG_HEADER));
  }
  for (const FileSpan& range :
       Union(*source.ranges, kHeaderSize, source.original_size)) {
    if (!s.ok()) break;
    s = body.PutFileRange(source.file, range.begin, range.end);
  }
  if (s.ok()) s = body.Flush();
  if (!s.ok()) return s;
  char trailer[kTrailerBytes];
  PutTrailer(trailer, source.size_after,
             Crc32c(source.header, sizeof(SVR_CFG_HEADER)), source.header_after,
             body.crc());
  s = journal->Write(kHeaderBytes + body.length(), trailer, sizeof(trailer));
  if (!s.ok()) return s;
  // Written with the body and synced with it: should the header land and
  // any part of the body not, the body's checksum fails.
  char header[kHeaderBytes];
  PutHeader(header, static_cast<std::uint32_t>(source.file_name.size()),
            source.original_size, body.ranges(), body.crc(), body.length());
  s = journal->Write(0, header, sizeof(header));
  if (s.ok()) s = journal->Sync();
  return s;
}

Status MarkJournalIdle(RandomRWFile* journal) {
  Status s = journal->Truncate(0);
  if (s.ok()) s = journal->Sync();
  return s;
}

JournalBuilder::JournalBuilder(const std::string& file_name,
                               std::uint64_t original_size)
    : original_size_(original_size),
      name_length_(static_cast<std::uint32_t>(file_name.size())) {
  bytes_.assign(kHeaderBytes, '\0');
  bytes_ += file_name;
}

char* JournalBuilder::AddRange(std::uint64_t offset, std::uint32_t length) {
  const std::size_t head = bytes_.size();
  bytes_.resize(head + kRangeHeadBytes + length);
  PutRangeHead(&bytes_[head], offset, length, kSavedBytes);
  ++records_;
  return &bytes_[head + kRangeHeadBytes];
}

void JournalBuilder::AddZeros(std::uint64_t offset, std::uint32_t length) {
  const std::size_t head = bytes_.size();
  bytes_.resize(head + kRangeHeadBytes);
  PutRangeHead(&bytes_[head], offset, length, kZeros);
  ++records_;
}

void JournalBuilder::Finish() {
  const std::size_t body = bytes_.size() - kHeaderBytes;
  PutHeader(&bytes_[0], name_length_, original_size_, records_,
            Crc32c(bytes_.data() + kHeaderBytes, body), body);
}

}  // namespace brellox
