// A whole configuration file as its tables: decoded from the file a session
// holds or from a file image, and laid out into a file image again.
#ifndef BRELLOX_STORE_FILE_IMAGE_H_
#define BRELLOX_STORE_FILE_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "src/store/format.h"

namespace brellox {

// The free slots (past `count`) of one slotted table that are not all zero.
struct DirtyFreeSlots {
  static constexpr std::size_t kMostListed = 100;
  std::vector<std::int32_t> listed;  // the first kMostListed, by slot index
  std::int64_t total = 0;
};

// The header, the global option and the records in use of a file, never
// its free slots: its memory is that of the records, however many slots
// the tables reserve.
struct FileTables {
  std::uint64_t file_size = 0;
  SVR_CFG_HEADER header{};
  CONFIG_OPTION global_option{};
  // The records in use of each table, in table order.
  std::vector<SVC_GDB_CONN_INFO> conns;
  std::vector<SVC_GDB_INFO> gdbs;
  std::vector<SVR_USER_REC> users;
  std::vector<SVR_USER_PRIV> privs;
  std::vector<SVR_OPTION_GROUP> groups;
  // Per slotted table (connections, GDBs, users, privileges): filled by
  // DecodeImage and ScanFreeSlots, left empty by ReadTables.
  DirtyFreeSlots dirty_free_slots[4];
};

// Reads the header, the global option and the records in use that the
// session's (already validated) header describes.
Status ReadTables(ConfigSession& session, FileTables* tables);

// Fills tables->dirty_free_slots from the session's file, a bounded chunk
// at a time, skipping the file's holes.
Status ScanFreeSlots(ConfigSession& session, FileTables* tables);

// Fills `*tables` from a whole file image, free slots included. Corrupt,
// with the header check's reason, unless the image holds a header that
// describes a consistent layout within it (ValidateHeader).
Status DecodeImage(const std::string& image, FileTables* tables);

// The capacities of the four slotted tables (connections, GDBs, users,
// privileges), each at least the table's count.
using SlotCapacities = std::int32_t[4];

// The file image of `tables`: the header as tables.header holds it (magic,
// format tag, ID counters, temp dir, reserved bytes) with the place of each
// table set, the global option, then the tables back to back from offset 781
// with `capacities` slots, the free ones zero, and the option groups last.
// The header's sections and tables.file_size are not read.
std::string LayoutImage(const FileTables& tables,
                        const SlotCapacities& capacities);

}  // namespace brellox

#endif  // BRELLOX_STORE_FILE_IMAGE_H_
