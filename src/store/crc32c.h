// CRC-32C (Castagnoli), the checksum that lets a reader tell a journal
// written whole from one cut short or torn.
#ifndef BRELLOX_STORE_CRC32C_H_
#define BRELLOX_STORE_CRC32C_H_

#include <cstddef>
#include <cstdint>

namespace brellox {

// The CRC-32C of `data[0, n)` continued from `crc` (0 to start).
std::uint32_t Crc32cExtend(std::uint32_t crc, const void* data, std::size_t n);

inline std::uint32_t Crc32c(const void* data, std::size_t n) {
  return Crc32cExtend(0, data, n);
}

}  // namespace brellox

#endif  // BRELLOX_STORE_CRC32C_H_
