// The integrity check of a configuration file image.
//
// Errors: the header check fails (then nothing else is looked at); an ID of
// 0 or less, repeated in its table, or above its table's counter; two
// records of a table with the same name (option groups: the same type and
// name); a (user, privilege) pair stored twice; a connection, GDB or
// option-group name that runs to the end of its field without a NUL.
// Warnings: bytes after the last table; a privilege of a user ID that no
// user has; a blank name; a free slot that is not all zero. Nothing else is
// a finding: a user name of 30 bytes or a password of 64 fill their fields
// legitimately.
#ifndef BRELLOX_TOOLS_BRELLOX_CHECK_H_
#define BRELLOX_TOOLS_BRELLOX_CHECK_H_

#include <string>
#include <vector>

#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

struct Finding {
  bool error;
  std::string message;
};

// Every finding in `bytes`, errors and warnings in the order found.
std::vector<Finding> CheckImage(const std::string& bytes, const Codec& codec);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CHECK_H_
