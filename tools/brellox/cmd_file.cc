// init, tempdir and import: the file as a whole, and its temp dir.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <vector>

#include "src/store/default_file.h"
#include "src/store/format.h"
#include "src/store/replace.h"
#include "src/store/temp_dir.h"
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

std::string RequirePath(const std::string& path) {
  if (path.empty()) {
    FileError(
        "cannot tell where the brellox library was loaded from; "
        "name a file with --config");
  }
  return path;
}

// Writes `image` as the configuration file at `path`: a new file is
// created private to its owner (on Windows too: it holds passwords), with
// its journal, under a temporary name and published only if the name is
// still free; an existing one is replaced only with `force`, in place, as
// one change that no journal left beside it can undo. Returns the header
// of the file replaced, if there was one that passed the check.
std::optional<SVR_CFG_HEADER> WriteConfiguration(const Context& ctx,
                                                 const std::string& path,
                                                 const std::string& image,
                                                 bool force,
                                                 IdCounters counters) {
  const bool exists = ctx.env->EntryExists(path);
  if (exists && !force) {
    Fail(BRELLOX_ALREADY_EXISTS,
         path + " already exists; pass --force to replace it");
  }
  ctx.WarnBeforeChange(path);
  if (exists) {
    ReplaceOutcome outcome;
    const Context target{ctx.env, path, ctx.codec, ctx.out};
    const Status s =
        ReplaceConfigFile(Store{ctx.env, path}, image, counters, &outcome);
    if (!s.ok()) target.OpenFailed(s);
    ctx.changed = true;
    if (outcome.was_damaged) return std::nullopt;
    return outcome.previous;
  }
  const Status s = CreateConfigFile(ctx.env, path, image, kPrivateFileMode);
  if (s.IsAlreadyExists()) {
    Fail(s, path + " appeared meanwhile; pass --force to replace it");
  }
  if (!s.ok()) Fail(s, "cannot write " + path + ": " + s.message());
  ctx.changed = true;
  return std::nullopt;
}

// The configuration file at `path` as it is before it is replaced; false
// when it fails the header check (or is gone): then nothing of it is kept.
bool ReadReplacedFile(const Context& ctx, const std::string& path,
                      Snapshot* snapshot) {
  const Context target{ctx.env, path, ctx.codec, ctx.out};
  ConfigSession session;
  const Status opened = session.Open(Store{ctx.env, path}, Access::kRead);
  if (opened.IsCorrupt() || opened.IsFileMissing()) return false;
  if (!opened.ok()) target.OpenFailed(opened);
  target.Require(ReadTables(session, snapshot));
  return true;
}

// The ID counters of `replaced` that are higher than those of `image`,
// which a replacement keeps so that an ID the replaced file issued is never
// issued again: "user 9 (<image_has> 4)", comma-separated.
std::string HigherCounters(const std::string& image,
                           const SVR_CFG_HEADER& replaced,
                           const std::string& image_has) {
  static const struct {
    const char* table;
    std::int32_t SVR_CFG_HEADER::*counter;
  } kCounters[] = {{"connection", &SVR_CFG_HEADER::lastConnID},
                   {"GDB", &SVR_CFG_HEADER::lastGDBID},
                   {"user", &SVR_CFG_HEADER::lastUserID}};
  SVR_CFG_HEADER h;
  std::memcpy(&h, image.data(), sizeof(h));
  std::string kept;
  for (const auto& c : kCounters) {
    if (replaced.*c.counter <= h.*c.counter) continue;
    kept += (kept.empty() ? "" : ", ") + std::string(c.table) + " " +
            std::to_string(replaced.*c.counter) + " (" + image_has + " " +
            std::to_string(h.*c.counter) + ")";
  }
  return kept;
}

// The counters a replacement keeps: the higher of each pair.
void KeepHigherCounters(const SVR_CFG_HEADER& replaced,
                        SVR_CFG_HEADER* header) {
  header->lastConnID = std::max(header->lastConnID, replaced.lastConnID);
  header->lastGDBID = std::max(header->lastGDBID, replaced.lastGDBID);
  header->lastUserID = std::max(header->lastUserID, replaced.lastUserID);
}

struct InitOptions {
  std::string path;
  bool force = false;
  bool reset_ids = false;
};

void Init(Context& ctx, const InitOptions& options) {
  const std::string path =
      RequirePath(options.path.empty() ? ctx.path : options.path);
  const std::string image = DefaultConfigImage();
  const std::optional<SVR_CFG_HEADER> replaced = WriteConfiguration(
      ctx, path, image, options.force,
      options.reset_ids ? IdCounters::kAsGiven : IdCounters::kKeepHigher);
  const std::string kept =
      replaced && !options.reset_ids
          ? HigherCounters(image, *replaced, "the default has")
          : std::string();
  *ctx.out << "wrote the default configuration to " << path << "\n";
  if (!kept.empty()) {
    *ctx.out << "kept the replaced file's ID counters: " << kept
             << "; --reset-ids starts them afresh\n";
  }
}

void TempDir(Context& ctx, const std::string* dir) {
  if (dir == nullptr) {
    ConfigSession session;
    ctx.Open(&session, Access::kRead);
    const SVR_CFG_HEADER& h = session.header();
    *ctx.out << ctx.codec->Display(h.tempDir, sizeof(h.tempDir)) << "\n";
    return;
  }
  const std::string bytes = NameBytes(ctx, *dir, "temp dir");
  ConfigSession session;
  ctx.OpenToChange(&session);
  ctx.Require(SetTempDir(session, bytes.c_str()));
  ctx.Commit(&session);
  // The file may be meant for another machine: the text is kept as given.
  if (!ctx.env->EntryExists(*dir)) {
    std::cerr << "brellox: warning: " << Quoted(*dir)
              << " does not exist on this machine; stored anyway\n";
  }
}

struct ImportOptions {
  std::string input;
  bool force = false;
  bool dry_run = false;
  bool allow_empty_passwords = false;
};

// What a dry run shows: where the image would go and what it holds.
void DescribeImport(const Context& ctx, const std::string& path,
                    const std::string& image, bool passwords) {
  SVR_CFG_HEADER h;
  std::memcpy(&h, image.data(), sizeof(h));
  std::ostream& out = *ctx.out;
  out << "would write " << image.size() << " bytes to " << path
      << (ctx.env->EntryExists(path) ? " (replacing its contents)"
                                     : " (a new file)")
      << "\n"
      << "connections " << h.conns.count << ", GDBs " << h.gdbs.count
      << ", users " << h.users.count
      << (passwords ? "" : " (without passwords: empty)") << ", privileges "
      << h.privs.count << ", option groups " << h.optionGroupsCount << "\n"
      << "last IDs: connection " << h.lastConnID << ", GDB " << h.lastGDBID
      << ", user " << h.lastUserID << "\n";
}

void Import(Context& ctx, const ImportOptions& options) {
  const std::string path = RequirePath(ctx.path);
  if (!options.force && !options.dry_run && ctx.env->EntryExists(path)) {
    Fail(BRELLOX_ALREADY_EXISTS,
         path + " already exists; pass --force to replace it");
  }
  const std::string text = ReadInput(ctx.env, options.input);
  const std::string source =
      options.input == "-" ? std::string("standard input") : options.input;
  // The parser's own message quotes the input near the error, which may be
  // a password: only the place is told.
  json backup;
  std::size_t error_byte = 0;
  if (!ParseBackup(text, &backup, &error_byte)) {
    Refuse(source + " is not valid JSON (at byte " +
           std::to_string(error_byte) + ")");
  }
  ImportRules rules;
  rules.allow_empty_passwords = options.allow_empty_passwords;
  const std::string image = ImageFromJson(backup, *ctx.codec, rules);
  // A restore never lowers the replaced file's ID counters: an ID it issued
  // may still be in use outside the file (a server's own records, a
  // privilege left behind) and must never name another record.
  const auto kept_line = [](const std::string& kept) {
    return "the file's higher ID counters: " + kept + "\n";
  };
  if (options.dry_run) {
    Snapshot replaced;
    const bool replacing =
        ctx.env->EntryExists(path) && ReadReplacedFile(ctx, path, &replaced);
    const std::string kept =
        replacing ? HigherCounters(image, replaced.header, "the backup has")
                  : std::string();
    DescribeImport(ctx, path, image, BackupHasPasswords(backup));
    if (!replacing) return;
    if (!kept.empty()) *ctx.out << "would keep " << kept_line(kept);
    Snapshot incoming;
    ctx.Require(DecodeImage(image, &incoming));
    KeepHigherCounters(replaced.header, &incoming.header);
    const ChangeList changes =
        ConfigChanges(replaced, incoming, *ctx.codec, Matching::kById);
    PrintChangeLines(*ctx.out, changes);
    *ctx.out << (changes.empty()
                     ? "no changes"
                     : std::to_string(changes.size()) + " change(s)")
             << "\n";
    return;
  }
  const std::optional<SVR_CFG_HEADER> replaced = WriteConfiguration(
      ctx, path, image, options.force, IdCounters::kKeepHigher);
  const std::string kept =
      replaced ? HigherCounters(image, *replaced, "the backup has")
               : std::string();
  *ctx.out << "imported " << source << " into " << path << "\n";
  if (!kept.empty()) *ctx.out << "kept " << kept_line(kept);
}

}  // namespace

void AddFileCommands(CLI::App& app, Registry& registry) {
  auto init = std::make_shared<InitOptions>();
  CLI::App* init_cmd = app.add_subcommand(
      "init",
      "write a default configuration file (the --config file, or the "
      "library's own, when PATH is not given)");
  init_cmd->add_option("PATH", init->path, "file to write");
  CLI::Option* init_force = init_cmd->add_flag(
      "--force", init->force,
      "replace the contents of an existing file, keeping its ID counters");
  init_cmd
      ->add_flag("--reset-ids", init->reset_ids,
                 "with --force: start the ID counters afresh, so that IDs "
                 "the replaced file issued may be issued again")
      ->needs(init_force);
  registry.Add(init_cmd, [init](Context& ctx) { Init(ctx, *init); });

  auto dir = std::make_shared<std::string>();
  CLI::App* tempdir = app.add_subcommand(
      "tempdir", "print the server's temporary directory, or set it to DIR");
  CLI::Option* dir_option = tempdir->add_option("DIR", *dir, "new directory");
  registry.Add(tempdir, [dir, dir_option](Context& ctx) {
    TempDir(ctx, dir_option->count() > 0 ? dir.get() : nullptr);
  });

  auto imp = std::make_shared<ImportOptions>();
  CLI::App* import_cmd = app.add_subcommand(
      "import", "write the configuration file from exported JSON");
  import_cmd
      ->add_option("FILE", imp->input,
                   "the JSON to import, - for standard input")
      ->required();
  import_cmd->add_flag("--force", imp->force,
                       "replace the contents of an existing file, in place "
                       "and as one change, keeping its ID counters where "
                       "they are higher than the backup's");
  import_cmd->add_flag("--dry-run", imp->dry_run,
                       "check the JSON and tell what would be written, and "
                       "what would change in an existing file (in diff's "
                       "lines), writing nothing");
  import_cmd->add_flag("--allow-empty-passwords", imp->allow_empty_passwords,
                       "give users the backup holds no password for an "
                       "empty one");
  registry.Add(import_cmd, [imp](Context& ctx) { Import(ctx, *imp); });
}

}  // namespace tool
}  // namespace brellox
