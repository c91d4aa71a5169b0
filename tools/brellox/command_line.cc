#include "tools/brellox/command_line.h"

namespace brellox {
namespace tool {

const Registry::Action* Registry::Selected() const {
  for (const auto& entry : actions_) {
    if (entry.first->parsed()) return &entry.second;
  }
  return nullptr;
}

void AddRecordRef(CLI::App* command, RecordRef* ref, const std::string& table) {
  command->add_option("REF", ref->text, "the " + table + "'s ID, or its name")
      ->required();
  command->add_flag("--by-name", ref->by_name,
                    "REF is a name even if it is all digits");
}

void AddJsonFlag(CLI::App* command, bool* json) {
  command->add_flag("--json", *json, "print JSON instead of a table");
}

void AddIfNotExistsFlag(CLI::App* command, bool* flag) {
  command->add_flag("--if-not-exists", *flag,
                    "when the name is taken, change nothing, say "
                    "\"unchanged\" and exit 0");
}

}  // namespace tool
}  // namespace brellox
