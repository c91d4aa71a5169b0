// Bringing one configuration file to a desired state: the plan made from
// the file and carried out in one commit, with the exclusive lock held only
// for the part that changes the file.
#ifndef BRELLOX_DESIRED_APPLY_TO_FILE_H_
#define BRELLOX_DESIRED_APPLY_TO_FILE_H_

#include <functional>

#include "src/desired/desired_state.h"
#include "src/desired/plan.h"
#include "src/store/config_file.h"
#include "src/store/file_image.h"
#include "src/store/store.h"

namespace brellox {
namespace desired {

// How ApplyToFile reaches the file, and what it asks before writing.
struct ApplyHooks {
  // Opens `session` on the file for `access`; unset: session->Open(store,
  // access).
  std::function<Status(ConfigSession* session, Access access)> open;
  // Looks at the file and each plan made for it, before anything is
  // written; a failure stops the apply with that status, the file as it
  // was. Unset: every plan is carried out.
  std::function<Status(const FileTables& file, const Plan& plan)> check;
};

// Where an apply stopped, for a caller that words each failure its own way:
// kState is the caller's own reading of the desired state.
enum class ApplyStep {
  kNone, kState, kOpen, kRead, kPlan, kCheck, kCarry, kCommit
};

struct ApplyOutcome {
  FileTables file;  // the tables the plan was made from
  Plan plan;
  bool wrote = false;  // a commit changed the file
  ApplyStep failed_at = ApplyStep::kNone;
};

// Reads the file at `store` under the shared lock, makes the plan for
// `state`, has the check hook look at it and, when `write` and the plan
// changes anything, carries it out in one commit. The plan is made from that
// read, outside any lock; the exclusive lock is then held only to see that
// the file still holds the bytes read and to make the changes, so that
// readers are kept out no longer than the changes take. A file changed in
// between is read and planned again under the exclusive lock (and checked
// again). Without `write`, or with nothing to change, nothing is written and
// the exclusive lock never taken. On failure nothing was written.
Status ApplyToFile(const Store& store, const DesiredState& state,
                   const ApplyRules& rules, bool write,
                   const ApplyHooks& hooks, ApplyOutcome* outcome);

}  // namespace desired
}  // namespace brellox

#endif  // BRELLOX_DESIRED_APPLY_TO_FILE_H_
