// brellox: the administrator's command line for a Brellox configuration
// file. Exit codes: 0 done, 1 refused, 2 usage error, 3 the file cannot be
// opened or fails the check; every failure prints one line on stderr.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "brellox/brellox.h"
#include "platform/module.h"
#include "src/store/format.h"
#include "tools/brellox/command_line.h"
#include "tools/brellox/system.h"
#include "tools/brellox/usage.h"

namespace brellox {
namespace tool {
namespace {

constexpr const char kGlobalOptionsHelp[] =
    "Global options, before or after the command: --config PATH works on "
    "that file instead of the library's own Svr_Config.CFG; --encoding NAME "
    "is the code page of the file's texts (default GBK), one that writes "
    "ASCII as itself; --force-encoding changes a file even when some of its "
    "texts do not decode in that code page; --version.";

// The path of "Svr_Config.CFG" beside the loaded brellox library, which the
// library created at load if it was missing; empty when the system cannot
// tell where the library was loaded from. The tool holds no exported
// function itself, so the address of one lies inside the library.
std::string LibraryConfigPath() {
  std::string directory;
  if (!GetModuleDirectory(reinterpret_cast<const void*>(&Svr_GetTempDir),
                          &directory)) {
    return std::string();
  }
  return directory + kConfigFileName;
}

int Run(int argc, char** argv) {
  CLI::App app{
      "Shows, changes, checks, backs up and restores a Brellox "
      "configuration file. Without --config it works on the "
      "library's own Svr_Config.CFG, beside the loaded library.",
      "brellox"};
  app.require_subcommand(1);
  // Global options may follow the command: brellox user list --config F.
  app.fallthrough();
  app.set_version_flag("--version", "brellox " BRELLOX_VERSION,
                       "print the version and exit");
  std::string config_path;
  std::string encoding = "GBK";
  app.add_option("--config", config_path,
                 "work on this configuration file instead of the library's "
                 "own");
  app.add_option("--encoding", encoding,
                 "code page of the texts in the file (default GBK)");
  bool force_encoding = false;
  app.add_flag("--force-encoding", force_encoding,
               "change the file even when some of its texts do not decode "
               "in the code page (they are mixed)");

  Registry registry;
  AddInspectCommands(app, registry);
  AddUserCommands(app, registry);
  AddSourceCommands(app, registry);
  AddOptionCommands(app, registry);
  AddFileCommands(app, registry);
  AddBackupCommands(app, registry);
  AddDiffCommand(app, registry);
  AddApplyCommand(app, registry);
  AddHelpFooters(&app, std::string(kGlobalOptionsHelp) + "\n" + kExitCodesHelp);

  std::vector<std::string> args = HelpCommandAsFlag(Utf8Arguments(argc, argv));
  const std::string command = CheckCommandWords(app, args);
  // CLI11 takes the arguments last first.
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::Success& e) {  // --help, --version
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    UsageError(DescribeParseError(e, command));
  }
  const Registry::Action* action = registry.Selected();
  if (action == nullptr) UsageError("name a command (see brellox --help)");

  Codec codec(encoding);
  Context ctx{Env::Default(),
              config_path.empty() ? LibraryConfigPath() : config_path, &codec,
              &std::cout};
  ctx.force_encoding = force_encoding;
  (*action)(ctx);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "brellox: could not write the output\n";
    return kExitFile;
  }
  return ctx.result;
}

}  // namespace
}  // namespace tool
}  // namespace brellox

int main(int argc, char** argv) {
  using brellox::tool::ToolError;
  try {
    return brellox::tool::Run(argc, argv);
  } catch (const ToolError& e) {
    std::cout.flush();
    std::cerr << "brellox: " << e.what();
    if (e.code() == brellox::tool::kExitUsage) {
      std::cerr << " (see brellox --help)";
    }
    std::cerr << "\n";
    return e.code();
  } catch (const std::exception& e) {
    std::cerr << "brellox: " << e.what() << "\n";
    return brellox::tool::kExitFile;
  }
}
