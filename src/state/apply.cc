#include "src/state/apply.h"

#include <utility>

#include "src/state/desired_json.h"
#include "src/state/json_reader.h"
#include "src/state/password_refs.h"

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

Status Stop(ApplyOutcome* outcome, ApplyStep step, Status status) {
  outcome->failed_at = step;
  return status;
}

}  // namespace

Status ReadDesiredState(Env* env, json state, const Codec& codec,
                        desired::DesiredState* desired) {
  const Status s = ResolvePasswordReferences(env, &state);
  if (!s.ok()) return s;
  return ParseDesiredState(std::move(state), codec, desired);
}

Status ApplyState(const Store& store, const desired::DesiredState& state,
                  const Codec& codec, const ApplyOptions& options,
                  ApplyOutcome* outcome) {
  *outcome = ApplyOutcome();
  desired::ApplyHooks hooks;
  hooks.open = options.open;
  if (options.check) {
    hooks.check = [&](const FileTables& file, const desired::Plan& plan) {
      return options.check(state, file, plan,
                           !options.dry_run && !plan.empty());
    };
  }
  desired::ApplyOutcome applied;
  const Status s = desired::ApplyToFile(store, state, options.rules,
                                        !options.dry_run, hooks, &applied);
  outcome->wrote = applied.wrote;
  if (!s.ok()) return Stop(outcome, applied.failed_at, s);
  outcome->changes = PlanChanges(applied.plan, state, applied.file, codec);
  outcome->changed = !options.dry_run && !outcome->changes.empty();
  if (options.fingerprint) {
    outcome->fingerprint = desired::FingerprintOf(applied.file);
  }
  return Status::OK();
}

Status ApplyJsonText(const Store& store, const std::string& text,
                     const Codec& codec, const ApplyOptions& options,
                     ApplyOutcome* outcome) {
  *outcome = ApplyOutcome();
  json value;
  std::size_t error_byte = 0;
  Status s = ParseStrictJson(text, &value, &error_byte);
  if (s.IsInvalidArgument()) {
    s = Status::Refused("the state " + s.message());
  }
  desired::DesiredState state;
  if (s.ok()) s = ReadDesiredState(store.env, std::move(value), codec, &state);
  if (!s.ok()) return Stop(outcome, ApplyStep::kState, s);
  return ApplyState(store, state, codec, options, outcome);
}

json ApplyReport(const ApplyOutcome& outcome, bool dry_run) {
  json report = json::object();
  report["changed"] = outcome.changed;
  report["dryRun"] = dry_run;
  report["changes"] = ChangesToJson(outcome.changes);
  return report;
}

}  // namespace state
}  // namespace brellox
