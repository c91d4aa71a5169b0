// brellox: the administrator's command line for a Brellox configuration
// file. Exit codes: kExitCodesHelp (tool_error.h); every failure prints one
// line on stderr, with --json one JSON object.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "brellox/brellox.h"
#include "platform/module.h"
#include "src/store/file_lock.h"
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
    "texts do not decode in that code page; --wait SECONDS waits that long "
    "in all for a busy file (0: try once; default 5); --detailed-exitcodes "
    "exits 8 when the file "
    "changed; --json prints a failure as one JSON object on stderr; "
    "--version.";

// The --wait value: seconds, a fraction allowed, up to a year.
std::int64_t WaitMicros(const std::string& seconds) {
  char* end = nullptr;
  const double value = std::strtod(seconds.c_str(), &end);
  if (seconds.empty() || *end != '\0' || !(value >= 0 && value <= 3.2e7)) {
    std::string shown = seconds;
    if (HasControlCharacter(shown)) shown = "(text with control characters)";
    UsageError("--wait " + Quoted(shown) +
               " is not a number of seconds (0 to a year)");
  }
  return static_cast<std::int64_t>(std::ceil(value * 1e6));
}

// The calling thread's busy timeout while it lives (SetThreadBusyTimeout;
// < 0: the library's), the library's again after.
class BusyTimeout {
 public:
  explicit BusyTimeout(std::int64_t micros) { SetThreadBusyTimeout(micros); }
  ~BusyTimeout() { SetThreadBusyTimeout(-1); }
  BusyTimeout(const BusyTimeout&) = delete;
  BusyTimeout& operator=(const BusyTimeout&) = delete;
};

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
  std::string wait_seconds;
  CLI::Option* wait = app.add_option(
      "--wait", wait_seconds,
      "while the file is busy, wait this many seconds in all (0: try once; "
      "default 5)");
  bool detailed_exit_codes = false;
  app.add_flag("--detailed-exitcodes", detailed_exit_codes,
               "exit 8 instead of 0 when the command changed the file");
  bool json_errors = false;
  app.add_flag("--json", json_errors,
               "print a failure as one JSON object on stderr (listings "
               "take their own --json)");

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
  const BusyTimeout busy_timeout(wait->count() > 0 ? WaitMicros(wait_seconds)
                                                   : -1);
  (*action)(ctx);
  std::cout.flush();
  if (!std::cout) FileError("could not write the output");
  if (ctx.result == kExitDone && detailed_exit_codes && ctx.changed) {
    return kExitChanged;
  }
  return ctx.result;
}

// Whether failures are to be told as JSON: known before the command line
// is parsed, so that a usage error is told that way too.
bool JsonErrors(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) break;
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

int Report(const ToolError& e, bool as_json) {
  std::cout.flush();
  if (as_json) {
    const nlohmann::ordered_json error = {
        {"code", e.code()}, {"result", e.kind()}, {"message", e.what()}};
    // A path in the message need not be UTF-8.
    std::cerr << error.dump(-1, ' ', false,
                            nlohmann::ordered_json::error_handler_t::replace)
              << "\n";
  } else {
    std::cerr << "brellox: " << e.what()
              << (e.code() == kExitUsage ? " (see brellox --help)" : "")
              << "\n";
  }
  return e.code();
}

}  // namespace
}  // namespace tool
}  // namespace brellox

int main(int argc, char** argv) {
  using brellox::tool::ToolError;
  const bool json = brellox::tool::JsonErrors(argc, argv);
  try {
    return brellox::tool::Run(argc, argv);
  } catch (const ToolError& e) {
    return brellox::tool::Report(e, json);
  } catch (const std::bad_alloc& e) {
    return brellox::tool::Report(ToolError(BRELLOX_NO_MEMORY, e.what()), json);
  } catch (const std::exception& e) {
    return brellox::tool::Report(ToolError(BRELLOX_IO_ERROR, e.what()), json);
  }
}
