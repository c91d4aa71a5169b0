// The frame every command runs in: which file, how texts convert, where the
// output goes, and the registry that ties subcommands to their actions.
#ifndef BRELLOX_TOOLS_BRELLOX_COMMAND_H_
#define BRELLOX_TOOLS_BRELLOX_COMMAND_H_

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "platform/env.h"
#include "tools/brellox/codec.h"
#include "tools/brellox/config_access.h"
#include "tools/brellox/snapshot.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

struct Context {
  Env* env;
  ConfigAccess* config;
  const Codec* codec;
  std::ostream* out;

  // The file as it is now; throws a file ToolError when it cannot be used.
  Snapshot Load() const { return LoadSnapshot(env, config->path()); }
  void PrintJson(const nlohmann::ordered_json& value) const;
};

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

void AddFileCommands(CLI::App& app, Registry& registry);     // init tempdir export import
void AddInspectCommands(CLI::App& app, Registry& registry);  // show layout check
void AddUserCommands(CLI::App& app, Registry& registry);     // user priv
void AddSourceCommands(CLI::App& app, Registry& registry);   // conn gdb
void AddOptionCommands(CLI::App& app, Registry& registry);   // option

// A record given on the command line by ID (all digits) or by name.
struct RecordRef {
  std::string text;
  bool by_name = false;  // --by-name: digits are a name too

  bool IsId() const;
  std::int32_t Id() const;
};

// The record of `records` that `ref` names. Throws a refusal ToolError
// ("no user 'bob'", "no user with ID 7") when there is none.
template <class Record>
const Record& FindRecord(const std::vector<Record>& records,
                         const RecordRef& ref, const Codec& codec,
                         const std::string& table) {
  if (ref.IsId()) {
    const std::int32_t id = ref.Id();
    for (const Record& r : records) {
      if (r.id == id) return r;
    }
    Refuse("no " + table + " with ID " + ref.text);
  }
  const std::string name = codec.FromUtf8(ref.text, table + " name");
  for (const Record& r : records) {
    if (FieldText(r.name, sizeof(r.name)) == name) return r;
  }
  Refuse("no " + table + " " + Quoted(ref.text));
}

// Adds the REF argument and --by-name flag of a command that addresses one
// record.
void AddRecordRef(CLI::App* command, RecordRef* ref, const std::string& table);

// Parses a decimal 32-bit integer; throws a usage ToolError naming `what`.
std::int32_t ParseInt32(const std::string& text, const std::string& what);

// Adds the --json flag of a listing command.
void AddJsonFlag(CLI::App* command, bool* json);

// Reads a password for `purpose` ("password for 'bob'"): from standard input
// when `from_stdin` (one line, the line end dropped), else with a prompt
// without echo, which needs a terminal.
std::string ReadPassword(bool from_stdin, const std::string& purpose,
                         bool confirm);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_COMMAND_H_
