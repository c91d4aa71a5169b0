// A read-only picture of a whole configuration: what the listing, show,
// export, check and diff commands work from. Changes never go through here;
// they go through the library's functions on a session.
#ifndef BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
#define BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/format.h"

namespace brellox {
namespace tool {

struct Snapshot {
  // The bytes the header describes, [0, LayoutEnd): never more, whatever
  // the file's size.
  std::string layout;
  std::uint64_t file_size = 0;
  // False for a backup exported without passwords: its users' passwords
  // are unknown, not empty.
  bool passwords_known = true;
  SVR_CFG_HEADER header{};
  CONFIG_OPTION global_option{};
  // The records in use of each table, in table order.
  std::vector<SVC_GDB_CONN_INFO> conns;
  std::vector<SVC_GDB_INFO> gdbs;
  std::vector<SVR_USER_REC> users;
  std::vector<SVR_USER_PRIV> privs;
  std::vector<SVR_OPTION_GROUP> groups;
};

// Reads what the session's (already validated) header describes.
Status ReadSnapshot(ConfigSession& session, Snapshot* snapshot);

// Fills `*snapshot` from a whole file image. Corrupt, with the header
// check's reason, unless the image holds a header that describes a
// consistent layout within it (ValidateHeader).
Status ParseSnapshot(const std::string& image, Snapshot* snapshot);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
