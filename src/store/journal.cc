#include "src/store/journal.h"

#include <cstring>
#include <limits>

#include "src/store/config_file.h"
#include "src/store/crc32c.h"
#include "src/store/format.h"

namespace brellox {
namespace {

// Header: 48 bytes, all numbers little-endian.
//   0  magic "BRXJRNL1"      8  version (u32)     12 name length (u32)
//   16 original size (u64)   24 range count (u32) 28 body CRC-32C (u32)
//   32 body length (u64)     40 header CRC-32C of bytes [0, 40) (u32)
//   44 zero (u32)
// Body: the file's name, then per range: offset (u64), length (u32), bytes.
constexpr char kJournalMagic[8] = {'B', 'R', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint32_t kVersion = 1;
constexpr std::size_t kHeaderBytes = 48;
constexpr std::size_t kRangeHeadBytes = 12;
constexpr std::size_t kMaxNameBytes = 4096;

template <class T>
void Put(std::string* out, std::size_t at, T value) {
  std::memcpy(&(*out)[at], &value, sizeof(value));
}

template <class T>
T Get(const char* data, std::size_t at) {
  T value;
  std::memcpy(&value, data + at, sizeof(value));
  return value;
}

}  // namespace

std::string JournalPathFor(const std::string& path) {
  return path + kJournalSuffix;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

JournalBuilder::JournalBuilder(const std::string& file_name,
                               std::uint64_t original_size) {
  image_.file_name = file_name;
  image_.original_size = original_size;
  image_.bytes.assign(kHeaderBytes, '\0');
  image_.bytes += file_name;
}

char* JournalBuilder::AddRange(std::uint64_t offset, std::uint32_t length) {
  std::string& bytes = image_.bytes;
  const std::size_t head = bytes.size();
  bytes.resize(head + kRangeHeadBytes + length);
  Put(&bytes, head, offset);
  Put(&bytes, head + 8, length);
  image_.ranges.push_back({offset, length, head + kRangeHeadBytes});
  return &bytes[head + kRangeHeadBytes];
}

void JournalBuilder::Finish() {
  std::string& bytes = image_.bytes;
  std::memcpy(&bytes[0], kJournalMagic, sizeof(kJournalMagic));
  Put(&bytes, 8, kVersion);
  Put(&bytes, 12, static_cast<std::uint32_t>(image_.file_name.size()));
  Put(&bytes, 16, image_.original_size);
  Put(&bytes, 24, static_cast<std::uint32_t>(image_.ranges.size()));
  const std::size_t body = bytes.size() - kHeaderBytes;
  Put(&bytes, 28, Crc32c(bytes.data() + kHeaderBytes, body));
  Put(&bytes, 32, static_cast<std::uint64_t>(body));
  Put(&bytes, 40, Crc32c(bytes.data(), 40));
  Put(&bytes, 44, std::uint32_t{0});
}

JournalState DecodeJournal(const char* data, std::size_t size,
                           JournalImage* image) {
  *image = JournalImage{};
  if (size == 0) return JournalState::kIdle;
  if (size < kHeaderBytes || std::memcmp(data, kJournalMagic, sizeof(kJournalMagic)) != 0 ||
      Get<std::uint32_t>(data, 40) != Crc32c(data, 40) ||
      Get<std::uint32_t>(data, 8) != kVersion) {
    return JournalState::kIncomplete;
  }
  const std::uint64_t body = Get<std::uint64_t>(data, 32);
  // Bytes past the body are left over from nothing we write, but a longer
  // file is still the same journal; a shorter one was cut.
  if (body > size - kHeaderBytes ||
      Get<std::uint32_t>(data, 28) !=
          Crc32c(data + kHeaderBytes, static_cast<std::size_t>(body))) {
    return JournalState::kIncomplete;
  }
  const std::size_t end = kHeaderBytes + static_cast<std::size_t>(body);
  const std::uint32_t name_length = Get<std::uint32_t>(data, 12);
  // The checksums held, so what follows was written by a journal writer;
  // the bounds are checked all the same, so that no damaged journal can
  // steer a read out of the buffer.
  if (name_length > kMaxNameBytes || name_length > end - kHeaderBytes) {
    return JournalState::kIncomplete;
  }
  JournalImage decoded;
  decoded.file_name.assign(data + kHeaderBytes, name_length);
  decoded.original_size = Get<std::uint64_t>(data, 16);
  const std::uint32_t count = Get<std::uint32_t>(data, 24);
  std::size_t at = kHeaderBytes + name_length;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (end - at < kRangeHeadBytes) return JournalState::kIncomplete;
    const std::uint64_t offset = Get<std::uint64_t>(data, at);
    const std::uint32_t length = Get<std::uint32_t>(data, at + 8);
    at += kRangeHeadBytes;
    if (length > end - at) return JournalState::kIncomplete;
    decoded.ranges.push_back({offset, length, at});
    at += length;
  }
  if (at != end) return JournalState::kIncomplete;
  decoded.bytes.assign(data, size);
  *image = std::move(decoded);
  return JournalState::kComplete;
}

Status CheckJournalFits(const JournalImage& image, const std::string& file_name,
                        std::uint64_t file_size) {
  const std::string what = "journal of '" + image.file_name + "'";
  if (image.file_name != file_name) {
    return Status::Corrupt(what + " lies beside '" + file_name + "'");
  }
  if (file_size < image.original_size) {
    return Status::Corrupt(what + " records a " +
                           std::to_string(image.original_size) +
                           "-byte file, longer than the " +
                           std::to_string(file_size) + " bytes there");
  }
  for (const SavedRange& range : image.ranges) {
    if (range.offset > image.original_size ||
        range.length > image.original_size - range.offset) {
      return Status::Corrupt(what + " saves bytes past the file's end");
    }
  }
  if (image.ranges.empty() || image.ranges[0].offset != 0 ||
      image.ranges[0].length != sizeof(SVR_CFG_HEADER)) {
    return Status::Corrupt(what + " does not save the header");
  }
  SVR_CFG_HEADER header;
  std::memcpy(&header, image.bytes.data() + image.ranges[0].data_offset,
              sizeof(header));
  Status s = ValidateHeader(header, image.original_size);
  if (!s.ok()) {
    return Status::Corrupt(what + " saves a header that does not fit: " +
                           s.message());
  }
  return Status::OK();
}

Status RecoverJournal(RandomRWFile* journal, const std::string& file_name,
                      RandomRWFile* file) {
  std::uint64_t size;
  Status s = journal->Size(&size);
  if (!s.ok()) return s;
  if (size == 0) return Status::OK();
  if (size > std::numeric_limits<std::size_t>::max() / 2) {
    return Status::Corrupt("the journal is too large");
  }
  std::string bytes;
  bytes.resize(static_cast<std::size_t>(size));
  s = journal->Read(0, bytes.size(), &bytes[0]);
  if (!s.ok()) return s;

  JournalImage image;
  if (DecodeJournal(bytes.data(), bytes.size(), &image) ==
      JournalState::kComplete) {
    std::uint64_t file_size;
    s = file->Size(&file_size);
    if (!s.ok()) return s;
    s = CheckJournalFits(image, file_name, file_size);
    if (!s.ok()) return s;
    // The ranges never overlap, so their order does not matter.
    for (const SavedRange& range : image.ranges) {
      s = file->Write(range.offset, image.bytes.data() + range.data_offset,
                      range.length);
      if (!s.ok()) return s;
    }
    s = file->Truncate(image.original_size);
    if (s.ok()) s = file->Sync();
    if (!s.ok()) return s;
  }
  // Only once the file is durable again may the journal go: a crash before
  // this point replays the same journal, which restores the same bytes.
  return MarkJournalIdle(journal);
}

Status WriteJournal(RandomRWFile* journal, const std::string& bytes) {
  Status s = journal->Write(0, bytes.data(), bytes.size());
  if (s.ok()) s = journal->Sync();
  return s;
}

Status MarkJournalIdle(RandomRWFile* journal) {
  Status s = journal->Truncate(0);
  if (s.ok()) s = journal->Sync();
  return s;
}

}  // namespace brellox
