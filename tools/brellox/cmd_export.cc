// export: the whole configuration as JSON.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

#include "src/store/default_file.h"
#include "src/store/journal_file.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/listing.h"

namespace brellox {
namespace tool {
namespace {

struct ExportOptions {
  bool with_passwords = false;
  bool force = false;
  std::string output;
};

// True when `a` and `b` name the same existing file, by whatever path
// (links included). Paths are UTF-8 inside the tool.
bool SameFile(const std::string& a, const std::string& b) {
  std::error_code error;
  return std::filesystem::equivalent(std::filesystem::u8path(a),
                                     std::filesystem::u8path(b), error) &&
         !error;
}

void Export(Context& ctx, const ExportOptions& options) {
  const std::string& output = options.output;
  const bool to_file = !output.empty() && output != "-";
  // A backup never takes the place of the file it backs up, nor of that
  // file's journal, which a crashed change may need.
  if (to_file && !ctx.path.empty()) {
    if (SameFile(output, ctx.path)) {
      Refuse(output +
             " is the configuration file being exported; name "
             "another file");
    }
    std::string journal;
    if (JournalOf(ctx.env, ctx.path, &journal).ok() &&
        SameFile(output, journal)) {
      Refuse(output +
             " is the journal of the configuration file being "
             "exported; name another file");
    }
  }
  const nlohmann::ordered_json backup =
      ConfigJson(ctx.Load(), *ctx.codec, options.with_passwords);
  if (!to_file) {
    ctx.PrintJson(backup);
    return;
  }
  // Written whole or not at all, private to its owner on every system (it
  // may hold passwords), under a temporary name no other file has: a failed
  // export never leaves half a backup, nor touches a neighbour. Without
  // --force it is published only if the name is still free.
  const Status s = WriteFileAtomically(
      ctx.env, output, backup.dump(2) + "\n",
      options.force ? Publish::kReplace : Publish::kIfMissing,
      kPrivateFileMode);
  if (s.IsAlreadyExists()) {
    Fail(s, output + " already exists; pass --force to replace it");
  }
  if (!s.ok()) Fail(s, "cannot write " + output + ": " + s.message());
}

}  // namespace

void AddBackupCommands(CLI::App& app, Registry& registry) {
  auto exp = std::make_shared<ExportOptions>();
  CLI::App* export_cmd = app.add_subcommand(
      "export", "write the whole configuration as JSON (" BRELLOX_DOC_DIR
                "/export_format.md)");
  export_cmd->add_flag("--with-passwords", exp->with_passwords,
                       "include the users' passwords (a full backup)");
  export_cmd->add_option("-o,--output", exp->output,
                         "write to this file (owner-only) instead of "
                         "standard output; never the configuration file "
                         "itself");
  export_cmd->add_flag("--force", exp->force,
                       "replace the file -o names if it exists");
  registry.Add(export_cmd, [exp](Context& ctx) { Export(ctx, *exp); });
}

}  // namespace tool
}  // namespace brellox
