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

}  // namespace journal_format
}  // namespace brellox

#endif  // BRELLOX_STORE_JOURNAL_FORMAT_H_
