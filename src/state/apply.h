// Bringing a configuration file to a desired state (doc/apply_format.md):
// the whole of `brellox apply` and brellox_apply, from the state's JSON to
// the change objects that tell what was (or would be) changed.
#ifndef BRELLOX_STATE_APPLY_H_
#define BRELLOX_STATE_APPLY_H_

#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/env.h"
#include "platform/status.h"
#include "src/desired/apply_to_file.h"
#include "src/desired/desired_state.h"
#include "src/desired/fingerprint.h"
#include "src/desired/plan.h"
#include "src/state/change_objects.h"
#include "src/state/codec.h"
#include "src/store/config_file.h"
#include "src/store/file_image.h"
#include "src/store/store.h"

namespace brellox {
namespace state {

struct ApplyOptions {
  desired::ApplyRules rules;
  // Decide and describe the changes, write nothing.
  bool dry_run = false;
  // Fill ApplyOutcome::fingerprint from the tables the plan was made from.
  bool fingerprint = false;
  // Opens `session` on the file for `access`; unset: session->Open(store,
  // access) on the store ApplyState is given.
  std::function<Status(ConfigSession* session, Access access)> open;
  // Runs once the plan is made, whether or not anything is to be carried
  // out (even in a dry run), and again should the file change before the
  // plan is carried out; a failure stops the apply with nothing written.
  // `writing` is true when the plan is about to be carried out.
  std::function<Status(const desired::DesiredState& state,
                       const FileTables& file, const desired::Plan& plan,
                       bool writing)>
      check;
};

using desired::ApplyStep;

struct ApplyOutcome {
  ApplyStep failed_at = ApplyStep::kNone;
  // The change objects (change_objects.h), in the order diff lists them.
  ChangeList changes;
  // The changes were carried out and committed (never in a dry run).
  bool changed = false;
  // The commit wrote to the file.
  bool wrote = false;
  // Of the tables as read, when ApplyOptions::fingerprint asked for it.
  desired::Fingerprint fingerprint;
};

// The desired state of `state`, its password references resolved through
// `env` (password_refs.h) and its records validated (desired_json.h).
Status ReadDesiredState(Env* env, nlohmann::ordered_json state,
                        const Codec& codec, desired::DesiredState* desired);

// Brings the file of `store` to `state` (desired::ApplyToFile): reads it,
// makes the plan, runs the caller's check, and carries the plan out in one
// commit, unless it is a dry run or there is nothing to change (then
// nothing is written at all, not even a modification time). The changes
// are put in words after every lock is released, from the tables the plan
// was made from. On failure `outcome->failed_at` says at which step, and
// the file is as it was.
Status ApplyState(const Store& store, const desired::DesiredState& state,
                  const Codec& codec, const ApplyOptions& options,
                  ApplyOutcome* outcome);

// The whole apply from the state's JSON text: a strict parse (json_reader.h;
// Refused "the state is not valid JSON (at byte N)"), ReadDesiredState and
// ApplyState.
Status ApplyJsonText(const Store& store, const std::string& text,
                     const Codec& codec, const ApplyOptions& options,
                     ApplyOutcome* outcome);

// {"changed": ..., "dryRun": ..., "changes": [...]}.
nlohmann::ordered_json ApplyReport(const ApplyOutcome& outcome, bool dry_run);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_APPLY_H_
