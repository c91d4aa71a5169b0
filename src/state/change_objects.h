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

#include "src/state/codec.h"
#include "src/store/format.h"

namespace brellox {
namespace state {

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
