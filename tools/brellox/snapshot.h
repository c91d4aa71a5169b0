// What the listing, show, export, check and diff commands work from: the
// tables of a whole configuration, as the library decodes them from a file
// or a file image. Changes never go through here; they go through the
// library's functions on a session.
#ifndef BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
#define BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_

#include "src/store/file_image.h"

namespace brellox {
namespace tool {

struct Snapshot : FileTables {
  // False for a backup exported without passwords: its users' passwords
  // are unknown, not empty.
  bool passwords_known = true;
};

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
