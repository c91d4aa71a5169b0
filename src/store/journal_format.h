// The journal's byte layout (doc/journal.md), shared by its writer and its
// reader. Everything little-endian.
//
// Header, 48 bytes:
//   0  magic "BRXJRNL1"      8  version (u32)      12 name length (u32)
//   16 original size (u64)   24 range count (u32)  28 body CRC-32C (u32)
//   32 body length (u64)     40 header CRC-32C of bytes [0, 40) (u32)
//   44 zero (u32)
// Body: the file's name, then per range a 16-byte head, offset (u64),
// length (u32), kind (u32), and for kind kSavedBytes that many bytes.
//
// Trailer, 460 bytes, right after the body (readers that know none ignore
// bytes past the body, so a journal with one stays at version 2):
//   0  magic "BRXJTRL1"         8  file size after the change (u64)
//   16 header CRC-32C before    20 header CRC-32C after (u32)
//   24 body CRC-32C (u32)       28 the header after the change (428 bytes)
//   456 CRC-32C of trailer bytes [0, 456) (u32)
#ifndef BRELLOX_STORE_JOURNAL_FORMAT_H_
#define BRELLOX_STORE_JOURNAL_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brellox {
namespace journal_format {

constexpr char kJournalMagic[8] = {'B', 'R', 'X', 'J', 'R', 'N', 'L', '1'};
constexpr std::uint32_t kVersion = 2;
constexpr std::size_t kHeaderBytes = 48;
constexpr std::size_t kRangeHeadBytes = 16;
constexpr std::size_t kMaxNameBytes = 4096;
constexpr char kTrailerMagic[8] = {'B', 'R', 'X', 'J', 'T', 'R', 'L', '1'};
constexpr std::size_t kTrailerHeaderAt = 28;
constexpr std::size_t kTrailerBytes = kTrailerHeaderAt + 428 + 4;

enum RangeKind : std::uint32_t {
  kSavedBytes = 0,  // the range's bytes follow its head
  kZeros = 1,       // the range held zeros; nothing follows
};

template <class T>
void Put(char* out, T value) {
  std::memcpy(out, &value, sizeof(value));
}

template <class T>
T Get(const char* data) {
  T value;
  std::memcpy(&value, data, sizeof(value));
  return value;
}

inline void PutRangeHead(char* out, std::uint64_t offset, std::uint32_t length,
                         RangeKind kind) {
  Put(out, offset);
  Put(out + 8, length);
  Put(out + 12, static_cast<std::uint32_t>(kind));
}

// Fills the 48 header bytes at `out`.
void PutHeader(char* out, std::uint32_t name_length,
               std::uint64_t original_size, std::uint32_t ranges,
               std::uint32_t body_crc, std::uint64_t body_length);

// Fills the kTrailerBytes trailer bytes at `out`; `header_after` points to
// the 428 bytes of the header as the change leaves it.
void PutTrailer(char* out, std::uint64_t size_after,
                std::uint32_t header_crc_before, const void* header_after,
                std::uint32_t body_crc);

}  // namespace journal_format
}  // namespace brellox

#endif  // BRELLOX_STORE_JOURNAL_FORMAT_H_
