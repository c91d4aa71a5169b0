// A read-only picture of a whole configuration file, read straight from its
// bytes: what the listing, show, export and check commands work from.
// Changes never go through here; they go through ConfigAccess.
#ifndef BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
#define BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"
#include "src/store/format.h"

namespace brellox {
namespace tool {

struct Snapshot {
  std::string bytes;  // the whole file
  SVR_CFG_HEADER header{};
  CONFIG_OPTION global_option{};
  // The records in use of each table, in table order.
  std::vector<SVC_GDB_CONN_INFO> conns;
  std::vector<SVC_GDB_INFO> gdbs;
  std::vector<SVR_USER_REC> users;
  std::vector<SVR_USER_PRIV> privs;
  std::vector<SVR_OPTION_GROUP> groups;
};

// Reads the whole file at `path` into `*bytes`.
Status ReadFileBytes(Env* env, const std::string& path, std::string* bytes);

// Fills `*snapshot` from a file image. Corrupt, with the header check's
// reason, unless the image holds a header that describes a consistent
// layout within it (ValidateHeader).
Status ParseSnapshot(std::string bytes, Snapshot* snapshot);

// ReadFileBytes then ParseSnapshot. Throws a file ToolError (exit 3) saying
// why the file at `path` cannot be used.
Snapshot LoadSnapshot(Env* env, const std::string& path);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_SNAPSHOT_H_
