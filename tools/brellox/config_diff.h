// The changes that turn one configuration into another, record by record,
// matched by ID (as the file names its records) or by name (as servers
// that added the same records in another order agree on them).
#ifndef BRELLOX_TOOLS_BRELLOX_CONFIG_DIFF_H_
#define BRELLOX_TOOLS_BRELLOX_CONFIG_DIFF_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "src/state/change_objects.h"
#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"

namespace brellox {
namespace tool {

enum class Matching {
  // Records are the same when their IDs are (privileges: user ID and
  // privilege ID; option groups: name and type). Every header field counts.
  kById,
  // Users and connections by name, GDBs by alias, privileges by their
  // user's name and privilege ID, option groups by name and type. IDs, ID
  // counters and table capacities are each server's own and not compared;
  // of the header only the temp dir is.
  kByName,
};

// The changes (change_lines.h) from `a` to `b`: the header, the global
// option, then connections, GDBs, users, privileges and option groups, each
// table in `a`'s order with the records only `b` holds after them in `b`'s
// order. Passwords are compared only when both sides know them, and never
// shown.
state::ChangeList ConfigChanges(const Snapshot& a, const Snapshot& b,
                                const Codec& codec, Matching matching);

using state::GroupName;
using state::GroupRecord;
using state::NamedRecord;
using state::PrivilegeName;
using state::PrivilegeRecord;
using state::WithoutId;

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CONFIG_DIFF_H_
