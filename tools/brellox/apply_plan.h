// apply: a desired state given as JSON in the shape of an export with IDs
// and passwords optional (doc/apply_format.md), read into the library's
// DesiredState, and the library's plan for it printed in diff's change
// objects.
#ifndef BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_
#define BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_

#include <nlohmann/json.hpp>

#include "src/desired/desired_state.h"
#include "src/desired/plan.h"
#include "src/store/file_image.h"
#include "tools/brellox/codec.h"

namespace brellox {
namespace tool {

// Validates `state` and throws a refusal ToolError naming the first
// offending path ("users[2].name: is blank"), as import does for an export;
// beyond that, a privilege names its user by "user" (or by "userID", the ID
// the state gives that user, as an export does). The ID counters and
// capacities an export holds are read past: they are each file's own.
desired::DesiredState ParseDesiredState(nlohmann::ordered_json state,
                                        const Codec& codec);

// The plan's changes as diff --by-name lists them between the file before
// and after (change_lines.h).
nlohmann::ordered_json PlanChanges(const desired::Plan& plan,
                                   const desired::DesiredState& state,
                                   const FileTables& file, const Codec& codec);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_APPLY_PLAN_H_
