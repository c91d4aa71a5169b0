// Changes between two configurations, one JSON object each, and the one
// line format in which diff, import --dry-run and apply print them:
//
//   added user 'bob'
//   removed connection 2 'pg'
//   changed GDB 'world': details "0a" -> "0b"
//   changed user 'bob': password differs
//
// A change object holds "change" (added, removed or changed) and "record"
// (how the record is named), and for a changed field "field" with "from"
// and "to" (both absent for a password, which is never shown).
#ifndef BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_
#define BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

namespace brellox {
namespace tool {

nlohmann::ordered_json AddedChange(const std::string& record);
nlohmann::ordered_json RemovedChange(const std::string& record);
nlohmann::ordered_json PasswordChange(const std::string& record);

// Appends to `*changes` one change per field in which `from` and `to`
// differ, nested objects and equal-length lists by path
// ("options[2].value"); a key only one side holds reads as null there.
void AddFieldChanges(const std::string& record,
                     const nlohmann::ordered_json& from,
                     const nlohmann::ordered_json& to,
                     nlohmann::ordered_json* changes);

// The line of one change, without its line end.
std::string ChangeLine(const nlohmann::ordered_json& change);

// One line per change.
void PrintChangeLines(std::ostream& out, const nlohmann::ordered_json& changes);

}  // namespace tool
}  // namespace brellox

#endif  // BRELLOX_TOOLS_BRELLOX_CHANGE_LINES_H_
