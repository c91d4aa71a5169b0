// Changes between two configurations, one JSON object each, as diff,
// import --dry-run and apply describe them. A change object holds "change"
// (added, removed or changed) and "record" (how the record is named), and
// for a changed field "field" with "from" and "to" (both absent for a
// password, which is never shown). Its one line:
//
//   added user 'bob'
//   removed connection 2 'pg'
//   changed GDB 'world': details "0a" -> "0b"
//   changed user 'bob': password differs
#ifndef BRELLOX_STATE_CHANGE_OBJECTS_H_
#define BRELLOX_STATE_CHANGE_OBJECTS_H_

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/status.h"
#include "src/state/codec.h"
#include "src/store/format.h"

namespace brellox {
namespace state {

// One change object, held as its fields: a list of ten thousand changes
// is told without building a JSON object for each.
struct ChangeObject {
  std::string change;  // "added", "removed" or "changed"
  std::string record;
  std::string field;  // of a changed field; empty otherwise
  // Of a changed field other than a password: the values before and after.
  bool has_values = false;
  nlohmann::ordered_json from;
  nlohmann::ordered_json to;

  bool operator==(const ChangeObject& other) const;
  bool operator!=(const ChangeObject& other) const { return !(*this == other); }
};
using ChangeList = std::vector<ChangeObject>;

ChangeObject AddedChange(std::string record);
ChangeObject RemovedChange(std::string record);
ChangeObject PasswordChange(std::string record);

// Appends to `*changes` one change per field in which `from` and `to`
// differ, nested objects and equal-length lists by path
// ("options[2].value"); a key only one side holds reads as null there.
void AddFieldChanges(const std::string& record,
                     const nlohmann::ordered_json& from,
                     const nlohmann::ordered_json& to, ChangeList* changes);

// The line of one change, without its line end.
std::string ChangeLine(const ChangeObject& change);
// Appends that line to `*text`.
void AppendChangeLine(const ChangeObject& change, std::string* text);

// The changes as a JSON list of change objects, and back: Refused, naming
// the first item that is no change object ("changes[2]: ...").
nlohmann::ordered_json ChangesToJson(const ChangeList& changes);
Status ChangesFromJson(const nlohmann::ordered_json& list, ChangeList* changes);

// How records are named when matched by name: "user 'bob'",
// "connection 'pg'", "GDB 'world'" (`noun` and the record's name field).
std::string NamedRecord(const char* noun, const char* name, std::size_t width,
                        const Codec& codec);
// The same for the bytes of a name.
std::string NamedRecord(const char* noun, const std::string& name,
                        const Codec& codec);
// "'g' (type 2)"
std::string GroupName(const SVR_OPTION_GROUP& group, const Codec& codec);
// "(user 'bob', privilege 3)", given "user 'bob'".
std::string PrivilegeName(const std::string& user, std::int32_t priv_id);
// "privilege (user 'bob', privilege 3)", given "user 'bob'".
std::string PrivilegeRecord(const std::string& user, std::int32_t priv_id);
// "option group 'g' (type 2)", however records are matched.
std::string GroupRecord(const SVR_OPTION_GROUP& group, const Codec& codec);

// A record's JSON (records_json.h) without its ID, as records matched by
// name are compared.
nlohmann::ordered_json WithoutId(nlohmann::ordered_json record);

}  // namespace state
}  // namespace brellox

#endif  // BRELLOX_STATE_CHANGE_OBJECTS_H_
