// A desired state given as JSON in the shape of an export with IDs and
// passwords optional (doc/apply_format.md), read into the plan's
// DesiredState, and a plan's changes told as change objects
// (change_objects.h).
#ifndef BRELLOX_STATE_DESIRED_JSON_H_
#define BRELLOX_STATE_DESIRED_JSON_H_

#include <nlohmann/json.hpp>

#include "platform/status.h"
#include "src/desired/desired_state.h"
#include "src/desired/plan.h"
#include "src/state/change_objects.h"
#include "src/state/codec.h"
#include "src/store/file_image.h"

namespace brellox {
namespace state {

// Validates `state` into `*parsed`; Refused, naming the first offending
// path ("users[2].name: is blank"), as import does for an export; beyond
// that, a privilege names its user by "user" (or by "userID", the ID the
// state gives that user, as an export does). The ID counters and capacities
// an export holds are read past: they are each file's own. Passwords must
// be resolved already (password_refs.h).
Status ParseDesiredState(nlohmann::ordered_json state, const Codec& codec,
                         desired::DesiredState* parsed);

// The plan's changes as diff --by-name lists them between the file before
// and after.
ChangeList PlanChanges(const desired::Plan& plan,
                       const desired::DesiredState& state,
                       const FileTables& file, const Codec& codec);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_DESIRED_JSON_H_
