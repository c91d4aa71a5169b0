// A read-only picture of a whole configuration: what the listing, show,
// export, check and diff commands work from. Changes never go through here;
// they go through the library's functions on a session.
#ifndef BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
#define BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/format.h"

namespace brellox {
namespace tool {

// The free slots (past `count`) of one slotted table that are not all zero.
struct DirtyFreeSlots {
  static constexpr std::size_t kMostListed = 100;
  std::vector<std::int32_t> listed;  // the first kMostListed, by slot index
  std::int64_t total = 0;
};

// Holds the header, the global option and the records in use, never the
// free slots: its memory is that of the records, however many slots the
// tables reserve.
struct Snapshot {
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
  // Per slotted table (connections, GDBs, users, privileges): filled by
  // ParseSnapshot and ScanFreeSlots, left empty by ReadSnapshot.
  DirtyFreeSlots dirty_free_slots[4];
};

// Reads the header, the global option and the records in use that the
// session's (already validated) header describes.
Status ReadSnapshot(ConfigSession& session, Snapshot* snapshot);

// Fills snapshot->dirty_free_slots from the session's file, a bounded chunk
// at a time, skipping the file's holes.
Status ScanFreeSlots(ConfigSession& session, Snapshot* snapshot);

// Fills `*snapshot` from a whole file image, free slots included. Corrupt,
// with the header check's reason, unless the image holds a header that
// describes a consistent layout within it (ValidateHeader).
Status ParseSnapshot(const std::string& image, Snapshot* snapshot);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
