// apply: bringing a configuration file to a desired state, given as JSON in
// the shape of an export with IDs and passwords optional
// (doc/apply_format.md). Records are matched by name, as diff --by-name
// matches them; the plan says what differs, in diff's change objects, and
// carries it out through the library's functions in one session.
#ifndef BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_
#define BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "src/store/config_file.h"
#include "tools/brellox/codec.h"
#include "tools/brellox/snapshot.h"

namespace brellox {
namespace tool {

// A desired state, validated.
struct DesiredState {
  // Which parts the state gives; a part left out is left as it is.
  bool has_temp_dir = false;
  bool has_global_option = false;
  bool has_conns = false;
  bool has_gdbs = false;
  bool has_users = false;
  bool has_privs = false;
  bool has_groups = false;
  // The temp dir, the global option and the records, in the state's
  // order. A record keeps the ID the state gives it; one without gets a
  // stand-in ID that no record of the state carries.
  Snapshot records;
  std::vector<bool> conn_has_id;
  std::vector<bool> gdb_has_id;
  std::vector<bool> user_has_id;
  std::vector<bool> user_has_password;

  // A privilege names its user by name.
  struct Privilege {
    std::string user;  // the name's bytes in the file's code page
    std::int32_t priv_id;
    std::int32_t value;
  };
  std::vector<Privilege> privs;
};

// Validates `state` and throws a refusal ToolError naming the first
// offending path ("users[2].name: is blank"), as import does for an export;
// beyond that, a privilege names its user by "user" (or by "userID", the ID
// the state gives that user, as an export does). The ID counters and
// capacities an export holds are read past: they are each file's own.
DesiredState ParseDesiredState(nlohmann::ordered_json state,
                               const Codec& codec);

struct ApplyRules {
  // Records the state's tables lack are removed (users with their
  // privileges); a table the state leaves out is left alone.
  bool prune = false;
  // Records are added under the IDs the state gives them, which must be
  // above the file's counters.
  bool keep_ids = false;
};

// What apply does to one file, decided from a snapshot of it.
class ApplyPlan {
 public:
  // Throws a refusal ToolError for a change the library cannot make (an
  // option's name, type or description, the removal of an option group)
  // or that --keep-ids forbids.
  ApplyPlan(const DesiredState& state, const Snapshot& file, const Codec& codec,
            const ApplyRules& rules);

  // The changes, as diff --by-name would list them between the file before
  // and after (change_lines.h).
  const nlohmann::ordered_json& changes() const { return changes_; }
  bool empty() const { return changes_.empty(); }

  // Makes the changes in `session`, opened for writing on the file the
  // snapshot was taken of, under the same lock; the caller commits.
  Status Carry(ConfigSession& session) const;

 private:
  template <class Record>
  struct TableChanges {
    std::vector<std::int32_t> removed;  // IDs
    std::vector<Record> updated;        // under the file's IDs
    std::vector<Record> added;          // under the state's IDs
  };
  // A privilege to set: its user by ID, or by place among the users added.
  struct PrivilegeSet {
    std::int32_t user_id;
    std::int32_t added_user;  // -1 when user_id names it
    std::int32_t priv_id;
    std::int32_t value;
  };
  struct OptionSet {
    bool global;
    std::string group;
    std::int32_t type;
    std::int32_t index;
    CONFIG_OPTION option;
  };

  void PlanTempDir(const DesiredState& state, const Snapshot& file);
  void PlanGlobalOption(const DesiredState& state, const Snapshot& file);
  template <class Record>
  void PlanTwins(const char* noun, const char* key,
                 const std::vector<Record>& wanted,
                 const std::vector<bool>& has_id, bool given,
                 const std::vector<Record>& existing, std::int32_t last_issued,
                 TableChanges<Record>* plan);
  void PlanUsers(const DesiredState& state, const Snapshot& file);
  void PlanPrivileges(const DesiredState& state, const Snapshot& file);
  void PlanGroups(const DesiredState& state, const Snapshot& file);

  const Codec& codec_;
  const ApplyRules rules_;
  std::optional<std::string> temp_dir_;
  TableChanges<SVC_GDB_CONN_INFO> conns_;
  TableChanges<SVC_GDB_INFO> gdbs_;
  TableChanges<SVR_USER_REC> users_;              // updated: passwords
  std::vector<std::int32_t> cleared_privileges_;  // user IDs
  std::vector<PrivilegeSet> privileges_;
  std::vector<SVR_OPTION_GROUP> added_groups_;
  std::vector<OptionSet> option_sets_;
  nlohmann::ordered_json changes_ = nlohmann::ordered_json::array();
};

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_
