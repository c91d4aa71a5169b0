#include "tools/brellox/command.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "tools/brellox/system.h"
#include "tools/brellox/tool_error.h"

namespace brellox {
namespace tool {

void Context::PrintJson(const nlohmann::ordered_json& value) const {
  *out << value.dump(2) << '\n';
}

const Registry::Action* Registry::Selected() const {
  for (const auto& entry : actions_) {
    if (entry.first->parsed()) return &entry.second;
  }
  return nullptr;
}

bool RecordRef::IsId() const {
  if (by_name || text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::int32_t RecordRef::Id() const { return ParseInt32(text, "ID"); }

std::int32_t ParseInt32(const std::string& text, const std::string& what) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE ||
      value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    UsageError(what + " " + Quoted(text) + " is not a 32-bit integer");
  }
  return static_cast<std::int32_t>(value);
}

void AddRecordRef(CLI::App* command, RecordRef* ref, const std::string& table) {
  command->add_option("REF", ref->text, "the " + table + "'s ID or name")
      ->required();
  command->add_flag("--by-name", ref->by_name,
                    "REF is a name even if it is all digits");
}

void AddJsonFlag(CLI::App* command, bool* json) {
  command->add_flag("--json", *json, "print JSON instead of a table");
}

std::string ReadPassword(bool from_stdin, const std::string& purpose,
                         bool confirm) {
  std::string password;
  if (from_stdin) {
    if (!std::getline(std::cin, password)) {
      UsageError("no " + purpose + " on standard input");
    }
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return password;
  }
  // A password argument would be visible to every user in the process list.
  if (!StdinIsTerminal()) {
    UsageError("standard input is not a terminal; give the " + purpose +
               " with --password-stdin");
  }
  if (!ReadPasswordNoEcho("Enter " + purpose + ": ", &password)) {
    UsageError("could not read the " + purpose + " from the terminal");
  }
  if (confirm) {
    std::string again;
    if (!ReadPasswordNoEcho("Repeat " + purpose + ": ", &again) ||
        again != password) {
      Refuse("the two entries of the " + purpose + " differ");
    }
  }
  return password;
}

}  // namespace tool
}  // namespace brellox
