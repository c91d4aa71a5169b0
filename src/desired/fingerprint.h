// A fingerprint of a configuration file's tables, so that a plan made
// against the file can tell, when it is carried out, whether the file
// changed since, and where.
#ifndef BRELLOX_DESIRED_FINGERPRINT_H_
#define BRELLOX_DESIRED_FINGERPRINT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "src/store/file_image.h"

namespace brellox {
namespace desired {

// A CRC-32C per part of the file, over every byte of its records but the
// users' passwords: a plan holds no secret, nor a checksum of one.
struct Fingerprint {
  static constexpr int kParts = 7;
  std::uint32_t parts[kParts] = {};
};

// The parts' names, in order: "header", "global option", "connections",
// "GDBs", "users", "privileges", "option groups".
const char* FingerprintPart(int part);

Fingerprint FingerprintOf(const FileTables& tables);

// The names of the parts in which `a` and `b` differ, in order.
std::vector<std::string> FingerprintDifferences(const Fingerprint& a,
                                                const Fingerprint& b);

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_FINGERPRINT_H_
