// apply: brings the file to a desired state given as JSON, by name.
#include <memory>
#include <ostream>
#include <utility>

#include "tools/brellox/apply_plan.h"
#include "tools/brellox/backup.h"
#include "tools/brellox/backup_json.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/input.h"
#include "tools/brellox/password_refs.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

struct ApplyOptions {
  std::string input;
  desired::ApplyRules rules;
  bool dry_run = false;
  bool as_json = false;
};

void Apply(Context& ctx, const ApplyOptions& options) {
  // Read and checked before the file is locked.
  const std::string source =
      options.input == "-" ? std::string("standard input") : options.input;
  json text;
  std::size_t error_byte = 0;
  if (!ParseBackup(ReadInput(ctx.env, options.input), &text, &error_byte)) {
    Refuse(source + " is not valid JSON (at byte " +
           std::to_string(error_byte) + ")");
  }
  ResolvePasswordReferences(ctx.env, &text);
  const desired::DesiredState state =
      ParseDesiredState(std::move(text), *ctx.codec);

  // One lock from the read the plan is made from to the commit, so that
  // nothing changes the file in between.
  ConfigSession session;
  ctx.Open(&session, options.dry_run ? Access::kRead : Access::kWrite);
  FileTables file;
  const Status read = ReadTables(session, &file);
  if (!read.ok()) FileError("cannot read " + ctx.path + ": " + read.message());
  desired::Plan plan;
  ctx.Require(desired::Plan::Make(state, file, options.rules, &plan));
  // Nothing to change: no commit, so the file keeps its bytes and mtime.
  if (!options.dry_run && !plan.empty()) {
    ctx.CheckTexts(session);
    ctx.Require(plan.Carry(session, state, file));
    ctx.Commit(&session);
  }

  const json changes = PlanChanges(plan, state, file, *ctx.codec);
  if (options.as_json) {
    ctx.PrintJson({{"changed", !changes.empty()},
                   {"dryRun", options.dry_run},
                   {"changes", changes}});
    return;
  }
  PrintChangeLines(*ctx.out, changes);
  if (changes.empty()) {
    *ctx.out << "no changes\n";
  } else {
    *ctx.out << changes.size() << " change(s)"
             << (options.dry_run ? " to make; nothing written (dry run)" : "")
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
  apply
      ->add_option("FILE", options->input,
                   "the desired state, - for standard input")
      ->required();
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
  registry.Add(apply, [options](Context& ctx) { Apply(ctx, *options); });
}

}  // namespace tool
}  // namespace brellox
