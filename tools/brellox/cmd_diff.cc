// diff: two configurations, each a file or an export, record by record.
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "tools/brellox/backup.h"
#include "tools/brellox/change_lines.h"
#include "tools/brellox/command.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/config_diff.h"
#include "tools/brellox/input.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// One side: a configuration file, read through a session like any command,
// or an export ("-": standard input).
Snapshot LoadSide(const Context& ctx, const std::string& name) {
  if (name != "-") {
    ConfigSession session;
    const Status opened = session.Open(Store{ctx.env, name}, Access::kRead);
    const Context side{ctx.env, name, ctx.codec, ctx.out};
    if (opened.ok()) {
      Snapshot snapshot;
      ctx.Require(ReadTables(session, &snapshot));
      return snapshot;
    }
    // Not a configuration file; it may still be an export.
    if (!opened.IsCorrupt()) side.OpenFailed(opened);
  }
  const std::string text = ReadInput(ctx.env, name);
  json backup;
  std::size_t error_byte = 0;
  if (!ParseBackup(text, &backup, &error_byte)) {
    FileError(name + " is neither a configuration file nor an export");
  }
  ImportRules rules;
  rules.allow_empty_passwords = true;
  Snapshot snapshot;
  const Status parsed =
      DecodeImage(ImageFromJson(backup, *ctx.codec, rules), &snapshot);
  if (!parsed.ok()) FileError(name + ": " + parsed.message());
  snapshot.passwords_known = BackupHasPasswords(backup);
  return snapshot;
}

struct DiffOptions {
  std::string a;
  std::string b;
  bool as_json = false;
  bool by_name = false;
};

void Diff(Context& ctx, const DiffOptions& o) {
  if (o.a == "-" && o.b == "-") UsageError("only one side can be -");
  const Snapshot a = LoadSide(ctx, o.a);
  const Snapshot b = LoadSide(ctx, o.b);
  const ChangeList differences = ConfigChanges(
      a, b, *ctx.codec, o.by_name ? Matching::kByName : Matching::kById);
  ctx.result = differences.empty() ? kExitDone : kExitDiffers;
  if (o.as_json) {
    ctx.PrintJson(
        {{"equal", differences.empty()},
         {"differences", ChangesToJson(differences)}});
    return;
  }
  PrintChangeLines(*ctx.out, differences);
  *ctx.out << (differences.empty()
                   ? "no differences"
                   : std::to_string(differences.size()) + " difference(s)")
           << "\n";
}

}  // namespace

void AddDiffCommand(CLI::App& app, Registry& registry) {
  auto options = std::make_shared<DiffOptions>();
  CLI::App* diff = app.add_subcommand(
      "diff",
      "compare two configurations, each a file or an export, record "
      "by record (exit 0 when equal, 6 when not; passwords are "
      "compared, never shown)");
  diff->add_option("A", options->a, "configuration file or export")->required();
  diff->add_option("B", options->b,
                   "configuration file or export, - for "
                   "standard input")
      ->required();
  diff->add_flag("--by-name", options->by_name,
                 "match records by name (users, connections), alias (GDBs), "
                 "user name and privilege ID (privileges), name and type "
                 "(option groups), not by ID; IDs, ID counters and table "
                 "capacities are not compared");
  AddJsonFlag(diff, &options->as_json);
  registry.Add(diff, [options](Context& ctx) { Diff(ctx, *options); });
}

}  // namespace tool
}  // namespace brellox
