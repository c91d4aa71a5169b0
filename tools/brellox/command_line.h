// The command line: the registry that ties CLI11 subcommands to their
// actions, each family's subcommands, and the arguments commands share.
#ifndef BRELLOX_TOOLS_BRELLOX_COMMAND_LINE_H_
#define BRELLOX_TOOLS_BRELLOX_COMMAND_LINE_H_

#include <CLI/CLI.hpp>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/brellox/command.h"

namespace brellox {
namespace tool {

// Leaf subcommands and what each does once the command line is parsed.
class Registry {
 public:
  using Action = std::function<void(Context&)>;
  void Add(CLI::App* command, Action action) {
    actions_.emplace_back(command, std::move(action));
  }
  // The action of the subcommand that was given, or nullptr.
  const Action* Selected() const;

 private:
  std::vector<std::pair<CLI::App*, Action>> actions_;
};

void AddFileCommands(CLI::App& app, Registry& registry);    // init tempdir
void AddBackupCommands(CLI::App& app, Registry& registry);  // export import
void AddInspectCommands(CLI::App& app,
                        Registry& registry);                // show layout check
void AddDiffCommand(CLI::App& app, Registry& registry);     // diff
void AddApplyCommand(CLI::App& app, Registry& registry);    // apply
void AddUserCommands(CLI::App& app, Registry& registry);    // user priv
void AddSourceCommands(CLI::App& app, Registry& registry);  // conn gdb
void AddOptionCommands(CLI::App& app, Registry& registry);  // option

// Adds the REF argument and --by-name flag of a command that addresses one
// record.
void AddRecordRef(CLI::App* command, RecordRef* ref, const std::string& table);

// Adds the --json flag of a listing command.
void AddJsonFlag(CLI::App* command, bool* json);

// Adds the --if-not-exists flag of an add command.
void AddIfNotExistsFlag(CLI::App* command, bool* flag);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_COMMAND_LINE_H_
