// export: the whole configuration as JSON.
#include <memory>

#include "src/store/default_file.h"
#include "tools/brellox/command.h"
#include "tools/brellox/listing.h"

namespace brellox {
namespace tool {
namespace {

struct ExportOptions {
  bool with_passwords = false;
  std::string output;
};

void Export(Context& ctx, const ExportOptions& options) {
  const nlohmann::ordered_json backup =
      ConfigJson(ctx.Load(), *ctx.codec, options.with_passwords);
  if (options.output.empty() || options.output == "-") {
    ctx.PrintJson(backup);
    return;
  }
  // Written whole or not at all, private to its owner on every system (it
  // may hold passwords), under a temporary name no other file has: a failed
  // export never leaves half a backup, nor touches a neighbour.
  const Status s =
      WriteFileAtomically(ctx.env, options.output, backup.dump(2) + "\n",
                          Publish::kReplace, kPrivateFileMode);
  if (!s.ok()) FileError("cannot write " + options.output + ": " + s.message());
}

}  // namespace

void AddBackupCommands(CLI::App& app, Registry& registry) {
  auto exp = std::make_shared<ExportOptions>();
  CLI::App* export_cmd = app.add_subcommand(
      "export", "write the whole configuration as JSON (doc/export_format.md)");
  export_cmd->add_flag("--with-passwords", exp->with_passwords,
                       "include the users' passwords (a full backup)");
  export_cmd->add_option("-o,--output", exp->output,
                         "write to this file (owner-only) instead of "
                         "standard output");
  registry.Add(export_cmd, [exp](Context& ctx) { Export(ctx, *exp); });
}

}  // namespace tool
}  // namespace brellox
