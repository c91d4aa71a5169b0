// The integrity check of a configuration file image.
//
// Errors: the header check fails (then nothing else is looked at); an ID of
// 0 or less, repeated in its table, or above its table's counter; two
// records of a table with the same name (option groups: the same type and
// name); a (user, privilege) pair stored twice; an option group whose type
// is 0 or less, or whose name runs to the end of its field without a NUL.
// Warnings: bytes after the last table; a privilege of a user ID that no
// user has; a blank name; a free slot that is not all zero (each of the
// first DirtyFreeSlots::kMostListed of a table, then how many more). Nothing
// the library stores through its own functions is an error: names and passwords
// that fill their fields (user names of 30 bytes, connection and GDB names of
// 32, passwords of 64) are no finding at all.
#ifndef BRELLOX_TOOLS_BRELLOX_CHECK_H_
#define BRELLOX_TOOLS_BRELLOX_CHECK_H_

#include <string>
#include <vector>

#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"

namespace brellox {
namespace tool {

struct Finding {
  bool error;
  std::string message;
};

// Every finding in `snapshot`, errors and warnings in the order found; its
// free slots are looked at as far as they were scanned (ScanFreeSlots).
std::vector<Finding> CheckSnapshot(const Snapshot& snapshot,
                                   const Codec& codec);

// The same for a whole file image, whose header check comes first.
std::vector<Finding> CheckImage(const std::string& image, const Codec& codec);

// Where the first text of `snapshot` that does not decode in the codec's
// encoding lies ("user ID 3, field name"), followed for any field but a
// password by the text, its bytes that do not convert written as \xNN.
// Empty when every text decodes.
std::string FirstUndecodedText(const Snapshot& snapshot, const Codec& codec);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CHECK_H_
