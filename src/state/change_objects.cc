#include "src/state/change_objects.h"

#include <algorithm>
#include <set>

namespace brellox {
namespace state {

using json = nlohmann::ordered_json;

namespace {

std::string Shown(const json& value) {
  return value.is_null() ? "(none)" : value.dump();
}

}  // namespace

namespace {

// Built key by key: an initializer list would copy every value once more,
// which shows at ten thousand changes.
json Change(const char* change, const std::string& record) {
  json object = json::object();
  auto& members = object.get_ref<json::object_t&>();
  members.emplace_back("change", change);
  members.emplace_back("record", record);
  return object;
}

}  // namespace

json AddedChange(const std::string& record) { return Change("added", record); }

json RemovedChange(const std::string& record) {
  return Change("removed", record);
}

json PasswordChange(const std::string& record) {
  json change = Change("changed", record);
  change.emplace("field", "password");
  return change;
}

void AddFieldChanges(const std::string& record, const json& from,
                     const json& to, json* changes) {
  struct Walker {
    const std::string& record;
    json* changes;

    void Compare(const json& a, const json& b, const std::string& path) {
      if (a == b) return;
      if (a.is_object() && b.is_object()) {
        std::set<std::string> keys;
        for (const auto& item : a.items()) keys.insert(item.key());
        for (const auto& item : b.items()) keys.insert(item.key());
        for (const std::string& key : keys) {
          Compare(a.contains(key) ? a[key] : json(),
                  b.contains(key) ? b[key] : json(),
                  path.empty() ? key : path + "." + key);
        }
        return;
      }
      if (a.is_array() && b.is_array() && a.size() == b.size()) {
        for (std::size_t i = 0; i < a.size(); ++i) {
          Compare(a[i], b[i], path + "[" + std::to_string(i) + "]");
        }
        return;
      }
      changes->push_back({{"change", "changed"},
                          {"record", record},
                          {"field", path},
                          {"from", a},
                          {"to", b}});
    }
  };
  Walker{record, changes}.Compare(from, to, "");
}

std::string ChangeLine(const json& change) {
  std::string line = change["change"].get<std::string>() + " " +
                     change["record"].get<std::string>();
  if (change.contains("from")) {
    line += ": " + change["field"].get<std::string>() + " " +
            Shown(change["from"]) + " -> " + Shown(change["to"]);
  } else if (change.contains("field")) {
    line += ": " + change["field"].get<std::string>() + " differs";
  }
  return line;
}

// "'g' (type 2)"
std::string GroupName(const SVR_OPTION_GROUP& group, const Codec& codec) {
  return Quoted(codec.Display(group.groupName, sizeof(group.groupName))) +
         " (type " + std::to_string(group.groupType) + ")";
}

// "(user 'bob', privilege 3)"
std::string PrivilegeName(const std::string& user, std::int32_t priv_id) {
  return "(" + user + ", privilege " + std::to_string(priv_id) + ")";
}

std::string NamedRecord(const char* noun, const char* name, std::size_t width,
                        const Codec& codec) {
  return NamedRecord(noun, FieldText(name, width), codec);
}

std::string NamedRecord(const char* noun, const std::string& name,
                        const Codec& codec) {
  // Printable ASCII shows as itself in every code page the tool accepts;
  // only other names are worth a conversion.
  const bool plain = std::all_of(name.begin(), name.end(),
                                 [](char c) { return c >= 0x20 && c < 0x7f; });
  return std::string(noun) + " " + Quoted(plain ? name : codec.Shown(name));
}

std::string PrivilegeRecord(const std::string& user, std::int32_t priv_id) {
  return "privilege " + PrivilegeName(user, priv_id);
}

std::string GroupRecord(const SVR_OPTION_GROUP& group, const Codec& codec) {
  return "option group " + GroupName(group, codec);
}

json WithoutId(json record) {
  record.erase("id");
  return record;
}

}  // namespace state
}  // namespace brellox
