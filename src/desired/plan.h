// The plan that brings a configuration file to a desired state: typed
// changes decided from the file's tables and the state, matched by name
// (match.h), and carried out in one session on tables held in memory, each
// table read once and written at most a few times, whatever the number of
// records.
#ifndef BRELLOX_DESIRED_PLAN_H_
#define BRELLOX_DESIRED_PLAN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "src/desired/desired_state.h"
#include "src/store/config_file.h"
#include "src/store/file_image.h"

namespace brellox {
namespace desired {

struct ApplyRules {
  // Records the state's tables lack are removed (users with their
  // privileges); a table the state leaves out is left alone.
  bool prune = false;
  // Records are added under the IDs the state gives them, which must be
  // above the file's counters.
  bool keep_ids = false;
  // A user may be added, or a password set, with an empty password.
  bool allow_empty_password = false;
  // How the caller allows that, as a refusal for want of it says.
  const char* allow_empty_password_switch = "--allow-empty-password";
};

enum class ChangeKind { kAdd, kUpdate, kRemove };
enum class Part {
  kTempDir,
  kGlobalOption,
  kConn,
  kGdb,
  kUser,
  kPrivilege,
  kOptionGroup,
};

// One change. `have` indexes the record in the file's table (updates and
// removals), `want` the state's (adds and updates; for privileges,
// DesiredState::privs; connections and GDBs: Plan::conns() and gdbs()).
// A record the state marks absent is removed when the file holds it and
// left out otherwise. A user's update is to its password; the other
// records' updates are to any field after the ID (option groups and the
// global option: values only).
struct Change {
  ChangeKind kind;
  Part part;
  std::int32_t have = -1;
  std::int32_t want = -1;
};

class Plan {
 public:
  // Decides the changes that bring `file` (the tables of the file, as
  // Carry will find them) to `state`. Refused, naming
  // the state's path ("users[2]: ..."), for a change the library cannot
  // make (an option's name, type or description; the removal of an option
  // group), one the rules forbid (--keep-ids below the counter, a new or
  // changed password that is empty or missing), or a privilege whose user
  // neither the state nor the file holds.
  static Status Make(const DesiredState& state, const FileTables& file,
                     const ApplyRules& rules, Plan* plan);

  // In the order diff lists them: temp dir, global option, connections,
  // GDBs, users, privileges, option groups; within a table the file's
  // records in its order, then the records added.
  const std::vector<Change>& changes() const { return changes_; }
  bool empty() const { return changes_.empty(); }

  // The state's connections and GDBs as the plan carries them out: a
  // record that updates one of the file's takes the fields the state
  // leaves out of it from the file. Changes index these.
  const std::vector<SVC_GDB_CONN_INFO>& conns() const { return conns_; }
  const std::vector<SVC_GDB_INFO>& gdbs() const { return gdbs_; }

  // Makes the changes in `session`, opened for writing on a file that holds
  // exactly the tables Make was given (apply_to_file.h carries a plan out on
  // a copy of the file's bytes); the caller commits. The state and tables
  // are those Make was given.
  Status Carry(ConfigSession& session, const DesiredState& state,
               const FileTables& file) const;

 private:
  Status PlanTempDir(const DesiredState& state, const FileTables& file);
  Status PlanGlobalOption(const DesiredState& state, const FileTables& file);
  template <class Record>
  Status PlanTwins(Part part, const char* key, const char* noun,
                   std::vector<Record>* wanted,
                   const std::vector<std::uint32_t>& fields,
                   const std::vector<bool>& absent,
                   const std::vector<bool>& has_id, bool given,
                   const std::vector<Record>& existing,
                   std::int32_t last_issued);
  Status PlanUsers(const DesiredState& state, const FileTables& file);
  Status PlanPrivileges(const DesiredState& state, const FileTables& file);
  Status PlanGroups(const DesiredState& state, const FileTables& file);
  // Checks the password the state gives user `want` for an add or update.
  Status CheckPassword(const DesiredState& state, std::int32_t want,
                       bool added) const;

  ApplyRules rules_;
  std::vector<Change> changes_;
  std::vector<SVC_GDB_CONN_INFO> conns_;
  std::vector<SVC_GDB_INFO> gdbs_;
};

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_PLAN_H_
