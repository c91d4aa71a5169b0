// apply: brings the file to a desired state given as JSON, by name.
#include <memory>
#include <ostream>
#include <utility>

#include "src/state/apply.h"
#include "src/state/desired_json.h"
#include "src/store/default_file.h"
#include "tools/brellox/backup.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/input.h"
#include "tools/brellox/plan_file.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

struct ApplyOptions {
  std::string input;
  desired::ApplyRules rules;
  bool dry_run = false;
  bool as_json = false;
  std::string plan_out;  // write the plan here instead of carrying it out
  std::string plan;      // carry out this saved plan
};

// The JSON in `name` ("-": standard input), refused when it is not JSON.
json ReadJson(Context& ctx, const std::string& name) {
  const std::string source = name == "-" ? std::string("standard input") : name;
  json text;
  std::size_t error_byte = 0;
  if (!ParseBackup(ReadInput(ctx.env, name), &text, &error_byte)) {
    Refuse(source + " is not valid JSON (at byte " +
           std::to_string(error_byte) + ")");
  }
  return text;
}

void WritePlan(Context& ctx, const std::string& path, const SavedPlan& plan) {
  // Whole or not at all, owner-only like every file the tool writes.
  const Status s =
      WriteFileAtomically(ctx.env, path, PlanFileJson(plan).dump(2) + "\n",
                          Publish::kReplace, kPrivateFileMode);
  if (!s.ok()) Fail(s, "cannot write " + path + ": " + s.message());
}

// Throws the ToolError for an apply that stopped at `outcome.failed_at`.
[[noreturn]] void ApplyFailed(const Context& ctx, const Status& s,
                              const state::ApplyOutcome& outcome) {
  switch (outcome.failed_at) {
    case state::ApplyStep::kOpen:
      ctx.OpenFailed(s);
    case state::ApplyStep::kRead:
      FileError("cannot read " + ctx.path + ": " + s.message());
    case state::ApplyStep::kCommit:
      Fail(s, "cannot write " + ctx.path + ": " + s.message());
    case state::ApplyStep::kPlan:
    case state::ApplyStep::kCarry:
      ctx.Require(s);
      break;
    default:
      break;
  }
  Fail(s, s.message());
}

void Apply(Context& ctx, const ApplyOptions& options) {
  // Read and checked before the file is locked.
  SavedPlan saved;
  const bool from_plan = !options.plan.empty();
  if (from_plan) {
    saved = ParsePlanFile(ReadJson(ctx, options.plan), options.plan);
  } else {
    saved.state = ReadJson(ctx, options.input);
    saved.rules = options.rules;
  }
  const bool planning = !options.plan_out.empty();
  const bool writing = !options.dry_run && !planning;
  if (planning) RequireNoInlinePasswords(saved.state);
  desired::DesiredState state;
  const Status read = state::ReadDesiredState(
      ctx.env, planning ? saved.state : std::move(saved.state), *ctx.codec,
      &state);
  if (!read.ok()) Fail(read, read.message());
  ctx.RequirePath();

  state::ApplyOptions apply;
  apply.rules = saved.rules;
  apply.dry_run = !writing;
  apply.fingerprint = planning;
  apply.open = [&ctx](ConfigSession* session, Access access) {
    if (access != Access::kRead) ctx.WarnBeforeChange(ctx.path);
    return session->Open(Store{ctx.env, ctx.path}, access);
  };
  // Under the lock: a saved plan must still be the plan, and a change is
  // written only to a file whose texts decode.
  apply.check = [&](const desired::DesiredState& want, const FileTables& file,
                    const desired::Plan& plan, bool carrying) {
    if (from_plan) {
      const Status s = PlanStillHolds(
          saved, desired::FingerprintOf(file),
          state::PlanChanges(plan, want, file, *ctx.codec), ctx.path);
      if (!s.ok()) return s;
    }
    return carrying ? ctx.TextsDecode(file) : Status::OK();
  };
  state::ApplyOutcome outcome;
  const Status applied =
      state::ApplyState(Store{ctx.env, ctx.path}, state, *ctx.codec, apply,
                        &outcome);
  if (outcome.wrote) ctx.changed = true;
  if (!applied.ok()) ApplyFailed(ctx, applied, outcome);
  const ChangeList& changes = outcome.changes;
  if (planning) {
    saved.fingerprint = outcome.fingerprint;
    saved.changes = changes;
    WritePlan(ctx, options.plan_out, saved);
  }

  if (options.as_json) {
    ctx.PrintJson(state::ApplyReport(outcome, !writing));
    return;
  }
  PrintChangeLines(*ctx.out, changes);
  if (changes.empty()) {
    *ctx.out << "no changes\n";
  } else {
    *ctx.out << changes.size() << " change(s)"
             << (planning          ? " planned in " + options.plan_out
                 : options.dry_run ? " to make; nothing written (dry run)"
                                   : "")
             << "\n";
  }
}

}  // namespace

void AddApplyCommand(CLI::App& app, Registry& registry) {
  auto options = std::make_shared<ApplyOptions>();
  CLI::App* apply = app.add_subcommand(
      "apply",
      "bring the file to a desired state given as JSON, records matched by "
      "name, in one change or none (doc/apply_format.md)");
  CLI::Option* input = apply->add_option(
      "FILE", options->input, "the desired state, - for standard input");
  apply->add_flag("--dry-run", options->dry_run,
                  "print the changes apply would make, writing nothing");
  apply->add_flag("--prune", options->rules.prune,
                  "also remove the records of each table the state lists "
                  "that the state lacks (users with their privileges)");
  apply->add_flag("--keep-ids", options->rules.keep_ids,
                  "add records under the IDs the state gives them, which "
                  "must be above the IDs the file has issued");
  apply->add_flag("--allow-empty-password", options->rules.allow_empty_password,
                  "let a user be added, or a password set, with an empty "
                  "password; without it a new user needs a password");
  apply->add_flag("--json", options->as_json,
                  "print {\"changed\": ..., \"changes\": [...]}");
  CLI::Option* plan_out = apply->add_option(
      "--plan-out", options->plan_out,
      "write the plan, with a fingerprint of the file, to this file "
      "(owner-only) instead of carrying it out; passwords only by reference");
  CLI::Option* plan = apply->add_option(
      "--plan", options->plan,
      "carry out a plan --plan-out wrote, refused when the file changed "
      "since");
  plan->excludes(input)
      ->excludes(plan_out)
      ->excludes("--prune")
      ->excludes("--keep-ids")
      ->excludes("--allow-empty-password");
  registry.Add(apply, [options, input, plan](Context& ctx) {
    if (input->count() == 0 && plan->count() == 0) {
      UsageError("apply needs the desired state's FILE, or --plan");
    }
    Apply(ctx, *options);
  });
}

}  // namespace tool
}  // namespace brellox
