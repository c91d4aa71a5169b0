// init, tempdir, export and import: the file as a whole.
#include <fstream>
#include <memory>
#include <sstream>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "tools/brellox/backup.h"
#include "tools/brellox/command.h"
#include "tools/brellox/listing.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

using json = nlohmann::ordered_json;

namespace {

// Both init and import create a file; neither replaces one unasked.
void RefuseToReplace(Env* env, const std::string& path, bool force) {
  if (path.empty()) {
    FileError("cannot tell where the brellox library was loaded from; "
              "name a file with --config");
  }
  if (!force && env->EntryExists(path)) {
    Refuse(path + " already exists; pass --force to replace it");
  }
}

struct InitOptions {
  std::string path;
  bool force = false;
};

void Init(Context& ctx, const InitOptions& options) {
  const std::string path =
      options.path.empty() ? ctx.config->path() : options.path;
  RefuseToReplace(ctx.env, path, options.force);
  Status s = WriteFileAtomically(
      ctx.env, path, DefaultConfigImage(),
      options.force ? Publish::kReplace : Publish::kIfMissing);
  if (!s.ok()) FileError("cannot write " + path + ": " + s.message());
  *ctx.out << "wrote the default configuration to " << path << "\n";
}

void TempDir(Context& ctx, const std::string* dir) {
  ctx.Load();  // says why, if the file cannot be used
  constexpr std::size_t kWidth = sizeof(SVR_CFG_HEADER::tempDir);
  if (dir == nullptr) {
    char buffer[kWidth] = {};
    if (ctx.config->GetTempDir(buffer, kWidth) <= 0) {
      FileError("cannot read the temp dir of " + ctx.config->path());
    }
    *ctx.out << ctx.codec->Display(buffer, kWidth) << "\n";
    return;
  }
  const std::string bytes = ctx.codec->FromUtf8(*dir, "temp dir");
  if (bytes.size() >= kWidth) {
    Refuse("temp dir is " + std::to_string(bytes.size()) + " bytes; at most " +
           std::to_string(kWidth - 1) + " fit");
  }
  if (ctx.config->SetTempDir(bytes.c_str()) <= 0) {
    Refuse("the library refused the temp dir " + Quoted(*dir));
  }
}

struct ExportOptions {
  bool with_passwords = false;
  std::string output;
};

void Export(Context& ctx, const ExportOptions& options) {
  const json backup =
      ConfigJson(ctx.Load(), *ctx.codec, options.with_passwords);
  if (options.output.empty()) {
    ctx.PrintJson(backup);
    return;
  }
  // Written whole or not at all: a failed export never leaves half a backup
  // that could later be mistaken for a complete one.
  Status s =
      WriteFileAtomically(ctx.env, options.output, backup.dump(2) + "\n");
  if (!s.ok()) FileError("cannot write " + options.output + ": " + s.message());
}

struct ImportOptions {
  std::string input;
  bool force = false;
};

void Import(Context& ctx, const ImportOptions& options) {
  const std::string& path = ctx.config->path();
  RefuseToReplace(ctx.env, path, options.force);
  std::ifstream in(options.input, std::ios::binary);
  if (!in) FileError("cannot open " + options.input);
  std::stringstream text;
  text << in.rdbuf();
  json backup = json::parse(text.str(), nullptr, false);
  if (backup.is_discarded()) Refuse(options.input + " is not valid JSON");
  const std::string image = ImageFromJson(backup, *ctx.codec);
  Status s = WriteFileAtomically(ctx.env, path, image);
  if (!s.ok()) FileError("cannot write " + path + ": " + s.message());
  *ctx.out << "imported " << options.input << " into " << path << "\n";
}

}  // namespace

void AddFileCommands(CLI::App& app, Registry& registry) {
  auto init = std::make_shared<InitOptions>();
  CLI::App* init_cmd = app.add_subcommand(
      "init", "write a default configuration file (the --config file, or the "
              "library's own, when PATH is not given)");
  init_cmd->add_option("PATH", init->path, "file to write");
  init_cmd->add_flag("--force", init->force, "replace an existing file");
  registry.Add(init_cmd, [init](Context& ctx) { Init(ctx, *init); });

  auto dir = std::make_shared<std::string>();
  CLI::App* tempdir = app.add_subcommand(
      "tempdir", "print the server's temporary directory, or set it to DIR");
  CLI::Option* dir_option = tempdir->add_option("DIR", *dir, "new directory");
  registry.Add(tempdir, [dir, dir_option](Context& ctx) {
    TempDir(ctx, dir_option->count() > 0 ? dir.get() : nullptr);
  });

  auto exp = std::make_shared<ExportOptions>();
  CLI::App* export_cmd = app.add_subcommand(
      "export", "write the whole configuration as JSON");
  export_cmd->add_flag("--with-passwords", exp->with_passwords,
                       "include the users' passwords (a full backup)");
  export_cmd->add_option("-o,--output", exp->output,
                         "write to this file instead of standard output");
  registry.Add(export_cmd, [exp](Context& ctx) { Export(ctx, *exp); });

  auto imp = std::make_shared<ImportOptions>();
  CLI::App* import_cmd = app.add_subcommand(
      "import", "write a new configuration file from exported JSON");
  import_cmd->add_option("FILE", imp->input, "the JSON to import")->required();
  import_cmd->add_flag("--force", imp->force, "replace an existing file");
  registry.Add(import_cmd, [imp](Context& ctx) { Import(ctx, *imp); });
}

}  // namespace tool
}  // namespace brellox
