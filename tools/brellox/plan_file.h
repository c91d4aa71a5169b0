// apply's saved plans: what --plan-out writes and --plan carries out. A
// plan file holds the state (its passwords only by reference), the rules,
// a fingerprint of the file it was made against and the changes it makes,
// so that carrying it out refuses a file changed since.
#ifndef BRELLOX_TOOLS_BRELLOX_PLAN_FILE_H_
#define BRELLOX_TOOLS_BRELLOX_PLAN_FILE_H_

#include <nlohmann/json.hpp>
#include <string>

#include "src/desired/fingerprint.h"
#include "platform/status.h"
#include "src/desired/plan.h"
#include "src/state/change_objects.h"

namespace brellox {
namespace tool {

struct SavedPlan {
  nlohmann::ordered_json state;
  desired::ApplyRules rules;
  desired::Fingerprint fingerprint;
  state::ChangeList changes;
};

// Refuses a state that gives a password inline, naming the first
// ("users[2].password: ..."): a plan holds references only
// (state::RequireNoInlinePasswords, thrown as a ToolError).
void RequireNoInlinePasswords(const nlohmann::ordered_json& state);

// The plan file's JSON.
nlohmann::ordered_json PlanFileJson(const SavedPlan& plan);

// Reads a plan file's JSON, refusing one not of that shape, naming `source`.
SavedPlan ParsePlanFile(nlohmann::ordered_json file, const std::string& source);

// Refused, naming what differs, for carrying out `saved` on a file whose
// fingerprint is now `now`, or for which the plan now makes the changes
// `changes`.
Status PlanStillHolds(const SavedPlan& saved, const desired::Fingerprint& now,
                      const state::ChangeList& changes,
                      const std::string& file);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_PLAN_FILE_H_
