// brellox: the administrator's command line for a Brellox configuration
// file. Exit codes: 0 done, 1 refused, 2 usage error, 3 the file cannot be
// opened or fails the check; every failure prints one line on stderr.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/brellox/command.h"
#include "tools/brellox/system.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {
namespace {

int Run(int argc, char** argv) {
  CLI::App app{"Shows, changes, checks, backs up and restores a Brellox "
               "configuration file. Without --config it works on the "
               "library's own Svr_Config.CFG through the library's functions.",
               "brellox"};
  app.require_subcommand(1);
  // Global options may follow the command: brellox user list --config F.
  app.fallthrough();
  std::string config_path;
  std::string encoding = "GBK";
  app.add_option("--config", config_path,
                 "work on this configuration file instead of the library's own");
  app.add_option("--encoding", encoding,
                 "code page of the texts in the file (default GBK)");

  Registry registry;
  AddInspectCommands(app, registry);
  AddUserCommands(app, registry);
  AddSourceCommands(app, registry);
  AddOptionCommands(app, registry);
  AddFileCommands(app, registry);

  // CLI11 takes the arguments last first.
  std::vector<std::string> args = Utf8Arguments(argc, argv);
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "brellox: " << e.what() << " (see brellox --help)\n";
    return kExitUsage;
  }
  const Registry::Action* action = registry.Selected();
  if (action == nullptr) {
    std::cerr << "brellox: name a command (see brellox --help)\n";
    return kExitUsage;
  }

  Codec codec(encoding);
  std::unique_ptr<ConfigAccess> config =
      config_path.empty() ? MakeLibraryAccess()
                          : MakeStoreAccess(Env::Default(), config_path);
  Context ctx{Env::Default(), config.get(), &codec, &std::cout};
  (*action)(ctx);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "brellox: could not write the output\n";
    return kExitFile;
  }
  return kExitDone;
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
    std::cerr << "brellox: " << e.what() << "\n";
    return e.code();
  } catch (const std::exception& e) {
    std::cerr << "brellox: " << e.what() << "\n";
    return brellox::tool::kExitFile;
  }
}
