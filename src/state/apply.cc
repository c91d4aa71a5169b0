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
  const Access access = options.dry_run ? Access::kRead : Access::kWrite;
  FileTables file;
  desired::Plan plan;
  {
    // One lock from the read the plan is made from to the commit, so that
    // nothing changes the file in between.
    ConfigSession session;
    Status s = options.open ? options.open(&session, access)
                            : session.Open(store, access);
    if (!s.ok()) return Stop(outcome, ApplyStep::kOpen, s);
    s = ReadTables(session, &file);
    if (!s.ok()) return Stop(outcome, ApplyStep::kRead, s);
    s = desired::Plan::Make(state, file, options.rules, &plan);
    if (!s.ok()) return Stop(outcome, ApplyStep::kPlan, s);
    const bool writing = !options.dry_run && !plan.empty();
    if (options.check) {
      s = options.check(state, file, plan, writing);
      if (!s.ok()) return Stop(outcome, ApplyStep::kCheck, s);
    }
    // Nothing to change: no commit, so the file keeps its bytes and mtime.
    if (writing) {
      s = plan.Carry(session, state, file);
      if (!s.ok()) return Stop(outcome, ApplyStep::kCarry, s);
      s = session.Commit();
      if (!s.ok()) return Stop(outcome, ApplyStep::kCommit, s);
      outcome->wrote = session.wrote();
    }
  }
  outcome->changes = PlanChanges(plan, state, file, codec);
  outcome->changed = !options.dry_run && !outcome->changes.empty();
  if (options.fingerprint) outcome->fingerprint = desired::FingerprintOf(file);
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
  report["changes"] = outcome.changes;
  return report;
}

}  // namespace state
}  // namespace brellox
